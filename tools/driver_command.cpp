// dociva driver add-sane / remove: installs a driver for a SANE device the
// way a maker's installer would install one, so driver discovery finds it
// and the control registers it by its product name:
//   <common app data>/Corvane/<package>/Root.ini      product and directory
//   <common app data>/Corvane/<package>/driver/module.ini
//        [device] backend=sane, device=NAME, and what the device told the
//        SDK of itself when it opened (for the reader; the SDK asks the
//        device again on every open)
//   HKEY_CURRENT_USER\Software\Corvane\<package>
//        PRODUCT NAME, SYSTEM DIRECTORY, SANE DEVICE
// The registry's "SANE DEVICE" is what makes discovery count the product
// as attached while SANE lists the device (docs/scanners.md).
#include <algorithm>
#include <string>
#include <vector>

#include "platform/console.h"
#include "platform/files.h"
#include "platform/path.h"
#include "platform/registry.h"
#include "platform/system.h"
#include "platform/text.h"
#include "scanner/dociva_sdk.h"
#include "scanner/sane_devices.h"
#include "tools/commands.h"

const char kDriverUsage[] =
    "  driver add-sane [DEVICE] [--name NAME]    without DEVICE: SANE's devices as\n"
    "                                            NAME<TAB>VENDOR<TAB>MODEL<TAB>TYPE; with it: installs\n"
    "                                            a driver for that SANE device under product NAME\n"
    "                                            (default: VENDOR MODEL (DEVICE))\n"
    "  driver remove NAME                        removes the SANE driver of product NAME\n";

