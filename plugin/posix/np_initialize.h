// NP_Initialize as Linux browsers call it: the browser's table in, the
// plug-in's table (when given) filled as NP_GetEntryPoints fills it.
#pragma once

NP_EXPORT(NPError) NP_Initialize(NPNetscapeFuncs* browserFuncs, NPPluginFuncs* pluginFuncs);

namespace np {

// Starts a plug-in library the way this platform's browsers do.
inline NPError startLibrary(decltype(&NP_Initialize) initialize, NP_GetEntryPointsFunc, NPNetscapeFuncs* browserFuncs,
                            NPPluginFuncs* pluginFuncs) {
    return initialize(browserFuncs, pluginFuncs);
}

}  // namespace np
