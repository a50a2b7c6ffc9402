#include "libs/timage/codecs/tiff.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <tiffio.h>

#include "libs/timage/core/limits.h"
#include "libs/timage/core/pixel_ops.h"
#include "platform/file_writer.h"

namespace timage::codecs {
namespace {

// Messages stay with the handle that raised them; returning 1 keeps
// libtiff from passing them on to its process-wide handlers.
int quietHandler(TIFF*, void*, const char*, const char*, va_list) { return 1; }

class OpenOptions {
public:
    OpenOptions() : options_(TIFFOpenOptionsAlloc()) {
        if (!options_) return;
        TIFFOpenOptionsSetMaxSingleMemAlloc(options_, static_cast<tmsize_t>(kMaxCodecAllocation));
        TIFFOpenOptionsSetErrorHandlerExtR(options_, quietHandler, nullptr);
        TIFFOpenOptionsSetWarningHandlerExtR(options_, quietHandler, nullptr);
    }
    ~OpenOptions() {
        if (options_) TIFFOpenOptionsFree(options_);
    }
    OpenOptions(const OpenOptions&) = delete;
    OpenOptions& operator=(const OpenOptions&) = delete;
    TIFFOpenOptions* get() const { return options_; }

private:
    TIFFOpenOptions* options_;
};

class TiffHandle {
public:
    explicit TiffHandle(TIFF* tif = nullptr) : tif_(tif) {}
    ~TiffHandle() {
        if (tif_) TIFFClose(tif_);
    }
    TiffHandle(const TiffHandle&) = delete;
    TiffHandle& operator=(const TiffHandle&) = delete;
    TIFF* get() const { return tif_; }
    explicit operator bool() const { return tif_ != nullptr; }
    void close() {
        if (tif_) TIFFClose(tif_);
        tif_ = nullptr;
    }
    void reset(TIFF* tif) {
        close();
        tif_ = tif;
    }

private:
    TIFF* tif_;
};

// libtiff's file access over bytes in memory: read-only (and mapped, so
// uncompressed strips are not copied) or a growing sink.
struct MemoryIo {
    const std::uint8_t* data = nullptr;
    Bytes* sink = nullptr;
    std::uint64_t size = 0;
    std::uint64_t position = 0;

    const std::uint8_t* base() const { return sink ? sink->data() : data; }
};

tmsize_t ioRead(thandle_t h, void* buffer, tmsize_t n) {
    auto* io = static_cast<MemoryIo*>(h);
    if (n <= 0 || io->position >= io->size) return 0;
    const auto count = static_cast<tmsize_t>(std::min<std::uint64_t>(static_cast<std::uint64_t>(n), io->size - io->position));
    std::memcpy(buffer, io->base() + io->position, static_cast<std::size_t>(count));
    io->position += static_cast<std::uint64_t>(count);
    return count;
}

tmsize_t ioWrite(thandle_t h, void* buffer, tmsize_t n) {
    auto* io = static_cast<MemoryIo*>(h);
    if (!io->sink || n < 0) return -1;
    const std::uint64_t end = io->position + static_cast<std::uint64_t>(n);
    if (end > kMaxEncodedBytes) return -1;
    if (end > io->sink->size()) io->sink->resize(static_cast<std::size_t>(end));
    std::memcpy(io->sink->data() + io->position, buffer, static_cast<std::size_t>(n));
    io->position = end;
    io->size = io->sink->size();
    return n;
}

toff_t ioSeek(thandle_t h, toff_t offset, int whence) {
    auto* io = static_cast<MemoryIo*>(h);
    std::int64_t origin = 0;
    if (whence == SEEK_CUR) origin = static_cast<std::int64_t>(io->position);
    if (whence == SEEK_END) origin = static_cast<std::int64_t>(io->size);
    const std::int64_t target = origin + static_cast<std::int64_t>(offset);
    if (target < 0) return static_cast<toff_t>(-1);
    io->position = static_cast<std::uint64_t>(target);
    return io->position;
}

int ioClose(thandle_t) { return 0; }
toff_t ioSize(thandle_t h) { return static_cast<MemoryIo*>(h)->size; }

int ioMap(thandle_t h, void** base, toff_t* size) {
    auto* io = static_cast<MemoryIo*>(h);
    if (io->sink) return 0;
    *base = const_cast<std::uint8_t*>(io->data);
    *size = io->size;
    return 1;
}

void ioUnmap(thandle_t, void*, toff_t) {}

TIFF* openMemory(MemoryIo& io, const char* mode, const OpenOptions& options) {
    return TIFFClientOpenExt("memory", mode, &io, ioRead, ioWrite, ioSeek, ioClose, ioSize, ioMap, ioUnmap,
                             options.get());
}

// ---- Reading ---------------------------------------------------------------

struct Layout {
    std::uint32_t width = 0, height = 0;
    std::uint16_t bits = 1, samples = 1, photometric = PHOTOMETRIC_MINISBLACK, planar = PLANARCONFIG_CONTIG;
    std::uint16_t compression = COMPRESSION_NONE, orientation = ORIENTATION_TOPLEFT;
    bool alpha = false, associatedAlpha = false, tiled = false;
    int format = TI_BGR24;
    int xDpi = 0, yDpi = 0;

