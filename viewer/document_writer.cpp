#include "viewer/document_writer.h"

#include "platform/file_writer.h"
#include "platform/files.h"
#include "platform/path.h"
#include "platform/text.h"
#include "viewer/viewer_document.h"

namespace {

constexpr int kMaxQuality = 100;

int compressionFor(int quality) { return quality < kMaxQuality ? TI_COMPRESSION_JPEG : TI_COMPRESSION_NONE; }

// Puts the written temporary file in place of the document's file; a
// temporary file that cannot be moved is not left behind.
bool replaceWith(const std::u16string& temporary, const std::u16string& path) {
    if (platform::moveFile(temporary, path)) return true;
    platform::deleteFile(temporary);
    return false;
}

void releaseFullImages(ViewerDocument& document) {
    for (auto& page : document.pages) page->ReleaseFullImage();
}

// Once the file is the document as it stands, page i of the document is
// page i of the file. Until then each page keeps the place it has in the
// file on disk (after a delete that could not be written, too).
void renumberPages(ViewerDocument& document) {
    for (std::size_t i = 0; i < document.pages.size(); ++i) document.pages[i]->SetIndex(static_cast<int>(i));
}

bool writeMultiTiff(ViewerDocument& document) {
    const std::u16string& path = document.pages.front()->Path();
    const std::u16string temporary = temporaryPathFor(path);
    if (temporary.empty()) return false;
    // Page by page: a page not held in memory is read from the document's
    // file (untouched until the end), written and let go at once, so a long
    // document never has all its full-size pages in memory together (a
    // 300 dpi A4 colour page is 26 MB). A page that cannot be read ends the
    // write with nothing replaced.
    int added = 0;
    {
        CMultiTiff writer;
        if (!writer.Open(temporary)) {
            platform::deleteFile(temporary);
            return false;
        }
        for (auto& page : document.pages) {
            const bool held = page->HasFullImage();
            TI_IMAGE full = page->FullImage();
            if (!full) break;
            // Only a page held in memory can have been edited; the display
            // image of any other one is already its picture.
            if (held) page->RebuildDisplay();
            timage::ti_SetJpegQuality(full, document.jpegQuality);
            const bool written = writer.AddPage(full, document.jpegQuality);
            if (!held) page->ReleaseFullImage();
            if (!written) break;
            ++added;
        }
        writer.Close();
    }
    // The toolkit's close reports nothing, so the file is read back before
    // it may replace the document's file.
    TI_FILE_INFO info{};
    info.size = static_cast<int32_t>(sizeof(info));
    const bool complete = added == static_cast<int>(document.pages.size()) &&
                          timage::ti_GetImageInfo(temporary.c_str(), &info) == TI_OK && info.pageCount == added;
    if (!complete) {
        platform::deleteFile(temporary);
        return false;
    }
    if (!replaceWith(temporary, path)) return false;
    releaseFullImages(document);
    renumberPages(document);
    return true;
}

bool writePdf(ViewerDocument& document, const CMultiPDF* pdf) {
    if (!pdf) return false;
    const std::u16string& path = document.pages.front()->Path();
    CMultiPDF::Document object = pdf->CreateIF();
    if (!object) return false;
    if (object.create() != 0) return false;
    if (document.jpegQuality < kMaxQuality) object.setJpegQuality(document.jpegQuality);
    // Page by page, as the TIFF writer does: the PDF library encodes each
    // page as it is added, so a page not held in memory is let go at once
    // and a long document never has all its full-size pages in memory.
    for (auto& page : document.pages) {
        const bool held = page->HasFullImage();
        TI_IMAGE full = page->FullImage();
        if (!full) return false;
        if (held) page->RebuildDisplay();
        timage::ti_SetJpegQuality(full, document.jpegQuality);
        const bool added = object.addPage(full) == 0;
        if (!held) page->ReleaseFullImage();
        if (!added) return false;
    }
    const std::u16string temporary = temporaryPathFor(path);
    if (temporary.empty()) return false;
    if (object.save(temporary.c_str()) != 0) {
        platform::deleteFile(temporary);
        return false;
    }
    if (!replaceWith(temporary, path)) return false;
    releaseFullImages(document);
    renumberPages(document);
    return true;
}

bool writeSinglePage(ViewerDocument& document) {
    CImageViewObj& page = *document.pages.front();
    TI_IMAGE full = page.FullImage();
    timage::ti_SetJpegQuality(full, document.jpegQuality);
    page.RebuildDisplay();
    const std::u16string temporary = temporaryPathFor(page.Path());
    if (temporary.empty()) return false;
    if (timage::ti_SaveImage2(temporary.c_str(), full, compressionFor(document.jpegQuality), -1, 0) != TI_OK) {
        platform::deleteFile(temporary);
        return false;
    }
    if (!replaceWith(temporary, page.Path())) return false;
    page.ReleaseFullImage();
    renumberPages(document);
    return true;
}

}  // namespace

std::u16string temporaryPathFor(std::u16string_view path) {
    // Reserved by creating it where no entry of the name exists: from here
    // on the name is ours, even if another program picks the same name at
    // the same moment, and never a link to somewhere else.
    return platform::reserveTemporaryFor(path);
}

RewriteResult rewriteDocument(ViewerDocument& document, const CMultiPDF* pdf) {
    if (document.pages.empty()) return RewriteResult::NotWritten;
    const std::u16string& path = document.pages.front()->Path();
    const std::u16string extension = platform::extensionOf(path);
    const bool tiff = text::equalsIgnoreAsciiCase(extension, u".tiff") || text::equalsIgnoreAsciiCase(extension, u".tif");
    const bool pdfFile = text::equalsIgnoreAsciiCase(extension, u".pdf");
    const bool single = document.pages.size() == 1;
    if (!single && !tiff && !pdfFile) return RewriteResult::NotWritten;
    if (single && !pdfFile && !document.pages.front()->HasFullImage()) return RewriteResult::NotWritten;
    // What a writer killed in this folder left behind goes first.
    platform::removeStaleTemporaries(platform::folderOf(path));
    bool written = false;
    if (!single) {
        written = tiff ? writeMultiTiff(document) : writePdf(document, pdf);
    } else {
        written = pdfFile ? writePdf(document, pdf) : writeSinglePage(document);
    }
    return written ? RewriteResult::Written : RewriteResult::Failed;
}

CMultiTiff::~CMultiTiff() {
    if (handle_) Close();
}

bool CMultiTiff::Open(std::u16string_view path) {
    // A cut path would name some other file.
    if (handle_ || path.size() > platform::kMaxPathUnits) return false;
    path_ = std::u16string(path);
    handle_ = timage::ti_MultiPageCreateHandle(path_.c_str());
    return handle_ != nullptr;
}

bool CMultiTiff::AddPage(TI_IMAGE image, int quality) {
    if (!handle_ || !image) return false;
    TI_PARAM compression{};
    compression.id = TI_PARAM_COMPRESSION;
    compression.value.intValue = compressionFor(quality);
    return timage::ti_MultiPageAddImage(handle_, image, &compression, 1) == TI_OK;
}

bool CMultiTiff::Close() {
    if (!handle_) return false;
    timage::ti_MultiPageReleaseHandle(&handle_);
    handle_ = nullptr;
    return true;
}
