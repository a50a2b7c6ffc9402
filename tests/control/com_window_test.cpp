// DocivaOCX.dll on a real window, under Wine with a display: activated in
// place in a container of our own on a top-level window, its window holds
// the viewer's dialog and the viewer window; a scan run shows the progress
// window and ends with a viewer whose picture matches the one the Linux
// end-to-end page saves (tests/control/e2e/viewer_picture.png); the dialogs
// the methods open are real windows, found by caption and answered as a
// user would. Without a display every case skips and says why.
#include <windows.h>
#include <objbase.h>
#include <ocidl.h>
#include <olectl.h>
#include <shlobj.h>
#include <wincodec.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "control/com_test_support.h"
#include "control/win32/com_handles.h"
#include "control/win32/docivaocx_ids.h"
#include "dialogs/win32/dialog_watcher.h"
#include "platform/win32/handles.h"
#include "platform/win32/wide.h"
#include "support/attached_scanner_win.h"
#include "support/test_support.h"
#include "viewer/win32/viewer_ids.h"

using namespace docivaocx;
using namespace com_testing;
using dialog_testing::DialogWatcher;
using platform::win32::ScopedWindow;

namespace {

std::wstring className(HWND window) {
    wchar_t name[64] = {};
    GetClassNameW(window, name, 64);
    return name;
}

// A window's rectangle in its parent's client coordinates.
RECT rectInParent(HWND window) {
    RECT r{};
    GetWindowRect(window, &r);
    MapWindowPoints(nullptr, GetParent(window), reinterpret_cast<POINT*>(&r), 2);
    return r;
}

std::string describe(const RECT& r) {
    return std::to_string(r.left) + "," + std::to_string(r.top) + " " + std::to_string(r.right - r.left) + "x" +
           std::to_string(r.bottom - r.top);
}

std::vector<HWND> childrenOf(HWND parent) {
    std::vector<HWND> found;
    for (HWND w = GetWindow(parent, GW_CHILD); w; w = GetWindow(w, GW_HWNDNEXT)) found.push_back(w);
    return found;
}

// ---- pictures ----

// 0x00RRGGBB pixels, top row first.
struct Picture {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> pixels;
    std::uint32_t at(int x, int y) const { return pixels[static_cast<std::size_t>(y) * width + x] & 0xFFFFFFu; }
};

// What the window draws into a DC given to it (WM_PRINTCLIENT), or what it
// has painted on the screen (its own DC, after a paint).
enum class Capture { PrintClient, Screen };
Picture capture(HWND window, Capture how) {
    RECT client{};
    GetClientRect(window, &client);
    Picture picture{client.right, client.bottom, {}};
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = picture.width;
    info.bmiHeader.biHeight = -picture.height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HDC dc = CreateCompatibleDC(nullptr);
    HBITMAP bitmap = dc ? CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0) : nullptr;
    if (!bitmap) {
        if (dc) DeleteDC(dc);
        return {};
    }
    HGDIOBJ previous = SelectObject(dc, bitmap);
    // A colour the viewer never draws, so a pixel left alone shows.
    std::fill_n(static_cast<std::uint32_t*>(bits), static_cast<std::size_t>(picture.width) * picture.height,
                0x00FF00FFu);
    switch (how) {
    case Capture::PrintClient:
        SendMessageW(window, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc), PRF_CLIENT);
        break;
    case Capture::Screen:
        RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
        if (HDC screen = GetDC(window)) {
            BitBlt(dc, 0, 0, picture.width, picture.height, screen, 0, 0, SRCCOPY);
            ReleaseDC(window, screen);
        }
        break;
    }
    GdiFlush();
    const auto* p = static_cast<const std::uint32_t*>(bits);
    picture.pixels.assign(p, p + static_cast<std::size_t>(picture.width) * picture.height);
    SelectObject(dc, previous);
    DeleteObject(bitmap);
    DeleteDC(dc);
    return picture;
}

