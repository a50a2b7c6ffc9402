#include "control/dispatch.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <set>
#include <thread>

#include "control/docivaocx_ctrl.h"
#include "platform/files.h"
#include "platform/system.h"
#include "platform/text.h"
#include "support/json_check.h"
#include "support/test_support.h"

using testing_support::utf8;

namespace {

DocivaValue empty() { return DocivaValue{DOCIVA_EMPTY, 0, 0, nullptr, 0, nullptr}; }
DocivaValue null() { return DocivaValue{DOCIVA_NULL, 0, 0, nullptr, 0, nullptr}; }
DocivaValue i4(std::int32_t v) { return DocivaValue{DOCIVA_I4, v, 0, nullptr, 0, nullptr}; }
DocivaValue boolean(bool v) { return DocivaValue{DOCIVA_BOOL, v ? -1 : 0, 0, nullptr, 0, nullptr}; }
DocivaValue r8(double v) { return DocivaValue{DOCIVA_R8, 0, v, nullptr, 0, nullptr}; }
// The value points into s: literals live for ever, other texts must be
// named so that they outlive the call.
DocivaValue str(const std::u16string& s) {
    return DocivaValue{DOCIVA_STRING, 0, 0, s.c_str(), static_cast<std::uint32_t>(s.size()), nullptr};
}
DocivaValue str(std::u16string&&) = delete;
DocivaValue str(const char16_t* literal) {
    return DocivaValue{DOCIVA_STRING, 0, 0, literal, static_cast<std::uint32_t>(text::length(literal)), nullptr};
}
DocivaValue object(void* o) { return DocivaValue{DOCIVA_DISPATCH, 0, 0, nullptr, 0, o}; }

TEST(MethodTable, MatchesTheTypeLibrary) {
    const auto methods = dispatch::methods();
    ASSERT_EQ(methods.size(), 83u);
    EXPECT_EQ(methods[0].info.dispid, -552);
    std::set<std::int32_t> ids;
    std::set<std::string> names;
    for (std::size_t i = 1; i < methods.size(); ++i) {
        EXPECT_EQ(methods[i].info.dispid, static_cast<std::int32_t>(i)) << utf8(methods[i].info.name);
    }
    for (const auto& m : methods) {
        ids.insert(m.info.dispid);
        names.insert(utf8(m.info.name));
        std::int32_t found = 0;
        EXPECT_EQ(dispatch::dispIdOf(text::view(m.info.name), found), DOCIVA_OK);
        EXPECT_EQ(found, m.info.dispid);
    }
    EXPECT_EQ(ids.size(), 83u);
    EXPECT_EQ(names.size(), 83u);

    struct Row {
        const char16_t* name;
        std::int32_t dispid;
        std::uint32_t parameters;
        std::uint16_t result;
    } rows[] = {
        {u"scannerregister", 1, 1, DOCIVA_EMPTY},  {u"SetCustomScanSize", 35, 5, DOCIVA_EMPTY},
        {u"SELECTFOLDER", 39, 0, DOCIVA_STRING},   {u"GoPrevPage", 55, 0, DOCIVA_I2},
        {u"GetFileNameExample", 70, 1, DOCIVA_STRING}, {u"Alert", 72, 2, DOCIVA_I2},
        {u"AssignProfileToScannerButton", 77, 2, DOCIVA_STRING}, {u"SetOutputSplitFixPages", 81, 1, DOCIVA_EMPTY},
        {u"scancancel", 82, 0, DOCIVA_I2},
    };
    for (const auto& row : rows) {
        std::int32_t id = 0;
        ASSERT_EQ(dispatch::dispIdOf(row.name, id), DOCIVA_OK) << utf8(row.name);
        EXPECT_EQ(id, row.dispid) << utf8(row.name);
        const auto* m = dispatch::findMethod(id);
        ASSERT_NE(m, nullptr);
        EXPECT_EQ(m->info.parameterCount, row.parameters) << utf8(row.name);
        EXPECT_EQ(m->info.resultType, row.result) << utf8(row.name);
    }
    std::int32_t id = 0;
    EXPECT_EQ(dispatch::dispIdOf(u"NoSuchMethod", id), DOCIVA_E_UNKNOWNNAME);
    EXPECT_EQ(dispatch::events().size(), 7u);
}

TEST(Coercion, ToI2) {
    const std::u16string blanks = u"  12 ", half = u"2.5", word = u"twelve", none = u"", plus = u"+7", exp = u"1e3";
    struct Row {
        const char* what;
        DocivaValue value;
        std::int32_t hr;
        std::int16_t out;
    } rows[] = {
        {"int", i4(300), DOCIVA_OK, 300},
        {"int at the top", i4(32767), DOCIVA_OK, 32767},
        {"int at the bottom", i4(-32768), DOCIVA_OK, -32768},
        {"int too large", i4(32768), DOCIVA_E_OVERFLOW, 0},
        {"int too small", i4(-40000), DOCIVA_E_OVERFLOW, 0},
        {"real rounds half to even (down)", r8(2.5), DOCIVA_OK, 2},
        {"real rounds half to even (up)", r8(3.5), DOCIVA_OK, 4},
        {"real rounds", r8(-1.6), DOCIVA_OK, -2},
        {"real too large", r8(1e10), DOCIVA_E_OVERFLOW, 0},
        {"NaN", r8(std::numeric_limits<double>::quiet_NaN()), DOCIVA_E_OVERFLOW, 0},
        {"infinity", r8(std::numeric_limits<double>::infinity()), DOCIVA_E_OVERFLOW, 0},
        {"true", boolean(true), DOCIVA_OK, -1},
        {"false", boolean(false), DOCIVA_OK, 0},
        {"undefined", empty(), DOCIVA_OK, 0},
        {"null", null(), DOCIVA_E_TYPEMISMATCH, 0},
        {"decimal text with blanks", str(blanks), DOCIVA_OK, 12},
        {"decimal text rounds", str(half), DOCIVA_OK, 2},
        {"text with a plus", str(plus), DOCIVA_OK, 7},
        {"text with an exponent", str(exp), DOCIVA_OK, 1000},
        {"a word", str(word), DOCIVA_E_TYPEMISMATCH, 0},
        {"empty text", str(none), DOCIVA_E_TYPEMISMATCH, 0},
        {"object", object(reinterpret_cast<void*>(8)), DOCIVA_E_TYPEMISMATCH, 0},
    };
    for (const auto& row : rows) {
        std::int16_t out = 0;
        EXPECT_EQ(dispatch::toI2(row.value, out), row.hr) << row.what;
        if (row.hr == DOCIVA_OK) {
            EXPECT_EQ(out, row.out) << row.what;
        }
    }
}

TEST(Coercion, ToTextAndObject) {
    const std::u16string withNul(u"a\0b", 3);
    struct Row {
        const char* what;
        DocivaValue value;
        std::int32_t hr;
        const char* text;
        bool nullText;
    } rows[] = {
        {"undefined", empty(), DOCIVA_OK, "", false},
        {"null", null(), DOCIVA_OK, "", true},
        {"int", i4(-42), DOCIVA_OK, "-42", false},
        {"true", boolean(true), DOCIVA_OK, "-1", false},
        {"real", r8(0.1), DOCIVA_OK, "0.1", false},
        {"large real", r8(1e21), DOCIVA_OK, "1E+21", false},
        {"text", str(withNul), DOCIVA_OK, "a", false},
        {"object", object(reinterpret_cast<void*>(8)), DOCIVA_E_TYPEMISMATCH, "", false},
    };
    for (const auto& row : rows) {
        dispatch::Argument a;
        EXPECT_EQ(dispatch::toText(row.value, a), row.hr) << row.what;
        if (row.hr != DOCIVA_OK) continue;
        EXPECT_EQ(utf8(text::view(a.str())), row.text) << row.what;
        EXPECT_EQ(a.nullText, row.nullText) << row.what;
    }
    void* o = reinterpret_cast<void*>(1);
    EXPECT_EQ(dispatch::toObject(null(), o), DOCIVA_OK);
    EXPECT_EQ(o, nullptr);
    EXPECT_EQ(dispatch::toObject(object(&o), o), DOCIVA_OK);
    EXPECT_EQ(dispatch::toObject(i4(1), o), DOCIVA_E_TYPEMISMATCH);
}

// A container that records what the control raises and counts the
// references it keeps on script objects.
class RecordingSite : public ControlSite {
public:
    void fireEvent(std::int32_t, std::u16string_view name, std::u16string_view data) override {
        events.push_back(utf8(name) + " " + utf8(data));
    }
    void addRefObject(void* object) override { ++refs[object]; }
    void releaseObject(void* object) override { --refs[object]; }
    platform::DialogService& dialogs() override { return dialogs_; }

