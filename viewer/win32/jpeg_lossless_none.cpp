// No lossless JPEG transform in the Windows build yet: the viewer encodes
// an edited JPEG page again there, as it always has.
#include "viewer/jpeg_lossless.h"

namespace jpeg_lossless {

bool available() { return false; }
std::optional<Layout> layoutOf(const std::string&) { return std::nullopt; }
bool turn(const std::string&, Turn, std::string&) { return false; }
bool crop(const std::string&, int, int, int, int, std::string&) { return false; }
int estimateQuality(const std::string&) { return 0; }

}  // namespace jpeg_lossless
