#include "platform/message_window.h"

#include <windows.h>

#include <mutex>
#include <utility>

#include "platform/scoped_handle.h"
#include "platform/sync.h"
#include "platform/win32/handles.h"
#include "platform/win32/module_win.h"

namespace platform {

namespace {

using win32::ScopedWindow;

constexpr wchar_t kClassName[] = L"DocivaMessageWindow";

bool inRange(std::uint32_t message) { return message >= kFirstWindowMessage && message <= kLastWindowMessage; }

// What the window procedure and the ports reach. Ports keep it alive, so a
// call that races the window's end finds hwnd null instead of freed memory.
struct Shared : std::enable_shared_from_this<Shared> {
    explicit Shared(MessageWindow::Handler h)
        : owner(GetCurrentThreadId()), handler(std::make_shared<const MessageWindow::Handler>(std::move(h))) {}

    const DWORD owner;

    // Null once closed. Posting happens under the lock, so no message is
    // posted to a handle the system may already have given to some other
    // window.
    std::mutex mutex;
    HWND hwnd = nullptr;

    // Owner thread only. Callers copy the handler before calling it, so a
    // handler that destroys the window is not destroyed while it runs.
    std::shared_ptr<const MessageWindow::Handler> handler;
    // Messages the window procedure gave the handler: pump reports how many
    // of them it brought in, including those other threads sent, which the
    // system hands over inside PeekMessage and never shows the loop.
    std::size_t handled = 0;

    bool owned() const { return GetCurrentThreadId() == owner; }
};

LRESULT CALLBACK windowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (!inRange(message)) return DefWindowProcW(hwnd, message, wParam, lParam);
    auto* raw = reinterpret_cast<Shared*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!raw) return 0;
    const std::shared_ptr<Shared> shared = raw->shared_from_this();
    const auto handler = shared->handler;
    if (!handler) return 0;
    ++shared->handled;
    return static_cast<LRESULT>(
        (*handler)(message, static_cast<std::uintptr_t>(wParam), static_cast<std::intptr_t>(lParam)));
}

// The class is registered for the module that holds this code and never
// unregistered: windows of it may live on other threads, and a copy of the
// module loaded again at another address has another instance, so it
// registers a class of its own.
HINSTANCE registerClass() {
    const HMODULE module = win32::moduleHandleOf();
    if (!module) return nullptr;
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = windowProc;
    wc.hInstance = module;
    wc.lpszClassName = kClassName;
    if (!RegisterClassExW(&wc) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) return nullptr;
    return module;
}

// Empties the thread's queue. True when WM_QUIT came up: it is put back for
// the loop that owns the thread, and pumping stops.
bool dispatchQueued() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(msg.wParam));
            return true;
        }
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return false;
}

class Win32Port final : public MessagePort {
public:
    explicit Win32Port(std::shared_ptr<Shared> s) : shared_(std::move(s)) {}

    bool post(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) override {
        if (!inRange(message)) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return false;
        }
        std::lock_guard lock(shared_->mutex);
        if (!shared_->hwnd) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return false;
        }
        return PostMessageW(shared_->hwnd, message, static_cast<WPARAM>(wParam), static_cast<LPARAM>(lParam)) !=
               FALSE;
    }

    std::intptr_t send(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) override {
        if (!inRange(message)) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return 0;
        }
        if (shared_->owned()) {
            // What SendMessageW would do on this thread, without counting it
            // as a message pump brought in.
            const auto handler = shared_->handler;
            if (!handler) {
                SetLastError(ERROR_INVALID_WINDOW_HANDLE);
                return 0;
            }
            return (*handler)(message, wParam, lParam);
        }
        HWND target = nullptr;
        {
            // Not held while waiting: the owner needs it to close the window,
            // and closing is what releases a waiting sender.
            std::lock_guard lock(shared_->mutex);
            target = shared_->hwnd;
        }
        if (!target) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return 0;
        }
        // A window destroyed after the look above makes this fail with 0,
        // as does one destroyed while the message waits.
        return static_cast<std::intptr_t>(
            SendMessageW(target, message, static_cast<WPARAM>(wParam), static_cast<LPARAM>(lParam)));
    }

