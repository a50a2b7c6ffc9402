#include "tools/np_browser.h"

#include <cstdlib>
#include <cstring>
#include <memory>
#include <set>

namespace np_browser {

namespace {

Browser*& activeSlot() {
    static Browser* browser = nullptr;
    return browser;
}

// Identifiers live as long as the process, as in a browser: a string
// identifier is the address of its interned name, an integer one has its
// low bit set (names are aligned, so the two never meet).
std::set<std::string>& names() {
    static std::set<std::string> interned;
    return interned;
}

bool isIntIdentifier(NPIdentifier id) { return (reinterpret_cast<std::uintptr_t>(id) & 1u) != 0; }

// ---- memory ----

void* memAlloc(std::uint32_t size) {
    void* p = std::malloc(size ? size : 1);
    if (p && Browser::active()) Browser::active()->countAllocation(1);
    return p;
}

void memFree(void* p) {
    if (!p) return;
    if (Browser::active()) Browser::active()->countAllocation(-1);
    std::free(p);
}

// ---- identifiers ----

NPIdentifier getStringIdentifier(const NPUTF8* name) { return name ? Browser::identifier(name) : nullptr; }

void getStringIdentifiers(const NPUTF8** list, std::int32_t count, NPIdentifier* ids) {
    for (std::int32_t i = 0; i < count; ++i) ids[i] = getStringIdentifier(list[i]);
}

NPIdentifier getIntIdentifier(std::int32_t value) {
    return reinterpret_cast<NPIdentifier>(static_cast<std::uintptr_t>(static_cast<std::uint32_t>(value)) << 1 | 1u);
}

bool identifierIsString(NPIdentifier id) { return id && !isIntIdentifier(id); }

NPUTF8* utf8FromIdentifier(NPIdentifier id) {
    if (!identifierIsString(id)) return nullptr;
    const std::string& name = *static_cast<const std::string*>(id);
    auto* copy = static_cast<NPUTF8*>(memAlloc(static_cast<std::uint32_t>(name.size() + 1)));
    if (copy) std::memcpy(copy, name.c_str(), name.size() + 1);
    return copy;
}

std::int32_t intFromIdentifier(NPIdentifier id) {
    if (!isIntIdentifier(id)) return -1;
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(id) >> 1));
}

// ---- objects ----

NPObject* createObject(NPP npp, NPClass* aClass) {
    if (!aClass) return nullptr;
    NPObject* object = nullptr;
    if (aClass->allocate) {
        object = aClass->allocate(npp, aClass);
    } else {
        object = static_cast<NPObject*>(std::malloc(sizeof(NPObject)));
    }
    if (!object) return nullptr;
    object->_class = aClass;
    object->referenceCount = 1;
    if (Browser::active()) Browser::active()->countObject(1);
    return object;
}

NPObject* retainObject(NPObject* object) {
    if (object) ++object->referenceCount;
    return object;
}

void releaseObjectCall(NPObject* object) {
    if (!object || object->referenceCount == 0) return;
    if (--object->referenceCount > 0) return;
    if (Browser::active()) Browser::active()->countObject(-1);
    if (object->_class && object->_class->deallocate) {
        object->_class->deallocate(object);
    } else {
        std::free(object);
    }
}

bool invoke(NPP, NPObject* object, NPIdentifier name, const NPVariant* args, std::uint32_t count, NPVariant* result) {
    if (!object || !object->_class || !object->_class->invoke) return false;
    if (result) result->type = NPVariantType_Void;
    return object->_class->invoke(object, name, args, count, result);
}

bool invokeDefault(NPP, NPObject* object, const NPVariant* args, std::uint32_t count, NPVariant* result) {
    if (!object || !object->_class || !object->_class->invokeDefault) return false;
    return object->_class->invokeDefault(object, args, count, result);
}

bool getProperty(NPP, NPObject* object, NPIdentifier name, NPVariant* result) {
    if (!object || !object->_class || !object->_class->getProperty || !result) return false;
    result->type = NPVariantType_Void;
    return object->_class->getProperty(object, name, result);
}

bool hasProperty(NPP, NPObject* object, NPIdentifier name) {
    return object && object->_class && object->_class->hasProperty && object->_class->hasProperty(object, name);
}

bool hasMethod(NPP, NPObject* object, NPIdentifier name) {
    return object && object->_class && object->_class->hasMethod && object->_class->hasMethod(object, name);
}

void releaseVariantValue(NPVariant* value) {
    if (!value) return;
    if (value->type == NPVariantType_String) {
        memFree(const_cast<NPUTF8*>(value->value.stringValue.UTF8Characters));
    } else if (value->type == NPVariantType_Object) {
        releaseObjectCall(value->value.objectValue);
    }
    value->type = NPVariantType_Void;
    value->value.objectValue = nullptr;
}

void setException(NPObject*, const NPUTF8* message) {
    if (Browser::active()) Browser::active()->setException(message ? message : "");
}

// ---- the instance ----

Browser* browserOf(NPP npp) { return npp ? static_cast<Browser*>(npp->ndata) : nullptr; }

