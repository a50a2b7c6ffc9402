// The document writer: saves a viewer document back to its own file after
// an edit, in the file's own format.
//
// Every writer first writes a temporary file beside the document's file and
// moves it over the document's file only when the whole file was written
// and has reached the disk, so a failed or interrupted save (a full disk, a
// killed process) never costs the file on disk. A temporary file that
// could not be moved into place is removed again.
//
// The folder is the user's: the temporary name is one that proves it is
// ours (platform::temporaryNameFor: ".~scan.~dvPID-N-CHECK.tif" for
// "scan.tif"), made only where no entry of that name exists, so the writer
// only ever replaces or removes a file it made itself. Temporary files
// left by a process that ended before it could remove them are removed
// when a document of their folder is next written (here) or loaded (the
// viewer).
//
// Thread safety: one document is written by one thread at a time (the
// viewer's window thread).
#pragma once

#include <string>
#include <string_view>

#include "output/multi_pdf.h"
#include "output/timage_binding.h"

struct ViewerDocument;

// The name the writers write to before the file is replaced: a temporary
// name of ours beside path (platform::reserveTemporaryFor), with path's
// extension, reserved by creating it empty (the caller writes over it, and
// removes it when the write fails). Empty when no name fits into the path
// limit or the folder takes no new file (nothing is written then).
std::u16string temporaryPathFor(std::u16string_view path);

enum class RewriteResult {
    Written,     // the file on disk was replaced with the document
    NotWritten,  // a kind of document that is never written (or nothing to write)
    Failed,      // writing failed: the file on disk is as it was
};

// Writes the document back to the path of its pages. A multi-page TIFF or
// PDF document is written whole, a one-page document as its one image.
// Written: every page's index is then its place in the document. NotWritten
// and Failed: the file on disk is as it was, and the pages keep their
// places in that file (and whatever full images they hold); a caller that
// must show what the file holds takes its edit back after Failed.
RewriteResult rewriteDocument(ViewerDocument& document, const CMultiPDF* pdf);

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
