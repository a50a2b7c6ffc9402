// ImageOwner: one toolkit image, released through the toolkit when the
// owner goes away.
//
// Thread safety: one thread at a time per owner.
#pragma once

#include <utility>

#include "libs/timage/timage.h"

namespace dociva_sdk {

class ImageOwner {
public:
    ImageOwner() = default;
    explicit ImageOwner(TI_IMAGE image) : image_(image) {}
    ~ImageOwner() { reset(); }
    ImageOwner(ImageOwner&& other) noexcept : image_(std::exchange(other.image_, nullptr)) {}
    ImageOwner& operator=(ImageOwner&& other) noexcept {
        if (this != &other) {
            reset();
            image_ = std::exchange(other.image_, nullptr);
        }
        return *this;
    }
    ImageOwner(const ImageOwner&) = delete;
    ImageOwner& operator=(const ImageOwner&) = delete;

    TI_IMAGE get() const { return image_; }
    explicit operator bool() const { return image_ != nullptr; }
    void reset() {
        if (image_) ti_ReleaseImage(&image_);
        image_ = nullptr;
    }

private:
    TI_IMAGE image_ = nullptr;
};

// The layout of an image without decoding it; zeros on failure.
inline TI_IMAGE_INFO imageLayout(TI_IMAGE image) {
    TI_IMAGE_INFO info{};
    info.size = TI_IMAGE_INFO_LAYOUT_SIZE;
    if (!image || ti_GetInfo(image, &info) != TI_OK) info = TI_IMAGE_INFO{};
    return info;
}

}  // namespace dociva_sdk