    bool grey() const { return photometric == PHOTOMETRIC_MINISBLACK || photometric == PHOTOMETRIC_MINISWHITE; }
};

int resolution(float value, std::uint16_t unit) {
    if (!(value > 0.0f) || !std::isfinite(value)) return 0;
    double dpi = value;
    if (unit == RESUNIT_CENTIMETER) dpi *= 2.54;
    else if (unit != RESUNIT_INCH) return 0;
    return dpi > 65535.0 ? 0 : static_cast<int>(std::lround(dpi));
}

bool readLayout(TIFF* tif, Layout& p) {
    if (!TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &p.width) || !TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &p.height))
        return false;
    TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &p.bits);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &p.samples);
    TIFFGetFieldDefaulted(tif, TIFFTAG_PLANARCONFIG, &p.planar);
    TIFFGetFieldDefaulted(tif, TIFFTAG_COMPRESSION, &p.compression);
    TIFFGetFieldDefaulted(tif, TIFFTAG_ORIENTATION, &p.orientation);
    if (!TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &p.photometric))
        p.photometric = p.samples >= 3 ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISBLACK;
    std::uint16_t extraCount = 0;
    std::uint16_t* extraTypes = nullptr;
    if (TIFFGetField(tif, TIFFTAG_EXTRASAMPLES, &extraCount, &extraTypes) && extraTypes) {
        for (std::uint16_t i = 0; i < extraCount; ++i) {
            if (extraTypes[i] == EXTRASAMPLE_ASSOCALPHA) p.alpha = p.associatedAlpha = true;
            if (extraTypes[i] == EXTRASAMPLE_UNASSALPHA) p.alpha = true;
        }
    }
    p.tiled = TIFFIsTiled(tif) != 0;
    p.format = p.alpha ? TI_BGRA32 : p.grey() ? TI_GRAY8 : TI_BGR24;
    float x = 0, y = 0;
    std::uint16_t unit = RESUNIT_INCH;
    TIFFGetFieldDefaulted(tif, TIFFTAG_RESOLUTIONUNIT, &unit);
    if (TIFFGetField(tif, TIFFTAG_XRESOLUTION, &x)) p.xDpi = resolution(x, unit);
    if (TIFFGetField(tif, TIFFTAG_YRESOLUTION, &y)) p.yDpi = resolution(y, unit);
    return p.width > 0 && p.height > 0;
}

enum class RowKind { Bilevel, Grey, Rgb, Rgba, None };

RowKind fastKind(TIFF* tif, const Layout& p) {
    if (p.tiled || p.orientation != ORIENTATION_TOPLEFT) return RowKind::None;
    if (p.samples > 1 && p.planar != PLANARCONFIG_CONTIG) return RowKind::None;
    if (p.samples == 1 && p.grey() && p.bits == 1) return RowKind::Bilevel;
    if (p.samples == 1 && p.grey() && p.bits == 8) return RowKind::Grey;
    if (p.bits != 8) return RowKind::None;
    if (p.photometric == PHOTOMETRIC_RGB && p.samples == 3) return RowKind::Rgb;
    if (p.photometric == PHOTOMETRIC_RGB && p.samples == 4 && p.alpha) return RowKind::Rgba;
    if (p.photometric == PHOTOMETRIC_YCBCR && p.compression == COMPRESSION_JPEG && p.samples == 3) {
        // libjpeg turns YCbCr into RGB while it decodes.
        return TIFFSetField(tif, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB) ? RowKind::Rgb : RowKind::None;
    }
    return RowKind::None;
}

