#include "threadpool/logger.h"

#include "platform/system.h"
#include "platform/text.h"

namespace TP {

Logger::~Logger() = default;

void Logger::OutputError(std::u16string_view record) { platform::debugOutput(record); }

void Logger::OutputInfo(std::u16string_view record) { platform::debugOutput(record); }

std::u16string Logger::FormatRecord(std::uint32_t threadId, std::uint16_t activeCount, std::uint32_t lastError,
                                    std::u16string_view message) {
    return text::format(u"##TP## [TID=%08u] [ACTIVE REQUEST=%04u] [LAST ERROR=%04u] %s]", threadId, activeCount,
                        lastError, message);
}

void Logger::LogError(std::uint16_t activeCount, std::u16string_view message) {
    // Taken first: formatting may itself disturb the value.
    const std::uint32_t lastError = platform::lastError();
    OutputError(FormatRecord(platform::currentThreadId(), activeCount, lastError, message));
}

void Logger::LogInfo(std::uint16_t activeCount, std::u16string_view message) {
    const std::uint32_t lastError = platform::lastError();
    OutputInfo(FormatRecord(platform::currentThreadId(), activeCount, lastError, message));
}

}  // namespace TP
