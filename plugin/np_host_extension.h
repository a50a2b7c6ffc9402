/* What a host without a browser's message loop needs besides the plug-in
 * interface: on Linux the control's window is a queue of its own, which
 * these run; on Windows npdocivaPump runs the thread's message loop, as a
 * browser would, and npdocivaIsIdle tells a host when a scan's work is
 * done.
 *
 * Beside them, what the script host offers a page's script about the
 * control in the plug-in, the same as the control module gives it
 * (control/dociva_module.h): the host's answers to the dialogs (where the
 * plug-in opens no dialog windows of its own), the progress dialog's
 * state, the current scanner's SDK handle, the viewer's mouse and its
 * picture. They take the values of the module's interface.
 *
 * Thread safety: the browser's thread. */
#pragma once

#include <cstdint>

#include "control/dociva_module.h"
#include "plugin/npapi.h"

#define NPDOCIVA_API extern "C" NP_EXPORT_VISIBILITY

/* Handles the instance's queued window messages, waiting at most timeoutMs
 * for the first; the number handled (0 without an instance or a window). */
NPDOCIVA_API std::int32_t npdocivaPump(NPP instance, std::uint32_t timeoutMs);
/* 1 when nothing waits in the window and the request pool is idle. */
NPDOCIVA_API std::int32_t npdocivaIsIdle(NPP instance);

/* The host's answerer of the dialogs the page's calls open, as
 * DocivaHost::runDialog answers them for the control module; null takes
 * it away again (dialogs are then answered as a user who closes them).
 * Where the plug-in shows the platform's own dialog windows (Windows) they
 * stay and the answerer is never asked. 0, or DOCIVA_E_INVALIDARG without
 * an instance or its scriptable object. */
typedef std::int32_t (*NpdocivaRunDialog)(void* context, const DocivaDialogRequest* request, char16_t* answer,
                                          std::uint32_t capacity);
NPDOCIVA_API std::int32_t npdocivaSetDialogHost(NPP instance, NpdocivaRunDialog runDialog, void* context);

/* As docivaGetProgress, docivaScannerHandle, docivaMouse and
 * docivaSavePicture for the control inside the instance's scriptable
 * object; an instance without one is a null control. */
NPDOCIVA_API std::int32_t npdocivaGetProgress(NPP instance, DocivaProgress* progress);
NPDOCIVA_API std::uint32_t npdocivaScannerHandle(NPP instance);
NPDOCIVA_API std::int32_t npdocivaMouse(NPP instance, std::int32_t kind, std::int32_t x, std::int32_t y);
NPDOCIVA_API std::int32_t npdocivaSavePicture(NPP instance, const char16_t* path);
