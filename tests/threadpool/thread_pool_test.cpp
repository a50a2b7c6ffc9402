#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/sync.h"
#include "platform/system.h"
#include "platform/text.h"
#include "support/test_support.h"
#include "threadpool/thread_pool.h"

namespace {

using platform::WaitResult;
using testing_support::utf8;

// Waits in these tests end on events; the limit only turns a hang into a
// failure.
constexpr std::uint32_t kHangGuardMs = 60000;
constexpr auto kHangGuard = std::chrono::milliseconds(kHangGuardMs);

// --- a logger that keeps every record ------------------------------------

struct Record {
    bool error = false;
    std::uint32_t tid = 0;
    std::uint16_t active = 0;
    std::uint32_t lastError = 0;
    std::u16string message;
};

// "E text" / "I text": compact enough to compare whole sequences.
std::string tag(const Record& r) { return (r.error ? "E " : "I ") + utf8(r.message); }

class RecordingLogger : public TP::Logger {
public:
    void OutputError(std::u16string_view record) override { add(true, record); }
    void OutputInfo(std::u16string_view record) override { add(false, record); }

    std::vector<Record> records() const {
        std::lock_guard lock(mutex_);
        return records_;
    }
    std::size_t size() const {
        std::lock_guard lock(mutex_);
        return records_.size();
    }
    // Records are checked here because assertions are not safe on every
    // worker thread (GoogleTest is built without threads on Windows).
    bool allWellFormed() const {
        std::lock_guard lock(mutex_);
        return malformed_.empty();
    }
    std::string firstMalformed() const {
        std::lock_guard lock(mutex_);
        return malformed_.empty() ? std::string() : utf8(malformed_.front());
    }
    std::size_t count(std::u16string_view message) const {
        std::lock_guard lock(mutex_);
        return static_cast<std::size_t>(
            std::count_if(records_.begin(), records_.end(), [&](const Record& r) { return r.message == message; }));
    }
    std::vector<std::string> tags(std::function<bool(const Record&)> keep) const {
        std::vector<std::string> out;
        for (const Record& r : records()) {
            if (keep(r)) out.push_back(tag(r));
        }
        return out;
    }
    std::vector<std::string> errors() const {
        return tags([](const Record& r) { return r.error; });
    }
    std::vector<std::string> ofThread(std::uint32_t tid) const {
        return tags([tid](const Record& r) { return r.tid == tid; });
    }
    std::vector<Record> ofOtherThreads(std::uint32_t tid) const {
        std::vector<Record> out;
        for (const Record& r : records()) {
            if (r.tid != tid) out.push_back(r);
        }
        return out;
    }
    bool waitForCount(std::u16string_view message, std::size_t n) const {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, kHangGuard, [&] {
            return static_cast<std::size_t>(std::count_if(records_.begin(), records_.end(), [&](const Record& r) {
                       return r.message == message;
                   })) >= n;
        });
    }

private:
    static bool digits(std::u16string_view s, std::size_t& pos, std::size_t minimum, std::uint64_t& value) {
        const std::size_t start = pos;
        value = 0;
        while (pos < s.size() && s[pos] >= u'0' && s[pos] <= u'9') value = value * 10 + (s[pos++] - u'0');
        return pos - start >= minimum;
    }
    static bool literal(std::u16string_view s, std::size_t& pos, std::u16string_view text) {
        if (s.substr(pos, text.size()) != text) return false;
        pos += text.size();
        return true;
    }
    void add(bool error, std::u16string_view raw) {
        Record r;
        r.error = error;
        std::size_t pos = 0;
        std::uint64_t tid = 0, active = 0, lastError = 0;
        const bool ok = literal(raw, pos, u"##TP## [TID=") && digits(raw, pos, 8, tid) &&
                        literal(raw, pos, u"] [ACTIVE REQUEST=") && digits(raw, pos, 4, active) &&
                        literal(raw, pos, u"] [LAST ERROR=") && digits(raw, pos, 4, lastError) &&
                        literal(raw, pos, u"] ") && !raw.empty() && raw.back() == u']';
        r.tid = static_cast<std::uint32_t>(tid);
        r.active = static_cast<std::uint16_t>(active);
        r.lastError = static_cast<std::uint32_t>(lastError);
        if (ok) r.message = std::u16string(raw.substr(pos, raw.size() - pos - 1));
        {
            std::lock_guard lock(mutex_);
            if (!ok) malformed_.emplace_back(raw);
            records_.push_back(std::move(r));
        }
        changed_.notify_all();
    }

    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::vector<Record> records_;
    std::vector<std::u16string> malformed_;
};

