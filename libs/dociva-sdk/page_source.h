// PageSource: the sides the virtual scanner feeds in one start, one at a
// time, so no more than the page at hand is ever held.
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

class PageSource {
public:
    virtual ~PageSource() = default;
    const std::vector<Side>& sides() const { return sides_; }
    // The side as the scanner sees it: 24-bit colour at the scan
    // resolution. Empty when it cannot be read.
    virtual ImageOwner acquire(std::size_t index) = 0;

protected:
    std::vector<Side> sides_;
};

// No sides at all means no paper.
std::unique_ptr<PageSource> makePageSource(const DeviceDescription& device, const ScanOptions& options);

// The 1-based numbers of a "2,4" list; anything else is skipped.
std::vector<std::size_t> parseSideList(std::u16string_view text);

}  // namespace dociva_sdk
