// The scan progress dialog's window on Windows (under Wine): CDocivaDialog
// with its view attached, checked through the real controls.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "dialog_watcher.h"
#include "dialogs/dialog_ids.h"
#include "dialogs/dociva_dialog.h"
#include "dialogs/progress_view.h"
#include "dialogs/win32/progress_view_win.h"
#include "dialogs/win32/window_support_win.h"

using namespace dialog_testing;
using dialogs::win32::ProgressViewWin;
using dialogs::win32::ScopedWindow;

namespace {

#define SKIP_WITHOUT_DISPLAY()                                                                                    \
    if (!displayAvailable()) GTEST_SKIP() << "no display: the progress window cannot be made here (Wine without " \
                                             "an X server; run under Xvfb)"

ScopedWindow makeOwner(int x, int y, int width, int height) {
    return ScopedWindow(CreateWindowExW(0, L"STATIC", L"owner", WS_POPUP | WS_CAPTION | WS_VISIBLE, x, y, width,
                                        height, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr));
}

POINT centre(HWND window) {
    RECT r{};
    GetWindowRect(window, &r);
    return {(r.left + r.right) / 2, (r.top + r.bottom) / 2};
}

// The progress dialog with its window, and what the controls show.
struct Progress {
    CDocivaDialog dialog;
    ProgressViewWin* view = nullptr;

