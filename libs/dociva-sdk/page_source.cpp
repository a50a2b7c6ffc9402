#include "page_source.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "output_files.h"
#include "platform/files.h"
#include "scanner/dociva_sdk.h"
#include "platform/path.h"

namespace dociva_sdk {

namespace {

// Paper the generator uses when the settings give no area: US Letter, cut
// to what the device takes.
constexpr double kDefaultWidth = 8.5;
constexpr double kDefaultHeight = 11.0;

std::vector<Side> planSides(std::size_t sheets, const ScanOptions& options) {
    std::vector<Side> out;
    for (std::size_t sheet = 1; sheet <= sheets; ++sheet) {
        if (options.sides != Sides::Rear) out.push_back(Side{sheet, false, 0});
        if (options.sides != Sides::Front) out.push_back(Side{sheet, true, 0});
    }
    for (std::size_t i = 0; i < out.size(); ++i) out[i].number = i + 1;
    return out;
}

std::size_t sheetsPerStart(const DeviceDescription& device, const ScanOptions& options) {
    if (options.flatbed) return 1;
    return device.pagesPerBatch;
}

ImageOwner toColour(ImageOwner image) {
    const TI_IMAGE_INFO info = imageLayout(image.get());
    if (info.pixelFormat == TI_BGR24) return image;
    ImageOwner colour(ti_CreateImage2(info.width, info.height, TI_BGR24, info.xDpi, info.yDpi));
    if (!colour || ti_ConvertColor(image.get(), colour.get(), 0) != TI_OK) return {};
    return colour;
}

// --- Generated pages ------------------------------------------------------

// 5 x 7 dot patterns of the digits, one row a byte, high bit on the left.
constexpr std::uint8_t kDigits[10][7] = {
    {0x70, 0x88, 0x98, 0xA8, 0xC8, 0x88, 0x70}, {0x20, 0x60, 0x20, 0x20, 0x20, 0x20, 0x70},
    {0x70, 0x88, 0x08, 0x10, 0x20, 0x40, 0xF8}, {0xF8, 0x10, 0x20, 0x10, 0x08, 0x88, 0x70},
    {0x10, 0x30, 0x50, 0x90, 0xF8, 0x10, 0x10}, {0xF8, 0x80, 0xF0, 0x08, 0x08, 0x88, 0x70},
    {0x30, 0x40, 0x80, 0xF0, 0x88, 0x88, 0x70}, {0xF8, 0x08, 0x10, 0x20, 0x40, 0x40, 0x40},
    {0x70, 0x88, 0x88, 0x70, 0x88, 0x88, 0x70}, {0x70, 0x88, 0x88, 0x78, 0x08, 0x10, 0x60},
};

void fill(TI_IMAGE image, int left, int top, int width, int height, std::uint32_t colour) {
    const TI_RECT r{left, top, width, height};
    ti_FillRect(image, &r, colour);
}

void drawNumber(TI_IMAGE image, std::size_t number, int centreX, int top, int dot) {
    const std::string digits = std::to_string(number);
    const int advance = 6 * dot;
    int x = centreX - static_cast<int>(digits.size()) * advance / 2;
    for (char c : digits) {
        const auto& rows = kDigits[c - '0'];
        for (int row = 0; row < 7; ++row)
            for (int col = 0; col < 5; ++col)
                if (rows[row] & (0x80 >> col)) fill(image, x + col * dot, top + row * dot, dot, dot, 0xFF000000u);
        x += advance;
    }
}

// A small deterministic generator, so the same side always looks the same.
class Lcg {
public:
    explicit Lcg(std::uint32_t seed) : state_(seed * 2654435761u + 12345u) {}
    std::uint32_t next(std::uint32_t bound) {
        state_ = state_ * 1664525u + 1013904223u;
        return (state_ >> 8) % bound;
    }

private:
    std::uint32_t state_;
};

class GeneratedSource final : public PlannedPageSource {
public:
    GeneratedSource(const DeviceDescription& device, const ScanOptions& options) : options_(options) {
        sides_ = planSides(sheetsPerStart(device, options), options);
        blank_ = parseSideList(device.blankPages);
        const double maxHeight = std::max(device.maxHeight, device.maxLength);
        width_ = options.areaWidth > 0.0 ? options.areaWidth : std::min(kDefaultWidth, device.maxWidth);
        height_ = options.areaHeight > 0.0 ? options.areaHeight : std::min(kDefaultHeight, maxHeight);
    }

