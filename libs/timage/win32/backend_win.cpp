// The Windows backend: WIC moves the pixels, so timage.dll needs nothing
// beyond the system. The facts ti_GetImageInfo reports come from the
// headers themselves (WIC gives 96 dpi where a file states none and hides
// the TIFF compression), and the two things WIC's TIFF encoder cannot do,
// JPEG pages and appending pages one call at a time, are assembled here
// from what WIC does write.
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>

#include "libs/timage/core/backend.h"
#include "libs/timage/core/headers.h"
#include "libs/timage/core/limits.h"
#include "libs/timage/win32/container.h"
#include "libs/timage/win32/wic_win.h"
#include "platform/file_writer.h"
#include "platform/win32/handles.h"
#include "platform/win32/wide.h"

namespace timage {
namespace {

using platform::win32::ScopedFile;
using platform::win32::wide;

// A JPEG-compressed TIFF page, a strip at a time through the JPEG decoder.
int decodeJpegStrips(const Bytes& bytes, int page, const TI_FILE_INFO& facts, ImagePtr& out) {
    std::vector<Bytes> strips;
    std::uint32_t rowsPerStrip = 0;
    if (const int rc = win32::tiffJpegStrips(bytes, page, strips, rowsPerStrip); rc != TI_OK) return rc;
    ImagePtr image;
    if (const int rc = createImage(facts.width, facts.height, facts.pixelFormat, image); rc != TI_OK) return rc;
    for (std::size_t i = 0; i < strips.size(); ++i) {
        ImagePtr strip;
        if (const int rc = win32::wicDecode(strips[i], 0, facts.pixelFormat, strip); rc != TI_OK) return rc;
        const int top = static_cast<int>(i * rowsPerStrip);
        const int rows = std::min(static_cast<int>(rowsPerStrip), facts.height - top);
        if (strip->width != facts.width || strip->height < rows) return TI_ERR_FORMAT;
        for (int r = 0; r < rows; ++r) std::memcpy(image->row(top + r), strip->row(r), image->rowBytes());
    }
    out = std::move(image);
    return TI_OK;
}

int decodeWith(const Bytes& bytes, int page, const TI_FILE_INFO& facts, ImagePtr& out) {
    ImagePtr image;
    int rc = win32::wicDecode(bytes, page, facts.pixelFormat, image);
    if (rc == TI_ERR_FORMAT && facts.format == TI_FORMAT_TIFF) {
        if (facts.compression == TI_COMPRESSION_JPEG) {
            // Some systems' TIFF decoders have no JPEG; their JPEG decoder does.
            rc = decodeJpegStrips(bytes, page, facts, image);
        } else {
            // Some refuse a whole file over another page they cannot read.
            Bytes alone;
            if (win32::extractTiffPage(bytes, page, alone) == TI_OK)
                rc = win32::wicDecode(alone, 0, facts.pixelFormat, image);
        }
    }
    if (rc != TI_OK) return rc;
    image->xDpi = facts.xDpi;
    image->yDpi = facts.yDpi;
    out = std::move(image);
    return TI_OK;
}

int encodeTiff(const ti_image_& image, const SaveOptions& options, Bytes& out) {
    if (options.compression == TI_COMPRESSION_JPEG) {
        // WIC's TIFF encoder has no JPEG option: its JPEG encoder writes
        // the page, wrapped as the one strip of a TIFF page.
        Bytes jpeg;
        if (const int rc = win32::wicEncode(image, TI_FORMAT_JPEG, 0, options.quality, jpeg); rc != TI_OK) return rc;
        return win32::wrapJpegInTiff(jpeg, image.xDpi, image.yDpi, out);
    }
    if (const int rc = win32::wicEncode(image, TI_FORMAT_TIFF, options.compression, options.quality, out); rc != TI_OK)
        return rc;
    // An encoder that takes the option but writes another compression
    // has not done what was asked.
    TI_FILE_INFO written{};
    if (win32::tiffFacts(out, 0, written) != TI_OK) return TI_ERR_FORMAT;
    if (written.compression != options.compression) {
        out.clear();
        return TI_ERR_NOT_SUPPORTED;
    }
    return TI_OK;
}

// Each page is encoded as a TIFF of its own, moved to the end of the file
// and linked after the page before it.
class FilePageWriter final : public PageWriter {
public:
    explicit FilePageWriter(std::unique_ptr<platform::FileWriter> file) : file_(std::move(file)) {}
    ~FilePageWriter() override { close(); }

