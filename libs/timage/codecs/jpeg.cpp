// JPEG through libjpeg-turbo. A loaded JPEG keeps its bytes and decodes on
// first need, so that a reduction (the viewer's page fitting) can decode
// straight at a DCT scale of n/8 instead of decoding the whole page first.
//
// libjpeg reports errors by longjmp: every function that calls it with a
// setjmp in place holds only trivially destructible locals, and C++
// objects are made outside those functions.
#include "libs/timage/codecs/jpeg.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstdint>
#include <cstring>
#include <vector>

#include <jpeglib.h>

#include "libs/timage/core/limits.h"

namespace timage::codecs {
namespace {

// More scans than any sane progressive file has; a hostile file with
// thousands of tiny scans would otherwise spin for a long time.
constexpr int kMaxScans = 1000;

struct ErrorJump {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
};

[[noreturn]] void onError(j_common_ptr cinfo) {
    auto* err = reinterpret_cast<ErrorJump*>(cinfo->err);
    std::longjmp(err->jump, 1);
}

void onMessage(j_common_ptr, int) {}  // warnings (a truncated file) are not errors
void onOutput(j_common_ptr) {}

// libjpeg's progress record with the scan limit of the file at hand.
struct ScanLimit {
    jpeg_progress_mgr pub;
    int maxScans;
};

void onProgress(j_common_ptr cinfo) {
    auto* d = reinterpret_cast<j_decompress_ptr>(cinfo);
    const auto* limit = reinterpret_cast<const ScanLimit*>(cinfo->progress);
    if (d->input_scan_number > limit->maxScans) onError(cinfo);
}

struct Decoder {
    jpeg_decompress_struct cinfo{};
    ErrorJump err{};
    ScanLimit progress{{}, kMaxScans};
    bool created = false;

    Decoder() = default;
    Decoder(const Decoder&) = delete;
    Decoder& operator=(const Decoder&) = delete;
    ~Decoder() {
        if (created) jpeg_destroy_decompress(&cinfo);
    }
};

struct Encoder {
    jpeg_compress_struct cinfo{};
    ErrorJump err{};
    bool created = false;
    unsigned char* memory = nullptr;
    unsigned long memorySize = 0;

