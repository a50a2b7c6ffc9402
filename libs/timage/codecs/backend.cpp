// The codecs, the same on both platforms: each format to the library that
// does it best; the files themselves come from posix/ or win32/.
#include "libs/timage/core/backend.h"
#include "libs/timage/codecs/jpeg.h"
#include "libs/timage/codecs/leptonica.h"
#include "libs/timage/codecs/tiff.h"

namespace timage::backend {

int probe(int format, const SharedBytes& bytes, TI_FILE_INFO& info) {
    switch (format) {
    case TI_FORMAT_JPEG: return codecs::jpegProbe(*bytes, info);
    case TI_FORMAT_TIFF: return codecs::tiffProbe(*bytes, info);
    default: return TI_ERR_FORMAT;
    }
}

int decode(int format, const SharedBytes& bytes, int page, ImagePtr& out) {
    switch (format) {
    case TI_FORMAT_JPEG: return codecs::jpegLoad(bytes, out);
    case TI_FORMAT_TIFF: return codecs::tiffDecode(*bytes, page, out);
    case TI_FORMAT_BMP:
    case TI_FORMAT_PNG:
    case TI_FORMAT_GIF: return codecs::leptonicaDecode(format, *bytes, out);
    default: return TI_ERR_FORMAT;
    }
}

int encode(const ti_image_& image, const SaveOptions& options, Bytes& out) {
    switch (options.format) {
    case TI_FORMAT_JPEG: return codecs::jpegEncode(image, options.quality, out);
    case TI_FORMAT_TIFF: return codecs::tiffEncode(image, options, out);
    case TI_FORMAT_BMP:
    case TI_FORMAT_PNG:
    case TI_FORMAT_GIF: return codecs::leptonicaEncode(image, options.format, out);
    default: return TI_ERR_ARGUMENT;
    }
}

int openPageWriter(const char16_t* path, std::unique_ptr<PageWriter>& out) {
    return codecs::tiffOpenPageWriter(path, out);
}

bool keepsJpegSource() { return true; }

}  // namespace timage::backend
