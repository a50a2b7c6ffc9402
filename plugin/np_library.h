// What the plug-in library keeps between its exports: the browser's
// function table, handed over by NP_Initialize and used for every call
// into the browser until NP_Shutdown. The interface's calls carry no
// context that could hold it, so it is the library's one shared value.
//
// Thread safety: set by NP_Initialize and NP_Shutdown, read by the
// browser's thread (the only thread that calls into the plug-in).
#pragma once

#include "plugin/npapi.h"

namespace np {

// The browser's table; null outside NP_Initialize .. NP_Shutdown.
const NPNetscapeFuncs* browser();
void setBrowser(const NPNetscapeFuncs* funcs);

}  // namespace np
