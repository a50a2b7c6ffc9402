#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/files.h"
#include "platform/path.h"
#include "platform/registry.h"
#include "platform/text.h"
#include "scanner/driver_discovery.h"
#include "scanner/sane_devices.h"
#include "scanner_test_support.h"

namespace {

using scanner_testing::TestRegistry;
using scanner_testing::usbDevice;
using testing_support::TempDir;
using testing_support::utf8;
using testing_support::writeBytes;

using Devices = std::vector<platform::PresentDevice>;

std::vector<std::string> entries(const DriverMap& map) {
    std::vector<std::string> out;
    for (const auto& [product, dir] : map) out.push_back(utf8(product) + "=" + utf8(dir));
    return out;
}

TEST(DeviceIds, TakenFromTheMakersDevices) {
    const struct {
        const char* name;
        std::vector<std::u16string> hardwareIds;
        const char16_t* instanceId;  // null: cannot be read
        bool listed;
        const char16_t* id;
    } cases[] = {
        {"usual", {u"USB\\VID_5C3B&PID_012C&REV_0100", u"USB\\VID_5C3B&PID_012C"}, u"USB\\VID_5C3B&PID_012C\\SN1", true,
         u"VID_5C3B&PID_012C"},
        {"hardware id in lower case, second in the list",
         {u"HID\\X", u"usb\\vid_5c3b&pid_"},
         u"USB\\VID_5C3B&PID_",
         true,
         u"VID_5C3B&PID_"},
        {"another maker", {u"USB\\VID_046D&PID_C077"}, u"USB\\VID_046D&PID_C077\\1", false, nullptr},
        {"no hardware ids", {}, u"USB\\VID_5C3B&PID_012C\\1", false, nullptr},
        {"instance id unreadable", {u"USB\\VID_5C3B&PID_0001"}, nullptr, false, nullptr},
        {"instance id not under USB", {u"USB\\VID_5C3B&PID_0001"}, u"ROOT\\IMAGE\\0000", true, u""},
        {"white space ends the id", {u"USB\\VID_5C3B&PID_0001"}, u"USB\\VID_5C3B &PID", true, u"VID_5C3B"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        platform::PresentDevice d;
        d.hardwareIds = c.hardwareIds;
        d.hasInstanceId = c.instanceId != nullptr;
        if (c.instanceId) d.instanceId = c.instanceId;
        std::u16string id = u"old";
        ASSERT_EQ(DriverDiscovery::deviceIdOf(d, id), c.listed);
        if (c.listed) {
            EXPECT_EQ(id, c.id);
        }
    }
}

TEST(DeviceIds, ListedInOrderWithDuplicates) {
    DiscoveryPlaces places;
    places.presentDevices = [](Devices& out) {
        out = {usbDevice(u"VID_5C3B&PID_0002", u"A"), usbDevice(u"VID_046D&PID_C077", u"B"),
               usbDevice(u"VID_5C3B&PID_0001", u"C"), usbDevice(u"VID_5C3B&PID_0002", u"D")};
        return true;
    };
    DeviceIdList ids = {u"kept"};
    EXPECT_EQ(DriverDiscovery(places).listPresentDeviceIds(ids), 4u);
    EXPECT_EQ(ids, (DeviceIdList{u"kept", u"VID_5C3B&PID_0002", u"VID_5C3B&PID_0001", u"VID_5C3B&PID_0002"}));

    places.presentDevices = [](Devices& out) {
        out.push_back(usbDevice(u"VID_5C3B&PID_0009", u"X"));
        return false;
    };
    ids.clear();
    EXPECT_EQ(DriverDiscovery(places).listPresentDeviceIds(ids), 0u) << "a failed enumeration lists nothing";
}

class DiscoveryTest : public ::testing::Test {
protected:
    DiscoveryPlaces places() {
        DiscoveryPlaces p;
        p.presentDevices = [this](Devices& out) {
            out.insert(out.end(), devices.begin(), devices.end());
            return true;
        };
        p.registryKey = registry.root();
        p.commonAppDataFolder = [this] {
            ++appDataLookups;
            return appData.path();
        };
        return p;
    }

    // A package below Corvane\ with a Root.ini naming product and its
    // driver directory, and a module.ini there holding scannerid.
    void addPackage(std::u16string_view package, const char* product, const char* scannerId,
                    const char* rootIniName = "Root.ini") {
        const std::u16string corvane = appData.file(u"Corvane");
        platform::createDirectory(corvane);
        const std::u16string folder = platform::joinPath(corvane, package);
        const std::u16string driver = platform::joinPath(folder, u"driver");
        ASSERT_TRUE(platform::createDirectory(folder));
        ASSERT_TRUE(platform::createDirectory(driver));
        ASSERT_TRUE(writeBytes(platform::joinPath(folder, text::fromUtf8(rootIniName)),
                               std::string("[Product]\r\nPRODUCT NAME=") + product +
                                   "\r\nSYSTEM DIRECTORY=" + utf8(driver) + "\r\n"));
        if (scannerId) {
            ASSERT_TRUE(writeBytes(platform::joinPath(driver, u"module.ini"),
                                   std::string("[system]\r\nscannerid=") + scannerId + "\r\n"));
        }
    }

    std::string driverOf(std::u16string_view package) {
        return utf8(platform::joinPath(platform::joinPath(appData.file(u"Corvane"), package), u"driver"));
    }

    TestRegistry registry;
    TempDir appData;
    Devices devices;
    int appDataLookups = 0;
};

TEST_F(DiscoveryTest, NothingIsReadWithoutTheMakersScanner) {
    registry.addProduct(u"p", u"P", u"/d/p", {u"VID_5C3B&PID_0001"});
    addPackage(u"Q", "Q", "23611,2");
    devices = {usbDevice(u"VID_046D&PID_C077", u"1")};
    DriverMap map;
    EXPECT_EQ(DriverDiscovery(places()).findInstalledDrivers(map), 0u);
    EXPECT_TRUE(map.empty());
    EXPECT_EQ(appDataLookups, 0);

    devices.push_back(usbDevice(u"VID_5C3B&PID_0002", u"2"));
    EXPECT_EQ(DriverDiscovery(places()).findInstalledDrivers(map), 1u);
    EXPECT_EQ(appDataLookups, 1);
}

TEST_F(DiscoveryTest, RegistryProducts) {
    registry.addProduct(u"a-serves-1", u"One", u"/d/one", {u"VID_5C3B&PID_0009", u"VID_5C3B&PID_0001"});
    registry.addProduct(u"b-also-serves-1", u"One too", u"/d/one-too", {u"VID_5C3B&PID_0001"});
    registry.addProduct(u"c-same-name", u"One", u"/d/shadowed", {u"VID_5C3B&PID_0001"});
    registry.addProduct(u"d-lower-case-key", u"Two", u"/d/two", {u"vid_5c3b&pid_0002"});
    registry.addProduct(u"e-no-directory", u"Three", nullptr, {u"VID_5C3B&PID_0003"});
    registry.addProduct(u"f-no-name", nullptr, u"/d/four", {u"VID_5C3B&PID_0003"});
    registry.addProduct(u"g-not-attached", u"Five", u"/d/five", {u"VID_5C3B&PID_0005"});
    registry.addProduct(u"h-too-long", u"Six", std::u16string(260, u'x').c_str(), {u"VID_5C3B&PID_0003"});
    registry.addProduct(u"i-empty-name", u"", u"/d/seven", {u"VID_5C3B&PID_0003"});
    const DeviceIdList ids = {u"", u"VID_5C3B&PID_0001", u"VID_5C3B&PID_0002", u"VID_5C3B&PID_0003",
                              u"VID_5C3B&PID_0001"};
    DriverMap map = {{u"Two", u"/d/earlier"}};
    EXPECT_EQ(DriverDiscovery(places()).matchDriversByRegistry(ids, map), 3u);
    EXPECT_EQ(entries(map), (std::vector<std::string>{"One=/d/one", "One too=/d/one-too", "Two=/d/earlier"}));
}

TEST_F(DiscoveryTest, EmptyDeviceIdServesNoProduct) {
    registry.addProduct(u"p", u"P", u"/d/p", {u"VID_5C3B&PID_0001"});
    DriverMap map;
    EXPECT_EQ(DriverDiscovery(places()).matchDriversByRegistry({u""}, map), 0u);
}

TEST_F(DiscoveryTest, WithoutTheRegistryKeyNothingIsAdded) {
    DiscoveryPlaces p = places();
    p.registryKey += u"\\missing";
    DriverMap map = {{u"X", u"/x"}};
    EXPECT_EQ(DriverDiscovery(p).matchDriversByRegistry({u"VID_5C3B&PID_0001"}, map), 1u);
}

TEST_F(DiscoveryTest, FolderPackages) {
    addPackage(u"a", "Hex digits in either case", "23611,300");  // VID_5c3b&PID_012c
    addPackage(u"b", "Not attached", "23611,301");
    addPackage(u"c", "No module ini", nullptr);
    addPackage(u"d", "No scanner id", "");
    addPackage(u"e", "Lower-case root ini", "23611,2", "root.ini");
    // A package whose directory is gone.
    const std::u16string corvane = appData.file(u"Corvane");
    ASSERT_TRUE(platform::createDirectory(platform::joinPath(corvane, u"f")));
    ASSERT_TRUE(writeBytes(platform::joinPath(platform::joinPath(corvane, u"f"), u"Root.ini"),
                           "[x]\nPRODUCT NAME=Gone\nSYSTEM DIRECTORY=" + utf8(appData.file(u"gone")) + "\n"));
    ASSERT_TRUE(writeBytes(platform::joinPath(corvane, u"Root.ini"), "[x]\nPRODUCT NAME=Loose file\n"));

    const DeviceIdList ids = {u"VID_5C3B&PID_012C", u"VID_5C3B&PID_0000", u"VID_5C3B&PID_0002"};
    DriverMap map;
    EXPECT_EQ(DriverDiscovery(places()).matchDriversByFolder(ids, map), 2u);
    EXPECT_EQ(entries(map), (std::vector<std::string>{"Hex digits in either case=" + driverOf(u"a"),
                                                      "Lower-case root ini=" + driverOf(u"e")}));
}

TEST_F(DiscoveryTest, FolderWithoutCorvaneOrAppData) {
    DriverMap map;
    EXPECT_EQ(DriverDiscovery(places()).matchDriversByFolder({u"VID_5C3B&PID_0001"}, map), 0u);
    DiscoveryPlaces p = places();
    p.commonAppDataFolder = [] { return std::u16string(); };
    EXPECT_EQ(DriverDiscovery(p).matchDriversByFolder({u"VID_5C3B&PID_0001"}, map), 0u);
}

TEST_F(DiscoveryTest, RegistryBeatsFolder) {
    registry.addProduct(u"dup", u"Duplex", u"/from/registry", {u"VID_5C3B&PID_012C"});
    addPackage(u"dup", "Duplex", "23611,300");
    addPackage(u"flat", "Flatbed", "23611,305");
    devices = {usbDevice(u"VID_5C3B&PID_012C", u"1"), usbDevice(u"VID_5C3B&PID_0131", u"2")};
    DriverMap map;
    EXPECT_EQ(DriverDiscovery(places()).findInstalledDrivers(map), 2u);
    EXPECT_EQ(entries(map), (std::vector<std::string>{"Duplex=/from/registry", "Flatbed=" + driverOf(u"flat")}));
}

TEST_F(DiscoveryTest, SaneProductsAreAttachedWhenSaneListsTheirDevice) {
    registry.addProduct(u"a-sane-listed", u"Test Scanner", u"/d/test", {});
    platform::writeRegistryString(registry.root() + u"\\a-sane-listed", u"SANE DEVICE", u"test:0");
    registry.addProduct(u"b-sane-gone", u"Network Scanner", u"/d/net", {});
    platform::writeRegistryString(registry.root() + u"\\b-sane-gone", u"SANE DEVICE", u"airscan:e0:Office");
    // The maker's product of the same name wins over a SANE one.
    registry.addProduct(u"c-maker", u"Duplex", u"/d/maker", {u"VID_5C3B&PID_012C"});
    registry.addProduct(u"d-sane-same-name", u"Duplex", u"/d/sane-duplex", {});
    platform::writeRegistryString(registry.root() + u"\\d-sane-same-name", u"SANE DEVICE", u"test:1");
    // A SANE product without its directory is left out, as any product.
    registry.addProduct(u"e-sane-no-directory", u"Half", nullptr, {});
    platform::writeRegistryString(registry.root() + u"\\e-sane-no-directory", u"SANE DEVICE", u"test:0");

    int asked = 0;
    DiscoveryPlaces p = places();
    p.saneDevices = [&](std::vector<std::u16string>& names) {
        ++asked;
        names = {u"test:1", u"test:0"};
        return true;
    };
    struct Row {
        const char* name;
        bool makerAttached;
        std::vector<std::string> expected;
    };
    const Row rows[] = {
        {"without the maker's scanner", false, {"Duplex=/d/sane-duplex", "Test Scanner=/d/test"}},
        {"beside the maker's scanner", true, {"Duplex=/d/maker", "Test Scanner=/d/test"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        asked = 0;
        devices.clear();
        if (row.makerAttached) devices.push_back(usbDevice(u"VID_5C3B&PID_012C", u"1"));
        DriverMap map;
        EXPECT_EQ(DriverDiscovery(p).findInstalledDrivers(map), row.expected.size());
        EXPECT_EQ(entries(map), row.expected);
        EXPECT_EQ(asked, 1) << "SANE is asked once a discovery";
    }

    // SANE that cannot be asked attaches nothing.
    devices.clear();
    p.saneDevices = [](std::vector<std::u16string>&) { return false; };
    DriverMap map;
    EXPECT_EQ(DriverDiscovery(p).findInstalledDrivers(map), 0u);
}

TEST_F(DiscoveryTest, SaneIsNotAskedWhenNoProductNamesADevice) {
    registry.addProduct(u"p", u"P", u"/d/p", {u"VID_5C3B&PID_0001"});
    bool asked = false;
    DiscoveryPlaces p = places();
    p.saneDevices = [&](std::vector<std::u16string>&) { return asked = true; };
    devices = {usbDevice(u"VID_5C3B&PID_0001", u"1")};
    DriverMap map;
    EXPECT_EQ(DriverDiscovery(p).findInstalledDrivers(map), 1u);
    EXPECT_FALSE(asked);
}

TEST(SaneDeviceList, LinesOfTheSdksList) {
    const auto lines = parseSaneDeviceList(u"test:0\tNoname\tfrontend-tester\tvirtual device\n"
                                           u"\tno name\n"
                                           u"net:host:plustek:libusb:001:002\tPlustek\n");
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].name, u"test:0");
    EXPECT_EQ(lines[0].vendor, u"Noname");
    EXPECT_EQ(lines[0].model, u"frontend-tester");
    EXPECT_EQ(lines[0].type, u"virtual device");
    EXPECT_EQ(lines[1].name, u"net:host:plustek:libusb:001:002");
    EXPECT_EQ(lines[1].vendor, u"Plustek");
    EXPECT_EQ(lines[1].model, u"");
    EXPECT_TRUE(parseSaneDeviceList(u"").empty());
}

TEST(ExampleInstallation, FindsTheTwoAttachedScanners) {
    TestRegistry registry;
    TempDir target;
    ASSERT_TRUE(scanner_testing::installExample(target.path(), registry));
    DiscoveryPlaces places;
    places.presentDevices = [](Devices& out) {
        out = scanner_testing::exampleDevices();
        return true;
    };
    places.registryKey = registry.root();
    places.commonAppDataFolder = [&] { return target.file(u"programdata"); };
    DriverMap map;
    EXPECT_EQ(DriverDiscovery(places).findInstalledDrivers(map), 2u);
    const std::string corvane = utf8(target.path()) + "/programdata/Corvane/";
    EXPECT_EQ(entries(map), (std::vector<std::string>{"Dociva Virtual Duplex 300=" + corvane + "VirtualDuplex/driver",
                                                      "Dociva Virtual Flatbed 305=" + corvane +
                                                          "VirtualFlatbed/driver"}));
}

}  // namespace
