// The plug-in inside a real browser window (Windows): the window's
// procedure is taken over while the instance lives and given back after,
// messages the plug-in does not handle still reach the browser's own
// procedure, and the control's dialog 101 sits inside the window and
// takes the scan run's private messages.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "control/docivaocx_ctrl.h"
#include "viewer/win32/viewer_ids.h"
#include "platform/system.h"
#include "platform/text.h"
#include "plugin_fixture.h"

namespace {

using namespace plugin_testing;

constexpr UINT kBrowsersOwnMessage = WM_USER + 77;
constexpr LRESULT kBrowsersAnswer = 4242;

// The browser's procedure: counts what reaches it.
struct BrowserWindowLog {
    int own = 0;
    int ncDestroy = 0;
};

LRESULT CALLBACK browserProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* log = reinterpret_cast<BrowserWindowLog*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (log && message == kBrowsersOwnMessage) {
        ++log->own;
        return kBrowsersAnswer;
    }
    if (log && message == WM_NCDESTROY) ++log->ncDestroy;
    return DefWindowProcW(window, message, wParam, lParam);
}

// Someone else's subclass put on top of the plug-in's.
WNDPROC laterPrevious = nullptr;
LRESULT CALLBACK laterProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return CallWindowProcW(laterPrevious, window, message, wParam, lParam);
}

class BrowserWindow {
public:
    BrowserWindow() {
        WNDCLASSW c{};
        c.lpfnWndProc = browserProcedure;
        c.hInstance = GetModuleHandleW(nullptr);
        c.lpszClassName = L"DocivaTestBrowserWindow";
        RegisterClassW(&c);  // a second registration fails harmlessly
        window_ = CreateWindowExW(0, c.lpszClassName, L"page", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, 0, 0, 700, 840,
                                  nullptr, nullptr, c.hInstance, nullptr);
        error_ = window_ ? 0 : GetLastError();
        if (window_) SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&log_));
        // Shown, as a page is: hidden windows are never painted.
        if (window_) ShowWindow(window_, SW_SHOWNOACTIVATE);
    }
    ~BrowserWindow() {
        if (window_ && IsWindow(window_)) DestroyWindow(window_);
    }
    BrowserWindow(const BrowserWindow&) = delete;
    BrowserWindow& operator=(const BrowserWindow&) = delete;

    HWND get() const { return window_; }
    DWORD error() const { return error_; }
    const BrowserWindowLog& log() const { return log_; }
    LONG_PTR procedure() const { return GetWindowLongPtrW(window_, GWLP_WNDPROC); }

private:
    HWND window_ = nullptr;
    DWORD error_ = 0;
    BrowserWindowLog log_;
};

void pumpMessages() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

class PluginWindowTest : public PluginTest {
protected:
    void SetUp() override {
        PluginTest::SetUp();
        if (!window_.get())
            GTEST_SKIP() << "no top-level window here (error " << window_.error()
                         << "): run under a display (Xvfb) to check the plug-in's window";
    }
    BrowserWindow window_;
};

TEST_F(PluginWindowTest, TheProcedureIsOursWhileTheInstanceLivesAndTheBrowsersAfter) {
    const LONG_PTR original = window_.procedure();
    ASSERT_EQ(original, reinterpret_cast<LONG_PTR>(&browserProcedure));
    ASSERT_EQ(create(), NPERR_NO_ERROR);
    ASSERT_EQ(setWindow(window_.get()), NPERR_NO_ERROR);
    EXPECT_NE(window_.procedure(), original) << "SetWindow puts the plug-in's procedure in";

    EXPECT_EQ(SendMessageW(window_.get(), kBrowsersOwnMessage, 0, 0), kBrowsersAnswer)
        << "a message the plug-in does not handle reaches the browser's procedure";
    EXPECT_EQ(window_.log().own, 1);
    // Painting goes through the plug-in's procedure without disturbing the rest.
    InvalidateRect(window_.get(), nullptr, TRUE);
    UpdateWindow(window_.get());
    pumpMessages();

    const LONG_PTR ours = window_.procedure();
    EXPECT_EQ(setWindow(window_.get()), NPERR_NO_ERROR);
    EXPECT_EQ(window_.procedure(), ours) << "a second SetWindow changes nothing";

    destroy();
    EXPECT_EQ(window_.procedure(), original) << "NPP_Destroy gives the browser its procedure back";
    EXPECT_EQ(SendMessageW(window_.get(), kBrowsersOwnMessage, 0, 0), kBrowsersAnswer);
    EXPECT_EQ(window_.log().own, 2);
}