    Encoder() = default;
    Encoder(const Encoder&) = delete;
    Encoder& operator=(const Encoder&) = delete;
    ~Encoder() {
        if (created) jpeg_destroy_compress(&cinfo);
        std::free(memory);
    }
};

bool readHeader(Decoder& d, const std::uint8_t* data, std::size_t size) {
    d.cinfo.err = jpeg_std_error(&d.err.pub);
    d.err.pub.error_exit = onError;
    d.err.pub.emit_message = onMessage;
    d.err.pub.output_message = onOutput;
    if (setjmp(d.err.jump)) return false;
    jpeg_create_decompress(&d.cinfo);
    d.created = true;
    // Progressive files buffer all coefficients; keep that within the limit.
    d.cinfo.mem->max_memory_to_use = static_cast<long>(kMaxCodecAllocation);
    d.progress.pub.progress_monitor = onProgress;
    d.cinfo.progress = &d.progress.pub;
    jpeg_mem_src(&d.cinfo, data, static_cast<unsigned long>(size));
    return jpeg_read_header(&d.cinfo, TRUE) == JPEG_HEADER_OK;
}

int formatOf(const jpeg_decompress_struct& c) { return c.num_components == 1 ? TI_GRAY8 : TI_BGR24; }

void densityOf(const jpeg_decompress_struct& c, int& x, int& y) {
    x = y = 0;
    if (!c.saw_JFIF_marker || c.X_density == 0 || c.Y_density == 0) return;
    if (c.density_unit == 1) {
        x = c.X_density;
        y = c.Y_density;
    } else if (c.density_unit == 2) {  // dots per centimetre
        x = static_cast<int>(c.X_density * 2.54 + 0.5);
        y = static_cast<int>(c.Y_density * 2.54 + 0.5);
    }
}

bool prepareOutput(Decoder& d, int scale) {
    if (setjmp(d.err.jump)) return false;
    const J_COLOR_SPACE in = d.cinfo.jpeg_color_space;
    d.cinfo.out_color_space = d.cinfo.num_components == 1          ? JCS_GRAYSCALE
                              : (in == JCS_CMYK || in == JCS_YCCK) ? JCS_CMYK
                                                                   : JCS_EXT_BGR;
    d.cinfo.scale_num = static_cast<unsigned>(scale);
    d.cinfo.scale_denom = 8;
    d.cinfo.dct_method = JDCT_ISLOW;
    jpeg_calc_output_dimensions(&d.cinfo);
    return true;
}

// Decodes every row into image rows; cmyk is scratch for one CMYK row.
bool readRows(Decoder& d, ti_image_& image, std::uint8_t* cmyk) {
    if (setjmp(d.err.jump)) return false;
    jpeg_start_decompress(&d.cinfo);
    if (d.cinfo.output_width != static_cast<JDIMENSION>(image.width) ||
        d.cinfo.output_height != static_cast<JDIMENSION>(image.height))
        return false;
    const bool inverted = d.cinfo.saw_Adobe_marker;
    while (d.cinfo.output_scanline < d.cinfo.output_height) {
        const int y = static_cast<int>(d.cinfo.output_scanline);
        if (d.cinfo.out_color_space != JCS_CMYK) {
            JSAMPROW rows[8];
            const int n = std::min(8, image.height - y);
            for (int i = 0; i < n; ++i) rows[i] = image.row(y + i);
            jpeg_read_scanlines(&d.cinfo, rows, static_cast<JDIMENSION>(n));
            continue;
        }
        JSAMPROW row = cmyk;
        if (jpeg_read_scanlines(&d.cinfo, &row, 1) != 1) return false;
        std::uint8_t* out = image.row(y);
        const std::uint8_t* in = cmyk;
        for (int x = 0; x < image.width; ++x, in += 4, out += 3) {
            // Adobe writes CMYK inverted: the stored bytes are 255 - ink.
            const unsigned k = inverted ? in[3] : 255u - in[3];
            for (int c = 0; c < 3; ++c) {
                const unsigned v = inverted ? in[2 - c] : 255u - in[2 - c];
                out[c] = static_cast<std::uint8_t>((v * k + 127) / 255);
            }
        }
    }
    jpeg_finish_decompress(&d.cinfo);
    return true;
}

// Blocks of every component, which each scan of the file visits whatever
// the output scale (known once the header is read).
std::uint64_t blocksOf(const jpeg_decompress_struct& c) {
    std::uint64_t blocks = 0;
    for (int i = 0; i < c.num_components; ++i)
        blocks += static_cast<std::uint64_t>(c.comp_info[i].width_in_blocks) * c.comp_info[i].height_in_blocks;
    return blocks;
}

int decodeScaled(const Bytes& bytes, int scale, ImagePtr& out) {
    out.reset();
    Decoder d;
    if (!readHeader(d, bytes.data(), bytes.size())) return TI_ERR_FORMAT;
    if (!withinLimits(d.cinfo.image_width, d.cinfo.image_height, 3)) return TI_ERR_MEMORY;
    if (!prepareOutput(d, scale)) return TI_ERR_FORMAT;
    // The work is bounded by what the data could describe, not by what the
    // header claims: the samples put out, and the blocks all scans visit
    // (a progressive file repeats its whole picture once a scan; 16 passes
    // over the budget's worth of blocks leave real files, which have about
    // ten scans, far inside).
    const std::uint64_t budget = decodeSampleBudget(bytes.size());
    const std::uint64_t samples = static_cast<std::uint64_t>(d.cinfo.output_width) * d.cinfo.output_height *
                                  static_cast<std::uint64_t>(d.cinfo.out_color_components);
    if (samples > budget) return TI_ERR_FORMAT;
    const std::uint64_t blocks = std::max<std::uint64_t>(1, blocksOf(d.cinfo));
    d.progress.maxScans = static_cast<int>(std::min<std::uint64_t>(kMaxScans, std::max<std::uint64_t>(1, 16 * (budget / 64) / blocks)));
    ImagePtr image;
    if (const int rc = createImage(static_cast<int>(d.cinfo.output_width), static_cast<int>(d.cinfo.output_height),
                                   formatOf(d.cinfo), image);
        rc != TI_OK)
        return rc;
    std::vector<std::uint8_t> cmyk;
    if (d.cinfo.out_color_space == JCS_CMYK) cmyk.resize(static_cast<std::size_t>(image->width) * 4);
    if (!readRows(d, *image, cmyk.data())) return TI_ERR_FORMAT;
    out = std::move(image);
    return TI_OK;
}

// libjpeg's size for a scale of n/8.
int scaled(int size, int n) { return static_cast<int>((static_cast<long long>(size) * n + 7) / 8); }

class JpegPixels final : public PendingPixels {
public:
    JpegPixels(SharedBytes bytes, int width, int height) : bytes_(std::move(bytes)), width_(width), height_(height) {}

