#include "dialog_watcher.h"

#include <chrono>
#include <vector>

namespace dialog_testing {

namespace {

constexpr auto kPatience = std::chrono::seconds(20);

struct Search {
    const std::wstring* caption;
    HWND found = nullptr;
};

bool isDialog(HWND window) {
    wchar_t name[16] = {};
    GetClassNameW(window, name, 16);
    return std::wstring(name) == L"#32770";
}

BOOL CALLBACK findDialog(HWND window, LPARAM lParam) {
    auto* search = reinterpret_cast<Search*>(lParam);
    if (!IsWindowVisible(window) || !isDialog(window)) return TRUE;
    if (!search->caption->empty() && windowText(window) != *search->caption) return TRUE;
    search->found = window;
    return FALSE;
}

BOOL CALLBACK closeDialog(HWND window, LPARAM) {
    if (isDialog(window)) PostMessageW(window, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    return TRUE;
}

struct TextSearch {
    const std::wstring* text;
    HWND found = nullptr;
};

BOOL CALLBACK findText(HWND window, LPARAM lParam) {
    auto* search = reinterpret_cast<TextSearch*>(lParam);
    if (lstrcmpiW(windowText(window).c_str(), search->text->c_str()) != 0) return TRUE;
    search->found = window;
    return FALSE;
}

}  // namespace

DialogWatcher::DialogWatcher(std::wstring caption, Action action)
    : caption_(std::move(caption)), action_(std::move(action)) {
    const DWORD thread = GetCurrentThreadId();
    thread_ = std::thread([this, thread] { watch(thread); });
}

DialogWatcher::~DialogWatcher() {
    stop_ = true;
    thread_.join();
}

void DialogWatcher::watch(DWORD thread) {
    const auto deadline = std::chrono::steady_clock::now() + kPatience;
    Search search{&caption_};
    while (!stop_ && std::chrono::steady_clock::now() < deadline) {
        EnumThreadWindows(thread, findDialog, reinterpret_cast<LPARAM>(&search));
        if (search.found) break;
        Sleep(20);
    }
    if (search.found) {
        // Set before the action: the action ends the dialog, and the test's
        // thread may ask acted() as soon as the dialog is gone, while this
        // thread is still returning from the message that closed it.
        acted_ = true;
        action_(search.found);
    }
    // Whatever is still open when patience runs out is cancelled, so a
    // failing case ends instead of waiting for the test's time limit.
    const auto closeBy = std::chrono::steady_clock::now() + kPatience;
    while (!stop_ && std::chrono::steady_clock::now() < closeBy) Sleep(20);
    while (!stop_) {
        EnumThreadWindows(thread, closeDialog, 0);
        Sleep(200);
    }
}

bool displayAvailable() {
    HWND probe = CreateWindowExW(0, L"STATIC", L"probe", WS_POPUP | WS_VISIBLE, 0, 0, 10, 10, nullptr, nullptr,
                                 GetModuleHandleW(nullptr), nullptr);
    if (!probe) return false;
    DestroyWindow(probe);
    return true;
}

void press(HWND dialog, int id) {
    // Sent, not posted: the click is handled (and the dialog ended) before
    // the watcher goes on, so no click can still be on its way when the
    // next dialog of the same thread opens.
    DWORD_PTR ignored = 0;
    SendMessageTimeoutW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                        reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)), SMTO_NORMAL, 10000, &ignored);
}

void click(HWND dialog, int id) { SendMessageW(GetDlgItem(dialog, id), BM_CLICK, 0, 0); }

void setItem(HWND dialog, int id, const std::wstring& text) { SetDlgItemTextW(dialog, id, text.c_str()); }

void typeInto(HWND dialog, int id, const std::wstring& text) {
    HWND edit = GetDlgItem(dialog, id);
    for (wchar_t c : text) SendMessageW(edit, WM_CHAR, c, 1);
}

std::wstring windowText(HWND window) {
    const int length = GetWindowTextLengthW(window);
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    const int copied = GetWindowTextW(window, text.data(), length + 1);
    text.resize(static_cast<std::size_t>(copied > 0 ? copied : 0));
    return text;
}

std::wstring itemText(HWND dialog, int id) { return windowText(GetDlgItem(dialog, id)); }

HWND childWithText(HWND dialog, const std::wstring& text) {
    TextSearch search{&text};
    EnumChildWindows(dialog, findText, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

RECT itemRect(HWND dialog, int id) {
    RECT r{};
    GetWindowRect(GetDlgItem(dialog, id), &r);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

RECT dialogUnits(HWND dialog, int x, int y, int width, int height) {
    // The dialog manager converts the position and the size each on its
    // own, so the far edge is the sum of two rounded values.
    RECT position{x, y, 0, 0};
    RECT size{width, height, 0, 0};
    MapDialogRect(dialog, &position);
    MapDialogRect(dialog, &size);
    return {position.left, position.top, position.left + size.left, position.top + size.top};
}

std::string narrow(const std::wstring& s) {
    if (s.empty()) return {};
    const int size = WideCharToMultiByte(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), out.data(), size, nullptr, nullptr);
    return out;
}

}  // namespace dialog_testing
