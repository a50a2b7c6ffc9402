// The HMODULE behind a platform::ModuleHandle, for the calls that want one
// (resources, window classes, file names).
//
// Thread safety: any thread.
#pragma once

#include <windows.h>

#include "platform/module.h"

namespace platform::win32 {

// The module that holds address; null address: the module that holds this
// code, which is the caller's, the platform layer being linked statically
// into every module. Null when no module holds it.
HMODULE moduleHandleOf(ModuleHandle address = nullptr);

}  // namespace platform::win32
