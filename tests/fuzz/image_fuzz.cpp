// libFuzzer target for the image toolkit's loaders: any bytes go through
// ti_GetImageInfoFromStream and ti_LoadFromMem (and, for several pages,
// ti_LoadFromStream), then every decoded picture is fitted the way the
// viewer fits a page and written back losslessly. Beyond the sanitizers it
// checks that the reported layout covers the pixels, that the header facts
// agree with the decoded picture, and that a PNG round trip is exact.
// Memory stays bounded because the toolkit refuses pictures beyond its
// limits before it allocates them.
#include "fuzz_check.h"
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "libs/timage/timage.h"

namespace {

struct Stream {
    TI_STREAM descriptor{};
    std::vector<std::uint8_t> bytes;
    std::size_t position = 0;

    Stream() {
        descriptor.kind = TI_STREAM_CALLBACK;
        descriptor.size = sizeof(TI_STREAM);
        descriptor.context = this;
        descriptor.write = [](TI_STREAM* s, const void* data, int32_t n) -> int32_t {
            auto* self = static_cast<Stream*>(s->context);
            const auto* p = static_cast<const std::uint8_t*>(data);
            self->bytes.insert(self->bytes.end(), p, p + n);
            return n;
        };
        descriptor.read = [](TI_STREAM* s, void* buffer, int32_t n) -> int32_t {
            auto* self = static_cast<Stream*>(s->context);
            const std::size_t left = self->bytes.size() - self->position;
            const std::size_t count = left < static_cast<std::size_t>(n) ? left : static_cast<std::size_t>(n);
            std::memcpy(buffer, self->bytes.data() + self->position, count);
            self->position += count;
            return static_cast<int32_t>(count);
        };
    }
};

struct Owned {
    TI_IMAGE image;
    explicit Owned(TI_IMAGE i) : image(i) {}
    ~Owned() { ti_ReleaseImage(&image); }
    Owned(const Owned&) = delete;
    Owned& operator=(const Owned&) = delete;
};

TI_IMAGE_INFO layout(TI_IMAGE image) {
    TI_IMAGE_INFO info{};
    info.size = sizeof info;
    CHECK(ti_GetInfo(image, &info) == TI_OK);
    CHECK(info.width > 0 && info.height > 0);
    CHECK(info.pixelFormat == TI_GRAY8 || info.pixelFormat == TI_BGR24 || info.pixelFormat == TI_BGRA32);
    CHECK(info.stride >= info.width * info.pixelFormat);
    CHECK(info.data != nullptr);
    return info;
}

void exercise(TI_IMAGE image, const TI_FILE_INFO* header) {
    // The viewer's fitting, before the pixels are needed (a JPEG decodes
    // reduced) and after.
    TI_IMAGE_INFO before{};
    before.size = TI_IMAGE_INFO_LAYOUT_SIZE;
    CHECK(ti_GetInfo(image, &before) == TI_OK);
    if (header && (header->format == TI_FORMAT_JPEG || header->format == TI_FORMAT_PNG ||
                   header->format == TI_FORMAT_TIFF)) {
        CHECK(before.width == header->width && before.height == header->height);
    }
    const int fw = before.width > 64 ? 64 : before.width, fh = before.height > 48 ? 48 : before.height;
    Owned fitted(ti_CreateImage(fw, fh, before.pixelFormat));
    CHECK(fitted.image);
    ti_Resize(image, fitted.image, TI_INTER_LINEAR);
    // A JPEG's data is only read when its pixels are needed: damage may
    // show here, and only as a refusal.
    TI_IMAGE_INFO probe{};
    probe.size = sizeof probe;
    if (ti_GetInfo(image, &probe) != TI_OK) {
        CHECK(ti_Error() == TI_ERR_FORMAT || ti_Error() == TI_ERR_MEMORY);
        return;
    }
    const TI_IMAGE_INFO info = layout(image);
    CHECK(info.width == before.width && info.height == before.height && info.pixelFormat == before.pixelFormat);
    // Touch the first and last byte of the rows the layout promises.
    volatile std::uint8_t sink = info.data[0];
    sink = info.data[static_cast<std::size_t>(info.stride) * (info.height - 1) + info.width * info.pixelFormat - 1];
    (void)sink;
    CHECK(ti_Resize(image, fitted.image, TI_INTER_AREA) == TI_OK);

    if (static_cast<long long>(info.width) * info.height > 65536) return;
    Stream png;
    CHECK(ti_SaveToStream(&png.descriptor, image, TI_FORMAT_PNG, nullptr, 0) == TI_OK);
    Owned back(ti_LoadFromMem(png.bytes.data(), static_cast<int>(png.bytes.size())));
    CHECK(back.image);
    const TI_IMAGE_INFO again = layout(back.image);
    CHECK(again.width == info.width && again.height == info.height && again.pixelFormat == info.pixelFormat);
    for (int y = 0; y < info.height; ++y)
        CHECK(std::memcmp(info.data + static_cast<std::size_t>(info.stride) * y,
                          again.data + static_cast<std::size_t>(again.stride) * y,
                          static_cast<std::size_t>(info.width) * info.pixelFormat) == 0);
}

}  // namespace

