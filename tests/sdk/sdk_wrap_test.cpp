// The scanner wrapper driving the real SDK through the linked-SDK calls,
// against the example installation.
#include <gtest/gtest.h>

#include "platform/files.h"
#include "platform/path.h"
#include "platform/text.h"
#include "scanner/dociva_wrap.h"
#include "scanner/scanner_test_support.h"
#include "scanner/sdk_calls.h"
#include "sdk/sdk_test_support.h"

using namespace sdk_testing;
using testing_support::TempDir;

namespace {

TEST(SdkWithWrapper, RegistersAndScansWithTheExampleDuplexScanner) {
    TempDir target;
    scanner_testing::TestRegistry registry;
    ASSERT_TRUE(scanner_testing::installExample(target.path(), registry));
    DiscoveryPlaces places;
    places.presentDevices = [](std::vector<platform::PresentDevice>& out) {
        const auto devices = scanner_testing::exampleDevices();
        out.insert(out.end(), devices.begin(), devices.end());
        return true;
    };
    places.registryKey = registry.root();
    places.commonAppDataFolder = [&target] { return platform::joinPath(target.path(), u"programdata"); };

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

}  // namespace
