// The viewer's Windows window: made in a real top-level window, painted by
// the system's WM_PAINT, read back from the screen and driven by real mouse
// messages. Needs a display (Xvfb under Wine); without one every case
// skips and says so.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <chrono>
#include <functional>
#include <thread>
#include <vector>

#include "platform/win32/canvas_gdi_win.h"
#include "platform/win32/gdi_handles.h"
#include "platform/win32/wide.h"
#include "viewer/view_convas_dlg.h"
#include "viewer/viewer_painter.h"
#include "viewer/win32/viewer_ids.h"
#include "viewer/win32/viewer_window_win.h"
#include "viewer/viewer_fixture.h"

using namespace viewer_test;
using platform::win32::GdiCanvas;
using viewer::win32::ScopedWindow;
using viewer::win32::ViewerWindow;

namespace {

constexpr std::uint32_t kRed = 0xC03020;

std::uint32_t rgb(platform::CanvasColour c) {
    return (std::uint32_t{c.red} << 16) | (std::uint32_t{c.green} << 8) | c.blue;
}

LPARAM at(ViewerPoint p) { return MAKELPARAM(static_cast<WORD>(p.x), static_cast<WORD>(p.y)); }

ViewerPoint centreOf(const ViewerRect& r) { return {(r.left + r.right) / 2, (r.top + r.bottom) / 2}; }

// Runs every message waiting on this thread, paints included.
void pump() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

// Pumps until `done` holds or a generous limit passes (a missed wake-up
// fails the test instead of hanging it).
bool pumpUntil(const std::function<bool()>& done) {
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!done()) {
        if (std::chrono::steady_clock::now() > limit) return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
        pump();
    }
    return true;
}

