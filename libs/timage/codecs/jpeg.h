// JPEG files through libjpeg-turbo.
//
// Thread safety: any thread; nothing is shared between calls.
#pragma once

#include "libs/timage/core/backend.h"

namespace timage::codecs {

int jpegProbe(const Bytes& bytes, TI_FILE_INFO& info);
// A deferred image that keeps bytes and decodes on first need; the bytes
// are also its source (ti_GetSourceJpeg).
int jpegLoad(const SharedBytes& bytes, ImagePtr& out);
int jpegEncode(const ti_image_& image, int quality, Bytes& out);

}  // namespace timage::codecs
