// The plug-in interface on Linux: entry points use the C calling
// convention, NP_Initialize also fills the plug-in's table, and the window
// record carries the X11 set-up (ws_info) before its type.
#pragma once

#include <cstdint>

#define NP_ENTRY_CALL
// The library's exports are the only symbols it shows (with the version
// script in npDociva.map).
#define NP_EXPORT_VISIBILITY __attribute__((visibility("default")))

extern "C" {

struct NPWindow {
    void* window;  // the X window id, widened to a pointer
    std::int32_t x;
    std::int32_t y;
    std::uint32_t width;
    std::uint32_t height;
    NPRect clipRect;
    void* ws_info;
    std::int32_t type;
};

struct NPNetscapeFuncs;
struct NPPluginFuncs;
using NP_InitializeFunc = std::int16_t (*)(NPNetscapeFuncs* browserFuncs, NPPluginFuncs* pluginFuncs);

}  // extern "C"
