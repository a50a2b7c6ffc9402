#include "libs/timage/win32/wic_win.h"

#include <windows.h>
#include <wincodec.h>

#include <algorithm>
#include <cstring>
#include <unordered_map>

#include "libs/timage/core/limits.h"
#include "libs/timage/core/pixel_ops.h"
#include "libs/timage/win32/com_win.h"

namespace timage::win32 {
namespace {

// Rows handed to or taken from WIC at a time: a few MiB, not a second
// copy of the page.
constexpr std::size_t kBandBytes = std::size_t{4} << 20;

int codeOf(HRESULT hr, int fallback) {
    return hr == E_OUTOFMEMORY ? TI_ERR_MEMORY : fallback;
}

class Wic {
public:
    int open() {
        if (!apartment_.usable()) return TI_ERR_NOT_SUPPORTED;
        const HRESULT hr = CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                            IID_IWICImagingFactory, factory_.putVoid());
        return SUCCEEDED(hr) ? TI_OK : codeOf(hr, TI_ERR_NOT_SUPPORTED);
    }
    IWICImagingFactory* operator->() const { return factory_.get(); }

private:
    ComApartment apartment_;  // first in, last out
    ComPtr<IWICImagingFactory> factory_;
};

std::size_t bandRows(std::size_t rowBytes, int height) {
    return std::clamp<std::size_t>(kBandBytes / std::max<std::size_t>(rowBytes, 1), 1, static_cast<std::size_t>(height));
}

std::size_t stride(int width, int bitsPerPixel) {
    return (static_cast<std::size_t>(width) * static_cast<std::size_t>(bitsPerPixel) + 31) / 32 * 4;
}

// ---- Encoding ----------------------------------------------------------------

enum class Layout { Gray8, Indexed8, Bgr24, Bgra32, BlackWhite };

struct LayoutInfo {
    Layout layout;
    const GUID* guid;
    int bits;
};

const LayoutInfo kLayouts[] = {
    {Layout::Gray8, &GUID_WICPixelFormat8bppGray, 8},
    {Layout::Indexed8, &GUID_WICPixelFormat8bppIndexed, 8},
    {Layout::Bgr24, &GUID_WICPixelFormat24bppBGR, 24},
    {Layout::Bgra32, &GUID_WICPixelFormat32bppBGRA, 32},
    {Layout::BlackWhite, &GUID_WICPixelFormatBlackWhite, 1},
};

const LayoutInfo& infoOf(Layout layout) {
    for (const LayoutInfo& l : kLayouts)
        if (l.layout == layout) return l;
    return kLayouts[0];
}

// Nearest palette entry of each colour, remembered: scanned pages repeat
// few colours.
class Quantiser {
public:
    explicit Quantiser(std::vector<WICColor> palette) : palette_(std::move(palette)) {}
    std::uint8_t index(unsigned b, unsigned g, unsigned r) {
        const std::uint32_t key = (r << 16) | (g << 8) | b;
        if (auto it = cache_.find(key); it != cache_.end()) return it->second;
        std::size_t best = 0;
        long bestDistance = -1;
        for (std::size_t i = 0; i < palette_.size(); ++i) {
            const WICColor c = palette_[i];
            const long dr = static_cast<long>((c >> 16) & 255) - static_cast<long>(r);
            const long dg = static_cast<long>((c >> 8) & 255) - static_cast<long>(g);
            const long db = static_cast<long>(c & 255) - static_cast<long>(b);
            const long distance = dr * dr + dg * dg + db * db;
            if (bestDistance < 0 || distance < bestDistance) {
                bestDistance = distance;
                best = i;
            }
        }
        const auto chosen = static_cast<std::uint8_t>(best);
        cache_.emplace(key, chosen);
        return chosen;
    }

private:
    std::vector<WICColor> palette_;
    std::unordered_map<std::uint32_t, std::uint8_t> cache_;
};

void fillRow(const ti_image_& image, int y, Layout layout, Quantiser* quantiser, std::uint8_t* out) {
    const std::uint8_t* in = image.row(y);
    const int w = image.width;
    const int f = image.format;
    auto grey = [&](const std::uint8_t* p) { return f == TI_GRAY8 ? p[0] : luminance(p[0], p[1], p[2]); };
    switch (layout) {
    case Layout::Gray8:
        for (int x = 0; x < w; ++x, in += f) out[x] = grey(in);
        break;
    case Layout::Indexed8:
        for (int x = 0; x < w; ++x, in += f) out[x] = quantiser ? quantiser->index(in[0], in[1], in[2]) : grey(in);
        break;
    case Layout::Bgr24:
    case Layout::Bgra32: {
        const int n = layout == Layout::Bgr24 ? 3 : 4;
        for (int x = 0; x < w; ++x, in += f, out += n) {
            out[0] = in[0];
            out[1] = f == TI_GRAY8 ? in[0] : in[1];
            out[2] = f == TI_GRAY8 ? in[0] : in[2];
            if (n == 4) out[3] = f == TI_BGRA32 ? in[3] : 255;
        }
        break;
    }
    case Layout::BlackWhite:
        // WIC's black-and-white format: a set bit is white.
        std::memset(out, 0, (static_cast<std::size_t>(w) + 7) / 8);
        for (int x = 0; x < w; ++x, in += f)
            if (grey(in) >= 128) out[x >> 3] = static_cast<std::uint8_t>(out[x >> 3] | (0x80 >> (x & 7)));
        break;
    }
}

bool writeOption(IPropertyBag2* bag, const wchar_t* name, VARIANT& value) {
    PROPBAG2 option{};
    option.pstrName = const_cast<LPOLESTR>(name);
    return SUCCEEDED(bag->Write(1, &option, &value));
}

int readAll(IStream* stream, Bytes& out) {
    STATSTG stat{};
    if (FAILED(stream->Stat(&stat, STATFLAG_NONAME)) || stat.cbSize.QuadPart > kMaxEncodedBytes) return TI_ERR_MEMORY;
    out.resize(static_cast<std::size_t>(stat.cbSize.QuadPart));
    LARGE_INTEGER start{};
    if (FAILED(stream->Seek(start, STREAM_SEEK_SET, nullptr))) return TI_ERR_IO;
    std::size_t have = 0;
    while (have < out.size()) {
        ULONG n = 0;
        const ULONG want = static_cast<ULONG>(std::min<std::size_t>(out.size() - have, 1u << 30));
        if (FAILED(stream->Read(out.data() + have, want, &n)) || n == 0) return TI_ERR_IO;
        have += n;
    }
    return TI_OK;
}

// WIC writes 96 dpi where the caller gives none; a file of this toolkit
// states no resolution it was not given.
void clearInventedResolution(int format, Bytes& bytes) {
    if (format == TI_FORMAT_BMP && bytes.size() >= 54 && bytes[14] >= 40) {
        std::fill(bytes.begin() + 38, bytes.begin() + 46, std::uint8_t{0});
    } else if (format == TI_FORMAT_JPEG && bytes.size() >= 18 && bytes[2] == 0xff && bytes[3] == 0xe0 &&
               std::memcmp(bytes.data() + 6, "JFIF\0", 5) == 0) {
        const std::uint8_t aspect[] = {0, 0, 1, 0, 1};  // no unit, 1:1
        std::memcpy(bytes.data() + 13, aspect, sizeof aspect);
    }
}

const GUID* containerOf(int format) {
    switch (format) {
    case TI_FORMAT_BMP: return &GUID_ContainerFormatBmp;
    case TI_FORMAT_PNG: return &GUID_ContainerFormatPng;
    case TI_FORMAT_GIF: return &GUID_ContainerFormatGif;
    case TI_FORMAT_JPEG: return &GUID_ContainerFormatJpeg;
    case TI_FORMAT_TIFF: return &GUID_ContainerFormatTiff;
    default: return nullptr;
    }
}

Layout layoutFor(const ti_image_& image, int format, int compression) {
    const bool grey = image.format == TI_GRAY8;
    switch (format) {
    case TI_FORMAT_BMP: return grey ? Layout::Indexed8 : Layout::Bgr24;
    case TI_FORMAT_GIF: return Layout::Indexed8;
    case TI_FORMAT_JPEG: return grey ? Layout::Gray8 : Layout::Bgr24;
    case TI_FORMAT_TIFF:
        if (compression == TI_COMPRESSION_CCITT_G4) return Layout::BlackWhite;
        [[fallthrough]];
    default: return grey ? Layout::Gray8 : image.format == TI_BGRA32 ? Layout::Bgra32 : Layout::Bgr24;
    }
}

// The palette of an indexed frame: greys for a grey picture, else the
// picture's own colours reduced to 256.
int makePalette(Wic& wic, const ti_image_& image, ComPtr<IWICPalette>& palette, std::vector<WICColor>& colours) {
    if (FAILED(wic->CreatePalette(palette.put()))) return TI_ERR_MEMORY;
    if (image.format == TI_GRAY8) {
        colours.resize(256);
        for (std::uint32_t i = 0; i < 256; ++i) colours[i] = 0xff000000u | (i << 16) | (i << 8) | i;
        return SUCCEEDED(palette->InitializeCustom(colours.data(), 256)) ? TI_OK : TI_ERR_FORMAT;
    }
    // WIC chooses the colours from a 24-bit copy of the picture.
    const std::size_t rowBytes = stride(image.width, 24);
    Bytes copy(rowBytes * static_cast<std::size_t>(image.height));
    for (int y = 0; y < image.height; ++y)
        fillRow(image, y, Layout::Bgr24, nullptr, copy.data() + rowBytes * static_cast<std::size_t>(y));
    ComPtr<IWICBitmap> bitmap;
    HRESULT hr = wic->CreateBitmapFromMemory(static_cast<UINT>(image.width), static_cast<UINT>(image.height),
                                             GUID_WICPixelFormat24bppBGR, static_cast<UINT>(rowBytes),
                                             static_cast<UINT>(copy.size()), copy.data(), bitmap.put());
    if (SUCCEEDED(hr)) hr = palette->InitializeFromBitmap(bitmap.get(), 256, FALSE);
    if (FAILED(hr) && FAILED(palette->InitializePredefined(WICBitmapPaletteTypeFixedHalftone256, FALSE)))
        return TI_ERR_FORMAT;
    UINT count = 0;
    if (FAILED(palette->GetColorCount(&count)) || count == 0 || count > 256) return TI_ERR_FORMAT;
    colours.resize(count);
    return SUCCEEDED(palette->GetColors(count, colours.data(), &count)) ? TI_OK : TI_ERR_FORMAT;
}

}  // namespace

