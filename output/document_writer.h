// The document writer: saves a viewer document back to its own file after
// an edit, in the file's own format.
//
// Every writer first writes a temporary file beside the document's file
// ("scan.tif" is written as "scan_.tif") and moves it over the document's
// file only when the whole file was written, so a failed or interrupted
// save never costs the file on disk. A temporary file that could not be
// moved into place is removed again.
//
// The folder is the user's: a file named like the temporary one may be
// theirs. The temporary name is therefore one that does not exist yet
// ("scan__.tif", "scan___.tif", ... when "scan_.tif" is taken), so the
// writer only ever replaces or removes a file it made itself.
//
// Thread safety: one document is written by one thread at a time (the
// viewer's window thread).
#pragma once

#include <string>
#include <string_view>

#include "output/multi_pdf.h"
#include "output/timage_binding.h"

struct ViewerDocument;

// The name the writers write to before the file is replaced: the file's
// base name with "_" added until no such file exists, reserved by creating
// it empty (the caller writes over it, and removes it when the write
// fails). Empty when no free name fits into the path limit or the folder
// takes no new file (nothing is written then).
std::u16string temporaryPathFor(std::u16string_view path);

// Writes the document back to the path of its pages. A multi-page TIFF or
// PDF document is written whole, a one-page document as its one image.
// True when the file on disk was replaced, and then every page's index is
// its place in the document; false when the document's kind is never
// written or writing failed (the file on disk is then as it was, the pages
// keep their edited full images in memory and their places in that file).
bool rewriteDocument(ViewerDocument& document, const CMultiPDF* pdf);

// A multi-page TIFF file being written. The handle is the toolkit's and
// lives only for one rewrite; the destructor closes one still open.
class CMultiTiff {
public:
    CMultiTiff() = default;
    ~CMultiTiff();
    CMultiTiff(const CMultiTiff&) = delete;
    CMultiTiff& operator=(const CMultiTiff&) = delete;

    bool Open(std::u16string_view path);
    // Appends image as the next page: JPEG compression when quality is under
    // 100, else none.
    bool AddPage(TI_IMAGE image, int quality);
    // Completes the file. Closing a writer that is not open fails.
    bool Close();
    bool IsOpen() const { return handle_ != nullptr; }
    const std::u16string& Path() const { return path_; }

private:
    std::u16string path_;
    TI_MULTIPAGE handle_ = nullptr;
};
