// The processing the virtual scanner applies to each scanned side, in this
// order: turn (rotate), automatic size and deskew, automatic orientation,
// punch-hole removal, blank-page test, colour drop-out, tone (gamma,
// brightness, contrast), scaling (zoomX/zoomY and the resolution change),
// colour mode (grey, or black and white at the threshold), inversion,
// resolution and JPEG quality of the result. A step whose setting is off
// does no work at all.
//
// Thread safety: pure functions over images the caller owns.
#pragma once

#include "image_owner.h"
#include "scan_options.h"

namespace dociva_sdk {

// A page counts as blank when less than this share of its pixels is ink
// (luminance below kInkLevel), ignoring a border of kBlankBorder of each
// dimension where edge shadows lie.
inline constexpr double kBlankInkShare = 0.003;
inline constexpr int kInkLevel = 128;
inline constexpr double kBlankBorder = 0.03;

// The share of ink pixels of a page (0..1); -1 when it cannot be read.
double inkCoverage(TI_IMAGE page);

// Processes a scanned side. Sets blank (and returns an empty owner) when
// blank pages are dropped and this is one; also returns empty on failure
// with blank false.
ImageOwner processSide(ImageOwner scanned, const ScanOptions& options, bool& blank);

// A bilevel copy (0 or 255) of a page at threshold, for Group 4 pages.
ImageOwner bilevel(TI_IMAGE page, int threshold);

}  // namespace dociva_sdk
