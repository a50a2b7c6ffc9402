// The plug-in library (libnpDociva.so, npDociva.dll) as the script host drives it: our
// browser side (tools/np_browser.h) makes one instance, gives it a window
// and takes its scriptable object, and the host's calls (ControlModule)
// are answered through the plug-in interface. Methods are found by name
// when the page calls them, as a browser finds them; the plug-in's events
// arrive as calls of the page's functions and reach the host as events.
// The host answers the plug-in's dialogs, reads its progress dialog, moves
// its viewer's mouse and saves its picture through the plug-in's host
// extension (plugin/np_host_extension.h), as it does the control module's.
//
// Thread safety: as ControlModule.
#pragma once

#include <string>
#include <string_view>

#include "platform/dynamic_library.h"
#include "plugin/np_exports.h"
#include "plugin/np_host_extension.h"
#include "tools/script_host_module.h"

namespace script_host {

class PluginModule {
public:
    static std::u16string fileIn(std::u16string_view folder);

    // Loads the library and resolves its exports; "" when usable, else the
    // reason.
    std::string load(std::u16string_view path);

    // The calls the script host makes, answered through the plug-in. Valid
    // while this object lives.
    const ControlModule& module() const { return module_; }

    decltype(&NP_GetEntryPoints) getEntryPoints = nullptr;
    decltype(&NP_Initialize) initialize = nullptr;
    decltype(&NP_Shutdown) shutdown = nullptr;
    decltype(&npdocivaPump) pump = nullptr;
    decltype(&npdocivaIsIdle) isIdle = nullptr;
    decltype(&npdocivaSetDialogHost) setDialogHost = nullptr;
    decltype(&npdocivaGetProgress) getProgress = nullptr;
    decltype(&npdocivaScannerHandle) scannerHandle = nullptr;
    decltype(&npdocivaMouse) mouse = nullptr;
    decltype(&npdocivaSavePicture) savePicture = nullptr;

private:
    platform::DynamicLibrary library_;
    ControlModule module_;
};

}  // namespace script_host
