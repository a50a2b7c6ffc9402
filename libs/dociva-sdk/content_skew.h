// The skew of a page's content (its lines of text), for deskew when the
// page's own edges cannot be seen.
//
// Leptonica's sweep-and-search over the page's dark pixels where the SDK
// is built with Leptonica (Linux); elsewhere no skew is ever found, so
// such pages stay as they are.
//
// Thread safety: pure functions; the page is only read.
#pragma once

#include <optional>

#include "libs/timage/timage.h"

namespace dociva_sdk {

// The largest skew looked for, either way, in degrees.
inline constexpr double kMaxContentSkew = 10.0;

// The angle in degrees by which the content stands turned clockwise (as the
// page is seen), within kMaxContentSkew; nothing when the page holds too
// little text-like content to tell. dpi picks the reductions used.
std::optional<double> contentSkew(TI_IMAGE page, int dpi);

}  // namespace dociva_sdk
