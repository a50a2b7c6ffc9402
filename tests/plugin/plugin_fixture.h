// The plug-in driven by our browser (tools/np_browser.h): a page that
// records the functions the plug-in calls, and a fixture that starts the
// library and makes, scripts and destroys one instance. Shared by the
// portable cases and the Windows window cases.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "plugin/np_exports.h"
#include "plugin/scriptable_object.h"
#include "tools/np_browser.h"

namespace plugin_testing {

using np_browser::Browser;

struct PageCall {
    std::string function;
    std::vector<std::string> arguments;  // String arguments' texts; "<type n>" for others
};

// The page: records every function the plug-in calls; only the functions
// named in `defined` exist.
class RecordingPage : public np_browser::Page {
public:
    std::vector<PageCall> calls;
    std::vector<std::string> defined{"OnSourceReady", "OnProfileReady", "OnAfterScannerRegister"};

    bool call(std::string_view function, const NPVariant* args, std::uint32_t count, NPVariant*) override {
        PageCall c{std::string(function), {}};
        for (std::uint32_t i = 0; i < count; ++i) {
            c.arguments.push_back(args[i].type == NPVariantType_String ? Browser::textOf(args[i])
                                                                      : "<type " + std::to_string(args[i].type) + ">");
        }
        calls.push_back(c);
        for (const auto& d : defined)
            if (d == function) return true;
        return false;
    }
    std::vector<PageCall> callsOf(const std::string& function) const {
        std::vector<PageCall> out;
        for (const auto& c : calls)
            if (c.function == function) out.push_back(c);
        return out;
    }
};

class PluginTest : public ::testing::Test {
protected:
    void SetUp() override {
        baselineObjects_ = browser_.liveObjects();
        ASSERT_EQ(np::startLibrary(&NP_Initialize, &NP_GetEntryPoints, browser_.functions(), &plugin_), NPERR_NO_ERROR);
    }
    void TearDown() override {
        if (created_) destroy();
        EXPECT_EQ(NP_Shutdown(), NPERR_NO_ERROR);
        EXPECT_EQ(browser_.liveObjects(), baselineObjects_) << "scriptable objects left alive";
        EXPECT_EQ(browser_.liveAllocations(), 0u) << "browser memory not given back";
    }

    NPError create() {
        created_ = true;
        char mime[] = "application/mozilla-corvane-npdociva";
        return plugin_.newp(mime, browser_.instance(), 1, 0, nullptr, nullptr, nullptr);
    }
    void destroy() {
        created_ = false;
        EXPECT_EQ(plugin_.destroy(browser_.instance(), nullptr), NPERR_NO_ERROR);
    }
    NPError setWindow(void* handle) {
        NPWindow window{};
        window.window = handle;
        window.width = 665;
        window.height = 800;
        window.type = NPWindowTypeWindow;
        return plugin_.setwindow(browser_.instance(), &window);
    }
    // The caller's reference; release it with browser_.releaseObject.
    NPObject* scriptable() {
        NPObject* object = nullptr;
        EXPECT_EQ(plugin_.getvalue(browser_.instance(), NPPVpluginScriptableNPObject, &object), NPERR_NO_ERROR);
        return object;
    }
    static CInterfaceControl& shellOf(NPObject* object) {
        return static_cast<ScriptablePluginDocivaObject*>(ScriptablePluginObjectBase::of(object))->shell();
    }
    static CDocivaOCXCtrl& controlOf(NPObject* object) { return shellOf(object).control(); }
    bool call(NPObject* object, const char* name, std::vector<NPVariant> args, NPVariant& result) {
        result = NPVariant{NPVariantType_Void, {}};
        return browser_.functions()->invoke(browser_.instance(), object, Browser::identifier(name),
                                            args.empty() ? nullptr : args.data(),
                                            static_cast<std::uint32_t>(args.size()), &result);
    }
    bool call(NPObject* object, const char* name, std::vector<NPVariant> args = {}) {
        NPVariant result;
        const bool done = call(object, name, std::move(args), result);
        browser_.releaseVariant(result);
        return done;
    }

    RecordingPage page_;
    Browser browser_{page_};
    NPPluginFuncs plugin_{};
    std::size_t baselineObjects_ = 0;
    bool created_ = false;
};

inline NPVariant intArg(std::int32_t v) {
    NPVariant n{NPVariantType_Int32, {}};
    n.value.intValue = v;
    return n;
}
inline NPVariant doubleArg(double v) {
    NPVariant n{NPVariantType_Double, {}};
    n.value.doubleValue = v;
    return n;
}
inline NPVariant boolArg(bool v) {
    NPVariant n{NPVariantType_Bool, {}};
    n.value.boolValue = v;
    return n;
}
// Points at a literal: not browser memory, so never released.
inline NPVariant stringArg(const char* text) {
    NPVariant n{NPVariantType_String, {}};
    n.value.stringValue = {text, static_cast<std::uint32_t>(std::char_traits<char>::length(text))};
    return n;
}

}  // namespace plugin_testing
