// Path rules shared by both platforms. A backslash and a slash both separate
// folders everywhere: the Linux layer maps backslashes to slashes when it
// hands a path to the OS, so paths written the Windows way work unchanged.
//
// Thread safety: pure functions, any thread.
#pragma once

#include <string>
#include <string_view>

namespace platform {

// Paths the component builds are kept to this many units, the Windows
// limit for a path without the long-path prefix (MAX_PATH - 1).
inline constexpr std::size_t kMaxPathUnits = 259;

inline bool isPathSeparator(char16_t c) { return c == u'\\' || c == u'/'; }

// '\\' on Windows, '/' on Linux.
char16_t nativeSeparator();

// True for a path that names its own root: a drive letter ("C:") or a UNC
// name on Windows, a leading separator on Linux.
bool hasDrive(std::u16string_view path);

// Everything up to and including the last separator ("" when none).
std::u16string folderOf(std::u16string_view path);

// Everything after the last separator.
std::u16string fileNameOf(std::u16string_view path);

// The extension of the file name of path, with its dot ("" when none).
std::u16string extensionOf(std::u16string_view path);

// True for a path whose extension is ".pdf" (case ignored): the one test
// that sends a file to the PDF library rather than the image toolkit.
bool isPdfPath(std::u16string_view path);

// folder + name, with the native separator between them unless the folder
// is empty or already ends with a separator.
std::u16string joinPath(std::u16string_view folder, std::u16string_view name);

// The path with "." and ".." resolved by its text alone (a ".." at the
// root stays at the root; a relative path keeps its leading ".."s),
// repeated separators folded and every separator the native one, no
// trailing separator. A drive letter or a leading separator (two for a
// UNC name) is kept as the root. For telling whether a path lies inside a
// folder: "profiles/../../x" does not.
std::u16string lexicallyNormal(std::u16string_view path);

}  // namespace platform
