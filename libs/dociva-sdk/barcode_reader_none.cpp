// A build without a barcode library: no page has a barcode.
#include "barcode_reader.h"

namespace dociva_sdk {

bool barcodeReaderAvailable() { return false; }

std::optional<std::u16string> readBarcode(TI_IMAGE, const BarcodeOptions&) { return std::nullopt; }

}  // namespace dociva_sdk