// 32-bit top-down pixels read from a device context.
class Capture {
public:
    Capture(int width, int height) : width_(width), height_(height) {
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
        info.bmiHeader.biWidth = width;
        info.bmiHeader.biHeight = -height;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        dc_.reset(CreateCompatibleDC(nullptr));
        void* bits = nullptr;
        bitmap_.reset(CreateDIBSection(dc_.get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
        bits_ = static_cast<const std::uint8_t*>(bits);
        if (bitmap_) previous_ = SelectObject(dc_.get(), bitmap_.get());
    }
    ~Capture() {
        if (previous_) SelectObject(dc_.get(), previous_);
    }
    Capture(const Capture&) = delete;
    Capture& operator=(const Capture&) = delete;

    bool valid() const { return bits_ != nullptr; }
    HDC dc() const { return dc_.get(); }

    std::uint32_t pixel(int x, int y) const {
        GdiFlush();
        const std::uint8_t* px = bits_ + (static_cast<std::ptrdiff_t>(y) * width_ + x) * 4;
        return (std::uint32_t{px[2]} << 16) | (std::uint32_t{px[1]} << 8) | px[0];
    }

    // Pixels that differ from the canvas, and the first of them.
    long differences(const platform::OffscreenCanvas& canvas, ViewerPoint* first) const {
        long count = 0;
        for (int y = 0; y < height_; ++y)
            for (int x = 0; x < width_; ++x)
                if (pixel(x, y) != canvas.pixel(x, y) && count++ == 0 && first) *first = {x, y};
        return count;
    }

private:
    int width_;
    int height_;
    platform::win32::ScopedBitmap bitmap_;
    platform::win32::ScopedMemoryDc dc_;
    HGDIOBJ previous_ = nullptr;
    const std::uint8_t* bits_ = nullptr;
};

INT_PTR CALLBACK plainDialogProc(HWND, UINT message, WPARAM, LPARAM) { return message == WM_INITDIALOG; }

class ViewerWindowWin : public ViewerTest {
protected:
    void SetUp() override {
        ViewerTest::SetUp();
        if (IsSkipped()) return;
        // Shown at the screen's corner with no frame, so nothing covers the
        // viewer and the screen can be read back.
        parent_.reset(CreateWindowExW(0, L"STATIC", L"viewer host", WS_POPUP | WS_VISIBLE, 0, 0, kViewerWidth + 40,
                                      kViewerHeight + 40, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr));
        const DWORD error = GetLastError();
        if (!parent_) GTEST_SKIP() << "no display: top-level windows cannot be made here (error " << error
                                   << "; Wine without an X server)";
        window_ = ViewerWindow::create(parent_.get(), dialog_, 0, 0);
        ASSERT_TRUE(window_) << GetLastError();
        pump();
    }

    void TearDown() override {
        window_.reset();
        parent_.reset();
        pump();
    }

    HWND hwnd() const { return window_->hwnd(); }

    std::u16string add(std::u16string_view name, const Picture& picture) {
        const std::u16string path = file(name);
        EXPECT_TRUE(writePicture(path, picture));
        EXPECT_TRUE(dialog_.AddImage(path, -1));
        return path;
    }

    void addMany(int count) {
        for (int i = 0; i < count; ++i) add(text::format(u"doc%d.png", i), {60 + 10 * (i % 3), 40, kRed});
    }

    // Paints what is pending through the window's own WM_PAINT.
    void show() {
        window_->refresh();
        UpdateWindow(hwnd());
        pump();
    }

    int toolCount() const {
        return static_cast<int>(SendMessageW(window_->tooltip(), TTM_GETTOOLCOUNT, 0, 0));
    }

    void send(UINT message, WPARAM keys, ViewerPoint p) { SendMessageW(hwnd(), message, keys, at(p)); }

    ScopedWindow parent_;
    CViewConvasDlg dialog_{nullptr};
    std::unique_ptr<ViewerWindow> window_;
};

TEST_F(ViewerWindowWin, WindowHasTheSurfacesSizeAndTakesDoubleClicks) {
    RECT client{};
    GetClientRect(hwnd(), &client);
    EXPECT_EQ(client.right, kViewerWidth);
    EXPECT_EQ(client.bottom, kViewerHeight);
    EXPECT_TRUE(IsWindowVisible(hwnd()));
    EXPECT_EQ(GetParent(hwnd()), parent_.get());
    EXPECT_TRUE(GetClassLongW(hwnd(), GCL_STYLE) & CS_DBLCLKS);
    EXPECT_TRUE(dialog_.IsCreated());
    window_->move(10, 20);
    RECT placed{};
    GetWindowRect(hwnd(), &placed);
    MapWindowPoints(HWND_DESKTOP, parent_.get(), reinterpret_cast<POINT*>(&placed), 2);
    EXPECT_EQ(placed.left, 10);
    EXPECT_EQ(placed.top, 20);
    EXPECT_EQ(placed.right - placed.left, kViewerWidth);
}

// What reaches the screen is the surface, pixel for pixel, read back both
// from the window's DC after its WM_PAINT and through WM_PRINTCLIENT.
TEST_F(ViewerWindowWin, ScreenShowsThePaintedSurface) {
    struct Row {
        const char* name;
        std::function<void()> step;
    };
    const Row rows[] = {
        {"empty", [] {}},
        {"one small page", [&] { add(u"small.png", {300, 200, kRed}); }},
        {"a grid of four", [&] {
             addMany(3);
             dialog_.ViewThumb4();
         }},
        {"a crop rectangle", [&] {
             dialog_.ViewSinglePage();
             dialog_.Cut();
         }},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        row.step();
        show();
        EXPECT_FALSE(dialog_.NeedsPaint());
        const platform::OffscreenCanvas* canvas = dialog_.Paint();
        ASSERT_NE(canvas, nullptr);

        Capture screen(kViewerWidth, kViewerHeight);
        ASSERT_TRUE(screen.valid());
        {
            const platform::win32::ScopedWindowDc dc(hwnd());
            ASSERT_TRUE(dc);
            ASSERT_TRUE(BitBlt(screen.dc(), 0, 0, kViewerWidth, kViewerHeight, dc.get(), 0, 0, SRCCOPY));
        }
        ViewerPoint first{};
        EXPECT_EQ(screen.differences(*canvas, &first), 0) << "first at " << first.x << "," << first.y;
        EXPECT_EQ(screen.pixel(1, 1), rgb(kViewerBackground));

        Capture printed(kViewerWidth, kViewerHeight);
        SendMessageW(hwnd(), WM_PRINTCLIENT, reinterpret_cast<WPARAM>(printed.dc()), PRF_CLIENT);
        EXPECT_EQ(printed.differences(*canvas, &first), 0) << "first at " << first.x << "," << first.y;
    }
}

// Real mouse messages reach the viewer in client coordinates.
TEST_F(ViewerWindowWin, MouseMessagesDriveTheViewer) {
    addMany(3);
    const std::u16string tiff = file(u"three.tif");
    ASSERT_TRUE(writeTiff(tiff, {{1314, 1584, 0x3060C0}, {1314, 1584, 0xC06030}, {800, 600, 0x30A060}}));
    struct Row {
        const char* name;
        std::function<void()> setUp;
        std::function<void()> mouse;
        std::function<void()> check;
    };
    const Row rows[] = {
        {"a click in a grid selects the cell's document",
         [&] {
             dialog_.ViewThumb4();
             show();
         },
         [&] {
             const ViewerPoint p = centreOf(dialog_.Viewer().LayoutCells()[1].cell);
             send(WM_MOUSEMOVE, 0, p);
             send(WM_LBUTTONDOWN, MK_LBUTTON, p);
             send(WM_LBUTTONUP, 0, p);
         },
         [&] {
             EXPECT_EQ(dialog_.Viewer().CurrentDocumentIndex(), 1);
             // Drawn as the current cell on the screen.
             show();
             const ViewerRect cell = dialog_.Viewer().LayoutCells()[1].cell;
             const platform::win32::ScopedWindowDc dc(hwnd());
             EXPECT_EQ(GetPixel(dc.get(), cell.left + 1, cell.top + 1),
                       RGB(kCurrentCellBackground.red, kCurrentCellBackground.green, kCurrentCellBackground.blue));
         }},
        {"a drag at actual size scrolls, holding the mouse meanwhile",
         [&] {
             ASSERT_TRUE(dialog_.AddImage(tiff, -1));
             dialog_.ViewSinglePage();
             dialog_.NormalView();
             show();
         },
         [&] {
             send(WM_MOUSEMOVE, 0, {300, 300});
             send(WM_LBUTTONDOWN, MK_LBUTTON, {300, 300});
             EXPECT_EQ(GetCapture(), hwnd());
             send(WM_MOUSEMOVE, MK_LBUTTON, {200, 250});
             EXPECT_EQ(dialog_.Viewer().PendingDrag().x, 100);
             EXPECT_EQ(dialog_.Viewer().PendingDrag().y, 50);
             send(WM_LBUTTONUP, 0, {200, 250});
         },
         [&] {
             EXPECT_EQ(GetCapture(), nullptr);
             EXPECT_EQ(dialog_.Viewer().ScrollOrigin().x, 100);
             EXPECT_EQ(dialog_.Viewer().ScrollOrigin().y, 50);
         }},
        {"a drag beyond the window's top-left corner counts in signed coordinates",
         [] {},
         [&] {
             send(WM_LBUTTONDOWN, MK_LBUTTON, {10, 10});
             // Captured: the window still hears a pointer left of and above it.
             send(WM_MOUSEMOVE, MK_LBUTTON, {10 - 4000, 10 - 3000});
             send(WM_LBUTTONUP, 0, {10 - 4000, 10 - 3000});
         },
         [&] {
             // Read unsigned, the move would have scrolled the other way.
             EXPECT_EQ(dialog_.Viewer().ScrollOrigin().x, 100 + 4000);
             EXPECT_EQ(dialog_.Viewer().ScrollOrigin().y, 50 + 3000);
         }},
        {"a double click on a document of pages enters page mode",
         [&] {
             dialog_.FullView();
             ASSERT_FALSE(dialog_.Viewer().InPageMode());
         },
         [&] {
             send(WM_LBUTTONDOWN, MK_LBUTTON, {100, 100});
             send(WM_LBUTTONUP, 0, {100, 100});
             send(WM_LBUTTONDBLCLK, MK_LBUTTON, {100, 100});
             send(WM_LBUTTONUP, 0, {100, 100});
         },
         [&] { EXPECT_TRUE(dialog_.Viewer().InPageMode()); }},
        {"leaving the window ends a drag",
         [&] {
             dialog_.NormalView();
             show();
         },
         [&] {
             send(WM_MOUSEMOVE, 0, {300, 300});
             send(WM_LBUTTONDOWN, MK_LBUTTON, {300, 300});
             send(WM_MOUSEMOVE, MK_LBUTTON, {280, 290});
             SendMessageW(hwnd(), WM_MOUSELEAVE, 0, 0);
             ReleaseCapture();
         },
         [&] {
             EXPECT_EQ(dialog_.Viewer().ScrollOrigin().x, 20);
             EXPECT_EQ(dialog_.Viewer().ScrollOrigin().y, 10);
             EXPECT_EQ(dialog_.Viewer().PendingDrag().x, 0);
         }},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        row.setUp();
        if (HasFatalFailure()) return;
        row.mouse();
        // The viewer asked for a redraw; the window took it up at once.
        EXPECT_TRUE(GetUpdateRect(hwnd(), nullptr, FALSE) || !dialog_.NeedsPaint());
        row.check();
        show();
    }
}

// One tool per drawn cell after each paint, over the cell, with the path.
TEST_F(ViewerWindowWin, TooltipsFollowEachPaint) {
    if (!window_->tooltip()) GTEST_SKIP() << "no tooltip control here";
    show();
    EXPECT_EQ(toolCount(), 0);
    addMany(10);
    struct Row {
        const char* name;
        std::function<void()> step;
        int tools;
    };
    const Row rows[] = {
        {"single view", [] {}, 1},
        {"grid of 9, last screen", [&] { dialog_.ViewThumb9(); }, 1},
        {"grid of 9, first screen", [&] { dialog_.GoFirstPage(); }, 9},
        {"grid of 4", [&] { dialog_.ViewThumb4(); }, 4},
        {"grid of 4, last screen", [&] { dialog_.GoLastPage(); }, 2},
        {"back to one", [&] { dialog_.ViewSinglePage(); }, 1},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        row.step();
        show();
        ASSERT_EQ(toolCount(), row.tools);
        ASSERT_EQ(dialog_.Tooltips().size(), static_cast<std::size_t>(row.tools));
        for (int i = 0; i < row.tools; ++i) {
            SCOPED_TRACE(i);
            wchar_t text[300] = {};
            TOOLINFOW info{};
            info.cbSize = TTTOOLINFOW_V2_SIZE;
            info.lpszText = text;
            ASSERT_TRUE(SendMessageW(window_->tooltip(), TTM_ENUMTOOLSW, static_cast<WPARAM>(i),
                                     reinterpret_cast<LPARAM>(&info)));
            const ViewerTooltip& want = dialog_.Tooltips()[static_cast<std::size_t>(info.uId - 1)];
            EXPECT_EQ(platform::win32::fromWide(text), want.text);
            EXPECT_EQ(info.hwnd, hwnd());
            EXPECT_EQ(info.rect.left, want.rect.left);
            EXPECT_EQ(info.rect.top, want.rect.top);
            EXPECT_EQ(info.rect.right, want.rect.right);
            EXPECT_EQ(info.rect.bottom, want.rect.bottom);
        }
    }
}

// A file added on another thread (the request pool's worker) reaches the
// screen without any call on the window's thread but the message loop.
TEST_F(ViewerWindowWin, RedrawAskedForOnAnotherThreadReachesTheScreen) {
    show();
    const std::u16string path = file(u"late.png");
    ASSERT_TRUE(writePicture(path, {120, 80, kRed}));
    std::thread worker([&] { EXPECT_TRUE(dialog_.AddImage(path, -1)); });
    worker.join();
    EXPECT_TRUE(dialog_.NeedsPaint());
    ASSERT_TRUE(pumpUntil([&] { return !dialog_.NeedsPaint(); })) << "the window never repainted";
    const ViewerRect image = dialog_.Viewer().SingleImageRect();
    const platform::win32::ScopedWindowDc dc(hwnd());
    EXPECT_EQ(GetPixel(dc.get(), image.left + 2, image.bottom - 3), RGB(0xC0, 0x30, 0x20));
    if (window_->tooltip()) {
        EXPECT_EQ(toolCount(), 1);
    }
}

// Template 206 as the control's and the plug-in's scripts get it, and the
// viewer window taking its static control's place.
TEST_F(ViewerWindowWin, DialogTemplateHostsTheViewer) {
    ScopedWindow dialog(CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_VIEW_CONVAS), parent_.get(),
                                           plainDialogProc, 0));
    ASSERT_TRUE(dialog) << GetLastError();
    const LONG style = GetWindowLongW(dialog.get(), GWL_STYLE);
    EXPECT_TRUE(style & WS_CHILD);
    EXPECT_FALSE((style & WS_CAPTION) == WS_CAPTION);
    RECT expected{0, 0, 399, 177};
    MapDialogRect(dialog.get(), &expected);
    RECT client{};
    GetClientRect(dialog.get(), &client);
    EXPECT_EQ(client.right, expected.right);
    EXPECT_EQ(client.bottom, expected.bottom);