// --- requests that report what happens to them ----------------------------

class Journal {
public:
    void executed(int id) {
        {
            std::lock_guard lock(mutex_);
            executed_.push_back(id);
        }
        changed_.notify_all();
    }
    void destroyed(int id) {
        {
            std::lock_guard lock(mutex_);
            destroyed_.push_back(id);
        }
        changed_.notify_all();
    }
    std::vector<int> executedIds() const {
        std::lock_guard lock(mutex_);
        return executed_;
    }
    std::vector<int> destroyedIds() const {
        std::lock_guard lock(mutex_);
        return destroyed_;
    }
    bool waitForDestroyed(std::size_t n) const {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, kHangGuard, [&] { return destroyed_.size() >= n; });
    }
    bool waitForExecuted(std::size_t n) const {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, kHangGuard, [&] { return executed_.size() >= n; });
    }

private:
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::vector<int> executed_;
    std::vector<int> destroyed_;
};

class TestRequest : public TP::AbstractRequest {
public:
    TestRequest(Journal& journal, int id, std::function<int()> body = {})
        : journal_(journal), id_(id), body_(std::move(body)) {}
    ~TestRequest() override { journal_.destroyed(id_); }
    int Execute() override {
        journal_.executed(id_);
        return body_ ? body_() : 0;
    }

private:
    Journal& journal_;
    int id_;
    std::function<int()> body_;
};

std::unique_ptr<TP::AbstractRequest> makeRequest(Journal& journal, int id, std::function<int()> body = {}) {
    return std::make_unique<TestRequest>(journal, id, std::move(body));
}

platform::Event manualEvent() {
    platform::Event e;
    e.create(true, false);
    return e;
}

std::vector<std::string> tagsOf(std::initializer_list<const char*> list) { return {list.begin(), list.end()}; }

// --- creation --------------------------------------------------------------

TEST(ThreadPoolCreate, ThreadCountLimits) {
    struct Row {
        std::uint16_t count;
        bool ok;
        std::vector<std::string> createRecords;
    };
    const Row rows[] = {
        {0, false, tagsOf({"E Minimum allowed thread count is one"})},
        {65, false, tagsOf({"E Maximum allowed thread count is 64"})},
        {65535, false, tagsOf({"E Maximum allowed thread count is 64"})},
        {1, true, tagsOf({"I Thread pool creation requested", "I Thread pool created successfully"})},
        {64, true, tagsOf({"I Thread pool creation requested", "I Thread pool created successfully"})},
    };
    const std::uint32_t self = platform::currentThreadId();
    for (const Row& r : rows) {
        SCOPED_TRACE(testing::Message() << "count " << r.count);
        RecordingLogger log;
        {
            TP::ThreadPool pool;
            EXPECT_EQ(pool.Create(r.count, &log), r.ok);
            EXPECT_EQ(log.ofThread(self), r.createRecords);
            EXPECT_EQ(pool.IsCreated(), r.ok);
            EXPECT_EQ(pool.ThreadCount(), r.ok ? r.count : 0);
            if (r.ok) {
                ASSERT_TRUE(log.waitForCount(u"Thread WAITING", r.count));
                const std::size_t before = log.size();
                EXPECT_TRUE(pool.Destroy());
                EXPECT_EQ(log.count(u"Thread EXITING"), r.count);
                const auto last = log.records().back();
                EXPECT_EQ(tag(last), "I Thread Pool destroyed successfully");
                EXPECT_EQ(log.records()[before].message, u"Thread pool destroy requested");
                EXPECT_FALSE(pool.IsCreated());
                EXPECT_EQ(pool.ThreadCount(), 0);
            }
            EXPECT_TRUE(log.errors().size() == (r.ok ? 0u : 1u));
        }
        // A pool that is not created goes away without a word.
        EXPECT_EQ(log.ofThread(self).size(), r.ok ? 4u : 1u);
        EXPECT_TRUE(log.allWellFormed()) << log.firstMalformed();
    }
}

