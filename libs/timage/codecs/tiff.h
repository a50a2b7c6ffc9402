// TIFF files through libtiff: every page layout libtiff reads, written
// uncompressed, LZW, Deflate, JPEG (YCbCr 4:2:0) or CCITT Group 4.
//
// libtiff's default error and warning handlers are process-wide and print
// to stderr; every handle here is opened with handlers of its own instead,
// so two threads never share them.
//
// Thread safety: any thread; a PageWriter is used by one thread at a time.
#pragma once

#include <memory>

#include "libs/timage/core/backend.h"

namespace timage::codecs {

int tiffProbe(const Bytes& bytes, TI_FILE_INFO& info);
int tiffDecode(const Bytes& bytes, int page, ImagePtr& out);
int tiffEncode(const ti_image_& image, const SaveOptions& options, Bytes& out);
int tiffOpenPageWriter(const char16_t* path, std::unique_ptr<PageWriter>& out);

}  // namespace timage::codecs
