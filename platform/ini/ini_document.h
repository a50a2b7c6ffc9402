// In-memory model of a private-profile (INI) file, the portable heart of
// the Linux private-profile calls.
//
// The model keeps the bytes it was parsed from: a line that no edit touches
// is written back exactly as it was read, whatever it holds (NULs, invalid
// UTF-8, lone CRs, odd indentation). Only the lines an edit creates are
// encoded, in the file's own encoding and line-ending style.
//
// Reading rules:
//   - Lines end at LF, CR or CRLF.
//   - Blanks are space, tab, vertical tab and form feed. Leading blanks of a
//     line are ignored; blanks around section names, keys and values are
//     trimmed.
//   - A line whose first non-blank character is ';' is a comment.
//   - A line starting with '[' and holding a ']' starts a section, named by
//     the text up to the last ']' on the line. Without a ']' it is an
//     ordinary line, as Windows reads it.
//   - Any other line inside a section is an entry: "key=value" split at the
//     first '=', or a bare line (no '=') whose key is the whole line and
//     which has no value.
//   - Lines before the first section, and sections with an empty name, are
//     kept but can be neither found nor listed: an empty name cannot appear
//     in a zero-separated list, and a write could not create such a section
//     the same way on every platform.
//   - Names compare ignoring ASCII case. Of duplicate sections the first is
//     the one found and edited; of duplicate keys in it, the first.
//
// Encodings: UTF-16LE with its byte-order mark FF FE; otherwise UTF-8, with
// an optional byte-order mark, where invalid bytes read as U+FFFD. A stray
// final byte of a UTF-16 file is ignored and kept at the end of the file.
// New lines use CRLF when the file's first line break is CRLF, else LF.
//
// Encodings: a file without a byte-order mark whose first byte is not zero
// and whose second is zero ("[\0" or ";\0") is UTF-16LE too, written back
// without a mark. A file that starts with the UTF-16BE mark FE FF, or with
// a zero byte followed by another (UTF-16BE without a mark), reads as UTF-8
// (so nothing is found in it), and every edit of it is refused: lines
// added in another encoding would corrupt it.
//
// Cost: parsing, serialising and every edit are linear in the file's size;
// section lookups are hashed. Memory: the bytes, their decoded text (two
// bytes a character) and 20 bytes a line (runs of blank lines, comments and
// lines before the first section count as one); at worst, for a file of
// two-byte lines, about 16 times the file's size. Documents are at most
// kMaxDocumentBytes (the readers refuse larger files long before).
//
// Views handed out (names, values, entries) point into the document and
// are valid until its next edit.
//
// Thread safety: const members may be used from several threads at once;
// edits need exclusive access.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace platform::ini {

enum class Encoding : std::uint8_t { Utf8, Utf8WithBom, Utf16LE, Foreign };

// Positions in a document are 32-bit.
inline constexpr std::size_t kMaxDocumentBytes = std::size_t{1} << 30;

enum class EditResult : std::uint8_t {
    Unchanged,  // nothing to do: the value was already there, or nothing to delete
    Changed,
    Refused,    // the text would not read back as written (see setValue)
};

bool isBlank(char16_t c);
std::u16string_view trimBlanks(std::u16string_view s);

struct Entry {
    std::u16string_view key;    // trimmed
    std::u16string_view value;  // trimmed, quotes kept; empty for a bare line
    bool hasValue = false;      // false for a bare line (no '=')
};

class Document {
public:
    // The document of a file that does not exist yet: UTF-8 without a
    // byte-order mark, LF line breaks.
    Document() = default;

    // Takes the bytes over: they are what untouched lines are written from.
    // Bytes beyond kMaxDocumentBytes make an empty document that refuses
    // every edit.
    static Document parse(std::string bytes);

    // The bytes the document was parsed from.
    const std::string& sourceBytes() const { return source_; }

    Encoding encoding() const { return encoding_; }
    bool usesCrlf() const { return crlf_; }

    // Every name argument is trimmed of blanks before it is compared.
    bool hasSection(std::u16string_view section) const;

    // The trimmed value of the first entry named key in the section; none
    // for a missing section or key, and for a bare line.
    std::optional<std::u16string_view> value(std::u16string_view section,
                                             std::u16string_view key) const;

