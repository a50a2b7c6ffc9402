// Internal to the platform layer: the capture hook behind ScopedDebugCapture.
#pragma once

#include <string_view>

namespace platform::detail {

void forwardToDebugSink(std::u16string_view line);

}  // namespace platform::detail
