// A fixed set of worker threads that run requests in the order they were
// posted. Every step and every failure is reported to a TP::Logger; no
// operation throws.
//
// Thread safety: PostRequest may be called from any thread at any time.
// Create and Destroy belong to the pool's owner and must not run at the same
// time as each other. Destroy called from inside a request fails instead of
// waiting for its own thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <string_view>
#include <vector>

#include "platform/sync.h"
#include "threadpool/abstract_request.h"
#include "threadpool/logger.h"

namespace TP {

class ThreadPool {
public:
    static constexpr std::uint16_t kMaxThreads = 64;

    ThreadPool();
    // Destroys a pool that is still created.
    ~ThreadPool();
    ThreadPool(const ThreadPool&) = delete;
    ThreadPool& operator=(const ThreadPool&) = delete;

    // Starts threadCount (1..64) workers. A null logger selects the built-in
    // one, which writes to the debugger output. The logger must outlive the
    // pool or the next Create.
    bool Create(std::uint16_t threadCount, Logger* logger);

    // On true the pool has taken the request (request is left empty) and
    // will run it, or destroy it unrun if the pool is destroyed first. On
    // false request is left untouched and still belongs to the caller.
    bool PostRequest(std::unique_ptr<AbstractRequest>&& request);

    // Destroys the queued requests unrun, lets a running request finish and
    // ends every worker.
    bool Destroy();

    bool IsCreated() const;
    // True when no request is queued and none is running (any thread; the
    // answer may be stale by the time the caller acts on it).
    bool IsIdle() const;
    std::uint16_t ThreadCount() const;

private:
    static std::uint32_t ThreadProc(ThreadPool* pool);

    bool AddThreads();
    bool NotifyThread();
    bool ProcessRequests();
    bool WaitForRequest();
    std::unique_ptr<AbstractRequest> PopRequest();
    bool EndTurn(bool announcePending);
    bool CancelRequests();
    bool DestroyPool();

    bool created() const { return !threads_.empty(); }
    bool isDestroying() const;
    void logError(std::u16string_view message) const noexcept;
    void logInfo(std::u16string_view message) const noexcept;
    static void logTo(Logger* logger, bool error, std::uint16_t active, std::u16string_view message) noexcept;

    // Everything below is guarded by lock_; active_ is atomic only so that
    // records can show it without taking the lock.
    std::uint8_t destroying_ = 0;
    std::uint16_t threadCount_ = 0;
    std::uint16_t notified_ = 0;
    std::atomic<std::uint16_t> active_{0};
    std::uint16_t pending_ = 0;
    platform::Semaphore semaphore_;
    std::vector<platform::Thread> threads_;
    std::deque<std::unique_ptr<AbstractRequest>> requests_;
    mutable platform::CriticalSection lock_;
    Logger defaultLogger_;
    std::atomic<Logger*> logger_;
};

}  // namespace TP
