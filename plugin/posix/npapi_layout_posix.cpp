// The plug-in interface's records as Linux browsers lay them out, on
// x86-64 and on i386 (where a double inside a record is 4-aligned, so a
// variant is 12 bytes, not 16 as on Windows).
#include <cstddef>

#include "plugin/npapi.h"

namespace {

constexpr bool k64 = sizeof(void*) == 8;
constexpr std::size_t P = sizeof(void*);
constexpr std::size_t kHeader = k64 ? 8 : 4;  // size and version, padded to a pointer

static_assert(sizeof(NPP_t) == 2 * P);
static_assert(sizeof(NPObject) == (k64 ? 16 : 8));
static_assert(sizeof(NPString) == (k64 ? 16 : 8));
static_assert(sizeof(NPVariant) == (k64 ? 24 : 12));
static_assert(offsetof(NPVariant, value) == (k64 ? 8 : 4));
static_assert(sizeof(NPClass) == kHeader + 12 * P);
static_assert(offsetof(NPClass, construct) == kHeader + 11 * P);
static_assert(sizeof(NPWindow) == (k64 ? 48 : 36));
static_assert(offsetof(NPWindow, clipRect) == (k64 ? 24 : 20));
static_assert(offsetof(NPWindow, ws_info) == (k64 ? 32 : 28));
static_assert(offsetof(NPWindow, type) == (k64 ? 40 : 32));
static_assert(sizeof(NPPluginFuncs) == kHeader + 19 * P);
static_assert(offsetof(NPPluginFuncs, newp) == kHeader);
static_assert(offsetof(NPPluginFuncs, event) == kHeader + 9 * P);
static_assert(offsetof(NPPluginFuncs, getvalue) == kHeader + 12 * P);
static_assert(sizeof(NPNetscapeFuncs) == kHeader + 55 * P);
static_assert(offsetof(NPNetscapeFuncs, memalloc) == kHeader + 8 * P);
static_assert(offsetof(NPNetscapeFuncs, getvalue) == kHeader + 16 * P);
static_assert(offsetof(NPNetscapeFuncs, getstringidentifier) == kHeader + 21 * P);
static_assert(offsetof(NPNetscapeFuncs, utf8fromidentifier) == kHeader + 25 * P);
static_assert(offsetof(NPNetscapeFuncs, createobject) == kHeader + 27 * P);
static_assert(offsetof(NPNetscapeFuncs, invoke) == kHeader + 30 * P);
static_assert(offsetof(NPNetscapeFuncs, getproperty) == kHeader + 33 * P);
static_assert(offsetof(NPNetscapeFuncs, releasevariantvalue) == kHeader + 38 * P);
static_assert(offsetof(NPNetscapeFuncs, setexception) == kHeader + 39 * P);
static_assert(offsetof(NPNetscapeFuncs, urlredirectresponse) == kHeader + 54 * P);

}  // namespace
