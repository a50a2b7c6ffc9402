#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <vector>

#include "platform/sync.h"
#include "platform/system.h"

namespace {

using platform::WaitResult;

// Only a guard against a hang: a correct run never comes near it.
constexpr std::uint32_t kHangGuardMs = 60000;

TEST(Semaphore, ReleaseBeyondMaximumFailsAndKeepsTheCount) {
    struct Row {
        const char* name;
        std::int32_t initial, maximum, release;
        bool ok;
    };
    const Row rows[] = {
        {"up to the maximum", 0, 2, 2, true},
        {"one past the maximum", 0, 2, 3, false},
        {"full semaphore", 1, 1, 1, false},
        {"partly full, fits", 1, 3, 2, true},
        {"partly full, overflows", 2, 3, 2, false},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        platform::Semaphore s;
        ASSERT_TRUE(s.create(r.initial, r.maximum));
        std::int32_t previous = -1;
        EXPECT_EQ(s.release(r.release, &previous), r.ok);
        if (r.ok) {
            EXPECT_EQ(previous, r.initial);
        } else {
            EXPECT_NE(platform::lastError(), 0u);
        }
        // Exactly the count the semaphore should now hold can be taken.
        const std::int32_t expected = r.initial + (r.ok ? r.release : 0);
        for (std::int32_t i = 0; i < expected; ++i) EXPECT_EQ(s.wait(0), WaitResult::Signalled) << i;
        EXPECT_EQ(s.wait(0), WaitResult::TimedOut);
        EXPECT_TRUE(s.close());
        EXPECT_FALSE(s.valid());
    }
}

TEST(Semaphore, InvalidUseFails) {
    platform::Semaphore s;
    EXPECT_FALSE(s.release(1));
    EXPECT_EQ(s.wait(0), WaitResult::Failed);
    EXPECT_FALSE(s.close());
    EXPECT_FALSE(s.create(0, 0));
    EXPECT_FALSE(s.create(3, 2));
    ASSERT_TRUE(s.create(0, 1));
    EXPECT_FALSE(s.release(0));
}

TEST(Event, AutoResetReleasesOneWaitManualResetStays) {
    platform::Event autoReset;
    ASSERT_TRUE(autoReset.create(false, true));
    EXPECT_EQ(autoReset.wait(0), WaitResult::Signalled);
    EXPECT_EQ(autoReset.wait(0), WaitResult::TimedOut);

    platform::Event manual;
    ASSERT_TRUE(manual.create(true, false));
    EXPECT_EQ(manual.wait(0), WaitResult::TimedOut);
    ASSERT_TRUE(manual.set());
    EXPECT_EQ(manual.wait(0), WaitResult::Signalled);
    EXPECT_EQ(manual.wait(0), WaitResult::Signalled);
    ASSERT_TRUE(manual.reset());
    EXPECT_EQ(manual.wait(0), WaitResult::TimedOut);
}

TEST(CriticalSection, IsRecursiveAndExcludesOtherThreads) {
    platform::CriticalSection cs;
    cs.lock();
    cs.lock();  // the owner may enter again
    bool otherGotIt = true;
    platform::Thread t;
    ASSERT_TRUE(t.start([&] {
        otherGotIt = cs.try_lock();
        if (otherGotIt) cs.unlock();
        return 0u;
    }));
    ASSERT_EQ(t.wait(kHangGuardMs), WaitResult::Signalled);
    EXPECT_FALSE(otherGotIt);
    cs.unlock();
    cs.unlock();
    EXPECT_TRUE(cs.try_lock());
    cs.unlock();
}

TEST(Thread, WaitTimesOutWhileRunningAndSucceedsAfter) {
    platform::Event go;
    ASSERT_TRUE(go.create(true, false));
    platform::Thread t;
    ASSERT_TRUE(t.start([&] { return go.wait(kHangGuardMs) == WaitResult::Signalled ? 0u : 1u; }));
    EXPECT_FALSE(t.start([] { return 0u; }));  // one thread per object
    EXPECT_EQ(t.wait(0), WaitResult::TimedOut);
    ASSERT_TRUE(go.set());
    EXPECT_EQ(t.wait(kHangGuardMs), WaitResult::Signalled);
    EXPECT_TRUE(t.close());
    EXPECT_FALSE(t.valid());
    EXPECT_EQ(t.wait(0), WaitResult::Failed);
}

TEST(Thread, WaitingForItselfFailsInsteadOfHanging) {
    platform::Event started;
    ASSERT_TRUE(started.create(true, false));
    std::vector<platform::Thread> threads(1);
    WaitResult own = WaitResult::Signalled;
    WaitResult all = WaitResult::Signalled;
    ASSERT_TRUE(threads[0].start([&] {
        // The handle is only complete once start() has returned.
        if (started.wait(kHangGuardMs) != WaitResult::Signalled) return 1u;
        own = threads[0].wait(platform::kWaitForever);
        all = platform::waitForAll(threads, platform::kWaitForever);
        return 0u;
    }));
    ASSERT_TRUE(started.set());
    ASSERT_EQ(platform::waitForAll(threads, kHangGuardMs), WaitResult::Signalled);
    EXPECT_EQ(own, WaitResult::Failed);
    EXPECT_EQ(all, WaitResult::Failed);
}

TEST(Thread, WaitForAllCoversMoreThanOneSystemBatch) {
    // More threads than one WaitForMultipleObjects call takes, plus unused
    // slots, which are skipped.
    platform::Event go;
    ASSERT_TRUE(go.create(true, false));
    std::atomic<int> finished{0};
    std::vector<platform::Thread> threads(72);
    for (std::size_t i = 0; i < threads.size(); ++i) {
        if (i % 9 == 4) continue;
        ASSERT_TRUE(threads[i].start([&] {
            const bool ok = go.wait(kHangGuardMs) == WaitResult::Signalled;
            ++finished;
            return ok ? 0u : 1u;
        }));
    }
    EXPECT_EQ(platform::waitForAll(threads, 0), WaitResult::TimedOut);
    ASSERT_TRUE(go.set());
    ASSERT_EQ(platform::waitForAll(threads, kHangGuardMs), WaitResult::Signalled);
    EXPECT_EQ(finished.load(), 64);
    for (auto& t : threads) {
        if (t.valid()) {
            EXPECT_TRUE(t.close());
        }
    }
}

TEST(Thread, ExceptionLeavingTheBodyEndsOnlyThatThread) {
    platform::Thread t;
    ASSERT_TRUE(t.start([]() -> std::uint32_t { throw 42; }));
    EXPECT_EQ(t.wait(kHangGuardMs), WaitResult::Signalled);
    EXPECT_TRUE(t.close());
}

}  // namespace