    // Names of all findable sections in file order, duplicates included.
    std::vector<std::u16string_view> sectionNames() const;

    // Every entry of the section in file order (comments and blank lines
    // left out); empty for a missing section.
    std::vector<Entry> entries(std::u16string_view section) const;

    // Sets key=value: replaces the first line of the key (keeping the key's
    // spelling), or inserts after the section's last non-blank line, or
    // appends the section (after a blank line when the file does not end
    // with one). The value is stored trimmed.
    // Refused when section is empty, when any text holds CR, LF or a zero, or when
    // the key holds '=' or starts with ';' or '[': the line written would
    // read back as something else.
    // Every edit of a Foreign document is refused.
    EditResult setValue(std::u16string_view section, std::u16string_view key,
                        std::u16string_view value);

    // Removes the first line of the key (a bare line included).
    EditResult removeKey(std::u16string_view section, std::u16string_view key);

    // Removes the section's header and every line up to the next header,
    // comments and blank lines included. Refused when what would then come
    // first would make the file read in another encoding.
    EditResult removeSection(std::u16string_view section);

    std::string serialize() const;

private:
    enum class Kind : std::uint8_t { Blank, Comment, Header, Entry, Bare, Orphan };

    // 20 bytes a line, whatever the line holds: a file's memory stays a
    // small multiple of its size even when its lines are one or two bytes.
    // A run of blank lines, of comments or of lines before the first
    // section is one Line (no edit ever goes between them), so a file of
    // nothing but line breaks costs almost nothing beyond its bytes.
    struct Line {
        std::uint32_t rawBegin = 0;   // original bytes in source_, line breaks included
        std::uint32_t rawSize = 0;
        std::uint32_t textBegin = 0;  // decoded text in text_, without the last line break
        std::uint32_t textSize = 0;
        Kind kind = Kind::Blank;
        bool fresh = false;       // made by an edit: encoded from text_ when written
        bool terminated = true;   // the original bytes end with a line break
    };

    // Where a header's name, or an entry's key and value, lie in its text;
    // found again from the text when asked rather than kept for every line.
    struct Parts {
        std::size_t nameBegin = 0;
        std::size_t nameSize = 0;
        std::size_t valueBegin = 0;
        std::size_t valueSize = 0;
    };

    struct Section {
        std::uint32_t header = 0;  // line index of the header
        std::uint32_t end = 0;     // one past its last line
    };

    std::u16string_view textOf(const Line& line) const;
    std::u16string_view nameOf(const Line& line) const;
    std::u16string_view valueOf(const Line& line) const;

    template <typename Emit>
    void splitLines(Emit&& emit) const;
    Kind classify(std::u16string_view text, bool& inSection) const;
    Parts partsOf(const Line& line) const;
    Line makeFreshLine(std::u16string_view text);
    void reindex();

    const Section* findSection(std::u16string_view trimmedName) const;
    std::optional<std::size_t> findEntry(const Section& section,
                                         std::u16string_view trimmedKey) const;
    std::u16string storable(std::u16string_view s) const;
    // The encoding parse() finds for a file starting with bytes, and the
    // size of its byte-order mark.
    static Encoding detectEncoding(std::string_view bytes, std::size_t& markSize);
    // The first n bytes serialize() would give with lines skipFrom to
    // skipTo left out (an unterminated line counted with a break after it).
    std::string leadingBytes(std::size_t skipFrom, std::size_t skipTo, std::size_t n) const;
    void appendEncoded(std::string& out, std::u16string_view text) const;
    void appendLineBreak(std::string& out) const;

    std::string source_;      // the parsed bytes
    std::size_t prefixSize_ = 0;  // byte-order mark
    std::size_t bodyBegin_ = 0;   // the lines' bytes, without mark or stray byte
    std::size_t bodyEnd_ = 0;
    bool strayByte_ = false;  // odd final byte of a UTF-16 file
    Encoding encoding_ = Encoding::Utf8;
    bool crlf_ = false;
    std::u16string text_;     // decoded text of every line, fresh lines appended
    std::vector<Line> lines_;
    std::vector<Section> sections_;
    std::unordered_map<std::u16string, std::size_t> firstSection_;  // folded name -> sections_ index
};

}  // namespace platform::ini
