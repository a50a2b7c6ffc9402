// Helpers of the toolkit tests: owned handles, test pictures, pixel
// comparisons, and the outside tools that check our files.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "libs/timage/timage.h"

namespace timage_test {

struct ImageRelease {
    void operator()(ti_image_* image) const {
        TI_IMAGE handle = image;
        ti_ReleaseImage(&handle);
    }
};
using Image = std::unique_ptr<ti_image_, ImageRelease>;

inline constexpr int kFormats[] = {TI_GRAY8, TI_BGR24, TI_BGRA32};
const char* formatName(int format);

Image create(int width, int height, int format);
TI_IMAGE_INFO infoOf(TI_IMAGE image);
std::uint8_t* pixel(TI_IMAGE image, int x, int y);

// Every byte from a seeded generator: any mix-up of pixels shows.
void paintNoise(TI_IMAGE image, std::uint32_t seed);
// Smooth gradients and a few hard edges: what lossy codecs keep well.
void paintSmooth(TI_IMAGE image);
Image noise(int width, int height, int format, std::uint32_t seed = 1);
Image smooth(int width, int height, int format);

bool samePixels(TI_IMAGE a, TI_IMAGE b);
struct Difference {
    double mean = 0;  // mean absolute difference per byte
    int max = 0;
};
// Compares the first `channels` bytes of each pixel (all when 0).
Difference compare(TI_IMAGE a, TI_IMAGE b, int channels = 0);

// Output of a shell command (stdout only), and whether a tool exists.
std::string run(const std::string& command);
bool haveTool(const char* name);
std::string shellQuote(const std::string& s);

// A TI_STREAM over a growing memory buffer, as the component hands over.
class MemoryStream {
public:
    MemoryStream();
    explicit MemoryStream(std::vector<std::uint8_t> bytes);
    TI_STREAM* get() { return &stream_; }
    std::vector<std::uint8_t>& bytes() { return bytes_; }
    void rewind() { position_ = 0; }

private:
    static int32_t TI_API write(TI_STREAM* s, const void* data, int32_t count);
    static int32_t TI_API read(TI_STREAM* s, void* buffer, int32_t count);
    static int32_t TI_API seek(TI_STREAM* s, int32_t offset, int32_t origin);
    static int32_t TI_API tell(TI_STREAM* s);
    static int32_t TI_API size(TI_STREAM* s);
    TI_STREAM stream_{};
    std::vector<std::uint8_t> bytes_;
    std::size_t position_ = 0;
};

}  // namespace timage_test
