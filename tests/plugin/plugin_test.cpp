// The plug-in through its exports and entry points, driven by our browser
// (tools/np_browser.h) the way a browser drives it.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <string>
#include <vector>

#include "control/dispatch.h"
#include "platform/system.h"
#include "platform/text.h"
#include "plugin/np_exports.h"
#include "plugin/np_host_extension.h"
#include "plugin/scriptable_object.h"
#include "support/test_support.h"
#include "tools/np_browser.h"

#include "plugin_fixture.h"

namespace {

using namespace plugin_testing;
using np_browser::Browser;

TEST(PluginExports, InitializeRefusesMissingTablesAndOtherMajorVersions) {
    RecordingPage page;
    Browser browser(page);
    struct Row {
        const char* what;
        bool table;
        std::uint16_t version;
        NPError expected;
    };
    const Row rows[] = {
        {"no table", false, 27, NPERR_INVALID_FUNCTABLE_ERROR},
        {"major 1 (0x0100)", true, 0x0100, NPERR_INCOMPATIBLE_VERSION_ERROR},
        {"major 255, minor 27", true, 0xFF1B, NPERR_INCOMPATIBLE_VERSION_ERROR},
        {"version 27", true, 27, NPERR_NO_ERROR},
        {"an older minor version", true, 9, NPERR_NO_ERROR},
    };
    for (const auto& row : rows) {
        NPNetscapeFuncs funcs = *browser.functions();
        funcs.version = row.version;
        EXPECT_EQ(np::startLibrary(&NP_Initialize, &NP_GetEntryPoints, row.table ? &funcs : nullptr, nullptr),
                  row.expected)
            << row.what;
        EXPECT_EQ(NP_Shutdown(), NPERR_NO_ERROR) << row.what;
    }
}

TEST(PluginExports, EntryPointsSetTheirEntriesAndLeaveTheRest) {
    NPPluginFuncs funcs{};
    funcs.size = sizeof funcs;
    const auto print = reinterpret_cast<NPP_PrintProcPtr>(0x1234);
    funcs.print = print;
    ASSERT_EQ(NP_GetEntryPoints(&funcs), NPERR_NO_ERROR);
    EXPECT_EQ(funcs.version, 27);
    EXPECT_EQ(funcs.size, sizeof funcs);
    for (const auto* entry : {reinterpret_cast<const void*>(funcs.newp), reinterpret_cast<const void*>(funcs.destroy),
                              reinterpret_cast<const void*>(funcs.setwindow),
                              reinterpret_cast<const void*>(funcs.newstream),
                              reinterpret_cast<const void*>(funcs.destroystream),
                              reinterpret_cast<const void*>(funcs.event), reinterpret_cast<const void*>(funcs.getvalue)})
        EXPECT_NE(entry, nullptr);
    EXPECT_EQ(funcs.print, print);
    EXPECT_EQ(funcs.setvalue, nullptr);
    EXPECT_EQ(funcs.write, nullptr);
    EXPECT_EQ(NP_GetEntryPoints(nullptr), NPERR_INVALID_FUNCTABLE_ERROR);
    EXPECT_STREQ(NP_GetMIMEDescription(), "application/mozilla-corvane-npdociva");
}

TEST_F(PluginTest, NewTellsTheBrowserItIsWindowedAndRefusesNoInstance) {
    char mime[] = "application/mozilla-corvane-npdociva";
    EXPECT_EQ(plugin_.newp(mime, nullptr, 1, 0, nullptr, nullptr, nullptr), NPERR_INVALID_INSTANCE_ERROR);
    EXPECT_EQ(plugin_.destroy(nullptr, nullptr), NPERR_INVALID_INSTANCE_ERROR);
    NPP_t empty{};
    EXPECT_EQ(plugin_.destroy(&empty, nullptr), NPERR_NO_ERROR) << "an instance without data";
    ASSERT_EQ(create(), NPERR_NO_ERROR);
    EXPECT_TRUE(browser_.windowedRequested());
    EXPECT_NE(browser_.instance()->pdata, nullptr);
}

TEST_F(PluginTest, StreamsAreRefusedAndEventsIgnored) {
    ASSERT_EQ(create(), NPERR_NO_ERROR);
    std::uint16_t type = 0;
    EXPECT_EQ(plugin_.newstream(browser_.instance(), "text/plain", nullptr, 0, &type), NPERR_GENERIC_ERROR);
    EXPECT_EQ(plugin_.destroystream(browser_.instance(), nullptr, 0), NPERR_GENERIC_ERROR);
    EXPECT_EQ(plugin_.event(browser_.instance(), nullptr), 0);
}

TEST_F(PluginTest, GetValueForEachVariable) {
    ASSERT_EQ(create(), NPERR_NO_ERROR);
    const char* text = nullptr;
    EXPECT_EQ(plugin_.getvalue(browser_.instance(), NPPVpluginNameString, &text), NPERR_NO_ERROR);
    EXPECT_STREQ(text, "DocivaPlugin");
    EXPECT_EQ(plugin_.getvalue(browser_.instance(), NPPVpluginDescriptionString, &text), NPERR_NO_ERROR);
    EXPECT_STREQ(text, "Corvane Dociva plugin");
    NPBool xembed = 0;
    EXPECT_EQ(plugin_.getvalue(browser_.instance(), NPPVpluginNeedsXEmbed, &xembed), NPERR_NO_ERROR);
    EXPECT_EQ(xembed, 1);
    NPObject* object = nullptr;
    EXPECT_EQ(plugin_.getvalue(nullptr, NPPVpluginScriptableNPObject, &object), NPERR_INVALID_INSTANCE_ERROR);
    EXPECT_EQ(object, nullptr);
    for (const NPPVariable other : {NPPVpluginWindowBool, NPPVpluginTransparentBool, NPPVjavaClass,
                                    NPPVpluginWindowSize, NPPVpluginTimerInterval, NPPVpluginScriptableIID,
                                    NPPVpluginKeepLibraryInMemory, NPPVformValue}) {
        void* value = nullptr;
        EXPECT_EQ(plugin_.getvalue(browser_.instance(), other, &value), NPERR_GENERIC_ERROR) << "variable " << other;
    }
    NPObject* first = scriptable();
    NPObject* second = scriptable();
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first, second) << "one scriptable object per instance";
    EXPECT_EQ(first->_class, docivaClass());
    browser_.releaseObject(first);
    browser_.releaseObject(second);
}

