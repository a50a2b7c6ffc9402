// The image object behind a TI_IMAGE handle: a block of pixel rows, owned
// or attached, with its resolution and JPEG quality; or, for a freshly
// loaded file whose codec can decode later, a promise of those pixels.
//
// Thread safety: different images may be used on different threads. One
// image may be read by several threads at once (turning a deferred image
// into pixels is guarded by the image's own lock), but not changed while
// another thread reads it.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <vector>

#include "libs/timage/timage.h"

struct ti_image_;

namespace timage {

struct FreeDeleter {
    void operator()(std::uint8_t* p) const noexcept { std::free(p); }
};
using PixelBuffer = std::unique_ptr<std::uint8_t, FreeDeleter>;

using ImagePtr = std::unique_ptr<ti_image_>;

inline bool isPixelFormat(int format) { return format == TI_GRAY8 || format == TI_BGR24 || format == TI_BGRA32; }

// Pixels that a codec has not decoded yet. Shared, immutable: a clone of a
// deferred image shares it.
class PendingPixels {
public:
    virtual ~PendingPixels() = default;
    // A new image of the whole picture when minWidth and minHeight are 0;
    // else possibly a reduced one, never smaller than minWidth x minHeight
    // (clamped to the full size). Resolution and quality are the caller's.
    virtual int decode(int minWidth, int minHeight, ImagePtr& out) const = 0;
};

// A zero-filled, top-down image of this toolkit's layout; TI_ERR_MEMORY
// beyond the limits or when memory runs out, TI_ERR_ARGUMENT for a bad
// size or format.
int createImage(int width, int height, int format, ImagePtr& out);

// An image that will be decoded on first need, with the picture's size
// and format.
ImagePtr deferredImage(int width, int height, int format, std::shared_ptr<const PendingPixels> pending);

// Decodes a deferred image in place; TI_OK at once for any other.
int ensurePixels(ti_image_& image);
// Gives a deferred image the pixels of a full-size decode; the caller holds
// image.pendingLock and has seen it still deferred. False when decoded does
// not have the announced layout.
bool installDecoded(ti_image_& image, ImagePtr& decoded);

// An independent copy; a deferred image stays deferred in the copy. The
// copy has no JPEG source of its own.
int cloneImage(ti_image_& source, ImagePtr& out);

using SourceBytes = std::shared_ptr<const std::vector<std::uint8_t>>;

// The JPEG file an image was loaded from while its pixels are still that
// file's picture; null once anything may have written them.
SourceBytes sourceJpegOf(ti_image_& image);
// Called before anything may write the image's pixels: from then on the
// image no longer stands for its file.
void forgetSource(ti_image_& image);

}  // namespace timage

struct ti_image_ {
    static constexpr std::uint32_t kAlive = 0x54494d47u;  // "TIMG"
    static constexpr std::uint32_t kReleased = 0xdeadbeefu;

    ti_image_() = default;
    ti_image_(const ti_image_&) = delete;
    ti_image_& operator=(const ti_image_&) = delete;
    ~ti_image_() { magic = kReleased; }

    std::uint32_t magic = kAlive;
    int width = 0;
    int height = 0;
    int format = 0;    // bytes per pixel
    int stride = 0;    // bytes between rows in memory, positive
    bool topDown = true;
    int xDpi = 0;
    int yDpi = 0;
    int quality = 75;

    // First row in memory (the top row when topDown).
    std::uint8_t* first = nullptr;
    // Owner of first, null for attached pixels and deferred images.
    timage::PixelBuffer buffer;

    // Set while the pixels are still to be decoded; pending is guarded by
    // pendingLock, deferred is the lock-free test.
    std::atomic<bool> deferred{false};
    std::mutex pendingLock;
    std::shared_ptr<const timage::PendingPixels> pending;
    // The encoded file behind a freshly loaded JPEG, kept past its decode
    // until the pixels may change (ti_GetSourceJpeg); guarded by
    // pendingLock, as a reader may drop it (a full-size ti_GetInfo hands
    // out writable rows).
    std::shared_ptr<const std::vector<std::uint8_t>> sourceJpeg;

    // Row y counted from the top of the picture.
    std::uint8_t* row(int y) const {
        const int index = topDown ? y : height - 1 - y;
        return first + static_cast<std::ptrdiff_t>(index) * stride;
    }
    std::size_t rowBytes() const { return static_cast<std::size_t>(width) * static_cast<std::size_t>(format); }
    bool sameShape(const ti_image_& other) const {
        return width == other.width && height == other.height && format == other.format;
    }
};
