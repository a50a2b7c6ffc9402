#include "sane_choices.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <initializer_list>
#include <limits>

namespace dociva_sdk {

namespace {

std::string lower(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

bool holdsAny(const std::string& value, std::initializer_list<const char*> words) {
    const std::string l = lower(value);
    for (const char* w : words)
        if (l.find(w) != std::string::npos) return true;
    return false;
}

enum class SourceKind { Other, Flatbed, Feeder, Back, Duplex };

SourceKind kindOf(const std::string& value) {
    if (holdsAny(value, {"duplex"})) return SourceKind::Duplex;
    if (holdsAny(value, {"back"})) return SourceKind::Back;
    if (holdsAny(value, {"flatbed"})) return SourceKind::Flatbed;
    if (holdsAny(value, {"adf", "feeder", "document"})) return SourceKind::Feeder;
    return SourceKind::Other;
}

std::optional<std::string> firstOfKind(const std::vector<std::string>& values, SourceKind kind) {
    for (const std::string& v : values)
        if (kindOf(v) == kind) return v;
    return std::nullopt;
}

std::optional<std::string> firstHolding(const std::vector<std::string>& values,
                                        std::initializer_list<const char*> words) {
    for (const std::string& v : values)
        if (holdsAny(v, words)) return v;
    return std::nullopt;
}

}  // namespace

SourceKinds sourceKinds(const std::vector<std::string>& values, bool hasSourceOption) {
    SourceKinds k;
    if (!hasSourceOption) {
        k.flatbed = true;
        return k;
    }
    for (const std::string& v : values) {
        switch (kindOf(v)) {
            case SourceKind::Flatbed: k.flatbed = true; break;
            case SourceKind::Feeder: k.feeder = true; break;
            case SourceKind::Back: k.back = true; break;
            case SourceKind::Duplex: k.duplex = true; break;
            case SourceKind::Other: break;
        }
    }
    return k;
}

std::optional<std::string> chooseSource(const std::vector<std::string>& values, bool hasSourceOption,
                                        bool flatbed, Sides sides) {
    if (!hasSourceOption) return flatbed ? std::optional<std::string>("") : std::nullopt;
    if (flatbed) return firstOfKind(values, SourceKind::Flatbed);
    switch (sides) {
        case Sides::Front: return firstOfKind(values, SourceKind::Feeder);
        case Sides::Rear: return firstOfKind(values, SourceKind::Back);
        case Sides::Both: return firstOfKind(values, SourceKind::Duplex);
    }
    return std::nullopt;
}

bool isButtonSensor(std::string_view optionName) {
    if (optionName.empty()) return false;
    std::string name(optionName);
    for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    static const char* const kNotButtons[] = {"page", "paper", "cover", "adf", "hopper", "edge", "feed", "power",
                                              "error", "omr", "double", "lamp", "loaded", "duplex", "skew", "ink",
                                              "sleep", "door", "jam", "density", "counter", "calibrat", "warm"};
    for (const char* word : kNotButtons)
        if (name.find(word) != std::string::npos) return false;
    return true;
}

std::optional<std::string> chooseMode(const std::vector<std::string>& values, bool hasModeOption,
                                      ColourMode mode) {
    if (!hasModeOption) return std::string();
    const auto colour = firstHolding(values, {"color", "colour"});
    const auto grey = firstHolding(values, {"gray", "grey"});
    const auto lineArt = firstHolding(values, {"lineart", "line art", "binary", "halftone"});
    switch (mode) {
        case ColourMode::Colour: return colour;
        case ColourMode::Grey: return grey ? grey : colour;
        case ColourMode::BlackWhite: return grey ? grey : lineArt ? lineArt : colour;
    }
    return std::nullopt;
}

double nearestInList(const std::vector<double>& offered, double wanted) {
    double best = wanted;
    double distance = std::numeric_limits<double>::infinity();
    for (double v : offered) {
        const double d = std::fabs(v - wanted);
        if (d < distance || (d == distance && v > best)) {
            best = v;
            distance = d;
        }
    }
    return best;
}

double nearestInRange(double min, double max, double quant, double wanted) {
    double v = std::clamp(wanted, min, std::max(min, max));
    if (quant > 0.0) {
        v = min + std::round((v - min) / quant) * quant;
        if (v > max) v -= quant;
    }
    return v;
}

bool PageAssembler::addFrame(const FrameLayout& layout, const std::vector<std::uint8_t>& data) {
    const int w = layout.pixelsPerLine;
    const int bpl = layout.bytesPerLine;
    const bool colourFrame = layout.format == FrameFormat::Rgb;
    const int samples = colourFrame ? 3 : 1;
    if (w <= 0 || bpl <= 0 || (layout.depth != 1 && layout.depth != 8 && layout.depth != 16)) return false;
    if (colourFrame && layout.depth == 1) return false;
    const std::size_t needed = (static_cast<std::size_t>(w) * samples * layout.depth + 7) / 8;
    if (static_cast<std::size_t>(bpl) < needed) return false;
    if (data.size() % static_cast<std::size_t>(bpl) != 0) return false;
    const std::size_t got = data.size() / static_cast<std::size_t>(bpl);
    // A device that told its height gives that many lines; one that could
    // not tell gives what the paper had.
    const int h = layout.lines >= 0 ? layout.lines : static_cast<int>(got);
    if (h <= 0 || got < static_cast<std::size_t>(h) || w > 30000 || h > 30000) return false;

    if (bgr_.empty()) {
        width_ = w;
        height_ = h;
        stride_ = (static_cast<std::size_t>(w) * 3 + 3) & ~std::size_t{3};
        // Unset channels of a three-pass page stay white.
        bgr_.assign(stride_ * static_cast<std::size_t>(h), 0xFF);
    } else if (w != width_ || h != height_) {
        return false;
    }

    auto sample = [&](const std::uint8_t* line, int index) -> std::uint8_t {
        switch (layout.depth) {
            case 1: return (line[index / 8] & (0x80 >> (index % 8))) ? 0 : 255;
            case 8: return line[index];
            default: {
                std::uint16_t v;
                std::copy_n(line + 2 * index, 2, reinterpret_cast<std::uint8_t*>(&v));
                return static_cast<std::uint8_t>(v >> 8);
            }
        }
    };
    for (int y = 0; y < h; ++y) {
        const std::uint8_t* line = data.data() + static_cast<std::size_t>(y) * bpl;
        std::uint8_t* out = bgr_.data() + static_cast<std::size_t>(y) * stride_;
        for (int x = 0; x < w; ++x) {
            std::uint8_t* px = out + 3 * x;
            switch (layout.format) {
                case FrameFormat::Gray: px[0] = px[1] = px[2] = sample(line, x); break;
                case FrameFormat::Rgb:
                    px[2] = sample(line, 3 * x);
                    px[1] = sample(line, 3 * x + 1);
                    px[0] = sample(line, 3 * x + 2);
                    break;
                case FrameFormat::Red: px[2] = sample(line, x); break;
                case FrameFormat::Green: px[1] = sample(line, x); break;
                case FrameFormat::Blue: px[0] = sample(line, x); break;
            }
        }
    }
    return true;
}

ImageOwner PageAssembler::finish(int dpi) {
    if (bgr_.empty()) return {};
    ImageOwner attached(ti_AttachImageData(width_, height_, TI_BGR24, static_cast<int>(stride_), bgr_.data()));
    if (!attached) return {};
    ImageOwner page(ti_CloneImage(attached.get()));
    attached.reset();
    bgr_.clear();
    bgr_.shrink_to_fit();
    if (page) ti_SetDpi(page.get(), dpi, dpi);
    return page;
}

}  // namespace dociva_sdk
