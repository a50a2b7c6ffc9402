// Pixels in and out of encoded data through the Windows Imaging Component.
//
// Thread safety: any thread. Each call joins a COM apartment for its own
// length and makes its own WIC objects; nothing outlives the call.
#pragma once

#include "libs/timage/core/backend.h"

namespace timage::win32 {

// Frame `frame` of any data WIC decodes, as a new image of pixelFormat
// (the format the headers promise; the caller sets the resolution).
int wicDecode(const Bytes& bytes, int frame, int pixelFormat, ImagePtr& out);

// image as BMP, PNG, GIF, JPEG (quality 1..100) or TIFF (compression none,
// LZW, Deflate or CCITT Group 4). TI_ERR_NOT_SUPPORTED when this system's
// WIC lacks the encoder or refuses the option.
int wicEncode(const ti_image_& image, int format, int compression, int quality, Bytes& out);

}  // namespace timage::win32
