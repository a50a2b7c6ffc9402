// The 58 exported calls, and ti_GetSourceJpeg beyond them: argument
// checks, decoding deferred images when pixels are needed, the thread's
// result code, and no exception ever crossing the C boundary.
#include <cstddef>
#include <cstring>
#include <exception>
#include <memory>
#include <mutex>
#include <new>

#include "libs/timage/core/backend.h"
#include "libs/timage/core/codec.h"
#include "libs/timage/core/dib.h"
#include "libs/timage/core/errors.h"
#include "libs/timage/core/headers.h"
#include "libs/timage/core/image.h"
#include "libs/timage/core/limits.h"
#include "libs/timage/core/memory.h"
#include "libs/timage/core/pixel_ops.h"
#include "libs/timage/core/resample.h"
#include "libs/timage/timage.h"

struct ti_multipage_ {
    static constexpr std::uint32_t kAlive = 0x5449504du;  // "TIPM"
    ~ti_multipage_() { magic = 0; }
    std::uint32_t magic = kAlive;
    // Two threads adding to one file take turns.
    std::mutex lock;
    std::unique_ptr<timage::PageWriter> writer;
};

// The records' sizes are part of the calling contract.
static_assert(sizeof(TI_PARAM) == 16 && offsetof(TI_PARAM, value) == 8);
static_assert(sizeof(TI_FILE_INFO) == 40);
static_assert(sizeof(void*) != 4 || (sizeof(TI_IMAGE_INFO) == 40 && sizeof(TI_STREAM) == 32));
static_assert(TI_IMAGE_INFO_LAYOUT_SIZE == 36 + (sizeof(void*) == 8 ? 4 : 0));

namespace {

using namespace timage;

constexpr int kVersion = (1 << 16) | 0;

template <typename F>
int guarded(const char* name, F&& body) {
    int rc;
    try {
        rc = body();
    } catch (const std::bad_alloc&) {
        rc = TI_ERR_MEMORY;
    } catch (...) {
        rc = TI_ERR_FORMAT;
    }
    return finish(name, rc);
}

// For calls that give out a new image: body fills out.
template <typename F>
TI_IMAGE guardedImage(const char* name, F&& body) {
    ImagePtr out;
    const int rc = guarded(name, [&]() -> int { return body(out); });
    return rc == TI_OK ? out.release() : nullptr;
}

ti_image_* live(TI_IMAGE image) { return image && image->magic == ti_image_::kAlive ? image : nullptr; }
ti_multipage_* live(TI_MULTIPAGE writer) {
    return writer && writer->magic == ti_multipage_::kAlive ? writer : nullptr;
}

// Decodes every deferred image among the arguments.
template <typename... Images>
int ready(Images&... images) {
    int rc = TI_OK;
    ((rc = rc == TI_OK ? ensurePixels(images) : rc), ...);
    return rc;
}

// Before a call that may write these images' pixels (whether it then
// succeeds or not): they no longer stand for the file they were loaded
// from.
template <typename... Images>
void changing(Images&... images) {
    (forgetSource(images), ...);
}

int saveOptionsFor(const ti_char* path, const ti_image_& image, SaveOptions& options) {
    options.format = formatFromExtension(path);
    if (options.format == TI_FORMAT_UNKNOWN) return TI_ERR_FORMAT;
    options.quality = image.quality;
    return TI_OK;
}

int save(const ti_char* path, ti_image_& image, const SaveOptions& options) {
    if (const int rc = ensurePixels(image); rc != TI_OK) return rc;
    Bytes bytes;
    if (const int rc = backend::encode(image, options, bytes); rc != TI_OK) return rc;
    return backend::writeFile(path, bytes);
}

bool validRect(const TI_RECT& r, const ti_image_& image) {
    return r.width > 0 && r.height > 0 && r.left >= 0 && r.top >= 0 &&
           static_cast<long long>(r.left) + r.width <= image.width &&
           static_cast<long long>(r.top) + r.height <= image.height;
}

// Installs a full-size decode into a still-deferred image (another
// thread may have got there first).
void adoptDecoded(ti_image_& image, ImagePtr& decoded) {
    std::lock_guard<std::mutex> lock(image.pendingLock);
    if (image.deferred.load(std::memory_order_relaxed)) installDecoded(image, decoded);
}

int resizeWhole(ti_image_& source, ti_image_& destination, int mode) {
    if (&source == &destination || source.format != destination.format) return TI_ERR_ARGUMENT;
    if (mode < TI_INTER_NEAREST || mode > TI_INTER_AREA) return TI_ERR_ARGUMENT;
    changing(destination);
    if (const int rc = ensurePixels(destination); rc != TI_OK) return rc;
    const TI_RECT to{0, 0, destination.width, destination.height};
    // A still-encoded source scaled down by a smoothing filter: let the
    // codec decode straight at a reduced size that is at least the
    // destination's, and scale only that.
    std::shared_ptr<const PendingPixels> pending;
    if (mode != TI_INTER_NEAREST && source.deferred.load(std::memory_order_acquire) &&
        (destination.width < source.width || destination.height < source.height)) {
        std::lock_guard<std::mutex> lock(source.pendingLock);
        if (source.deferred.load(std::memory_order_relaxed)) pending = source.pending;
    }
    if (pending) {
        ImagePtr reduced;
        if (const int rc = pending->decode(destination.width, destination.height, reduced); rc != TI_OK) return rc;
        if (reduced->format != source.format) return TI_ERR_FORMAT;
        const SourceArea whole{0, 0, static_cast<double>(reduced->width), static_cast<double>(reduced->height)};
        const int rc = resample(*reduced, whole, destination, to, mode);
        if (reduced->width == source.width && reduced->height == source.height) adoptDecoded(source, reduced);
        return rc;
    }
    if (const int rc = ensurePixels(source); rc != TI_OK) return rc;
    const SourceArea whole{0, 0, static_cast<double>(source.width), static_cast<double>(source.height)};
    return resample(source, whole, destination, to, mode);
}

int addPagesOf(ti_multipage_& writer, const SharedBytes& bytes, const TI_PARAM* params, int count) {
    TI_FILE_INFO info{};
    info.size = sizeof info;
    if (const int rc = describeData(bytes, info); rc != TI_OK) return rc;
    for (int page = 0; page < info.pageCount; ++page) {
        ImagePtr image;
        if (const int rc = loadData(bytes, page, image); rc != TI_OK) return rc;
        SaveOptions options;
        options.format = TI_FORMAT_TIFF;
        options.quality = image->quality;
        if (const int rc = applyParams(params, count, options); rc != TI_OK) return rc;
        if (const int rc = ensurePixels(*image); rc != TI_OK) return rc;
        std::lock_guard<std::mutex> lock(writer.lock);
        if (!writer.writer) return TI_ERR_ARGUMENT;
        if (const int rc = writer.writer->add(*image, options); rc != TI_OK) return rc;
    }
    return TI_OK;
}

int fileInfoReady(TI_FILE_INFO* info) {
    if (!info || info->size < static_cast<int32_t>(sizeof(TI_FILE_INFO))) return TI_ERR_ARGUMENT;
    const int32_t size = info->size;
    std::memset(info, 0, sizeof *info);
    info->size = size;
    return TI_OK;
}

}  // namespace