TEST(ThreadPoolCreate, SecondCreateIsRefusedAndKeepsTheRunningLogger) {
    RecordingLogger log;
    RecordingLogger other;
    Journal journal;
    TP::ThreadPool pool;
    ASSERT_TRUE(pool.Create(2, &log));
    EXPECT_FALSE(pool.Create(3, &other));
    EXPECT_EQ(other.errors(), tagsOf({"E ThreadPool already created"}));
    EXPECT_EQ(pool.ThreadCount(), 2);

    ASSERT_TRUE(pool.PostRequest(makeRequest(journal, 1)));
    ASSERT_TRUE(journal.waitForDestroyed(1));
    EXPECT_EQ(journal.executedIds(), std::vector<int>{1});
    ASSERT_TRUE(pool.Destroy());
    EXPECT_EQ(other.size(), 1u);  // the workers kept reporting to log
    EXPECT_EQ(log.count(u"Thread EXITING"), 2u);
    EXPECT_TRUE(log.errors().empty());
}

TEST(ThreadPoolCreate, DefaultLoggerWritesToTheDebuggerOutputAndDestructorDestroys) {
    std::mutex linesLock;
    std::vector<std::u16string> lines;
    Journal journal;
    {
        platform::ScopedDebugCapture capture([&](std::u16string_view l) {
            std::lock_guard lock(linesLock);
            lines.emplace_back(l);
        });
        {
            TP::ThreadPool pool;
            ASSERT_TRUE(pool.Create(1, nullptr));
            ASSERT_TRUE(pool.PostRequest(makeRequest(journal, 1)));
            ASSERT_TRUE(journal.waitForDestroyed(1));
        }  // no Destroy: the destructor does it
    }
    std::lock_guard lock(linesLock);
    ASSERT_FALSE(lines.empty());
    for (const auto& l : lines) EXPECT_EQ(l.rfind(u"##TP## [TID=", 0), 0u) << utf8(l);
    const std::u16string self = text::format(u"##TP## [TID=%08u] [ACTIVE REQUEST=0000] [LAST ERROR=", platform::currentThreadId());
    EXPECT_EQ(lines.front().rfind(self, 0), 0u) << utf8(lines.front());
    EXPECT_TRUE(lines.front().ends_with(u"] Thread pool creation requested]")) << utf8(lines.front());
    EXPECT_TRUE(lines.back().ends_with(u"] Thread Pool destroyed successfully]")) << utf8(lines.back());
}

TEST(ThreadPoolCreate, CreateDestroyCreateAgain) {
    RecordingLogger first;
    RecordingLogger second;
    Journal journal;
    TP::ThreadPool pool;

    ASSERT_TRUE(pool.Create(2, &first));
    for (int id = 1; id <= 3; ++id) ASSERT_TRUE(pool.PostRequest(makeRequest(journal, id)));
    ASSERT_TRUE(journal.waitForDestroyed(3));
    ASSERT_TRUE(pool.Destroy());
    const std::size_t firstSize = first.size();

    ASSERT_TRUE(pool.Create(3, &second));
    EXPECT_EQ(pool.ThreadCount(), 3);
    for (int id = 4; id <= 9; ++id) ASSERT_TRUE(pool.PostRequest(makeRequest(journal, id)));
    ASSERT_TRUE(journal.waitForDestroyed(9));
    ASSERT_TRUE(pool.Destroy());

    EXPECT_EQ(first.size(), firstSize);
    EXPECT_TRUE(first.errors().empty());
    EXPECT_TRUE(second.errors().empty());
    EXPECT_EQ(second.count(u"Thread EXITING"), 3u);
    EXPECT_EQ(tag(second.records().front()), "I Thread pool creation requested");
    std::vector<int> ran = journal.executedIds();
    std::sort(ran.begin(), ran.end());
    EXPECT_EQ(ran, (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8, 9}));
}

