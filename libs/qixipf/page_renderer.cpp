#include "libs/qixipf/page_renderer.h"

#include <poppler-document.h>
#include <poppler-global.h>
#include <poppler-image.h>
#include <poppler-page-renderer.h>
#include <poppler-page.h>

#include <climits>
#include <cmath>
#include <cstring>
#include <memory>
#include <mutex>

#include "libs/qixipf/pdf_file.h"

namespace qixipf {

namespace {

// The renderer reports every oddity of a damaged file on standard error;
// the caller learns of failures from the result.
void quiet(const std::string&, void*) {}

void silenceRenderer() {
    static std::once_flag once;
    std::call_once(once, [] { poppler::set_debug_error_function(quiet, nullptr); });
}

}  // namespace

bool renderPage(std::string_view pdf, int index, int dpi, RenderedPage& out) {
    silenceRenderer();
    if (pdf.empty() || pdf.size() > static_cast<std::size_t>(INT_MAX) || index < 0 || dpi <= 0) return false;
    // poppler reads the bytes in place for the document's lifetime, which
    // ends in this call.
    std::unique_ptr<poppler::document> doc(
        poppler::document::load_from_raw_data(pdf.data(), static_cast<int>(pdf.size())));
    if (!doc || doc->is_locked() || index >= doc->pages()) return false;
    std::unique_ptr<poppler::page> page(doc->create_page(index));
    if (!page) return false;

    const poppler::rectf box = page->page_rect(poppler::crop_box);
    const double widthIn = std::fabs(box.width()) / 72.0, heightIn = std::fabs(box.height()) / 72.0;
    if (!(widthIn > 0) || !(heightIn > 0)) return false;
    double resolution = dpi;
    const double pixels = widthIn * heightIn * resolution * resolution;
    if (pixels > static_cast<double>(kMaxPagePixels)) resolution *= std::sqrt(static_cast<double>(kMaxPagePixels) / pixels);
    resolution = std::max(1.0, std::floor(resolution));

    poppler::page_renderer renderer;
    renderer.set_render_hint(poppler::page_renderer::antialiasing, true);
    renderer.set_render_hint(poppler::page_renderer::text_antialiasing, true);
    renderer.set_paper_color(0xFFFFFFFF);
    renderer.set_image_format(poppler::image::format_bgr24);
    const poppler::image image = renderer.render_page(page.get(), resolution, resolution);
    if (!image.is_valid() || image.format() != poppler::image::format_bgr24 || image.width() <= 0 ||
        image.height() <= 0)
        return false;

    out.width = image.width();
    out.height = image.height();
    out.stride = image.bytes_per_row();
    out.dpi = static_cast<int>(resolution);
    out.bgr.assign(image.const_data(), static_cast<std::size_t>(out.stride) * static_cast<std::size_t>(out.height));
    return true;
}

}  // namespace qixipf
