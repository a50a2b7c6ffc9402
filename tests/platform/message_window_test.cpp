#include "platform/message_window.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/sync.h"
#include "platform/system.h"
#include "support/test_support.h"

namespace {

using platform::MessageWindow;
using platform::WaitResult;
using Clock = std::chrono::steady_clock;

// Only a guard against a hang: a correct run never comes near it.
constexpr std::uint32_t kHangGuardMs = 60000;
constexpr auto kHangGuard = std::chrono::milliseconds(kHangGuardMs);

constexpr std::uint32_t kFirst = platform::kFirstWindowMessage;
constexpr std::uint32_t kLast = platform::kLastWindowMessage;
constexpr std::uint32_t kMessage = kFirst + 100;

struct Call {
    std::uint32_t message;
    std::uintptr_t wParam;
    std::intptr_t lParam;
    bool onOwner;
};

// A window whose handler records every call; `answer` gives the result.
struct Recorder {
    std::vector<Call> calls;
    std::function<std::intptr_t(std::uint32_t, std::uintptr_t, std::intptr_t)> answer;
    std::unique_ptr<MessageWindow> window;

    Recorder() {
        window = MessageWindow::create([this](std::uint32_t m, std::uintptr_t w, std::intptr_t l) -> std::intptr_t {
            calls.push_back({m, w, l, window && window->isOwnerThread()});
            return answer ? answer(m, w, l) : 0;
        });
    }

