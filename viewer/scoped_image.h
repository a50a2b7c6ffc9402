// Sole owner of one toolkit image; releases it through the toolkit.
//
// Thread safety: an owner belongs to one thread at a time.
#pragma once

#include <utility>

#include "output/timage_binding.h"

class ScopedImage {
public:
    ScopedImage() = default;
    explicit ScopedImage(TI_IMAGE image) : image_(image) {}
    ~ScopedImage() { reset(); }
    ScopedImage(ScopedImage&& other) noexcept : image_(other.release()) {}
    ScopedImage& operator=(ScopedImage&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }
    ScopedImage(const ScopedImage&) = delete;
    ScopedImage& operator=(const ScopedImage&) = delete;

    TI_IMAGE get() const { return image_; }
    explicit operator bool() const { return image_ != nullptr; }
    TI_IMAGE release() { return std::exchange(image_, nullptr); }
    void reset(TI_IMAGE image = nullptr) {
        TI_IMAGE old = std::exchange(image_, image);
        if (old) timage::ti_ReleaseImage(&old);
    }

private:
    TI_IMAGE image_ = nullptr;
};

// The layout of an image; width and height 0 when it cannot be read.
// Size, format and resolution without the row address: a JPEG that has not
// been decoded yet stays undecoded, so fitting it costs one reduced decode.
inline TI_IMAGE_INFO imageLayout(TI_IMAGE image) {
    TI_IMAGE_INFO info{};
    info.size = TI_IMAGE_INFO_LAYOUT_SIZE;
    if (!image || timage::ti_GetInfo(image, &info) != TI_OK) info = TI_IMAGE_INFO{};
    info.size = static_cast<int32_t>(sizeof(TI_IMAGE_INFO));
    return info;
}

inline TI_IMAGE_INFO imageInfo(TI_IMAGE image) {
    TI_IMAGE_INFO info{};
    info.size = static_cast<int32_t>(sizeof(TI_IMAGE_INFO));
    if (!image || timage::ti_GetInfo(image, &info) != TI_OK) {
        info = TI_IMAGE_INFO{};
        info.size = static_cast<int32_t>(sizeof(TI_IMAGE_INFO));
    }
    return info;
}
