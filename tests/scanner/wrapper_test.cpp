#include <gtest/gtest.h>

#include <memory>

#include "fake_sdk.h"
#include "platform/text.h"
#include "scanner/dociva_wrap.h"
#include "scanner_test_support.h"
#include "settings/scan_settings.h"

namespace {

using scanner_testing::TestRegistry;
using scanner_testing::usbDevice;
using testing_support::utf8;

SourceCapability capability(std::uint32_t source, double w, double h) {
    SourceCapability c{};
    c.source = source;
    c.maxWidth = w;
    c.maxHeight = h;
    c.isDuplex = 1;
    return c;
}

class WrapperTest : public ::testing::Test {
protected:
    void SetUp() override {
        registry.addProduct(u"alpha", u"Alpha", u"/drivers/alpha", {u"VID_5C3B&PID_0001"});
        registry.addProduct(u"beta", u"beta", u"/drivers/beta", {u"VID_5C3B&PID_0002"});
        registry.addProduct(u"gamma", u"Gamma", u"/drivers/gamma-missing", {u"VID_5C3B&PID_0003"});
        devices = {usbDevice(u"VID_5C3B&PID_0001", u"S1"), usbDevice(u"VID_5C3B&PID_0002", u"S2"),
                   usbDevice(u"VID_5C3B&PID_0003", u"S3")};
        sdk.addDriver(u"/drivers/alpha", capability(0, 8.5, 11.7));
        sdk.addDriver(u"/drivers/beta", capability(1, 8.5, 14));
    }

    DiscoveryPlaces places() {
        DiscoveryPlaces p;
        p.presentDevices = [this](std::vector<platform::PresentDevice>& out) {
            out.insert(out.end(), devices.begin(), devices.end());
            return true;
        };
        p.registryKey = registry.root();
        p.commonAppDataFolder = [] { return std::u16string(); };
        return p;
    }

    std::unique_ptr<CDocivaWrap> makeWrap() { return std::make_unique<CDocivaWrap>(sdk.calls(), places()); }

