#include "timage/helpers.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace timage_test {

const char* formatName(int format) {
    switch (format) {
    case TI_GRAY8: return "grey8";
    case TI_BGR24: return "bgr24";
    case TI_BGRA32: return "bgra32";
    default: return "?";
    }
}

Image create(int width, int height, int format) {
    Image image(ti_CreateImage(width, height, format));
    EXPECT_TRUE(image) << "ti_CreateImage " << width << "x" << height << " error " << ti_Error();
    return image;
}

TI_IMAGE_INFO infoOf(TI_IMAGE image) {
    TI_IMAGE_INFO info{};
    info.size = sizeof info;
    EXPECT_EQ(ti_GetInfo(image, &info), TI_OK);
    return info;
}

std::uint8_t* pixel(TI_IMAGE image, int x, int y) {
    const TI_IMAGE_INFO info = infoOf(image);
    const int row = info.topDown ? y : info.height - 1 - y;
    return info.data + static_cast<std::ptrdiff_t>(row) * info.stride + static_cast<std::ptrdiff_t>(x) * info.pixelFormat;
}

void paintNoise(TI_IMAGE image, std::uint32_t seed) {
    const TI_IMAGE_INFO info = infoOf(image);
    std::uint32_t state = seed * 2654435761u + 12345u;
    for (int y = 0; y < info.height; ++y) {
        std::uint8_t* row = pixel(image, 0, y);
        for (int i = 0; i < info.width * info.pixelFormat; ++i) {
            state = state * 1103515245u + 12345u;
            row[i] = static_cast<std::uint8_t>(state >> 23);
        }
    }
}

void paintSmooth(TI_IMAGE image) {
    const TI_IMAGE_INFO info = infoOf(image);
    for (int y = 0; y < info.height; ++y) {
        std::uint8_t* p = pixel(image, 0, y);
        for (int x = 0; x < info.width; ++x, p += info.pixelFormat) {
            const int b = 255 * x / std::max(1, info.width - 1);
            const int g = 255 * y / std::max(1, info.height - 1);
            const bool block = x > info.width / 4 && x < info.width / 2 && y > info.height / 3 && y < info.height * 2 / 3;
            const int r = block ? 230 : 40;
            if (info.pixelFormat == TI_GRAY8) {
                p[0] = static_cast<std::uint8_t>(block ? 20 : (b + g) / 2);
            } else {
                p[0] = static_cast<std::uint8_t>(b);
                p[1] = static_cast<std::uint8_t>(g);
                p[2] = static_cast<std::uint8_t>(r);
                if (info.pixelFormat == TI_BGRA32) p[3] = static_cast<std::uint8_t>(block ? 128 : 255);
            }
        }
    }
}

Image noise(int width, int height, int format, std::uint32_t seed) {
    Image image = create(width, height, format);
    if (image) paintNoise(image.get(), seed);
    return image;
}

Image smooth(int width, int height, int format) {
    Image image = create(width, height, format);
    if (image) paintSmooth(image.get());
    return image;
}

bool samePixels(TI_IMAGE a, TI_IMAGE b) {
    const TI_IMAGE_INFO ia = infoOf(a), ib = infoOf(b);
    if (ia.width != ib.width || ia.height != ib.height || ia.pixelFormat != ib.pixelFormat) return false;
    for (int y = 0; y < ia.height; ++y)
        if (std::memcmp(pixel(a, 0, y), pixel(b, 0, y), static_cast<std::size_t>(ia.width) * ia.pixelFormat) != 0)
            return false;
    return true;
}

Difference compare(TI_IMAGE a, TI_IMAGE b, int channels) {
    const TI_IMAGE_INFO ia = infoOf(a), ib = infoOf(b);
    Difference d;
    EXPECT_EQ(ia.width, ib.width);
    EXPECT_EQ(ia.height, ib.height);
    EXPECT_EQ(ia.pixelFormat, ib.pixelFormat);
    if (ia.width != ib.width || ia.height != ib.height || ia.pixelFormat != ib.pixelFormat) {
        d.max = 256;
        return d;
    }
    const int n = channels ? channels : ia.pixelFormat;
    double sum = 0;
    for (int y = 0; y < ia.height; ++y) {
        const std::uint8_t* pa = pixel(a, 0, y);
        const std::uint8_t* pb = pixel(b, 0, y);
        for (int x = 0; x < ia.width; ++x, pa += ia.pixelFormat, pb += ia.pixelFormat)
            for (int c = 0; c < n; ++c) {
                const int e = std::abs(pa[c] - pb[c]);
                sum += e;
                d.max = std::max(d.max, e);
            }
    }
    d.mean = sum / (static_cast<double>(ia.width) * ia.height * n);
    return d;
}

std::string run(const std::string& command) {
    std::string out;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) return out;
    char buffer[4096];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
    ::pclose(pipe);
    return out;
}

bool haveTool(const char* name) {
    return std::system((std::string("command -v ") + name + " >/dev/null 2>&1").c_str()) == 0;
}

std::string shellQuote(const std::string& s) {
    std::string q = "'";
    for (char c : s) {
        if (c == '\'') q += "'\\''";
        else q += c;
    }
    return q + "'";
}

MemoryStream::MemoryStream() : MemoryStream(std::vector<std::uint8_t>{}) {}

MemoryStream::MemoryStream(std::vector<std::uint8_t> bytes) : bytes_(std::move(bytes)) {
    stream_.kind = TI_STREAM_CALLBACK;
    stream_.size = sizeof(TI_STREAM);
    stream_.context = this;
    stream_.write = write;
    stream_.read = read;
    stream_.seek = seek;
    stream_.tell = tell;
    stream_.getSize = size;
}

int32_t TI_API MemoryStream::write(TI_STREAM* s, const void* data, int32_t count) {
    auto* self = static_cast<MemoryStream*>(s->context);
    if (count < 0) return 0;
    const std::size_t end = self->position_ + static_cast<std::size_t>(count);
    if (end > self->bytes_.size()) self->bytes_.resize(end);
    std::memcpy(self->bytes_.data() + self->position_, data, static_cast<std::size_t>(count));
    self->position_ = end;
    return count;
}

int32_t TI_API MemoryStream::read(TI_STREAM* s, void* buffer, int32_t count) {
    auto* self = static_cast<MemoryStream*>(s->context);
    if (count <= 0 || self->position_ >= self->bytes_.size()) return 0;
    const std::size_t n = std::min(static_cast<std::size_t>(count), self->bytes_.size() - self->position_);
    std::memcpy(buffer, self->bytes_.data() + self->position_, n);
    self->position_ += n;
    return static_cast<int32_t>(n);
}

int32_t TI_API MemoryStream::seek(TI_STREAM* s, int32_t offset, int32_t origin) {
    auto* self = static_cast<MemoryStream*>(s->context);
    long long base = origin == 1 ? static_cast<long long>(self->position_)
                     : origin == 2 ? static_cast<long long>(self->bytes_.size())
                                   : 0;
    self->position_ = static_cast<std::size_t>(std::max(0LL, base + offset));
    return 1;
}

int32_t TI_API MemoryStream::tell(TI_STREAM* s) { return static_cast<int32_t>(static_cast<MemoryStream*>(s->context)->position_); }
int32_t TI_API MemoryStream::size(TI_STREAM* s) { return static_cast<int32_t>(static_cast<MemoryStream*>(s->context)->bytes_.size()); }

}  // namespace timage_test
