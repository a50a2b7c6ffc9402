// BMP, PNG and GIF through Leptonica.
//
// Thread safety: any thread. Leptonica's message level is process-wide;
// it is set once, before first use, and never changed afterwards.
#pragma once

#include "libs/timage/core/backend.h"

namespace timage::codecs {

int leptonicaDecode(int format, const Bytes& bytes, ImagePtr& out);
int leptonicaEncode(const ti_image_& image, int format, Bytes& out);

}  // namespace timage::codecs
