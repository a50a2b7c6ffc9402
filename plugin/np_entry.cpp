// The plug-in library's exports and the instance's entry points (NPP_*).
#include <cstring>
#include <iterator>
#include <memory>
#include <mutex>

#include "control/host_bridge.h"
#include "output/timage_binding.h"
#include "plugin/np_exports.h"
#include "plugin/np_host_extension.h"
#include "plugin/np_instance.h"
#include "plugin/np_library.h"
#include "plugin/npapi.h"
#include "plugin/scriptable_object.h"
#include "platform/text.h"

namespace {

constexpr const char kMimeDescription[] = "application/mozilla-corvane-npdociva";
constexpr const char kPluginName[] = "DocivaPlugin";
constexpr const char kPluginDescription[] = "Corvane Dociva plugin";

const NPNetscapeFuncs*& browserSlot() {
    static const NPNetscapeFuncs* funcs = nullptr;
    return funcs;
}

// GDI+ from NP_Initialize to NP_Shutdown.
std::unique_ptr<np::GraphicsSession>& libraryGraphics() {
    static std::unique_ptr<np::GraphicsSession> session;
    return session;
}

void loadImageToolkitOnce() {
    // The library's own folder holds the toolkit.
    static std::once_flag once;
    std::call_once(once, [] { timage::loadFromModuleFolder(); });
}

PluginInstanceData* dataOf(NPP instance) { return instance ? static_cast<PluginInstanceData*>(instance->pdata) : nullptr; }

ScriptablePluginDocivaObject* objectOf(const PluginInstanceData* data) {
    return data && data->scriptable ? static_cast<ScriptablePluginDocivaObject*>(
                                          ScriptablePluginObjectBase::of(data->scriptable))
                                    : nullptr;
}

// The instance's own reference, made the first time something needs the
// object.
NPObject* ensureObject(PluginInstanceData& data) {
    const NPNetscapeFuncs* b = np::browser();
    if (!data.scriptable && b && b->createobject) data.scriptable = b->createobject(data.npp, docivaClass());
    return data.scriptable;
}

NPError NPP_New(const char*, NPP instance, std::uint16_t, std::int16_t, char*[], char*[], NPSavedData*) {
    if (!instance) return NPERR_INVALID_INSTANCE_ERROR;
    const NPNetscapeFuncs* b = np::browser();
    // A windowed plug-in: the browser passes the value itself as the pointer.
    if (b && b->setvalue) b->setvalue(instance, NPPVpluginWindowBool, reinterpret_cast<void*>(std::uintptr_t{1}));
    std::unique_ptr<PluginInstanceData> data;
    try {
        data = std::make_unique<PluginInstanceData>();
    } catch (...) {
        return NPERR_OUT_OF_MEMORY_ERROR;
    }
    data->npp = instance;
    data->graphics = np::GraphicsSession::start();
    instance->pdata = data.release();  // NPP_Destroy takes it back
    return NPERR_NO_ERROR;
}

NPError NPP_Destroy(NPP instance, NPSavedData**) {
    if (!instance) return NPERR_INVALID_INSTANCE_ERROR;
    std::unique_ptr<PluginInstanceData> data(dataOf(instance));
    if (!data) return NPERR_NO_ERROR;
    instance->pdata = nullptr;
    // The browser's window gets its own procedure back before anything
    // else goes, so no message reaches a half-destroyed instance.
    data->hook.reset();
    data->window = nullptr;
    data->attached = 0;
    if (data->scriptable) {
        // The page may hold the object longer than the instance lives.
        if (ScriptablePluginDocivaObject* object = objectOf(data.get())) object->detachInstance();
        const NPNetscapeFuncs* b = np::browser();
        if (b && b->releaseobject) b->releaseobject(data->scriptable);
        data->scriptable = nullptr;
    }
    data->graphics.reset();
    return NPERR_NO_ERROR;
}

NPError NPP_SetWindow(NPP instance, NPWindow* window) {
    if (!instance) return NPERR_INVALID_INSTANCE_ERROR;
    PluginInstanceData* data = dataOf(instance);
    if (!window || !data) return NPERR_GENERIC_ERROR;
    if (data->attached || !window->window) return NPERR_NO_ERROR;
    try {
        // The window's paints reach the object through the instance, which
        // outlives the hook.
        data->hook = np::HostWindowHook::attach(window->window, [data] {
            if (ScriptablePluginDocivaObject* object = objectOf(data)) object->Repaint();
        });
        ensureObject(*data);
        if (ScriptablePluginDocivaObject* object = objectOf(data)) object->AttachWindow(window->window);
    } catch (...) {
        return NPERR_GENERIC_ERROR;
    }
    data->window = window->window;
    data->attached = 1;
    return NPERR_NO_ERROR;
}

NPError NPP_NewStream(NPP, const char*, NPStream*, NPBool, std::uint16_t*) { return NPERR_GENERIC_ERROR; }
NPError NPP_DestroyStream(NPP, NPStream*, NPError) { return NPERR_GENERIC_ERROR; }
std::int16_t NPP_HandleEvent(NPP, void*) { return 0; }

NPError NPP_GetValue(NPP instance, NPPVariable variable, void* value) {
    switch (variable) {
    case NPPVpluginNameString:
        if (value) *static_cast<const char**>(value) = kPluginName;
        return NPERR_NO_ERROR;
    case NPPVpluginDescriptionString:
        if (value) *static_cast<const char**>(value) = kPluginDescription;
        return NPERR_NO_ERROR;
    case NPPVpluginNeedsXEmbed:
        if (value) *static_cast<NPBool*>(value) = 1;
        return NPERR_NO_ERROR;
    case NPPVpluginScriptableNPObject: {
        if (!instance) return NPERR_INVALID_INSTANCE_ERROR;
        PluginInstanceData* data = dataOf(instance);
        const NPNetscapeFuncs* b = np::browser();
        if (!data || !value || !b || !b->retainobject) return NPERR_GENERIC_ERROR;
        NPObject* object = nullptr;
        try {
            object = ensureObject(*data);
        } catch (...) {
            return NPERR_OUT_OF_MEMORY_ERROR;
        }
        if (!object) return NPERR_OUT_OF_MEMORY_ERROR;
        // The caller's own reference; the instance keeps its one.
        *static_cast<NPObject**>(value) = b->retainobject(object);
        return NPERR_NO_ERROR;
    }
    default: return NPERR_GENERIC_ERROR;
    }
}

void fillEntryPoints(NPPluginFuncs& funcs) {
    funcs.version = static_cast<std::uint16_t>(kNPVersionMajor << 8 | kNPVersionMinor);
    funcs.newp = NPP_New;
    funcs.destroy = NPP_Destroy;
    funcs.setwindow = NPP_SetWindow;
    funcs.newstream = NPP_NewStream;
    funcs.destroystream = NPP_DestroyStream;
    funcs.event = NPP_HandleEvent;
    funcs.getvalue = NPP_GetValue;
}

}  // namespace

