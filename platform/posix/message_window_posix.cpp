#include "platform/message_window.h"

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <new>
#include <thread>
#include <utility>

#include "platform/sync.h"

namespace platform {

namespace {

bool inRange(std::uint32_t message) { return message >= kFirstWindowMessage && message <= kLastWindowMessage; }

struct Posted {
    std::uint32_t message;
    std::uintptr_t wParam;
    std::intptr_t lParam;
};

// Lives on the sender's stack: the sender cannot leave send() before done
// is set, so the queue may point at it.
struct Sent {
    Posted content;
    std::intptr_t result = 0;
    bool done = false;
};

// Everything other threads reach. Ports and waiting senders keep it alive,
// so a call that races the window's end finds `closed` instead of freed
// memory.
struct Queue {
    explicit Queue(MessageWindow::Handler h)
        : owner(std::this_thread::get_id()), handler(std::make_shared<const MessageWindow::Handler>(std::move(h))) {}

    const std::thread::id owner;

    std::mutex mutex;
    std::condition_variable arrived;   // the owner, idle in pump
    std::condition_variable answered;  // senders
    std::deque<Sent*> sent;
    std::deque<Posted> posted;
    bool closed = false;

    // Touched by the owner thread only. Callers copy it before calling, so a
    // handler that destroys the window is not destroyed while it runs.
    std::shared_ptr<const MessageWindow::Handler> handler;

    bool owned() const { return std::this_thread::get_id() == owner; }
    bool queued() const { return !sent.empty() || !posted.empty(); }

    // Owner thread.
    void close() {
        {
            std::lock_guard lock(mutex);
            if (closed) return;
            closed = true;
            posted.clear();
            for (Sent* s : sent) s->done = true;  // result stays 0
            sent.clear();
        }
        answered.notify_all();
        // Ports may keep the queue alive on other threads; the handler's
        // captures must still go on this one.
        handler.reset();
    }
};

// Hands the handler's result to the waiting sender however the handler
// leaves, so that no sender is left waiting for an answer that never comes.
class Answer {
public:
    Answer(Queue& q, Sent& s) : queue_(q), sent_(s) {}
    ~Answer() {
        {
            std::lock_guard lock(queue_.mutex);
            sent_.result = result;
            sent_.done = true;
        }
        queue_.answered.notify_all();
    }
    Answer(const Answer&) = delete;
    Answer& operator=(const Answer&) = delete;

    std::intptr_t result = 0;

private:
    Queue& queue_;
    Sent& sent_;
};

class PosixPort final : public MessagePort {
public:
    explicit PosixPort(std::shared_ptr<Queue> q) : queue_(std::move(q)) {}

    bool post(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) override {
        if (!inRange(message)) {
            errno = EINVAL;
            return false;
        }
        Queue& q = *queue_;
        {
            std::lock_guard lock(q.mutex);
            if (q.closed) {
                errno = EBADF;
                return false;
            }
            try {
                q.posted.push_back({message, wParam, lParam});
            } catch (const std::bad_alloc&) {
                errno = ENOMEM;
                return false;
            }
        }
        q.arrived.notify_one();
        return true;
    }

    std::intptr_t send(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) override {
        if (!inRange(message)) {
            errno = EINVAL;
            return 0;
        }
        Queue& q = *queue_;
        if (q.owned()) {
            // Waiting for our own pump would never end; Windows calls the
            // window procedure directly here too.
            const auto handler = q.handler;
            if (q.closed || !handler) {
                errno = EBADF;
                return 0;
            }
            return (*handler)(message, wParam, lParam);
        }
        Sent record{{message, wParam, lParam}};
        std::unique_lock lock(q.mutex);
        if (q.closed) {
            errno = EBADF;
            return 0;
        }
        try {
            q.sent.push_back(&record);
        } catch (const std::bad_alloc&) {
            errno = ENOMEM;
            return 0;
        }
        q.arrived.notify_one();
        q.answered.wait(lock, [&record] { return record.done; });
        return record.result;
    }

private:
    const std::shared_ptr<Queue> queue_;
};

class PosixMessageWindow final : public MessageWindow {
public:
    explicit PosixMessageWindow(Handler handler)
        : queue_(std::make_shared<Queue>(std::move(handler))), port_(std::make_shared<PosixPort>(queue_)) {}
    ~PosixMessageWindow() override { queue_->close(); }

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
        if (!queue_->owned()) {
            errno = EPERM;
            return;
        }
        queue_->close();
    }

    bool hasPending() const override {
        std::lock_guard lock(queue_->mutex);
        return queue_->queued();
    }
    bool isOwnerThread() const override { return queue_->owned(); }
    void* nativeHandle() const override { return nullptr; }
    std::shared_ptr<MessagePort> port() const override { return port_; }

private:
    const std::shared_ptr<Queue> queue_;
    const std::shared_ptr<PosixPort> port_;
};

std::size_t PosixMessageWindow::pump(std::uint32_t timeoutMs) {
    if (!queue_->owned()) {
        errno = EPERM;
        return 0;
    }
    // From here on only locals: a handler may destroy the window.
    const std::shared_ptr<Queue> keep = queue_;
    Queue& q = *keep;
    const auto handler = q.handler;

    std::unique_lock lock(q.mutex);
    if (!q.queued()) {
        const auto ready = [&q] { return q.queued(); };
        if (timeoutMs == kWaitForever) {
            q.arrived.wait(lock, ready);
        } else if (!q.arrived.wait_for(lock, std::chrono::milliseconds(timeoutMs), ready)) {
            return 0;
        }
    }
    // Only what was posted before this point: a handler that keeps posting
    // to itself must still let pump return.
    std::size_t postedLeft = q.posted.size();
    std::size_t handled = 0;
    while (!q.closed) {
        if (!q.sent.empty()) {
            Sent& s = *q.sent.front();
            q.sent.pop_front();
            lock.unlock();
            {
                Answer answer(q, s);
                answer.result = (*handler)(s.content.message, s.content.wParam, s.content.lParam);
            }
        } else if (postedLeft > 0 && !q.posted.empty()) {
            const Posted p = q.posted.front();
            q.posted.pop_front();
            --postedLeft;
            lock.unlock();
            (*handler)(p.message, p.wParam, p.lParam);
        } else {
            break;
        }
        ++handled;
        lock.lock();
    }
    return handled;
}

}  // namespace

std::unique_ptr<MessageWindow> MessageWindow::create(Handler handler) {
    if (!handler) {
        errno = EINVAL;
        return nullptr;
    }
    return std::make_unique<PosixMessageWindow>(std::move(handler));
}

}  // namespace platform