    std::vector<std::uint32_t> messages() const {
        std::vector<std::uint32_t> out;
        for (const Call& c : calls) out.push_back(c.message);
        return out;
    }
};

// Pumps until done() holds; false when the guard ran out first.
template <typename Done>
bool pumpUntil(MessageWindow& w, Done done, std::size_t* handled = nullptr) {
    const Clock::time_point deadline = Clock::now() + kHangGuard;
    while (!done()) {
        if (Clock::now() > deadline) return false;
        const std::size_t n = w.pump(10);
        if (handled) *handled += n;
    }
    return true;
}

// Waits, without pumping, until a message is queued (a sender on another
// thread has got as far as the queue).
bool waitUntilPending(const MessageWindow& w) {
    const Clock::time_point deadline = Clock::now() + kHangGuard;
    while (!w.hasPending()) {
        if (Clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

// Runs body on another thread; finish() waits for it within the guard.
class Worker {
public:
    template <typename Body>
    explicit Worker(Body body) {
        started_ = thread_.start([body]() mutable {
            body();
            return 0u;
        });
    }
    bool started() const { return started_; }
    bool finish() { return thread_.wait(kHangGuardMs) == WaitResult::Signalled; }

private:
    platform::Thread thread_;
    bool started_ = false;
};

TEST(MessageWindow, SendFromAnotherThreadWaitsForThePumpAndGivesTheResult) {
    struct Row {
        const char* name;
        std::uint32_t message;
        std::uintptr_t wParam;
        std::intptr_t lParam;
    };
    const Row rows[] = {
        {"first number, zeros", kFirst, 0, 0},
        {"last number, extreme values", kLast, std::numeric_limits<std::uintptr_t>::max(),
         std::numeric_limits<std::intptr_t>::min()},
        {"negative lParam", kMessage, 1, -1},
        {"largest lParam", kMessage + 1, std::numeric_limits<std::uintptr_t>::max() / 3,
         std::numeric_limits<std::intptr_t>::max()},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        Recorder rec;
        ASSERT_TRUE(rec.window);
        // Mixes all three in, so that a parameter lost on the way shows.
        rec.answer = [](std::uint32_t m, std::uintptr_t w, std::intptr_t l) {
            return static_cast<std::intptr_t>(w * 31u + m) ^ l;
        };
        const std::intptr_t expected = rec.answer(r.message, r.wParam, r.lParam);

        std::atomic<bool> returned{false};
        std::intptr_t got = 0;
        Worker sender([&] {
            got = rec.window->send(r.message, r.wParam, r.lParam);
            returned = true;
        });
        ASSERT_TRUE(sender.started());
        ASSERT_TRUE(waitUntilPending(*rec.window));
        // Nothing has pumped yet, so the sender must still be waiting.
        EXPECT_FALSE(returned.load());
        EXPECT_TRUE(rec.calls.empty());

        std::size_t handled = 0;
        ASSERT_TRUE(pumpUntil(*rec.window, [&] { return returned.load(); }, &handled));
        ASSERT_TRUE(sender.finish());
        EXPECT_EQ(got, expected);
        EXPECT_EQ(handled, 1u);
        ASSERT_EQ(rec.calls.size(), 1u);
        EXPECT_EQ(rec.calls[0].message, r.message);
        EXPECT_EQ(rec.calls[0].wParam, r.wParam);
        EXPECT_EQ(rec.calls[0].lParam, r.lParam);
        EXPECT_TRUE(rec.calls[0].onOwner);
    }
}

TEST(MessageWindow, SendOnTheOwnerThreadRunsAtOnce) {
    Recorder rec;
    ASSERT_TRUE(rec.window);
    rec.answer = [](std::uint32_t, std::uintptr_t w, std::intptr_t l) { return static_cast<std::intptr_t>(w) - l; };
    EXPECT_EQ(rec.window->send(kMessage, 10, 3), 7);
    EXPECT_EQ(rec.window->port()->send(kMessage + 1, 10, 4), 6);
    ASSERT_EQ(rec.calls.size(), 2u);
    EXPECT_TRUE(rec.calls[0].onOwner);
    // Nothing was queued, so pumping finds nothing to count.
    EXPECT_FALSE(rec.window->hasPending());
    EXPECT_EQ(rec.window->pump(0), 0u);
    EXPECT_EQ(rec.calls.size(), 2u);
}

TEST(MessageWindow, SentMessagesGoBeforePostedOnesWhichKeepTheirOrder) {
    Recorder rec;
    ASSERT_TRUE(rec.window);
    for (std::uint32_t i = 1; i <= 5; ++i) ASSERT_TRUE(rec.window->post(kMessage + i, i, 0));

    platform::Event aboutToSend;
    ASSERT_TRUE(aboutToSend.create(true, false));
    std::atomic<bool> returned{false};
    Worker sender([&] {
        aboutToSend.set();
        rec.window->send(kMessage, 0, 0);
        returned = true;
    });
    ASSERT_TRUE(sender.started());
    ASSERT_EQ(aboutToSend.wait(kHangGuardMs), WaitResult::Signalled);
    // The posted messages already make hasPending true, so nothing shows
    // when the sent one is queued; a sender a few instructions from the
    // queue gets there long before this.
    std::this_thread::sleep_for(std::chrono::milliseconds(250));

    ASSERT_TRUE(pumpUntil(*rec.window, [&] { return returned.load() && rec.calls.size() >= 6; }));
    ASSERT_TRUE(sender.finish());
    const std::vector<std::uint32_t> expected = {kMessage,     kMessage + 1, kMessage + 2,
                                                 kMessage + 3, kMessage + 4, kMessage + 5};
    EXPECT_EQ(rec.messages(), expected);
}

TEST(MessageWindow, HandlerPostsAndSendsToItsOwnWindow) {
    Recorder rec;
    ASSERT_TRUE(rec.window);
    std::vector<std::string> trace;
    std::intptr_t nestedResult = 0;
    rec.answer = [&](std::uint32_t m, std::uintptr_t, std::intptr_t) -> std::intptr_t {
        switch (m - kMessage) {
        case 0:
            trace.push_back("A begins");
            EXPECT_TRUE(rec.window->post(kMessage + 1, 0, 0));
            nestedResult = rec.window->send(kMessage + 2, 0, 0);
            trace.push_back("A ends");
            return 0;
        case 1:
            trace.push_back("B (posted by A)");
            return 0;
        case 2:
            trace.push_back("C (sent by A)");
            return 7;
        }
        return 0;
    };
    ASSERT_TRUE(rec.window->post(kMessage, 0, 0));
    ASSERT_TRUE(pumpUntil(*rec.window, [&] { return trace.size() >= 4; }));
    const std::vector<std::string> expected = {"A begins", "C (sent by A)", "A ends", "B (posted by A)"};
    EXPECT_EQ(trace, expected);
    EXPECT_EQ(nestedResult, 7);
    EXPECT_FALSE(rec.window->hasPending());
}

TEST(MessageWindow, HandlerThatKeepsPostingToItselfLetsPumpReturn) {
    if (testing_support::onWindows()) {
        GTEST_SKIP() << "the thread's message loop on Windows handles what handlers post in the same call";
    }
    Recorder rec;
    ASSERT_TRUE(rec.window);
    rec.answer = [&](std::uint32_t m, std::uintptr_t w, std::intptr_t) -> std::intptr_t {
        rec.window->post(m, w + 1, 0);
        return 0;
    };
    ASSERT_TRUE(rec.window->post(kMessage, 0, 0));
    for (int round = 1; round <= 3; ++round) {
        SCOPED_TRACE(round);
        EXPECT_EQ(rec.window->pump(0), 1u);
        EXPECT_TRUE(rec.window->hasPending());
    }
}

TEST(MessageWindow, IdlePumpReturnsNothingOnceTheTimeIsUp) {
    Recorder rec;
    ASSERT_TRUE(rec.window);
    for (const std::uint32_t timeoutMs : {0u, 1u, 100u}) {
        SCOPED_TRACE(timeoutMs);
        const Clock::time_point start = Clock::now();
        EXPECT_EQ(rec.window->pump(timeoutMs), 0u);
        const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
        // Loose on purpose: only a pump that did not wait at all fails it.
        EXPECT_GE(elapsed.count(), static_cast<long long>(timeoutMs / 2));
    }
    EXPECT_TRUE(rec.calls.empty());
}

TEST(MessageWindow, WaitingPumpWakesForAMessageFromAnotherThread) {
    struct Row {
        const char* name;
        bool send;
    };
    const Row rows[] = {{"posted", false}, {"sent", true}};
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        Recorder rec;
        ASSERT_TRUE(rec.window);
        rec.answer = [](std::uint32_t, std::uintptr_t, std::intptr_t) -> std::intptr_t { return 5; };
        std::intptr_t got = 0;
        Worker other([&] {
            // Gives the owner time to be waiting in pump.
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            if (r.send) {
                got = rec.window->send(kMessage, 1, 2);
            } else {
                got = rec.window->post(kMessage, 1, 2) ? 5 : 0;
            }
        });
        ASSERT_TRUE(other.started());
        const Clock::time_point start = Clock::now();
        EXPECT_EQ(rec.window->pump(kHangGuardMs), 1u);
        // A pump that missed the wake-up sits out the whole time limit.
        EXPECT_LT(Clock::now() - start, kHangGuard / 2);
        ASSERT_TRUE(other.finish());
        EXPECT_EQ(got, 5);
        EXPECT_EQ(rec.calls.size(), 1u);
    }
}

TEST(MessageWindow, HasPendingTracksTheQueueWithoutHandlingIt) {
    Recorder rec;
    ASSERT_TRUE(rec.window);
    EXPECT_FALSE(rec.window->hasPending());

    ASSERT_TRUE(rec.window->post(kMessage, 0, 0));
    EXPECT_TRUE(rec.window->hasPending());
    EXPECT_TRUE(rec.calls.empty());
    EXPECT_EQ(rec.window->pump(0), 1u);
    EXPECT_FALSE(rec.window->hasPending());

    std::atomic<bool> returned{false};
    Worker sender([&] {
        rec.window->send(kMessage + 1, 0, 0);
        returned = true;
    });
    ASSERT_TRUE(sender.started());
    ASSERT_TRUE(waitUntilPending(*rec.window));
    // Looking must not have handed the sent message to the handler.
    EXPECT_TRUE(rec.window->hasPending());
    EXPECT_EQ(rec.calls.size(), 1u);
    EXPECT_FALSE(returned.load());
    ASSERT_TRUE(pumpUntil(*rec.window, [&] { return returned.load(); }));
    ASSERT_TRUE(sender.finish());
    EXPECT_FALSE(rec.window->hasPending());
    EXPECT_EQ(rec.calls.size(), 2u);
}

TEST(MessageWindow, EndingTheWindowReleasesWaitingSendersAndDropsPosted) {
    struct Row {
        const char* name;
        bool destroy;  // else close() and keep the object
    };
    const Row rows[] = {{"destroyed", true}, {"closed", false}};
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        Recorder rec;
        ASSERT_TRUE(rec.window);
        rec.answer = [](std::uint32_t, std::uintptr_t, std::intptr_t) -> std::intptr_t { return 99; };
        const std::shared_ptr<platform::MessagePort> port = rec.window->port();

        std::atomic<std::intptr_t> got{-1};
        Worker sender([&] { got = port->send(kMessage, 0, 0); });
        ASSERT_TRUE(sender.started());
        ASSERT_TRUE(waitUntilPending(*rec.window)) << "the send gave " << got.load();
        ASSERT_TRUE(rec.window->post(kMessage + 1, 0, 0));
        ASSERT_TRUE(rec.window->post(kMessage + 2, 0, 0));

        if (r.destroy) {
            rec.window.reset();
        } else {
            rec.window->close();
        }
        ASSERT_TRUE(sender.finish()) << "a sender was left waiting";
        EXPECT_EQ(got.load(), 0);

        // Whatever still arrives is refused, from any thread.
        EXPECT_FALSE(port->post(kMessage, 0, 0));
        EXPECT_EQ(port->send(kMessage, 0, 0), 0);
        std::intptr_t late = -1;
        Worker lateSender([&] { late = port->send(kMessage, 0, 0); });
        ASSERT_TRUE(lateSender.started());
        ASSERT_TRUE(lateSender.finish());
        EXPECT_EQ(late, 0);
        if (!r.destroy) {
            EXPECT_FALSE(rec.window->post(kMessage, 0, 0));
            EXPECT_EQ(rec.window->send(kMessage, 0, 0), 0);
            EXPECT_FALSE(rec.window->hasPending());
            EXPECT_EQ(rec.window->pump(0), 0u);
            EXPECT_EQ(rec.window->nativeHandle(), nullptr);
        }
        EXPECT_TRUE(rec.calls.empty());
    }
}

TEST(MessageWindow, ManyThreadsSendingAtOnceEachGetTheirOwnAnswer) {
    constexpr std::uintptr_t kThreads = 8;
    constexpr std::intptr_t kRounds = 150;
    Recorder rec;
    ASSERT_TRUE(rec.window);
    std::vector<std::intptr_t> lastPosted(kThreads, -1);
    bool postedInOrder = true;
    rec.answer = [&](std::uint32_t m, std::uintptr_t w, std::intptr_t l) -> std::intptr_t {
        if (m == kMessage + 1) {
            // Each thread's posts keep their order among the others'.
            if (l != lastPosted[w] + 1) postedInOrder = false;
            lastPosted[w] = l;
            return 0;
        }
        return static_cast<std::intptr_t>(w) * 1000000 + l;
    };

    std::atomic<std::uintptr_t> finished{0};
    std::atomic<int> wrongAnswers{0};
    std::vector<std::unique_ptr<Worker>> workers;
    for (std::uintptr_t t = 0; t < kThreads; ++t) {
        workers.push_back(std::make_unique<Worker>([&, t] {
            for (std::intptr_t i = 0; i < kRounds; ++i) {
                if (!rec.window->post(kMessage + 1, t, i)) ++wrongAnswers;
                if (rec.window->send(kMessage, t, i) != static_cast<std::intptr_t>(t) * 1000000 + i) ++wrongAnswers;
            }
            ++finished;
        }));
        ASSERT_TRUE(workers.back()->started());
    }
    std::size_t handled = 0;
    ASSERT_TRUE(pumpUntil(*rec.window, [&] { return finished.load() == kThreads; }, &handled));
    // The last posts may still wait behind the last answers.
    ASSERT_TRUE(pumpUntil(*rec.window, [&] { return !rec.window->hasPending(); }, &handled));
    for (auto& w : workers) ASSERT_TRUE(w->finish());

    EXPECT_EQ(wrongAnswers.load(), 0);
    EXPECT_TRUE(postedInOrder);
    EXPECT_EQ(handled, 2 * kThreads * kRounds);
    EXPECT_EQ(rec.calls.size(), 2 * kThreads * kRounds);
    for (std::uintptr_t t = 0; t < kThreads; ++t) EXPECT_EQ(lastPosted[t], kRounds - 1) << "thread " << t;
}

TEST(MessageWindow, PortStaysSafeWhileAndAfterTheWindowGoes) {
    Recorder rec;
    ASSERT_TRUE(rec.window);
    rec.answer = [](std::uint32_t, std::uintptr_t, std::intptr_t) -> std::intptr_t { return 1; };
    std::atomic<int> delivered{0};
    std::atomic<bool> refused{false};
    // Keeps posting and sending through the port until the window refuses;
    // the window goes away somewhere in the middle of that.
    Worker other([&, port = rec.window->port()] {
        while (port->post(kMessage, 0, 0)) {
            if (port->send(kMessage + 1, 0, 0) == 1) ++delivered;
        }
        refused = port->send(kMessage + 1, 0, 0) == 0;
    });
    ASSERT_TRUE(other.started());
    ASSERT_TRUE(pumpUntil(*rec.window, [&] { return delivered.load() >= 20; }));
    rec.window.reset();
    ASSERT_TRUE(other.finish());
    EXPECT_TRUE(refused.load());
}

TEST(MessageWindow, HandlerMayDestroyItsWindow) {
    Recorder rec;
    ASSERT_TRUE(rec.window);
    const std::shared_ptr<platform::MessagePort> port = rec.window->port();
    rec.answer = [&](std::uint32_t m, std::uintptr_t, std::intptr_t) -> std::intptr_t {
        if (m == kMessage) rec.window.reset();
        return 0;
    };
    ASSERT_TRUE(rec.window->post(kMessage, 0, 0));
    ASSERT_TRUE(rec.window->post(kMessage + 1, 0, 0));
    EXPECT_EQ(rec.window->pump(0), 1u);
    EXPECT_TRUE(rec.window == nullptr);
    EXPECT_EQ(rec.calls.size(), 1u);
    EXPECT_FALSE(port->post(kMessage, 0, 0));
}

TEST(MessageWindow, MessagesOutsideTheRangeAreRefused) {
    struct Row {
        const char* name;
        std::uint32_t message;
        bool taken;
    };
    const Row rows[] = {
        {"zero", 0, false},
        {"just below", kFirst - 1, false},
        {"first", kFirst, true},
        {"last", kLast, true},
        {"just above", kLast + 1, false},
        {"largest", 0xFFFFFFFFu, false},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        Recorder rec;
        ASSERT_TRUE(rec.window);
        rec.answer = [](std::uint32_t, std::uintptr_t, std::intptr_t) -> std::intptr_t { return 1; };
        platform::setLastError(0);
        EXPECT_EQ(rec.window->post(r.message, 0, 0), r.taken);
        if (!r.taken) {
            EXPECT_NE(platform::lastError(), 0u);
        }
        EXPECT_EQ(rec.window->send(r.message, 0, 0), r.taken ? 1 : 0);
        std::intptr_t fromOther = -1;
        if (r.taken) {
            Worker sender([&] { fromOther = rec.window->send(r.message, 0, 0); });
            ASSERT_TRUE(sender.started());
            ASSERT_TRUE(pumpUntil(*rec.window, [&] { return rec.calls.size() >= 3; }));
            ASSERT_TRUE(sender.finish());
            EXPECT_EQ(fromOther, 1);
        } else {
            Worker sender([&] { fromOther = rec.window->send(r.message, 0, 0); });
            ASSERT_TRUE(sender.started());
            ASSERT_TRUE(sender.finish()) << "a refused message must not wait for the pump";
            EXPECT_EQ(fromOther, 0);
            EXPECT_EQ(rec.window->pump(0), 0u);
            EXPECT_TRUE(rec.calls.empty());
        }
    }
}

TEST(MessageWindow, BelongsToTheThreadThatMadeIt) {
    EXPECT_TRUE(MessageWindow::create(nullptr) == nullptr);

    Recorder rec;
    ASSERT_TRUE(rec.window);
    EXPECT_TRUE(rec.window->isOwnerThread());
    EXPECT_EQ(rec.window->nativeHandle() != nullptr, testing_support::onWindows());
    EXPECT_TRUE(rec.window->port() == rec.window->port());

    ASSERT_TRUE(rec.window->post(kMessage, 0, 0));
    bool ownerElsewhere = true;
    std::size_t pumpedElsewhere = 1;
    Worker other([&] {
        ownerElsewhere = rec.window->isOwnerThread();
        // Pumping here would run the handler on the wrong thread.
        pumpedElsewhere = rec.window->pump(0);
    });
    ASSERT_TRUE(other.started());
    ASSERT_TRUE(other.finish());
    EXPECT_FALSE(ownerElsewhere);
    EXPECT_EQ(pumpedElsewhere, 0u);
    EXPECT_TRUE(rec.calls.empty());
    EXPECT_EQ(rec.window->pump(0), 1u);
}

}  // namespace