    std::vector<std::string> events;
    std::map<void*, int> refs;
    platform::CancellingDialogs dialogs_;
};

class ControlTest : public ::testing::Test {
protected:
    ControlTest() {
        platform::createDirectory(folder.path() + u"/Documents");
        ControlEnvironment environment;
        environment.places.presentDevices = [](std::vector<platform::PresentDevice>& devices) {
            devices.clear();
            return true;
        };
        environment.places.commonAppDataFolder = [this] { return folder.path(); };
        control = std::make_unique<CDocivaOCXCtrl>(site, environment);
    }

    std::int32_t call(const char16_t* name, std::vector<DocivaValue> args, dispatch::Result* result = nullptr) {
        std::int32_t id = 0;
        if (dispatch::dispIdOf(name, id) != DOCIVA_OK) return DOCIVA_E_UNKNOWNNAME;
        dispatch::Result ignored;
        return dispatch::invoke(*control, id, args.data(), static_cast<std::uint32_t>(args.size()),
                                result ? *result : ignored, nullptr);
    }

    testing_support::TempDir folder;
    // The default profile makes its output folder in the documents folder.
    testing_support::ScopedEnvironment home{"HOME", testing_support::utf8(folder.path())};
    RecordingSite site;
    std::unique_ptr<CDocivaOCXCtrl> control;
};

TEST_F(ControlTest, SettersFollowTheirRules) {
    const auto& s = control->scanSettings();
    struct Row {
        const char16_t* method;
        std::vector<DocivaValue> args;
        std::function<std::int32_t()> field;
        std::int32_t expected;
    } rows[] = {
        {u"SetResolution", {i4(600)}, [&] { return s.scanDpi; }, 600},
        {u"SetBrightness", {i4(-20)}, [&] { return s.brightness; }, -20},
        {u"SetProcessWatermark", {i4(5)}, [&] { return control->watermarkEnabled(); }, 1},
        {u"SetProcessAutoOrientation", {i4(1)}, [&] { return s.orientation; }, 2},
        {u"SetProcessAutoOrientation", {i4(3)}, [&] { return s.orientation; }, 0},
        {u"SetProcessStrokeFillSize", {i4(-5)}, [&] { return s.strokeFillSize; }, 0},
        {u"SetProcessStrokeFillPosition", {i4(2)}, [&] { return s.strokeFillPosition; }, 2},
        {u"SetProcessStrokeFillPosition", {i4(3)}, [&] { return s.strokeFillPosition; }, 2},
        {u"SetProcessGrayscaleChannel", {i4(4)}, [&] { return s.colorDropOut; }, -1},
        {u"SetRotate", {i4(3)}, [&] { return s.rotate; }, 3},
        {u"SetRotate", {i4(4)}, [&] { return s.rotate; }, 3},
        {u"SetSplitMerge", {i4(-1)}, [&] { return s.splitMerge; }, -1},
        {u"SetEjectPaperDirection", {i4(1)}, [&] { return s.ejectPaperDirection; }, 1},
        {u"SetEjectPaperDirection", {i4(2)}, [&] { return s.ejectPaperDirection; }, 1},
        {u"SetSavetoIsOpenSaveFolder", {i4(2)}, [&] { return s.openSaveFolder; }, 0},
        {u"SetAutoSize", {i4(-3)}, [&] { return s.autoSize; }, 1},
        {u"SetScanSize", {i4(1)}, [&] { return s.autoSize; }, 1},
        {u"SetScanSize", {i4(5)}, [&] { return s.autoSize * 100 + s.scanSize; }, 5},
        {u"SetOutputSplitFixPages", {str(u"7")}, [&] { return s.splitFixPages; }, 7},
        {u"SetOutputScaleX", {str(u" 150 ")}, [&] { return s.zoomX; }, 150},
        {u"SetContrast", {boolean(true)}, [&] { return s.contrast * 10; }, -10},
    };
    int i = 0;
    for (const auto& row : rows) {
        EXPECT_EQ(call(row.method, row.args), DOCIVA_OK) << "row " << i;
        EXPECT_EQ(row.field(), row.expected) << "row " << i << " " << utf8(row.method);
        ++i;
    }

    EXPECT_EQ(call(u"SetOutputBWCompression", {i4(50)}), DOCIVA_OK);
    EXPECT_DOUBLE_EQ(s.bwCompress, 0.5);

    EXPECT_EQ(call(u"SetCustomScanSize", {i4(0), i4(0), r8(21.59), r8(27.94), i4(1)}), DOCIVA_OK);
    EXPECT_NEAR(s.scanAreaW, 8.5, 1e-12);
    EXPECT_NEAR(s.scanAreaH, 11.0, 1e-12);
    EXPECT_EQ(s.scanSize, 22);
    EXPECT_EQ(s.scanAreaUnit, 1);
    EXPECT_EQ(s.autoSize, 0);
    EXPECT_EQ(call(u"SetCustomScanSize", {i4(0), i4(0), r8(21.59), r8(27.94), i4(0)}), DOCIVA_OK);
    EXPECT_DOUBLE_EQ(s.scanAreaW, 21.59);

    // Formats: 1 adds, anything else removes, the set stays ordered.
    EXPECT_EQ(call(u"SetOutputFormatPDF", {i4(1)}), DOCIVA_OK);
    EXPECT_EQ(call(u"SetOutputFormatPDF", {i4(1)}), DOCIVA_OK);
    EXPECT_EQ(call(u"SetOutputFormatBMP", {i4(1)}), DOCIVA_OK);
    EXPECT_EQ(call(u"SetOutputFormatMultiPDF", {i4(1)}), DOCIVA_OK);
    EXPECT_EQ(control->selectedFormats(), (std::set<std::int32_t>{0, 2, 9}));
    EXPECT_EQ(call(u"SetOutputFormatPDF", {i4(2)}), DOCIVA_OK);
    EXPECT_EQ(control->selectedFormats(), (std::set<std::int32_t>{0, 9}));

    // Texts: null ignored, empty clears, 259 units kept.
    EXPECT_EQ(call(u"SetSavetoFileName", {str(u"scan_%COUNTER3%")}), DOCIVA_OK);
    EXPECT_EQ(call(u"SetSavetoFileName", {null()}), DOCIVA_OK);
    EXPECT_EQ(utf8(text::view(s.fileName)), "scan_%COUNTER3%");
    const std::u16string longName(1000, u'x');
    EXPECT_EQ(call(u"SetSavetoFileName", {str(longName)}), DOCIVA_OK);
    EXPECT_EQ(text::length(s.fileName), 259u);
    EXPECT_EQ(call(u"SetSavetoFileName", {str(u"")}), DOCIVA_OK);
    EXPECT_EQ(text::length(s.fileName), 0u);
}

TEST_F(ControlTest, RefusedArgumentsChangeNothing) {
    const auto& s = control->scanSettings();
    struct Row {
        const char16_t* method;
        std::vector<DocivaValue> args;
        std::int32_t hr;
    } rows[] = {
        {u"SetResolution", {}, DOCIVA_E_BADPARAMCOUNT},
        {u"SetResolution", {i4(1), i4(2)}, DOCIVA_E_BADPARAMCOUNT},
        {u"SetResolution", {i4(70000)}, DOCIVA_E_OVERFLOW},
        {u"SetResolution", {str(u"high")}, DOCIVA_E_TYPEMISMATCH},
        {u"SetResolution", {null()}, DOCIVA_E_TYPEMISMATCH},
        {u"SetCustomScanSize", {r8(1), r8(1), r8(1), r8(1)}, DOCIVA_E_BADPARAMCOUNT},
        {u"RegScannerSourceCallback", {i4(3)}, DOCIVA_E_TYPEMISMATCH},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(call(row.method, row.args), row.hr) << utf8(row.method);
    }
    EXPECT_EQ(s.scanDpi, 0);
    EXPECT_EQ(s.scanSize, -1);
    dispatch::Result r;
    EXPECT_EQ(dispatch::invoke(*control, 500, nullptr, 0, r, nullptr), DOCIVA_E_MEMBERNOTFOUND);
}

TEST_F(ControlTest, KeepsOneReferenceOnTheSourceCallback) {
    int a = 0, b = 0;
    EXPECT_EQ(call(u"RegScannerSourceCallback", {object(&a)}), DOCIVA_OK);
    EXPECT_EQ(call(u"RegScannerSourceCallback", {object(&a)}), DOCIVA_OK);
    EXPECT_EQ(site.refs[&a], 1);
    EXPECT_EQ(call(u"RegScannerSourceCallback", {object(&b)}), DOCIVA_OK);
    EXPECT_EQ(site.refs[&a], 0);
    EXPECT_EQ(site.refs[&b], 1);
    control.reset();
    EXPECT_EQ(site.refs[&b], 0);
}

TEST_F(ControlTest, WindowCreationReportsProfilesAndSources) {
    ASSERT_EQ(control->OnCreate(), 0);
    ASSERT_EQ(site.events.size(), 2u);
    EXPECT_EQ(site.events[0].rfind("OnProfileReady {", 0), 0u) << site.events[0];
    EXPECT_EQ(site.events[1], "OnSourceReady {\"count\":0, \"sources\":[]}");
}

TEST_F(ControlTest, ViewerMethodsReportTheirButtonStates) {
    ASSERT_EQ(control->OnCreate(), 0);
    site.events.clear();
    struct Row {
        const char16_t* method;
        std::vector<std::string> kinds;
    } rows[] = {
        {u"ViewSinglePage", {"navigation", "zoom_view", "undo", "cut"}},
        {u"ViewThumb4", {"navigation", "zoom_view", "undo", "cut"}},
        {u"NormalView", {"zoom_view", "cut"}},
        {u"ZoomIn", {"zoom_view", "cut"}},
        {u"GoFirstPage", {"navigation", "zoom_view", "cut"}},
        {u"GoNextPage", {"navigation", "zoom_view", "cut"}},
        {u"RotateLeft", {"undo"}},
        {u"Undo", {"undo"}},
        {u"DeleteImage", {}},  // nothing to delete: no report
        {u"GetFileCount", {}},
    };
    for (const auto& row : rows) {
        site.events.clear();
        EXPECT_EQ(call(row.method, {}), DOCIVA_OK);
        ASSERT_EQ(site.events.size(), row.kinds.size()) << utf8(row.method);
        for (std::size_t i = 0; i < row.kinds.size(); ++i) {
            EXPECT_NE(site.events[i].find("\"button_type\":\"" + row.kinds[i] + "\""), std::string::npos)
                << utf8(row.method) << ": " << site.events[i];
            EXPECT_TRUE(json_check::valid(site.events[i].substr(site.events[i].find(' ') + 1)));
        }
    }
}

TEST_F(ControlTest, WorkerReportsThroughTheWindowThread) {
    ASSERT_EQ(control->OnCreate(), 0);
    site.events.clear();
    // The worker waits until the window thread has handled its message;
    // pumping here is what lets it go on.
    ImageReadyRecord record{};
    text::copyBounded(record.filePath, 1024, u"/no/such/file.jpg");
    record.formatCode = 1;
    std::atomic<bool> done{false};
    std::thread worker([&] {
        control->addScannedImage(record);
        done = true;
    });
    while (!done) control->window()->pump(10);
    worker.join();
    ASSERT_EQ(site.events.size(), 4u);
    EXPECT_NE(site.events[0].find("navigation"), std::string::npos);
    EXPECT_NE(site.events[3].find("cut"), std::string::npos);
}

TEST_F(ControlTest, DestructionReleasesAWaitingWorker) {
    ASSERT_EQ(control->OnCreate(), 0);
    ImageReadyRecord record{};
    record.formatCode = -1;
    std::thread worker([&] { control->addScannedImage(record); });
    // Let the worker block in its send, then destroy without pumping.
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    control->window()->close();
    worker.join();
    control.reset();
    SUCCEED();
}

TEST_F(ControlTest, CurrentControlIsTheLastOneMadeWhileItLives) {
    EXPECT_EQ(CDocivaOCXCtrl::currentControl(), control.get());
    control.reset();
    EXPECT_EQ(CDocivaOCXCtrl::currentControl(), nullptr);
}

}  // namespace

