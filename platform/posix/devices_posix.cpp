// Present USB devices from sysfs, described with the ids Windows gives a
// USB device, so the discovery code matches them the same way on both
// systems.
#include "platform/devices.h"

#include <algorithm>
#include <cstdint>
#include <string>

#include "platform/files.h"
#include "platform/path.h"
#include "platform/system.h"
#include "platform/text.h"

namespace platform {

namespace {

constexpr std::uint64_t kMaxAttributeBytes = 4096;
constexpr std::size_t kMaxInstanceIdUnits = 200;

// The first line of a sysfs attribute file, without its line feed.
bool readAttribute(const std::u16string& folder, std::u16string_view name, std::string& value) {
    if (!readFile(joinPath(folder, name), value, kMaxAttributeBytes)) return false;
    if (const std::size_t nl = value.find('\n'); nl != std::string::npos) value.resize(nl);
    return true;
}

// A 16-bit id written as four hexadecimal digits.
bool readHexId(const std::u16string& folder, std::u16string_view name, std::uint16_t& id) {
    std::string text;
    if (!readAttribute(folder, name, text) || text.empty() || text.size() > 4) return false;
    std::uint32_t v = 0;
    for (const char c : text) {
        int digit = 0;
        if (c >= '0' && c <= '9') digit = c - '0';
        else if (c >= 'a' && c <= 'f') digit = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F') digit = c - 'A' + 10;
        else return false;
        v = v * 16 + static_cast<std::uint32_t>(digit);
    }
    id = static_cast<std::uint16_t>(v);
    return true;
}

}  // namespace

bool listPresentDevices(std::vector<PresentDevice>& devices) {
    std::u16string root = environmentVariable(u"DOCIVA_SYSFS_ROOT");
    if (root.empty()) root = u"/sys";
    const std::u16string folder = joinPath(joinPath(joinPath(root, u"bus"), u"usb"), u"devices");
    if (!isDirectory(folder)) return false;

    // The file system lists entries in no useful order; the port paths in
    // name order keep the result the same from run to run.
    std::vector<std::u16string> names;
    for (auto& e : findFiles(joinPath(folder, u"*"))) {
        if (e.isDirectory && e.name != u"." && e.name != u"..") names.push_back(std::move(e.name));
    }
    std::sort(names.begin(), names.end());

    for (const auto& name : names) {
        const std::u16string device = joinPath(folder, name);
        // Interfaces ("1-1:1.0") have no ids of their own and are no devices.
        std::uint16_t vendor = 0;
        std::uint16_t product = 0;
        if (!readHexId(device, u"idVendor", vendor) || !readHexId(device, u"idProduct", product)) continue;

        PresentDevice present;
        const std::u16string hardwareId = text::format(u"USB\\VID_%04X&PID_%04X", vendor, product);
        present.hardwareIds.push_back(hardwareId);
        std::string serial;
        const std::u16string tail =
            readAttribute(device, u"serial", serial) && !serial.empty() ? text::fromUtf8(serial) : name;
        present.instanceId = hardwareId + u"\\" + tail;
        present.hasInstanceId = present.instanceId.size() <= kMaxInstanceIdUnits;
        if (!present.hasInstanceId) present.instanceId.clear();
        devices.push_back(std::move(present));
    }
    return true;
}

}  // namespace platform
