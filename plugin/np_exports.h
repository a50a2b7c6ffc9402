// The plug-in library's exports. NP_Initialize's form is the platform's
// (np_initialize.h): Linux browsers hand over their table and take the
// plug-in's in one call, Windows browsers ask for the plug-in's table with
// NP_GetEntryPoints first.
//
// Thread safety: the browser's thread.
#pragma once

#include "plugin/npapi.h"

#define NP_EXPORT(type) extern "C" NP_EXPORT_VISIBILITY type NP_ENTRY_CALL

// Sets version 27 and the entries the plug-in has; leaves the others.
NP_EXPORT(NPError) NP_GetEntryPoints(NPPluginFuncs* pluginFuncs);
NP_EXPORT(NPError) NP_Shutdown();
NP_EXPORT(const char*) NP_GetMIMEDescription();
// The plug-in's name and description before any instance exists.
NP_EXPORT(NPError) NP_GetValue(void* future, NPPVariable variable, void* value);

#include "np_initialize.h"

namespace np {

// The library's side of NP_Initialize, the same on every platform: keeps
// the browser's table (3 for none, 8 for another major version), loads the
// image toolkit once and starts the library's graphics.
NPError initializeLibrary(NPNetscapeFuncs* browserFuncs);

}  // namespace np
