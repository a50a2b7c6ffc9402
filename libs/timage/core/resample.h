// Scaling of a rectangle of one image into a rectangle of another, same
// pixel format, separable filters in fixed point:
//   TI_INTER_NEAREST  the source pixel under each destination centre;
//   TI_INTER_LINEAR   a triangle filter: bilinear when enlarging, widened
//                     to the scale when reducing (so reductions average
//                     instead of skipping pixels);
//   TI_INTER_CUBIC    Catmull-Rom, widened the same way;
//   TI_INTER_AREA     each destination pixel the exact area average of the
//                     source pixels it covers.
// Pixels beyond the source's edges repeat the edge.
//
// Thread safety: pure function of its arguments.
#pragma once

#include "libs/timage/core/image.h"

namespace timage {

struct SourceArea {
    double left, top, width, height;
};

int resample(const ti_image_& source, const SourceArea& from, ti_image_& destination, const TI_RECT& to, int mode);

}  // namespace timage