    int add(const ti_image_& image, const SaveOptions& options) override {
        if (!file_->isOpen()) return TI_ERR_ARGUMENT;
        if (failed_) return TI_ERR_IO;
        Bytes page;
        // A page that cannot be encoded leaves the file as it was.
        if (const int rc = encodeTiff(image, options, page); rc != TI_OK) return rc;
        const std::uint32_t at = (length_ + 1) & ~std::uint32_t{1};
        Bytes block;
        std::uint32_t ifdAt = 0;
        if (const int rc = win32::relocateTiffPage(page, at, block, ifdAt); rc != TI_OK) return rc;
        const std::size_t ifdIndex = ifdAt - at;
        const std::uint32_t entries = block[ifdIndex] | (block[ifdIndex + 1] << 8);
        std::uint8_t link[4];
        for (int i = 0; i < 4; ++i) link[i] = static_cast<std::uint8_t>(ifdAt >> (8 * i));
        const std::uint8_t pad = 0;
        if ((at != length_ && !file_->writeAt(length_, &pad, 1)) || !file_->writeAt(at, block.data(), block.size()) ||
            !file_->writeAt(linkAt_, link, sizeof link)) {
            failed_ = true;
            return TI_ERR_IO;
        }
        length_ = at + static_cast<std::uint32_t>(block.size());
        linkAt_ = ifdAt + 2 + 12 * entries;
        ++pages_;
        return TI_OK;
    }

    int close() override {
        if (!file_->isOpen()) return result_;
        const bool complete = pages_ > 0 && !failed_;
        // The file reaches the disk whole, or - a file without all its pages
        // must not be taken for the document - it is removed, so whoever
        // moves it into place finds nothing.
        if (!complete || !file_->commit()) {
            file_->abandon();
            result_ = TI_ERR_IO;
        }
        return result_;
    }

private:
    std::unique_ptr<platform::FileWriter> file_;
    std::uint32_t length_ = 8;  // the header
    std::uint32_t linkAt_ = 4;  // where the next page's offset goes
    int pages_ = 0;
    bool failed_ = false;
    int result_ = TI_OK;
};

}  // namespace

namespace backend {

int probe(int format, const SharedBytes& bytes, TI_FILE_INFO& info) {
    switch (format) {
    case TI_FORMAT_JPEG: return win32::jpegFacts(*bytes, info);
    case TI_FORMAT_TIFF: return win32::tiffFacts(*bytes, 0, info);
    default: return TI_ERR_FORMAT;
    }
}

int decode(int format, const SharedBytes& bytes, int page, ImagePtr& out) {
    out.reset();
    TI_FILE_INFO facts{};
    int rc = TI_ERR_FORMAT;
    switch (format) {
    case TI_FORMAT_JPEG: rc = page == 0 ? win32::jpegFacts(*bytes, facts) : TI_ERR_ARGUMENT; break;
    case TI_FORMAT_TIFF: rc = win32::tiffFacts(*bytes, page, facts); break;
    case TI_FORMAT_BMP:
    case TI_FORMAT_PNG:
    case TI_FORMAT_GIF: rc = page == 0 ? readHeaderInfo(format, bytes->data(), bytes->size(), facts) : TI_ERR_ARGUMENT; break;
    default: break;
    }
    if (rc != TI_OK) return rc;
    // The system's decoder works at full size: a header that promises far
    // more than the data could hold is refused before it costs seconds.
    if (format == TI_FORMAT_JPEG &&
        static_cast<std::uint64_t>(facts.width) * static_cast<std::uint64_t>(facts.height) *
                static_cast<std::uint64_t>(facts.pixelFormat) >
            decodeSampleBudget(bytes->size()))
        return TI_ERR_FORMAT;
    return decodeWith(*bytes, page, facts, out);
}

int encode(const ti_image_& image, const SaveOptions& options, Bytes& out) {
    out.clear();
    switch (options.format) {
    case TI_FORMAT_TIFF: return encodeTiff(image, options, out);
    case TI_FORMAT_BMP:
    case TI_FORMAT_PNG:
    case TI_FORMAT_GIF:
    case TI_FORMAT_JPEG: return win32::wicEncode(image, options.format, 0, options.quality, out);
    default: return TI_ERR_ARGUMENT;
    }
}

int openPageWriter(const char16_t* path, std::unique_ptr<PageWriter>& out) {
    out.reset();
    if (!path || !*path) return TI_ERR_ARGUMENT;
    // The file of that name itself, emptied: the caller has named it (a
    // temporary file of its own), and never what a link there leads to.
    auto file = std::make_unique<platform::FileWriter>();
    if (!file->open(path)) return TI_ERR_IO;
    // Little-endian, first page not yet linked.
    const std::uint8_t header[8] = {'I', 'I', 42, 0, 0, 0, 0, 0};
    if (!file->writeAt(0, header, sizeof header)) return TI_ERR_IO;  // the file goes with its writer
    out = std::make_unique<FilePageWriter>(std::move(file));
    return TI_OK;
}

// WIC decodes at load and nothing here reads a JPEG's bytes back yet, so
// ti_GetSourceJpeg reports TI_ERR_NOT_SUPPORTED rather than keeping every
// file's bytes beside its pixels for no caller.
bool keepsJpegSource() { return false; }

}  // namespace backend
}  // namespace timage
