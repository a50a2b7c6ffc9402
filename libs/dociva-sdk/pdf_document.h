// PdfDocument: a PDF being built page by page through the PDF library.
// Pages are JPEG-encoded as they are added, so only their encoded data is
// held, never their pixels. Without a PDF library (a build that could not
// link one) every call fails.
//
// Thread safety: one thread at a time per document.
#pragma once

#include <memory>
#include <string>

#include "libs/timage/timage.h"

namespace dociva_sdk {

class PdfDocument {
public:
    explicit PdfDocument(int jpegQuality);
    ~PdfDocument();
    PdfDocument(const PdfDocument&) = delete;
    PdfDocument& operator=(const PdfDocument&) = delete;

    bool valid() const;
    bool addPage(TI_IMAGE page);
    bool save(const std::u16string& path);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace dociva_sdk
