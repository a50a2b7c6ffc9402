// timage_same_files FOLDER: writes a fixed set of files into FOLDER
// through the toolkit, from pictures computed here (no input files), and
// prints each file's name on a line of its own. Built for Linux and for
// Windows: the differential test (tools/toolkit_differential_test.cpp)
// runs both and compares what they wrote. FOLDER is ASCII.
#include <cstdint>
#include <cstdio>
#include <string>

#include "libs/timage/timage.h"

namespace {

struct Image {
    explicit Image(TI_IMAGE i) : image(i) {}
    ~Image() { ti_ReleaseImage(&image); }
    Image(const Image&) = delete;
    Image& operator=(const Image&) = delete;
    TI_IMAGE image;
};

TI_IMAGE_INFO infoOf(TI_IMAGE image) {
    TI_IMAGE_INFO info{};
    info.size = sizeof info;
    ti_GetInfo(image, &info);
    return info;
}

std::uint8_t* row(const TI_IMAGE_INFO& info, int y) { return info.data + static_cast<std::ptrdiff_t>(y) * info.stride; }

// Every byte from a fixed generator: what lossless codecs must keep whole.
void paintNoise(TI_IMAGE image, std::uint32_t seed) {
    const TI_IMAGE_INFO info = infoOf(image);
    std::uint32_t state = seed * 2654435761u + 12345u;
    for (int y = 0; y < info.height; ++y) {
        std::uint8_t* p = row(info, y);
        for (int i = 0; i < info.width * info.pixelFormat; ++i) {
            state = state * 1103515245u + 12345u;
            p[i] = static_cast<std::uint8_t>(state >> 23);
        }
    }
}

// Gradients, a block and a ring: what lossy and bilevel codecs are for.
void paintSmooth(TI_IMAGE image) {
    const TI_IMAGE_INFO info = infoOf(image);
    for (int y = 0; y < info.height; ++y) {
        std::uint8_t* p = row(info, y);
        for (int x = 0; x < info.width; ++x, p += info.pixelFormat) {
            const int dx = x - info.width / 2, dy = y - info.height / 2;
            const int d2 = dx * dx + dy * dy;
            const bool ring = d2 > info.height * info.height / 16 && d2 < info.height * info.height / 9;
            const bool block = x > info.width / 5 && x < info.width / 3 && y > info.height / 6 && y < info.height / 2;
            const int b = 255 * x / (info.width - 1), g = 255 * y / (info.height - 1);
            const int r = ring ? 10 : block ? 240 : 90;
            if (info.pixelFormat == TI_GRAY8) {
                p[0] = static_cast<std::uint8_t>(ring || block ? r : (b + g) / 2);
                continue;
            }
            p[0] = static_cast<std::uint8_t>(b);
            p[1] = static_cast<std::uint8_t>(g);
            p[2] = static_cast<std::uint8_t>(r);
            if (info.pixelFormat == TI_BGRA32) p[3] = static_cast<std::uint8_t>((x * 7 + y * 3) & 0xff);
        }
    }
}

TI_IMAGE make(int width, int height, int format, bool noise, std::uint32_t seed = 1) {
    TI_IMAGE image = ti_CreateImage2(width, height, format, 300, 200);
    if (!image) return nullptr;
    if (noise) {
        paintNoise(image, seed);
    } else {
        paintSmooth(image);
    }
    return image;
}

TI_PARAM compression(int value) {
    TI_PARAM p{};
    p.id = TI_PARAM_COMPRESSION;
    p.value.intValue = value;
    return p;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: timage_same_files FOLDER\n");
        return 2;
    }
    std::u16string folder;
    for (const char* c = argv[1]; *c; ++c) folder += static_cast<char16_t>(static_cast<unsigned char>(*c));
    folder += u'/';
    int failures = 0;
    const auto path = [&](const char* name) {
        std::u16string p = folder;
        for (const char* c = name; *c; ++c) p += static_cast<char16_t>(*c);
        return p;
    };
    const auto save = [&](const char* name, TI_IMAGE image, int compression, int quality) {
        const int rc = image ? ti_SaveImage2(path(name).c_str(), image, compression, quality, 0) : TI_ERR_MEMORY;
        if (rc != TI_OK) {
            std::fprintf(stderr, "%s: error %d\n", name, rc);
            ++failures;
            return;
        }
        std::printf("%s\n", name);
    };