NPError getValue(NPP npp, NPNVariable variable, void* value) {
    Browser* browser = browserOf(npp);
    if (!browser || !value) return NPERR_INVALID_INSTANCE_ERROR;
    switch (variable) {
    case NPNVWindowNPObject:
        *static_cast<NPObject**>(value) = retainObject(browser->windowObject());
        return NPERR_NO_ERROR;
    case NPNVSupportsXEmbedBool:
    case NPNVjavascriptEnabledBool:
        *static_cast<NPBool*>(value) = 1;
        return NPERR_NO_ERROR;
    default: return NPERR_GENERIC_ERROR;
    }
}

NPError setValue(NPP npp, NPPVariable variable, void* value) {
    Browser* browser = browserOf(npp);
    if (!browser) return NPERR_INVALID_INSTANCE_ERROR;
    if (variable == NPPVpluginWindowBool) browser->setWindowed(value != nullptr);
    return NPERR_NO_ERROR;
}

// ---- the page's window object ----

struct WindowObject : NPObject {
    Browser* browser;
};

NPObject* allocateWindow(NPP npp, NPClass*) {
    auto object = std::make_unique<WindowObject>();
    object->browser = browserOf(npp);
    return object.release();  // deallocateWindow takes it back
}

void deallocateWindow(NPObject* object) { std::unique_ptr<WindowObject> owned(static_cast<WindowObject*>(object)); }

bool windowHasMethod(NPObject*, NPIdentifier name) { return identifierIsString(name); }

bool windowInvoke(NPObject* object, NPIdentifier name, const NPVariant* args, std::uint32_t count, NPVariant* result) {
    auto* window = static_cast<WindowObject*>(object);
    if (!window->browser || !identifierIsString(name)) return false;
    NPVariant ignored{NPVariantType_Void, {}};
    const bool done = window->browser->page().call(Browser::nameOf(name), args, count, result ? result : &ignored);
    if (!result) releaseVariantValue(&ignored);
    return done;
}

bool windowHasProperty(NPObject*, NPIdentifier name) {
    return identifierIsString(name) && Browser::nameOf(name) == "window";
}

bool windowGetProperty(NPObject* object, NPIdentifier name, NPVariant* result) {
    if (!windowHasProperty(object, name)) return false;
    result->type = NPVariantType_Object;
    result->value.objectValue = retainObject(object);
    return true;
}

NPClass& windowClass() {
    static NPClass c = {kNPClassStructVersion, allocateWindow, deallocateWindow, nullptr, windowHasMethod, windowInvoke,
                        nullptr, windowHasProperty, windowGetProperty, nullptr, nullptr, nullptr, nullptr};
    return c;
}

}  // namespace

Browser* Browser::active() { return activeSlot(); }

Browser::Browser(Page& page) : page_(page) {
    if (!activeSlot()) {
        activeSlot() = this;
        registered_ = true;
    }
    funcs_.size = sizeof(NPNetscapeFuncs);
    funcs_.version = static_cast<std::uint16_t>(kNPVersionMajor << 8 | kNPVersionMinor);
    funcs_.memalloc = memAlloc;
    funcs_.memfree = memFree;
    funcs_.getvalue = getValue;
    funcs_.setvalue = setValue;
    funcs_.getstringidentifier = getStringIdentifier;
    funcs_.getstringidentifiers = getStringIdentifiers;
    funcs_.getintidentifier = getIntIdentifier;
    funcs_.identifierisstring = identifierIsString;
    funcs_.utf8fromidentifier = utf8FromIdentifier;
    funcs_.intfromidentifier = intFromIdentifier;
    funcs_.createobject = createObject;
    funcs_.retainobject = retainObject;
    funcs_.releaseobject = releaseObjectCall;
    funcs_.invoke = invoke;
    funcs_.invokeDefault = invokeDefault;
    funcs_.getproperty = getProperty;
    funcs_.hasproperty = hasProperty;
    funcs_.hasmethod = hasMethod;
    funcs_.releasevariantvalue = releaseVariantValue;
    funcs_.setexception = np_browser::setException;
    instance_.ndata = this;
    window_ = createObject(&instance_, &windowClass());
}

Browser::~Browser() {
    releaseObjectCall(window_);
    if (registered_) activeSlot() = nullptr;
}

std::optional<std::string> Browser::takeException() {
    std::optional<std::string> taken = std::move(exception_);
    exception_.reset();
    return taken;
}

NPIdentifier Browser::identifier(std::string_view name) {
    const auto [it, added] = names().emplace(name);
    return const_cast<std::string*>(&*it);
}

std::string Browser::nameOf(NPIdentifier id) {
    return identifierIsString(id) ? *static_cast<const std::string*>(id) : std::string();
}

NPVariant Browser::stringVariant(std::string_view text) {
    NPVariant v{NPVariantType_String, {}};
    auto* memory = static_cast<NPUTF8*>(memAlloc(static_cast<std::uint32_t>(text.size() + 1)));
    if (!memory) {
        v.type = NPVariantType_Void;
        return v;
    }
    std::memcpy(memory, text.data(), text.size());
    memory[text.size()] = '\0';
    v.value.stringValue = {memory, static_cast<std::uint32_t>(text.size())};
    return v;
}

std::string Browser::textOf(const NPVariant& value) {
    if (value.type != NPVariantType_String || !value.value.stringValue.UTF8Characters) return {};
    return {value.value.stringValue.UTF8Characters, value.value.stringValue.UTF8Length};
}

void Browser::releaseVariant(NPVariant& value) { releaseVariantValue(&value); }
void Browser::releaseObject(NPObject* object) { releaseObjectCall(object); }

}  // namespace np_browser
