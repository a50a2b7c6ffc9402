// Renders a page of a PDF (poppler) for pages that are not one image.
//
// Thread safety: any thread; one call works on its own copy of the
// document's parse.
#pragma once

#include <string>
#include <string_view>

namespace qixipf {

struct RenderedPage {
    int width = 0;
    int height = 0;
    int stride = 0;    // bytes from one row to the next
    int dpi = 0;
    std::string bgr;   // blue-green-red rows, top row first
};

// Page `index` of the PDF in `pdf`, at `dpi` or lower when the page would
// pass the library's pixel limit, over white paper. False when the
// renderer cannot read the document or the page.
bool renderPage(std::string_view pdf, int index, int dpi, RenderedPage& out);

}  // namespace qixipf
