#include "scanner/driver_discovery.h"

#include <algorithm>
#include <utility>

#include "platform/files.h"
#include "platform/path.h"
#include "platform/registry.h"
#include "platform/system.h"
#include "platform/text.h"
#include "scanner/corvane_driver_ini.h"
#include "scanner/sane_devices.h"

namespace {

constexpr std::u16string_view kMakerHardwareIdPrefix = u"USB\\VID_5C3B&PID_";
constexpr std::u16string_view kInstanceIdPrefix = u"USB\\";
constexpr std::size_t kDeviceIdUnits = 17;
constexpr std::size_t kMaxKeyNameUnits = 259;
constexpr std::size_t kMaxDevicePathUnits = 127;
constexpr std::size_t kMaxValueUnits = 259;
constexpr std::size_t kMaxPackagePathUnits = 255;

bool isWhiteSpace(char16_t c) {
    return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n' || c == u'\v' || c == u'\f';
}

bool startsWithIgnoringCase(std::u16string_view s, std::u16string_view prefix) {
    return s.size() >= prefix.size() && text::equalsIgnoreAsciiCase(s.substr(0, prefix.size()), prefix);
}

// Adds product -> directory unless the product is already there. A product
// without a name could never be registered, so it is not offered.
void addFirst(DriverMap& drivers, std::u16string product, std::u16string directory) {
    if (product.empty()) return;
    drivers.emplace(std::move(product), std::move(directory));
}

}  // namespace

DriverDiscovery::DriverDiscovery(DiscoveryPlaces places) : places_(std::move(places)) {}

bool DriverDiscovery::deviceIdOf(const platform::PresentDevice& device, std::u16string& id) {
    bool maker = false;
    for (const auto& hardwareId : device.hardwareIds) {
        if (startsWithIgnoringCase(hardwareId, kMakerHardwareIdPrefix)) {
            maker = true;
            break;
        }
    }
    if (!maker || !device.hasInstanceId) return false;
    id.clear();
    const std::u16string_view instance(device.instanceId);
    if (!instance.starts_with(kInstanceIdPrefix)) return true;
    for (const char16_t c : instance.substr(kInstanceIdPrefix.size())) {
        if (isWhiteSpace(c) || id.size() == kDeviceIdUnits) break;
        id.push_back(c);
    }
    return true;
}

std::size_t DriverDiscovery::listPresentDeviceIds(DeviceIdList& ids) const {
    std::vector<platform::PresentDevice> devices;
    const bool listed =
        places_.presentDevices ? places_.presentDevices(devices) : platform::listPresentDevices(devices);
    if (!listed) return ids.size();
    for (const auto& device : devices) {
        std::u16string id;
        if (deviceIdOf(device, id)) ids.push_back(std::move(id));
    }
    return ids.size();
}

std::size_t DriverDiscovery::findInstalledDrivers(DriverMap& drivers) const {
    DeviceIdList ids;
    if (listPresentDeviceIds(ids) > 0) {
        matchDriversByRegistry(ids, drivers);
        matchDriversByFolder(ids, drivers);
    }
    return matchSaneDrivers(drivers);
}

std::size_t DriverDiscovery::matchSaneDrivers(DriverMap& drivers) const {
    const platform::RegistryKey root = platform::RegistryKey::openCurrentUser(places_.registryKey);
    if (!root.valid()) return drivers.size();
    struct Wanted {
        std::u16string device, product, directory;
    };
    std::vector<Wanted> wanted;
    std::u16string name;
    for (std::uint32_t index = 0; root.subkeyName(index, name, kMaxKeyNameUnits); ++index) {
        const platform::RegistryKey product = root.openSubkey(name);
        Wanted w;
        if (product.valid() && product.readString(u"SANE DEVICE", w.device, kMaxValueUnits) && !w.device.empty() &&
            product.readString(u"PRODUCT NAME", w.product, kMaxValueUnits) &&
            product.readString(u"SYSTEM DIRECTORY", w.directory, kMaxValueUnits))
            wanted.push_back(std::move(w));
    }
    // Asking SANE may take a while (it probes buses and the network): only
    // when a product needs the answer.
    if (wanted.empty()) return drivers.size();
    std::vector<std::u16string> listed;
    if (places_.saneDevices) {
        if (!places_.saneDevices(listed)) return drivers.size();
    } else {
        std::vector<SaneDeviceLine> lines;
        if (!listSaneDevicesOfSdk(lines)) return drivers.size();
        for (auto& line : lines) listed.push_back(std::move(line.name));
    }
    for (auto& w : wanted) {
        if (std::find(listed.begin(), listed.end(), w.device) != listed.end())
            addFirst(drivers, std::move(w.product), std::move(w.directory));
    }
    return drivers.size();
}

