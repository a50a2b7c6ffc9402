// Punch-hole removal (punchHoleErase): round holes near the page's edges,
// which show the scanner's dark background through the paper, are filled
// with the paper colour around them.
//
// A hole is a dark patch within an inch of an edge, 3 to 12 millimetres
// across, about as wide as tall and filling the disc it spans (a letter
// "O" is a ring, a bullet is smaller, a logo larger); it must lie wholly
// inside the page, not cut by an edge.
//
// Thread safety: pure functions over images the caller owns.
#pragma once

#include <vector>

#include "image_owner.h"

namespace dociva_sdk {

struct Hole {
    double x = 0.0, y = 0.0;  // centre, pixels
    double radius = 0.0;
};

// The holes found on the page at dpi.
std::vector<Hole> findPunchHoles(TI_IMAGE page, int dpi);

// The page with its holes filled (in place: the same image); the page as
// it is when it has none.
ImageOwner punchHolesErased(ImageOwner page, int dpi);

}  // namespace dociva_sdk