    // Odd sizes: row padding, strips and chroma subsampling edges.
    const int w = 67, h = 45;
    Image colour(make(w, h, TI_BGR24, true, 1)), grey(make(w, h, TI_GRAY8, true, 2)),
        alpha(make(w, h, TI_BGRA32, true, 3)), picture(make(w, h, TI_BGR24, false)),
        greyPicture(make(w, h, TI_GRAY8, false));

    save("colour.bmp", colour.image, 1, -1);
    save("colour.png", colour.image, 1, -1);
    save("colour-none.tif", colour.image, TI_COMPRESSION_NONE, -1);
    save("colour-lzw.tif", colour.image, TI_COMPRESSION_LZW, -1);
    save("colour-deflate.tif", colour.image, TI_COMPRESSION_DEFLATE, -1);
    save("grey.bmp", grey.image, 1, -1);
    save("grey.png", grey.image, 1, -1);
    save("grey-lzw.tif", grey.image, TI_COMPRESSION_LZW, -1);
    save("grey-deflate.tif", grey.image, TI_COMPRESSION_DEFLATE, -1);
    save("alpha.png", alpha.image, 1, -1);
    save("alpha-lzw.tif", alpha.image, TI_COMPRESSION_LZW, -1);
    save("picture.gif", picture.image, 1, -1);
    save("picture-g4.tif", picture.image, TI_COMPRESSION_CCITT_G4, -1);
    save("grey-picture-g4.tif", greyPicture.image, TI_COMPRESSION_CCITT_G4, -1);
    // JPEG: the same quality on both sides must decode to the same pixels.
    save("picture-q90.jpg", picture.image, 1, 90);
    save("picture-q30.jpg", picture.image, 1, 30);
    save("grey-picture-q75.jpg", greyPicture.image, 1, 75);
    save("picture-jpeg.tif", picture.image, TI_COMPRESSION_JPEG, 80);

    // The toolkit's own arithmetic before the codecs: resampling and
    // rotation use doubles, which must round alike on both builds.
    Image bigger(ti_CreateImage(200, 131, TI_BGR24)), smaller(ti_CreateImage(29, 17, TI_BGR24)),
        turned(ti_CreateImage(w, h, TI_BGR24));
    if (ti_Resize(picture.image, bigger.image, TI_INTER_CUBIC) != TI_OK ||
        ti_Resize(colour.image, smaller.image, TI_INTER_AREA) != TI_OK ||
        ti_Rotate(picture.image, turned.image, 17.5, 0x808080) != TI_OK) {
        std::fprintf(stderr, "resampling failed: error %d\n", ti_Error());
        ++failures;
    }
    save("resized-cubic.png", bigger.image, 1, -1);
    save("resized-area.png", smaller.image, 1, -1);
    save("rotated.png", turned.image, 1, -1);

    // Pages of several compressions, appended one at a time.
    TI_MULTIPAGE pages = ti_MultiPageCreateHandle(path("pages.tif").c_str());
    const TI_PARAM lzw = compression(TI_COMPRESSION_LZW), g4 = compression(TI_COMPRESSION_CCITT_G4),
                   deflate = compression(TI_COMPRESSION_DEFLATE), none = compression(TI_COMPRESSION_NONE);
    const bool added = pages && ti_MultiPageAddImage(pages, colour.image, &lzw, 1) == TI_OK &&
                       ti_MultiPageAddImage(pages, greyPicture.image, &g4, 1) == TI_OK &&
                       ti_MultiPageAddImage(pages, grey.image, &deflate, 1) == TI_OK &&
                       ti_MultiPageAddImage(pages, alpha.image, &none, 1) == TI_OK;
    ti_MultiPageReleaseHandle(&pages);
    if (added && ti_Error() == TI_OK) {
        std::printf("pages.tif\n");
    } else {
        std::fprintf(stderr, "pages.tif: error %d\n", ti_Error());
        ++failures;
    }
    return failures == 0 ? 0 : 1;
}
