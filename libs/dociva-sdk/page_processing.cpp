#include "page_processing.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "page_geometry.h"
#include "page_holes.h"
#include "page_text.h"

namespace dociva_sdk {

namespace {

ImageOwner turned(ImageOwner page, int clockwise) {
    if (clockwise == 0) return page;
    const TI_IMAGE_INFO info = imageLayout(page.get());
    const bool swap = clockwise != 180;
    ImageOwner out(ti_CreateImage2(swap ? info.height : info.width, swap ? info.width : info.height,
                                   info.pixelFormat, swap ? info.yDpi : info.xDpi, swap ? info.xDpi : info.yDpi));
    // The toolkit turns counter-clockwise.
    if (!out || ti_Orientate(page.get(), out.get(), 360 - clockwise) != TI_OK) return {};
    return out;
}

ImageOwner scaled(ImageOwner page, const ScanOptions& o, int& dpi) {
    dpi = o.dpi * o.changeDpi / 100;
    if (o.zoomX == 100 && o.zoomY == 100 && o.changeDpi == 100) return page;
    const TI_IMAGE_INFO info = imageLayout(page.get());
    const double fx = o.zoomX / 100.0 * o.changeDpi / 100.0;
    const double fy = o.zoomY / 100.0 * o.changeDpi / 100.0;
    const int w = std::max(1, static_cast<int>(std::lround(info.width * fx)));
    const int h = std::max(1, static_cast<int>(std::lround(info.height * fy)));
    ImageOwner out(ti_CreateImage2(w, h, info.pixelFormat, dpi, dpi));
    const int mode = (fx < 1.0 || fy < 1.0) ? TI_INTER_AREA : TI_INTER_LINEAR;
    if (!out || ti_Resize(page.get(), out.get(), mode) != TI_OK) return {};
    return out;
}

ImageOwner grey(TI_IMAGE page) {
    const TI_IMAGE_INFO info = imageLayout(page);
    ImageOwner out(ti_CreateImage2(info.width, info.height, TI_GRAY8, info.xDpi, info.yDpi));
    if (!out || ti_ConvertColor(page, out.get(), 0) != TI_OK) return {};
    return out;
}

}  // namespace

double inkCoverage(TI_IMAGE page) {
    ImageOwner luminance = grey(page);
    if (!luminance) return -1.0;
    TI_IMAGE_INFO info{};
    info.size = sizeof(info);
    if (ti_GetInfo(luminance.get(), &info) != TI_OK || !info.data) return -1.0;
    const int bx = static_cast<int>(info.width * kBlankBorder);
    const int by = static_cast<int>(info.height * kBlankBorder);
    std::uint64_t ink = 0;
    std::uint64_t total = 0;
    for (int y = by; y < info.height - by; ++y) {
        const std::uint8_t* row = info.data + static_cast<std::ptrdiff_t>(y) * info.stride;
        for (int x = bx; x < info.width - bx; ++x) ink += row[x] < kInkLevel ? 1 : 0;
        total += static_cast<std::uint64_t>(std::max(0, info.width - 2 * bx));
    }
    return total == 0 ? 0.0 : static_cast<double>(ink) / static_cast<double>(total);
}

ImageOwner bilevel(TI_IMAGE page, int threshold) {
    const TI_IMAGE_INFO info = imageLayout(page);
    ImageOwner out(ti_CreateImage2(info.width, info.height, TI_GRAY8, info.xDpi, info.yDpi));
    if (!out || ti_Threshold(page, out.get(), threshold, 255, 0) != TI_OK) return {};
    ti_SetDpi(out.get(), info.xDpi, info.yDpi);
    return out;
}

ImageOwner processSide(ImageOwner scanned, const ScanOptions& o, bool& blank) {
    blank = false;
    ImageOwner page = turned(std::move(scanned), o.rotateClockwise);
    if (!page) return {};
    // Before the blank-page test, which then judges the page alone.
    if (o.autoSize) {
        page = autoSized(std::move(page), o.dpi);
        if (!page) return {};
    }
    // On the straightened page, whose lines of text then run level.
    if (o.autoOrient) {
        page = turned(std::move(page), uprightTurn(page.get()));
        if (!page) return {};
    }
    // Before the blank-page test, which then does not count the holes.
    if (o.erasePunchHoles) {
        page = punchHolesErased(std::move(page), o.dpi);
        if (!page) return {};
    }
    if (o.dropBlankPages) {
        const double coverage = inkCoverage(page.get());
        if (coverage < 0.0) return {};
        if (coverage < kBlankInkShare) {
            blank = true;
            return {};
        }
    }
    // Drop-out reads the colour the scanner saw, so it comes before tone
    // and before the page turns grey.
    page = droppedOut(std::move(page), o.dropOut);
    if (!page) return {};
    page = toned(std::move(page), o.tone);
    if (!page) return {};
    int dpi = o.dpi;
    page = scaled(std::move(page), o, dpi);
    if (!page) return {};
    if (o.colour == ColourMode::Grey) {
        page = grey(page.get());
    } else if (o.colour == ColourMode::BlackWhite) {
        page = bilevel(page.get(), o.threshold);
    }
    if (!page) return {};
    if (o.invert && ti_Not(page.get(), page.get()) != TI_OK) return {};
    ti_SetDpi(page.get(), dpi, dpi);
    ti_SetJpegQuality(page.get(), o.jpegQuality);
    return page;
}

}  // namespace dociva_sdk
