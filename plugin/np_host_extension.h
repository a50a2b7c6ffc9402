/* What a host without a browser's message loop needs besides the plug-in
 * interface: on Linux the control's window is a queue of its own, which
 * these run; on Windows npdocivaPump runs the thread's message loop, as a
 * browser would, and npdocivaIsIdle tells a host when a scan's work is
 * done.
 *
 * Thread safety: the browser's thread. */
#pragma once

#include <cstdint>

#include "plugin/npapi.h"

#define NPDOCIVA_API extern "C" NP_EXPORT_VISIBILITY

/* Handles the instance's queued window messages, waiting at most timeoutMs
 * for the first; the number handled (0 without an instance or a window). */
NPDOCIVA_API std::int32_t npdocivaPump(NPP instance, std::uint32_t timeoutMs);
/* 1 when nothing waits in the window and the request pool is idle. */
NPDOCIVA_API std::int32_t npdocivaIsIdle(NPP instance);