TEST_F(PluginTest, ScriptableObjectReferencesOverTheInstancesLife) {
    ASSERT_EQ(create(), NPERR_NO_ERROR);
    NPObject* object = scriptable();
    ASSERT_NE(object, nullptr);
    EXPECT_EQ(object->referenceCount, 2u) << "the instance's own and the caller's";
    NPObject* again = scriptable();
    EXPECT_EQ(object->referenceCount, 3u);
    browser_.releaseObject(again);
    browser_.releaseObject(object);
    EXPECT_EQ(object->referenceCount, 1u);
    EXPECT_EQ(browser_.liveObjects(), baselineObjects_ + 1);
    destroy();
    EXPECT_EQ(browser_.liveObjects(), baselineObjects_) << "the instance's reference was the last";
}

TEST_F(PluginTest, ThePageMayHoldTheObjectLongerThanTheInstance) {
    ASSERT_EQ(create(), NPERR_NO_ERROR);
    ASSERT_EQ(setWindow(reinterpret_cast<void*>(0x2a)), NPERR_NO_ERROR);
    NPObject* object = scriptable();
    ASSERT_NE(object, nullptr);
    destroy();
    ASSERT_EQ(object->referenceCount, 1u);
    page_.calls.clear();
    // Still callable; its events have no page to go to.
    EXPECT_TRUE(call(object, "Initialize"));
    EXPECT_TRUE(page_.calls.empty());
    browser_.releaseObject(object);
}

