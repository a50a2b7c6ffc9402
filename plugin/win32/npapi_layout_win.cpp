// The plug-in interface's records as 32-bit Windows browsers lay them out:
// a double inside a record is 8-aligned, so a variant is 16 bytes.
#include <cstddef>

#include "plugin/npapi.h"

namespace {

static_assert(sizeof(void*) == 4, "npDociva is a 32-bit plug-in");
static_assert(sizeof(NPP_t) == 8);
static_assert(sizeof(NPObject) == 8);
static_assert(sizeof(NPString) == 8);
static_assert(sizeof(NPVariant) == 16);
static_assert(offsetof(NPVariant, value) == 8);
static_assert(sizeof(NPClass) == 52);
static_assert(sizeof(NPWindow) == 32);
static_assert(offsetof(NPWindow, clipRect) == 20);
static_assert(offsetof(NPWindow, type) == 28);
static_assert(sizeof(NPPluginFuncs) == 80);
static_assert(offsetof(NPPluginFuncs, getvalue) == 52);
static_assert(sizeof(NPNetscapeFuncs) == 224);
static_assert(offsetof(NPNetscapeFuncs, memalloc) == 36);
static_assert(offsetof(NPNetscapeFuncs, getvalue) == 68);
static_assert(offsetof(NPNetscapeFuncs, getstringidentifier) == 88);
static_assert(offsetof(NPNetscapeFuncs, createobject) == 112);
static_assert(offsetof(NPNetscapeFuncs, invoke) == 124);
static_assert(offsetof(NPNetscapeFuncs, releasevariantvalue) == 156);
static_assert(offsetof(NPNetscapeFuncs, setexception) == 160);

}  // namespace
