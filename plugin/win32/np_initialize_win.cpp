#include "plugin/np_exports.h"

NP_EXPORT(NPError) NP_Initialize(NPNetscapeFuncs* browserFuncs) { return np::initializeLibrary(browserFuncs); }
