#include "platform/debug_sink.h"

#include <mutex>
#include <utility>

#include "platform/system.h"

namespace platform {

namespace {

// Tests install a sink to read what a component reports; the lock lets
// worker threads report while a test swaps sinks.
std::mutex& sinkLock() {
    static std::mutex m;
    return m;
}

std::function<void(std::u16string_view)>& sink() {
    static std::function<void(std::u16string_view)> s;
    return s;
}

}  // namespace

namespace detail {

void forwardToDebugSink(std::u16string_view line) {
    std::lock_guard lock(sinkLock());
    if (sink()) sink()(line);
}

}  // namespace detail

ScopedDebugCapture::ScopedDebugCapture(std::function<void(std::u16string_view)> s) {
    std::lock_guard lock(sinkLock());
    previous_ = std::exchange(sink(), std::move(s));
}

ScopedDebugCapture::~ScopedDebugCapture() {
    std::lock_guard lock(sinkLock());
    sink() = std::move(previous_);
}

}  // namespace platform
