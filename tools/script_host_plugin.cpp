#include "tools/script_host_plugin.h"

#include <cstring>
#include <memory>
#include <vector>

#include "platform/files.h"
#include "platform/path.h"
#include "platform/text.h"
#include "tools/np_browser.h"

namespace script_host {

namespace {

// What the host shows for a call the plug-in failed: the page's exception.
constexpr std::int32_t kScriptException = static_cast<std::int32_t>(0x80020009u);

// An object of the page handed to the plug-in: nothing the plug-in can
// call, only something it can see is an object.
NPClass& plainObjectClass() {
    static NPClass c = {kNPClassStructVersion, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                        nullptr, nullptr, nullptr, nullptr, nullptr, nullptr};
    return c;
}

class PluginControl final : public np_browser::Page {
public:
    PluginControl(const PluginModule& library, const DocivaHost& host) : library_(library), host_(host) {}
    ~PluginControl() override {
        if (object_) browser_.releaseObject(object_);
        if (instance_) funcs_.destroy(browser_.instance(), nullptr);
        if (initialized_) library_.shutdown();
    }
    PluginControl(const PluginControl&) = delete;
    PluginControl& operator=(const PluginControl&) = delete;

    bool start() {
        funcs_.size = sizeof funcs_;
        if (np::startLibrary(library_.initialize, library_.getEntryPoints, browser_.functions(), &funcs_) !=
            NPERR_NO_ERROR)
            return false;
        initialized_ = true;
        if (!funcs_.newp || !funcs_.destroy || !funcs_.setwindow || !funcs_.getvalue) return false;
        char mime[] = "application/mozilla-corvane-npdociva";
        if (funcs_.newp(mime, browser_.instance(), 1, 0, nullptr, nullptr, nullptr) != NPERR_NO_ERROR) return false;
        instance_ = true;
        if (funcs_.getvalue(browser_.instance(), NPPVpluginScriptableNPObject, &object_) != NPERR_NO_ERROR ||
            !object_)
            return false;
        // The page's dialogs are the host's to answer, as the control
        // module's are (where the plug-in shows windows of its own, those
        // stay).
        return library_.setDialogHost(browser_.instance(), host_.runDialog, host_.context) == DOCIVA_OK;
    }

    std::int32_t createWindow() {
        // No real window: any handle stands for the one the page gives.
        NPWindow window{};
        window.window = reinterpret_cast<void*>(std::uintptr_t{1});
        window.width = 665;
        window.height = 800;
        window.type = NPWindowTypeWindow;
        return funcs_.setwindow(browser_.instance(), &window) == NPERR_NO_ERROR ? 0 : -1;
    }

    std::int32_t dispIdOf(const char16_t* name) {
        const std::string utf8 = text::toUtf8(text::view(name));
        for (std::size_t i = 0; i < names_.size(); ++i)
            if (names_[i] == utf8) return static_cast<std::int32_t>(i + 1);
        names_.push_back(utf8);
        return static_cast<std::int32_t>(names_.size());
    }

    std::int32_t invoke(std::int32_t dispid, const DocivaValue* args, std::uint32_t count, DocivaValue* result);

    std::int32_t pump(std::uint32_t ms) { return library_.pump(browser_.instance(), ms); }
    std::int32_t isIdle() { return library_.isIdle(browser_.instance()); }
    std::int32_t progress(DocivaProgress* p) { return library_.getProgress(browser_.instance(), p); }
    std::uint32_t scannerHandle() { return library_.scannerHandle(browser_.instance()); }
    std::int32_t mouse(std::int32_t kind, std::int32_t x, std::int32_t y) {
        return library_.mouse(browser_.instance(), kind, x, y);
    }
    std::int32_t savePicture(const char16_t* path) { return library_.savePicture(browser_.instance(), path); }
    const std::u16string& exception() const { return exception_; }

