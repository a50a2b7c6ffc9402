#include "plugin/np_exports.h"

NP_EXPORT(NPError) NP_Initialize(NPNetscapeFuncs* browserFuncs, NPPluginFuncs* pluginFuncs) {
    const NPError e = np::initializeLibrary(browserFuncs);
    if (e == NPERR_NO_ERROR && pluginFuncs) NP_GetEntryPoints(pluginFuncs);
    return e;
}