    TestRegistry registry;
    std::vector<platform::PresentDevice> devices;
    FakeSdk sdk;
};

TEST_F(WrapperTest, ListsDiscoveredDriversInExactNameOrder) {
    const auto wrap = makeWrap();
    std::vector<std::string> got;
    for (const auto& e : wrap->listDrivers()) got.push_back(utf8(e.productName) + "=" + utf8(e.systemDirectory));
    // Upper-case letters sort before lower-case ones.
    EXPECT_EQ(got, (std::vector<std::string>{"Alpha=/drivers/alpha", "Gamma=/drivers/gamma-missing",
                                             "beta=/drivers/beta"}));
    EXPECT_TRUE(sdk.log.empty()) << "discovery alone opens no driver";
}

TEST_F(WrapperTest, RegisterSourceOutcomes) {
    const auto wrap = makeWrap();
    const struct {
        const char* name;
        const char16_t* product;
        bool registered;
        std::vector<std::string> calls;
    } cases[] = {
        {"null name", nullptr, false, {}},
        {"empty name", u"", false, {}},
        {"not installed", u"Delta", false, {}},
        {"differs in case only", u"alpha", false, {}},
        {"SDK gives no handle", u"Gamma", false, {"open /drivers/gamma-missing -> 0"}},
        {"opens and reads capability", u"Alpha", true, {"open /drivers/alpha -> 1", "capability 1"}},
        {"second registration does not reopen", u"Alpha", true, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        sdk.log.clear();
        EXPECT_EQ(wrap->registerSource(c.product), c.registered);
        EXPECT_EQ(sdk.log, c.calls);
        EXPECT_EQ(wrap->getSource(c.product) != nullptr, c.registered);
    }
    const ScannerSource* alpha = wrap->getSource(u"Alpha");
    ASSERT_NE(alpha, nullptr);
    EXPECT_EQ(alpha->handle, 1u);
    EXPECT_EQ(std::u16string_view(alpha->productName), u"Alpha");
    EXPECT_EQ(alpha->capability.maxHeight, 11.7);
    EXPECT_EQ(alpha->capability.isDuplex, 1);
}

TEST_F(WrapperTest, DestructionClosesEverySourceOnce) {
    auto wrap = makeWrap();
    ASSERT_TRUE(wrap->registerSource(u"Alpha"));
    ASSERT_TRUE(wrap->registerSource(u"beta"));
    EXPECT_EQ(sdk.openHandles.size(), 2u) << "a second product opens beside the first";
    wrap.reset();
    EXPECT_TRUE(sdk.openHandles.empty());
    EXPECT_EQ(sdk.strayCloses, 0);
}

TEST_F(WrapperTest, SourceReopensOnlyForAnotherName) {
    const SdkCalls calls = sdk.calls();
    ScannerSource source(&calls);
    EXPECT_FALSE(source.open(u"Alpha", u""));
    EXPECT_TRUE(sdk.log.empty());
    ASSERT_TRUE(source.open(u"Alpha", u"/drivers/alpha"));
    sdk.log.clear();
    EXPECT_TRUE(source.open(u"Alpha", u"/drivers/beta")) << "same name on an open handle keeps it";
    EXPECT_TRUE(sdk.log.empty());
    EXPECT_TRUE(source.open(u"Beta", u"/drivers/beta"));
    EXPECT_EQ(sdk.log, (std::vector<std::string>{"close 1", "open /drivers/beta -> 2", "capability 2"}));
    EXPECT_EQ(source.capability.source, 1u);
    sdk.log.clear();
    EXPECT_FALSE(source.open(u"Nothing", u"/drivers/none"));
    EXPECT_EQ(sdk.log, (std::vector<std::string>{"close 2", "open /drivers/none -> 0"}));
    EXPECT_EQ(source.handle, 0u);
    EXPECT_EQ(source.productName[0], 0);
    EXPECT_EQ(source.capability.maxWidth, 0.0);
}

TEST_F(WrapperTest, SystemDirectoryIsAlwaysTerminated) {
    const auto wrap = makeWrap();
    char16_t buffer[8];
    std::fill(std::begin(buffer), std::end(buffer), u'#');
    ASSERT_TRUE(wrap->getSystemDirectory(u"Alpha", buffer, 8));
    EXPECT_EQ(std::u16string_view(buffer), u"/driver");
    char16_t whole[260];
    ASSERT_TRUE(wrap->getSystemDirectory(u"beta", whole, 260));
    EXPECT_EQ(std::u16string_view(whole), u"/drivers/beta");
    EXPECT_FALSE(wrap->getSystemDirectory(u"Beta", whole, 260));
    EXPECT_FALSE(wrap->getSystemDirectory(nullptr, whole, 260));
}

TEST_F(WrapperTest, StartScanReachesTheSdkAndItsCallbacks) {
    sdk.addDriver(u"/drivers/alpha", capability(0, 8.5, 11.7), {u"/out/p1.jpg", u"/out/p2.jpg"});
    const auto wrap = makeWrap();
    ASSERT_TRUE(wrap->registerSource(u"Alpha"));
    ScannerSource* source = wrap->getSource(u"Alpha");

    static std::vector<std::string> seen;
    seen.clear();
    const StatusCallback status = [](int code, int* data) {
        seen.push_back("status " + std::to_string(code) + " " + std::to_string(data ? *data : -99));
        return 0;
    };
    const EventCallback event = [](int type, void* data, int, void* context) {
        std::string line = "event ";
        line += std::to_string(type);
        if (context) line += " ctx";
        if (type == DOCIVA_EVENT_IMAGE_READY) {
            line += ' ';
            line += utf8(static_cast<ImageReadyRecord*>(data)->filePath);
        }
        seen.push_back(line);
    };
    int context = 0;
    wrap->sdkCalls().registerCallback(source->handle, &context, status, event);

    ScanSettings settings;
    sdk.log.clear();
    EXPECT_EQ(wrap->startScan(source, nullptr, &settings, nullptr), 0);
    const int button = 3;
    EXPECT_EQ(wrap->startScan(source, u"/p/b3.ini", nullptr, &button), 0);
    EXPECT_EQ(sdk.log, (std::vector<std::string>{"start 1 profile=null settings=yes button=none",
                                                 "start 1 profile=/p/b3.ini settings=no button=3"}));
    const std::vector<std::string> run = {"event 2 ctx", "event 3 ctx", "event 4 ctx", "event 7 ctx /out/p1.jpg",
                                          "event 7 ctx /out/p2.jpg", "event 5 ctx", "event 6 ctx"};
    std::vector<std::string> want = run;
    want.push_back("status 0 -1");
    want.insert(want.end(), run.begin(), run.end());
    want.push_back("status 0 3");
    EXPECT_EQ(seen, want);

    sdk.log.clear();
    EXPECT_EQ(wrap->startScan(nullptr, nullptr, &settings, nullptr), -1);
    EXPECT_TRUE(sdk.log.empty());
}

TEST_F(WrapperTest, HandsTheEarlierRecordFormOnlyToAnSdkThatTakesIt) {
    // An SDK without the settings-form call reads a whole current record
    // through whatever pointer it gets: a shorter record would be over-read.
    const struct {
        const char* name;
        CDocivaWrap::SettingsForm form;
        bool offered;
        int answer;
        bool callersRecord;  // the start gets the caller's record itself
        std::vector<std::string> calls;
    } rows[] = {
        {"current form, no call", CDocivaWrap::SettingsForm::Current, false, 0, true, {"start"}},
        {"current form, call offered", CDocivaWrap::SettingsForm::Current, true, 0, true, {"start"}},
        {"earlier form, no call", CDocivaWrap::SettingsForm::Earlier, false, 0, true, {"start"}},
        {"earlier form, call refuses", CDocivaWrap::SettingsForm::Earlier, true, -1, true, {"form 4912", "start"}},
        {"earlier form, call takes it", CDocivaWrap::SettingsForm::Earlier, true, 0, false, {"form 4912", "start"}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        sdk.offersSettingsForm = row.offered;
        sdk.settingsFormAnswer = row.answer;
        CDocivaWrap wrap(sdk.calls(), places());
        wrap.setSettingsForm(row.form);
        ASSERT_TRUE(wrap.registerSource(u"Alpha"));
        const ScannerSource* source = wrap.getSource(u"Alpha");
        ASSERT_NE(source, nullptr);
        ScanSettings settings;
        sdk.log.clear();
        EXPECT_EQ(wrap.startScan(source, nullptr, &settings, nullptr), 0);
        std::vector<std::string> calls;
        // Handles differ from row to row: only the call and the size count.
        for (const auto& line : sdk.log) {
            if (line.rfind("start", 0) == 0) calls.push_back("start");
            if (line.rfind("form", 0) == 0) calls.push_back("form " + line.substr(line.rfind(' ') + 1));
        }
        EXPECT_EQ(calls, row.calls);
        EXPECT_EQ(sdk.lastSettings == &settings, row.callersRecord);
    }
}

TEST_F(WrapperTest, CancelAsksTheSdkOnlyWhenItHasTheCall) {
    using R = CDocivaWrap::CancelResult;
    const struct {
        const char* name;
        bool offered;
        int answer;
        bool noHandle;
        R result;
        bool called;
    } rows[] = {
        {"no cancel call (the maker's SDK)", false, 0, false, R::Unsupported, false},
        {"the run stops", true, 0, false, R::Stopping, true},
        {"nothing to stop", true, 1, false, R::NoRun, true},
        {"unknown handle", true, -1, false, R::Unsupported, true},
        {"an answer of no meaning", true, 7, false, R::Unsupported, true},
        {"no handle at all", true, 0, true, R::Unsupported, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        sdk.offersCancel = row.offered;
        sdk.cancelAnswer = row.answer;
        CDocivaWrap wrap(sdk.calls(), places());
        ASSERT_TRUE(wrap.registerSource(u"Alpha"));
        const DocivaHandle handle = row.noHandle ? 0 : wrap.getSource(u"Alpha")->handle;
        sdk.log.clear();
        EXPECT_EQ(wrap.cancelScan(handle), row.result);
        EXPECT_EQ(sdk.log.size(), row.called ? 1u : 0u);
        if (row.called && !sdk.log.empty()) {
            EXPECT_EQ(sdk.log[0], "cancel " + std::to_string(handle));
        }
    }
}

TEST_F(WrapperTest, WithoutSdkCallsNothingOpens) {
    CDocivaWrap wrap(SdkCalls{}, places());
    EXPECT_EQ(wrap.listDrivers().size(), 3u);
    EXPECT_FALSE(wrap.registerSource(u"Alpha"));
    EXPECT_EQ(wrap.startScan(nullptr, nullptr, nullptr, nullptr), -1);
}

TEST_F(WrapperTest, RefreshOnlyAddsProducts) {
    const auto wrap = makeWrap();
    registry.addProduct(u"alpha", u"Alpha", u"/drivers/alpha-new");
    registry.addProduct(u"delta", u"Delta", u"/drivers/delta", {u"VID_5C3B&PID_0004"});
    devices.push_back(usbDevice(u"VID_5C3B&PID_0004", u"S4"));
    EXPECT_EQ(wrap->refreshDrivers(), 4u);
    char16_t dir[260];
    ASSERT_TRUE(wrap->getSystemDirectory(u"Alpha", dir, 260));
    EXPECT_EQ(std::u16string_view(dir), u"/drivers/alpha") << "an entry present is not updated";
    ASSERT_TRUE(wrap->getSystemDirectory(u"Delta", dir, 260));

    devices.clear();
    EXPECT_EQ(wrap->refreshDrivers(), 4u) << "nothing attached removes nothing";
}

}  // namespace
