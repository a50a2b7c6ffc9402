// What a page's lines of text tell about how it lies: their skew, for
// deskew when the page's own edges cannot be seen, and which way is up.
//
// Leptonica (its skew sweep-and-search, its text-orientation detection
// from the shapes of letters) where the SDK is built with it (Linux);
// elsewhere the text tells nothing, so such pages stay as they are.
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

// The clockwise turn (0, 90, 180 or 270) that brings the page's text
// upright; 0 when the page holds too little text to tell (a photo, an
// empty page) or the text is upright already.
int uprightTurn(TI_IMAGE page);

}  // namespace dociva_sdk