    // The page's function of an event's name, called by the plug-in.
    bool call(std::string_view function, const NPVariant* args, std::uint32_t count, NPVariant*) override {
        if (!host_.fireEvent) return false;
        const std::u16string name = text::fromUtf8(function);
        const std::u16string data =
            count > 0 ? text::fromUtf8(np_browser::Browser::textOf(args[0])) : std::u16string();
        host_.fireEvent(host_.context, 0, name.c_str(), data.c_str(), static_cast<std::uint32_t>(data.size()));
        return true;
    }

private:
    const PluginModule& library_;
    DocivaHost host_;
    np_browser::Browser browser_{*this};
    NPPluginFuncs funcs_{};
    NPObject* object_ = nullptr;
    bool initialized_ = false;
    bool instance_ = false;
    std::vector<std::string> names_;
    std::u16string exception_;
};

std::int32_t PluginControl::invoke(std::int32_t dispid, const DocivaValue* args, std::uint32_t count,
                                   DocivaValue* result) {
    if (dispid < 1 || static_cast<std::size_t>(dispid) > names_.size()) return DOCIVA_E_MEMBERNOTFOUND;
    std::vector<std::string> texts(count);
    std::vector<NPVariant> values(count, NPVariant{NPVariantType_Void, {}});
    std::vector<NPObject*> objects;
    for (std::uint32_t i = 0; i < count; ++i) {
        NPVariant& v = values[i];
        switch (args[i].type) {
        case DOCIVA_NULL: v.type = NPVariantType_Null; break;
        case DOCIVA_BOOL:
            v.type = NPVariantType_Bool;
            v.value.boolValue = args[i].integer != 0;
            break;
        case DOCIVA_I2:
        case DOCIVA_I4:
            v.type = NPVariantType_Int32;
            v.value.intValue = args[i].integer;
            break;
        case DOCIVA_R8:
            v.type = NPVariantType_Double;
            v.value.doubleValue = args[i].real;
            break;
        case DOCIVA_STRING:
            texts[i] = args[i].text ? text::toUtf8({args[i].text, args[i].textLength}) : std::string();
            v.type = NPVariantType_String;
            v.value.stringValue = {texts[i].c_str(), static_cast<std::uint32_t>(texts[i].size())};
            break;
        case DOCIVA_DISPATCH:
            objects.push_back(browser_.functions()->createobject(browser_.instance(), &plainObjectClass()));
            v.type = NPVariantType_Object;
            v.value.objectValue = objects.back();
            break;
        default: break;
        }
    }
    NPVariant answer{NPVariantType_Void, {}};
    const bool done = browser_.functions()->invoke(browser_.instance(), object_,
                                                   np_browser::Browser::identifier(names_[dispid - 1]),
                                                   values.empty() ? nullptr : values.data(), count, &answer);
    for (NPObject* o : objects) browser_.releaseObject(o);
    if (!done) {
        browser_.releaseVariant(answer);
        const auto thrown = browser_.takeException();
        exception_ = thrown ? text::fromUtf8(*thrown) : u"the call failed";
        return kScriptException;
    }
    if (result) {
        *result = DocivaValue{};
        switch (answer.type) {
        case NPVariantType_Null: result->type = DOCIVA_NULL; break;
        case NPVariantType_Bool:
            result->type = DOCIVA_BOOL;
            result->integer = answer.value.boolValue ? 1 : 0;
            break;
        case NPVariantType_Int32:
            result->type = DOCIVA_I4;
            result->integer = answer.value.intValue;
            break;
        case NPVariantType_Double:
            result->type = DOCIVA_R8;
            result->real = answer.value.doubleValue;
            break;
        case NPVariantType_String: {
            const std::u16string s = text::fromUtf8(np_browser::Browser::textOf(answer));
            auto buffer = std::make_unique<char16_t[]>(s.size() + 1);
            std::memcpy(buffer.get(), s.data(), s.size() * sizeof(char16_t));
            result->type = DOCIVA_STRING;
            result->textLength = static_cast<std::uint32_t>(s.size());
            result->text = buffer.release();  // freeValue takes it back
            break;
        }
        default: result->type = DOCIVA_EMPTY; break;
        }
    }
    browser_.releaseVariant(answer);
    return DOCIVA_OK;
}

PluginControl* of(DocivaControl* control) { return reinterpret_cast<PluginControl*>(control); }

}  // namespace

std::u16string PluginModule::fileIn(std::u16string_view folder) {
    // The build names the platform's file (DOCIVA_PLUGIN_FILE).
    return platform::joinPath(folder, DOCIVA_PLUGIN_FILE);
}

std::string PluginModule::load(std::u16string_view path) {
    const std::string shown = text::toUtf8(path);
    if (std::string failure = loadLibrary(library_, path, "plug-in"); !failure.empty()) return failure;
    std::string missing;
    resolve(library_, "NP_GetEntryPoints", getEntryPoints, missing);
    resolve(library_, "NP_Initialize", initialize, missing);
    resolve(library_, "NP_Shutdown", shutdown, missing);
    resolve(library_, "npdocivaPump", pump, missing);
    resolve(library_, "npdocivaIsIdle", isIdle, missing);
    resolve(library_, "npdocivaSetDialogHost", setDialogHost, missing);
    resolve(library_, "npdocivaGetProgress", getProgress, missing);
    resolve(library_, "npdocivaScannerHandle", scannerHandle, missing);
    resolve(library_, "npdocivaMouse", mouse, missing);
    resolve(library_, "npdocivaSavePicture", savePicture, missing);
    if (!missing.empty()) return "the plug-in " + shown + " has no export " + missing;

    ControlModule& m = module_;
    m.byName = true;
    m.moduleVersion = [] { return std::int32_t{DOCIVA_MODULE_VERSION}; };
    m.methodCount = [] { return std::uint32_t{0}; };
    m.methodAt = [](std::uint32_t) -> const DocivaMethodInfo* { return nullptr; };
    m.eventCount = [] { return std::uint32_t{0}; };
    m.eventAt = [](std::uint32_t) -> const DocivaEventInfo* { return nullptr; };
    m.makeControl = [this](const DocivaHost* host) -> DocivaControl* {
        auto control = std::make_unique<PluginControl>(*this, *host);
        if (!control->start()) return nullptr;
        return reinterpret_cast<DocivaControl*>(control.release());  // destroyControl takes it back
    };
    m.createWindow = [](DocivaControl* c) { return of(c)->createWindow(); };
    m.destroyControl = [](DocivaControl* c) { std::unique_ptr<PluginControl> owned(of(c)); };
    m.getDispId = [](const char16_t*, std::int32_t*) { return DOCIVA_E_UNKNOWNNAME; };
    m.dispIdByName = [](DocivaControl* c, const char16_t* name) { return of(c)->dispIdOf(name); };
    m.invoke = [](DocivaControl* c, std::int32_t dispid, const DocivaValue* args, std::uint32_t count,
                  DocivaValue* result, std::uint32_t*) { return of(c)->invoke(dispid, args, count, result); };
    m.exceptionText = [](DocivaControl* c) { return of(c)->exception(); };
    m.freeValue = [](DocivaValue* value) {
        if (!value) return;
        if (value->type == DOCIVA_STRING) std::unique_ptr<const char16_t[]> owned(value->text);
        *value = DocivaValue{};
    };
    m.pump = [](DocivaControl* c, std::uint32_t ms) { return of(c)->pump(ms); };
    m.isIdle = [](DocivaControl* c) { return of(c)->isIdle(); };
    m.getProgress = [](DocivaControl* c, DocivaProgress* p) { return of(c)->progress(p); };
    m.scannerHandle = [](DocivaControl* c) { return of(c)->scannerHandle(); };
    m.mouse = [](DocivaControl* c, std::int32_t kind, std::int32_t x, std::int32_t y) {
        return of(c)->mouse(kind, x, y);
    };
    m.savePicture = [](DocivaControl* c, const char16_t* file) { return of(c)->savePicture(file); };
    // The SDK's test calls reach the SDK the plug-in is bound to: found
    // through its binding on Linux; on Windows the plug-in's import is
    // bound to the SDK already loaded under the same name.
    m.answeredBy(library_, platform::folderOf(path));
    m.sdkBoundAs = std::u16string_view(DOCIVA_PLUGIN_FILE).ends_with(u".dll") ? u"dociva.dll" : u"libdociva.so";
    return {};
}

}  // namespace script_host
