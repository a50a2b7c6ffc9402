#include "platform/sync.h"

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>

namespace platform {

namespace {

using Clock = std::chrono::steady_clock;

// Waits on cv until ready() holds or the time limit passes; the lock is
// held on return either way.
template <typename Ready>
bool waitUntilReady(std::condition_variable& cv, std::unique_lock<std::mutex>& lock, std::uint32_t timeoutMs,
                    Ready ready) {
    if (timeoutMs == kWaitForever) {
        cv.wait(lock, ready);
        return true;
    }
    return cv.wait_for(lock, std::chrono::milliseconds(timeoutMs), ready);
}

std::uint32_t remainingMs(Clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left <= 0 ? 0u : static_cast<std::uint32_t>(left);
}

}  // namespace

// --- CriticalSection -------------------------------------------------------

struct CriticalSection::Impl {
    std::recursive_mutex mutex;
};

CriticalSection::CriticalSection() : impl_(std::make_unique<Impl>()) {}
CriticalSection::~CriticalSection() = default;
void CriticalSection::lock() { impl_->mutex.lock(); }
void CriticalSection::unlock() { impl_->mutex.unlock(); }
bool CriticalSection::try_lock() { return impl_->mutex.try_lock(); }

// --- Semaphore -------------------------------------------------------------

struct Semaphore::Impl {
    std::mutex mutex;
    std::condition_variable available;
    std::int32_t count = 0;
    std::int32_t maximum = 0;
};

Semaphore::Semaphore() = default;
Semaphore::~Semaphore() = default;
Semaphore::Semaphore(Semaphore&&) noexcept = default;
Semaphore& Semaphore::operator=(Semaphore&&) noexcept = default;

bool Semaphore::create(std::int32_t initial, std::int32_t maximum) {
    impl_.reset();
    if (maximum < 1 || initial < 0 || initial > maximum) {
        errno = EINVAL;
        return false;
    }
    impl_ = std::make_unique<Impl>();
    impl_->count = initial;
    impl_->maximum = maximum;
    return true;
}

bool Semaphore::valid() const { return impl_ != nullptr; }

bool Semaphore::close() {
    if (!impl_) {
        errno = EBADF;
        return false;
    }
    impl_.reset();
    return true;
}

bool Semaphore::release(std::int32_t count, std::int32_t* previous) {
    if (!impl_) {
        errno = EBADF;
        return false;
    }
    if (count < 1) {
        errno = EINVAL;
        return false;
    }
    {
        std::lock_guard lock(impl_->mutex);
        if (count > impl_->maximum - impl_->count) {
            errno = EOVERFLOW;
            return false;
        }
        if (previous) *previous = impl_->count;
        impl_->count += count;
    }
    if (count == 1) {
        impl_->available.notify_one();
    } else {
        impl_->available.notify_all();
    }
    return true;
}

WaitResult Semaphore::wait(std::uint32_t timeoutMs) {
    if (!impl_) {
        errno = EBADF;
        return WaitResult::Failed;
    }
    std::unique_lock lock(impl_->mutex);
    if (!waitUntilReady(impl_->available, lock, timeoutMs, [this] { return impl_->count > 0; })) {
        return WaitResult::TimedOut;
    }
    --impl_->count;
    return WaitResult::Signalled;
}

// --- Event -----------------------------------------------------------------

struct Event::Impl {
    std::mutex mutex;
    std::condition_variable changed;
    bool manualReset = false;
    bool signalled = false;
};

Event::Event() = default;
Event::~Event() = default;
Event::Event(Event&&) noexcept = default;
Event& Event::operator=(Event&&) noexcept = default;

bool Event::create(bool manualReset, bool initiallySignalled) {
    impl_ = std::make_unique<Impl>();
    impl_->manualReset = manualReset;
    impl_->signalled = initiallySignalled;
    return true;
}

bool Event::valid() const { return impl_ != nullptr; }

bool Event::close() {
    if (!impl_) {
        errno = EBADF;
        return false;
    }
    impl_.reset();
    return true;
}

bool Event::set() {
    if (!impl_) {
        errno = EBADF;
        return false;
    }
    {
        std::lock_guard lock(impl_->mutex);
        impl_->signalled = true;
    }
    if (impl_->manualReset) {
        impl_->changed.notify_all();
    } else {
        impl_->changed.notify_one();
    }
    return true;
}

bool Event::reset() {
    if (!impl_) {
        errno = EBADF;
        return false;
    }
    std::lock_guard lock(impl_->mutex);
    impl_->signalled = false;
    return true;
}

WaitResult Event::wait(std::uint32_t timeoutMs) {
    if (!impl_) {
        errno = EBADF;
        return WaitResult::Failed;
    }
    std::unique_lock lock(impl_->mutex);
    if (!waitUntilReady(impl_->changed, lock, timeoutMs, [this] { return impl_->signalled; })) {
        return WaitResult::TimedOut;
    }
    if (!impl_->manualReset) impl_->signalled = false;
    return WaitResult::Signalled;
}

// --- Thread ----------------------------------------------------------------

namespace {

// Outlives the Thread object when an unfinished thread is let go.
struct ThreadState {
    std::mutex mutex;
    std::condition_variable ended;
    bool done = false;
    std::uint32_t exitCode = 0;
};

}  // namespace

struct Thread::Impl {
    std::shared_ptr<ThreadState> state;
    std::thread thread;
};

Thread::Thread() = default;
Thread::~Thread() {
    if (impl_) close();
}
Thread::Thread(Thread&&) noexcept = default;
Thread& Thread::operator=(Thread&& other) noexcept {
    if (this != &other) {
        if (impl_) close();
        impl_ = std::move(other.impl_);
    }
    return *this;
}

bool Thread::start(std::function<std::uint32_t()> body) {
    if (impl_ || !body) {
        errno = EINVAL;
        return false;
    }
    auto impl = std::make_unique<Impl>();
    impl->state = std::make_shared<ThreadState>();
    try {
        impl->thread = std::thread([state = impl->state, body = std::move(body)] {
            std::uint32_t code = kUncaughtException;
            try {
                code = body();
            } catch (...) {
            }
            {
                std::lock_guard lock(state->mutex);
                state->exitCode = code;
                state->done = true;
            }
            state->ended.notify_all();
        });
    } catch (const std::system_error& e) {
        errno = e.code().value() ? e.code().value() : EAGAIN;
        return false;
    }
    impl_ = std::move(impl);
    return true;
}

bool Thread::valid() const { return impl_ != nullptr; }

WaitResult Thread::wait(std::uint32_t timeoutMs) {
    if (!impl_) {
        errno = EBADF;
        return WaitResult::Failed;
    }
    if (impl_->thread.get_id() == std::this_thread::get_id()) {
        errno = EDEADLK;
        return WaitResult::Failed;
    }
    ThreadState& s = *impl_->state;
    std::unique_lock lock(s.mutex);
    return waitUntilReady(s.ended, lock, timeoutMs, [&s] { return s.done; }) ? WaitResult::Signalled
                                                                              : WaitResult::TimedOut;
}

bool Thread::close() {
    if (!impl_) {
        errno = EBADF;
        return false;
    }
    bool done = false;
    {
        std::lock_guard lock(impl_->state->mutex);
        done = impl_->state->done;
    }
    if (impl_->thread.get_id() == std::this_thread::get_id() || !done) {
        impl_->thread.detach();
    } else {
        impl_->thread.join();
    }
    impl_.reset();
    return true;
}

WaitResult waitForAll(std::span<Thread> threads, std::uint32_t timeoutMs) {
    for (const Thread& t : threads) {
        if (t.impl_ && t.impl_->thread.get_id() == std::this_thread::get_id()) {
            errno = EDEADLK;
            return WaitResult::Failed;
        }
    }
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (Thread& t : threads) {
        if (!t.valid()) continue;
        const WaitResult r = t.wait(timeoutMs == kWaitForever ? kWaitForever : remainingMs(deadline));
        if (r != WaitResult::Signalled) return r;
    }
    return WaitResult::Signalled;
}

}  // namespace platform
