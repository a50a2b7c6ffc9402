// The control module (libDocivaOCX.so) as the script host loads it: every
// export resolved up front, so a module that lacks one is refused with its
// name instead of failing half-way through a script.
//
// Thread safety: load() and destruction on one thread; the resolved calls
// follow the module's own rules (control/dociva_module.h).
#pragma once

#include <string>
#include <string_view>

#include "control/dociva_module.h"
#include "platform/dynamic_library.h"

namespace script_host {

struct ControlModule {
    decltype(&docivaModuleVersion) moduleVersion = nullptr;
    decltype(&docivaMethodCount) methodCount = nullptr;
    decltype(&docivaMethodAt) methodAt = nullptr;
    decltype(&docivaEventCount) eventCount = nullptr;
    decltype(&docivaEventAt) eventAt = nullptr;
    decltype(&docivaCreateControl) createControl = nullptr;
    decltype(&docivaCreateWindow) createWindow = nullptr;
    decltype(&docivaDestroyControl) destroyControl = nullptr;
    decltype(&docivaGetDispId) getDispId = nullptr;
    decltype(&docivaInvoke) invoke = nullptr;
    decltype(&docivaFreeValue) freeValue = nullptr;
    decltype(&docivaPump) pump = nullptr;
    decltype(&docivaIsIdle) isIdle = nullptr;

    // The module's file in a folder: the name is fixed (mixed case), not
    // the lowered form the component uses for its own libraries.
    static std::u16string fileIn(std::u16string_view folder);

    // Loads the module and resolves its exports. "" when it is usable,
    // else the reason, naming the file or the missing export.
    std::string load(std::u16string_view path);

private:
    platform::DynamicLibrary library_;
};

}  // namespace script_host
