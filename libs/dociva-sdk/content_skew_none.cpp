// A build without Leptonica: content never tells a skew.
#include "content_skew.h"

namespace dociva_sdk {

std::optional<double> contentSkew(TI_IMAGE, int) { return std::nullopt; }

}  // namespace dociva_sdk
