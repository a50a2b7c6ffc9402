#include "libs/timage/core/image.h"

#include <cstring>
#include <new>

#include "libs/timage/core/limits.h"

namespace timage {

int createImage(int width, int height, int format, ImagePtr& out) {
    out.reset();
    if (!isPixelFormat(format) || width < 1 || height < 1) return TI_ERR_ARGUMENT;
    if (!withinLimits(width, height, format)) return TI_ERR_MEMORY;
    const std::uint64_t stride = alignedStride(width, format);
    // calloc: large blocks come as untouched zero pages, so a blank image
    // costs nothing until it is written.
    PixelBuffer buffer(static_cast<std::uint8_t*>(std::calloc(static_cast<std::size_t>(stride), static_cast<std::size_t>(height))));
    if (!buffer) return TI_ERR_MEMORY;
    auto image = std::make_unique<ti_image_>();
    image->width = width;
    image->height = height;
    image->format = format;
    image->stride = static_cast<int>(stride);
    image->first = buffer.get();
    image->buffer = std::move(buffer);
    out = std::move(image);
    return TI_OK;
}

ImagePtr deferredImage(int width, int height, int format, std::shared_ptr<const PendingPixels> pending) {
    auto image = std::make_unique<ti_image_>();
    image->width = width;
    image->height = height;
    image->format = format;
    image->stride = static_cast<int>(alignedStride(width, format));
    image->pending = std::move(pending);
    image->deferred.store(true, std::memory_order_release);
    return image;
}

int ensurePixels(ti_image_& image) {
    if (!image.deferred.load(std::memory_order_acquire)) return TI_OK;
    std::lock_guard<std::mutex> lock(image.pendingLock);
    if (!image.deferred.load(std::memory_order_relaxed)) return TI_OK;
    ImagePtr decoded;
    const int rc = image.pending->decode(0, 0, decoded);
    if (rc != TI_OK) return rc;
    return installDecoded(image, decoded) ? TI_OK : TI_ERR_FORMAT;
}

bool installDecoded(ti_image_& image, ImagePtr& decoded) {
    // Layout fields are never written here: readers may look at them
    // without the lock, and a deferred image announced them already.
    if (!decoded || !decoded->sameShape(image) || !decoded->buffer || decoded->stride != image.stride ||
        decoded->topDown != image.topDown)
        return false;
    image.first = decoded->first;
    image.buffer = std::move(decoded->buffer);
    image.pending.reset();
    image.deferred.store(false, std::memory_order_release);
    return true;
}

int cloneImage(ti_image_& source, ImagePtr& out) {
    out.reset();
    {
        std::lock_guard<std::mutex> lock(source.pendingLock);
        if (source.deferred.load(std::memory_order_relaxed)) {
            out = deferredImage(source.width, source.height, source.format, source.pending);
            out->xDpi = source.xDpi;
            out->yDpi = source.yDpi;
            out->quality = source.quality;
            return TI_OK;
        }
    }
    ImagePtr copy;
    const int rc = createImage(source.width, source.height, source.format, copy);
    if (rc != TI_OK) return rc;
    for (int y = 0; y < source.height; ++y) std::memcpy(copy->row(y), source.row(y), source.rowBytes());
    copy->xDpi = source.xDpi;
    copy->yDpi = source.yDpi;
    copy->quality = source.quality;
    out = std::move(copy);
    return TI_OK;
}

SourceBytes sourceJpegOf(ti_image_& image) {
    std::lock_guard<std::mutex> lock(image.pendingLock);
    return image.sourceJpeg;
}

void forgetSource(ti_image_& image) {
    std::lock_guard<std::mutex> lock(image.pendingLock);
    image.sourceJpeg.reset();
}

}  // namespace timage
