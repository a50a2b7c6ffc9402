// The lossless JPEG edits on Linux: TurboJPEG's transform for the data,
// libjpeg's header reader and its own quality scaling for the estimate.
#include <turbojpeg.h>

#include <array>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include <jpeglib.h>

#include "viewer/jpeg_lossless.h"

namespace jpeg_lossless {

namespace {

struct HandleCloser {
    void operator()(void* handle) const { tjDestroy(handle); }
};
using Handle = std::unique_ptr<void, HandleCloser>;

struct BufferFree {
    void operator()(unsigned char* buffer) const { tjFree(buffer); }
};
using Buffer = std::unique_ptr<unsigned char, BufferFree>;

const unsigned char* dataOf(const std::string& bytes) { return reinterpret_cast<const unsigned char*>(bytes.data()); }

bool transform(const std::string& jpeg, tjtransform& request, std::string& out) {
    if (jpeg.empty() || jpeg.size() > static_cast<std::size_t>(0x7FFFFFFF)) return false;
    Handle handle(tjInitTransform());
    if (!handle) return false;
    unsigned char* result = nullptr;
    unsigned long resultSize = 0;
    const int status = tjTransform(handle.get(), dataOf(jpeg), jpeg.size(), 1, &result, &resultSize, &request, 0);
    Buffer owned(result);
    if (status != 0 || !owned || resultSize == 0) return false;
    out.assign(reinterpret_cast<const char*>(owned.get()), resultSize);
    return true;
}

// libjpeg reports a fatal error by calling error_exit, which by default
// ends the process: ours jumps back to the reader instead.
struct JumpingErrors {
    jpeg_error_mgr manager{};
    std::jmp_buf back{};
};

void jumpBack(j_common_ptr info) { std::longjmp(reinterpret_cast<JumpingErrors*>(info->err)->back, 1); }
void quiet(j_common_ptr, int) {}
void quietOutput(j_common_ptr) {}

jpeg_error_mgr* installErrors(JumpingErrors& errors) {
    jpeg_std_error(&errors.manager);
    errors.manager.error_exit = jumpBack;
    errors.manager.emit_message = quiet;
    errors.manager.output_message = quietOutput;
    return &errors.manager;
}

using Table = std::array<unsigned, DCTSIZE2>;
struct FileTables {
    Table table[2]{};
    bool used[2]{};
};

// The file's quantisation tables of the luminance and chrominance slots
// its components use. Plain data only between setjmp and the reads: a
// jump skips no destructor.
bool readTables(const std::string& jpeg, FileTables& tables) {
    jpeg_decompress_struct info{};
    JumpingErrors errors;
    info.err = installErrors(errors);
    if (setjmp(errors.back)) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, dataOf(jpeg), static_cast<unsigned long>(jpeg.size()));
    jpeg_read_header(&info, TRUE);
    bool any = false;
    for (int c = 0; c < info.num_components; ++c) {
        const int slot = info.comp_info[c].quant_tbl_no;
        if (slot < 0 || slot > 1 || !info.quant_tbl_ptrs[slot]) continue;
        for (int i = 0; i < DCTSIZE2; ++i) tables.table[slot][static_cast<std::size_t>(i)] = info.quant_tbl_ptrs[slot]->quantval[i];
        tables.used[slot] = true;
        any = true;
    }
    jpeg_destroy_decompress(&info);
    return any;
}

// The tables libjpeg's own quality scaling makes for every quality, the
// ones encoders derive theirs from (baseline: entries at most 255).
bool referenceTables(std::array<FileTables, 101>& references) {
    jpeg_compress_struct info{};
    JumpingErrors errors;
    info.err = installErrors(errors);
    if (setjmp(errors.back)) {
        jpeg_destroy_compress(&info);
        return false;
    }
    jpeg_create_compress(&info);
    info.in_color_space = JCS_RGB;
    info.input_components = 3;
    jpeg_set_defaults(&info);
    for (int q = 1; q <= 100; ++q) {
        jpeg_set_quality(&info, q, TRUE);
        for (int slot = 0; slot < 2; ++slot)
            for (int i = 0; i < DCTSIZE2; ++i)
                references[static_cast<std::size_t>(q)].table[slot][static_cast<std::size_t>(i)] =
                    info.quant_tbl_ptrs[slot]->quantval[i];
    }
    jpeg_destroy_compress(&info);
    return true;
}

}  // namespace

bool available() { return true; }

std::optional<Layout> layoutOf(const std::string& jpeg) {
    if (jpeg.empty() || jpeg.size() > static_cast<std::size_t>(0x7FFFFFFF)) return std::nullopt;
    Handle handle(tjInitDecompress());
    if (!handle) return std::nullopt;
    int width = 0, height = 0, subsampling = -1, colourspace = -1;
    if (tjDecompressHeader3(handle.get(), dataOf(jpeg), jpeg.size(), &width, &height, &subsampling, &colourspace) != 0)
        return std::nullopt;
    if (width <= 0 || height <= 0 || subsampling < 0 || subsampling >= TJ_NUMSAMP) return std::nullopt;
    return Layout{width, height, tjMCUWidth[subsampling], tjMCUHeight[subsampling]};
}

bool turn(const std::string& jpeg, Turn turn, std::string& out) {
    tjtransform request{};
    request.op = static_cast<int>(turn);
    // Never trimmed: a page keeps every pixel, so a turn that is not
    // perfect is refused here and done by the caller another way.
    request.options = TJXOPT_PERFECT;
    return transform(jpeg, request, out);
}

bool crop(const std::string& jpeg, int left, int top, int width, int height, std::string& out) {
    if (left < 0 || top < 0 || width <= 0 || height <= 0) return false;
    tjtransform request{};
    request.op = TJXOP_NONE;
    request.options = TJXOPT_CROP | TJXOPT_PERFECT;
    request.r = tjregion{left, top, width, height};
    return transform(jpeg, request, out);
}

int estimateQuality(const std::string& jpeg) {
    FileTables file;
    if (jpeg.empty() || !readTables(jpeg, file)) return 0;
    std::array<FileTables, 101> references;
    if (!referenceTables(references)) return 0;
    // The quality whose tables lie nearest the file's; of equal ones the
    // lowest, which makes the same tables.
    int best = 0;
    unsigned long bestDistance = ~0UL;
    for (int q = 1; q <= 100; ++q) {
        unsigned long distance = 0;
        for (int slot = 0; slot < 2; ++slot) {
            if (!file.used[slot]) continue;
            for (std::size_t i = 0; i < DCTSIZE2; ++i) {
                const long d = static_cast<long>(file.table[slot][i]) -
                               static_cast<long>(references[static_cast<std::size_t>(q)].table[slot][i]);
                distance += static_cast<unsigned long>(d < 0 ? -d : d);
            }
        }
        if (distance < bestDistance) {
            bestDistance = distance;
            best = q;
        }
    }
    return best;
}

}  // namespace jpeg_lossless