// --- refusals --------------------------------------------------------------

TEST(ThreadPoolPost, RefusedWhenNotCreatedAndTheCallerKeepsTheRequest) {
    struct Row {
        const char* name;
        std::function<void(TP::ThreadPool&, TP::Logger&)> prepare;
    };
    const Row rows[] = {
        {"never created", [](TP::ThreadPool& p, TP::Logger& l) { p.Create(0, &l); }},
        {"destroyed",
         [](TP::ThreadPool& p, TP::Logger& l) {
             p.Create(1, &l);
             p.Destroy();
         }},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        RecordingLogger log;
        Journal journal;
        TP::ThreadPool pool;
        r.prepare(pool, log);
        const std::size_t before = log.size();
        auto request = makeRequest(journal, 1);
        EXPECT_FALSE(pool.PostRequest(std::move(request)));
        ASSERT_NE(request, nullptr);
        EXPECT_TRUE(journal.destroyedIds().empty());
        ASSERT_EQ(log.size(), before + 1);
        EXPECT_EQ(tag(log.records().back()), "E ThreadPool is destroyed or not created yet");
        request.reset();
        EXPECT_EQ(journal.destroyedIds(), std::vector<int>{1});
        EXPECT_TRUE(journal.executedIds().empty());
    }
}

TEST(ThreadPoolPost, NullRequestIsRefused) {
    RecordingLogger log;
    TP::ThreadPool pool;
    ASSERT_TRUE(pool.Create(1, &log));
    EXPECT_FALSE(pool.PostRequest(nullptr));
    EXPECT_EQ(log.errors(), tagsOf({"E Exception occurred in PostRequest()"}));
    EXPECT_TRUE(pool.Destroy());
}

TEST(ThreadPoolDestroy, RefusedWhenNotCreated) {
    RecordingLogger log;
    std::vector<std::u16string> lines;
    {
        platform::ScopedDebugCapture capture([&](std::u16string_view l) { lines.emplace_back(l); });
        TP::ThreadPool never;
    }
    EXPECT_TRUE(lines.empty());  // the default logger said nothing

    TP::ThreadPool pool;
    ASSERT_TRUE(pool.Create(1, &log));
    ASSERT_TRUE(pool.Destroy());
    const std::size_t before = log.size();
    EXPECT_FALSE(pool.Destroy());
    ASSERT_EQ(log.size(), before + 1);
    EXPECT_EQ(tag(log.records().back()), "E ThreadPool is already destroyed or not created yet");
}

// --- running ---------------------------------------------------------------