// Mutations start now and then from a small picture freshly encoded by
// the toolkit itself, in a random format and layout, so every decoder is
// reached without binary seed files.
extern "C" std::size_t LLVMFuzzerMutate(std::uint8_t* data, std::size_t size, std::size_t maxSize);

extern "C" std::size_t LLVMFuzzerCustomMutator(std::uint8_t* data, std::size_t size, std::size_t maxSize,
                                               unsigned int seed) {
    if (seed % 8 != 0) return LLVMFuzzerMutate(data, size, maxSize);
    std::uint32_t state = seed;
    auto next = [&state](std::uint32_t n) {
        state = state * 1103515245u + 12345u;
        return (state >> 16) % n;
    };
    const int formats[] = {TI_FORMAT_BMP, TI_FORMAT_JPEG, TI_FORMAT_PNG, TI_FORMAT_GIF, TI_FORMAT_TIFF};
    const int pixelFormats[] = {TI_GRAY8, TI_BGR24, TI_BGRA32};
    const int compressions[] = {1, 4, 5, 7, 8};
    Owned picture(ti_CreateImage(1 + static_cast<int>(next(40)), 1 + static_cast<int>(next(40)),
                                 pixelFormats[next(3)]));
    if (!picture.image) return LLVMFuzzerMutate(data, size, maxSize);
    TI_IMAGE_INFO info = layout(picture.image);
    for (int y = 0; y < info.height; ++y)
        for (int x = 0; x < info.width * info.pixelFormat; ++x)
            info.data[static_cast<std::size_t>(info.stride) * y + x] = static_cast<std::uint8_t>(next(256));
    ti_SetDpi(picture.image, static_cast<int>(next(600)), static_cast<int>(next(600)));
    TI_PARAM param{};
    param.id = TI_PARAM_COMPRESSION;
    param.value.intValue = compressions[next(5)];
    Stream encoded;
    if (ti_SaveToStream(&encoded.descriptor, picture.image, formats[next(5)], &param, 1) != TI_OK ||
        encoded.bytes.size() > maxSize)
        return LLVMFuzzerMutate(data, size, maxSize);
    std::memcpy(data, encoded.bytes.data(), encoded.bytes.size());
    return next(2) ? encoded.bytes.size() : LLVMFuzzerMutate(data, encoded.bytes.size(), maxSize);
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0 || size > INT_MAX) return 0;
    Stream input;
    input.bytes.assign(data, data + size);
    TI_FILE_INFO header{};
    header.size = sizeof header;
    const bool described = ti_GetImageInfoFromStream(&input.descriptor, &header) == TI_OK;
    if (described) CHECK(header.width > 0 && header.height > 0 && header.pageCount >= 1);

    Owned image(ti_LoadFromMem(data, static_cast<int>(size)));
    if (image.image) exercise(image.image, described ? &header : nullptr);

    if (described && header.pageCount > 1) {
        input.position = 0;
        Owned second(ti_LoadFromStream(&input.descriptor, 1));
        if (second.image) exercise(second.image, nullptr);
    }
    return 0;
}