    int decode(int minWidth, int minHeight, ImagePtr& out) const override {
        int n = 8;
        if (minWidth > 0 || minHeight > 0) {
            // The smallest scale that still covers the wanted size.
            for (n = 1; n < 8; ++n)
                if (scaled(width_, n) >= minWidth && scaled(height_, n) >= minHeight) break;
        }
        return decodeScaled(*bytes_, n, out);
    }

private:
    SharedBytes bytes_;
    int width_, height_;
};

bool compress(Encoder& e, const ti_image_& image, int quality) {
    e.cinfo.err = jpeg_std_error(&e.err.pub);
    e.err.pub.error_exit = onError;
    e.err.pub.emit_message = onMessage;
    e.err.pub.output_message = onOutput;
    if (setjmp(e.err.jump)) return false;
    jpeg_create_compress(&e.cinfo);
    e.created = true;
    jpeg_mem_dest(&e.cinfo, &e.memory, &e.memorySize);
    e.cinfo.image_width = static_cast<JDIMENSION>(image.width);
    e.cinfo.image_height = static_cast<JDIMENSION>(image.height);
    switch (image.format) {
    case TI_GRAY8:
        e.cinfo.input_components = 1;
        e.cinfo.in_color_space = JCS_GRAYSCALE;
        break;
    case TI_BGR24:
        e.cinfo.input_components = 3;
        e.cinfo.in_color_space = JCS_EXT_BGR;
        break;
    default:  // alpha is dropped: JPEG has none
        e.cinfo.input_components = 4;
        e.cinfo.in_color_space = JCS_EXT_BGRX;
        break;
    }
    jpeg_set_defaults(&e.cinfo);
    jpeg_set_quality(&e.cinfo, quality, TRUE);
    e.cinfo.write_JFIF_header = TRUE;
    if (image.xDpi > 0 && image.yDpi > 0) {
        e.cinfo.density_unit = 1;
        e.cinfo.X_density = static_cast<UINT16>(image.xDpi);
        e.cinfo.Y_density = static_cast<UINT16>(image.yDpi);
    } else {
        e.cinfo.density_unit = 0;
        e.cinfo.X_density = 1;
        e.cinfo.Y_density = 1;
    }
    jpeg_start_compress(&e.cinfo, TRUE);
    while (e.cinfo.next_scanline < e.cinfo.image_height) {
        JSAMPROW rows[16];
        const int y = static_cast<int>(e.cinfo.next_scanline);
        const int n = std::min(16, image.height - y);
        for (int i = 0; i < n; ++i) rows[i] = image.row(y + i);
        jpeg_write_scanlines(&e.cinfo, rows, static_cast<JDIMENSION>(n));
    }
    jpeg_finish_compress(&e.cinfo);
    return true;
}

}  // namespace

int jpegProbe(const Bytes& bytes, TI_FILE_INFO& info) {
    Decoder d;
    if (!readHeader(d, bytes.data(), bytes.size())) return TI_ERR_FORMAT;
    info.format = TI_FORMAT_JPEG;
    info.width = static_cast<int>(d.cinfo.image_width);
    info.height = static_cast<int>(d.cinfo.image_height);
    info.pixelFormat = formatOf(d.cinfo);
    info.pageCount = 1;
    info.compression = 0;
    densityOf(d.cinfo, info.xDpi, info.yDpi);
    return withinLimits(info.width, info.height, 3) ? TI_OK : TI_ERR_MEMORY;
}

int jpegLoad(const SharedBytes& bytes, ImagePtr& out) {
    TI_FILE_INFO info{};
    if (const int rc = jpegProbe(*bytes, info); rc != TI_OK) return rc;
    out = deferredImage(info.width, info.height, info.pixelFormat,
                        std::make_shared<JpegPixels>(bytes, info.width, info.height));
    out->xDpi = info.xDpi;
    out->yDpi = info.yDpi;
    // The same bytes the pending decode holds: no copy while deferred.
    out->sourceJpeg = bytes;
    return TI_OK;
}

int jpegEncode(const ti_image_& image, int quality, Bytes& out) {
    Encoder e;
    if (!compress(e, image, quality)) return TI_ERR_FORMAT;
    out.assign(e.memory, e.memory + e.memorySize);
    return TI_OK;
}

}  // namespace timage::codecs