TEST(ThreadPoolRun, OneWorkerRunsInPostingOrderWhateverTheOutcome) {
    struct Row {
        const char* name;
        std::function<int()> second;
        std::vector<std::string> failure;
    };
    const Row rows[] = {
        {"all succeed", {}, {}},
        {"second returns failure", [] { return 7; }, tagsOf({"E Request execution failed"})},
        {"second throws", []() -> int { throw std::runtime_error("broken"); },
         tagsOf({"E Exception occurred in ProcessRequests()", "E Request execution failed"})},
    };
    const std::uint32_t self = platform::currentThreadId();
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        RecordingLogger log;
        Journal journal;
        platform::Event release = manualEvent();
        TP::ThreadPool pool;
        ASSERT_TRUE(pool.Create(1, &log));
        // The first holds the worker so that the others queue up behind it:
        // one announced to the worker, one left pending.
        ASSERT_TRUE(pool.PostRequest(
            makeRequest(journal, 1, [&] { return release.wait(kHangGuardMs) == WaitResult::Signalled ? 0 : 1; })));
        ASSERT_TRUE(pool.PostRequest(makeRequest(journal, 2, r.second)));
        ASSERT_TRUE(pool.PostRequest(makeRequest(journal, 3)));
        ASSERT_TRUE(release.set());
        ASSERT_TRUE(journal.waitForDestroyed(3));
        // The worker is idle again once it says so after the third request.
        ASSERT_TRUE(log.waitForCount(u"Thread WAITING", 4));
        ASSERT_TRUE(pool.Destroy());

        EXPECT_EQ(journal.executedIds(), (std::vector<int>{1, 2, 3}));
        EXPECT_EQ(journal.destroyedIds(), (std::vector<int>{1, 2, 3}));
        EXPECT_EQ(log.errors(), r.failure);

        std::vector<std::string> expected = tagsOf({"I Thread WAITING", "I Thread ACTIVE", "I Thread WAITING",
                                                    "I Thread ACTIVE"});
        expected.insert(expected.end(), r.failure.begin(), r.failure.end());
        for (const char* t : {"I Thread WAITING", "I Thread ACTIVE", "I Thread WAITING", "I Thread ACTIVE",
                              "I Thread EXITING"}) {
            expected.push_back(t);
        }
        const std::vector<Record> worker = log.ofOtherThreads(self);
        std::vector<std::string> workerTags;
        for (const Record& w : worker) {
            workerTags.push_back(tag(w));
            // Outside a turn no worker is active; inside it, this one is.
            EXPECT_EQ(w.active, w.message == u"Thread WAITING" ? 0 : 1) << tag(w);
            if (w.message == u"Thread ACTIVE") {
                EXPECT_EQ(w.lastError, 0u);
            }
        }
        EXPECT_EQ(workerTags, expected);
        ASSERT_FALSE(worker.empty());
        EXPECT_TRUE(std::all_of(worker.begin(), worker.end(), [&](const Record& w) { return w.tid == worker[0].tid; }));
        EXPECT_EQ(log.ofThread(self),
                  tagsOf({"I Thread pool creation requested", "I Thread pool created successfully",
                          "I Thread pool destroy requested", "I Thread Pool destroyed successfully"}));
        EXPECT_TRUE(log.allWellFormed()) << log.firstMalformed();
    }
}

TEST(ThreadPoolRun, PostingFromSeveralThreadsWhileRequestsRun) {
    struct Row {
        std::uint16_t workers;
        int posters;
        int perPoster;
    };
    const Row rows[] = {{1, 4, 150}, {3, 4, 150}, {64, 3, 100}};
    for (const Row& r : rows) {
        SCOPED_TRACE(testing::Message() << r.workers << " workers, " << r.posters << " posters");
        RecordingLogger log;
        Journal journal;
        std::atomic<int> running{0};
        std::atomic<int> mostRunning{0};
        TP::ThreadPool pool;
        ASSERT_TRUE(pool.Create(r.workers, &log));

        const auto body = [&] {
            const int now = ++running;
            int seen = mostRunning.load();
            while (now > seen && !mostRunning.compare_exchange_weak(seen, now)) {
            }
            --running;
            return 0;
        };
        std::vector<platform::Thread> posters(static_cast<std::size_t>(r.posters));
        std::atomic<int> refused{0};
        for (int p = 0; p < r.posters; ++p) {
            ASSERT_TRUE(posters[static_cast<std::size_t>(p)].start([&, p] {
                for (int i = 0; i < r.perPoster; ++i) {
                    if (!pool.PostRequest(makeRequest(journal, p * 10000 + i, body))) ++refused;
                }
                return 0u;
            }));
        }
        ASSERT_EQ(platform::waitForAll(posters, kHangGuardMs), WaitResult::Signalled);
        const std::size_t total = static_cast<std::size_t>(r.posters * r.perPoster);
        ASSERT_TRUE(journal.waitForDestroyed(total));
        ASSERT_TRUE(pool.Destroy());

        EXPECT_EQ(refused.load(), 0);
        const std::vector<int> ran = journal.executedIds();
        EXPECT_EQ(ran.size(), total);
        std::vector<int> sorted = ran;
        std::sort(sorted.begin(), sorted.end());
        EXPECT_TRUE(std::adjacent_find(sorted.begin(), sorted.end()) == sorted.end()) << "a request ran twice";
        if (r.workers == 1) {
            // One worker: each poster's requests run in the order it posted them.
            std::vector<int> lastOf(static_cast<std::size_t>(r.posters), -1);
            for (int id : ran) {
                int& last = lastOf[static_cast<std::size_t>(id / 10000)];
                EXPECT_GT(id % 10000, last);
                last = id % 10000;
            }
        }
        EXPECT_LE(mostRunning.load(), r.workers);
        EXPECT_TRUE(log.errors().empty()) << log.errors().front();
        for (const Record& rec : log.records()) EXPECT_LE(rec.active, r.workers);
        EXPECT_EQ(log.count(u"Thread EXITING"), r.workers);
        EXPECT_TRUE(log.allWellFormed()) << log.firstMalformed();
    }
}

