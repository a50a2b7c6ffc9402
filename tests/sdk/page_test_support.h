// Pages whose truth is known, drawn pixel by pixel for the processing
// tests, and what the tests measure on them.
#pragma once

#include <cstdint>
#include <functional>

#include "libs/dociva-sdk/image_owner.h"

namespace page_testing {

struct Rgb {
    std::uint8_t r = 255, g = 255, b = 255;
};

// A page of format (TI_GRAY8 or TI_BGR24) at dpi, every pixel from paint;
// grey pages take the green of what paint gives.
dociva_sdk::ImageOwner drawPage(int width, int height, int format, int dpi,
                                const std::function<Rgb(int x, int y)>& paint);

// One pixel of a page; grey pages give r = g = b.
Rgb pixelAt(TI_IMAGE page, int x, int y);

// The same for many pixels of one page, reading its layout once.
class Pixels {
public:
    explicit Pixels(TI_IMAGE page);
    Rgb at(int x, int y) const;

private:
    TI_IMAGE_INFO info_{};
};

// Mean and standard deviation of the luminance (grey) or green (colour).
struct Levels {
    double mean = 0.0;
    double deviation = 0.0;
};
Levels levelsOf(TI_IMAGE page);

// True when both pages have the same layout and the same bytes.
bool samePixels(TI_IMAGE a, TI_IMAGE b);

}  // namespace page_testing
