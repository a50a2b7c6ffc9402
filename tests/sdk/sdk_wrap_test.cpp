// The scanner wrapper driving the real SDK through the linked-SDK calls,
// against the example installation.
#include <gtest/gtest.h>

#include <sstream>

#include "platform/files.h"
#include "platform/path.h"
#include "platform/text.h"
#include "settings/scan_settings.h"
#include "scanner/dociva_wrap.h"
#include "scanner/scanner_test_support.h"
#include "scanner/sdk_calls.h"
#include "sdk/sdk_test_support.h"

using namespace sdk_testing;
using testing_support::TempDir;

namespace {

// Discovery that finds the example installation made in target.
DiscoveryPlaces examplePlaces(const TempDir& target, const scanner_testing::TestRegistry& registry) {
    DiscoveryPlaces places;
    places.presentDevices = [](std::vector<platform::PresentDevice>& out) {
        const auto devices = scanner_testing::exampleDevices();
        out.insert(out.end(), devices.begin(), devices.end());
        return true;
    };
    places.registryKey = registry.root();
    const std::u16string root = target.path();
    places.commonAppDataFolder = [root] { return platform::joinPath(root, u"programdata"); };
    return places;
}

TEST(SdkWithWrapper, RegistersAndScansWithTheExampleDuplexScanner) {
    TempDir target;
    scanner_testing::TestRegistry registry;
    ASSERT_TRUE(scanner_testing::installExample(target.path(), registry));
    const DiscoveryPlaces places = examplePlaces(target, registry);

    CDocivaWrap wrap(linkedSdkCalls(), places);
    const char16_t* name = u"Dociva Virtual Duplex 300";
    ASSERT_TRUE(wrap.registerSource(name));
    ScannerSource* source = wrap.getSource(name);
    ASSERT_NE(source, nullptr);
    ASSERT_NE(source->handle, 0u);
    EXPECT_EQ(source->capability.source, 1u);
    EXPECT_EQ(source->capability.isDuplex, 1);
    EXPECT_DOUBLE_EQ(source->capability.maxWidth, 8.5);
    EXPECT_DOUBLE_EQ(source->capability.maxLength, 100.0);
    PaperSizeMap sizes;
    EXPECT_GT(CDocivaWrap::buildPaperSizes(sizes, &source->capability), 0u);
    EXPECT_EQ(sizes.count(23), 1u);  // long paper is offered

    // The flatbed example opens too and is a flatbed.
    ASSERT_TRUE(wrap.registerSource(u"Dociva Virtual Flatbed 305"));
    EXPECT_EQ(wrap.getSource(u"Dociva Virtual Flatbed 305")->capability.source, 0u);

    Recorder rec(source->handle);
    ScanSettings s = settingsFor(target.file(u"out"), u"4, 8", 3);
    ASSERT_EQ(wrap.startScan(source, nullptr, &s, nullptr), 0);
    ASSERT_TRUE(rec.waitForRuns(1));
    // 3 s of warm-up, then four duplex sheets: eight pages and one TIFF.
    const std::vector<Event> events = rec.events();
    EXPECT_EQ(events.front().type, 0);
    EXPECT_EQ(events.front().value, 3000);
    EXPECT_EQ(rec.files().size(), 9u);
    for (const std::u16string& f : rec.files()) EXPECT_TRUE(platform::pathExists(f));
    ASSERT_EQ(rec.statuses().size(), 1u);
    EXPECT_EQ(rec.statuses()[0].code, 0);
}

// The plug-in's wrapper hands over the earlier, shorter record. The SDK
// must read it as that form (same settings as the current form gives) and
// read no byte past it; under AddressSanitizer a read beyond its 4912
// bytes on the wrapper's stack fails the test.
TEST(SdkWithWrapper, EarlierSettingsFormScansWithTheSameSettings) {
    TempDir target;
    scanner_testing::TestRegistry registry;
    ASSERT_TRUE(scanner_testing::installExample(target.path(), registry));
    const DiscoveryPlaces places = examplePlaces(target, registry);
    const std::u16string traceFile = target.file(u"trace.jsonl");
    scanner_testing::ScopedEnv env("DOCIVA_SDK_TRACE", traceFile);

    struct Row {
        const char* name;
        CDocivaWrap::SettingsForm form;
    };
    const Row rows[] = {{"current form", CDocivaWrap::SettingsForm::Current},
                        {"earlier form", CDocivaWrap::SettingsForm::Earlier}};
    std::vector<std::string> settingsTexts;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        CDocivaWrap wrap(linkedSdkCalls(), places);
        wrap.setSettingsForm(row.form);
        const char16_t* name = u"Dociva Virtual Duplex 300";
        ASSERT_TRUE(wrap.registerSource(name));
        ScannerSource* source = wrap.getSource(name);
        ASSERT_NE(source, nullptr);
        Recorder rec(source->handle);
        // Fields on both sides of every place where the two forms differ.
        ScanSettings s = settingsFor(target.file(text::format(u"out%d", static_cast<int>(settingsTexts.size()))),
                                     u"4, 8", 3, 150);
        s.punchHoleErase = 2;
        s.scanAreaUnit = 1;
        s.watermarkType = 2;
        text::copyBounded(s.watermarkText, kRecordTextUnits, u"copy");
        text::copyBounded(s.fileName, kRecordTextUnits, u"page_%COUNTER3%");
        s.reserved13 = 13;
        ASSERT_EQ(wrap.startScan(source, nullptr, &s, nullptr), 0);
        ASSERT_TRUE(rec.waitForRuns(1));
        EXPECT_EQ(rec.files().size(), 9u);
        ASSERT_FALSE(rec.files().empty());
        EXPECT_NE(rec.files().front().find(u"page_001"), std::u16string::npos);
        ASSERT_EQ(rec.statuses().size(), 1u);
        EXPECT_EQ(rec.statuses()[0].code, 0);

        std::istringstream lines(testing_support::readBytes(traceFile));
        std::string line, last;
        while (std::getline(lines, line)) last = line;
        const std::size_t at = last.find("\"settings\":");
        ASSERT_NE(at, std::string::npos) << last;
        // The output folder differs by run; everything else must not.
        std::string settings = last.substr(at);
        const std::size_t folder = settings.find("\"saveToPath\":");
        ASSERT_NE(folder, std::string::npos);
        settings.erase(folder, settings.find(',', folder) - folder);
        settingsTexts.push_back(settings);
    }
    ASSERT_EQ(settingsTexts.size(), 2u);
    EXPECT_EQ(settingsTexts[0], settingsTexts[1]);
}

TEST(SdkSettingsForm, OnlyTheTwoRecordSizesOfAnOpenHandleAreTaken) {
    TempDir target;
    scanner_testing::TestRegistry registry;
    ASSERT_TRUE(scanner_testing::installExample(target.path(), registry));
    CDocivaWrap wrap(linkedSdkCalls(), examplePlaces(target, registry));
    ASSERT_TRUE(wrap.registerSource(u"Dociva Virtual Duplex 300"));
    const DocivaHandle handle = wrap.getSource(u"Dociva Virtual Duplex 300")->handle;
    struct Row {
        DocivaHandle handle;
        int bytes;
        int result;
    };
    const Row rows[] = {{handle, 4912, 0}, {handle, 6480, 0}, {handle, 0, -1}, {handle, 5000, -1},
                        {handle, -4912, -1}, {handle + 1000, 4912, -1}, {0, 6480, -1}};
    for (const Row& row : rows) {
        EXPECT_EQ(dociva_SetSettingsForm(row.handle, row.bytes), row.result)
            << "handle " << row.handle << ", " << row.bytes << " bytes";
    }
}

}  // namespace