inline std::uint8_t unpremultiply(std::uint8_t c, std::uint8_t a) {
    if (a == 0) return 0;
    return static_cast<std::uint8_t>(std::min(255u, (c * 255u + a / 2u) / a));
}

void convertRow(RowKind kind, const Layout& p, const std::uint8_t* in, std::uint8_t* out, int width) {
    switch (kind) {
    case RowKind::Bilevel: {
        const bool oneIsWhite = p.photometric == PHOTOMETRIC_MINISBLACK;
        for (int x = 0; x < width; ++x) {
            const bool bit = (in[x >> 3] >> (7 - (x & 7))) & 1;
            out[x] = bit == oneIsWhite ? 255 : 0;
        }
        break;
    }
    case RowKind::Grey:
        if (p.photometric == PHOTOMETRIC_MINISWHITE) {
            for (int x = 0; x < width; ++x) out[x] = static_cast<std::uint8_t>(255 - in[x]);
        } else {
            std::memcpy(out, in, static_cast<std::size_t>(width));
        }
        break;
    case RowKind::Rgb:
        for (int x = 0; x < width; ++x, in += 3, out += 3) {
            out[0] = in[2];
            out[1] = in[1];
            out[2] = in[0];
        }
        break;
    case RowKind::Rgba:
        for (int x = 0; x < width; ++x, in += 4, out += 4) {
            const std::uint8_t a = in[3];
            if (p.associatedAlpha) {
                out[0] = unpremultiply(in[2], a);
                out[1] = unpremultiply(in[1], a);
                out[2] = unpremultiply(in[0], a);
            } else {
                out[0] = in[2];
                out[1] = in[1];
                out[2] = in[0];
            }
            out[3] = a;
        }
        break;
    case RowKind::None: break;
    }
}

int readStrips(TIFF* tif, const Layout& p, RowKind kind, ti_image_& image) {
    std::uint32_t rowsPerStrip = p.height;
    TIFFGetFieldDefaulted(tif, TIFFTAG_ROWSPERSTRIP, &rowsPerStrip);
    rowsPerStrip = std::clamp<std::uint32_t>(rowsPerStrip, 1, p.height);
    const tmsize_t scanline = TIFFScanlineSize(tif);
    const std::uint64_t needed = kind == RowKind::Bilevel ? (p.width + 7) / 8 : static_cast<std::uint64_t>(p.width) * p.samples;
    if (scanline <= 0 || static_cast<std::uint64_t>(scanline) < needed) return TI_ERR_FORMAT;
    const std::uint64_t stripBytes = static_cast<std::uint64_t>(scanline) * rowsPerStrip;
    if (stripBytes > (std::uint64_t{16} << 20)) {
        // A big strip (a whole page in one) is read a row at a time rather
        // than held beside the picture.
        std::vector<std::uint8_t> line(static_cast<std::size_t>(scanline));
        for (std::uint32_t y = 0; y < p.height; ++y) {
            if (TIFFReadScanline(tif, line.data(), y, 0) < 0) return TI_ERR_FORMAT;
            convertRow(kind, p, line.data(), image.row(static_cast<int>(y)), image.width);
        }
        return TI_OK;
    }
    std::vector<std::uint8_t> strip(static_cast<std::size_t>(stripBytes));
    const std::uint32_t strips = TIFFNumberOfStrips(tif);
    for (std::uint32_t s = 0; s < strips; ++s) {
        const std::uint64_t firstRow = static_cast<std::uint64_t>(s) * rowsPerStrip;
        if (firstRow >= p.height) break;
        const auto rows = static_cast<std::uint32_t>(std::min<std::uint64_t>(rowsPerStrip, p.height - firstRow));
        const tmsize_t want = scanline * static_cast<tmsize_t>(rows);
        const tmsize_t got = TIFFReadEncodedStrip(tif, s, strip.data(), want);
        if (got < 0) return TI_ERR_FORMAT;
        // A short strip leaves its missing rows blank rather than stale.
        if (got < want) std::memset(strip.data() + got, 0, static_cast<std::size_t>(want - got));
        for (std::uint32_t r = 0; r < rows; ++r)
            convertRow(kind, p, strip.data() + static_cast<std::size_t>(r) * static_cast<std::size_t>(scanline),
                       image.row(static_cast<int>(firstRow + r)), image.width);
    }
    return TI_OK;
}

