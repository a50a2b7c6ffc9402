#include "tools/script_host_module.h"

#include "platform/files.h"
#include "platform/path.h"
#include "platform/text.h"

namespace script_host {

std::string loadLibrary(platform::DynamicLibrary& library, std::u16string_view path, const std::string& what) {
    const std::string shown = text::toUtf8(path);
    if (!platform::pathExists(path)) return "no " + what + " at " + shown;
    if (!library.load(path)) {
        const std::u16string why = platform::DynamicLibrary::lastLoadError();
        return "cannot load the " + what + " " + shown + (why.empty() ? "" : ": " + text::toUtf8(why));
    }
    return {};
}

std::u16string ControlModule::fileIn(std::u16string_view folder) {
    return platform::joinPath(folder, u"libDocivaOCX.so");
}

std::string ControlModule::load(std::u16string_view path) {
    const std::string shown = text::toUtf8(path);
    if (std::string failure = loadLibrary(library_, path, "control module"); !failure.empty()) return failure;
    std::string missing;
    resolve(library_, "docivaModuleVersion", moduleVersion, missing);
    resolve(library_, "docivaMethodCount", methodCount, missing);
    resolve(library_, "docivaMethodAt", methodAt, missing);
    resolve(library_, "docivaEventCount", eventCount, missing);
    resolve(library_, "docivaEventAt", eventAt, missing);
    resolve(library_, "docivaCreateControl", createControl, missing);
    resolve(library_, "docivaCreateWindow", createWindow, missing);
    resolve(library_, "docivaDestroyControl", destroyControl, missing);
    resolve(library_, "docivaGetDispId", getDispId, missing);
    resolve(library_, "docivaInvoke", invoke, missing);
    resolve(library_, "docivaFreeValue", freeValue, missing);
    resolve(library_, "docivaPump", pump, missing);
    resolve(library_, "docivaIsIdle", isIdle, missing);
    resolve(library_, "docivaGetProgress", getProgress, missing);
    resolve(library_, "docivaScannerHandle", scannerHandle, missing);
    resolve(library_, "docivaMouse", mouse, missing);
    resolve(library_, "docivaSavePicture", savePicture, missing);
    if (!missing.empty()) return "the control module " + shown + " has no export " + missing;
    const std::int32_t version = moduleVersion();
    if (version != DOCIVA_MODULE_VERSION) {
        return "the control module " + shown + " has interface version " + std::to_string(version) + ", expected " +
               std::to_string(DOCIVA_MODULE_VERSION);
    }
    folder_ = platform::folderOf(path);
    return {};
}

std::u16string SdkTestCalls::fileIn(std::u16string_view folder) { return platform::joinPath(folder, u"libdociva.so"); }

std::string SdkTestCalls::load(const ControlModule& module) {
    using Press = decltype(simulateButtonPress);
    using Status = decltype(emitStatus);
    simulateButtonPress = reinterpret_cast<Press>(module.boundSymbol("dociva_SimulateButtonPress"));
    emitStatus = reinterpret_cast<Status>(module.boundSymbol("dociva_EmitStatus"));
    if (simulateButtonPress && emitStatus) return {};

    const bool byName = !module.sdkBoundAs.empty();
    const std::u16string path = byName ? module.sdkBoundAs : fileIn(module.folder());
    const std::string shown = text::toUtf8(path);
    if (!byName && !platform::pathExists(path)) return "no scanner SDK at " + shown;
    if (!library_.load(path)) {
        const std::u16string why = platform::DynamicLibrary::lastLoadError();
        return "cannot load the scanner SDK " + shown + (why.empty() ? "" : ": " + text::toUtf8(why));
    }
    std::string missing;
    resolve(library_, "dociva_SimulateButtonPress", simulateButtonPress, missing);
    resolve(library_, "dociva_EmitStatus", emitStatus, missing);
    if (!missing.empty()) {
        simulateButtonPress = nullptr;
        emitStatus = nullptr;
        library_.unload();
        return "the scanner SDK " + shown + " has no export " + missing;
    }
    return {};
}

}  // namespace script_host