    ImageOwner acquire(std::size_t index) override {
        if (index >= sides_.size()) return {};
        const Side& side = sides_[index];
        const int dpi = options_.dpi;
        const int w = std::max(1, static_cast<int>(std::lround(width_ * dpi)));
        const int h = std::max(1, static_cast<int>(std::lround(height_ * dpi)));
        ImageOwner page(ti_CreateImage2(w, h, TI_BGR24, dpi, dpi));
        if (!page) return {};
        ti_Fill(page.get(), 0xFFFFFFFFu);
        if (std::find(blank_.begin(), blank_.end(), side.number) != blank_.end()) {
            // Paper is never perfectly clean: a few specks of dust.
            for (int i = 0; i < 3; ++i) fill(page.get(), w / 4 * (i + 1), h / 3, 2, 2, 0xFF808080u);
            return page;
        }
        drawDocument(page.get(), w, h, dpi, side);
        return page;
    }

private:
    void drawDocument(TI_IMAGE page, int w, int h, int dpi, const Side& side) const {
        Lcg random(static_cast<std::uint32_t>(side.number));
        const int margin = dpi * 3 / 4;
        const int lineHeight = std::max(2, dpi / 10);
        const int pitch = std::max(lineHeight + 2, dpi / 4);
        // Title bar and a red stamp: what tells colour from grey.
        fill(page, margin, margin, w - 2 * margin, pitch, 0xFF1F3A93u);
        fill(page, w - margin - dpi, margin + 2 * pitch, dpi, dpi / 2, 0xFFC0392Bu);
        int y = margin + 2 * pitch;
        const int footer = h - margin - 2 * pitch;
        while (y + lineHeight < footer) {
            int x = margin;
            const int right = (y < margin + 2 * pitch + dpi / 2 + pitch) ? w - margin - dpi - pitch : w - margin;
            const int lineEnd = right - static_cast<int>(random.next(static_cast<std::uint32_t>(dpi)));
            while (x < lineEnd) {
                const int word = dpi / 8 + static_cast<int>(random.next(static_cast<std::uint32_t>(dpi / 2 + 1)));
                fill(page, x, y, std::min(word, lineEnd - x), lineHeight, 0xFF202020u);
                x += word + dpi / 12 + 1;
            }
            // A paragraph break now and then.
            y += random.next(6) == 0 ? 2 * pitch : pitch;
        }
        const int dot = std::max(1, dpi / 40);
        drawNumber(page, side.number, w / 2, h - margin - 7 * dot, dot);
    }

    ScanOptions options_;
    std::vector<std::size_t> blank_;
    double width_ = 0.0;
    double height_ = 0.0;
};

// --- Pages from a folder ---------------------------------------------------

struct StackPage {
    std::u16string path;
    int page = 0;
};

class FolderSource final : public PlannedPageSource {
public:
    FolderSource(const DeviceDescription& device, const ScanOptions& options) : options_(options) {
        std::vector<std::u16string> names;
        for (const platform::FileEntry& e : platform::findFiles(platform::joinPath(device.inputFolder, u"*")))
            if (!e.isDirectory) names.push_back(e.name);
        std::sort(names.begin(), names.end());
        for (const std::u16string& name : names) {
            const std::u16string path = platform::joinPath(device.inputFolder, name);
            TI_FILE_INFO info{};
            info.size = sizeof(info);
            if (ti_GetImageInfo(path.c_str(), &info) != TI_OK) continue;
            for (int p = 0; p < std::max(1, info.pageCount); ++p) stack_.push_back(StackPage{path, p});
        }
        const std::size_t perSheet = options.sides == Sides::Both ? 2 : 1;
        std::size_t sheets = (stack_.size() + perSheet - 1) / perSheet;
        const std::size_t limit = sheetsPerStart(device, options);
        if (limit > 0) sheets = std::min(sheets, limit);
        sides_ = planSides(sheets, options);
    }