// Any other layout (tiles, palettes, 16 bits, CMYK, planes...) through
// libtiff's RGBA reader, a band of rows at a time.
int readGeneric(TIFF* tif, const Layout& p, ti_image_& image) {
    char message[1024] = {};
    if (!TIFFRGBAImageOK(tif, message)) return TI_ERR_FORMAT;
    // Bands of whole strips or tile rows, so that each is decoded once.
    std::uint32_t unit = p.height;
    if (p.tiled) {
        TIFFGetField(tif, TIFFTAG_TILELENGTH, &unit);
    } else {
        TIFFGetFieldDefaulted(tif, TIFFTAG_ROWSPERSTRIP, &unit);
    }
    unit = std::clamp<std::uint32_t>(unit, 1, p.height);
    const std::uint32_t wanted = (4u << 20) / (p.width * 4u);
    const std::uint32_t band = std::min(p.height, std::max(unit, wanted / unit * unit));
    if (static_cast<std::uint64_t>(band) * p.width * 4 > kMaxCodecAllocation) return TI_ERR_MEMORY;
    TIFFRGBAImage reader{};
    // Stop at the first damaged strip or tile rather than decode on.
    if (!TIFFRGBAImageBegin(&reader, tif, 1, message)) return TI_ERR_FORMAT;
    struct End {
        TIFFRGBAImage* r;
        ~End() { TIFFRGBAImageEnd(r); }
    } end{&reader};
    reader.req_orientation = ORIENTATION_TOPLEFT;
    const bool premultiplied = reader.alpha != 0;
    std::vector<std::uint32_t> raster(static_cast<std::size_t>(p.width) * band);
    for (std::uint32_t y = 0; y < p.height; y += band) {
        const std::uint32_t rows = std::min(band, p.height - y);
        reader.row_offset = static_cast<int>(y);
        reader.col_offset = 0;
        if (!TIFFRGBAImageGet(&reader, raster.data(), p.width, rows)) return TI_ERR_FORMAT;
        for (std::uint32_t r = 0; r < rows; ++r) {
            const std::uint32_t* in = raster.data() + static_cast<std::size_t>(r) * p.width;
            std::uint8_t* out = image.row(static_cast<int>(y + r));
            for (std::uint32_t x = 0; x < p.width; ++x, out += image.format) {
                const std::uint32_t v = in[x];
                const auto red = static_cast<std::uint8_t>(TIFFGetR(v)), green = static_cast<std::uint8_t>(TIFFGetG(v)),
                           blue = static_cast<std::uint8_t>(TIFFGetB(v)), a = static_cast<std::uint8_t>(TIFFGetA(v));
                if (image.format == TI_GRAY8) {
                    out[0] = luminance(blue, green, red);
                } else if (image.format == TI_BGR24) {
                    out[0] = blue;
                    out[1] = green;
                    out[2] = red;
                } else {
                    out[0] = premultiplied ? unpremultiply(blue, a) : blue;
                    out[1] = premultiplied ? unpremultiply(green, a) : green;
                    out[2] = premultiplied ? unpremultiply(red, a) : red;
                    out[3] = a;
                }
            }
        }
    }
    return TI_OK;
}

// ---- Writing ---------------------------------------------------------------

