// The library's C interface: document objects and their table of functions
// over PdfFile (qpdf), the page renderer (poppler) and the image toolkit.
#include "libs/qixipf/qixipf.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <limits>
#include <new>
#include <string>
#include <utility>

#include "libs/qixipf/jpeg_source.h"
#include "libs/qixipf/page_renderer.h"
#include "libs/qixipf/pdf_file.h"
#include "platform/file_writer.h"
#include "platform/files.h"
#include "platform/text.h"

namespace {

using qixipf::PagePicture;
using qixipf::PdfError;

constexpr int kVersion = (1 << 16) | 0;
constexpr double kPointsPerInch = 72.0;

struct QixObject : QIX_DOCUMENT {
    qixipf::PdfFile file;
    int quality = -1;
    int lastError = QIX_OK;
};

QixObject* object(QIX_DOCUMENT* doc) { return static_cast<QixObject*>(doc); }

// Runs one call of the table: exceptions end here as codes, and the
// object keeps the last one.
template <typename Fn>
int guarded(QIX_DOCUMENT* doc, Fn&& fn) {
    if (!doc) return QIX_ERR_ARGUMENT;
    int result;
    try {
        result = fn(*object(doc));
    } catch (const PdfError& e) {
        result = e.code();
    } catch (const std::bad_alloc&) {
        result = QIX_ERR_MEMORY;
    } catch (...) {
        result = QIX_ERR_FORMAT;
    }
    object(doc)->lastError = result < 0 ? result : QIX_OK;
    return result;
}

// The toolkit writes encoded images into this; it grows as a vector does.
class BufferStream {
public:
    BufferStream() {
        descriptor_.kind = TI_STREAM_CALLBACK;
        descriptor_.size = static_cast<int32_t>(sizeof(TI_STREAM));
        descriptor_.context = this;
        descriptor_.write = &BufferStream::write;
        descriptor_.read = &BufferStream::read;
        descriptor_.seek = &BufferStream::seek;
        descriptor_.tell = &BufferStream::tell;
        descriptor_.getSize = &BufferStream::size;
    }
    BufferStream(const BufferStream&) = delete;
    BufferStream& operator=(const BufferStream&) = delete;

    TI_STREAM* descriptor() { return &descriptor_; }
    std::string& bytes() { return bytes_; }

private:
    static BufferStream& self(TI_STREAM* s) { return *static_cast<BufferStream*>(s->context); }
    static int32_t TI_API write(TI_STREAM* s, const void* data, int32_t count) {
        BufferStream& b = self(s);
        if (!data || count <= 0) return 0;
        const std::size_t n = static_cast<std::size_t>(count);
        if (b.position_ > static_cast<std::size_t>(INT32_MAX) - n) return 0;
        if (b.bytes_.size() < b.position_ + n) b.bytes_.resize(b.position_ + n);
        std::memcpy(b.bytes_.data() + b.position_, data, n);
        b.position_ += n;
        return count;
    }
    static int32_t TI_API read(TI_STREAM* s, void* buffer, int32_t count) {
        BufferStream& b = self(s);
        if (!buffer || count <= 0 || b.position_ >= b.bytes_.size()) return 0;
        const std::size_t n = std::min(static_cast<std::size_t>(count), b.bytes_.size() - b.position_);
        std::memcpy(buffer, b.bytes_.data() + b.position_, n);
        b.position_ += n;
        return static_cast<int32_t>(n);
    }
    static int32_t TI_API seek(TI_STREAM* s, int32_t offset, int32_t origin) {
        BufferStream& b = self(s);
        const long long base = origin == 0 ? 0 : origin == 1 ? static_cast<long long>(b.position_)
                               : origin == 2 ? static_cast<long long>(b.bytes_.size())
                                             : -1;
        if (base < 0) return 0;
        b.position_ = static_cast<std::size_t>(std::clamp<long long>(base + offset, 0, INT32_MAX));
        return 1;
    }
    static int32_t TI_API tell(TI_STREAM* s) { return static_cast<int32_t>(self(s).position_); }
    static int32_t TI_API size(TI_STREAM* s) { return static_cast<int32_t>(self(s).bytes_.size()); }