int wicDecode(const Bytes& bytes, int frameIndex, int pixelFormat, ImagePtr& out) {
    out.reset();
    if (bytes.size() > 0xffffffffu || frameIndex < 0) return TI_ERR_ARGUMENT;
    Wic wic;
    if (const int rc = wic.open(); rc != TI_OK) return rc;
    ComPtr<IWICStream> stream;
    if (FAILED(wic->CreateStream(stream.put())) ||
        FAILED(stream->InitializeFromMemory(const_cast<BYTE*>(bytes.data()), static_cast<DWORD>(bytes.size()))))
        return TI_ERR_MEMORY;
    ComPtr<IWICBitmapDecoder> decoder;
    if (FAILED(wic->CreateDecoderFromStream(stream.get(), nullptr, WICDecodeMetadataCacheOnDemand, decoder.put())))
        return TI_ERR_FORMAT;
    UINT frames = 0;
    if (FAILED(decoder->GetFrameCount(&frames))) return TI_ERR_FORMAT;
    if (static_cast<UINT>(frameIndex) >= frames) return TI_ERR_ARGUMENT;
    ComPtr<IWICBitmapFrameDecode> frame;
    if (FAILED(decoder->GetFrame(static_cast<UINT>(frameIndex), frame.put()))) return TI_ERR_FORMAT;
    UINT w = 0, h = 0;
    if (FAILED(frame->GetSize(&w, &h))) return TI_ERR_FORMAT;
    if (!withinLimits(w, h, 4)) return TI_ERR_MEMORY;
    // Every layout WIC reads (palettes, 1 to 16 bits, CMYK, premultiplied
    // alpha) arrives as straight BGRA and is reduced from there.
    ComPtr<IWICFormatConverter> converter;
    if (FAILED(wic->CreateFormatConverter(converter.put()))) return TI_ERR_MEMORY;
    if (FAILED(converter->Initialize(frame.get(), GUID_WICPixelFormat32bppBGRA, WICBitmapDitherTypeNone, nullptr, 0.0,
                                     WICBitmapPaletteTypeCustom)))
        return TI_ERR_FORMAT;
    ImagePtr image;
    if (const int rc = createImage(static_cast<int>(w), static_cast<int>(h), pixelFormat, image); rc != TI_OK) return rc;
    const std::size_t rowBytes = std::size_t{w} * 4;
    const std::size_t rows = bandRows(rowBytes, image->height);
    Bytes band(rowBytes * rows);
    for (int y0 = 0; y0 < image->height; y0 += static_cast<int>(rows)) {
        const int n = std::min(static_cast<int>(rows), image->height - y0);
        const WICRect rect{0, y0, static_cast<INT>(w), n};
        const HRESULT hr = converter->CopyPixels(&rect, static_cast<UINT>(rowBytes),
                                                 static_cast<UINT>(rowBytes * static_cast<std::size_t>(n)), band.data());
        if (FAILED(hr)) return codeOf(hr, TI_ERR_FORMAT);
        for (int r = 0; r < n; ++r) {
            const std::uint8_t* in = band.data() + rowBytes * static_cast<std::size_t>(r);
            std::uint8_t* o = image->row(y0 + r);
            for (UINT x = 0; x < w; ++x, in += 4, o += pixelFormat) {
                if (pixelFormat == TI_GRAY8) {
                    o[0] = luminance(in[0], in[1], in[2]);
                } else {
                    std::memcpy(o, in, static_cast<std::size_t>(pixelFormat));
                }
            }
        }
    }
    out = std::move(image);
    return TI_OK;
}