// A PNG (or any picture WIC reads) as 0x00RRGGBB pixels; empty when it
// cannot be read.
Picture loadPicture(const std::wstring& path) {
    Picture picture;
    ComPtr<IWICImagingFactory> factory;
    ComPtr<IWICBitmapDecoder> decoder;
    ComPtr<IWICBitmapFrameDecode> frame;
    ComPtr<IWICFormatConverter> converter;
    UINT width = 0, height = 0;
    if (FAILED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                                factory.putVoid())) ||
        FAILED(factory->CreateDecoderFromFilename(path.c_str(), nullptr, GENERIC_READ, WICDecodeMetadataCacheOnLoad,
                                                  decoder.put())) ||
        FAILED(decoder->GetFrame(0, frame.put())) || FAILED(factory->CreateFormatConverter(converter.put())) ||
        FAILED(converter->Initialize(frame.get(), GUID_WICPixelFormat32bppBGRA, WICBitmapDitherTypeNone, nullptr, 0.0,
                                     WICBitmapPaletteTypeCustom)) ||
        FAILED(converter->GetSize(&width, &height)))
        return picture;
    std::vector<std::uint32_t> pixels(static_cast<std::size_t>(width) * height);
    if (FAILED(converter->CopyPixels(nullptr, width * 4, static_cast<UINT>(pixels.size() * 4),
                                     reinterpret_cast<BYTE*>(pixels.data()))))
        return picture;
    picture.width = static_cast<int>(width);
    picture.height = static_cast<int>(height);
    picture.pixels = std::move(pixels);
    return picture;
}

// A failing picture is kept as a BMP beside the test, to be looked at.
bool saveBmp(const Picture& picture, const std::wstring& path) {
    BITMAPFILEHEADER file{};
    BITMAPINFOHEADER info{};
    info.biSize = sizeof(info);
    info.biWidth = picture.width;
    info.biHeight = -picture.height;
    info.biPlanes = 1;
    info.biBitCount = 32;
    const DWORD bytes = static_cast<DWORD>(picture.pixels.size() * 4);
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof(file) + sizeof(info);
    file.bfSize = file.bfOffBits + bytes;
    std::string data(reinterpret_cast<const char*>(&file), sizeof(file));
    data.append(reinterpret_cast<const char*>(&info), sizeof(info));
    data.append(reinterpret_cast<const char*>(picture.pixels.data()), bytes);
    return testing_support::writeBytes(platform::win32::fromWide(path), data);
}

// The control changes the current folder (its choosers do): a file the
// test leaves to be looked at goes beside the test program instead.
std::wstring besideTheProgram(const std::wstring& name) {
    wchar_t path[MAX_PATH] = {};
    const DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path, n);
    folder.resize(folder.find_last_of(L'\\') + 1);
    return folder + name;
}

struct Difference {
    long compared = 0;
    long beyond = 0;    // pixels past the tolerance's levels
    long differing = 0; // pixels not identical
    int largest = 0;    // the largest difference of one channel
};
// Compares outside the rows [skipTop, skipBottom).
Difference compare(const Picture& a, const Picture& b, int levels, int skipTop = 0, int skipBottom = 0) {
    Difference d;
    for (int y = 0; y < a.height; ++y) {
        if (y >= skipTop && y < skipBottom) continue;
        for (int x = 0; x < a.width; ++x) {
            const std::uint32_t p = a.at(x, y), q = b.at(x, y);
            int most = 0;
            for (int shift : {0, 8, 16}) {
                most = std::max(most, std::abs(static_cast<int>((p >> shift) & 0xFF) - static_cast<int>((q >> shift) & 0xFF)));
            }
            ++d.compared;
            if (most > 0) ++d.differing;
            if (most > levels) ++d.beyond;
            d.largest = std::max(d.largest, most);
        }
    }
    return d;
}

std::string linuxPicturePath(const std::string& name) { return std::string(DOCIVA_E2E_DIR) + "/" + name + ".png"; }
std::string emptyViewerPicturePath() { return std::string(DOCIVA_E2E_DIR) + "/../../viewer/golden/empty.png"; }

// The rows of the single view's caption box in a picture, found by its
// colour (the viewer's caption colour over a white page), as run_e2e.py
// finds them; its text holds the path and is drawn by other fonts here.
// The box may be a little taller with those fonts: the most rows a
// caption takes, and one above. Empty when there is no caption.
std::pair<int, int> captionRows(const Picture& picture) {
    constexpr int kRows = 26;
    for (int y = 0; y < picture.height; ++y) {
        for (int x = 0; x < picture.width; ++x) {
            const std::uint32_t c = picture.at(x, y);
            if (std::abs(static_cast<int>(c >> 16) - 225) <= 12 && std::abs(static_cast<int>((c >> 8) & 0xFF) - 134) <= 12 &&
                std::abs(static_cast<int>(c & 0xFF) - 44) <= 12)
                return {std::max(0, y - 1), y - 1 + kRows};
        }
    }
    return {0, 0};
}

