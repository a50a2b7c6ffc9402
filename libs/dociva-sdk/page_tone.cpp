#include "page_tone.h"

#include <algorithm>

namespace dociva_sdk {

int toneGamma(int value) { return value <= 0 ? kToneUnchanged : std::clamp(value, 10, 1000); }
int toneBrightness(int value) { return value <= 0 ? kToneUnchanged : std::clamp(value, 0, 200); }
int toneContrast(int value) { return value <= 0 ? kToneUnchanged : std::clamp(value, 0, 200); }

DropOut dropOutOf(int value) {
    return value >= 1 && value <= 3 ? static_cast<DropOut>(value) : DropOut::None;
}

ImageOwner toned(ImageOwner page, const Tone& tone) {
    if (!page || tone.unchanged()) return page;
    const TI_IMAGE_INFO info = imageLayout(page.get());
    ImageOwner out(ti_CreateImage2(info.width, info.height, info.pixelFormat, info.xDpi, info.yDpi));
    // The toolkit's curve: 255 * (v / 255) ^ (1 / gamma) after the light.
    const double gamma = tone.gamma / 100.0;
    if (!out || ti_LightEx(page.get(), out.get(), tone.brightness - kToneUnchanged, tone.contrast - kToneUnchanged,
                           gamma) != TI_OK)
        return {};
    return out;
}

ImageOwner droppedOut(ImageOwner page, DropOut channel) {
    if (!page || channel == DropOut::None) return page;
    const TI_IMAGE_INFO info = imageLayout(page.get());
    if (info.pixelFormat == TI_GRAY8) return page;
    ImageOwner plane(ti_CreateImage2(info.width, info.height, TI_GRAY8, info.xDpi, info.yDpi));
    if (!plane) return {};
    // The toolkit's planes run blue, green, red.
    TI_IMAGE planes[4] = {};
    planes[channel == DropOut::Blue ? 0 : channel == DropOut::Green ? 1 : 2] = plane.get();
    if (ti_Split(page.get(), planes) != TI_OK) return {};
    return plane;
}

}  // namespace dociva_sdk