TEST_F(PluginTest, SetWindowAttachesOnceToTheFirstNativeWindow) {
    ASSERT_EQ(create(), NPERR_NO_ERROR);
    NPP_t stranger{};
    struct Row {
        const char* what;
        NPP instance;
        bool window;
        NPError expected;
    };
    const Row rows[] = {
        {"no instance", nullptr, true, NPERR_INVALID_INSTANCE_ERROR},
        {"no window", browser_.instance(), false, NPERR_GENERIC_ERROR},
        {"no instance data", &stranger, true, NPERR_GENERIC_ERROR},
    };
    NPWindow window{};
    window.window = reinterpret_cast<void*>(0x2a);
    for (const auto& row : rows)
        EXPECT_EQ(plugin_.setwindow(row.instance, row.window ? &window : nullptr), row.expected) << row.what;

    EXPECT_EQ(setWindow(nullptr), NPERR_NO_ERROR) << "no native handle yet";
    NPObject* object = scriptable();
    ASSERT_NE(object, nullptr);
    EXPECT_FALSE(controlOf(object).hasWindow());
    const std::uint32_t references = object->referenceCount;

    EXPECT_EQ(setWindow(reinterpret_cast<void*>(0x2a)), NPERR_NO_ERROR);
    ASSERT_TRUE(controlOf(object).hasWindow());
    platform::MessageWindow* made = controlOf(object).window();
    EXPECT_TRUE(page_.calls.empty()) << "the page is set up by Initialize, not by the window";

    EXPECT_EQ(setWindow(reinterpret_cast<void*>(0x2a)), NPERR_NO_ERROR);
    EXPECT_EQ(setWindow(reinterpret_cast<void*>(0x2b)), NPERR_NO_ERROR);
    EXPECT_EQ(controlOf(object).window(), made) << "a second SetWindow changes nothing";
    EXPECT_EQ(object->referenceCount, references);
    EXPECT_TRUE(page_.calls.empty());
    browser_.releaseObject(object);
}

TEST_F(PluginTest, SetWindowMakesTheObjectWhenNoneWasAskedFor) {
    ASSERT_EQ(create(), NPERR_NO_ERROR);
    ASSERT_EQ(setWindow(reinterpret_cast<void*>(0x2a)), NPERR_NO_ERROR);
    EXPECT_EQ(browser_.liveObjects(), baselineObjects_ + 1);
    NPObject* object = scriptable();
    EXPECT_EQ(object->referenceCount, 2u) << "GetValue gives the object SetWindow made";
    EXPECT_TRUE(controlOf(object).hasWindow());
    browser_.releaseObject(object);
}

TEST_F(PluginTest, MethodTableHoldsTheControlsMethodsAndItsOwn) {
    const auto names = CInterfaceControl::methodNames();
    ASSERT_EQ(names.size(), 82u);
    EXPECT_STREQ(names[0], "sayHello");
    EXPECT_STREQ(names[2], "Initialize");
    EXPECT_STREQ(names[80], "GetScannerButtonSetting");
    EXPECT_STREQ(names[81], "ScanCancel");
    for (const char* name : names) {
        const std::string n = name;
        if (n == "sayHello" || n == "test") continue;
        std::int32_t dispid = 0;
        EXPECT_EQ(dispatch::dispIdOf(text::fromUtf8(n), dispid), DOCIVA_OK) << n << " is no method of the control";
    }
    ASSERT_EQ(create(), NPERR_NO_ERROR);
    NPObject* object = scriptable();
    for (const char* name : names)
        EXPECT_TRUE(browser_.functions()->hasmethod(browser_.instance(), object, Browser::identifier(name))) << name;
    browser_.releaseObject(object);
}

