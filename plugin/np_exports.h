// The plug-in library's exports as Linux browsers look them up.
//
// Thread safety: the browser's thread.
#pragma once

#include "plugin/npapi.h"

#define NP_EXPORT(type) extern "C" __attribute__((visibility("default"))) type NP_ENTRY_CALL

// Sets version 27 and the entries the plug-in has; leaves the others.
NP_EXPORT(NPError) NP_GetEntryPoints(NPPluginFuncs* pluginFuncs);
// Keeps the browser's table: 3 for none, 8 for another major version.
// pluginFuncs, when given, is filled as NP_GetEntryPoints fills it.
NP_EXPORT(NPError) NP_Initialize(NPNetscapeFuncs* browserFuncs, NPPluginFuncs* pluginFuncs);
NP_EXPORT(NPError) NP_Shutdown();
NP_EXPORT(const char*) NP_GetMIMEDescription();
// The plug-in's name and description before any instance exists.
NP_EXPORT(NPError) NP_GetValue(void* future, NPPVariable variable, void* value);