extern "C" {

// ---- Information ---------------------------------------------------------

TI_EXPORT int TI_API ti_GetImageInfo(const ti_char* path, TI_FILE_INFO* info) {
    return guarded("ti_GetImageInfo", [&]() -> int {
        if (!path || fileInfoReady(info) != TI_OK) return TI_ERR_ARGUMENT;
        SharedBytes bytes;
        if (const int rc = readFileShared(path, bytes); rc != TI_OK) return rc;
        return describeData(bytes, *info);
    });
}

TI_EXPORT int TI_API ti_GetImageInfoFromStream(TI_STREAM* stream, TI_FILE_INFO* info) {
    return guarded("ti_GetImageInfoFromStream", [&]() -> int {
        if (fileInfoReady(info) != TI_OK) return TI_ERR_ARGUMENT;
        auto bytes = std::make_shared<Bytes>();
        if (const int rc = readStream(stream, *bytes); rc != TI_OK) return rc;
        return describeData(bytes, *info);
    });
}

TI_EXPORT int TI_API ti_GetInfo(TI_IMAGE handle, TI_IMAGE_INFO* info) {
    return guarded("ti_GetInfo", [&]() -> int {
        ti_image_* image = live(handle);
        if (!image || !info) return TI_ERR_ARGUMENT;
        const bool withData = info->size == static_cast<int32_t>(sizeof(TI_IMAGE_INFO));
        if (!withData && info->size != TI_IMAGE_INFO_LAYOUT_SIZE) return TI_ERR_ARGUMENT;
        if (withData) {
            if (const int rc = ensurePixels(*image); rc != TI_OK) return rc;
            // The rows handed out are writable, and nothing tells when the
            // caller writes them.
            changing(*image);
        }
        info->pixelFormat = image->format;
        info->width = image->width;
        info->height = image->height;
        info->xDpi = image->xDpi;
        info->yDpi = image->yDpi;
        info->stride = image->stride;
        info->topDown = image->topDown ? 1 : 0;
        info->jpegQuality = image->quality;
        if (withData) info->data = image->first;
        return TI_OK;
    });
}

TI_EXPORT int TI_API ti_SetDpi(TI_IMAGE handle, int xDpi, int yDpi) {
    return guarded("ti_SetDpi", [&]() -> int {
        ti_image_* image = live(handle);
        if (!image || xDpi < 0 || yDpi < 0 || xDpi > 65535 || yDpi > 65535) return TI_ERR_ARGUMENT;
        image->xDpi = xDpi;
        image->yDpi = yDpi;
        return TI_OK;
    });
}

TI_EXPORT int TI_API ti_SetJpegQuality(TI_IMAGE handle, int quality) {
    return guarded("ti_SetJpegQuality", [&]() -> int {
        ti_image_* image = live(handle);
        if (!image || quality < 1 || quality > 100) return TI_ERR_ARGUMENT;
        image->quality = quality;
        return TI_OK;
    });
}

// ---- Loading -------------------------------------------------------------

TI_EXPORT TI_IMAGE TI_API ti_LoadImage(const ti_char* path) {
    return guardedImage("ti_LoadImage", [&](ImagePtr& out) -> int { return path ? loadFile(path, 0, out) : TI_ERR_ARGUMENT; });
}

TI_EXPORT TI_IMAGE TI_API ti_LoadImageEx(const ti_char* path, int page) {
    return guardedImage("ti_LoadImageEx", [&](ImagePtr& out) -> int {
        return path && page >= 0 ? loadFile(path, page, out) : TI_ERR_ARGUMENT;
    });
}

TI_EXPORT TI_IMAGE TI_API ti_LoadFromMem(const void* data, int length) {
    return guardedImage("ti_LoadFromMem", [&](ImagePtr& out) -> int {
        if (!data || length <= 0) return TI_ERR_ARGUMENT;
        if (static_cast<std::uint64_t>(length) > kMaxEncodedBytes) return TI_ERR_MEMORY;
        const auto* p = static_cast<const std::uint8_t*>(data);
        // A copy: a deferred image outlives the caller's buffer.
        auto bytes = std::make_shared<const Bytes>(p, p + length);
        return loadData(bytes, 0, out);
    });
}

TI_EXPORT TI_IMAGE TI_API ti_LoadFromDIB(const void* header, const void* bits) {
    return guardedImage("ti_LoadFromDIB", [&](ImagePtr& out) -> int { return loadDib(header, bits, out); });
}

TI_EXPORT TI_IMAGE TI_API ti_LoadFromStream(TI_STREAM* stream, int page) {
    return guardedImage("ti_LoadFromStream", [&](ImagePtr& out) -> int {
        if (page < 0) return TI_ERR_ARGUMENT;
        auto bytes = std::make_shared<Bytes>();
        if (const int rc = readStream(stream, *bytes); rc != TI_OK) return rc;
        return loadData(bytes, page, out);
    });
}

// ---- Saving --------------------------------------------------------------

TI_EXPORT int TI_API ti_SaveImage(const ti_char* path, TI_IMAGE handle) {
    return guarded("ti_SaveImage", [&]() -> int {
        ti_image_* image = live(handle);
        if (!path || !image) return TI_ERR_ARGUMENT;
        SaveOptions options;
        if (const int rc = saveOptionsFor(path, *image, options); rc != TI_OK) return rc;
        return save(path, *image, options);
    });
}

TI_EXPORT int TI_API ti_SaveImage2(const ti_char* path, TI_IMAGE handle, int compression, int quality, int flags) {
    return guarded("ti_SaveImage2", [&]() -> int {
        ti_image_* image = live(handle);
        if (!path || !image || flags != 0) return TI_ERR_ARGUMENT;
        if (quality != -1 && (quality < 1 || quality > 100)) return TI_ERR_ARGUMENT;
        SaveOptions options;
        if (const int rc = saveOptionsFor(path, *image, options); rc != TI_OK) return rc;
        if (options.format == TI_FORMAT_TIFF && !isCompression(compression)) return TI_ERR_ARGUMENT;
        if (options.format == TI_FORMAT_TIFF) options.compression = compression;
        if (quality != -1) options.quality = quality;
        return save(path, *image, options);
    });
}

TI_EXPORT int TI_API ti_SaveImageEx(const ti_char* path, TI_IMAGE handle, const TI_PARAM* params, int count) {
    return guarded("ti_SaveImageEx", [&]() -> int {
        ti_image_* image = live(handle);
        if (!path || !image) return TI_ERR_ARGUMENT;
        SaveOptions options;
        if (const int rc = saveOptionsFor(path, *image, options); rc != TI_OK) return rc;
        if (const int rc = applyParams(params, count, options); rc != TI_OK) return rc;
        return save(path, *image, options);
    });
}

TI_EXPORT int TI_API ti_SaveToStream(TI_STREAM* stream, TI_IMAGE handle, int format, const TI_PARAM* params,
                                     int count) {
    return guarded("ti_SaveToStream", [&]() -> int {
        ti_image_* image = live(handle);
        if (!stream || !image || format < TI_FORMAT_BMP || format > TI_FORMAT_TIFF) return TI_ERR_ARGUMENT;
        SaveOptions options;
        options.format = format;
        options.quality = image->quality;
        if (const int rc = applyParams(params, count, options); rc != TI_OK) return rc;
        if (const int rc = ensurePixels(*image); rc != TI_OK) return rc;
        Bytes bytes;
        if (const int rc = backend::encode(*image, options, bytes); rc != TI_OK) return rc;
        return writeStream(stream, bytes);
    });
}

// ---- Making and releasing images -----------------------------------------

TI_EXPORT TI_IMAGE TI_API ti_CloneImage(TI_IMAGE handle) {
    return guardedImage("ti_CloneImage", [&](ImagePtr& out) -> int {
        ti_image_* image = live(handle);
        return image ? cloneImage(*image, out) : TI_ERR_ARGUMENT;
    });
}

TI_EXPORT TI_IMAGE TI_API ti_CreateImage(int width, int height, int pixelFormat) {
    return guardedImage("ti_CreateImage", [&](ImagePtr& out) -> int { return createImage(width, height, pixelFormat, out); });
}

TI_EXPORT TI_IMAGE TI_API ti_CreateImage2(int width, int height, int pixelFormat, int xDpi, int yDpi) {
    return guardedImage("ti_CreateImage2", [&](ImagePtr& out) -> int {
        if (xDpi < 0 || yDpi < 0 || xDpi > 65535 || yDpi > 65535) return TI_ERR_ARGUMENT;
        const int rc = createImage(width, height, pixelFormat, out);
        if (rc == TI_OK) {
            out->xDpi = xDpi;
            out->yDpi = yDpi;
        }
        return rc;
    });
}

TI_EXPORT TI_IMAGE TI_API ti_AttachImageData(int width, int height, int pixelFormat, int stride, void* data) {
    return guardedImage("ti_AttachImageData", [&](ImagePtr& out) -> int {
        if (!data || !isPixelFormat(pixelFormat) || width < 1 || height < 1 || width > kMaxSide ||
            height > kMaxSide || stride == INT32_MIN)
            return TI_ERR_ARGUMENT;
        const long long distance = stride < 0 ? -static_cast<long long>(stride) : stride;
        if (distance < static_cast<long long>(width) * pixelFormat) return TI_ERR_ARGUMENT;
        auto image = std::make_unique<ti_image_>();
        image->width = width;
        image->height = height;
        image->format = pixelFormat;
        image->stride = static_cast<int>(distance);
        image->topDown = stride > 0;
        image->first = static_cast<std::uint8_t*>(data);
        out = std::move(image);
        return TI_OK;
    });
}

TI_EXPORT void TI_API ti_ReleaseImage(TI_IMAGE* handle) {
    guarded("ti_ReleaseImage", [&]() -> int {
        if (!handle) return TI_ERR_ARGUMENT;
        if (!*handle) return TI_OK;
        ti_image_* image = live(*handle);
        if (!image) return TI_ERR_ARGUMENT;
        ImagePtr owner(image);
        *handle = nullptr;
        return TI_OK;
    });
}

// ---- Pixel operations ------------------------------------------------------

TI_EXPORT int TI_API ti_Copy(TI_IMAGE source, TI_IMAGE destination) {
    return guarded("ti_Copy", [&]() -> int {
        ti_image_ *s = live(source), *d = live(destination);
        if (!s || !d) return TI_ERR_ARGUMENT;
        changing(*d);
        if (const int rc = ready(*s, *d); rc != TI_OK) return rc;
        return copyPixels(*s, *d);
    });
}

TI_EXPORT int TI_API ti_Resize(TI_IMAGE source, TI_IMAGE destination, int mode) {
    return guarded("ti_Resize", [&]() -> int {
        ti_image_ *s = live(source), *d = live(destination);
        if (!s || !d) return TI_ERR_ARGUMENT;
        return resizeWhole(*s, *d, mode);
    });
}

TI_EXPORT int TI_API ti_ResizeRect(TI_IMAGE source, const TI_RECT* sourceRect, TI_IMAGE destination,
                                   const TI_RECT* destinationRect, int mode) {
    return guarded("ti_ResizeRect", [&]() -> int {
        ti_image_ *s = live(source), *d = live(destination);
        if (!s || !d || s == d) return TI_ERR_ARGUMENT;
        const TI_RECT from = sourceRect ? *sourceRect : TI_RECT{0, 0, s->width, s->height};
        const TI_RECT to = destinationRect ? *destinationRect : TI_RECT{0, 0, d->width, d->height};
        if (!validRect(from, *s) || !validRect(to, *d)) return TI_ERR_ARGUMENT;
        changing(*d);
        if (const int rc = ready(*s, *d); rc != TI_OK) return rc;
        const SourceArea area{static_cast<double>(from.left), static_cast<double>(from.top),
                              static_cast<double>(from.width), static_cast<double>(from.height)};
        return resample(*s, area, *d, to, mode);
    });
}

TI_EXPORT int TI_API ti_BitBlt(TI_IMAGE destination, int x, int y, int width, int height, TI_IMAGE source, int sx,
                               int sy) {
    return guarded("ti_BitBlt", [&]() -> int {
        ti_image_ *s = live(source), *d = live(destination);
        if (!s || !d) return TI_ERR_ARGUMENT;
        changing(*d);
        if (const int rc = ready(*s, *d); rc != TI_OK) return rc;
        return bitBlt(*d, x, y, width, height, *s, sx, sy);
    });
}

TI_EXPORT int TI_API ti_AlphaBlend(TI_IMAGE destination, int x, int y, TI_IMAGE source, int alpha) {
    return guarded("ti_AlphaBlend", [&]() -> int {
        ti_image_ *s = live(source), *d = live(destination);
        if (!s || !d) return TI_ERR_ARGUMENT;
        changing(*d);
        if (const int rc = ready(*s, *d); rc != TI_OK) return rc;
        return alphaBlend(*d, x, y, *s, alpha);
    });
}

TI_EXPORT int TI_API ti_CopyRect(TI_IMAGE source, TI_IMAGE destination, int left, int top, int fill) {
    return guarded("ti_CopyRect", [&]() -> int {
        ti_image_ *s = live(source), *d = live(destination);
        if (!s || !d) return TI_ERR_ARGUMENT;
        changing(*d);
        if (const int rc = ready(*s, *d); rc != TI_OK) return rc;
        return copyRect(*s, *d, left, top, fill);
    });
}

TI_EXPORT int TI_API ti_GetQuadrangleSubPix(TI_IMAGE source, TI_IMAGE destination, const double matrix[6]) {
    return guarded("ti_GetQuadrangleSubPix", [&]() -> int {
        ti_image_ *s = live(source), *d = live(destination);
        if (!s || !d || !matrix) return TI_ERR_ARGUMENT;
        changing(*d);
        if (const int rc = ready(*s, *d); rc != TI_OK) return rc;
        return warpAffine(*s, *d, matrix, true, kKeepPixels);
    });
}

TI_EXPORT int TI_API ti_Rotate(TI_IMAGE source, TI_IMAGE destination, double angle, int fill) {
    return guarded("ti_Rotate", [&]() -> int {
        ti_image_ *s = live(source), *d = live(destination);
        if (!s || !d) return TI_ERR_ARGUMENT;
        changing(*d);
        if (const int rc = ready(*s, *d); rc != TI_OK) return rc;
        return rotate(*s, *d, angle, fill);
    });
}

TI_EXPORT int TI_API ti_Orientate(TI_IMAGE source, TI_IMAGE destination, int angle) {
    return guarded("ti_Orientate", [&]() -> int {
        ti_image_ *s = live(source), *d = live(destination);
        if (!s || !d) return TI_ERR_ARGUMENT;
        changing(*d);
        if (const int rc = ready(*s, *d); rc != TI_OK) return rc;
        return orientate(*s, *d, angle);
    });
}

TI_EXPORT int TI_API ti_Flip(TI_IMAGE source, TI_IMAGE destination, int mode) {
    return guarded("ti_Flip", [&]() -> int {
        ti_image_ *s = live(source), *d = live(destination);
        if (!s || !d) return TI_ERR_ARGUMENT;
        changing(*d);
        if (const int rc = ready(*s, *d); rc != TI_OK) return rc;
        return flip(*s, *d, mode);
    });
}

TI_EXPORT int TI_API ti_Repeat(TI_IMAGE source, TI_IMAGE destination) {
    return guarded("ti_Repeat", [&]() -> int {
        ti_image_ *s = live(source), *d = live(destination);
        if (!s || !d) return TI_ERR_ARGUMENT;
        changing(*d);
        if (const int rc = ready(*s, *d); rc != TI_OK) return rc;
        return repeat(*s, *d, nullptr);
    });
}

TI_EXPORT int TI_API ti_RepeatRect(TI_IMAGE source, TI_IMAGE destination, const TI_RECT* rect) {
    return guarded("ti_RepeatRect", [&]() -> int {
        ti_image_ *s = live(source), *d = live(destination);
        if (!s || !d) return TI_ERR_ARGUMENT;
        changing(*d);
        if (const int rc = ready(*s, *d); rc != TI_OK) return rc;
        return repeat(*s, *d, rect);
    });
}

TI_EXPORT int TI_API ti_Fill(TI_IMAGE handle, uint32_t color) {
    return guarded("ti_Fill", [&]() -> int {
        ti_image_* image = live(handle);
        if (!image) return TI_ERR_ARGUMENT;
        changing(*image);
        if (const int rc = ready(*image); rc != TI_OK) return rc;
        return fill(*image, nullptr, color);
    });
}

TI_EXPORT int TI_API ti_FillRect(TI_IMAGE handle, const TI_RECT* rect, uint32_t color) {
    return guarded("ti_FillRect", [&]() -> int {
        ti_image_* image = live(handle);
        if (!image) return TI_ERR_ARGUMENT;
        changing(*image);
        if (const int rc = ready(*image); rc != TI_OK) return rc;
        return fill(*image, rect, color);
    });
}

TI_EXPORT int TI_API ti_SetZero(TI_IMAGE handle) {
    return guarded("ti_SetZero", [&]() -> int {
        ti_image_* image = live(handle);
        if (!image) return TI_ERR_ARGUMENT;
        changing(*image);
        if (const int rc = ready(*image); rc != TI_OK) return rc;
        return setZero(*image);
    });
}

TI_EXPORT int TI_API ti_Not(TI_IMAGE source, TI_IMAGE destination) {
    return guarded("ti_Not", [&]() -> int {
        ti_image_ *s = live(source), *d = live(destination);
        if (!s || !d) return TI_ERR_ARGUMENT;
        changing(*d);
        if (const int rc = ready(*s, *d); rc != TI_OK) return rc;
        return invert(*s, *d);
    });
}

TI_EXPORT int TI_API ti_Split(TI_IMAGE source, TI_IMAGE planes[4]) {
    return guarded("ti_Split", [&]() -> int {
        ti_image_* s = live(source);
        if (!s || !planes) return TI_ERR_ARGUMENT;
        ti_image_* p[4] = {};
        for (int i = 0; i < 4; ++i) {
            if (!planes[i]) continue;
            if (!(p[i] = live(planes[i]))) return TI_ERR_ARGUMENT;
            changing(*p[i]);
            if (const int rc = ready(*p[i]); rc != TI_OK) return rc;
        }
        if (const int rc = ready(*s); rc != TI_OK) return rc;
        return split(*s, p);
    });
}

TI_EXPORT int TI_API ti_Merge(TI_IMAGE planes[4], TI_IMAGE destination) {
    return guarded("ti_Merge", [&]() -> int {
        ti_image_* d = live(destination);
        if (!d || !planes) return TI_ERR_ARGUMENT;
        const ti_image_* p[4] = {};
        for (int i = 0; i < 4; ++i) {
            if (!planes[i]) continue;
            ti_image_* plane = live(planes[i]);
            if (!plane) return TI_ERR_ARGUMENT;
            if (const int rc = ready(*plane); rc != TI_OK) return rc;
            p[i] = plane;
        }
        changing(*d);
        if (const int rc = ready(*d); rc != TI_OK) return rc;
        return merge(p, *d);
    });
}

TI_EXPORT int TI_API ti_LUT(TI_IMAGE source, TI_IMAGE destination, const uint8_t table[256]) {
    return guarded("ti_LUT", [&]() -> int {
        ti_image_ *s = live(source), *d = live(destination);
        if (!s || !d || !table) return TI_ERR_ARGUMENT;
        changing(*d);
        if (const int rc = ready(*s, *d); rc != TI_OK) return rc;
        return lut(*s, *d, table);
    });
}

TI_EXPORT int TI_API ti_Threshold(TI_IMAGE source, TI_IMAGE destination, int level, int maxValue, int type) {
    return guarded("ti_Threshold", [&]() -> int {
        ti_image_ *s = live(source), *d = live(destination);
        if (!s || !d) return TI_ERR_ARGUMENT;
        changing(*d);
        if (const int rc = ready(*s, *d); rc != TI_OK) return rc;
        return threshold(*s, *d, level, maxValue, type);
    });
}

TI_EXPORT int TI_API ti_ConvertColor(TI_IMAGE source, TI_IMAGE destination, int code) {
    return guarded("ti_ConvertColor", [&]() -> int {
        ti_image_ *s = live(source), *d = live(destination);
        if (!s || !d) return TI_ERR_ARGUMENT;
        changing(*d);
        if (const int rc = ready(*s, *d); rc != TI_OK) return rc;
        return convertColor(*s, *d, code);
    });
}

TI_EXPORT int TI_API ti_Light(TI_IMAGE source, TI_IMAGE destination, int brightness, int contrast) {
    return guarded("ti_Light", [&]() -> int {
        ti_image_ *s = live(source), *d = live(destination);
        if (!s || !d) return TI_ERR_ARGUMENT;
        changing(*d);
        if (const int rc = ready(*s, *d); rc != TI_OK) return rc;
        return light(*s, *d, brightness, contrast, 1.0);
    });
}

TI_EXPORT int TI_API ti_Saturate(TI_IMAGE source, TI_IMAGE destination, int saturation) {
    return guarded("ti_Saturate", [&]() -> int {
        ti_image_ *s = live(source), *d = live(destination);
        if (!s || !d) return TI_ERR_ARGUMENT;
        changing(*d);
        if (const int rc = ready(*s, *d); rc != TI_OK) return rc;
        return saturate(*s, *d, saturation);
    });
}

TI_EXPORT int TI_API ti_Mean(TI_IMAGE handle, double out[4]) {
    return guarded("ti_Mean", [&]() -> int {
        ti_image_* image = live(handle);
        if (!image || !out) return TI_ERR_ARGUMENT;
        if (const int rc = ready(*image); rc != TI_OK) return rc;
        return mean(*image, out);
    });
}

TI_EXPORT int TI_API ti_LightEx(TI_IMAGE source, TI_IMAGE destination, int brightness, int contrast, double gamma) {
    return guarded("ti_LightEx", [&]() -> int {
        ti_image_ *s = live(source), *d = live(destination);
        if (!s || !d) return TI_ERR_ARGUMENT;
        changing(*d);
        if (const int rc = ready(*s, *d); rc != TI_OK) return rc;
        return light(*s, *d, brightness, contrast, gamma);
    });
}

// ---- Memory and errors -----------------------------------------------------

TI_EXPORT void* TI_API ti_Alloc(int size) {
    void* block = nullptr;
    guarded("ti_Alloc", [&]() -> int {
        if (size <= 0) return TI_ERR_ARGUMENT;
        block = allocateBlock(size);
        return block ? TI_OK : TI_ERR_MEMORY;
    });
    return block;
}

TI_EXPORT void TI_API ti_Free_(void* block) {
    guarded("ti_Free_", [&]() -> int {
        freeBlock(block);
        return TI_OK;
    });
}

TI_EXPORT int TI_API ti_SetMemoryManager(TI_ALLOC_FN alloc, TI_FREE_FN release) {
    return guarded("ti_SetMemoryManager", [&]() -> int { return setMemoryManager(alloc, release); });
}

TI_EXPORT int TI_API ti_GetErrMode(void) { return errorMode(); }

TI_EXPORT int TI_API ti_SetErrMode(int mode) {
    return guarded("ti_SetErrMode", [&]() -> int { return setErrorMode(mode) ? TI_OK : TI_ERR_ARGUMENT; });
}

TI_EXPORT int TI_API ti_Error(void) { return threadError(); }

TI_EXPORT int TI_API ti_RedirectError(TI_ERROR_HANDLER handler, void* user) {
    return guarded("ti_RedirectError", [&]() -> int {
        setErrorHandler(handler, user);
        return TI_OK;
    });
}

// ---- Multi-page TIFF writer ------------------------------------------------

TI_EXPORT TI_MULTIPAGE TI_API ti_MultiPageCreateHandle(const ti_char* path) {
    std::unique_ptr<ti_multipage_> writer;
    const int rc = guarded("ti_MultiPageCreateHandle", [&]() -> int {
        if (!path) return TI_ERR_ARGUMENT;
        auto made = std::make_unique<ti_multipage_>();
        if (const int code = backend::openPageWriter(path, made->writer); code != TI_OK) return code;
        writer = std::move(made);
        return TI_OK;
    });
    return rc == TI_OK ? writer.release() : nullptr;
}

TI_EXPORT int TI_API ti_MultiPageAddFile(TI_MULTIPAGE handle, const ti_char* path, const TI_PARAM* params, int count) {
    return guarded("ti_MultiPageAddFile", [&]() -> int {
        ti_multipage_* writer = live(handle);
        if (!writer || !path) return TI_ERR_ARGUMENT;
        SharedBytes bytes;
        if (const int rc = readFileShared(path, bytes); rc != TI_OK) return rc;
        return addPagesOf(*writer, bytes, params, count);
    });
}

TI_EXPORT int TI_API ti_MultiPageAddStream(TI_MULTIPAGE handle, TI_STREAM* stream, const TI_PARAM* params,
                                           int count) {
    return guarded("ti_MultiPageAddStream", [&]() -> int {
        ti_multipage_* writer = live(handle);
        if (!writer) return TI_ERR_ARGUMENT;
        auto bytes = std::make_shared<Bytes>();
        if (const int rc = readStream(stream, *bytes); rc != TI_OK) return rc;
        return addPagesOf(*writer, bytes, params, count);
    });
}

TI_EXPORT int TI_API ti_MultiPageAddImage(TI_MULTIPAGE handle, TI_IMAGE imageHandle, const TI_PARAM* params,
                                          int count) {
    return guarded("ti_MultiPageAddImage", [&]() -> int {
        ti_multipage_* writer = live(handle);
        ti_image_* image = live(imageHandle);
        if (!writer || !image) return TI_ERR_ARGUMENT;
        SaveOptions options;
        options.format = TI_FORMAT_TIFF;
        options.quality = image->quality;
        if (const int rc = applyParams(params, count, options); rc != TI_OK) return rc;
        if (const int rc = ensurePixels(*image); rc != TI_OK) return rc;
        std::lock_guard<std::mutex> lock(writer->lock);
        if (!writer->writer) return TI_ERR_ARGUMENT;
        return writer->writer->add(*image, options);
    });
}

TI_EXPORT void TI_API ti_MultiPageReleaseHandle(TI_MULTIPAGE* handle) {
    guarded("ti_MultiPageReleaseHandle", [&]() -> int {
        if (!handle) return TI_ERR_ARGUMENT;
        if (!*handle) return TI_OK;
        ti_multipage_* writer = live(*handle);
        if (!writer) return TI_ERR_ARGUMENT;
        std::unique_ptr<ti_multipage_> owner(writer);
        *handle = nullptr;
        std::lock_guard<std::mutex> lock(owner->lock);
        return owner->writer ? owner->writer->close() : TI_OK;
    });
}

// ---- Misc ------------------------------------------------------------------

TI_EXPORT int TI_API ti_DataIsTopdown(TI_IMAGE handle) {
    int result = TI_ERR_ARGUMENT;
    guarded("ti_DataIsTopdown", [&]() -> int {
        ti_image_* image = live(handle);
        if (!image) return TI_ERR_ARGUMENT;
        result = image->topDown ? 1 : 0;
        return TI_OK;
    });
    return result;
}

TI_EXPORT int TI_API ti_GetVersion(void) { return kVersion; }

// ---- Beyond the 58 calls -----------------------------------------------------

TI_EXPORT int TI_API ti_GetSourceJpeg(TI_IMAGE handle, TI_STREAM* stream) {
    int written = 0;
    const int rc = guarded("ti_GetSourceJpeg", [&]() -> int {
        ti_image_* image = live(handle);
        if (!image || !stream || stream->kind != TI_STREAM_CALLBACK ||
            stream->size != static_cast<int32_t>(sizeof(TI_STREAM)) || !stream->write)
            return TI_ERR_ARGUMENT;
        if (!backend::keepsJpegSource()) return TI_ERR_NOT_SUPPORTED;
        // Held here: a writer on another thread may drop the image's own.
        const SourceBytes source = sourceJpegOf(*image);
        // No file behind the pixels is an answer, not a failure: the error
        // handler hears nothing of it.
        if (!source || source->empty()) return TI_OK;
        if (const int code = writeStream(stream, *source); code != TI_OK) return code;
        written = static_cast<int>(source->size());
        return TI_OK;
    });
    return rc == TI_OK ? written : rc;
}

}  // extern "C"
