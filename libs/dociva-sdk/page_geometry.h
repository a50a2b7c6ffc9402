// Automatic size and deskew (autoSize): the page found in what the
// scanner saw, straightened and cropped to its edges.
//
// When the scan shows the page against a dark background (the overscan of
// a feeder, a flatbed's closed black lid), the page's edges give its skew
// and its size: it is turned straight and cut to its edges. At least two
// edges must be seen as straight lines (a page may run past the scan on
// the other two) and agree on the skew within a degree. When the page
// fills the scan (no background to be seen), its lines of text give the
// skew (page_text.h) and it is turned straight inside the same size,
// its uncovered corners filled with white; a page that shows neither
// stays as it is.
//
// Thread safety: pure functions over images the caller owns.
#pragma once

#include <optional>

#include "image_owner.h"

namespace dociva_sdk {

// Skews smaller than this are left alone: turning costs a resampling of
// the page for less than a third of a pixel across an A4 page at 300 dpi.
inline constexpr double kMinSkew = 0.05;
// Edges that seem to stand more than this turned are not a page's.
inline constexpr double kMaxEdgeSkew = 20.0;

// Where a page lies in a scan with a dark background, and how it is turned
// (clockwise, as seen); nothing when no dark background surrounds it.
struct PageOutline {
    double skew = 0.0;
    int lightLevel = 128;  // luminance from which a pixel is paper
};
std::optional<PageOutline> findPageOnBackground(TI_IMAGE scan);

// The page straightened and cut to its edges as above; the page itself
// when there is nothing to do; empty on failure.
ImageOwner autoSized(ImageOwner page, int dpi);

}  // namespace dociva_sdk