namespace {

constexpr char16_t kProducts[] = u"Software\\Corvane";

int usage() {
    platform::writeStderr(std::string("usage:\n") + kDriverUsage);
    return 2;
}

int fail(const std::u16string& message) {
    platform::writeStderr("dociva driver: " + text::toUtf8(message) + "\n");
    return 1;
}

// A folder and key name from a device name: "test:0" -> "SANE-test_0".
std::u16string packageName(const std::u16string& device) {
    std::u16string out = u"SANE-";
    for (char16_t c : device) {
        const bool plain = (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') ||
                           c == u'.' || c == u'-';
        out.push_back(plain ? c : u'_');
    }
    return out;
}

// Values end at a line break in every file written here.
std::u16string oneLine(std::u16string s) {
    for (char16_t& c : s)
        if (c == u'\r' || c == u'\n') c = u' ';
    return s;
}

struct Installed {
    std::u16string key;  // below kProducts
    std::u16string product;
    std::u16string directory;
    std::u16string device;  // empty: not a SANE product
};

std::vector<Installed> installedProducts() {
    std::vector<Installed> out;
    const platform::RegistryKey root = platform::RegistryKey::openCurrentUser(kProducts);
    std::u16string name;
    for (std::uint32_t i = 0; root.valid() && root.subkeyName(i, name, 259); ++i) {
        const platform::RegistryKey key = root.openSubkey(name);
        Installed p{name, {}, {}, {}};
        key.readString(u"PRODUCT NAME", p.product, 259);
        key.readString(u"SYSTEM DIRECTORY", p.directory, 259);
        key.readString(u"SANE DEVICE", p.device, 259);
        out.push_back(std::move(p));
    }
    return out;
}

std::u16string decimal(double v) { return text::format(u"%.4f", v); }

int listDevices() {
    std::vector<SaneDeviceLine> devices;
    if (!listSaneDevicesOfSdk(devices)) return fail(u"SANE cannot be used here (is libsane1 installed?)");
    if (devices.empty()) return fail(u"SANE lists no device");
    std::string out;
    for (const auto& d : devices)
        out += text::toUtf8(d.name + u"\t" + d.vendor + u"\t" + d.model + u"\t" + d.type) + "\n";
    platform::writeStdout(out);
    return 0;
}

// Removes what add-sane wrote for one product: its two files, then the
// folders if nothing else is in them, then the registry key.
void removeInstalled(const Installed& p) {
    if (!p.directory.empty()) {
        platform::deleteFile(platform::joinPath(p.directory, u"module.ini"));
        platform::removeDirectory(p.directory);
    }
    const std::u16string appData = platform::commonAppDataFolder();
    if (!appData.empty()) {
        const std::u16string package = platform::joinPath(platform::joinPath(appData, u"Corvane"), p.key);
        platform::deleteFile(platform::joinPath(package, u"Root.ini"));
        platform::removeDirectory(package);
    }
    platform::deleteRegistryTree(std::u16string(kProducts) + u"\\" + p.key);
}

int addSane(const std::u16string& device, std::u16string product) {
    std::vector<SaneDeviceLine> devices;
    if (!listSaneDevicesOfSdk(devices)) return fail(u"SANE cannot be used here (is libsane1 installed?)");
    const SaneDeviceLine* found = nullptr;
    for (const auto& d : devices)
        if (d.name == device) found = &d;
    if (!found) return fail(u"SANE lists no device " + device + u" (dociva driver add-sane lists those it does)");
    if (product.empty()) {
        product = found->vendor + (found->vendor.empty() ? u"" : u" ") + found->model;
        product = (product.empty() ? device : product + u" (" + device + u")");
    }
    product = oneLine(product);

    const std::u16string key = packageName(device);
    for (const Installed& p : installedProducts()) {
        if (text::equalsIgnoreAsciiCase(p.key, key) || p.product == product)
            return fail(u"a driver for " + (p.product.empty() ? p.key : p.product) +
                        u" is installed already (dociva driver remove it first)");
    }
    const std::u16string appData = platform::commonAppDataFolder();
    if (appData.empty()) return fail(u"no common application-data folder");
    const std::u16string corvane = platform::joinPath(appData, u"Corvane");
    const std::u16string package = platform::joinPath(corvane, key);
    const std::u16string driver = platform::joinPath(package, u"driver");
    platform::createDirectory(corvane);
    platform::createDirectory(package);
    platform::createDirectory(driver);
    const Installed installed{key, product, driver, device};
    const std::u16string deviceSection = u"[device]\nbackend=sane\ndevice=" + oneLine(device) + u"\n";
    if (!platform::writeFile(platform::joinPath(driver, u"module.ini"), text::toUtf8(deviceSection))) {
        removeInstalled(installed);
        return fail(u"cannot write the driver folder " + driver);
    }

    // What the device tells of itself, through the very SDK that will
    // drive it; a device the SDK cannot open gets no driver.
    DocivaHandle handle = dociva_OpenDriver(driver.c_str());
    if (!handle) {
        removeInstalled(installed);
        return fail(u"the SDK cannot open " + device + u" (DOCIVA_DEBUG=1 says why)");
    }
    SourceCapability cap{};
    dociva_GetSourceCapability(handle, &cap);
    dociva_CloseDriver(&handle);
    const std::u16string module =
        u"; A SANE device. The sizes and sources below are what it told when the driver was\n"
        u"; added; the SDK asks the device again whenever it opens.\n" +
        deviceSection + u"source=" + (cap.source ? u"1" : u"0") + u"\nduplex=" + (cap.isDuplex ? u"1" : u"0") +
        u"\nmaxWidth=" + decimal(cap.maxWidth) + u"\nmaxHeight=" + decimal(cap.maxHeight) + u"\n";
    const std::u16string root =
        u"[Product]\r\nPRODUCT NAME=" + product + u"\r\nSYSTEM DIRECTORY=" + driver + u"\r\n";
    const std::u16string registryKey = std::u16string(kProducts) + u"\\" + key;
    const bool written = platform::writeFile(platform::joinPath(driver, u"module.ini"), text::toUtf8(module)) &&
                         platform::writeFile(platform::joinPath(package, u"Root.ini"), text::toUtf8(root)) &&
                         platform::writeRegistryString(registryKey, u"PRODUCT NAME", product) &&
                         platform::writeRegistryString(registryKey, u"SYSTEM DIRECTORY", driver) &&
                         platform::writeRegistryString(registryKey, u"SANE DEVICE", device);
    if (!written) {
        removeInstalled(installed);
        return fail(u"cannot write the driver of " + device);
    }
    platform::writeStdout(text::toUtf8(product + u"\t" + driver + u"\n"));
    return 0;
}

int remove(const std::u16string& product) {
    bool removed = false;
    for (const Installed& p : installedProducts()) {
        if (p.product != product) continue;
        // The maker's installations are the maker's to remove.
        if (p.device.empty()) return fail(product + u" is no SANE driver; it was not installed by dociva");
        removeInstalled(p);
        removed = true;
    }
    if (!removed) return fail(u"no SANE driver of product " + product);
    return 0;
}

}  // namespace

std::string saneDevicesWithoutDriver() {
    std::vector<SaneDeviceLine> devices;
    if (!listSaneDevicesOfSdk(devices)) return {};
    const std::vector<Installed> installed = installedProducts();
    std::u16string out;
    for (const SaneDeviceLine& d : devices) {
        const bool has = std::any_of(installed.begin(), installed.end(),
                                     [&](const Installed& p) { return p.device == d.name; });
        if (has) continue;
        const std::u16string what = oneLine(d.vendor + (d.vendor.empty() ? u"" : u" ") + d.model);
        // Network devices' names hold blanks: quoted, the line pastes into a shell.
        const bool quote = d.name.find_first_of(u" \t'\"$`\\") != std::u16string::npos;
        std::u16string name = d.name;
        if (quote) {
            name.clear();
            for (char16_t c : d.name) {
                if (c == u'\'') name += u"'\\''";
                else name += c;
            }
            name = u"'" + name + u"'";
        }
        out += u"# " + oneLine(d.name) + (what.empty() ? u"" : u" (" + what + u")") +
               u" has no driver: dociva driver add-sane " + oneLine(name) + u"\n";
    }
    return text::toUtf8(out);
}

int runDriverCommand(const Arguments& args) {
    if (args.empty()) return usage();
    if (args[0] == u"remove") {
        if (args.size() != 2 || args[1].empty()) return usage();
        return remove(args[1]);
    }
    if (args[0] != u"add-sane") return usage();
    std::u16string device;
    std::u16string product;
    for (std::size_t i = 1; i < args.size(); ++i) {
        if (args[i] == u"--name") {
            if (i + 1 >= args.size() || args[i + 1].empty()) return usage();
            product = args[++i];
        } else if (device.empty() && !args[i].empty() && args[i][0] != u'-') {
            device = args[i];
        } else {
            return usage();
        }
    }
    if (device.empty()) return product.empty() ? listDevices() : usage();
    return addSane(device, product);
}
