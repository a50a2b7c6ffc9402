// Threads and synchronisation objects with the semantics of their Win32
// counterparts: a recursive critical section, a counting semaphore with a
// maximum, events, and threads that can be waited on with a time limit.
//
// Every call that can fail returns false (or WaitResult::Failed) and leaves
// the reason in platform::lastError() of the calling thread.
//
// Thread safety: the objects exist to be shared; every operation may be
// called from any thread while the object lives. create/close/start and
// destruction belong to the owner and must not race with other calls.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>

namespace platform {

// Waits with this time limit never time out.
inline constexpr std::uint32_t kWaitForever = 0xFFFFFFFFu;

enum class WaitResult { Signalled, TimedOut, Failed };

// A recursive lock (CRITICAL_SECTION / std::recursive_mutex). Meets the
// Lockable requirements, so std::lock_guard and std::unique_lock take it.
class CriticalSection {
public:
    CriticalSection();
    ~CriticalSection();
    CriticalSection(const CriticalSection&) = delete;
    CriticalSection& operator=(const CriticalSection&) = delete;

    void lock();
    void unlock();
    bool try_lock();

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// A counting semaphore whose count never exceeds its maximum: a release
// that would push it past the maximum fails and leaves the count alone.
class Semaphore {
public:
    Semaphore();
    ~Semaphore();
    Semaphore(Semaphore&&) noexcept;
    Semaphore& operator=(Semaphore&&) noexcept;

    // Replaces any semaphore held before. Needs 0 <= initial <= maximum and
    // maximum >= 1.
    bool create(std::int32_t initial, std::int32_t maximum);
    bool valid() const;
    // False when nothing was held or the handle could not be closed.
    bool close();

    // Raises the count by count (>= 1); previous, when given, receives the
    // count before the release.
    bool release(std::int32_t count, std::int32_t* previous = nullptr);
    // Takes one unit of the count, waiting at most timeoutMs for one.
    WaitResult wait(std::uint32_t timeoutMs);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// A manual-reset event stays signalled until reset and releases every
// waiter; an auto-reset event releases one waiter and resets itself.
class Event {
public:
    Event();
    ~Event();
    Event(Event&&) noexcept;
    Event& operator=(Event&&) noexcept;

    bool create(bool manualReset, bool initiallySignalled);
    bool valid() const;
    bool close();

    bool set();
    bool reset();
    WaitResult wait(std::uint32_t timeoutMs);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// A thread of the process (CreateThread / std::thread). It starts runnable
// with the platform's default stack. Destroying or closing the object does
// not stop the thread: an unfinished thread runs on, detached.
class Thread {
public:
    Thread();
    ~Thread();
    Thread(Thread&&) noexcept;
    Thread& operator=(Thread&&) noexcept;

    // Runs body on a new thread; its result becomes the exit code. An
    // exception that leaves body ends the thread with kUncaughtException.
    // False when a thread is already held or none could be created.
    bool start(std::function<std::uint32_t()> body);
    bool valid() const;
    // Waits for the thread to end. A thread waiting for itself fails at
    // once instead of waiting forever.
    WaitResult wait(std::uint32_t timeoutMs);
    // Releases the handle (joins the thread when it has ended).
    bool close();

    static constexpr std::uint32_t kUncaughtException = 0xE0000001u;

private:
    friend WaitResult waitForAll(std::span<Thread> threads, std::uint32_t timeoutMs);
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// Waits until every thread that was started has ended; threads never
// started (or already closed) are skipped. Fails at once when the calling
// thread is one of them.
WaitResult waitForAll(std::span<Thread> threads, std::uint32_t timeoutMs);

}  // namespace platform