// The viewer window's picture against the one the Linux end-to-end page
// saved (tests/control/e2e/NAME.png). The Linux canvas and GDI land fills
// and pictures on the same pixels, so only text could differ: 99.5 % of
// the pixels within 4 levels, the Windows tolerance of the viewer's
// goldens, outside the caption's rows. The pages are PNG files: JPEG files
// differ between the two platforms' encoders (about 11 % of the four-page
// picture's pixels by more than 4 levels), which would hide a drawing fault.
void expectMatchesLinuxPicture(const Picture& drawn, const std::string& name) {
    SCOPED_TRACE(name);
    const Picture golden = loadPicture(windowsPath(linuxPicturePath(name)));
    ASSERT_EQ(golden.width, drawn.width) << "cannot read " << linuxPicturePath(name) << " or its size differs";
    ASSERT_EQ(golden.height, drawn.height);
    const auto [skipTop, skipBottom] = captionRows(golden);
    const Difference d = compare(drawn, golden, 4, skipTop, skipBottom);
    std::printf("%s: caption rows %d..%d left out; %ld of %ld pixels differ by more than 4 levels, %ld differ at "
                "all, largest %d\n",
                name.c_str(), skipTop, skipBottom, d.beyond, d.compared, d.differing, d.largest);
    if (d.beyond * 1000 > d.compared * 5) {
        const std::wstring actual = besideTheProgram(std::wstring(name.begin(), name.end()) + L".actual.bmp");
        saveBmp(drawn, actual);
        ADD_FAILURE() << d.beyond << " of " << d.compared << " pixels differ by more than 4 levels from "
                      << linuxPicturePath(name) << "; drawn picture in " << narrow(actual);
    }
}

// ---- the fixture ----

// The control registered from a fresh installation, made, heard through a
// sink, and embedded in a container on a visible top-level window.
class ControlWindowTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(com_.result()));
        if (!dialog_testing::displayAvailable())
            GTEST_SKIP() << "no display: visible windows cannot be made here (Wine without an X server)";
        ASSERT_TRUE(install_.copied());
        registration_ = std::make_unique<Registration>(install_);
        ASSERT_NE(registration_->dll().get(), nullptr);
        ASSERT_EQ(registration_->result(), S_OK);
        host_.reset(CreateWindowExW(0, L"STATIC", L"Dociva window test", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 760,
                                    900, nullptr, nullptr, nullptr, nullptr));
        ASSERT_TRUE(host_.valid());
        container_ = std::make_unique<Container>(host_.get());
    }
    void TearDown() override {
        closeEmbedding(ole_);
        if (point_) point_->Unadvise(cookie_);
        point_.reset();
        control_.reset();
        // The driver folder goes with the scanner: only after the control.
        scanner_.reset();
        if (container_) {
            EXPECT_EQ(container_->references, 1u);
        }
        registration_.reset();
    }

    // Makes the control (it looks for scanners as it is made), hears it
    // and sets it in its container.
    void makeControl() {
        ASSERT_EQ(createControl(control_), S_OK);
        ASSERT_EQ(advise(control_.get(), sink_, point_, cookie_), S_OK);
        ASSERT_EQ(control_->QueryInterface(IID_IOleObject, ole_.putVoid()), S_OK);
        ASSERT_EQ(ole_->SetClientSite(container_.get()), S_OK);
    }
    HRESULT activate() {
        RECT place = Container::kPlace;
        return ole_->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, container_.get(), 0, host_.get(), &place);
    }
    HRESULT deactivate() {
        ComPtr<IOleInPlaceObject> inPlace;
        const HRESULT hr = control_->QueryInterface(IID_IOleInPlaceObject, inPlace.putVoid());
        return FAILED(hr) ? hr : inPlace->InPlaceDeactivate();
    }
    HWND controlWindow() { return inPlaceWindow(control_.get()); }
    // The control window's one dialog child (template 206), and the viewer
    // window inside it; null when missing.
    HWND viewerDialog() {
        HWND control = controlWindow();
        if (!control) return nullptr;
        for (HWND w : childrenOf(control)) {
            if (className(w) == L"#32770") return w;
        }
        return nullptr;
    }
    HWND viewerWindow() {
        HWND dialog = viewerDialog();
        return dialog ? GetDlgItem(dialog, IDC_VIEWER_CANVAS) : nullptr;
    }

    HRESULT call(const wchar_t* name, std::vector<VARIANT> args, VARIANT* result = nullptr) {
        return callByName(control_.get(), name, std::move(args), result);
    }
    int fileCount() { return fileCountOf(control_.get()); }

    ComApartment com_;
    Installation install_;
    std::unique_ptr<Registration> registration_;
    ScopedWindow host_;
    std::unique_ptr<Container> container_;
    std::unique_ptr<testing_support::AttachedScanner> scanner_;
    Recorder sink_;
    ComPtr<IDispatch> control_;
    ComPtr<IConnectionPoint> point_;
    DWORD cookie_ = 0;
    ComPtr<IOleObject> ole_;
};