    TI_STREAM descriptor_{};
    std::string bytes_;
    std::size_t position_ = 0;
};

// An image handle released unless handed on.
class OwnedImage {
public:
    explicit OwnedImage(TI_IMAGE image) : image_(image) {}
    ~OwnedImage() { ti_ReleaseImage(&image_); }
    OwnedImage(const OwnedImage&) = delete;
    OwnedImage& operator=(const OwnedImage&) = delete;
    TI_IMAGE get() const { return image_; }
    TI_IMAGE release() { return std::exchange(image_, nullptr); }

private:
    TI_IMAGE image_;
};

int dpiFor(int pixels, double points) {
    if (!(points > 0)) return 0;
    const double dpi = std::round(pixels * kPointsPerInch / points);
    return dpi >= 1 && dpi <= 100000 ? static_cast<int>(dpi) : 0;
}

TI_IMAGE_INFO infoOf(TI_IMAGE image) {
    TI_IMAGE_INFO info{};
    info.size = sizeof info;
    if (ti_GetInfo(image, &info) != TI_OK || !info.data) throw PdfError(QIX_ERR_TOOLKIT, "image without layout");
    return info;
}

// Size, resolution and quality only: an image still backed by its file
// neither gets decoded here nor loses that file (the row address would
// let us write, so the toolkit would drop it).
TI_IMAGE_INFO layoutOf(TI_IMAGE image) {
    TI_IMAGE_INFO info{};
    info.size = TI_IMAGE_INFO_LAYOUT_SIZE;
    if (ti_GetInfo(image, &info) != TI_OK) throw PdfError(QIX_ERR_TOOLKIT, "image without layout");
    return info;
}

// The JPEG file behind the image, through its EOI, when the page may hold
// it in place of the picture encoded at `quality` (the rule is in
// jpeg_source.h and qixipf.h); empty when the picture has to be encoded.
std::string storableSource(TI_IMAGE image, const TI_IMAGE_INFO& layout, int quality) {
    if (layout.pixelFormat != TI_GRAY8 && layout.pixelFormat != TI_BGR24) return {};
    BufferStream source;
    if (ti_GetSourceJpeg(image, source.descriptor()) <= 0) return {};
    const std::size_t length = qixipf::storableJpegLength(source.bytes(), quality, layout.width, layout.height,
                                                          layout.pixelFormat == TI_GRAY8 ? 1 : 3);
    if (length == 0) return {};
    source.bytes().resize(length);
    return std::move(source.bytes());
}

// A toolkit image of the picture's samples.
TI_IMAGE imageFromPixels(const PagePicture& p, int dpiX, int dpiY) {
    const int format = p.components == 1 ? TI_GRAY8 : TI_BGR24;
    OwnedImage image(ti_CreateImage2(p.width, p.height, format, dpiX, dpiY));
    if (!image.get()) throw PdfError(QIX_ERR_TOOLKIT, "no image made");
    const TI_IMAGE_INFO info = infoOf(image.get());
    const std::size_t rowBytes = (static_cast<std::size_t>(p.width) * p.components * p.bitsPerComponent + 7) / 8;
    const auto* src = reinterpret_cast<const unsigned char*>(p.data.data());
    for (int y = 0; y < p.height; ++y) {
        const unsigned char* in = src + static_cast<std::size_t>(y) * rowBytes;
        const int row = info.topDown ? y : p.height - 1 - y;
        unsigned char* out = info.data + static_cast<std::ptrdiff_t>(row) * info.stride;
        if (p.bitsPerComponent == 1) {
            for (int x = 0; x < p.width; ++x) {
                const bool set = (in[x >> 3] >> (7 - (x & 7))) & 1;
                out[x] = (set != p.inverted) ? 255 : 0;
            }
        } else if (p.components == 1) {
            for (int x = 0; x < p.width; ++x) out[x] = p.inverted ? static_cast<unsigned char>(255 - in[x]) : in[x];
        } else {
            for (int x = 0; x < p.width; ++x) {
                out[3 * x] = in[3 * x + 2];
                out[3 * x + 1] = in[3 * x + 1];
                out[3 * x + 2] = in[3 * x];
            }
        }
    }
    return image.release();
}

TI_IMAGE imageFromRendering(const qixipf::RenderedPage& r) {
    OwnedImage image(ti_CreateImage2(r.width, r.height, TI_BGR24, r.dpi, r.dpi));
    if (!image.get()) throw PdfError(QIX_ERR_TOOLKIT, "no image made");
    const TI_IMAGE_INFO info = infoOf(image.get());
    const std::size_t rowBytes = static_cast<std::size_t>(r.width) * 3;
    for (int y = 0; y < r.height; ++y) {
        const int row = info.topDown ? y : r.height - 1 - y;
        std::memcpy(info.data + static_cast<std::ptrdiff_t>(row) * info.stride,
                    r.bgr.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(r.stride), rowBytes);
    }
    return image.release();
}

TI_IMAGE pageImage(QixObject& o, int index, const PagePicture& p) {
    const int dpiX = dpiFor(p.width, p.pageWidthPt), dpiY = dpiFor(p.height, p.pageHeightPt);
    switch (p.kind) {
        case PagePicture::Kind::Jpeg: {
            if (p.data.size() > static_cast<std::size_t>(INT32_MAX)) throw PdfError(QIX_ERR_MEMORY, "page too large");
            OwnedImage image(ti_LoadFromMem(p.data.data(), static_cast<int>(p.data.size())));
            if (!image.get()) throw PdfError(QIX_ERR_FORMAT, "the page's JPEG data cannot be decoded");
            ti_SetDpi(image.get(), dpiX, dpiY);
            return image.release();
        }
        case PagePicture::Kind::Pixels:
            return imageFromPixels(p, dpiX, dpiY);
        case PagePicture::Kind::None:
            break;
    }
    qixipf::RenderedPage rendered;
    if (!qixipf::renderPage(o.file.sourceBytes(), index, QIX_RENDER_DPI, rendered))
        throw PdfError(QIX_ERR_FORMAT, "the page cannot be rendered");
    return imageFromRendering(rendered);
}

int writeAll(TI_STREAM* stream, const std::string& bytes) {
    if (bytes.empty() || bytes.size() > static_cast<std::size_t>(INT32_MAX))
        throw PdfError(QIX_ERR_MEMORY, "page too large");
    // One write: a memory stream then grows once.
    std::size_t done = 0;
    while (done < bytes.size()) {
        const int32_t n =
            stream->write(stream, bytes.data() + done, static_cast<int32_t>(bytes.size() - done));
        if (n <= 0) throw PdfError(QIX_ERR_IO, "the stream took no more bytes");
        done += static_cast<std::size_t>(n);
    }
    return static_cast<int>(done);
}

// ---- The table --------------------------------------------------------

int QIX_API qixVersion(QIX_DOCUMENT*) { return kVersion; }

void QIX_API qixRelease(QIX_DOCUMENT** doc) {
    if (!doc || !*doc) return;
    delete object(*doc);
    *doc = nullptr;
}

int QIX_API qixOpen(QIX_DOCUMENT* doc, const ti_char* path) {
    return guarded(doc, [&](QixObject& o) -> int {
        o.file.close();
        if (!path || !*path) return QIX_ERR_ARGUMENT;
        std::string bytes;
        if (!platform::readFile(text::view(path), bytes, qixipf::kMaxFileBytes)) return QIX_ERR_IO;
        o.file.openMemory(std::move(bytes));
        return QIX_OK;
    });
}

int QIX_API qixCreate(QIX_DOCUMENT* doc) {
    return guarded(doc, [](QixObject& o) -> int {
        o.file.create();
        return QIX_OK;
    });
}

int QIX_API qixClose(QIX_DOCUMENT* doc) {
    return guarded(doc, [](QixObject& o) -> int {
        o.file.close();
        return QIX_OK;
    });
}

int QIX_API qixAddPage(QIX_DOCUMENT* doc, TI_IMAGE image, int flags) {
    return guarded(doc, [&](QixObject& o) -> int {
        if (!image || flags != 0) return QIX_ERR_ARGUMENT;
        if (!o.file.hasDocument()) return QIX_ERR_NO_DOCUMENT;
        const TI_IMAGE_INFO info = layoutOf(image);
        // Without a quality of its own the document takes the image's.
        const bool documentQuality = o.quality > 0;
        std::string jpeg = storableSource(image, info, documentQuality ? o.quality : info.jpegQuality);
        if (jpeg.empty()) {
            BufferStream encoded;
            TI_PARAM quality{};
            quality.id = TI_PARAM_JPEG_QUALITY;
            quality.value.intValue = o.quality;
            const int count = documentQuality ? 1 : 0;
            if (ti_SaveToStream(encoded.descriptor(), image, TI_FORMAT_JPEG, count ? &quality : nullptr, count) !=
                TI_OK)
                return QIX_ERR_TOOLKIT;
            jpeg = std::move(encoded.bytes());
        }
        const double xDpi = info.xDpi > 0 ? info.xDpi : kPointsPerInch;
        const double yDpi = info.yDpi > 0 ? info.yDpi : kPointsPerInch;
        o.file.addJpegPage(std::move(jpeg), info.width * kPointsPerInch / xDpi, info.height * kPointsPerInch / yDpi);
        return QIX_OK;
    });
}

int QIX_API qixLastError(QIX_DOCUMENT* doc) { return doc ? object(doc)->lastError : QIX_ERR_ARGUMENT; }

int QIX_API qixReserved(QIX_DOCUMENT*) { return QIX_ERR_NOT_SUPPORTED; }

int QIX_API qixSetJpegQuality(QIX_DOCUMENT* doc, int quality) {
    return guarded(doc, [&](QixObject& o) -> int {
        if (quality < 1 || quality > 100) return QIX_ERR_ARGUMENT;
        o.quality = quality;
        return QIX_OK;
    });
}

int QIX_API qixJpegQuality(QIX_DOCUMENT* doc) { return doc ? object(doc)->quality : QIX_ERR_ARGUMENT; }

int QIX_API qixSave(QIX_DOCUMENT* doc, const ti_char* path, int flags) {
    return guarded(doc, [&](QixObject& o) -> int {
        if (!path || !*path || flags != 0) return QIX_ERR_ARGUMENT;
        if (!o.file.hasDocument()) return QIX_ERR_NO_DOCUMENT;
        // Made beside the target under a temporary name of ours, flushed
        // and renamed over it only when complete; a full disk or any other
        // failure leaves the old file as it was and no temporary file (the
        // writer removes it as it goes). Nothing qpdf does throws past
        // this call: guarded() turns every exception into a code.
        platform::FileWriter out;
        if (!out.begin(text::view(path))) return QIX_ERR_IO;
        o.file.writeTo([&out](const unsigned char* data, std::size_t size) { return out.write(data, size); });
        return out.commit() ? QIX_OK : QIX_ERR_IO;
    });
}

int QIX_API qixPageCount(QIX_DOCUMENT* doc) {
    return guarded(doc, [](QixObject& o) -> int { return o.file.pageCount(); });
}

TI_IMAGE QIX_API qixPageImage(QIX_DOCUMENT* doc, int index, int* status) {
    TI_IMAGE result = nullptr;
    const int code = guarded(doc, [&](QixObject& o) -> int {
        result = pageImage(o, index, o.file.picture(index));
        return QIX_OK;
    });
    if (status) *status = code;
    return result;
}

int QIX_API qixWritePage(QIX_DOCUMENT* doc, int index, TI_STREAM* stream) {
    return guarded(doc, [&](QixObject& o) -> int {
        if (!stream || !stream->write) return QIX_ERR_ARGUMENT;
        const PagePicture picture = o.file.picture(index);
        // A page that holds a JPEG file hands it over untouched.
        if (picture.kind == PagePicture::Kind::Jpeg) return writeAll(stream, picture.data);
        OwnedImage image(pageImage(o, index, picture));
        BufferStream png;
        if (ti_SaveToStream(png.descriptor(), image.get(), TI_FORMAT_PNG, nullptr, 0) != TI_OK)
            return QIX_ERR_TOOLKIT;
        return writeAll(stream, png.bytes());
    });
}

const QIX_FUNCTIONS kFunctions = {
    qixVersion,        // 0
    qixRelease,        // 1
    qixOpen,           // 2
    qixCreate,         // 3
    qixClose,          // 4
    qixAddPage,        // 5
    qixLastError,      // 6
    qixReserved,       // 7
    qixSetJpegQuality, // 8
    qixJpegQuality,    // 9
    qixSave,           // 10
    qixPageCount,      // 11
    qixReserved,       // 12
    qixPageImage,      // 13
    qixWritePage,      // 14
};

// The slots sit where the component looks for them.
static_assert(offsetof(QIX_FUNCTIONS, release) == 1 * sizeof(void*));
static_assert(offsetof(QIX_FUNCTIONS, open) == 2 * sizeof(void*));
static_assert(offsetof(QIX_FUNCTIONS, create) == 3 * sizeof(void*));
static_assert(offsetof(QIX_FUNCTIONS, addPage) == 5 * sizeof(void*));
static_assert(offsetof(QIX_FUNCTIONS, setJpegQuality) == 8 * sizeof(void*));
static_assert(offsetof(QIX_FUNCTIONS, save) == 10 * sizeof(void*));
static_assert(offsetof(QIX_FUNCTIONS, pageCount) == 11 * sizeof(void*));
static_assert(offsetof(QIX_FUNCTIONS, pageImage) == 13 * sizeof(void*));
static_assert(offsetof(QIX_FUNCTIONS, writePage) == 14 * sizeof(void*));
static_assert(sizeof(QIX_FUNCTIONS) == 15 * sizeof(void*));

}  // namespace

extern "C" QIX_EXPORT QIX_DOCUMENT* QIX_API qix_CreateIF(int revision, int flags) {
    if (revision != QIX_INTERFACE_REVISION || flags != 0) return nullptr;
    auto* doc = new (std::nothrow) QixObject;
    if (doc) doc->functions = &kFunctions;
    return doc;
}
