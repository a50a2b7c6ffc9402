// What the SDK makes of a SANE device's options and frames, kept free of
// SANE's own types so it builds and is tested on every platform:
// which source and mode value stands for a scan, the resolution nearest
// the one asked for, and the assembly of the frames sane_read gives into a
// page.
//
// Source values are the backend's own words ("Flatbed", "ADF", "ADF Back",
// "ADF Duplex", "Automatic Document Feeder" ...), recognised ignoring case:
//   flatbed  "flatbed"
//   duplex   "duplex"
//   back     "back" (a feeder that reads only backs)
//   feeder   "adf", "feeder" or "document" (fronts), when neither of the two
//            above
// A device with no source option is a flatbed.
//
// Mode values: colour "color"/"colour"; grey "gray"/"grey"; line art
// "lineart"/"line art"/"binary"/"halftone". Black and white is scanned in
// grey where the device has it, so the SDK's own threshold (bwThreshold)
// makes the line art on every device alike; line art only where there is
// no grey. Grey falls back to colour. A device without a mode option scans
// as it does.
//
// Thread safety: pure functions; a PageAssembler is one thread's.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "image_owner.h"
#include "scan_options.h"

namespace dociva_sdk {

struct SourceKinds {
    bool flatbed = false;
    bool feeder = false;  // fronts
    bool back = false;
    bool duplex = false;
};

SourceKinds sourceKinds(const std::vector<std::string>& values, bool hasSourceOption);

// The value to set for a scan from the flatbed or the feeder's sides; "" to
// leave a device without a source option as it is; nothing when the device
// has no such source.
std::optional<std::string> chooseSource(const std::vector<std::string>& values, bool hasSourceOption,
                                        bool flatbed, Sides sides);

// The mode value for a colour mode; "" to leave a device without a mode
// option as it is; nothing when the device cannot give it.
std::optional<std::string> chooseMode(const std::vector<std::string>& values, bool hasModeOption,
                                      ColourMode mode);

// Whether a sensor option (a boolean the hardware sets and software reads)
// is a button a user presses, by its name: backends give their buttons'
// names ("scan", "email", "copy", "pdf", "button-1" ...) but also sensors
// of paper, cover and power that change by themselves ("page-loaded",
// "cover-open", "power-save" ...), which are not.
bool isButtonSensor(std::string_view optionName);
// The most buttons a device reports (the bindings' ids are 1..9).
constexpr int kMaxSensorButtons = 9;

// The offered value nearest wanted (the larger on a tie); wanted when the
// list is empty.
double nearestInList(const std::vector<double>& offered, double wanted);
// wanted held to min..max and to the steps of quant from min (0: any).
double nearestInRange(double min, double max, double quant, double wanted);

// One frame as sane_get_parameters describes it.
enum class FrameFormat { Gray, Rgb, Red, Green, Blue };

struct FrameLayout {
    FrameFormat format = FrameFormat::Gray;
    int depth = 8;           // 1, 8 or 16 bits a sample
    int pixelsPerLine = 0;
    int bytesPerLine = 0;
    int lines = -1;          // -1: unknown until the frame ends
};

// Builds one page from its frames: a grey or colour frame, or the red,
// green and blue frames of a three-pass device, in any order. Samples of 16
// bits are in the host's byte order (SANE's rule) and keep their high 8
// bits; in 1-bit grey a set bit is black.
class PageAssembler {
public:
    // False when the layout is one the SDK cannot read, or the bytes do not
    // fill whole lines of it, or it does not match earlier frames.
    bool addFrame(const FrameLayout& layout, const std::vector<std::uint8_t>& data);
    // The page in 24-bit colour at dpi; empty when no frame was added or
    // the toolkit refused it.
    ImageOwner finish(int dpi);

    int width() const { return width_; }
    int height() const { return height_; }

private:
    int width_ = 0;
    int height_ = 0;
    std::size_t stride_ = 0;
    std::vector<std::uint8_t> bgr_;
};

}  // namespace dociva_sdk
