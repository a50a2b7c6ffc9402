// libFuzzer target for reading PDFs: any bytes are opened as a document from
// memory, its pages counted, and the first pages examined for the one-image
// picture the library hands over without rendering. Beyond the sanitizers it
// checks that every failure arrives as the library's own error, and that a
// picture found is consistent with itself (a JPEG picture has the frame the
// image claims, a pixel picture has every sample).
#include "fuzz_check.h"
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "libs/qixipf/pdf_file.h"

namespace {

constexpr int kPagesExamined = 8;

void checkPicture(const qixipf::PagePicture& p) {
    using Kind = qixipf::PagePicture::Kind;
    if (p.kind == Kind::None) return;
    CHECK(p.width > 0 && p.height > 0);
    CHECK(p.components == 1 || p.components == 3);
    if (p.kind == Kind::Jpeg) {
        qixipf::JpegFrame frame;
        CHECK(qixipf::readJpegFrame(p.data, frame));
        CHECK(frame.width == p.width && frame.height == p.height && frame.components == p.components);
    } else {
        const std::size_t rowBytes =
            (static_cast<std::size_t>(p.width) * static_cast<std::size_t>(p.components * p.bitsPerComponent) + 7) / 8;
        CHECK(p.data.size() >= rowBytes * static_cast<std::size_t>(p.height));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    qixipf::JpegFrame frame;
    qixipf::readJpegFrame(bytes, frame);

    qixipf::PdfFile file;
    try {
        file.openMemory(bytes);
    } catch (const qixipf::PdfError&) {
        return 0;
    }
    int pages = 0;
    try {
        pages = file.pageCount();
    } catch (const qixipf::PdfError&) {
        return 0;
    }
    CHECK(pages >= 0);
    for (int i = 0; i < std::min(pages, kPagesExamined); ++i) {
        try {
            checkPicture(file.picture(i));
        } catch (const qixipf::PdfError&) {
        }
    }
    try {
        file.picture(pages);
        CHECK(false);  // out of range must be refused
    } catch (const qixipf::PdfError&) {
    }
    return 0;
}
