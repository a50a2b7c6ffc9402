// The calling thread's result code and the process-wide error reporting
// that ti_SetErrMode and ti_RedirectError configure.
//
// Thread safety: any thread; the code is per thread, mode and handler are
// shared and read atomically.
#pragma once

#include "libs/timage/timage.h"

namespace timage {

// The calling thread's code of its most recent call.
int threadError();
void setThreadError(int code);

int errorMode();
bool setErrorMode(int mode);
void setErrorHandler(TI_ERROR_HANDLER handler, void* user);

// Records the outcome of an exported call (the thread's code) and, in
// error mode 1, hands a failure to the handler. Returns code.
int finish(const char* function, int code);

// A fixed English text for a code.
const char* describe(int code);

}  // namespace timage
