// Drives a modal dialog the test's own thread is running: a watcher thread
// waits for the dialog to appear among the thread's windows, then acts on
// it the way a user would (typing, clicking, pressing OK or Cancel).
//
// GoogleTest assertions are not made on the watcher thread: the action
// records what it saw and the test checks it once the dialog has closed.
#pragma once

#include <windows.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>

namespace dialog_testing {

class DialogWatcher {
public:
    using Action = std::function<void(HWND dialog)>;

    // caption: the dialog's window text; empty: the first dialog window of
    // the thread. A dialog that never appears, or one the action leaves
    // open, is closed after a while so that the test cannot hang.
    DialogWatcher(std::wstring caption, Action action);
    ~DialogWatcher();
    DialogWatcher(const DialogWatcher&) = delete;
    DialogWatcher& operator=(const DialogWatcher&) = delete;

    // After the dialog has closed: whether the action was run on it.
    bool acted() const { return acted_; }

private:
    void watch(DWORD thread);

    std::wstring caption_;
    Action action_;
    std::atomic<bool> acted_{false};
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

// A visible top-level window can be made here (no: Wine without a display).
bool displayAvailable();

// User actions, from the watcher thread.
void press(HWND dialog, int id);                   // a push button (click handled before it returns)
void click(HWND dialog, int id);                   // BM_CLICK (radio buttons: checks and notifies)
void setItem(HWND dialog, int id, const std::wstring& text);
void typeInto(HWND dialog, int id, const std::wstring& text);  // one WM_CHAR per character
std::wstring itemText(HWND dialog, int id);
std::wstring windowText(HWND window);

// A child window of dialog whose text equals text, ignoring case (null: none).
HWND childWithText(HWND dialog, const std::wstring& text);

// A control's rectangle in its dialog's client coordinates, and the same
// rectangle given in dialog units.
RECT itemRect(HWND dialog, int id);
RECT dialogUnits(HWND dialog, int x, int y, int width, int height);

std::string narrow(const std::wstring& s);

}  // namespace dialog_testing
