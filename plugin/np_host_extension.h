/* What a host without a native window loop needs besides the plug-in
 * interface (Linux): the control's window is a queue of its own there, and
 * these run it, as the browser's message loop does on Windows.
 *
 * Thread safety: the browser's thread. */
#pragma once

#include <cstdint>

#include "plugin/npapi.h"

#define NPDOCIVA_API extern "C" __attribute__((visibility("default")))

/* Handles the instance's queued window messages, waiting at most timeoutMs
 * for the first; the number handled (0 without an instance or a window). */
NPDOCIVA_API std::int32_t npdocivaPump(NPP instance, std::uint32_t timeoutMs);
/* 1 when nothing waits in the window and the request pool is idle. */
NPDOCIVA_API std::int32_t npdocivaIsIdle(NPP instance);
