#include "libs/timage/codecs/leptonica.h"

#include <algorithm>
#include <memory>
#include <mutex>

#include <leptonica/allheaders.h>

#include "libs/timage/core/limits.h"

namespace timage::codecs {
namespace {

// Leptonica prints its messages to stderr by default, a process-wide
// setting: silenced once, before the first call.
void quietLeptonica() {
    static std::once_flag once;
    std::call_once(once, [] { setMsgSeverity(L_SEVERITY_NONE); });
}

struct PixDeleter {
    void operator()(PIX* pix) const noexcept { pixDestroy(&pix); }
};
using PixPtr = std::unique_ptr<PIX, PixDeleter>;

struct LeptFree {
    void operator()(l_uint8* p) const noexcept { lept_free(p); }
};

PIX* readPix(int format, const Bytes& bytes) {
    switch (format) {
    case TI_FORMAT_BMP: return pixReadMemBmp(bytes.data(), bytes.size());
    case TI_FORMAT_PNG: return pixReadMemPng(bytes.data(), bytes.size());
    case TI_FORMAT_GIF: return pixReadMemGif(bytes.data(), bytes.size());
    default: return nullptr;
    }
}

// Leptonica's pixel depths down to the 8 and 32 bits our formats use.
PixPtr normalise(PixPtr pix) {
    if (PIXCMAP* map = pixGetColormap(pix.get())) {
        l_int32 opaque = 1;
        pixcmapIsOpaque(map, &opaque);
        pix.reset(pixRemoveColormap(pix.get(), opaque ? REMOVE_CMAP_BASED_ON_SRC : REMOVE_CMAP_WITH_ALPHA));
        if (!pix) return pix;
    }
    switch (pixGetDepth(pix.get())) {
    case 8:
    case 32: return pix;
    case 16: return PixPtr(pixConvert16To8(pix.get(), L_MS_BYTE));
    case 24: return PixPtr(pixConvert24To32(pix.get()));
    default: return PixPtr(pixConvertTo8(pix.get(), 0));
    }
}

}  // namespace

int leptonicaDecode(int format, const Bytes& bytes, ImagePtr& out) {
    out.reset();
    quietLeptonica();
    PixPtr pix(readPix(format, bytes));
    if (!pix) return TI_ERR_FORMAT;
    pix = normalise(std::move(pix));
    if (!pix) return TI_ERR_FORMAT;
    const int w = pixGetWidth(pix.get()), h = pixGetHeight(pix.get()), depth = pixGetDepth(pix.get());
    // BMP's fourth byte is padding in practice, not alpha.
    const bool alpha = depth == 32 && pixGetSpp(pix.get()) == 4 && format != TI_FORMAT_BMP;
    const int pixelFormat = depth == 8 ? TI_GRAY8 : alpha ? TI_BGRA32 : TI_BGR24;
    ImagePtr image;
    if (const int rc = createImage(w, h, pixelFormat, image); rc != TI_OK) return rc;
    const l_uint32* data = pixGetData(pix.get());
    const int wpl = pixGetWpl(pix.get());
    for (int y = 0; y < h; ++y) {
        const l_uint32* line = data + static_cast<std::ptrdiff_t>(y) * wpl;
        std::uint8_t* o = image->row(y);
        if (depth == 8) {
            for (int x = 0; x < w; ++x) o[x] = static_cast<std::uint8_t>(GET_DATA_BYTE(line, x));
            continue;
        }
        // A 32-bit word holds red, green, blue, alpha from the top byte down.
        for (int x = 0; x < w; ++x, o += pixelFormat) {
            const l_uint32 v = line[x];
            o[0] = static_cast<std::uint8_t>(v >> 8);
            o[1] = static_cast<std::uint8_t>(v >> 16);
            o[2] = static_cast<std::uint8_t>(v >> 24);
            if (alpha) o[3] = static_cast<std::uint8_t>(v);
        }
    }
    image->xDpi = std::max(0, pixGetXRes(pix.get()));
    image->yDpi = std::max(0, pixGetYRes(pix.get()));
    out = std::move(image);
    return TI_OK;
}

int leptonicaEncode(const ti_image_& image, int format, Bytes& out) {
    out.clear();
    quietLeptonica();
    const int w = image.width, h = image.height;
    const bool grey = image.format == TI_GRAY8;
    // Only PNG keeps alpha.
    const bool alpha = image.format == TI_BGRA32 && format == TI_FORMAT_PNG;
    PixPtr pix(pixCreateNoInit(w, h, grey ? 8 : 32));
    if (!pix) return TI_ERR_MEMORY;
    if (!grey) pixSetSpp(pix.get(), alpha ? 4 : 3);
    l_uint32* data = pixGetData(pix.get());
    const int wpl = pixGetWpl(pix.get());
    for (int y = 0; y < h; ++y) {
        l_uint32* line = data + static_cast<std::ptrdiff_t>(y) * wpl;
        const std::uint8_t* in = image.row(y);
        if (grey) {
            for (int x = 0; x < w; ++x) SET_DATA_BYTE(line, x, in[x]);
            continue;
        }
        for (int x = 0; x < w; ++x, in += image.format) {
            const l_uint32 a = alpha ? in[3] : 255u;
            line[x] = (static_cast<l_uint32>(in[2]) << 24) | (static_cast<l_uint32>(in[1]) << 16) |
                      (static_cast<l_uint32>(in[0]) << 8) | a;
        }
    }
    pixSetResolution(pix.get(), image.xDpi, image.yDpi);
    l_uint8* bytes = nullptr;
    size_t size = 0;
    l_ok failed = 1;
    switch (format) {
    case TI_FORMAT_BMP: failed = pixWriteMemBmp(&bytes, &size, pix.get()); break;
    case TI_FORMAT_PNG: failed = pixWriteMemPng(&bytes, &size, pix.get(), 0.0f); break;
    case TI_FORMAT_GIF: failed = pixWriteMemGif(&bytes, &size, pix.get()); break;
    default: return TI_ERR_ARGUMENT;
    }
    std::unique_ptr<l_uint8, LeptFree> owner(bytes);
    if (failed || !bytes) return TI_ERR_FORMAT;
    out.assign(bytes, bytes + size);
    return TI_OK;
}

}  // namespace timage::codecs
