#include "platform/win32/canvas_gdi_win.h"

// GDI+ declares its C++ classes with COM types that a lean windows.h
// leaves out.
#include <objidl.h>
#include <gdiplus.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/system.h"
#include "platform/win32/gdiplus_session_win.h"
#include "platform/win32/wide.h"

namespace platform::win32 {

namespace {

CanvasRect intersect(const CanvasRect& a, const CanvasRect& b) {
    CanvasRect r{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
                 std::min(a.bottom, b.bottom)};
    if (r.empty()) return {};
    return r;
}

RECT toRect(const CanvasRect& r) { return {r.left, r.top, r.right, r.bottom}; }

COLORREF toColorRef(CanvasColour c) { return RGB(c.red, c.green, c.blue); }

// A BITMAPINFO with room for the grey palette of one-byte pixels.
struct DibHeader {
    BITMAPINFOHEADER header;
    RGBQUAD palette[256];
};

int dibStride(int width, int bitCount) { return ((width * bitCount + 31) / 32) * 4; }

// Faces tried, in order, when the one asked for is missing: all have the
// Latin and punctuation glyphs the caption needs.
constexpr const wchar_t* kFallbackFaces[] = {L"Arial", L"Tahoma", L"Microsoft Sans Serif", L"Segoe UI",
                                             L"Liberation Sans", L"DejaVu Sans"};

int CALLBACK noteFace(const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM found) {
    *reinterpret_cast<bool*>(found) = true;
    return 0;  // one is enough
}

bool faceInstalled(HDC dc, std::wstring_view face) {
    if (face.empty() || face.size() >= LF_FACESIZE) return false;
    LOGFONTW query{};
    query.lfCharSet = DEFAULT_CHARSET;
    std::copy(face.begin(), face.end(), query.lfFaceName);
    bool found = false;
    EnumFontFamiliesExW(dc, &query, noteFace, reinterpret_cast<LPARAM>(&found), 0);
    return found;
}

struct GdiplusImageDeleter {
    void operator()(Gdiplus::GpBitmap* image) const {
        Gdiplus::DllExports::GdipDisposeImage(reinterpret_cast<Gdiplus::GpImage*>(image));
    }
};

bool pngEncoder(CLSID& clsid) {
    UINT count = 0;
    UINT bytes = 0;
    if (Gdiplus::DllExports::GdipGetImageEncodersSize(&count, &bytes) != Gdiplus::Ok || count == 0) return false;
    std::vector<std::uint64_t> storage((bytes + sizeof(std::uint64_t) - 1) / sizeof(std::uint64_t));
    auto* codecs = reinterpret_cast<Gdiplus::ImageCodecInfo*>(storage.data());
    if (Gdiplus::DllExports::GdipGetImageEncoders(count, bytes, codecs) != Gdiplus::Ok) return false;
    for (UINT i = 0; i < count; ++i) {
        if (codecs[i].MimeType && std::wstring_view(codecs[i].MimeType) == L"image/png") {
            clsid = codecs[i].Clsid;
            return true;
        }
    }
    return false;
}

}  // namespace

std::unique_ptr<GdiCanvas> GdiCanvas::create(int width, int height) {
    if (width <= 0 || height <= 0) return nullptr;
    auto canvas = std::make_unique<GdiCanvas>(Token{});
    canvas->dc_.reset(CreateCompatibleDC(nullptr));
    if (!canvas->dc_) return nullptr;
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // top-down: row y is y rows from the start
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    canvas->bitmap_.reset(CreateDIBSection(canvas->dc_.get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!canvas->bitmap_ || !bits) return nullptr;
    canvas->previousBitmap_ = SelectObject(canvas->dc_.get(), canvas->bitmap_.get());
    if (!canvas->previousBitmap_ || canvas->previousBitmap_ == HGDI_ERROR) {
        canvas->previousBitmap_ = nullptr;
        return nullptr;
    }
    canvas->bits_ = static_cast<std::uint8_t*>(bits);
    canvas->width_ = width;
    canvas->height_ = height;
    canvas->stride_ = width * 4;
    HDC dc = canvas->dc_.get();
    // Whatever gets stretched on this surface is halftoned, as the window's
    // own paint would.
    SetStretchBltMode(dc, HALFTONE);
    SetBrushOrgEx(dc, 0, 0, nullptr);
    SetBkMode(dc, TRANSPARENT);
    SetTextAlign(dc, TA_LEFT | TA_TOP | TA_NOUPDATECP);
    // A new surface starts white, as a window's memory bitmap does after
    // its first erase (and as the Linux canvas does).
    canvas->fillRect({0, 0, width, height}, {255, 255, 255, 255});
    return canvas;
}

GdiCanvas::~GdiCanvas() {
    if (previousBitmap_) SelectObject(dc_.get(), previousBitmap_);
}

void GdiCanvas::fillRect(const CanvasRect& rect, CanvasColour colour) {
    if (rect.empty()) return;
    ScopedBrush brush(CreateSolidBrush(toColorRef(colour)));
    if (!brush) return;
    const RECT r = toRect(rect);
    FillRect(dc_.get(), &r, brush.get());
}

void GdiCanvas::blit(int x, int y, const CanvasPixels& pixels, int sx, int sy, int width, int height) {
    if (!pixels.data || pixels.width <= 0 || pixels.height <= 0) return;
    const int bpp = pixels.bytesPerPixel;
    if (bpp != 1 && bpp != 3 && bpp != 4) return;
    if (pixels.stride < pixels.width * bpp) return;
    // Clip the block to the picture, then the target to the surface, so
    // GDI is only ever handed rows that exist.
    if (sx < 0) { width += sx; x -= sx; sx = 0; }
    if (sy < 0) { height += sy; y -= sy; sy = 0; }
    width = std::min(width, pixels.width - sx);
    height = std::min(height, pixels.height - sy);
    const CanvasRect target = intersect({x, y, x + width, y + height}, clipBox());
    if (target.empty()) return;
    sx += target.left - x;
    sy += target.top - y;
    const int rows = target.height();

    // The rows of the block, described as a DIB of exactly those rows: no
    // start-scan arithmetic, which GDI reads differently for top-down and
    // bottom-up bitmaps.
    const std::uint8_t* first = nullptr;
    if (pixels.topDown) {
        first = pixels.data + static_cast<std::ptrdiff_t>(sy) * pixels.stride;
    } else {
        const int lowest = pixels.height - sy - rows;  // memory row of the block's bottom line
        first = pixels.data + static_cast<std::ptrdiff_t>(lowest) * pixels.stride;
    }
    // GDI wants rows DWORD-aligned, their length given as a pixel count;
    // the toolkit's rows are, but anything else goes through a copy.
    int rowPixels = pixels.width;
    std::vector<std::uint8_t> copy;
    if (dibStride(pixels.width, bpp * 8) != pixels.stride) {
        if (pixels.stride % 4 == 0 && pixels.stride % bpp == 0) {
            rowPixels = pixels.stride / bpp;  // wider rows; the extra pixels are never copied
        } else {
            const int stride = dibStride(pixels.width, bpp * 8);
            copy.resize(static_cast<std::size_t>(stride) * rows);
            for (int row = 0; row < rows; ++row)
                std::memcpy(copy.data() + static_cast<std::ptrdiff_t>(row) * stride,
                            first + static_cast<std::ptrdiff_t>(row) * pixels.stride,
                            static_cast<std::size_t>(pixels.width) * bpp);
            first = copy.data();
        }
    }

    DibHeader dib{};
    dib.header.biSize = sizeof(BITMAPINFOHEADER);
    dib.header.biWidth = rowPixels;
    dib.header.biHeight = pixels.topDown ? -rows : rows;
    dib.header.biPlanes = 1;
    dib.header.biBitCount = static_cast<WORD>(bpp * 8);
    dib.header.biCompression = BI_RGB;
    if (bpp == 1) {
        dib.header.biClrUsed = 256;
        for (int i = 0; i < 256; ++i) {
            const auto level = static_cast<BYTE>(i);
            dib.palette[i] = {level, level, level, 0};
        }
    }
    SetDIBitsToDevice(dc_.get(), target.left, target.top, static_cast<DWORD>(target.width()),
                      static_cast<DWORD>(rows), sx, 0, 0, static_cast<UINT>(rows), first,
                      reinterpret_cast<const BITMAPINFO*>(&dib), DIB_RGB_COLORS);
}

std::wstring GdiCanvas::fontFaceFor(HDC dc, std::wstring_view wanted) {
    if (faceInstalled(dc, wanted)) return std::wstring(wanted);
    for (const wchar_t* face : kFallbackFaces)
        if (faceInstalled(dc, face)) return face;
    LOGFONTW gui{};
    if (GetObjectW(GetStockObject(DEFAULT_GUI_FONT), sizeof gui, &gui) == sizeof gui) return gui.lfFaceName;
    return {};
}

CanvasRect GdiCanvas::drawText(int x, int y, std::u16string_view text, const CanvasTextStyle& style,
                               const CanvasRect& bounds) {
    if (text.empty()) return {};
    const CanvasRect clip = intersect(bounds, clipBox());
    HDC dc = dc_.get();
    const std::wstring wanted = toWide(style.font);
    if (wanted != wantedFace_ || resolvedFace_.empty()) {
        wantedFace_ = wanted;
        resolvedFace_ = fontFaceFor(dc, wanted);
    }
    // Negative height: the character height, which is what the Linux
    // canvas's font size means too.
    ScopedFont font(CreateFontW(-style.pixelHeight, 0, 0, 0, style.bold ? FW_BOLD : FW_NORMAL, FALSE, FALSE, FALSE,
                                DEFAULT_CHARSET, OUT_TT_PRECIS, CLIP_DEFAULT_PRECIS, ANTIALIASED_QUALITY,
                                DEFAULT_PITCH | FF_SWISS, resolvedFace_.c_str()));
    if (!font) return {};
    const ScopedSelection selectFont(dc, font.get());
    const std::wstring wideText = toWide(text);
    const int length = static_cast<int>(wideText.size());
    SIZE extent{};
    if (!GetTextExtentPoint32W(dc, wideText.c_str(), length, &extent)) return {};
    const CanvasRect box{x, y, x + extent.cx, y + extent.cy};
    const CanvasRect shown = intersect(box, clip);
    if (shown.empty()) return {};

    const CanvasColour bg = style.background;
    if (bg.alpha == 255) {
        fillRect(shown, bg);
    } else if (bg.alpha > 0) {
        // A source of the box's size in the box's colour, blended with a
        // constant alpha: the same "over" as the Linux canvas's.
        ScopedMemoryDc sourceDc(CreateCompatibleDC(dc));
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
        info.bmiHeader.biWidth = shown.width();
        info.bmiHeader.biHeight = -shown.height();
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        void* bits = nullptr;
        ScopedBitmap source(CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
        if (sourceDc && source && bits) {
            auto* px = static_cast<std::uint32_t*>(bits);
            const std::uint32_t value = (std::uint32_t{bg.red} << 16) | (std::uint32_t{bg.green} << 8) | bg.blue;
            std::fill(px, px + static_cast<std::ptrdiff_t>(shown.width()) * shown.height(), value);
            const ScopedSelection selectSource(sourceDc.get(), source.get());
            const BLENDFUNCTION blend{AC_SRC_OVER, 0, bg.alpha, 0};
            AlphaBlend(dc, shown.left, shown.top, shown.width(), shown.height(), sourceDc.get(), 0, 0, shown.width(),
                       shown.height(), blend);
        }
    }

    SetTextColor(dc, toColorRef(style.colour));
    const RECT clipRect = toRect(clip);
    ExtTextOutW(dc, x, y, ETO_CLIPPED, &clipRect, wideText.c_str(), static_cast<UINT>(length), nullptr);
    return shown;
}

void GdiCanvas::frameRect(const CanvasRect& rect, CanvasColour colour, bool dotted) {
    if (rect.empty()) return;
    const int l = rect.left;
    const int t = rect.top;
    const int r = rect.right;
    const int b = rect.bottom;
    const int w = rect.width();
    const int h = rect.height();
    if (!dotted) {
        fillRect({l, t, r, t + 1}, colour);
        fillRect({l, b - 1, r, b}, colour);
        fillRect({l, t, l + 1, b}, colour);
        fillRect({r - 1, t, r, b}, colour);
        return;
    }
    // One pixel on, one off, counted along the frame clockwise from the
    // top-left corner. Going left or up, a step of the walk lands on the
    // pixel before the one it starts from; that is how the Linux canvas's
    // dashed one-pixel line falls on the pixel grid, and the two must agree
    // (the viewer's canvas tests pin the Linux one).
    GdiFlush();
    const COLORREF c = toColorRef(colour);
    HDC dc = dc_.get();
    auto on = [](long s) { return s % 2 == 0; };
    for (int i = 0; i + 1 < w; ++i)  // top, rightwards
        if (on(i)) SetPixelV(dc, l + i, t, c);
    for (int j = 0; j + 1 < h; ++j)  // right, downwards
        if (on(w - 1 + j)) SetPixelV(dc, r - 1, t + j, c);
    // The corner the walk turns on belongs to no side's steps; the Linux
    // canvas's line joins cover it whichever way the count falls.
    SetPixelV(dc, r - 1, b - 1, c);
    for (int i = 0; i + 1 < w; ++i)  // bottom, leftwards
        if (on(w - 1 + h - 1 + i)) SetPixelV(dc, r - 2 - i, b - 1, c);
    for (int j = 0; j + 1 < h; ++j)  // left, upwards
        if (on(2L * (w - 1) + h - 1 + j)) SetPixelV(dc, l, b - 2 - j, c);
}

void GdiCanvas::fillPattern(const CanvasRect& rect, const CanvasPattern& pattern, CanvasColour ink) {
    const CanvasRect target = intersect(rect, clipBox());
    if (target.empty()) return;
    if (!patternBrush_ || !(brushPattern_ == pattern)) {
        // A one-bit bitmap's rows are 16-bit words; the first byte of each
        // holds the eight pixels.
        WORD rows[8] = {};
        for (std::size_t i = 0; i < 8; ++i) rows[i] = pattern.rows[i];
        const ScopedBitmap bitmap(CreateBitmap(8, 8, 1, 1, rows));
        if (!bitmap) return;
        // The brush keeps its own copy of the bits.
        patternBrush_.reset(CreatePatternBrush(bitmap.get()));
        if (!patternBrush_) return;
        brushPattern_ = pattern;
    }
    // A one-bit brush paints its clear bits in the text colour and its set
    // bits in the background colour. Leaving the clear bits untouched
    // takes two passes: white/black ANDed turns the set bits black and
    // keeps the rest, black/ink ORed then puts the ink into them alone.
    // The brush is selected after the colours are set, since some GDIs
    // take a one-bit brush's colours when it is selected.
    HDC dc = dc_.get();
    const COLORREF oldText = GetTextColor(dc);
    const COLORREF oldBack = GetBkColor(dc);
    auto pass = [&](COLORREF clearBits, COLORREF setBits, DWORD rop) {
        SetTextColor(dc, clearBits);
        SetBkColor(dc, setBits);
        const ScopedSelection selectBrush(dc, patternBrush_.get());
        if (selectBrush.selected()) PatBlt(dc, target.left, target.top, target.width(), target.height(), rop);
    };
    constexpr DWORD kMaskPattern = 0x00A000C9;   // D & P
    constexpr DWORD kMergePattern = 0x00FA0089;  // D | P
    pass(RGB(255, 255, 255), RGB(0, 0, 0), kMaskPattern);
    pass(RGB(0, 0, 0), toColorRef(ink), kMergePattern);
    SetTextColor(dc, oldText);
    SetBkColor(dc, oldBack);
}

std::uint32_t GdiCanvas::pixel(int x, int y) const {
    if (x < 0 || y < 0 || x >= width_ || y >= height_) return kNoPixel;
    GdiFlush();  // drawing may still be queued
    const std::uint8_t* px = bits_ + static_cast<std::ptrdiff_t>(y) * stride_ + static_cast<std::ptrdiff_t>(x) * 4;
    return (std::uint32_t{px[2]} << 16) | (std::uint32_t{px[1]} << 8) | px[0];
}

bool GdiCanvas::copyTo(HDC target, const RECT& part) const {
    const LONG w = part.right - part.left;
    const LONG h = part.bottom - part.top;
    if (!target || w <= 0 || h <= 0) return false;
    return BitBlt(target, part.left, part.top, w, h, dc_.get(), part.left, part.top, SRCCOPY) != FALSE;
}

bool GdiCanvas::savePng(std::u16string_view path) const {
    if (path.empty()) {
        setLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    GdiFlush();
    // 24-bit rows for the encoder: GDI leaves the fourth byte of a 32-bit
    // surface undefined (text clears it), and a PNG must not read it as
    // transparency.
    const int stride = dibStride(width_, 24);
    std::vector<BYTE> rows(static_cast<std::size_t>(stride) * height_);
    for (int y = 0; y < height_; ++y) {
        const std::uint8_t* src = bits_ + static_cast<std::ptrdiff_t>(y) * stride_;
        BYTE* dest = rows.data() + static_cast<std::ptrdiff_t>(y) * stride;
        for (int x = 0; x < width_; ++x, src += 4, dest += 3) {
            dest[0] = src[0];
            dest[1] = src[1];
            dest[2] = src[2];
        }
    }
    const GdiplusSession session;  // before the image, which must go first
    if (!session.started()) {
        setLastError(ERROR_NOT_SUPPORTED);
        return false;
    }
    CLSID encoder{};
    if (!pngEncoder(encoder)) {
        setLastError(ERROR_NOT_SUPPORTED);
        return false;
    }
    Gdiplus::GpBitmap* raw = nullptr;
    if (Gdiplus::DllExports::GdipCreateBitmapFromScan0(width_, height_, stride, PixelFormat24bppRGB, rows.data(),
                                                        &raw) != Gdiplus::Ok ||
        !raw) {
        setLastError(ERROR_NOT_ENOUGH_MEMORY);
        return false;
    }
    const std::unique_ptr<Gdiplus::GpBitmap, GdiplusImageDeleter> image(raw);
    const std::wstring file = toWide(path);
    if (Gdiplus::DllExports::GdipSaveImageToFile(reinterpret_cast<Gdiplus::GpImage*>(image.get()), file.c_str(),
                                                 &encoder, nullptr) != Gdiplus::Ok) {
        setLastError(ERROR_WRITE_FAULT);
        return false;
    }
    return true;
}

}  // namespace platform::win32
