// The base of every piece of work handed to TP::ThreadPool.
//
// Thread safety: the cancelled flag may be read and set from any thread;
// Execute runs on one worker thread.
#pragma once

#include <cstdint>

#include "platform/sync.h"

namespace TP {

class AbstractRequest {
public:
    AbstractRequest() = default;
    virtual ~AbstractRequest();
    AbstractRequest(const AbstractRequest&) = delete;
    AbstractRequest& operator=(const AbstractRequest&) = delete;

    // 0 on success, any other value on failure.
    virtual int Execute() = 0;

    bool IsCancelled() const;
    void Cancel();

private:
    mutable platform::CriticalSection lock_;
    std::uint8_t cancelled_ = 0;
};

}  // namespace TP
