// The plug-in interface on 32-bit Windows: the NP_ entry points are
// __stdcall (the NPP and NPN tables stay cdecl), NP_Initialize takes the
// browser's table only, and the window record has no X11 part.
#pragma once

#include <cstdint>

#define NP_ENTRY_CALL __stdcall
// The .def file names the DLL's exports; nothing else is exported.
#define NP_EXPORT_VISIBILITY

extern "C" {

struct NPWindow {
    void* window;  // the HWND
    std::int32_t x;
    std::int32_t y;
    std::uint32_t width;
    std::uint32_t height;
    NPRect clipRect;
    std::int32_t type;
};

struct NPNetscapeFuncs;
using NP_InitializeFunc = std::int16_t(__stdcall*)(NPNetscapeFuncs* browserFuncs);

}  // extern "C"