namespace {

// Posts one message to the control's window and lets the window thread
// handle it.
void deliver(CDocivaOCXCtrl& control, std::uint32_t message, std::uintptr_t w, std::intptr_t l) {
    ASSERT_TRUE(control.window()->post(message, w, l));
    while (control.window()->pump(0) > 0) {
    }
}

TEST_F(ControlTest, ScanMessagesDriveTheProgressDialog) {
    ASSERT_EQ(control->OnCreate(), 0);
    std::vector<std::u16string> debug;
    platform::ScopedDebugCapture capture([&](std::u16string_view line) { debug.emplace_back(line); });
    struct Row {
        const char* what;
        std::uint32_t message;
        std::uintptr_t w;
        std::intptr_t l;
        bool visible;
        std::int32_t position, high;
        const char* text;  // null: not checked
    } rows[] = {
        {"begin shows", WM_SCAN_BEGIN, 0, 0, true, 0, 0, ""},
        {"first warm-up notice", WM_SCAN_WARMUP, 1, 12500, true, 12, 12, nullptr},
        {"warm-up below a second", WM_SCAN_WARMUP, 0, 999, true, 0, 12, nullptr},
        {"scan started", WM_SCAN_PAPER, 1, 40, true, 0, 40, nullptr},
        {"progress", WM_SCAN_PAPER, 0, 10, true, 10, 40, "paper scanning..."},
        {"more progress", WM_SCAN_PAPER, 0, 5, true, 15, 40, "paper scanning..."},
        {"progress complete", WM_SCAN_PAPER, 0, 0, true, 40, 40, "paper scanning..."},
        {"paper end", WM_SCAN_PAPER, 2, 0, true, 40, 40, "paper end"},
        {"unknown kind", WM_SCAN_PAPER, 7, 3, true, 40, 40, "paper end"},
        {"end hides and resets", WM_SCAN_END, 0, 0, false, 0, 40, ""},
    };
    for (const auto& row : rows) {
        deliver(*control, row.message, row.w, row.l);
        const ProgressState state = control->progressDialog().state();
        EXPECT_EQ(state.visible, row.visible) << row.what;
        EXPECT_EQ(state.position, row.position) << row.what;
        EXPECT_EQ(state.high, row.high) << row.what;
        if (row.text) {
            EXPECT_EQ(utf8(state.text), row.text) << row.what;
        }
    }
    EXPECT_EQ(site.events.back(), "OnScanEnd {\"code\":0}");
    const auto has = [&](std::u16string_view line) {
        return std::find(debug.begin(), debug.end(), line) != debug.end();
    };
    EXPECT_TRUE(has(u"scanning total : 40 \n"));
    EXPECT_TRUE(has(u"scanning: 10 + 5 = 15\n"));
    EXPECT_TRUE(has(u"scanning: end\n"));
}

TEST(StatusTexts, FollowTheSdkCodes) {
    const int three = 3, minus = -1, err = 42;
    struct Row {
        int code;
        const int* data;
        const char* text;
    } rows[] = {
        {0, nullptr, "Scan success"},
        {0, &minus, "Scan success"},
        {0, &three, "Scan success\r\nButtonID=3"},
        {1, nullptr, "Scanner connected"},
        {2, nullptr, "Scanner disconnected"},
        {3, nullptr, "Load scanner driver fail"},
        {4, nullptr, "Scanner does not found"},
        {5, nullptr, "Scanner does not ready"},
        {6, nullptr, "Scanner Capability not match"},
        {7, nullptr, "No Paper"},
        {8, nullptr, "No Memory"},
        {9, nullptr, "ASize fail"},
        {12, nullptr, "Scan fail. [code=0]"},
        {12, &err, "Scan fail. [code=42]"},
        {10, nullptr, ""},
        {100, &three, ""},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(utf8(CDocivaOCXCtrl::statusText(row.code, row.data)), row.text) << row.code;
    }
}

TEST_F(ControlTest, StatusLogHoldsTheLastRecordOnly) {
    // The log lives in the active profile's output folder, as its reader
    // left it (here: the default one, in the documents folder).
    const CScanProfile sameProfile;
    const std::u16string log =
        std::u16string(text::view(sameProfile.profileSettings().saveToPath)) + u"/dociva_status.log";
    CDocivaOCXCtrl::writeStatusLog(7, u"No Paper");
    CDocivaOCXCtrl::writeStatusLog(12, u"Scan fail. [code=5]");
    const std::string bytes = testing_support::readBytes(log);
    ASSERT_GE(bytes.size(), 2u);
    EXPECT_EQ(bytes.substr(0, 2), "\xFF\xFE");
    std::u16string record;
    for (std::size_t i = 2; i + 1 < bytes.size(); i += 2) {
        record += static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                        (static_cast<unsigned char>(bytes[i + 1]) << 8));
    }
    const std::string text = utf8(record);
    const std::string head = "[ERROR]\r\nCODE=12\r\nMESSAGE=Scan fail. [code=5]\r\nTIME=";
    ASSERT_EQ(text.substr(0, head.size()), head) << text;
    // yyyy/mm/dd hh:mm:ss and no line break at the end.
    EXPECT_EQ(text.size(), head.size() + 19) << text;
    EXPECT_EQ(text[head.size() + 4], '/');
    EXPECT_EQ(text[head.size() + 13], ':');
}

TEST_F(ControlTest, FileNameExampleFillsTheCounter) {
    struct Row {
        const char16_t* pattern;
        std::string expected;
    } rows[] = {
        {u"scan_%COUNTER3%", "scan_001"},
        {u"plain", "plain"},
        {u"%5s_%COUNTER2%", "%5s_01"},
    };
    for (const auto& row : rows) {
        const std::string name = utf8(control->GetFileNameExample(row.pattern));
        EXPECT_EQ(name, row.expected) << utf8(row.pattern);
    }
    const std::string helper = utf8(control->GetFileNameHelper());
    EXPECT_EQ(helper.rfind("Set the customize file name:\r\nString\r\n%YYYY%%MM%%DD% = ", 0), 0u);
    EXPECT_NE(helper.find("(Current hour/minute/second)\r\n%COUNTERn%, n=2~9"), std::string::npos);
}

}  // namespace