    ImageOwner acquire(std::size_t index) override {
        if (index >= sides_.size()) return {};
        const Side& side = sides_[index];
        // Each side of the stack is the next image, whichever side is read.
        const std::size_t perSheet = options_.sides == Sides::Both ? 2 : 1;
        const std::size_t at = (side.sheet - 1) * perSheet + (side.back && perSheet == 2 ? 1 : 0);
        if (at >= stack_.size()) return whiteLike(index);
        ImageOwner loaded(ti_LoadImageEx(stack_[at].path.c_str(), stack_[at].page));
        if (!loaded) return {};
        ImageOwner colour = toColour(std::move(loaded));
        if (!colour) return {};
        return atScanResolution(std::move(colour));
    }

private:
    // The back of a last sheet the folder has no image for.
    ImageOwner whiteLike(std::size_t index) {
        ImageOwner front = index > 0 ? acquire(index - 1) : ImageOwner{};
        const TI_IMAGE_INFO info = imageLayout(front.get());
        if (info.width <= 0) return {};
        ImageOwner white(ti_CreateImage2(info.width, info.height, TI_BGR24, info.xDpi, info.yDpi));
        if (white) ti_Fill(white.get(), 0xFFFFFFFFu);
        return white;
    }

    // A file without a resolution is taken as scanned at the resolution
    // asked for.
    ImageOwner atScanResolution(ImageOwner image) const {
        const TI_IMAGE_INFO info = imageLayout(image.get());
        const int dpi = options_.dpi;
        if (info.xDpi <= 0 || info.yDpi <= 0 || (info.xDpi == dpi && info.yDpi == dpi)) {
            ti_SetDpi(image.get(), dpi, dpi);
            return image;
        }
        const int w = std::max(1, static_cast<int>(std::lround(static_cast<double>(info.width) * dpi / info.xDpi)));
        const int h = std::max(1, static_cast<int>(std::lround(static_cast<double>(info.height) * dpi / info.yDpi)));
        ImageOwner scaled(ti_CreateImage2(w, h, TI_BGR24, dpi, dpi));
        const int mode = w < info.width ? TI_INTER_AREA : TI_INTER_LINEAR;
        if (!scaled || ti_Resize(image.get(), scaled.get(), mode) != TI_OK) return {};
        return scaled;
    }

    ScanOptions options_;
    std::vector<StackPage> stack_;
};

}  // namespace

std::vector<std::size_t> parseSideList(std::u16string_view text) {
    std::vector<std::size_t> out;
    std::size_t value = 0;
    bool inNumber = false;
    for (std::size_t i = 0; i <= text.size(); ++i) {
        const char16_t c = i < text.size() ? text[i] : u',';
        if (c >= u'0' && c <= u'9') {
            if (value < 1000000) value = value * 10 + static_cast<std::size_t>(c - u'0');
            inNumber = true;
        } else {
            if (inNumber && value > 0) out.push_back(value);
            value = 0;
            inNumber = false;
        }
    }
    return out;
}

bool PlannedPageSource::begin(DeviceFault& fault) {
    if (!sides_.empty()) return true;
    fault = DeviceFault{DOCIVA_STATUS_NO_PAPER, 0};
    return false;
}

Fetch PlannedPageSource::next(Side& side, ImageOwner& image, DeviceFault& fault) {
    if (next_ >= sides_.size()) return Fetch::End;
    const std::size_t index = next_++;
    side = sides_[index];
    image = acquire(index);
    if (image) return Fetch::Page;
    fault = DeviceFault{DOCIVA_STATUS_SCAN_FAILED, kErrorReadPage};
    return Fetch::Fault;
}

std::unique_ptr<PlannedPageSource> makePageSource(const DeviceDescription& device, const ScanOptions& options) {
    if (!device.inputFolder.empty()) return std::make_unique<FolderSource>(device, options);
    return std::make_unique<GeneratedSource>(device, options);
}

}  // namespace dociva_sdk
