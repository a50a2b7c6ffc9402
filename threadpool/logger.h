// Turns the thread pool's messages into one-line records and hands them to
// a sink. The default sink is the debugger output; a different one is made
// by deriving and overriding OutputError / OutputInfo.
//
// Thread safety: LogError and LogInfo use only locals and may be called from
// any thread at any time; an overriding sink must accept concurrent calls.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace TP {

class Logger {
public:
    Logger() = default;
    virtual ~Logger();

    // A finished record, without a line break.
    virtual void OutputError(std::u16string_view record);
    virtual void OutputInfo(std::u16string_view record);

    // Format a record for the calling thread (with its current last-error
    // value) and pass it to the matching Output operation.
    void LogError(std::uint16_t activeCount, std::u16string_view message);
    void LogInfo(std::uint16_t activeCount, std::u16string_view message);

    // "##TP## [TID=%08u] [ACTIVE REQUEST=%04u] [LAST ERROR=%04u] message]"
    static std::u16string FormatRecord(std::uint32_t threadId, std::uint16_t activeCount, std::uint32_t lastError,
                                       std::u16string_view message);
};

}  // namespace TP