std::size_t DriverDiscovery::matchDriversByRegistry(const DeviceIdList& ids, DriverMap& drivers) const {
    const platform::RegistryKey root = platform::RegistryKey::openCurrentUser(places_.registryKey);
    if (!root.valid()) return drivers.size();
    std::u16string name;
    for (std::uint32_t index = 0; root.subkeyName(index, name, kMaxKeyNameUnits); ++index) {
        const platform::RegistryKey product = root.openSubkey(name);
        if (!product.valid()) continue;
        for (const auto& id : ids) {
            // An empty id would name the VxD key itself, which every product
            // has: it must not stand for a device.
            if (id.empty()) continue;
            const std::u16string devicePath = u"VxD\\" + id;
            if (devicePath.size() > kMaxDevicePathUnits || !product.openSubkey(devicePath).valid()) continue;
            std::u16string productName;
            std::u16string directory;
            if (product.readString(u"PRODUCT NAME", productName, kMaxValueUnits) &&
                product.readString(u"SYSTEM DIRECTORY", directory, kMaxValueUnits))
                addFirst(drivers, std::move(productName), std::move(directory));
            break;
        }
    }
    return drivers.size();
}

std::size_t DriverDiscovery::matchDriversByFolder(const DeviceIdList& ids, DriverMap& drivers) const {
    const std::u16string appData =
        places_.commonAppDataFolder ? places_.commonAppDataFolder() : platform::commonAppDataFolder();
    if (appData.empty()) return drivers.size();
    const std::u16string corvane = platform::joinPath(appData, u"Corvane");
    if (!platform::isDirectory(corvane)) return drivers.size();

    std::vector<std::u16string> rootFiles;
    for (const auto& entry : platform::findFiles(platform::joinPath(corvane, u"*"))) {
        if (!entry.isDirectory || entry.name == u"." || entry.name == u"..") continue;
        const std::u16string package = platform::joinPath(corvane, entry.name);
        if (package.size() > kMaxPackagePathUnits) continue;
        // Found the way Windows finds it: the name's case does not matter.
        for (const auto& file : platform::findFiles(platform::joinPath(package, u"Root.ini"))) {
            if (file.isDirectory) continue;
            rootFiles.push_back(platform::joinPath(package, file.name));
            break;
        }
    }

    for (const auto& rootFile : rootFiles) {
        char16_t product[kDriverTextUnits] = {};
        char16_t directory[kDriverTextUnits] = {};
        if (!CCorvaneDriverRootIni(rootFile.c_str()).getProductAndDirectory(product, kDriverTextUnits, directory,
                                                                             kDriverTextUnits))
            continue;
        if (!platform::isDirectory(text::view(directory))) continue;
        const std::u16string moduleFile = platform::joinPath(text::view(directory), u"module.ini");
        if (!platform::pathExists(moduleFile)) continue;
        int vendor = 0;
        int productId = 0;
        CCorvaneDriverModuleIni(moduleFile.c_str()).getScannerId(vendor, productId);
        const std::u16string wanted = text::format(u"VID_%04x&PID_%04x", vendor, productId);
        for (const auto& id : ids) {
            if (text::equalsIgnoreAsciiCase(id, wanted)) {
                addFirst(drivers, std::u16string(text::view(product)), std::u16string(text::view(directory)));
                break;
            }
        }
    }
    return drivers.size();
}
