// A build without Leptonica: the text tells nothing.
#include "page_text.h"

namespace dociva_sdk {

std::optional<double> contentSkew(TI_IMAGE, int) { return std::nullopt; }

int uprightTurn(TI_IMAGE) { return 0; }

}  // namespace dociva_sdk
