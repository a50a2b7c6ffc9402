// Conversions between the component's UTF-16 paths and the bytes Linux
// uses. Backslashes become slashes, so Windows-style paths work as they are.
#pragma once

#include <string>
#include <string_view>

namespace platform::posix {

std::string toNativePath(std::u16string_view path);
std::u16string fromNativePath(std::string_view path);

// errno of the last failed call kept where platform::lastError() finds it.
void rememberErrno();

}  // namespace platform::posix