TEST_F(PluginTest, UnknownMethodsThrowInThePage) {
    ASSERT_EQ(create(), NPERR_NO_ERROR);
    NPObject* object = scriptable();
    for (const char* name : {"AboutBox", "RegScannerSourceCallback", "SetOutputSplitFixPages", "NoSuchMethod",
                             "sayhello"}) {
        EXPECT_FALSE(browser_.functions()->hasmethod(browser_.instance(), object, Browser::identifier(name))) << name;
        EXPECT_FALSE(call(object, name, {intArg(1)})) << name;
        EXPECT_EQ(browser_.takeException().value_or("<none>"), "Unknown method") << name;
    }
    EXPECT_TRUE(call(object, "SetResolution", {intArg(200)}));
    EXPECT_FALSE(browser_.takeException().has_value());
    browser_.releaseObject(object);
}

TEST_F(PluginTest, InvokeWritesItsDebugLine) {
    ASSERT_EQ(create(), NPERR_NO_ERROR);
    NPObject* object = scriptable();
    std::vector<std::u16string> lines;
    {
        platform::ScopedDebugCapture capture([&](std::u16string_view line) { lines.emplace_back(line); });
        call(object, "test");
        call(object, "NoSuchMethod");
    }
    browser_.takeException();
    std::vector<std::u16string> invokes;
    for (const auto& l : lines)
        if (l.starts_with(u"----------------")) invokes.push_back(l);
    ASSERT_EQ(invokes.size(), 2u);
    EXPECT_EQ(invokes[0], u"---------------- Invoke:test\n");
    EXPECT_EQ(invokes[1], u"---------------- Invoke:NoSuchMethod\n");
    browser_.releaseObject(object);
}

TEST_F(PluginTest, OwnMethodsReturnTheirTexts) {
    ASSERT_EQ(create(), NPERR_NO_ERROR);
    NPObject* object = scriptable();
    struct Row {
        const char* method;
        const char* text;
    };
    for (const Row& row : {Row{"sayHello", "CInterfaceControl hello world!"}, Row{"test", "CInterfaceControl Test!"}}) {
        NPVariant result;
        ASSERT_TRUE(call(object, row.method, {}, result)) << row.method;
        ASSERT_EQ(result.type, NPVariantType_String) << row.method;
        EXPECT_EQ(Browser::textOf(result), row.text);
        browser_.releaseVariant(result);
    }
    browser_.releaseObject(object);
}

TEST_F(PluginTest, IntegerArgumentsAreConvertedNeverRefused) {
    ASSERT_EQ(create(), NPERR_NO_ERROR);
    NPObject* object = scriptable();
    CDocivaOCXCtrl& control = controlOf(object);
    NPVariant null{NPVariantType_Null, {}};
    NPVariant undefined{NPVariantType_Void, {}};
    NPVariant objectArg{NPVariantType_Object, {}};
    objectArg.value.objectValue = object;
    struct Row {
        const char* what;
        std::vector<NPVariant> args;
        std::int16_t expected;
    };
    const Row rows[] = {
        {"String \"300\"", {stringArg("300")}, 300},
        {"Double 300.7", {doubleArg(300.7)}, 300},
        {"Double -300.7 truncates toward zero", {doubleArg(-300.7)}, -300},
        {"Int32 600", {intArg(600)}, 600},
        {"Int32 70000 keeps its low 16 bits", {intArg(70000)}, 4464},
        {"Int32 40000 is negative in 16 bits", {intArg(40000)}, -25536},
        {"Double out of 32 bits", {doubleArg(1e12)}, 0},
        {"Double NaN", {doubleArg(std::nan(""))}, 0},
        {"Bool true", {boolArg(true)}, 1},
        {"Bool false", {boolArg(false)}, 0},
        {"Null", {null}, 0},
        {"Void", {undefined}, 0},
        {"Object", {objectArg}, -1},
        {"String with blanks, sign and tail", {stringArg("  -12dpi")}, -12},
        {"String without digits", {stringArg("dpi")}, 0},
        {"String of a real", {stringArg("250.9")}, 250},
        {"extra arguments are ignored", {intArg(150), stringArg("x")}, 150},
    };
    for (const auto& row : rows) {
        control.SetResolution(77);
        EXPECT_TRUE(call(object, "SetResolution", row.args)) << row.what;
        EXPECT_EQ(control.scanSettings().scanDpi, row.expected) << row.what;
    }
    control.SetResolution(77);
    EXPECT_TRUE(call(object, "SetResolution")) << "no argument";
    EXPECT_EQ(control.scanSettings().scanDpi, 77) << "a setter without arguments changes nothing";
    browser_.releaseObject(object);
}

