// The Linux backend: each format to the library that does it fastest here.
#include "libs/timage/core/backend.h"
#include "libs/timage/posix/jpeg_posix.h"
#include "libs/timage/posix/leptonica_posix.h"
#include "libs/timage/posix/tiff_posix.h"

namespace timage::backend {

int probe(int format, const SharedBytes& bytes, TI_FILE_INFO& info) {
    switch (format) {
    case TI_FORMAT_JPEG: return posix::jpegProbe(*bytes, info);
    case TI_FORMAT_TIFF: return posix::tiffProbe(*bytes, info);
    default: return TI_ERR_FORMAT;
    }
}

int decode(int format, const SharedBytes& bytes, int page, ImagePtr& out) {
    switch (format) {
    case TI_FORMAT_JPEG: return posix::jpegLoad(bytes, out);
    case TI_FORMAT_TIFF: return posix::tiffDecode(*bytes, page, out);
    case TI_FORMAT_BMP:
    case TI_FORMAT_PNG:
    case TI_FORMAT_GIF: return posix::leptonicaDecode(format, *bytes, out);
    default: return TI_ERR_FORMAT;
    }
}

int encode(const ti_image_& image, const SaveOptions& options, Bytes& out) {
    switch (options.format) {
    case TI_FORMAT_JPEG: return posix::jpegEncode(image, options.quality, out);
    case TI_FORMAT_TIFF: return posix::tiffEncode(image, options, out);
    case TI_FORMAT_BMP:
    case TI_FORMAT_PNG:
    case TI_FORMAT_GIF: return posix::leptonicaEncode(image, options.format, out);
    default: return TI_ERR_ARGUMENT;
    }
}

int openPageWriter(const char16_t* path, std::unique_ptr<PageWriter>& out) {
    return posix::tiffOpenPageWriter(path, out);
}

bool keepsJpegSource() { return true; }

}  // namespace timage::backend