bool setResolution(TIFF* tif, const ti_image_& image) {
    if (image.xDpi <= 0 || image.yDpi <= 0) return true;
    return TIFFSetField(tif, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH) &&
           TIFFSetField(tif, TIFFTAG_XRESOLUTION, static_cast<float>(image.xDpi)) &&
           TIFFSetField(tif, TIFFTAG_YRESOLUTION, static_cast<float>(image.yDpi));
}

std::uint32_t rowsPerStrip(std::size_t rowBytes, std::uint32_t multiple, std::uint32_t height) {
    std::uint32_t rows = static_cast<std::uint32_t>(std::max<std::size_t>(1, (std::size_t{1} << 18) / std::max<std::size_t>(rowBytes, 1)));
    rows = std::max(multiple, rows / multiple * multiple);
    return std::min(rows, height);
}

// Writes image as the current directory of tif. page >= 0 marks it as
// that page of a multi-page file.
bool writePage(TIFF* tif, const ti_image_& image, const SaveOptions& options, int page) {
    const int w = image.width, h = image.height;
    const int compression = options.compression;
    const bool bilevel = compression == TI_COMPRESSION_CCITT_G4;
    const bool jpeg = compression == TI_COMPRESSION_JPEG;
    const bool grey = image.format == TI_GRAY8;
    // JPEG has no alpha; the other codecs keep it.
    const int samples = bilevel || grey ? 1 : (image.format == TI_BGRA32 && !jpeg ? 4 : 3);
    bool ok = TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, static_cast<std::uint32_t>(w)) &&
              TIFFSetField(tif, TIFFTAG_IMAGELENGTH, static_cast<std::uint32_t>(h)) &&
              TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, bilevel ? 1 : 8) &&
              TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, samples) &&
              TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG) &&
              TIFFSetField(tif, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT) &&
              TIFFSetField(tif, TIFFTAG_COMPRESSION, compression) && setResolution(tif, image);
    if (!ok) return false;
    if (page >= 0)
        ok = TIFFSetField(tif, TIFFTAG_SUBFILETYPE, FILETYPE_PAGE) &&
             TIFFSetField(tif, TIFFTAG_PAGENUMBER, static_cast<std::uint16_t>(std::min(page, 65535)), 0);
    std::uint32_t stripRows = 0;
    if (bilevel) {
        ok = ok && TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE);
        stripRows = static_cast<std::uint32_t>(h);
    } else if (jpeg) {
        if (grey) {
            ok = ok && TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
        } else {
            // Stored as YCbCr 4:2:0 and handed over as RGB: libjpeg converts.
            ok = ok && TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_YCBCR) &&
                 TIFFSetField(tif, TIFFTAG_YCBCRSUBSAMPLING, 2, 2);
        }
        ok = ok && TIFFSetField(tif, TIFFTAG_JPEGQUALITY, options.quality);
        if (!grey) ok = ok && TIFFSetField(tif, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB);
        stripRows = rowsPerStrip(static_cast<std::size_t>(w) * samples, grey ? 8 : 16, static_cast<std::uint32_t>(h));
    } else {
        ok = ok && TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, grey ? PHOTOMETRIC_MINISBLACK : PHOTOMETRIC_RGB);
        if (samples == 4) {
            const std::uint16_t extra[] = {EXTRASAMPLE_UNASSALPHA};
            ok = ok && TIFFSetField(tif, TIFFTAG_EXTRASAMPLES, 1, extra);
        }
        if (compression == TI_COMPRESSION_LZW || compression == TI_COMPRESSION_DEFLATE)
            ok = ok && TIFFSetField(tif, TIFFTAG_PREDICTOR, PREDICTOR_HORIZONTAL);
        stripRows = rowsPerStrip(static_cast<std::size_t>(w) * samples, 1, static_cast<std::uint32_t>(h));
    }
    ok = ok && TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, stripRows);
    if (!ok) return false;

    const std::size_t rowBytes = bilevel ? (static_cast<std::size_t>(w) + 7) / 8 : static_cast<std::size_t>(w) * samples;
    std::vector<std::uint8_t> strip(rowBytes * stripRows);
    std::uint32_t index = 0;
    for (int y0 = 0; y0 < h; y0 += static_cast<int>(stripRows), ++index) {
        const int rows = std::min(static_cast<int>(stripRows), h - y0);
        for (int r = 0; r < rows; ++r) {
            const std::uint8_t* in = image.row(y0 + r);
            std::uint8_t* out = strip.data() + rowBytes * static_cast<std::size_t>(r);
            if (bilevel) {
                // Minimum-is-white: a set bit is a dark pixel.
                std::memset(out, 0, rowBytes);
                for (int x = 0; x < w; ++x, in += image.format) {
                    const int v = image.format == TI_GRAY8 ? in[0] : luminance(in[0], in[1], in[2]);
                    if (v < 128) out[x >> 3] = static_cast<std::uint8_t>(out[x >> 3] | (0x80 >> (x & 7)));
                }
            } else if (grey) {
                std::memcpy(out, in, rowBytes);
            } else {
                for (int x = 0; x < w; ++x, in += image.format, out += samples) {
                    out[0] = in[2];
                    out[1] = in[1];
                    out[2] = in[0];
                    if (samples == 4) out[3] = in[3];
                }
            }
        }
        if (TIFFWriteEncodedStrip(tif, index, strip.data(), static_cast<tmsize_t>(rowBytes * static_cast<std::size_t>(rows))) < 0)
            return false;
    }
    return TIFFWriteDirectory(tif) != 0;
}

