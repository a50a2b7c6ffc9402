// Lossless edits of JPEG data: the eight turns and mirrorings of a page and
// crops on the block grid, done on the compressed data so the picture is
// never decoded and encoded again.
//
// One implementation per platform: on Linux TurboJPEG's transform; on
// Windows none yet (available() is false and every call fails), so the
// viewer keeps encoding edited JPEG pages there as it always did.
//
// Thread safety: every call is independent; any thread.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>

namespace jpeg_lossless {

// The eight ways a page can lie, as the change from how the file first
// lay. The values are the TurboJPEG transform codes, so the Linux side
// hands them through unchanged.
enum class Turn : int {
    None = 0,
    Mirror = 1,      // left to right
    Flip = 2,        // upside down
    Transpose = 3,   // across the diagonal from the top-left corner
    Transverse = 4,  // across the other diagonal
    Right = 5,       // 90 degrees clockwise
    Half = 6,        // 180 degrees
    Left = 7,        // 90 degrees counter-clockwise
};

// `first`, then `then`: the one turn that does both.
Turn compose(Turn first, Turn then);

// Size and block grid of JPEG data: a lossless crop starts on a multiple of
// the block size (the MCU: 8 or 16 pixels each way), and a turn that would
// move a partial block at the right or bottom edge to the left or top
// cannot be done losslessly.
struct Layout {
    int width = 0;
    int height = 0;
    int blockWidth = 8;
    int blockHeight = 8;
};

// Whether a turn of a picture of this layout keeps every block whole.
bool turnIsLossless(const Layout& layout, Turn turn);

// False where this platform has no lossless transform.
bool available();

// Nothing when the data is not JPEG this platform can transform.
std::optional<Layout> layoutOf(const std::string& jpeg);

// The data turned; false when that cannot be done losslessly (see
// turnIsLossless) or the data is damaged. Every marker of the file (its
// resolution, colour profile, comments) is kept.
bool turn(const std::string& jpeg, Turn turn, std::string& out);

// The rectangle cut out of the data; left and top must lie on the block
// grid, width and height may end anywhere inside the picture.
bool crop(const std::string& jpeg, int left, int top, int width, int height, std::string& out);

// The quality (1..100) the data's quantisation tables were most likely
// made with, on the scale of the usual JPEG encoders; 0 when the data
// cannot be read.
int estimateQuality(const std::string& jpeg);

}  // namespace jpeg_lossless

// What a page's file held before its first lossless edit, and how the page
// now lies against it. Every later turn starts again from those bytes, so
// a turn that cannot be done losslessly costs one encode of the first
// picture and its losses never add up, and a page turned back to how it
// first lay is the first file again, byte for byte.
struct JpegOrigin {
    std::shared_ptr<const std::string> bytes;  // null: no lossless edit yet
    jpeg_lossless::Turn turn = jpeg_lossless::Turn::None;
    // A hash of the file as the page's last edit left it: a file written
    // since by anything else (a new scan under the same name) is the start
    // of the next edit, never overwritten with a turn of the old one.
    std::size_t written = 0;
};
