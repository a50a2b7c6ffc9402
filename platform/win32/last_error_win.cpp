#include <windows.h>

#include "platform/system.h"

namespace platform {

std::uint32_t lastError() { return GetLastError(); }

void setLastError(std::uint32_t value) { SetLastError(value); }

}  // namespace platform