TEST_F(PluginWindowTest, TheControlsDialogFillsTheWindowAndTakesTheScanMessages) {
    ASSERT_EQ(create(), NPERR_NO_ERROR);
    ASSERT_EQ(setWindow(window_.get()), NPERR_NO_ERROR);
    NPObject* object = scriptable();
    ASSERT_NE(object, nullptr);
    const np::ControlDialog* dialog = shellOf(object).dialog();
    ASSERT_NE(dialog, nullptr);
    const auto hdlg = static_cast<HWND>(dialog->handle());
    ASSERT_TRUE(IsWindow(hdlg));
    EXPECT_EQ(GetParent(hdlg), window_.get());
    EXPECT_TRUE(GetWindowLongW(hdlg, GWL_STYLE) & WS_CHILD);
    EXPECT_TRUE(GetWindowLongW(hdlg, GWL_STYLE) & WS_VISIBLE) << "shown (the page window itself is not)";
    RECT parent{}, child{};
    GetClientRect(window_.get(), &parent);
    GetWindowRect(hdlg, &child);
    EXPECT_EQ(child.right - child.left, parent.right) << "the dialog has the window's width";
    EXPECT_EQ(child.bottom - child.top, parent.bottom) << "and its height";

    // The viewer's window has taken the static window's place and id.
    const auto viewer = static_cast<HWND>(dialog->viewerWindow());
    ASSERT_TRUE(IsWindow(viewer));
    EXPECT_EQ(GetParent(viewer), hdlg);
    EXPECT_EQ(GetDlgItem(hdlg, IDC_VIEWER_CANVAS), viewer);
    wchar_t className[32] = {};
    GetClassNameW(viewer, className, 32);
    EXPECT_STRNE(className, L"Static") << "the static window is still there";
    EXPECT_TRUE(GetWindowLongW(viewer, GWL_STYLE) & WS_VISIBLE);
    POINT corner{0, 0};
    MapWindowPoints(viewer, hdlg, &corner, 1);
    EXPECT_EQ(corner.x, 0);
    EXPECT_EQ(corner.y, 0);

    // 2025 after a file reached the viewer: the four button reports, raised
    // on this thread as the control's own window would raise them.
    page_.calls.clear();
    SendMessageW(hdlg, WM_VIEWER_CHANGED, 0, 0);
    EXPECT_EQ(page_.callsOf("OnUIButtonStatusChange").size(), 4u);

    browser_.releaseObject(object);
    destroy();
    EXPECT_FALSE(IsWindow(hdlg)) << "the dialog goes with the object";
}

TEST_F(PluginWindowTest, TheViewerFollowsTheDialogsSize) {
    ASSERT_EQ(create(), NPERR_NO_ERROR);
    ASSERT_EQ(setWindow(window_.get()), NPERR_NO_ERROR);
    NPObject* object = scriptable();
    const auto hdlg = static_cast<HWND>(shellOf(object).dialog()->handle());
    const auto viewer = static_cast<HWND>(shellOf(object).dialog()->viewerWindow());
    ASSERT_TRUE(IsWindow(hdlg) && IsWindow(viewer));
    const struct {
        const char* name;
        int width, height;
    } rows[] = {{"smaller", 500, 600}, {"wider than the viewer's first size", 900, 700}, {"back", 665, 800}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        MoveWindow(hdlg, 0, 0, row.width, row.height, TRUE);
        pumpMessages();
        RECT area{};
        GetClientRect(viewer, &area);
        EXPECT_EQ(area.right, row.width);
        EXPECT_EQ(area.bottom, row.height);
        POINT corner{0, 0};
        MapWindowPoints(viewer, hdlg, &corner, 1);
        EXPECT_EQ(corner.x, 0);
        EXPECT_EQ(corner.y, 0);
    }
    browser_.releaseObject(object);
    destroy();
}

TEST_F(PluginWindowTest, TheDialogLogsItsSizeAndAPaintOfTheWindowRedrawsTheViewer) {
    ASSERT_EQ(create(), NPERR_NO_ERROR);
    std::vector<std::u16string> lines;
    {
        platform::ScopedDebugCapture capture([&](std::u16string_view line) { lines.emplace_back(line); });
        ASSERT_EQ(setWindow(window_.get()), NPERR_NO_ERROR);
    }
    RECT area{};
    GetClientRect(window_.get(), &area);
    const std::u16string expected = text::format(u"l:0 t:0 r:%d b:%d ---- W:%d H:%d", area.right, area.bottom,
                                                  area.right, area.bottom);
    EXPECT_NE(std::find(lines.begin(), lines.end(), expected), lines.end())
        << "no line " << text::toUtf8(expected) << " when the dialog took the window's size";

    NPObject* object = scriptable();
    const auto viewer = static_cast<HWND>(shellOf(object).dialog()->viewerWindow());
    ASSERT_TRUE(IsWindow(viewer));
    pumpMessages();
    ValidateRect(viewer, nullptr);
    ASSERT_FALSE(GetUpdateRect(viewer, nullptr, FALSE));
    // The dialog covers the whole window, so only a paint the browser
    // asks for itself reaches the window's procedure.
    SendMessageW(window_.get(), WM_PAINT, 0, 0);
    EXPECT_TRUE(GetUpdateRect(viewer, nullptr, FALSE)) << "the window's paint marks the viewer for redrawing";
    pumpMessages();
    browser_.releaseObject(object);
}

TEST_F(PluginWindowTest, AWindowDestroyedBeforeTheInstanceLeavesNothingBehind) {
    ASSERT_EQ(create(), NPERR_NO_ERROR);
    ASSERT_EQ(setWindow(window_.get()), NPERR_NO_ERROR);
    DestroyWindow(window_.get());
    EXPECT_EQ(window_.log().ncDestroy, 1) << "the browser's procedure still sees its window go";
    destroy();  // nothing left to give back; must not touch the dead window
}

TEST_F(PluginWindowTest, AProcedurePutOnTopOfOursKeepsItsChainAfterDestroy) {
    ASSERT_EQ(create(), NPERR_NO_ERROR);
    ASSERT_EQ(setWindow(window_.get()), NPERR_NO_ERROR);
    laterPrevious = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(window_.get(), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&laterProcedure)));
    destroy();
    EXPECT_EQ(window_.procedure(), reinterpret_cast<LONG_PTR>(&laterProcedure)) << "not ours to take off";
    EXPECT_EQ(SendMessageW(window_.get(), kBrowsersOwnMessage, 0, 0), kBrowsersAnswer)
        << "the chain still ends in the browser's procedure";
    EXPECT_EQ(window_.log().own, 1);
    SetWindowLongPtrW(window_.get(), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(laterPrevious));
}

}  // namespace