TEST_F(PluginTest, TextArgumentsComeOnlyFromStrings) {
    ASSERT_EQ(create(), NPERR_NO_ERROR);
    NPObject* object = scriptable();
    CDocivaOCXCtrl& control = controlOf(object);
    EXPECT_TRUE(call(object, "SetSavetoFileName", {stringArg("scan_\xC3\xA9t\xC3\xA9")}));
    EXPECT_EQ(text::toUtf8(control.scanSettings().fileName), "scan_\xC3\xA9t\xC3\xA9");
    EXPECT_TRUE(call(object, "SetSavetoFileName", {intArg(5)}));
    EXPECT_EQ(text::toUtf8(control.scanSettings().fileName), "") << "a number gives the empty text";
    // Reals reach the scan area as they are.
    EXPECT_TRUE(call(object, "SetCustomScanSize",
                     {doubleArg(1.5), intArg(2), stringArg("3.25"), doubleArg(4), intArg(0)}));
    EXPECT_DOUBLE_EQ(control.scanSettings().scanAreaX, 1.5);
    EXPECT_DOUBLE_EQ(control.scanSettings().scanAreaY, 2);
    EXPECT_DOUBLE_EQ(control.scanSettings().scanAreaW, 3.25);
    EXPECT_DOUBLE_EQ(control.scanSettings().scanAreaH, 4);
    NPVariant result;
    ASSERT_TRUE(call(object, "GetFileNameExample", {stringArg("doc")}, result));
    EXPECT_EQ(result.type, NPVariantType_String);
    EXPECT_EQ(Browser::textOf(result), "doc");
    browser_.releaseVariant(result);
    ASSERT_TRUE(call(object, "GetFileCount", {}, result));
    EXPECT_EQ(result.type, NPVariantType_Int32);
    EXPECT_EQ(result.value.intValue, 0);
    ASSERT_TRUE(call(object, "ViewThumb4", {}, result));
    EXPECT_EQ(result.type, NPVariantType_Void) << "a method without a result";
    browser_.releaseObject(object);
}

TEST_F(PluginTest, InitializeSetsThePageUpOnce) {
    ASSERT_EQ(create(), NPERR_NO_ERROR);
    ASSERT_EQ(setWindow(reinterpret_cast<void*>(0x2a)), NPERR_NO_ERROR);
    NPObject* object = scriptable();
    EXPECT_TRUE(page_.calls.empty());
    EXPECT_TRUE(call(object, "Initialize", {stringArg("anything")}));
    const auto profiles = page_.callsOf("OnProfileReady");
    const auto sources = page_.callsOf("OnSourceReady");
    ASSERT_EQ(profiles.size(), 1u);
    ASSERT_EQ(sources.size(), 1u);
    ASSERT_EQ(sources[0].arguments.size(), 1u) << "one JSON text";
    EXPECT_TRUE(sources[0].arguments[0].starts_with("{\"count\":")) << sources[0].arguments[0];
    EXPECT_TRUE(shellOf(object).started());
    EXPECT_TRUE(call(object, "Initialize"));
    EXPECT_EQ(page_.calls.size(), 2u) << "later calls repeat nothing";
    browser_.releaseObject(object);
}

