#include "platform/sync.h"

#include <windows.h>

#include <algorithm>
#include <utility>
#include <vector>

#include "platform/win32/handles.h"

namespace platform {

namespace {

using win32::ScopedKernelHandle;

// Closes the handle and reports whether the system accepted that.
bool closeReporting(ScopedKernelHandle& handle) {
    if (!handle) {
        SetLastError(ERROR_INVALID_HANDLE);
        return false;
    }
    return CloseHandle(handle.release()) != FALSE;
}

WaitResult waitResult(DWORD r, DWORD objects = 1) {
    if (r < WAIT_OBJECT_0 + objects) return WaitResult::Signalled;
    if (r == WAIT_TIMEOUT) return WaitResult::TimedOut;
    // An abandoned mutex is the only other success; none is waited on here.
    if (r != WAIT_FAILED) SetLastError(ERROR_INVALID_HANDLE);
    return WaitResult::Failed;
}

}  // namespace

// --- CriticalSection -------------------------------------------------------

struct CriticalSection::Impl {
    CRITICAL_SECTION section;
    Impl() { InitializeCriticalSection(&section); }
    ~Impl() { DeleteCriticalSection(&section); }
    Impl(const Impl&) = delete;
    Impl& operator=(const Impl&) = delete;
};

CriticalSection::CriticalSection() : impl_(std::make_unique<Impl>()) {}
CriticalSection::~CriticalSection() = default;
void CriticalSection::lock() { EnterCriticalSection(&impl_->section); }
void CriticalSection::unlock() { LeaveCriticalSection(&impl_->section); }
bool CriticalSection::try_lock() { return TryEnterCriticalSection(&impl_->section) != FALSE; }

// --- Semaphore -------------------------------------------------------------

struct Semaphore::Impl {
    ScopedKernelHandle handle;
};

Semaphore::Semaphore() = default;
Semaphore::~Semaphore() = default;
Semaphore::Semaphore(Semaphore&&) noexcept = default;
Semaphore& Semaphore::operator=(Semaphore&&) noexcept = default;

bool Semaphore::create(std::int32_t initial, std::int32_t maximum) {
    impl_.reset();
    HANDLE h = CreateSemaphoreW(nullptr, static_cast<LONG>(initial), static_cast<LONG>(maximum), nullptr);
    if (!h) return false;
    impl_ = std::make_unique<Impl>();
    impl_->handle.reset(h);
    return true;
}

bool Semaphore::valid() const { return impl_ != nullptr; }

bool Semaphore::close() {
    if (!impl_) {
        SetLastError(ERROR_INVALID_HANDLE);
        return false;
    }
    const bool ok = closeReporting(impl_->handle);
    impl_.reset();
    return ok;
}

bool Semaphore::release(std::int32_t count, std::int32_t* previous) {
    if (!impl_) {
        SetLastError(ERROR_INVALID_HANDLE);
        return false;
    }
    if (count < 1) {
        // Windows refuses it; not every implementation of the call does.
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    LONG before = 0;
    if (!ReleaseSemaphore(impl_->handle.get(), static_cast<LONG>(count), &before)) return false;
    if (previous) *previous = static_cast<std::int32_t>(before);
    return true;
}

WaitResult Semaphore::wait(std::uint32_t timeoutMs) {
    if (!impl_) {
        SetLastError(ERROR_INVALID_HANDLE);
        return WaitResult::Failed;
    }
    return waitResult(WaitForSingleObject(impl_->handle.get(), timeoutMs));
}

// --- Event -----------------------------------------------------------------

struct Event::Impl {
    ScopedKernelHandle handle;
};

Event::Event() = default;
Event::~Event() = default;
Event::Event(Event&&) noexcept = default;
Event& Event::operator=(Event&&) noexcept = default;

bool Event::create(bool manualReset, bool initiallySignalled) {
    impl_.reset();
    HANDLE h = CreateEventW(nullptr, manualReset ? TRUE : FALSE, initiallySignalled ? TRUE : FALSE, nullptr);
    if (!h) return false;
    impl_ = std::make_unique<Impl>();
    impl_->handle.reset(h);
    return true;
}

bool Event::valid() const { return impl_ != nullptr; }

bool Event::close() {
    if (!impl_) {
        SetLastError(ERROR_INVALID_HANDLE);
        return false;
    }
    const bool ok = closeReporting(impl_->handle);
    impl_.reset();
    return ok;
}

bool Event::set() {
    if (!impl_) {
        SetLastError(ERROR_INVALID_HANDLE);
        return false;
    }
    return SetEvent(impl_->handle.get()) != FALSE;
}

bool Event::reset() {
    if (!impl_) {
        SetLastError(ERROR_INVALID_HANDLE);
        return false;
    }
    return ResetEvent(impl_->handle.get()) != FALSE;
}

WaitResult Event::wait(std::uint32_t timeoutMs) {
    if (!impl_) {
        SetLastError(ERROR_INVALID_HANDLE);
        return WaitResult::Failed;
    }
    return waitResult(WaitForSingleObject(impl_->handle.get(), timeoutMs));
}

// --- Thread ----------------------------------------------------------------

namespace {

using ThreadBody = std::function<std::uint32_t()>;

DWORD WINAPI threadEntry(LPVOID parameter) {
    const std::unique_ptr<ThreadBody> body(static_cast<ThreadBody*>(parameter));
    try {
        return static_cast<DWORD>((*body)());
    } catch (...) {
        return Thread::kUncaughtException;
    }
}

}  // namespace

struct Thread::Impl {
    ScopedKernelHandle handle;
    DWORD id = 0;
};

Thread::Thread() = default;
Thread::~Thread() = default;
Thread::Thread(Thread&&) noexcept = default;
Thread& Thread::operator=(Thread&&) noexcept = default;

bool Thread::start(std::function<std::uint32_t()> body) {
    if (impl_ || !body) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    auto impl = std::make_unique<Impl>();
    auto owned = std::make_unique<ThreadBody>(std::move(body));
    HANDLE h = CreateThread(nullptr, 0, threadEntry, owned.get(), 0, &impl->id);
    if (!h) return false;
    owned.release();  // the new thread owns it now
    impl->handle.reset(h);
    impl_ = std::move(impl);
    return true;
}

bool Thread::valid() const { return impl_ != nullptr; }

WaitResult Thread::wait(std::uint32_t timeoutMs) {
    if (!impl_) {
        SetLastError(ERROR_INVALID_HANDLE);
        return WaitResult::Failed;
    }
    if (impl_->id == GetCurrentThreadId()) {
        SetLastError(ERROR_POSSIBLE_DEADLOCK);
        return WaitResult::Failed;
    }
    return waitResult(WaitForSingleObject(impl_->handle.get(), timeoutMs));
}

bool Thread::close() {
    if (!impl_) {
        SetLastError(ERROR_INVALID_HANDLE);
        return false;
    }
    const bool ok = closeReporting(impl_->handle);
    impl_.reset();
    return ok;
}

WaitResult waitForAll(std::span<Thread> threads, std::uint32_t timeoutMs) {
    std::vector<HANDLE> handles;
    handles.reserve(threads.size());
    const DWORD self = GetCurrentThreadId();
    for (const Thread& t : threads) {
        if (!t.impl_) continue;
        if (t.impl_->id == self) {
            SetLastError(ERROR_POSSIBLE_DEADLOCK);
            return WaitResult::Failed;
        }
        handles.push_back(t.impl_->handle.get());
    }
    // WaitForMultipleObjects takes at most MAXIMUM_WAIT_OBJECTS handles.
    const ULONGLONG start = GetTickCount64();
    for (std::size_t first = 0; first < handles.size(); first += MAXIMUM_WAIT_OBJECTS) {
        const DWORD n = static_cast<DWORD>(std::min<std::size_t>(MAXIMUM_WAIT_OBJECTS, handles.size() - first));
        DWORD limit = INFINITE;
        if (timeoutMs != kWaitForever) {
            const ULONGLONG spent = GetTickCount64() - start;
            limit = spent >= timeoutMs ? 0 : static_cast<DWORD>(timeoutMs - spent);
        }
        const WaitResult r = waitResult(WaitForMultipleObjects(n, handles.data() + first, TRUE, limit), n);
        if (r != WaitResult::Signalled) return r;
    }
    return WaitResult::Signalled;
}

}  // namespace platform