namespace np {
const NPNetscapeFuncs* browser() { return browserSlot(); }
void setBrowser(const NPNetscapeFuncs* funcs) { browserSlot() = funcs; }
}  // namespace np

NP_EXPORT(NPError) NP_GetEntryPoints(NPPluginFuncs* pluginFuncs) {
    if (!pluginFuncs) return NPERR_INVALID_FUNCTABLE_ERROR;
    fillEntryPoints(*pluginFuncs);
    return NPERR_NO_ERROR;
}

namespace np {

NPError initializeLibrary(NPNetscapeFuncs* browserFuncs) {
    if (!browserFuncs) return NPERR_INVALID_FUNCTABLE_ERROR;
    if ((browserFuncs->version >> 8) != kNPVersionMajor) return NPERR_INCOMPATIBLE_VERSION_ERROR;
    loadImageToolkitOnce();
    setBrowser(browserFuncs);
    if (!libraryGraphics()) libraryGraphics() = GraphicsSession::start();
    return NPERR_NO_ERROR;
}

}  // namespace np

NP_EXPORT(NPError) NP_Shutdown() {
    libraryGraphics().reset();
    np::setBrowser(nullptr);
    return NPERR_NO_ERROR;
}

NP_EXPORT(const char*) NP_GetMIMEDescription() { return kMimeDescription; }

NP_EXPORT(NPError) NP_GetValue(void*, NPPVariable variable, void* value) {
    return NPP_GetValue(nullptr, variable, value);
}

NPDOCIVA_API std::int32_t npdocivaPump(NPP instance, std::uint32_t timeoutMs) {
    ScriptablePluginDocivaObject* object = objectOf(dataOf(instance));
    if (!object || !object->control().window()) return 0;
    return static_cast<std::int32_t>(object->control().window()->pump(timeoutMs));
}

NPDOCIVA_API std::int32_t npdocivaIsIdle(NPP instance) {
    ScriptablePluginDocivaObject* object = objectOf(dataOf(instance));
    return !object || object->control().isIdle() ? 1 : 0;
}

NPDOCIVA_API std::int32_t npdocivaSetDialogHost(NPP instance, NpdocivaRunDialog runDialog, void* context) {
    ScriptablePluginDocivaObject* object = objectOf(dataOf(instance));
    if (!object) return DOCIVA_E_INVALIDARG;
    object->site().hostDialogs().setAnswerer(runDialog, context);
    return DOCIVA_OK;
}

NPDOCIVA_API std::int32_t npdocivaGetProgress(NPP instance, DocivaProgress* progress) {
    ScriptablePluginDocivaObject* object = objectOf(dataOf(instance));
    if (!object || !progress) return DOCIVA_E_INVALIDARG;
    *progress = host_bridge::progress(object->control());
    return DOCIVA_OK;
}

NPDOCIVA_API std::uint32_t npdocivaScannerHandle(NPP instance) {
    ScriptablePluginDocivaObject* object = objectOf(dataOf(instance));
    return object ? object->control().currentScannerHandle() : 0;
}

NPDOCIVA_API std::int32_t npdocivaMouse(NPP instance, std::int32_t kind, std::int32_t x, std::int32_t y) {
    ScriptablePluginDocivaObject* object = objectOf(dataOf(instance));
    if (!object) return DOCIVA_E_INVALIDARG;
    return host_bridge::mouse(object->control(), kind, x, y);
}

NPDOCIVA_API std::int32_t npdocivaSavePicture(NPP instance, const char16_t* path) {
    ScriptablePluginDocivaObject* object = objectOf(dataOf(instance));
    return object ? host_bridge::savePicture(object->control(), path) : -1;
}
