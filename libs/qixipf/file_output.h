// Writing a finished file for the library.
#pragma once

#include <cstdio>
#include <functional>
#include <string_view>

namespace qixipf {

// Writes the file at path (UTF-16, either separator) through `write`,
// which gets the open file and writes it as it is made. The file is made
// beside the target under a fresh name and renamed over it only when it is
// complete, so a failed save leaves an existing file as it was and no
// partial file behind: false for a file that cannot be made or written,
// and an exception from write goes on after the same clean-up.
bool writeFileThrough(std::u16string_view path, const std::function<void(std::FILE*)>& write);

}  // namespace qixipf
