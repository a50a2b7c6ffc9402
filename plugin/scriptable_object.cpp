#include "plugin/scriptable_object.h"

#include <memory>
#include <string>

#include "plugin/np_library.h"
#include "platform/system.h"
#include "platform/text.h"
#include "scanner/sdk_calls.h"

namespace {

ControlEnvironment productEnvironment() {
    ControlEnvironment e;
    e.sdk = linkedSdkCalls();
    return e;
}

// The browser's calls are C: no exception may leave them.
NPObject* allocate(NPP npp, NPClass*) {
    try {
        // Owned by the browser's count from here; deallocate takes it back.
        return std::make_unique<ScriptablePluginDocivaObject>(npp, productEnvironment()).release();
    } catch (...) {
        return nullptr;
    }
}

void deallocate(NPObject* object) { std::unique_ptr<ScriptablePluginObjectBase> owned(ScriptablePluginObjectBase::of(object)); }

void invalidate(NPObject* object) { ScriptablePluginObjectBase::of(object)->Invalidate(); }

bool hasMethod(NPObject* object, NPIdentifier name) { return ScriptablePluginObjectBase::of(object)->HasMethod(name); }

bool invoke(NPObject* object, NPIdentifier name, const NPVariant* args, std::uint32_t count, NPVariant* result) {
    try {
        return ScriptablePluginObjectBase::of(object)->Invoke(name, args, count, result);
    } catch (...) {
        return false;
    }
}

bool invokeDefault(NPObject*, const NPVariant*, std::uint32_t, NPVariant*) { return true; }
bool hasProperty(NPObject*, NPIdentifier) { return false; }
bool getProperty(NPObject*, NPIdentifier, NPVariant*) { return false; }

}  // namespace

NPClass* docivaClass() {
    // setProperty, removeProperty, enumerate and construct are absent.
    static NPClass docivaClass = {
        kNPClassStructVersion, allocate, deallocate, invalidate, hasMethod, invoke, invokeDefault,
        hasProperty,           getProperty, nullptr, nullptr,  nullptr,   nullptr,
    };
    return &docivaClass;
}

ScriptablePluginObjectBase::ScriptablePluginObjectBase(NPP npp) : NPObject{nullptr, 0}, npp_(npp) {}

ScriptablePluginDocivaObject::ScriptablePluginDocivaObject(NPP npp, const ControlEnvironment& environment)
    : ScriptablePluginObjectBase(npp), site_(npp), control_(site_, environment) {}

ScriptablePluginDocivaObject::~ScriptablePluginDocivaObject() { DestroyWindow(); }

void ScriptablePluginDocivaObject::detachInstance() {
    npp_ = nullptr;
    site_.detach();
}

bool ScriptablePluginDocivaObject::HasMethod(NPIdentifier name) { return control_.hasMethod(name); }

bool ScriptablePluginDocivaObject::Invoke(NPIdentifier name, const NPVariant* args, std::uint32_t count,
                                          NPVariant* result) {
    const NPNetscapeFuncs* b = np::browser();
    if (!b || !b->utf8fromidentifier) return false;
    NPUTF8* utf8 = b->utf8fromidentifier(name);
    if (!utf8) return false;
    platform::debugOutput(u"---------------- Invoke:" + text::fromUtf8(utf8) + u"\n");
    bool done = false;
    if (!control_.hasMethod(name)) {
        if (b->setexception) b->setexception(this, "Unknown method");
    } else {
        done = control_.invoke(name, args, count, result);
    }
    if (b->memfree) b->memfree(utf8);
    return done;
}

void ScriptablePluginDocivaObject::AttachWindow(void* window) {
    if (!control_.control().hasWindow()) control_.control().OnCreate();
    control_.attachDialog(window);
}

// The control's message window goes with the control itself.
void ScriptablePluginDocivaObject::DestroyWindow() { control_.destroyDialog(); }
