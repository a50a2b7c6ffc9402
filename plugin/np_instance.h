// The data the plug-in keeps per instance, in the instance's pdata.
//
// Thread safety: the browser's thread.
#pragma once

#include <cstdint>

#include "plugin/npapi.h"

struct PluginInstanceData {
    NPP npp = nullptr;
    std::uint32_t unused = 0;
    std::uint8_t attached = 0;
    void* window = nullptr;
    NPObject* scriptable = nullptr;  // one reference of the instance's own
};
