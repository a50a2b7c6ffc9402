// The private-profile calls' rules for a parsed document: which text a call
// answers with and how it goes into the caller's fixed-size buffer. The
// Linux calls only add the file around them, so everything here can be
// exercised without files (the fuzz target does).
//
// A null document stands for a file that is missing or cannot be read.
//
// Thread safety: as Document.
#pragma once

#include <cstdint>
#include <string_view>

#include "platform/ini/ini_document.h"

namespace platform::ini {

// A value is read into a buffer of this many units before it is taken as a
// number, so only its first kIntValueUnits - 1 units count.
inline constexpr std::uint32_t kIntValueUnits = 30;

// Copies at most size - 1 units and terminates; returns the units copied.
// size 0 (or a null buffer) touches nothing.
std::uint32_t copyValue(std::u16string_view value, char16_t* buffer, std::uint32_t size);

// Fills a buffer with a zero-separated list, ended by a second zero.
// When the whole list with its final zero does not fit with a unit to
// spare, it is cut: the first size - 2 units, then two zeros, and finish()
// returns size - 2. An empty list is two zeros when size >= 2.
class ListWriter {
public:
    ListWriter(char16_t* buffer, std::uint32_t size);
    void append(std::u16string_view part);
    void endEntry();  // the zero after an entry
    std::uint32_t finish();

private:
    char16_t* buffer_;
    std::uint32_t size_;
    std::uint64_t total_ = 0;
};

// One pair of matching quotes (" or ') around a value removed.
std::u16string_view unquote(std::u16string_view value);

// Leading units up to ' ' skipped, an optional sign, a "0x", "0o" or "0b"
// prefix (lowercase only), digits up to the first non-digit accumulated in
// 32 bits with wrap-around. No digits gives 0.
std::int32_t parseProfileInt(std::u16string_view text);

// The five calls, minus the file. Null texts follow the calls' rules. As
// on Windows: the key list (key null) leaves out bare lines, which have no
// value, while profileSection lists them; a bare line reads as the default;
// only the spaces (not other blanks) at the end of a default are dropped; an
// empty list is two zeros even when a default is given.
std::uint32_t profileString(const Document* doc, const char16_t* section, const char16_t* key,
                            const char16_t* defaultValue, char16_t* buffer, std::uint32_t size);
std::int32_t profileInt(const Document* doc, const char16_t* section, const char16_t* key,
                        std::int32_t defaultValue);
std::uint32_t profileSectionNames(const Document* doc, char16_t* buffer, std::uint32_t size);
std::uint32_t profileSection(const Document* doc, const char16_t* section, char16_t* buffer,
                             std::uint32_t size);
// section null: Refused. key null: removeSection. value null: removeKey.
EditResult profileWrite(Document& doc, const char16_t* section, const char16_t* key,
                        const char16_t* value);

}  // namespace platform::ini