TEST(ThreadPoolDestroy, WaitsForTheRunningRequestAndDropsTheQueued) {
    RecordingLogger log;
    Journal journal;
    platform::Event started = manualEvent();
    platform::Event finish = manualEvent();
    std::atomic<bool> destroyReturned{false};
    std::atomic<bool> ranToEnd{false};
    TP::ThreadPool pool;
    ASSERT_TRUE(pool.Create(1, &log));
    ASSERT_TRUE(pool.PostRequest(makeRequest(journal, 1, [&] {
        started.set();
        if (finish.wait(kHangGuardMs) != WaitResult::Signalled) return 1;
        ranToEnd = !destroyReturned.load();
        return 0;
    })));
    ASSERT_TRUE(pool.PostRequest(makeRequest(journal, 2)));
    ASSERT_TRUE(pool.PostRequest(makeRequest(journal, 3)));
    ASSERT_EQ(started.wait(kHangGuardMs), WaitResult::Signalled);

    bool destroyed = false;
    platform::Thread destroyer;
    ASSERT_TRUE(destroyer.start([&] {
        destroyed = pool.Destroy();
        destroyReturned = true;
        return 0u;
    }));
    // The queued requests go first, unrun, while the first still runs.
    ASSERT_TRUE(journal.waitForDestroyed(2));
    EXPECT_EQ(journal.destroyedIds(), (std::vector<int>{2, 3}));
    EXPECT_FALSE(destroyReturned.load());

    // Once the queue has been emptied nothing more is taken: the request
    // stays ours.
    auto late = makeRequest(journal, 4);
    EXPECT_FALSE(pool.PostRequest(std::move(late)));
    ASSERT_NE(late, nullptr);

    ASSERT_TRUE(finish.set());
    ASSERT_EQ(destroyer.wait(kHangGuardMs), WaitResult::Signalled);
    EXPECT_TRUE(destroyed);
    EXPECT_TRUE(ranToEnd.load());
    EXPECT_EQ(journal.executedIds(), std::vector<int>{1});
    EXPECT_FALSE(pool.IsCreated());
    late.reset();
    std::vector<int> gone = journal.destroyedIds();
    std::sort(gone.begin(), gone.end());
    EXPECT_EQ(gone, (std::vector<int>{1, 2, 3, 4}));

    EXPECT_EQ(log.errors(), tagsOf({"E ThreadPool is destroyed or not created yet"}));
    const std::vector<Record> all = log.records();
    ASSERT_GE(all.size(), 2u);
    EXPECT_EQ(tag(all.back()), "I Thread Pool destroyed successfully");
    const auto exiting = std::find_if(all.begin(), all.end(), [](const Record& r) { return r.message == u"Thread EXITING"; });
    ASSERT_NE(exiting, all.end());
    EXPECT_EQ(exiting->active, 1);  // it left from inside its turn
    EXPECT_EQ(log.count(u"Thread pool destroy requested"), 1u);
}