TEST_F(PluginTest, RegistrationFailuresInThePluginsWords) {
    ASSERT_EQ(create(), NPERR_NO_ERROR);
    ASSERT_EQ(setWindow(reinterpret_cast<void*>(0x2a)), NPERR_NO_ERROR);
    NPObject* object = scriptable();
    struct Row {
        const char* what;
        std::vector<NPVariant> args;
        const char* payload;
    };
    const Row rows[] = {
        {"no argument", {}, "{\"code\":3, \"message\":\"Product name cannot be empty\"}"},
        {"not a String", {intArg(5)}, "{\"code\":3, \"message\":\"Product name cannot be empty\"}"},
        {"an empty name", {stringArg("")}, "{\"code\":3, \"message\":\"Product name cannot be empty\"}"},
        {"no such scanner", {stringArg("No Such Scanner 9000")}, "{\"code\":3, \"message\":\"Driver register fail\"}"},
    };
    for (const auto& row : rows) {
        page_.calls.clear();
        EXPECT_TRUE(call(object, "ScannerRegister", row.args)) << row.what;
        const auto raised = page_.callsOf("OnAfterScannerRegister");
        ASSERT_EQ(raised.size(), 1u) << row.what;
        ASSERT_EQ(raised[0].arguments.size(), 1u) << row.what;
        EXPECT_EQ(raised[0].arguments[0], row.payload) << row.what;
    }
    browser_.releaseObject(object);
}

TEST_F(PluginTest, APageWithoutTheFunctionGetsNothingAndNoError) {
    page_.defined.clear();
    ASSERT_EQ(create(), NPERR_NO_ERROR);
    NPObject* object = scriptable();
    EXPECT_TRUE(call(object, "ScannerRegister"));
    EXPECT_EQ(page_.callsOf("OnAfterScannerRegister").size(), 1u) << "tried once";
    EXPECT_FALSE(browser_.takeException().has_value());
    browser_.releaseObject(object);
}

TEST_F(PluginTest, PumpAndIdleWithoutAWindow) {
    EXPECT_EQ(npdocivaPump(nullptr, 0), 0);
    EXPECT_EQ(npdocivaIsIdle(nullptr), 1);
    ASSERT_EQ(create(), NPERR_NO_ERROR);
    EXPECT_EQ(npdocivaPump(browser_.instance(), 0), 0);
    ASSERT_EQ(setWindow(reinterpret_cast<void*>(0x2a)), NPERR_NO_ERROR);
    EXPECT_EQ(npdocivaPump(browser_.instance(), 0), 0);
    EXPECT_EQ(npdocivaIsIdle(browser_.instance()), 1);
}

// The host's answerer as a test installs it: records each request and
// gives the row's answer.
struct RecordingAnswerer {
    struct Request {
        std::uint32_t kind = 0;
        std::u16string caption, text, initial;
        bool record = false;
        std::int32_t textAngle = 0;  // the watermark record's, as the dialog opens
        std::uint32_t capacity = 0;
    };
    std::vector<Request> requests;
    std::int32_t result = 1;
    std::u16string answer;

    static std::int32_t run(void* context, const DocivaDialogRequest* request, char16_t* out, std::uint32_t capacity) {
        auto& self = *static_cast<RecordingAnswerer*>(context);
        const auto* record = static_cast<platform::WatermarkSettings*>(request->record);
        self.requests.push_back({request->kind, std::u16string(text::view(request->caption)),
                                 std::u16string(text::view(request->text)),
                                 std::u16string(text::view(request->initial)), record != nullptr, record ? record->textAngle : 0,
                                 capacity});
        if (out) text::copyBounded(out, capacity, self.answer);
        if (request->kind == DOCIVA_DIALOG_WATERMARK && self.result == 1) {
            static_cast<platform::WatermarkSettings*>(request->record)->textAngle = 45;
        }
        return self.result;
    }
};

