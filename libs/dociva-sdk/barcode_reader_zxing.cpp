// Barcodes through ZXing's C++ reader (libzxing-dev).
#include "barcode_reader.h"

#define ZX_USE_UTF8 1
#include <ZXing/ReadBarcode.h>

#include <algorithm>
#include <utility>
#include <vector>

#include "image_owner.h"
#include "platform/text.h"

namespace dociva_sdk {

namespace {

ZXing::BarcodeFormats formatsOf(std::uint32_t types) {
    using ZXing::BarcodeFormat;
    constexpr std::pair<std::uint32_t, BarcodeFormat> kMap[] = {
        {kBarcodeCode39, BarcodeFormat::Code39},   {kBarcodeCode93, BarcodeFormat::Code93},
        {kBarcodeCode128, BarcodeFormat::Code128}, {kBarcodeEan8, BarcodeFormat::EAN8},
        {kBarcodeEan13, BarcodeFormat::EAN13},     {kBarcodeUpcA, BarcodeFormat::UPCA},
        {kBarcodeUpcE, BarcodeFormat::UPCE},       {kBarcodeItf, BarcodeFormat::ITF},
        {kBarcodeCodabar, BarcodeFormat::Codabar}, {kBarcodeQr, BarcodeFormat::QRCode},
        {kBarcodeDataMatrix, BarcodeFormat::DataMatrix}, {kBarcodePdf417, BarcodeFormat::PDF417},
        {kBarcodeAztec, BarcodeFormat::Aztec},
    };
    ZXing::BarcodeFormats formats;
    for (const auto& [bit, format] : kMap)
        if (types & bit) formats |= format;
    return formats;
}

ZXing::ImageView areaOf(const ZXing::ImageView& page, BarcodeArea area) {
    const int w = page.width();
    const int h = page.height();
    switch (area) {
        case BarcodeArea::TopHalf:
            return page.cropped(0, 0, w, (h + 1) / 2);
        case BarcodeArea::BottomHalf:
            return page.cropped(0, h / 2, w, h - h / 2);
        case BarcodeArea::LeftHalf:
            return page.cropped(0, 0, (w + 1) / 2, h);
        case BarcodeArea::RightHalf:
            return page.cropped(w / 2, 0, w - w / 2, h);
        case BarcodeArea::Page:
            break;
    }
    return page;
}

struct Box {
    int left = 0, top = 0, width = 0, height = 0;
};

// Darkness of one pixel of the view, 0 (white) .. 255.
int darkness(const ZXing::ImageView& view, int x, int y) {
    const std::uint8_t* p = view.data(x, y);
    if (view.pixStride() == 1) return 255 - p[0];
    return 255 - (p[0] + 2 * p[1] + p[2]) / 4;
}

// Patches of the page that may hold a Data Matrix: groups of inked cells
// (a twentieth of an inch each) from 0.15 to 2 inches a side, not much
// longer than wide (a rectangular symbol is at most 4:1), about half
// dark, each with a margin of white for the reader. The whole page is
// looked at once, at one sample in four.
std::vector<Box> matrixCandidates(const ZXing::ImageView& view, int dpi) {
    const int cell = std::max(4, dpi / 20);
    const int gw = (view.width() + cell - 1) / cell;
    const int gh = (view.height() + cell - 1) / cell;
    std::vector<std::uint16_t> dark(static_cast<std::size_t>(gw) * gh, 0);
    std::vector<std::uint16_t> samples(dark.size(), 0);
    for (int y = 0; y < view.height(); y += 2) {
        for (int x = 0; x < view.width(); x += 2) {
            const std::size_t c = static_cast<std::size_t>(y / cell) * gw + static_cast<std::size_t>(x / cell);
            ++samples[c];
            if (darkness(view, x, y) > 127) ++dark[c];
        }
    }
    auto inked = [&](std::size_t c) { return samples[c] > 0 && dark[c] * 20 >= samples[c]; };

    std::vector<Box> out;
    std::vector<bool> seen(dark.size(), false);
    std::vector<std::size_t> stack;
    for (std::size_t start = 0; start < dark.size(); ++start) {
        if (seen[start] || !inked(start)) continue;
        int x0 = gw, x1 = -1, y0 = gh, y1 = -1;
        std::size_t cells = 0, darkSamples = 0, allSamples = 0;
        stack.assign(1, start);
        seen[start] = true;
        while (!stack.empty()) {
            const std::size_t c = stack.back();
            stack.pop_back();
            const int cx = static_cast<int>(c % gw);
            const int cy = static_cast<int>(c / gw);
            x0 = std::min(x0, cx), x1 = std::max(x1, cx), y0 = std::min(y0, cy), y1 = std::max(y1, cy);
            ++cells;
            darkSamples += dark[c];
            allSamples += samples[c];
            const int nx[4] = {cx - 1, cx + 1, cx, cx};
            const int ny[4] = {cy, cy, cy - 1, cy + 1};
            for (int i = 0; i < 4; ++i) {
                if (nx[i] < 0 || ny[i] < 0 || nx[i] >= gw || ny[i] >= gh) continue;
                const std::size_t n = static_cast<std::size_t>(ny[i]) * gw + static_cast<std::size_t>(nx[i]);
                if (!seen[n] && inked(n)) {
                    seen[n] = true;
                    stack.push_back(n);
                }
            }
        }
        const int w = (x1 - x0 + 1) * cell;
        const int h = (y1 - y0 + 1) * cell;
        const int smallest = dpi * 15 / 100;
        const int largest = dpi * 2;
        if (w < smallest || h < smallest || w > largest || h > largest) continue;
        if (std::max(w, h) > 5 * std::min(w, h)) continue;
        const std::size_t boxCells = static_cast<std::size_t>(x1 - x0 + 1) * (y1 - y0 + 1);
        if (cells * 2 < boxCells) continue;  // a symbol fills its box
        const double share = allSamples ? static_cast<double>(darkSamples) / static_cast<double>(allSamples) : 0.0;
        if (share < 0.25 || share > 0.8) continue;
        const int margin = std::max(2 * cell, std::max(w, h) / 4);
        Box b;
        b.left = std::max(0, x0 * cell - margin);
        b.top = std::max(0, y0 * cell - margin);
        b.width = std::min(view.width(), (x1 + 1) * cell + margin) - b.left;
        b.height = std::min(view.height(), (y1 + 1) * cell + margin) - b.top;
        out.push_back(b);
        if (out.size() >= 64) break;  // a page of nothing but patches is no form
    }
    return out;
}

}  // namespace

bool barcodeReaderAvailable() { return true; }

std::optional<std::u16string> readBarcode(TI_IMAGE page, const BarcodeOptions& options) {
    if (!page || (options.types & kBarcodeAny) == 0) return std::nullopt;
    TI_IMAGE_INFO info{};
    info.size = sizeof(info);
    if (ti_GetInfo(page, &info) != TI_OK || !info.data || info.width <= 0 || info.height <= 0) return std::nullopt;
    ZXing::ImageFormat format = ZXing::ImageFormat::Lum;
    if (info.pixelFormat == TI_BGR24) format = ZXing::ImageFormat::BGR;
    if (info.pixelFormat == TI_BGRA32) format = ZXing::ImageFormat::BGRX;
    // The toolkit's own images are top-down; one attached bottom-up is read
    // from its last row in memory.
    const bool topDown = ti_DataIsTopdown(page) != 0;
    const std::uint8_t* first =
        topDown ? info.data : info.data + static_cast<std::ptrdiff_t>(info.height - 1) * info.stride;
    const ZXing::ImageView view(first, info.width, info.height, format, topDown ? info.stride : -info.stride);

    ZXing::DecodeHints hints;
    hints.setFormats(formatsOf(options.types));
    hints.setTryHarder(true);
    hints.setTryRotate(options.autoRotate);
    hints.setTryDownscale(true);
    hints.setMaxNumberOfSymbols(1);
    try {
        const ZXing::ImageView area = areaOf(view, options.area);
        ZXing::Result result = ZXing::ReadBarcode(area, hints);
        if (!result.isValid() && (options.types & kBarcodeDataMatrix)) {
            // The reader finds a Data Matrix only on the lines through the
            // middle of the picture it is given, so each patch of the page
            // that could be one is read on its own, centred.
            hints.setFormats(ZXing::BarcodeFormat::DataMatrix);
            hints.setTryRotate(true);
            for (const Box& box : matrixCandidates(area, info.yDpi > 0 ? info.yDpi : 200)) {
                result = ZXing::ReadBarcode(area.cropped(box.left, box.top, box.width, box.height), hints);
                if (result.isValid()) break;
            }
        }
        if (!result.isValid()) return std::nullopt;
        return text::fromUtf8(result.text());
    } catch (...) {
        // A reader failure is a page without a barcode, never a failed scan.
        return std::nullopt;
    }
}

}  // namespace dociva_sdk
