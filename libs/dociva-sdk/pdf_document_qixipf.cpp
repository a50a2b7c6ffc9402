#include "libs/qixipf/qixipf.h"
#include "pdf_document.h"

namespace dociva_sdk {

struct PdfDocument::Impl {
    QIX_DOCUMENT* doc = nullptr;
    ~Impl() {
        if (doc) doc->functions->release(&doc);
    }
};

PdfDocument::PdfDocument(int jpegQuality) : impl_(std::make_unique<Impl>()) {
    impl_->doc = qix_CreateIF(QIX_INTERFACE_REVISION, 0);
    if (!impl_->doc) return;
    const QIX_FUNCTIONS* f = impl_->doc->functions;
    if (f->create(impl_->doc) != QIX_OK || f->setJpegQuality(impl_->doc, jpegQuality) != QIX_OK)
        f->release(&impl_->doc);
}

PdfDocument::~PdfDocument() = default;

bool PdfDocument::valid() const { return impl_->doc != nullptr; }

bool PdfDocument::addPage(TI_IMAGE page) {
    return valid() && impl_->doc->functions->addPage(impl_->doc, page, 0) == QIX_OK;
}

bool PdfDocument::save(const std::u16string& path) {
    return valid() && impl_->doc->functions->save(impl_->doc, path.c_str(), 0) == QIX_OK;
}

}  // namespace dociva_sdk
