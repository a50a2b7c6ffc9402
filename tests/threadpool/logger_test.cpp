#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/sync.h"
#include "platform/system.h"
#include "platform/text.h"
#include "support/test_support.h"
#include "threadpool/logger.h"

namespace {

using testing_support::utf8;

TEST(LoggerRecord, Format) {
    struct Row {
        const char* name;
        std::uint32_t tid;
        std::uint16_t active;
        std::uint32_t lastError;
        std::u16string message;
        std::u16string expected;
    };
    const Row rows[] = {
        {"documented example", 1234, 0, 0, u"Thread WAITING",
         u"##TP## [TID=00001234] [ACTIVE REQUEST=0000] [LAST ERROR=0000] Thread WAITING]"},
        {"eight digits fill the field", 12345678, 64, 298, u"ReleaseSemaphore failed",
         u"##TP## [TID=12345678] [ACTIVE REQUEST=0064] [LAST ERROR=0298] ReleaseSemaphore failed]"},
        {"nine-digit thread id kept whole", 123456789, 1, 5, u"Thread ACTIVE",
         u"##TP## [TID=123456789] [ACTIVE REQUEST=0001] [LAST ERROR=0005] Thread ACTIVE]"},
        {"widest values kept whole", 4294967295u, 65535, 4294967295u, u"x",
         u"##TP## [TID=4294967295] [ACTIVE REQUEST=65535] [LAST ERROR=4294967295] x]"},
        {"empty message", 7, 0, 0, u"", u"##TP## [TID=00000007] [ACTIVE REQUEST=0000] [LAST ERROR=0000] ]"},
        {"message with format characters is text", 1, 2, 3, u"100% %s done",
         u"##TP## [TID=00000001] [ACTIVE REQUEST=0002] [LAST ERROR=0003] 100% %s done]"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        const std::u16string record = TP::Logger::FormatRecord(r.tid, r.active, r.lastError, r.message);
        EXPECT_EQ(record, r.expected) << utf8(record);
        EXPECT_TRUE(record.empty() || (record.back() != u'\n' && record.back() != u'\r'));
    }
}

class CapturingLogger : public TP::Logger {
public:
    void OutputError(std::u16string_view record) override { errors.emplace_back(record); }
    void OutputInfo(std::u16string_view record) override { infos.emplace_back(record); }
    std::vector<std::u16string> errors;
    std::vector<std::u16string> infos;
};

std::u16string recordFor(std::uint16_t active, std::uint32_t lastError, std::u16string_view message) {
    return TP::Logger::FormatRecord(platform::currentThreadId(), active, lastError, message);
}

TEST(Logger, KindsGoToTheirOwnOutput) {
    CapturingLogger log;
    platform::setLastError(0);
    log.LogError(3, u"Semaphore creation failed");
    platform::setLastError(0);
    log.LogInfo(1, u"Thread ACTIVE");
    ASSERT_EQ(log.errors.size(), 1u);
    ASSERT_EQ(log.infos.size(), 1u);
    EXPECT_EQ(log.errors[0], recordFor(3, 0, u"Semaphore creation failed"));
    EXPECT_EQ(log.infos[0], recordFor(1, 0, u"Thread ACTIVE"));
}

TEST(Logger, LastErrorOfAFailedCallIsShown) {
    // The value left by a real failure, read before the record is built.
    platform::Semaphore full;
    ASSERT_TRUE(full.create(1, 1));
    CapturingLogger log;
    platform::setLastError(0);
    const bool released = full.release(1);
    log.LogError(0, u"ReleaseSemaphore failed");
    ASSERT_FALSE(released);
    // The same failure again, to learn the code it leaves.
    ASSERT_FALSE(full.release(1));
    const std::uint32_t code = platform::lastError();
    ASSERT_NE(code, 0u);
    ASSERT_EQ(log.errors.size(), 1u);
    EXPECT_EQ(log.errors[0], recordFor(0, code, u"ReleaseSemaphore failed")) << utf8(log.errors[0]);

    platform::setLastError(87);
    log.LogInfo(0, u"Thread WAITING");
    ASSERT_EQ(log.infos.size(), 1u);
    EXPECT_NE(log.infos[0].find(u"[LAST ERROR=0087]"), std::u16string::npos) << utf8(log.infos[0]);
}

TEST(Logger, RecordCarriesTheLoggingThreadsId) {
    CapturingLogger log;
    std::uint32_t workerId = 0;
    platform::Thread t;
    ASSERT_TRUE(t.start([&] {
        workerId = platform::currentThreadId();
        platform::setLastError(0);
        log.LogInfo(0, u"Thread WAITING");
        return 0u;
    }));
    ASSERT_EQ(t.wait(60000), platform::WaitResult::Signalled);
    ASSERT_EQ(log.infos.size(), 1u);
    EXPECT_NE(workerId, platform::currentThreadId());
    EXPECT_EQ(log.infos[0], TP::Logger::FormatRecord(workerId, 0, 0, u"Thread WAITING"));
}

TEST(Logger, DefaultWritesToTheDebuggerOutput) {
    std::vector<std::u16string> lines;
    {
        platform::ScopedDebugCapture capture([&](std::u16string_view l) { lines.emplace_back(l); });
        TP::Logger log;
        platform::setLastError(0);
        log.LogError(0, u"Threads creation failed");
        platform::setLastError(0);
        log.LogInfo(2, u"Thread pool created successfully");
    }
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], recordFor(0, 0, u"Threads creation failed"));
    EXPECT_EQ(lines[1], recordFor(2, 0, u"Thread pool created successfully"));
}

}  // namespace
