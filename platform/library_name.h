// File names of the shared libraries the component loads at run time.
//
// Thread safety: pure functions, any thread.
#pragma once

#include <string>
#include <string_view>

namespace platform {

// The file a library of that base name is shipped as: "timage.dll" on
// Windows; "libtimage.so" on Linux, where the base name is also lowered
// (ASCII) as Linux libraries are named ("QixIPF" -> "libqixipf.so").
std::u16string sharedLibraryFileName(std::u16string_view baseName);

}  // namespace platform