TEST_F(PluginTest, TheHostAnswersTheDialogsWhereThePlatformHasNone) {
    if (testing_support::onWindows()) GTEST_SKIP() << "the plug-in opens its own dialog windows on Windows";
    ASSERT_EQ(create(), NPERR_NO_ERROR);
    ASSERT_EQ(setWindow(reinterpret_cast<void*>(0x2a)), NPERR_NO_ERROR);
    NPObject* object = scriptable();
    RecordingAnswerer host;
    ASSERT_EQ(npdocivaSetDialogHost(browser_.instance(), &RecordingAnswerer::run, &host), DOCIVA_OK);
    struct Row {
        const char* what;
        const char* method;
        std::vector<NPVariant> args;
        std::int32_t hostResult;
        std::u16string hostAnswer;
        std::uint32_t kind;
        std::u16string caption;  // as the host is asked
        std::uint32_t capacity;
        std::string result;  // the method's String result; "" when it has none
    };
    const Row rows[] = {
        {"folder chosen", "SelectFolder", {}, 1, u"/scans/here", DOCIVA_DIALOG_FOLDER, u"Select folder:", 260,
         "/scans/here"},
        {"folder cancelled", "SelectFolder", {}, 0, u"/ignored", DOCIVA_DIALOG_FOLDER, u"Select folder:", 260, ""},
        {"program chosen", "SelectAPFile", {}, 1, u"/opt/viewer", DOCIVA_DIALOG_FILE, u"", 260, "/opt/viewer"},
        {"program cancelled", "SelectAPFile", {}, 0, u"", DOCIVA_DIALOG_FILE, u"", 260, ""},
        {"alert", "Alert", {stringArg("Title"), stringArg("Body")}, 1, u"", DOCIVA_DIALOG_ALERT, u"Title", 0, ""},
        {"watermark", "OpenWatermarkSetting", {}, 1, u"", DOCIVA_DIALOG_WATERMARK, u"Wartermark Setting", 0, ""},
        {"profile name cancelled", "ExportProfile", {}, 0, u"", DOCIVA_DIALOG_INPUT, u"", 256, ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        host.requests.clear();
        host.result = row.hostResult;
        host.answer = row.hostAnswer;
        NPVariant result;
        ASSERT_TRUE(call(object, row.method, row.args, result));
        ASSERT_EQ(host.requests.size(), 1u) << "the host is asked once";
        const auto& asked = host.requests[0];
        EXPECT_EQ(asked.kind, row.kind);
        if (row.kind != DOCIVA_DIALOG_INPUT) {
            EXPECT_EQ(asked.caption, row.caption);
        }
        EXPECT_EQ(asked.capacity, row.capacity);
        EXPECT_EQ(asked.record, row.kind == DOCIVA_DIALOG_WATERMARK) << "only the watermark dialog has a record";
        if (result.type == NPVariantType_String) {
            EXPECT_EQ(Browser::textOf(result), row.result);
        }
        browser_.releaseVariant(result);
    }
    // The watermark the host confirmed is the control's from now on.
    host.requests.clear();
    host.result = 0;
    ASSERT_TRUE(call(object, "OpenWatermarkSetting"));
    ASSERT_EQ(host.requests.size(), 1u);
    EXPECT_EQ(host.requests[0].textAngle, 45);

    // Taken away again: every dialog is a user's who closes it, and the
    // host hears nothing.
    ASSERT_EQ(npdocivaSetDialogHost(browser_.instance(), nullptr, nullptr), DOCIVA_OK);
    host.requests.clear();
    NPVariant result;
    ASSERT_TRUE(call(object, "SelectFolder", {}, result));
    ASSERT_EQ(result.type, NPVariantType_String);
    EXPECT_EQ(Browser::textOf(result), "");
    browser_.releaseVariant(result);
    EXPECT_TRUE(host.requests.empty());
    browser_.releaseObject(object);
}

TEST_F(PluginTest, HostExtensionRefusesAnInstanceWithoutItsObject) {
    RecordingAnswerer host;
    DocivaProgress progress{};
    const char16_t path[] = u"picture.png";
    // No instance at all, then an instance whose object was never made.
    for (const bool withInstance : {false, true}) {
        SCOPED_TRACE(withInstance ? "no object" : "no instance");
        if (withInstance) {
            ASSERT_EQ(create(), NPERR_NO_ERROR);
        }
        NPP instance = withInstance ? browser_.instance() : nullptr;
        EXPECT_EQ(npdocivaSetDialogHost(instance, &RecordingAnswerer::run, &host), DOCIVA_E_INVALIDARG);
        EXPECT_EQ(npdocivaGetProgress(instance, &progress), DOCIVA_E_INVALIDARG);
        EXPECT_EQ(npdocivaScannerHandle(instance), 0u);
        EXPECT_EQ(npdocivaMouse(instance, DOCIVA_MOUSE_MOVE, 1, 1), DOCIVA_E_INVALIDARG);
        EXPECT_EQ(npdocivaSavePicture(instance, path), -1);
    }
}

TEST_F(PluginTest, HostExtensionReachesTheControlsProgressViewerAndScanner) {
    ASSERT_EQ(create(), NPERR_NO_ERROR);
    ASSERT_EQ(setWindow(reinterpret_cast<void*>(0x2a)), NPERR_NO_ERROR);
    NPObject* object = scriptable();
    EXPECT_EQ(npdocivaGetProgress(browser_.instance(), nullptr), DOCIVA_E_INVALIDARG);
    DocivaProgress progress{};
    progress.visible = 7;
    ASSERT_EQ(npdocivaGetProgress(browser_.instance(), &progress), DOCIVA_OK);
    EXPECT_EQ(progress.visible, 0) << "no run, no progress shown";
    EXPECT_EQ(progress.timesShown, 0);
    EXPECT_EQ(npdocivaScannerHandle(browser_.instance()), 0u) << "no scanner registered";

    struct MouseRow {
        std::int32_t kind;
        std::int32_t expected;
    };
    for (const MouseRow& row : {MouseRow{DOCIVA_MOUSE_MOVE, DOCIVA_OK}, MouseRow{DOCIVA_MOUSE_DRAG, DOCIVA_OK},
                                MouseRow{DOCIVA_MOUSE_DOWN, DOCIVA_OK}, MouseRow{DOCIVA_MOUSE_UP, DOCIVA_OK},
                                MouseRow{DOCIVA_MOUSE_DOUBLE_CLICK, DOCIVA_OK}, MouseRow{DOCIVA_MOUSE_LEAVE, DOCIVA_OK},
                                MouseRow{-1, DOCIVA_E_INVALIDARG}, MouseRow{6, DOCIVA_E_INVALIDARG}}) {
        EXPECT_EQ(npdocivaMouse(browser_.instance(), row.kind, 10, 10), row.expected) << "mouse kind " << row.kind;
    }

    EXPECT_EQ(npdocivaSavePicture(browser_.instance(), nullptr), -1);
    if (!testing_support::onWindows()) {
        // Linux draws the viewer off-screen: the empty viewer is a picture too.
        testing_support::TempDir dir;
        const std::u16string file = dir.path() + u"/viewer.png";
        ASSERT_EQ(npdocivaSavePicture(browser_.instance(), file.c_str()), 0);
        EXPECT_EQ(testing_support::readBytes(file).substr(0, 8), std::string("\x89PNG\r\n\x1a\n", 8));
        const std::u16string nowhere = dir.path() + u"/no such folder/viewer.png";
        EXPECT_EQ(npdocivaSavePicture(browser_.instance(), nowhere.c_str()), -1);
    }
    browser_.releaseObject(object);
}

}  // namespace