    explicit Progress(HWND owner) {
        auto made = std::make_unique<ProgressViewWin>();
        view = made.get();
        EXPECT_TRUE(dialog.AttachView(std::move(made)));
        EXPECT_TRUE(dialog.Create(owner));
    }
    HWND window() const { return view->window(); }
    int barPos() const { return static_cast<int>(SendDlgItemMessageW(window(), IDC_PROGRESS_BAR, PBM_GETPOS, 0, 0)); }
    int barHigh() const {
        return static_cast<int>(SendDlgItemMessageW(window(), IDC_PROGRESS_BAR, PBM_GETRANGE, FALSE, 0));
    }
    std::string text() const { return narrow(itemText(window(), IDC_PROGRESS_TEXT)); }
};

TEST(ProgressWindow, IsMadeHiddenFromItsTemplate) {
    SKIP_WITHOUT_DISPLAY();
    ScopedWindow owner = makeOwner(100, 100, 600, 400);
    ASSERT_TRUE(owner);
    Progress progress(owner.get());
    ASSERT_NE(progress.window(), nullptr);
    EXPECT_FALSE(IsWindowVisible(progress.window()));
    EXPECT_EQ(GetWindow(progress.window(), GW_OWNER), owner.get());
    EXPECT_EQ(narrow(windowText(progress.window())), "Dociva");
    const auto style = static_cast<DWORD>(GetWindowLongPtrW(progress.window(), GWL_STYLE));
    EXPECT_TRUE(style & DS_SETFOREGROUND) << "added when it initialises, so a scan brings it to the front";
    EXPECT_FALSE(style & WS_SYSMENU) << "no close box";
    EXPECT_EQ(progress.text(), "");
    EXPECT_EQ(progress.barPos(), 0);
    EXPECT_FALSE(progress.dialog.Create(owner.get())) << "one window only";
}

TEST(ProgressWindow, ControlsShowWhatTheScanRunSets) {
    SKIP_WITHOUT_DISPLAY();
    ScopedWindow owner = makeOwner(100, 100, 600, 400);
    ASSERT_TRUE(owner);
    Progress progress(owner.get());
    struct Step {
        const char* what;
        int range;      // -1: not set in this step
        int position;   // -1: not set in this step
        const char16_t* text;
        int barPos, barHigh;
        const char* shown;
    } steps[] = {
        {"warm-up range and first second", 30, 1, u"Warming up 1", 1, 30, "Warming up 1"},
        {"next second", -1, 2, u"Warming up 2", 2, 30, "Warming up 2"},
        {"new range starts at 0", 5, -1, u"Scanning", 0, 5, "Scanning"},
        {"pages arrive", -1, 3, nullptr, 3, 5, "Scanning"},
        {"past the end the bar stays full", -1, 9, nullptr, 5, 5, "Scanning"},
        {"an empty range", 0, -1, u"paper end", 0, 0, "paper end"},
    };
    progress.dialog.Show(true);
    for (const Step& step : steps) {
        SCOPED_TRACE(step.what);
        if (step.range >= 0) progress.dialog.SetRange(step.range);
        if (step.position >= 0) progress.dialog.SetPos(step.position);
        if (step.text) progress.dialog.SetText(step.text);
        EXPECT_EQ(progress.barPos(), step.barPos);
        EXPECT_EQ(progress.barHigh(), step.barHigh);
        EXPECT_EQ(progress.text(), step.shown);
        // The queries answer what the bar shows.
        EXPECT_EQ(progress.dialog.GetPos(), step.barPos);
        std::int32_t low = -1, high = -1;
        progress.dialog.GetRange(&low, &high);
        EXPECT_EQ(low, 0);
        EXPECT_EQ(high, step.barHigh);
    }
}

TEST(ProgressWindow, ShowsCentredOnItsOwnerAndHidesBlank) {
    SKIP_WITHOUT_DISPLAY();
    ScopedWindow owner = makeOwner(80, 60, 700, 500);
    ASSERT_TRUE(owner);
    Progress progress(owner.get());
    struct Place {
        const char* what;
        int x, y, width, height;
    } places[] = {
        {"where it was made", 80, 60, 700, 500},
        {"owner moved and resized", 300, 200, 400, 300},
    };
    for (const Place& place : places) {
        SCOPED_TRACE(place.what);
        MoveWindow(owner.get(), place.x, place.y, place.width, place.height, FALSE);
        progress.dialog.SetRange(10);
        progress.dialog.SetPos(4);
        progress.dialog.SetText(u"Scanning");
        progress.dialog.Show(true);
        EXPECT_TRUE(IsWindowVisible(progress.window()));
        const POINT own = centre(progress.window());
        const POINT around = centre(owner.get());
        EXPECT_NEAR(own.x, around.x, 1);
        EXPECT_NEAR(own.y, around.y, 1);
        progress.dialog.Show(false);
        EXPECT_FALSE(IsWindowVisible(progress.window()));
        EXPECT_EQ(progress.barPos(), 0);
        EXPECT_EQ(progress.text(), "");
        EXPECT_EQ(progress.barHigh(), 10) << "the range is left to the next scan's first event";
    }
    progress.dialog.Destroy();
    EXPECT_FALSE(IsWindow(progress.view->window()));
    progress.dialog.SetText(u"ignored");  // no window: nothing happens
    EXPECT_EQ(progress.dialog.GetPos(), 0);
}

TEST(ProgressWindow, WithoutAUsableOwnerCentresOnTheScreen) {
    SKIP_WITHOUT_DISPLAY();
    // A message-only window (the control's own on Windows) cannot own a
    // visible one.
    ScopedWindow messageOnly(CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                             GetModuleHandleW(nullptr), nullptr));
    ASSERT_TRUE(messageOnly);
    for (HWND owner : {static_cast<HWND>(nullptr), messageOnly.get()}) {
        SCOPED_TRACE(owner ? "message-only owner" : "no owner");
        Progress progress(owner);
        ASSERT_NE(progress.window(), nullptr);
        EXPECT_EQ(GetWindow(progress.window(), GW_OWNER), nullptr);
        progress.dialog.Show(true);
        MONITORINFO monitor{};
        monitor.cbSize = sizeof(monitor);
        GetMonitorInfoW(MonitorFromWindow(progress.window(), MONITOR_DEFAULTTONEAREST), &monitor);
        const POINT own = centre(progress.window());
        EXPECT_NEAR(own.x, (monitor.rcWork.left + monitor.rcWork.right) / 2, 1);
        EXPECT_NEAR(own.y, (monitor.rcWork.top + monitor.rcWork.bottom) / 2, 1);
    }
}

}  // namespace

namespace {

TEST(ProgressWindow, TakesAnOwnerMadeAfterIt) {
    SKIP_WITHOUT_DISPLAY();
    CDocivaDialog dialog;
    ASSERT_TRUE(dialog.AttachView(makeProgressView()));
    ASSERT_TRUE(dialog.Create(nullptr));
    HWND window = FindWindowExW(nullptr, nullptr, L"#32770", L"Dociva");
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(GetWindowThreadProcessId(window, nullptr), GetCurrentThreadId());
    ScopedWindow owner = makeOwner(500, 400, 500, 300);
    ASSERT_TRUE(owner);
    // The control's visible window comes with in-place activation, after
    // the progress window was made.
    dialog.SetOwner(owner.get());
    EXPECT_EQ(GetWindow(window, GW_OWNER), owner.get());
    dialog.Show(true);
    const POINT own = centre(window);
    const POINT around = centre(owner.get());
    EXPECT_NEAR(own.x, around.x, 1);
    EXPECT_NEAR(own.y, around.y, 1);
    dialog.Show(false);
}

}  // namespace
