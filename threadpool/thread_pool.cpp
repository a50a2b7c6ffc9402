#include "threadpool/thread_pool.h"

#include <mutex>
#include <new>
#include <stdexcept>
#include <utility>

#include "platform/system.h"

namespace TP {

using Guard = std::lock_guard<platform::CriticalSection>;

ThreadPool::ThreadPool() : logger_(&defaultLogger_) {}

ThreadPool::~ThreadPool() {
    bool stillCreated = false;
    {
        Guard guard(lock_);
        stillCreated = created();
    }
    if (stillCreated && !Destroy()) logError(u"Destroy() failed");
}

bool ThreadPool::IsIdle() const {
    Guard guard(lock_);
    return requests_.empty() && active_.load() == 0;
}

bool ThreadPool::IsCreated() const {
    Guard guard(lock_);
    return created();
}

std::uint16_t ThreadPool::ThreadCount() const {
    Guard guard(lock_);
    return threadCount_;
}

// --- logging ---------------------------------------------------------------

void ThreadPool::logTo(Logger* logger, bool error, std::uint16_t active, std::u16string_view message) noexcept {
    // A sink that fails must not turn a report into a second failure.
    try {
        if (error) {
            logger->LogError(active, message);
        } else {
            logger->LogInfo(active, message);
        }
    } catch (...) {
    }
}

void ThreadPool::logError(std::u16string_view message) const noexcept {
    logTo(logger_.load(), true, active_.load(), message);
}

void ThreadPool::logInfo(std::u16string_view message) const noexcept {
    logTo(logger_.load(), false, active_.load(), message);
}

bool ThreadPool::isDestroying() const {
    Guard guard(lock_);
    return destroying_ != 0;
}

// --- Create ----------------------------------------------------------------

bool ThreadPool::Create(std::uint16_t threadCount, Logger* logger) {
    Logger* const chosen = logger ? logger : &defaultLogger_;
    try {
        {
            Guard guard(lock_);
            if (created()) {
                // Running workers keep the logger they were started with;
                // the caller's logger may not live as long as they do.
                logTo(chosen, true, active_.load(), u"ThreadPool already created");
                return false;
            }
            logger_.store(chosen);
            if (threadCount == 0) {
                logError(u"Minimum allowed thread count is one");
                return false;
            }
            if (threadCount > kMaxThreads) {
                logError(u"Maximum allowed thread count is 64");
                return false;
            }
            logInfo(u"Thread pool creation requested");
            active_.store(0);
            notified_ = 0;
            pending_ = 0;
            // Cleared before the workers start rather than after: a worker
            // woken by an early post must not take the last Destroy's flag
            // for its own exit signal.
            destroying_ = 0;
            threadCount_ = threadCount;
            if (!semaphore_.create(0, threadCount)) {
                logError(u"Semaphore creation failed");
                threadCount_ = 0;
                return false;
            }
        }

        if (!AddThreads()) {
            logError(u"Threads creation failed");
            bool partlyCreated = false;
            {
                Guard guard(lock_);
                partlyCreated = created();
            }
            if (partlyCreated) {
                Destroy();
            } else {
                Guard guard(lock_);
                semaphore_.close();
                threadCount_ = 0;
            }
            return false;
        }

        logInfo(u"Thread pool created successfully");
        return true;
    } catch (...) {
        logTo(chosen, true, active_.load(), u"Exception occurred in Create()");
        return false;
    }
}

bool ThreadPool::AddThreads() {
    try {
        std::vector<platform::Thread> handles;
        std::uint16_t count = 0;
        {
            Guard guard(lock_);
            count = threadCount_;
        }
        try {
            handles.resize(count);
        } catch (const std::bad_alloc&) {
            logError(u"Memory allocation for thread handle failed");
            return false;
        }
        {
            // From here on the pool counts as created, so a failure below
            // is cleaned up by Destroy.
            Guard guard(lock_);
            threads_ = std::move(handles);
        }
        // Only Create and Destroy touch the elements, never concurrently.
        for (platform::Thread& t : threads_) {
            if (!t.start([this] { return ThreadProc(this); })) {
                logError(u"CreateThread failed");
                return false;
            }
        }
        return true;
    } catch (...) {
        logError(u"Exception occurred in AddThreads()");
        return false;
    }
}

// --- posting ---------------------------------------------------------------

bool ThreadPool::PostRequest(std::unique_ptr<AbstractRequest>&& request) {
    try {
        Guard guard(lock_);
        // Once Destroy has begun nothing new is accepted: no worker would
        // ever run it.
        if (!created() || destroying_) {
            logError(u"ThreadPool is destroyed or not created yet");
            return false;
        }
        if (!request) throw std::invalid_argument("null request");
        requests_.push_back(std::move(request));
        if (notified_ < threadCount_) {
            if (!NotifyThread()) {
                logError(u"NotifyThread failed");
                request = std::move(requests_.back());
                requests_.pop_back();
                return false;
            }
        } else {
            ++pending_;
        }
        return true;
    } catch (...) {
        logError(u"Exception occurred in PostRequest()");
        return false;
    }
}

// Called with lock_ held.
bool ThreadPool::NotifyThread() {
    try {
        if (!semaphore_.release(1)) {
            logError(u"ReleaseSemaphore failed");
            return false;
        }
        ++notified_;
        return true;
    } catch (...) {
        logError(u"Exception occurred in NotifyThread()");
        return false;
    }
}

// --- workers ---------------------------------------------------------------

std::uint32_t ThreadPool::ThreadProc(ThreadPool* pool) {
    if (!pool) return 1;
    try {
        if (!pool->ProcessRequests()) {
            pool->logError(u"ProcessRequests() failed");
            return 1;
        }
        return 0;
    } catch (...) {
        pool->logError(u"Exception occurred in ThreadProc()");
        return 1;
    }
}

bool ThreadPool::ProcessRequests() {
    bool inTurn = false;
    try {
        for (;;) {
            logInfo(u"Thread WAITING");
            if (!WaitForRequest()) {
                logError(u"WaitForRequest() failed");
                // Destroy waits for this thread; never spin past it.
                if (isDestroying()) return true;
                continue;
            }
            {
                Guard guard(lock_);
                active_.store(static_cast<std::uint16_t>(active_.load() + 1));
                inTurn = true;
            }
            logInfo(u"Thread ACTIVE");
            std::unique_ptr<AbstractRequest> request;
            {
                // The check and the pop are one step, as are the cancel and
                // the flag in Destroy: a worker either takes a request before
                // Destroy empties the queue or sees the flag.
                Guard guard(lock_);
                if (destroying_) {
                    logInfo(u"Thread EXITING");
                    active_.store(static_cast<std::uint16_t>(active_.load() - 1));
                    inTurn = false;
                    return true;
                }
                request = PopRequest();
            }
            if (!request) {
                logError(u"PopRequest failed");
                inTurn = false;
                if (EndTurn(false)) return true;
                continue;
            }

            int result = -1;
            try {
                result = request->Execute();
            } catch (...) {
                // A request that throws has failed like any other; the
                // worker and the requests queued behind it carry on.
                logError(u"Exception occurred in ProcessRequests()");
                result = -1;
            }
            request.reset();
            if (result != 0) logError(u"Request execution failed");

            inTurn = false;
            if (EndTurn(true)) return true;
        }
    } catch (...) {
        logError(u"Exception occurred in ProcessRequests()");
        if (inTurn) {
            Guard guard(lock_);
            active_.store(static_cast<std::uint16_t>(active_.load() - 1));
        }
        return false;
    }
}

// Ends a worker's turn. The check for Destroy and the end of the turn are
// one step under the lock: Destroy wakes exactly the workers that are not
// in a turn, so a worker that missed the flag while in its turn must not go
// back to waiting. True when the worker is to exit.
bool ThreadPool::EndTurn(bool announcePending) {
    Guard guard(lock_);
    if (destroying_) {
        logInfo(u"Thread EXITING");
        active_.store(static_cast<std::uint16_t>(active_.load() - 1));
        return true;
    }
    if (announcePending && pending_ > 0 && notified_ < threadCount_) {
        if (!NotifyThread()) {
            logError(u"NotifyThread failed");
        } else {
            --pending_;
        }
    }
    active_.store(static_cast<std::uint16_t>(active_.load() - 1));
    return false;
}

bool ThreadPool::WaitForRequest() {
    try {
        if (semaphore_.wait(platform::kWaitForever) != platform::WaitResult::Signalled) {
            logError(u"WaitForSingleObject failed");
            return false;
        }
        {
            Guard guard(lock_);
            if (notified_ > 0) --notified_;
        }
        platform::setLastError(0);
        return true;
    } catch (...) {
        logError(u"Exception occurred in WaitForRequest()");
        return false;
    }
}

std::unique_ptr<AbstractRequest> ThreadPool::PopRequest() {
    Guard guard(lock_);
    if (requests_.empty()) return nullptr;
    std::unique_ptr<AbstractRequest> first = std::move(requests_.front());
    requests_.pop_front();
    return first;
}

// --- Destroy ---------------------------------------------------------------

bool ThreadPool::Destroy() {
    try {
        {
            Guard guard(lock_);
            if (!created()) {
                logError(u"ThreadPool is already destroyed or not created yet");
                return false;
            }
        }

        CancelRequests();

        {
            Guard guard(lock_);
            destroying_ = 1;
            // Every worker outside a turn is waiting, or about to wait, for
            // one release; releases already outstanding count towards that.
            // Releasing more would overrun the semaphore's maximum whenever a
            // post had just woken a worker that has not taken its release.
            const int idle = static_cast<int>(threadCount_) - static_cast<int>(active_.load()) -
                             static_cast<int>(notified_);
            if (idle > 0) {
                if (!semaphore_.release(idle)) {
                    logError(u"Failed to release Semaphore");
                    return false;
                }
                notified_ = static_cast<std::uint16_t>(notified_ + idle);
            }
        }

        if (!DestroyPool()) {
            logError(u"Thread pool destruction failed");
            return false;
        }
        logInfo(u"Thread Pool destroyed successfully");
        return true;
    } catch (...) {
        logError(u"Exception occurred in Destroy()");
        return false;
    }
}

bool ThreadPool::CancelRequests() {
    try {
        std::deque<std::unique_ptr<AbstractRequest>> cancelled;
        {
            Guard guard(lock_);
            logInfo(u"Thread pool destroy requested");
            // Raised together with emptying the queue, so that nothing can be
            // posted or popped in between.
            destroying_ = 1;
            cancelled.swap(requests_);
        }
        // Destroyed here, outside the lock, unrun.
        return true;
    } catch (...) {
        logError(u"Exception occurred in CancelRequests()");
        return false;
    }
}

bool ThreadPool::DestroyPool() {
    try {
        if (platform::waitForAll(threads_, platform::kWaitForever) != platform::WaitResult::Signalled) {
            logError(u"WaitForMultipleObjects failed");
            return false;
        }
        for (platform::Thread& t : threads_) {
            if (t.valid() && !t.close()) {
                logError(u"CloseHandle failed for threads");
                return false;
            }
        }
        std::deque<std::unique_ptr<AbstractRequest>> leftovers;
        {
            Guard guard(lock_);
            threads_.clear();
            threads_.shrink_to_fit();
            threadCount_ = 0;
            // Anything that slipped in between the cancel and the flag is
            // still ours to destroy.
            leftovers.swap(requests_);
            if (!semaphore_.close()) {
                logError(u"CloseHandle failed for semaphore");
                return false;
            }
        }
        return true;
    } catch (...) {
        logError(u"Exception occurred in DestroyPool()");
        return false;
    }
}

}  // namespace TP
