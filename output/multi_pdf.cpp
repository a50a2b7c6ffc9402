#include "output/multi_pdf.h"

#include <utility>

#include "platform/library_name.h"
#include "platform/module.h"
#include "platform/path.h"
#include "platform/text.h"

namespace {

// The arguments every use passes to qix_CreateIF.
constexpr int kInterfaceRevision = 64;
constexpr int kCreateFlags = 0;

}  // namespace

CMultiPDF::Document& CMultiPDF::Document::operator=(Document&& other) noexcept {
    if (this != &other) {
        reset();
        object_ = std::exchange(other.object_, nullptr);
    }
    return *this;
}

void CMultiPDF::Document::reset() {
    if (!object_) return;
    if (const QIX_FUNCTIONS* t = table(); t && t->release) {
        t->release(&object_);
    }
    // A library that does not clear the pointer has still had its chance.
    object_ = nullptr;
}

int CMultiPDF::Document::open(const char16_t* path) {
    const QIX_FUNCTIONS* t = table();
    return t && t->open ? t->open(object_, path) : kMissing;
}

int CMultiPDF::Document::create() {
    const QIX_FUNCTIONS* t = table();
    return t && t->create ? t->create(object_) : kMissing;
}

int CMultiPDF::Document::addPage(TI_IMAGE image) {
    const QIX_FUNCTIONS* t = table();
    return t && t->addPage ? t->addPage(object_, image, 0) : kMissing;
}

int CMultiPDF::Document::setJpegQuality(int quality) {
    const QIX_FUNCTIONS* t = table();
    return t && t->setJpegQuality ? t->setJpegQuality(object_, quality) : kMissing;
}

int CMultiPDF::Document::save(const char16_t* path) {
    const QIX_FUNCTIONS* t = table();
    return t && t->save ? t->save(object_, path, 0) : kMissing;
}

int CMultiPDF::Document::pageCount() {
    const QIX_FUNCTIONS* t = table();
    return t && t->pageCount ? t->pageCount(object_) : kMissing;
}

TI_IMAGE CMultiPDF::Document::pageImage(int index, int* status) {
    const QIX_FUNCTIONS* t = table();
    int ignored = 0;
    if (!status) status = &ignored;
    if (!t || !t->pageImage) {
        *status = kMissing;
        return nullptr;
    }
    return t->pageImage(object_, index, status);
}

int CMultiPDF::Document::writePage(int index, TI_STREAM* stream) {
    const QIX_FUNCTIONS* t = table();
    return t && t->writePage ? t->writePage(object_, index, stream) : kMissing;
}

std::u16string CMultiPDF::libraryPath(std::u16string_view folder) {
    const std::u16string name = platform::sharedLibraryFileName(u"QixIPF");
    if (!folder.empty() && !platform::isPathSeparator(folder.back()))
        return text::format(u"%s%c%s", folder, platform::nativeSeparator(), name);
    return text::format(u"%s%s", folder, name);
}

CMultiPDF::CMultiPDF(std::u16string_view folder) {
    if (folder.empty()) return;
    if (library_.load(libraryPath(folder)))
        createIF_ = reinterpret_cast<decltype(&::qix_CreateIF)>(library_.symbol("qix_CreateIF"));
}

CMultiPDF& CMultiPDF::instance() {
    static CMultiPDF pdf(platform::moduleFolder(platform::currentModule()));
    return pdf;
}

CMultiPDF::Document CMultiPDF::CreateIF() const {
    return Document(createIF_ ? createIF_(kInterfaceRevision, kCreateFlags) : nullptr);
}