TEST(ThreadPoolDestroy, FromInsideARequestFailsInsteadOfHanging) {
    RecordingLogger log;
    Journal journal;
    TP::ThreadPool pool;
    ASSERT_TRUE(pool.Create(1, &log));
    std::atomic<int> inner{-1};
    ASSERT_TRUE(pool.PostRequest(makeRequest(journal, 1, [&] {
        inner = pool.Destroy() ? 1 : 0;
        return 0;
    })));
    ASSERT_TRUE(journal.waitForDestroyed(1));
    EXPECT_EQ(inner.load(), 0);
    EXPECT_TRUE(pool.IsCreated());
    EXPECT_FALSE(pool.PostRequest(makeRequest(journal, 2)));  // refused and destroyed by us
    EXPECT_TRUE(pool.Destroy());
    EXPECT_FALSE(pool.IsCreated());
    EXPECT_EQ(log.errors(), tagsOf({"E WaitForMultipleObjects failed", "E Thread pool destruction failed",
                                    "E ThreadPool is destroyed or not created yet"}));
}

TEST(ThreadPoolDestroy, RightAfterPostingNeverFailsOrHangs) {
    // Destroy lands while workers are being woken, mid-turn or idle; every
    // variant must end with all workers gone and every request accounted for.
    RecordingLogger log;
    Journal journal;
    int nextId = 0;
    int posted = 0;
    for (int round = 0; round < 150; ++round) {
        SCOPED_TRACE(round);
        TP::ThreadPool pool;
        const std::uint16_t workers = static_cast<std::uint16_t>(1 + round % 4);
        ASSERT_TRUE(pool.Create(workers, &log));
        for (int i = 0; i < round % 5; ++i) {
            ASSERT_TRUE(pool.PostRequest(makeRequest(journal, nextId++)));
            ++posted;
        }
        ASSERT_TRUE(pool.Destroy()) << testing::PrintToString(log.errors());
    }
    EXPECT_EQ(journal.destroyedIds().size(), static_cast<std::size_t>(posted));
    EXPECT_TRUE(log.errors().empty()) << log.errors().front();
}

TEST(ThreadPoolDestroy, WhilePostersKeepPosting) {
    RecordingLogger log;
    Journal journal;
    std::atomic<int> accepted{0};
    std::atomic<int> created{0};
    TP::ThreadPool pool;
    ASSERT_TRUE(pool.Create(2, &log));
    std::vector<platform::Thread> posters(3);
    for (int p = 0; p < 3; ++p) {
        ASSERT_TRUE(posters[static_cast<std::size_t>(p)].start([&, p] {
            for (int i = 0; i < 300; ++i) {
                ++created;
                if (!pool.PostRequest(makeRequest(journal, p * 10000 + i))) break;  // refused: ours, dropped here
                ++accepted;
            }
            return 0u;
        }));
    }
    ASSERT_TRUE(journal.waitForExecuted(20));
    EXPECT_TRUE(pool.Destroy());
    ASSERT_EQ(platform::waitForAll(posters, kHangGuardMs), WaitResult::Signalled);

    // Every request made was destroyed exactly once; the accepted ones ran
    // or were dropped unrun, the refused ones went back to their poster.
    std::vector<int> gone = journal.destroyedIds();
    EXPECT_EQ(gone.size(), static_cast<std::size_t>(created.load()));
    std::sort(gone.begin(), gone.end());
    EXPECT_TRUE(std::adjacent_find(gone.begin(), gone.end()) == gone.end());
    EXPECT_LE(journal.executedIds().size(), static_cast<std::size_t>(accepted.load()));
    for (const std::string& e : log.errors()) EXPECT_EQ(e, "E ThreadPool is destroyed or not created yet");
    EXPECT_EQ(log.count(u"Thread EXITING"), 2u);
}

}  // namespace