private:
    const std::shared_ptr<Shared> shared_;
};

class Win32MessageWindow final : public MessageWindow {
public:
    Win32MessageWindow(ScopedWindow window, Handler handler)
        : shared_(std::make_shared<Shared>(std::move(handler))),
          port_(std::make_shared<Win32Port>(shared_)),
          window_(std::move(window)) {
        shared_->hwnd = window_.get();
        SetWindowLongPtrW(window_.get(), GWLP_USERDATA, reinterpret_cast<LONG_PTR>(shared_.get()));
    }
    ~Win32MessageWindow() override { shut(); }

    // The port is copied first: a sender still waiting when the window goes
    // away must not be left inside a freed port.
    bool post(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) override {
        const auto port = port_;
        return port->post(message, wParam, lParam);
    }
    std::intptr_t send(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) override {
        const auto port = port_;
        return port->send(message, wParam, lParam);
    }

    std::size_t pump(std::uint32_t timeoutMs) override;

    void close() override {
        if (!shared_->owned()) {
            SetLastError(ERROR_ACCESS_DENIED);
            return;
        }
        shut();
    }

    bool hasPending() const override {
        if (!window_) return false;
        // Not PeekMessage, not even with PM_NOREMOVE: it hands waiting sent
        // messages to the window procedure (Wine does so whatever the
        // PM_QS_ flags say), and looking must not handle anything. The
        // queue status covers the whole thread, as pump does.
        return HIWORD(GetQueueStatus(QS_SENDMESSAGE | QS_ALLPOSTMESSAGE)) != 0;
    }
    bool isOwnerThread() const override { return shared_->owned(); }
    void* nativeHandle() const override { return window_.get(); }
    std::shared_ptr<MessagePort> port() const override { return port_; }

private:
    // Destroying the window is what releases the threads waiting in
    // SendMessageW (they get 0) and drops what was posted to it.
    void shut() {
        if (!window_) return;
        {
            std::lock_guard lock(shared_->mutex);
            shared_->hwnd = nullptr;
        }
        SetWindowLongPtrW(window_.get(), GWLP_USERDATA, 0);
        window_.reset();
        shared_->handler.reset();
    }

    const std::shared_ptr<Shared> shared_;
    const std::shared_ptr<Win32Port> port_;
    ScopedWindow window_;
};

std::size_t Win32MessageWindow::pump(std::uint32_t timeoutMs) {
    if (!shared_->owned()) {
        SetLastError(ERROR_ACCESS_DENIED);
        return 0;
    }
    // From here on only locals: a handler may destroy the window.
    const std::shared_ptr<Shared> shared = shared_;
    const std::size_t before = shared->handled;
    bool quit = dispatchQueued();
    // Other windows of the thread may wake the wait without bringing
    // anything for this one; the wait goes on until the time is up.
    const ULONGLONG start = GetTickCount64();
    while (shared->handled == before && !quit) {
        DWORD wait = INFINITE;
        if (timeoutMs != kWaitForever) {
            const ULONGLONG spent = GetTickCount64() - start;
            if (spent >= timeoutMs) break;
            wait = static_cast<DWORD>(timeoutMs - spent);
        }
        // MWMO_INPUTAVAILABLE: messages that a look at the queue (hasPending,
        // another loop's PeekMessage) has already seen still end the wait.
        const DWORD r = MsgWaitForMultipleObjectsEx(0, nullptr, wait, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
        if (r == WAIT_FAILED) break;
        quit = dispatchQueued();
        if (r == WAIT_TIMEOUT) break;
    }
    return shared->handled - before;
}

}  // namespace

std::unique_ptr<MessageWindow> MessageWindow::create(Handler handler) {
    if (!handler) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    const HINSTANCE instance = registerClass();
    if (!instance) return nullptr;
    ScopedWindow window(CreateWindowExW(0, kClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, instance, nullptr));
    if (!window) return nullptr;
    return std::make_unique<Win32MessageWindow>(std::move(window), std::move(handler));
}

}  // namespace platform
