// The PDF side of the library, on qpdf: reading a document from memory,
// building one from JPEG pages, writing it out, and finding what a page
// shows when it shows one image. Nothing here touches pixels or the image
// toolkit, so it can be fuzzed on its own.
//
// Every failure is a PdfError carrying a QIX_ERR_* code; qpdf's own
// exceptions are turned into one at this boundary.
//
// Thread safety: one thread at a time per object.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>

class QPDF;
class QPDFWriter;

namespace qixipf {

class PdfError : public std::runtime_error {
public:
    PdfError(int code, const std::string& what) : std::runtime_error(what), code_(code) {}
    int code() const { return code_; }

private:
    int code_;
};

// What a JPEG file's frame header says.
struct JpegFrame {
    int width = 0;
    int height = 0;
    int components = 0;
    int precision = 0;
};

// The frame header of a baseline or progressive JPEG; false when the data
// is not a JPEG file or has no frame header before its scan.
bool readJpegFrame(std::string_view data, JpegFrame& frame);

// The picture of a page that shows one image and nothing else.
struct PagePicture {
    enum class Kind {
        None,    // the page shows something else: it has to be rendered
        Jpeg,    // data is a JPEG file, as stored in the document
        Pixels,  // data holds rows of samples, unpadded, top row first
    };
    Kind kind = Kind::None;
    std::string data;
    int width = 0;
    int height = 0;
    int components = 0;         // 1 grey, 3 RGB
    int bitsPerComponent = 0;   // 8, or 1 for bilevel grey (Pixels only)
    bool inverted = false;      // Pixels only: 0 is white
    double pageWidthPt = 0.0;   // the visible page, in points
    double pageHeightPt = 0.0;
};

// Limits on what one page may make the library allocate.
inline constexpr std::int64_t kMaxPagePixels = 100'000'000;
inline constexpr std::size_t kMaxFileBytes = std::size_t{1} << 30;

class PdfFile {
public:
    PdfFile();
    ~PdfFile();
    PdfFile(const PdfFile&) = delete;
    PdfFile& operator=(const PdfFile&) = delete;

    // Reads a document; the bytes are kept (rendering reads them too).
    void openMemory(std::string bytes);
    // An empty document.
    void create();
    // Drops the document held.
    void close();
    bool hasDocument() const { return pdf_ != nullptr; }

    int pageCount();

    // Appends a page that shows the JPEG at widthPt x heightPt points; the
    // data is stored as it is (DCTDecode).
    void addJpegPage(std::string jpeg, double widthPt, double heightPt);

    // The document as a PDF file.
    std::string write();
    // Where writeTo hands the bytes as they are made; false when they could
    // not be taken (a full disk).
    using ByteSink = std::function<bool(const unsigned char* data, std::size_t size)>;
    // The same, handed to sink in one pass as it is made, so a large
    // document is never held whole in memory; a sink that refuses bytes is
    // QIX_ERR_IO. The refusal never travels through qpdf as an exception:
    // qpdf completes its own work (its clean-up flushes the pipeline again
    // while it unwinds, where a second exception would end the process) and
    // the error is raised once it has returned.
    void writeTo(const ByteSink& sink);

    // The picture of page `index` when the page is one image; Kind::None
    // otherwise. The index must be in range.
    PagePicture picture(int index);

    // The bytes a renderer reads: those opened, or the document written.
    std::string_view sourceBytes();

private:
    void writeWith(QPDFWriter& writer);

    std::unique_ptr<QPDF> pdf_;
    std::string source_;
    bool sourceCurrent_ = false;
};

}  // namespace qixipf
