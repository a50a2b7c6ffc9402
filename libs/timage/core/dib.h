// A copy of a Windows device-independent bitmap held in memory.
//
// Thread safety: pure function.
#pragma once

#include "libs/timage/core/image.h"

namespace timage {

// header: a BITMAPINFOHEADER (40 bytes or a later, longer version), its
// palette after it; bits: the rows, or null when they follow the palette.
int loadDib(const void* header, const void* bits, ImagePtr& out);

}  // namespace timage
