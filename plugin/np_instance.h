// The data the plug-in keeps per instance, in the instance's pdata.
//
// Thread safety: the browser's thread.
#pragma once

#include <cstdint>
#include <memory>

#include "plugin/npapi.h"
#include "plugin/plugin_window.h"

struct PluginInstanceData {
    NPP npp = nullptr;
    std::uint32_t unused = 0;
    std::uint8_t attached = 0;
    void* window = nullptr;
    NPObject* scriptable = nullptr;  // one reference of the instance's own
    // The browser's window while the plug-in has taken it over.
    std::unique_ptr<np::HostWindowHook> hook;
    // GDI+ for the instance's life.
    std::unique_ptr<np::GraphicsSession> graphics;
};
