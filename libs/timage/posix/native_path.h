// UTF-16 paths as Linux takes them: UTF-8, with backslashes read as
// separators, the way the component's own platform layer reads them.
#pragma once

#include <string>

namespace timage::posix {

std::string nativePath(const char16_t* path);

}  // namespace timage::posix
