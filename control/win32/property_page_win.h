// CDocivaOCXPropPage, the control's one property page: dialog template 200
// (one empty static text) under the caption of string 200. It exchanges
// no values with the control; the standard property frame shows it for the
// Properties verb.
#pragma once

#include <windows.h>

namespace docivaocx {

// What the page's class factory's CreateInstance does (no aggregation).
HRESULT createPropertyPage(REFIID riid, void** object);

}  // namespace docivaocx