// libtiff's file access over a platform::FileWriter: every byte goes
// through the platform's file layer (no link followed, the tests' simulated
// full disk), and a write the disk refuses is seen by libtiff as one.
struct FileIo {
    platform::FileWriter file;
    std::uint64_t position = 0;
};

tmsize_t fileRead(thandle_t h, void* buffer, tmsize_t n) {
    auto* io = static_cast<FileIo*>(h);
    if (n <= 0) return 0;
    const std::size_t got = io->file.readAt(io->position, buffer, static_cast<std::size_t>(n));
    io->position += got;
    return static_cast<tmsize_t>(got);
}

tmsize_t fileWrite(thandle_t h, void* buffer, tmsize_t n) {
    auto* io = static_cast<FileIo*>(h);
    if (n < 0) return -1;
    if (!io->file.writeAt(io->position, buffer, static_cast<std::size_t>(n))) return -1;
    io->position += static_cast<std::uint64_t>(n);
    return n;
}

toff_t fileSeek(thandle_t h, toff_t offset, int whence) {
    auto* io = static_cast<FileIo*>(h);
    std::int64_t origin = 0;
    if (whence == SEEK_CUR) origin = static_cast<std::int64_t>(io->position);
    if (whence == SEEK_END) origin = static_cast<std::int64_t>(io->file.size());
    const std::int64_t target = origin + static_cast<std::int64_t>(offset);
    if (target < 0) return static_cast<toff_t>(-1);
    io->position = static_cast<std::uint64_t>(target);
    return io->position;
}

int fileClose(thandle_t) { return 0; }
toff_t fileSize(thandle_t h) { return static_cast<FileIo*>(h)->file.size(); }
int fileMap(thandle_t, void**, toff_t*) { return 0; }
void fileUnmap(thandle_t, void*, toff_t) {}

class FilePageWriter final : public PageWriter {
public:
    explicit FilePageWriter(std::unique_ptr<FileIo> io) : io_(std::move(io)) {}
    ~FilePageWriter() override { close(); }

    bool start(const OpenOptions& options) {
        TIFF* tif = TIFFClientOpenExt("file", "w", io_.get(), fileRead, fileWrite, fileSeek, fileClose, fileSize,
                                      fileMap, fileUnmap, options.get());
        if (!tif) return false;
        tif_.reset(tif);
        return true;
    }

    int add(const ti_image_& image, const SaveOptions& options) override {
        if (!tif_) return TI_ERR_ARGUMENT;
        if (failed_) return TI_ERR_IO;
        if (!writePage(tif_.get(), image, options, pages_)) {
            failed_ = true;
            return TI_ERR_IO;
        }
        ++pages_;
        return TI_OK;
    }

