// Private-profile (INI) files, with the calling conventions of the Windows
// calls of the same names, so that the settings code is written once.
//
// On Windows each function is the kernel32 call itself. On Linux it is our
// own implementation of the same rules: case-insensitive ASCII section and
// key names, blanks around names and values trimmed, one pair of matching
// quotes removed from a value, the first of duplicate keys wins, ';' starts a
// comment line, CRLF or LF, UTF-8 files (an optional byte-order mark is
// skipped) and UTF-16LE files with a byte-order mark. A write rewrites the
// file through a temporary file that is renamed over it, so a reader or a
// crash never sees half a file; writers inside the process are serialised.
//
// Return values are those of the Windows calls, cut signals included:
//   getPrivateProfileString: units copied; size - 1 when the value was cut.
//   lists (section names, the keys of a section as returned by
//   getPrivateProfileString with a null key, getPrivateProfileSection):
//   units copied without the final zero; size - 2 when the list was cut.
//
// Thread safety: every function may be called from any thread.
#pragma once

#include <cstdint>

namespace platform {

// No profile, settings or driver file comes near this size (they hold a
// few kilobytes): a larger file is not an INI file of ours. It reads as a
// missing file (every read gives its default), and writes to it fail
// rather than replace what could not be read.
inline constexpr std::uint64_t kMaxProfileBytes = std::uint64_t{8} << 20;

// section null: the list of section names; key null: the list of the
// section's keys. defaultValue null means "". A missing file or key gives
// the default (trailing blanks of the default are dropped, as Windows does).
std::uint32_t getPrivateProfileString(const char16_t* section, const char16_t* key,
                                      const char16_t* defaultValue, char16_t* buffer,
                                      std::uint32_t size, const char16_t* fileName);

// The value read as an integer, stopping at the first character that is
// not a digit ("0x" and "0o"/"0b" prefixes select base 16, 8 and 2, a sign
// may lead); 0 for text that starts with no digit, the default for a missing
// key or an empty value. The result has the bits of the Windows UINT.
std::int32_t getPrivateProfileInt(const char16_t* section, const char16_t* key,
                                  std::int32_t defaultValue, const char16_t* fileName);

// Every section name in file order, each ended by a zero, the list ended by
// a second zero.
std::uint32_t getPrivateProfileSectionNames(char16_t* buffer, std::uint32_t size,
                                            const char16_t* fileName);

// Every entry of the section as "key=value" (or the bare line for a line
// without '='), in file order, each ended by a zero, the list by a second.
std::uint32_t getPrivateProfileSection(const char16_t* section, char16_t* buffer,
                                       std::uint32_t size, const char16_t* fileName);

// value null deletes the key; key null deletes the whole section. Creates
// the file when it does not exist. False when the file cannot be written.
bool writePrivateProfileString(const char16_t* section, const char16_t* key,
                               const char16_t* value, const char16_t* fileName);

// How many times the calls above have parsed a file in this process (0
// where they are the system's own): lets tests and benchmarks check that a
// profile load parses its file once, whatever its size.
std::uint64_t profileParseCount();

}  // namespace platform
