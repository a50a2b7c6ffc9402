// What the platform backend supplies to the portable core: files by their
// UTF-16 paths, and the codecs. The core sniffs formats, checks headers
// against the limits, and does every pixel operation and all resampling;
// codecs/ implements the codecs with libjpeg-turbo, libtiff and Leptonica
// on both platforms; posix/ and win32/ the files.
//
// Thread safety: every function may run on several threads at once.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "libs/timage/core/image.h"

namespace timage {

using Bytes = std::vector<std::uint8_t>;
using SharedBytes = std::shared_ptr<const Bytes>;

struct SaveOptions {
    int format = TI_FORMAT_UNKNOWN;
    int compression = TI_COMPRESSION_LZW;  // TIFF only
    int quality = 75;                      // JPEG data, 1..100
};

// An open multi-page TIFF file, one page per add().
class PageWriter {
public:
    virtual ~PageWriter() = default;
    virtual int add(const ti_image_& image, const SaveOptions& options) = 0;
    // Completes the file; TI_ERR_IO when any page could not be written.
    virtual int close() = 0;
};

namespace backend {

// The whole file, at most kMaxEncodedBytes.
int readFile(const char16_t* path, Bytes& out);
// Replaces the file at path with bytes; the old file stays whole until
// the new one is complete.
int writeFile(const char16_t* path, const Bytes& bytes);
// ti_GetImageInfo for TI_FORMAT_JPEG and TI_FORMAT_TIFF data.
int probe(int format, const SharedBytes& bytes, TI_FILE_INFO& info);
// Page `page` of JPEG or TIFF data, BMP, PNG or GIF data (page 0; the core
// has checked their headers). May give a deferred image that keeps bytes.
int decode(int format, const SharedBytes& bytes, int page, ImagePtr& out);
// image (never deferred) encoded as options.format.
int encode(const ti_image_& image, const SaveOptions& options, Bytes& out);
int openPageWriter(const char16_t* path, std::unique_ptr<PageWriter>& out);
// Whether a JPEG that decode() gives keeps its file's bytes as its source
// (ti_GetSourceJpeg); false where the codec decodes at load and the
// toolkit has not been asked for it.
bool keepsJpegSource();

}  // namespace backend
}  // namespace timage
