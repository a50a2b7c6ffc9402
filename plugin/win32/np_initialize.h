// NP_Initialize as Windows browsers call it: the browser's table only; the
// plug-in's table comes from NP_GetEntryPoints, which they call first.
#pragma once

NP_EXPORT(NPError) NP_Initialize(NPNetscapeFuncs* browserFuncs);

namespace np {

// Starts a plug-in library the way this platform's browsers do.
inline NPError startLibrary(decltype(&NP_Initialize) initialize, NP_GetEntryPointsFunc getEntryPoints,
                            NPNetscapeFuncs* browserFuncs, NPPluginFuncs* pluginFuncs) {
    if (pluginFuncs) {
        if (const NPError e = getEntryPoints(pluginFuncs); e != NPERR_NO_ERROR) return e;
    }
    return initialize(browserFuncs);
}

}  // namespace np
