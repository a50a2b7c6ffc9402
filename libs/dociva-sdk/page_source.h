// PageSource: the sides a scanner feeds in one start, one at a time, so no
// more than the page at hand is ever held. The virtual scanner's sources
// are here; a SANE device's are in sane_device.cpp.
//
// Input folder: every file the toolkit reads, in name order, each page of
// a multi-page TIFF in turn, is one side of the stack. A simplex scan
// takes one side per sheet, a duplex scan two (a missing last back comes
// out as a white page). A flatbed holds one sheet; a feeder takes
// pagesPerBatch sheets (0: the whole stack).
//
// Generated: pagesPerBatch sheets (a flatbed one) of a deterministic
// document page: a title bar, a red stamp, lines of word-like strokes and
// the page number at the foot. The description's blankPages lists the
// 1-based sides that come out blank.
//
// Thread safety: one thread at a time.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "device_description.h"
#include "image_owner.h"
#include "scan_options.h"

namespace dociva_sdk {

struct Side {
    std::size_t sheet = 0;  // 1-based within the batch
    bool back = false;
    std::size_t number = 0;  // 1-based side number within the batch
};

// Why a batch cannot go on: a status code of scanner/dociva_sdk.h and, with
// DOCIVA_STATUS_SCAN_FAILED, the error code reported with it.
struct DeviceFault {
    int status = 0;
    int errorCode = 0;
};

enum class Fetch { Page, End, Fault };

class PageSource {
public:
    virtual ~PageSource() = default;
    // The sides the batch will have when known before scanning; 0 when
    // only the feeder running empty tells.
    virtual std::size_t expectedSides() const = 0;
    // Before the first side: false (with the fault) when the batch cannot
    // begin, no paper above all.
    virtual bool begin(DeviceFault& fault) = 0;
    // The next side as the scanner sees it, 24-bit colour at the scan
    // resolution; End once the batch is done.
    virtual Fetch next(Side& side, ImageOwner& image, DeviceFault& fault) = 0;
};

// The virtual scanner's sources: every side is planned before the scan.
class PlannedPageSource : public PageSource {
public:
    const std::vector<Side>& sides() const { return sides_; }
    // Empty when the side cannot be read.
    virtual ImageOwner acquire(std::size_t index) = 0;

    std::size_t expectedSides() const override { return sides_.size(); }
    bool begin(DeviceFault& fault) override;
    Fetch next(Side& side, ImageOwner& image, DeviceFault& fault) override;

protected:
    std::vector<Side> sides_;

private:
    std::size_t next_ = 0;
};

// No sides at all means no paper.
std::unique_ptr<PlannedPageSource> makePageSource(const DeviceDescription& device, const ScanOptions& options);

// The 1-based numbers of a "2,4" list; anything else is skipped.
std::vector<std::size_t> parseSideList(std::u16string_view text);

}  // namespace dociva_sdk