    HWND placeholder = GetDlgItem(dialog.get(), IDC_VIEWER_CANVAS);
    ASSERT_NE(placeholder, nullptr);
    wchar_t className[32] = {};
    GetClassNameW(placeholder, className, 32);
    EXPECT_STREQ(className, L"Static");
    // Position and size in dialog units, each converted on its own as the
    // dialog manager does.
    RECT staticRect{7, 7, 385, 163};
    MapDialogRect(dialog.get(), &staticRect);
    RECT placed{};
    GetWindowRect(placeholder, &placed);
    MapWindowPoints(HWND_DESKTOP, dialog.get(), reinterpret_cast<POINT*>(&placed), 2);
    EXPECT_EQ(placed.left, staticRect.left);
    EXPECT_EQ(placed.top, staticRect.top);
    EXPECT_EQ(placed.right - placed.left, staticRect.right);
    EXPECT_EQ(placed.bottom - placed.top, staticRect.bottom);

    CViewConvasDlg viewer(nullptr);
    const auto window = ViewerWindow::createInDialog(dialog.get(), viewer);
    ASSERT_TRUE(window);
    EXPECT_FALSE(IsWindow(placeholder));
    EXPECT_EQ(GetDlgItem(dialog.get(), IDC_VIEWER_CANVAS), window->hwnd());
    GetWindowRect(window->hwnd(), &placed);
    MapWindowPoints(HWND_DESKTOP, dialog.get(), reinterpret_cast<POINT*>(&placed), 2);
    EXPECT_EQ(placed.left, 0);
    EXPECT_EQ(placed.top, 0);
    EXPECT_EQ(placed.right, kViewerWidth);
    EXPECT_EQ(placed.bottom, kViewerHeight);
}

// Two viewer windows of one module share the class; the class goes with
// the last of them.
TEST_F(ViewerWindowWin, SecondWindowAndClassLifetime) {
    CViewConvasDlg other(nullptr);
    auto second = ViewerWindow::create(parent_.get(), other, 20, 20);
    ASSERT_TRUE(second);
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    const HINSTANCE module = GetModuleHandleW(nullptr);
    EXPECT_TRUE(GetClassInfoExW(module, L"DocivaViewerWindow", &wc));
    second.reset();
    EXPECT_TRUE(GetClassInfoExW(module, L"DocivaViewerWindow", &wc)) << "still in use by the first window";
    window_.reset();
    EXPECT_FALSE(GetClassInfoExW(module, L"DocivaViewerWindow", &wc));
}

}  // namespace
