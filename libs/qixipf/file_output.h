// Writing a finished file for the library.
#pragma once

#include <string_view>

namespace qixipf {

// Writes bytes to the file at path (UTF-16, either separator), replacing
// it. False on failure, when no partial file is left behind.
bool writeWholeFile(std::u16string_view path, std::string_view bytes);

}  // namespace qixipf