int wicEncode(const ti_image_& image, int format, int compression, int quality, Bytes& out) {
    out.clear();
    const GUID* container = containerOf(format);
    if (!container) return TI_ERR_ARGUMENT;
    Wic wic;
    if (const int rc = wic.open(); rc != TI_OK) return rc;
    ComPtr<IStream> stream;
    if (FAILED(CreateStreamOnHGlobal(nullptr, TRUE, stream.put()))) return TI_ERR_MEMORY;
    ComPtr<IWICBitmapEncoder> encoder;
    if (FAILED(wic->CreateEncoder(*container, nullptr, encoder.put()))) return TI_ERR_NOT_SUPPORTED;
    if (FAILED(encoder->Initialize(stream.get(), WICBitmapEncoderNoCache))) return TI_ERR_FORMAT;
    ComPtr<IWICBitmapFrameEncode> frame;
    ComPtr<IPropertyBag2> options;
    if (FAILED(encoder->CreateNewFrame(frame.put(), options.put()))) return TI_ERR_FORMAT;

    // An option this system's WIC refuses is work it cannot do here.
    if (format == TI_FORMAT_JPEG && options) {
        VARIANT value;
        VariantInit(&value);
        value.vt = VT_R4;
        value.fltVal = static_cast<float>(std::clamp(quality, 1, 100)) / 100.0f;
        if (!writeOption(options.get(), L"ImageQuality", value)) return TI_ERR_NOT_SUPPORTED;
    }
    if (format == TI_FORMAT_TIFF) {
        BYTE method = 0;
        switch (compression) {
        case TI_COMPRESSION_NONE: method = WICTiffCompressionNone; break;
        case TI_COMPRESSION_CCITT_G4: method = WICTiffCompressionCCITT4; break;
        case TI_COMPRESSION_LZW: method = WICTiffCompressionLZW; break;
        case TI_COMPRESSION_DEFLATE: method = WICTiffCompressionZIP; break;
        default: return TI_ERR_ARGUMENT;
        }
        VARIANT value;
        VariantInit(&value);
        value.vt = VT_UI1;
        value.bVal = method;
        if (!options || !writeOption(options.get(), L"TiffCompressionMethod", value)) return TI_ERR_NOT_SUPPORTED;
    }
    if (HRESULT hr = frame->Initialize(options.get()); FAILED(hr)) return codeOf(hr, TI_ERR_NOT_SUPPORTED);
    if (FAILED(frame->SetSize(static_cast<UINT>(image.width), static_cast<UINT>(image.height)))) return TI_ERR_FORMAT;
    if (format != TI_FORMAT_GIF && image.xDpi > 0 && image.yDpi > 0 &&
        FAILED(frame->SetResolution(image.xDpi, image.yDpi)))
        return TI_ERR_FORMAT;

    Layout layout = layoutFor(image, format, compression);
    WICPixelFormatGUID chosen = *infoOf(layout).guid;
    if (FAILED(frame->SetPixelFormat(&chosen))) return TI_ERR_NOT_SUPPORTED;
    if (chosen != *infoOf(layout).guid) {
        // The encoder asked for another layout: take it if it is one of
        // ours and loses nothing that was asked for.
        const LayoutInfo* other = nullptr;
        for (const LayoutInfo& l : kLayouts)
            if (*l.guid == chosen) other = &l;
        if (!other || layout == Layout::BlackWhite || other->layout == Layout::BlackWhite ||
            other->layout == Layout::Indexed8)
            return TI_ERR_NOT_SUPPORTED;
        layout = other->layout;
    }

    std::unique_ptr<Quantiser> quantiser;
    if (layout == Layout::Indexed8) {
        ComPtr<IWICPalette> palette;
        std::vector<WICColor> colours;
        if (const int rc = makePalette(wic, image, palette, colours); rc != TI_OK) return rc;
        if (FAILED(frame->SetPalette(palette.get()))) return TI_ERR_FORMAT;
        if (image.format != TI_GRAY8) quantiser = std::make_unique<Quantiser>(std::move(colours));
    }

    const std::size_t rowBytes = stride(image.width, infoOf(layout).bits);
    const std::size_t rows = bandRows(rowBytes, image.height);
    Bytes band(rowBytes * rows);
    for (int y0 = 0; y0 < image.height; y0 += static_cast<int>(rows)) {
        const int n = std::min(static_cast<int>(rows), image.height - y0);
        for (int r = 0; r < n; ++r)
            fillRow(image, y0 + r, layout, quantiser.get(), band.data() + rowBytes * static_cast<std::size_t>(r));
        const HRESULT hr = frame->WritePixels(static_cast<UINT>(n), static_cast<UINT>(rowBytes),
                                              static_cast<UINT>(rowBytes * static_cast<std::size_t>(n)), band.data());
        if (FAILED(hr)) return codeOf(hr, TI_ERR_FORMAT);
    }
    if (HRESULT hr = frame->Commit(); FAILED(hr)) return codeOf(hr, TI_ERR_FORMAT);
    if (HRESULT hr = encoder->Commit(); FAILED(hr)) return codeOf(hr, TI_ERR_FORMAT);
    if (const int rc = readAll(stream.get(), out); rc != TI_OK) {
        out.clear();
        return rc;
    }
    if (image.xDpi <= 0 || image.yDpi <= 0) clearInventedResolution(format, out);
    return TI_OK;
}

}  // namespace timage::win32