// ---- 1. in place: the viewer's dialog and window ----

TEST_F(ControlWindowTest, HoldsTheViewerDialogWhileInPlaceAndAgainAfterReactivation) {
    makeControl();
    ASSERT_FALSE(HasFatalFailure());
    // Twice: the second activation must build the same windows anew.
    for (int round = 1; round <= 2; ++round) {
        SCOPED_TRACE("activation " + std::to_string(round));
        ASSERT_EQ(activate(), S_OK);
        EXPECT_EQ(container_->activated, round);
        HWND control = controlWindow();
        ASSERT_TRUE(IsWindow(control));
        EXPECT_EQ(GetParent(control), host_.get());
        EXPECT_EQ(describe(rectInParent(control)), describe(Container::kPlace));

        HWND dialog = viewerDialog();
        ASSERT_NE(dialog, nullptr) << "no dialog window inside the control's window";
        EXPECT_EQ(childrenOf(control).size(), 1u) << "the viewer's dialog is the control window's only child";
        EXPECT_TRUE(GetWindowLongW(dialog, GWL_STYLE) & WS_CHILD);
        EXPECT_TRUE(IsWindowVisible(dialog));
        EXPECT_EQ(describe(rectInParent(dialog)), "0,0 665x800");
        EXPECT_EQ(GetWindowTextLengthW(dialog), 0) << "template 206 has no caption";

        HWND viewer = viewerWindow();
        ASSERT_NE(viewer, nullptr) << "no window with the canvas id " << IDC_VIEWER_CANVAS << " in the dialog";
        EXPECT_NE(className(viewer), L"Static") << "the placeholder static is still there";
        EXPECT_EQ(childrenOf(dialog).size(), 1u) << "the viewer window replaces the placeholder";
        EXPECT_TRUE(IsWindowVisible(viewer));
        EXPECT_EQ(describe(rectInParent(viewer)), "0,0 665x800");
        RECT client{};
        GetClientRect(viewer, &client);
        EXPECT_EQ(describe(client), "0,0 665x800");

        // The window shows the empty viewer: the viewer's own golden
        // picture of it, within the Windows tolerance.
        const Picture empty = capture(viewer, Capture::PrintClient);
        ASSERT_EQ(empty.pixels.size(), 665u * 800u);
        const Picture golden = loadPicture(windowsPath(emptyViewerPicturePath()));
        ASSERT_EQ(golden.pixels.size(), empty.pixels.size()) << "cannot read " << emptyViewerPicturePath();
        const Difference d = compare(empty, golden, 4);
        EXPECT_LE(d.beyond * 1000, d.compared * 5)
            << d.beyond << " of " << d.compared << " pixels differ by more than 4 levels from the empty viewer";

        ASSERT_EQ(deactivate(), S_OK);
        EXPECT_EQ(container_->deactivated, round);
        EXPECT_FALSE(IsWindow(control));
        EXPECT_FALSE(IsWindow(dialog));
        EXPECT_FALSE(IsWindow(viewer));
        EXPECT_EQ(controlWindow(), nullptr);
        pumpFor(100);  // the viewer's timer and late messages find nothing
    }
    // Methods still answer with no window.
    EXPECT_EQ(fileCount(), 0);
}

// ---- 2. a scan run in place, the progress window and the picture ----

// Counts the times a window was shown, by subclassing it for as long as
// the object lives. The count sits in a window property, so no state is
// shared beyond the window itself.
class ShowCounter {
public:
    explicit ShowCounter(HWND window) : window_(window) {
        SetPropW(window_, kCount, nullptr);
        SetPropW(window_, kPrevious, reinterpret_cast<HANDLE>(GetWindowLongPtrW(window_, GWLP_WNDPROC)));
        SetWindowLongPtrW(window_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&proc));
    }
    ~ShowCounter() {
        if (!IsWindow(window_)) return;
        SetWindowLongPtrW(window_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(GetPropW(window_, kPrevious)));
        RemovePropW(window_, kPrevious);
        RemovePropW(window_, kCount);
    }
    ShowCounter(const ShowCounter&) = delete;
    ShowCounter& operator=(const ShowCounter&) = delete;
    int shown() const { return static_cast<int>(reinterpret_cast<INT_PTR>(GetPropW(window_, kCount))); }