    int close() override {
        if (!tif_) return result_;
        const bool flushed = pages_ > 0 && !failed_ && TIFFFlush(tif_.get()) != 0;
        tif_.close();
        // The file reaches the disk whole, or - a file without all its pages
        // must not be taken for the document - it is removed, so whoever
        // moves it into place finds nothing.
        if (!flushed || !io_->file.good() || !io_->file.commit()) {
            io_->file.abandon();
            result_ = TI_ERR_IO;
        }
        return result_;
    }

private:
    std::unique_ptr<FileIo> io_;
    TiffHandle tif_;
    int pages_ = 0;
    bool failed_ = false;
    int result_ = TI_OK;
};

}  // namespace

int tiffProbe(const Bytes& bytes, TI_FILE_INFO& info) {
    OpenOptions options;
    MemoryIo io{bytes.data(), nullptr, bytes.size(), 0};
    TiffHandle tif(openMemory(io, "r", options));
    if (!tif) return TI_ERR_FORMAT;
    Layout p;
    if (!readLayout(tif.get(), p)) return TI_ERR_FORMAT;
    info.format = TI_FORMAT_TIFF;
    info.width = static_cast<int>(std::min<std::uint32_t>(p.width, 0x7fffffff));
    info.height = static_cast<int>(std::min<std::uint32_t>(p.height, 0x7fffffff));
    info.pixelFormat = p.format;
    info.xDpi = p.xDpi;
    info.yDpi = p.yDpi;
    info.compression = p.compression;
    const tdir_t pages = TIFFNumberOfDirectories(tif.get());
    info.pageCount = static_cast<int>(std::clamp<tdir_t>(pages, 1, 65535));
    return withinLimits(p.width, p.height, p.format) ? TI_OK : TI_ERR_MEMORY;
}

int tiffDecode(const Bytes& bytes, int page, ImagePtr& out) {
    out.reset();
    OpenOptions options;
    MemoryIo io{bytes.data(), nullptr, bytes.size(), 0};
    TiffHandle tif(openMemory(io, "r", options));
    if (!tif) return TI_ERR_FORMAT;
    if (page > 0 && !TIFFSetDirectory(tif.get(), static_cast<tdir_t>(page)))
        return page >= static_cast<int>(TIFFNumberOfDirectories(tif.get())) ? TI_ERR_ARGUMENT : TI_ERR_FORMAT;
    Layout p;
    if (!readLayout(tif.get(), p)) return TI_ERR_FORMAT;
    if (!withinLimits(p.width, p.height, 4)) return TI_ERR_MEMORY;
    ImagePtr image;
    if (const int rc = createImage(static_cast<int>(p.width), static_cast<int>(p.height), p.format, image); rc != TI_OK)
        return rc;
    const RowKind kind = fastKind(tif.get(), p);
    const int rc = kind == RowKind::None ? readGeneric(tif.get(), p, *image) : readStrips(tif.get(), p, kind, *image);
    if (rc != TI_OK) return rc;
    image->xDpi = p.xDpi;
    image->yDpi = p.yDpi;
    out = std::move(image);
    return TI_OK;
}

int tiffEncode(const ti_image_& image, const SaveOptions& options, Bytes& out) {
    out.clear();
    OpenOptions openOptions;
    Bytes sink;
    MemoryIo io{nullptr, &sink, 0, 0};
    TiffHandle tif(openMemory(io, "w", openOptions));
    if (!tif) return TI_ERR_FORMAT;
    if (!writePage(tif.get(), image, options, -1)) return TI_ERR_FORMAT;
    if (!TIFFFlush(tif.get())) return TI_ERR_FORMAT;
    tif.close();
    out = std::move(sink);
    return TI_OK;
}

int tiffOpenPageWriter(const char16_t* path, std::unique_ptr<PageWriter>& out) {
    out.reset();
    if (!path || !*path) return TI_ERR_ARGUMENT;
    // The file of that name itself, emptied: the caller has named it (a
    // temporary file of its own), and never a link's target.
    auto io = std::make_unique<FileIo>();
    if (!io->file.open(path)) return TI_ERR_IO;
    OpenOptions options;
    auto writer = std::make_unique<FilePageWriter>(std::move(io));
    if (!writer->start(options)) return TI_ERR_IO;
    out = std::move(writer);
    return TI_OK;
}

}  // namespace timage::codecs
