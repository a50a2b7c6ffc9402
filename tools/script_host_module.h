// The control module (libDocivaOCX.so) as the script host loads it: every
// export resolved up front, so a module that lacks one is refused with its
// name instead of failing half-way through a script. Beside it, the SDK's
// test calls, which only the scripts that press a scanner's button need.
//
// Thread safety: load() and destruction on one thread; the resolved calls
// follow the module's own rules (control/dociva_module.h).
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "control/dociva_module.h"
#include "platform/dynamic_library.h"
#include "scanner/dociva_sdk.h"

namespace script_host {

// Loads a library of the host's (what: how messages name it, "the plug-in").
// "" when loaded, else the message to show.
std::string loadLibrary(platform::DynamicLibrary& library, std::u16string_view path, const std::string& what);

// Looks up one export into slot; the first name not found is kept in
// missing.
template <typename Function>
bool resolve(const platform::DynamicLibrary& library, const char* name, Function& slot, std::string& missing) {
    slot = reinterpret_cast<Function>(library.symbol(name));
    if (!slot && missing.empty()) missing = name;
    return slot != nullptr;
}

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
    decltype(&docivaGetProgress) getProgress = nullptr;
    decltype(&docivaScannerHandle) scannerHandle = nullptr;
    decltype(&docivaMouse) mouse = nullptr;
    decltype(&docivaSavePicture) savePicture = nullptr;

    // Set when the calls are answered by the plug-in instead
    // (tools/script_host_plugin.h): the control is made by makeControl,
    // methods are found by name when called (dispIdByName) rather than
    // listed, and a failed call's text is the page's exception.
    bool byName = false;
    std::function<DocivaControl*(const DocivaHost*)> makeControl;
    std::int32_t (*dispIdByName)(DocivaControl* control, const char16_t* name) = nullptr;
    std::u16string (*exceptionText)(DocivaControl* control) = nullptr;

    // The module's file in a folder: the name is fixed (mixed case), not
    // the lowered form the component uses for its own libraries.
    static std::u16string fileIn(std::u16string_view folder);

    // Loads the module and resolves its exports. "" when it is usable,
    // else the reason, naming the file or the missing export.
    std::string load(std::u16string_view path);

    // The folder load() took the module from.
    const std::u16string& folder() const { return folder_; }

    // An export of the module or of a library it was linked against, as
    // the module itself is bound to it; null when there is none.
    void* boundSymbol(const char* name) const { return (answeredBy_ ? answeredBy_ : &library_)->symbol(name); }

    // The SDK's file name as a library whose binding boundSymbol cannot
    // look into is bound to it (a Windows DLL's imports are no exports of
    // its own): loading that bare name gives the SDK instance the process
    // already holds. Empty: the SDK in folder() is loaded instead.
    std::u16string sdkBoundAs;

    // The calls are answered by another library (the plug-in), loaded from
    // folder: boundSymbol and folder() are that library's. It must outlive
    // this object's use.
    void answeredBy(const platform::DynamicLibrary& library, std::u16string folder) {
        answeredBy_ = &library;
        folder_ = std::move(folder);
    }

private:
    platform::DynamicLibrary library_;
    const platform::DynamicLibrary* answeredBy_ = nullptr;
    std::u16string folder_;
};

// The SDK's test calls, from the very SDK instance the control drives, so
// they reach its open scanners. A module linked against the SDK is bound
// to whichever libdociva.so the process loaded first - this program links
// one for `dociva scan`, so that is not necessarily the file in the
// module's folder, and loading that file by its path would give a second
// instance that knows no handle. So the module's own binding comes first;
// only a module that does not link the SDK gets the library in its folder
// (or, with ControlModule::sdkBoundAs, the one the process holds).
struct SdkTestCalls {
    decltype(&dociva_SimulateButtonPress) simulateButtonPress = nullptr;
    decltype(&dociva_EmitStatus) emitStatus = nullptr;

    static std::u16string fileIn(std::u16string_view folder);

    // "" when both calls are resolved, else the reason.
    std::string load(const ControlModule& module);

private:
    platform::DynamicLibrary library_;
};

}  // namespace script_host