private:
    static constexpr const wchar_t* kCount = L"DocivaTest.ShownCount";
    static constexpr const wchar_t* kPrevious = L"DocivaTest.PreviousProc";
    static LRESULT CALLBACK proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        const auto previous = reinterpret_cast<WNDPROC>(GetPropW(window, kPrevious));
        if (message == WM_WINDOWPOSCHANGED &&
            (reinterpret_cast<const WINDOWPOS*>(lParam)->flags & SWP_SHOWWINDOW) != 0) {
            const INT_PTR n = reinterpret_cast<INT_PTR>(GetPropW(window, kCount));
            SetPropW(window, kCount, reinterpret_cast<HANDLE>(n + 1));
        }
        if (message == WM_NCDESTROY) {
            SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(previous));
            RemovePropW(window, kPrevious);
            RemovePropW(window, kCount);
        }
        return CallWindowProcW(previous, window, message, wParam, lParam);
    }
    HWND window_;
};

struct DialogSearch {
    const wchar_t* caption;
    std::vector<HWND> found;
};
BOOL CALLBACK collectDialog(HWND window, LPARAM lParam) {
    auto* search = reinterpret_cast<DialogSearch*>(lParam);
    if (className(window) == L"#32770" && dialog_testing::windowText(window) == search->caption)
        search->found.push_back(window);
    return TRUE;
}
// This thread's top-level dialog windows of that caption, shown or not.
std::vector<HWND> dialogsCaptioned(const wchar_t* caption) {
    DialogSearch search{caption, {}};
    EnumThreadWindows(GetCurrentThreadId(), collectDialog, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

TEST_F(ControlWindowTest, ScansInPlaceShowingProgressAndTheViewerMatchesTheLinuxPicture) {
    scanner_ = std::make_unique<testing_support::AttachedScanner>(L"Window");
    ASSERT_TRUE(scanner_->installed());
    if (!scanner_->attached()) GTEST_SKIP() << "SetupAPI would not create a device here";
    makeControl();
    ASSERT_FALSE(HasFatalFailure());
    ASSERT_EQ(activate(), S_OK);
    HWND viewer = viewerWindow();
    ASSERT_NE(viewer, nullptr);

    // The progress window is there from the start, hidden.
    const std::vector<HWND> progressWindows = dialogsCaptioned(L"Dociva");
    ASSERT_EQ(progressWindows.size(), 1u) << "one progress window captioned \"Dociva\"";
    HWND progress = progressWindows.front();
    EXPECT_FALSE(IsWindowVisible(progress));
    ShowCounter shows(progress);

    // PNG pages, not JPEG: see the comparison below.
    bool visibleWhileScanning = false;
    ASSERT_TRUE(scanAsThePageDoes(control_.get(), sink_, scanner_->product(), L"SetOutputFormatPNG", install_.file(L"scans"),
                                  [&] { visibleWhileScanning = visibleWhileScanning || IsWindowVisible(progress); }));
    EXPECT_EQ(sink_.count(u"OnScanEnd"), 1u);
    EXPECT_EQ(narrow(sink_.last(u"OnScanEnd")), R"({"code":0})");
    EXPECT_GE(shows.shown(), 1) << "the progress window was never shown during the run";
    EXPECT_TRUE(IsWindow(progress));
    EXPECT_FALSE(IsWindowVisible(progress)) << "the progress window stays up after the run";
    std::printf("progress window: shown %d time(s), seen visible while pumping: %s\n", shows.shown(),
                visibleWhileScanning ? "yes" : "no");

    const std::vector<std::wstring> files = filesIn(install_.file(L"scans"));
    ASSERT_EQ(files, (std::vector<std::wstring>{L"page_001.png", L"page_002.png", L"page_003.png", L"page_004.png"}));
    EXPECT_EQ(fileCount(), 4);

    // Four to a screen: every page shows, and no caption is drawn, whose
    // text would depend on the fonts and the temporary path.
    ASSERT_EQ(call(L"ViewThumb4", {}), S_OK);
    pumpFor(200);
    ASSERT_EQ(viewerWindow(), viewer);
    const Picture printed = capture(viewer, Capture::PrintClient);
    ASSERT_EQ(printed.pixels.size(), 665u * 800u);

    // What the window shows on the screen is the picture it prints.
    const Picture screen = capture(viewer, Capture::Screen);
    const Difference onScreen = compare(printed, screen, 0);
    std::printf("screen against printed: %ld of %ld pixels differ (largest %d)\n", onScreen.differing,
                onScreen.compared, onScreen.largest);
    EXPECT_EQ(onScreen.differing, 0) << "the painted window differs from its printed picture";

    expectMatchesLinuxPicture(printed, "viewer_picture");

    // The newest page alone, fitted, under its caption.
    ASSERT_EQ(call(L"ViewSinglePage", {}), S_OK);
    pumpFor(200);
    expectMatchesLinuxPicture(capture(viewer, Capture::PrintClient), "viewer_picture.single");

    // The pages stay with the control, not with its window: activated
    // again, the new viewer window shows the same.
    ASSERT_EQ(deactivate(), S_OK);
    EXPECT_FALSE(IsWindow(viewer));
    ASSERT_EQ(activate(), S_OK);
    HWND again = viewerWindow();
    ASSERT_NE(again, nullptr);
    pumpFor(200);
    EXPECT_EQ(fileCount(), 4);
    expectMatchesLinuxPicture(capture(again, Capture::PrintClient), "viewer_picture.single");
}

// ---- 3. the dialogs the methods open ----

// The watermark dialog's controls (template 214).
constexpr int kImageType = 232, kTextType = 233, kFirstPosition = 234, kTransparency = 230, kImagePath = 243,
              kWatermarkText = 245, kTextSize = 246, kTextAngle = 247;

// The dialog's values in one line: type (0 none, 1 image, 2 text),
// position, transparency, image, text, size, angle.
std::wstring watermarkValues(HWND dialog) {
    const int type = IsDlgButtonChecked(dialog, kImageType) == BST_CHECKED  ? 1
                     : IsDlgButtonChecked(dialog, kTextType) == BST_CHECKED ? 2
                                                                             : 0;
    int position = -1;
    for (int i = 0; i < 9; ++i) {
        if (IsDlgButtonChecked(dialog, kFirstPosition + i) == BST_CHECKED) position = i;
    }
    using dialog_testing::itemText;
    return L"type=" + std::to_wstring(type) + L" position=" + std::to_wstring(position) +
           L" transparency=" + itemText(dialog, kTransparency) + L" image=" + itemText(dialog, kImagePath) +
           L" text=" + itemText(dialog, kWatermarkText) + L" size=" + itemText(dialog, kTextSize) +
           L" angle=" + itemText(dialog, kTextAngle);
}

// What the watcher saw of a dialog, checked after it closed.
struct Seen {
    HWND owner = nullptr;
    RECT rect{};
    std::wstring text;  // what the row's action read off the dialog
};

struct DialogRow {
    const char* what;
    const wchar_t* method;
    std::vector<std::wstring> args;
    const wchar_t* caption;  // the dialog's window text; empty: the first dialog shown
    std::function<void(HWND, Seen&)> act;
    std::function<void(ControlWindowTest&, const VARIANT&, const Seen&)> check;
};

std::wstring resultText(const VARIANT& v) {
    if (V_VT(&v) == VT_I2) return L"I2 " + std::to_wstring(V_I2(&v));
    if (V_VT(&v) == VT_BSTR) return L"text \"" + std::wstring(V_BSTR(&v), SysStringLen(V_BSTR(&v))) + L"\"";
    if (V_VT(&v) == VT_EMPTY) return L"empty";
    return L"type " + std::to_wstring(V_VT(&v));
}

std::wstring longPath(const std::wstring& path) {
    wchar_t buffer[MAX_PATH] = {};
    const DWORD n = GetLongPathNameW(path.c_str(), buffer, MAX_PATH);
    std::wstring result = n > 0 && n < MAX_PATH ? std::wstring(buffer, n) : path;
    while (result.size() > 3 && (result.back() == L'\\' || result.back() == L'/')) result.pop_back();
    return result;
}

class ControlDialogsTest : public ControlWindowTest {
protected:
    // Calls the method while a watcher answers its dialog.
    void run(const DialogRow& row) {
        SCOPED_TRACE(row.what);
        std::vector<std::unique_ptr<Bstr>> texts;
        for (const auto& a : row.args) texts.push_back(std::make_unique<Bstr>(a));
        std::vector<VARIANT> args;
        for (const auto& t : texts) args.push_back(str(*t));
        Seen seen;
        ScopedVariant result;
        {
            DialogWatcher watcher(row.caption, [&](HWND dialog) {
                seen.owner = GetWindow(dialog, GW_OWNER);
                GetWindowRect(dialog, &seen.rect);
                row.act(dialog, seen);
            });
            EXPECT_EQ(call(row.method, args, result.get()), S_OK);
            EXPECT_TRUE(watcher.acted()) << "no dialog captioned \"" << narrow(row.caption) << "\" appeared";
        }
        row.check(*this, *result, seen);
    }
    // The watermark the control holds, as its dialog opens with it (then
    // cancelled).
    std::wstring watermarkShown() {
        std::wstring values = L"<no dialog>";
        {
            DialogWatcher watcher(L"Wartermark Setting", [&](HWND dialog) {
                values = watermarkValues(dialog);
                dialog_testing::press(dialog, IDCANCEL);
            });
            EXPECT_EQ(call(L"OpenWatermarkSetting", {}), S_OK);
        }
        return values;
    }
    std::wstring profile(std::wstring_view name) { return install_.file(L"profiles\\" + std::wstring(name) + L".ini"); }
};

TEST_F(ControlDialogsTest, MethodsOpenTheirDialogsAndTakeTheAnswers) {
    makeControl();
    ASSERT_FALSE(HasFatalFailure());
    ASSERT_EQ(activate(), S_OK);
    HWND host = host_.get();
    // Exported profiles carry the settings made before.
    ASSERT_EQ(call(L"SetResolution", {i2(150)}), S_OK);
    wchar_t system[MAX_PATH] = {};
    ASSERT_GT(GetSystemDirectoryW(system, MAX_PATH), 0u);
    // A folder that has long existed: the browser under Wine may still be
    // refreshing its tree for one made just before.
    const std::wstring chosenFolder = longPath(system);
    const std::wstring initialWatermark = watermarkShown();
    using namespace dialog_testing;

    const auto expectI2 = [](const VARIANT& v, short expected) {
        EXPECT_EQ(narrow(resultText(v)), narrow(L"I2 " + std::to_wstring(expected)));
    };
    const auto typeProfileName = [](const std::wstring& name, int button) {
        return [name, button](HWND dialog, Seen& seen) {
            seen.text = itemText(dialog, 231);
            typeInto(dialog, 230, name);
            press(dialog, button);
        };
    };
    const auto setWatermark = [](std::wstring transparency, std::wstring angle, int button) {
        return [=](HWND dialog, Seen& seen) {
            seen.text = watermarkValues(dialog);
            click(dialog, kTextType);
            click(dialog, kFirstPosition + 2);
            setItem(dialog, kTransparency, transparency);
            setItem(dialog, kWatermarkText, L"Dociva draft");
            setItem(dialog, kTextSize, L"48");
            setItem(dialog, kTextAngle, angle);
            press(dialog, button);
        };
    };
    const std::wstring shortMessage = L"Done.";
    const std::wstring longMessage(400, L'W');
    const auto answerAlert = [](int button) {
        return [button](HWND dialog, Seen&) { press(dialog, button); };
    };
    const auto chooseFolder = [chosenFolder](int button) {
        return [chosenFolder, button](HWND dialog, Seen& seen) {
            // The browser walks its tree while it opens: wait for its
            // title line before selecting.
            for (int i = 0; i < 250 && !childWithText(dialog, L"Select folder:"); ++i) Sleep(20);
            seen.text = childWithText(dialog, L"Select folder:") ? L"titled" : L"untitled";
            if (button == IDOK)
                SendMessageW(dialog, BFFM_SETSELECTIONW, TRUE, reinterpret_cast<LPARAM>(chosenFolder.c_str()));
            Sleep(200);
            press(dialog, button);
        };
    };

    const DialogRow rows[] = {
        {"ExportProfile: a typed name saves the settings under it", L"ExportProfile", {}, L"Profile",
         typeProfileName(L"Window export", IDOK),
         [&](ControlWindowTest&, const VARIANT& r, const Seen& seen) {
             expectI2(r, 0);
             EXPECT_EQ(seen.owner, host) << "the input box belongs to the page's window";
             EXPECT_EQ(narrow(seen.text), "Please enter a Profile name:");
             EXPECT_EQ(GetPrivateProfileIntW(L"ScanParams", L"ScanDpi", -1, profile(L"Window export").c_str()), 150);
             EXPECT_NE(sink_.last(u"OnProfileReady").find(L"\"name\":\"Window export\""), std::wstring::npos)
                 << narrow(sink_.last(u"OnProfileReady"));
         }},
        {"ExportProfile: Cancel saves nothing", L"ExportProfile", {}, L"Profile", typeProfileName(L"Cancelled", IDCANCEL),
         [&](ControlWindowTest&, const VARIANT& r, const Seen&) {
             expectI2(r, 1);
             EXPECT_EQ(GetFileAttributesW(profile(L"Cancelled").c_str()), INVALID_FILE_ATTRIBUTES);
         }},
        {"ExportProfile: OK without a name", L"ExportProfile", {}, L"Profile", typeProfileName(L"", IDOK),
         [&](ControlWindowTest&, const VARIANT& r, const Seen&) { expectI2(r, 2); }},
        {"OpenWatermarkSetting: OK keeps the values entered", L"OpenWatermarkSetting", {}, L"Wartermark Setting",
         setWatermark(L"77", L"45", IDOK),
         [&](ControlWindowTest&, const VARIANT& r, const Seen& seen) {
             EXPECT_EQ(V_VT(&r), VT_EMPTY) << "no result";
             EXPECT_EQ(seen.owner, host);
             EXPECT_EQ(narrow(seen.text), narrow(initialWatermark)) << "the dialog opens with the control's values";
             EXPECT_EQ(narrow(watermarkShown()),
                       "type=2 position=2 transparency=77 image= text=Dociva draft size=48 angle=45");
         }},
        {"OpenWatermarkSetting: transparency 300 and angle 400 keep the earlier ones", L"OpenWatermarkSetting", {},
         L"Wartermark Setting", setWatermark(L"300", L"400", IDOK),
         [&](ControlWindowTest&, const VARIANT&, const Seen&) {
             EXPECT_EQ(narrow(watermarkShown()),
                       "type=2 position=2 transparency=77 image= text=Dociva draft size=48 angle=45");
         }},
        {"OpenWatermarkSetting: Cancel keeps everything", L"OpenWatermarkSetting", {}, L"Wartermark Setting",
         [](HWND dialog, Seen&) {
             click(dialog, kImageType);
             click(dialog, kFirstPosition + 8);
             setItem(dialog, kTransparency, L"5");
             setItem(dialog, kImagePath, L"C:\\stamp.png");
             press(dialog, IDCANCEL);
         },
         [&](ControlWindowTest&, const VARIANT&, const Seen&) {
             EXPECT_EQ(narrow(watermarkShown()),
                       "type=2 position=2 transparency=77 image= text=Dociva draft size=48 angle=45");
         }},
        {"Alert: a short message, OK", L"Alert", {L"Window title", shortMessage}, L"Window title", answerAlert(IDOK),
         [&](ControlWindowTest&, const VARIANT& r, const Seen& seen) {
             expectI2(r, 0);
             EXPECT_EQ(seen.owner, nullptr) << "the alert has no owner";
             EXPECT_EQ(seen.rect.right - seen.rect.left, 300) << "a short message gets the narrowest alert";
         }},
        {"Alert: a long message widens it; closed without OK", L"Alert", {L"Long one", longMessage}, L"Long one",
         answerAlert(IDCANCEL),
         [&](ControlWindowTest&, const VARIANT& r, const Seen& seen) {
             expectI2(r, 0);
             EXPECT_GT(seen.rect.right - seen.rect.left, 300) << "the message was not measured";
             EXPECT_LE(seen.rect.right - seen.rect.left, 670);
         }},
        {"SelectFolder: the chosen folder", L"SelectFolder", {}, L"", chooseFolder(IDOK),
         [&](ControlWindowTest&, const VARIANT& r, const Seen& seen) {
             EXPECT_EQ(seen.owner, host) << "the browser belongs to the page's window";
             EXPECT_EQ(narrow(seen.text), "titled");
             ASSERT_EQ(V_VT(&r), VT_BSTR) << narrow(resultText(r));
             EXPECT_EQ(narrow(longPath(std::wstring(V_BSTR(&r), SysStringLen(V_BSTR(&r))))), narrow(chosenFolder));
         }},
        {"SelectFolder: Cancel gives an empty text", L"SelectFolder", {}, L"", chooseFolder(IDCANCEL),
         [&](ControlWindowTest&, const VARIANT& r, const Seen&) { EXPECT_EQ(narrow(resultText(r)), "text \"\""); }},
    };
    for (const DialogRow& row : rows) run(row);
}

}  // namespace
