// ViewerDocument: one file shown by the viewer, with its pages in file
// order.
//
// Thread safety: one thread at a time (the viewer guards its documents).
#pragma once

#include <memory>
#include <vector>

#include "scanner/dociva_sdk.h"
#include "viewer/image_view_obj.h"

// The JPEG quality a document's pages are encoded with when it is written
// back; a one-page JPEG document on Linux is edited on its compressed data
// instead, or encoded at its own quality (jpeg_page_edit.h).
inline constexpr int kDocumentJpegQuality = 60;

struct ViewerDocument {
    std::vector<std::unique_ptr<CImageViewObj>> pages;
    int currentPage = 0;
    int formatCode = DOCIVA_FORMAT_BY_EXTENSION;
    int jpegQuality = kDocumentJpegQuality;

    bool validPage() const { return currentPage >= 0 && currentPage < static_cast<int>(pages.size()); }
    CImageViewObj* current() const { return validPage() ? pages[static_cast<std::size_t>(currentPage)].get() : nullptr; }
};
