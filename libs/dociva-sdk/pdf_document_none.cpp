#include "pdf_document.h"

namespace dociva_sdk {

struct PdfDocument::Impl {};

PdfDocument::PdfDocument(int) {}
PdfDocument::~PdfDocument() = default;
bool PdfDocument::valid() const { return false; }
bool PdfDocument::addPage(TI_IMAGE) { return false; }
bool PdfDocument::save(const std::u16string&) { return false; }

}  // namespace dociva_sdk
