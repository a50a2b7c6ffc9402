// The control as a COM object: CDocivaOCXCtrl behind IDispatch, its events
// through a connection point, its class information from the embedded type
// library.
#pragma once

#include <windows.h>

namespace docivaocx {

// What the class factory's CreateInstance does (no aggregation).
HRESULT createControlObject(REFIID riid, void** object);

}  // namespace docivaocx
