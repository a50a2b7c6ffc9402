// Driver discovery: which installed drivers serve a scanner of the maker
// that is attached right now.
//
// The present USB devices of the maker's vendor id (hardware id beginning
// with "USB\VID_5C3B&PID_") give device ids ("VID_5C3B&PID_xxxx", taken
// from the instance id). For each, the installed product is looked up first
// in the per-user registry (HKEY_CURRENT_USER\Software\Corvane\<product>,
// with the values "PRODUCT NAME" and "SYSTEM DIRECTORY" and one key
// "VxD\<device id>" per device the product serves), then in the driver
// packages below the common application-data folder (the Root.ini of each
// package in Corvane\<package> names product and driver directory, whose
// module.ini holds the scanner's USB ids). The first entry found for a product name wins, so the
// registry beats the folder.
//
// SANE devices (served by the SDK's SANE page source) are attached when
// SANE lists them: a product key with a "SANE DEVICE" value (and its
// "PRODUCT NAME" and "SYSTEM DIRECTORY") serves the SANE device of that
// name whenever SANE lists it, whether or not a scanner of the maker is
// attached. SANE is asked only when some product names a SANE device.
// Entries of the maker's devices win over a SANE product of the same name.
//
// Nothing is reported: a missing key, folder, file or value only leaves out
// the product or device concerned.
//
// Thread safety: a DriverDiscovery keeps nothing between calls and may be
// used from any one thread at a time.
#pragma once

#include <cstddef>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/devices.h"

inline constexpr std::size_t kDriverTextUnits = 260;

// An installed driver that serves an attached scanner.
struct DriverEntry {
    char16_t productName[kDriverTextUnits] = {};
    char16_t systemDirectory[kDriverTextUnits] = {};
};

// Product name -> driver directory, ordered by exact (case-sensitive) text.
using DriverMap = std::map<std::u16string, std::u16string>;
// Device ids in enumeration order; two identical scanners give two entries.
using DeviceIdList = std::vector<std::u16string>;

// Where discovery looks. Every member left empty means the machine's own
// place; tests and demos point them elsewhere.
struct DiscoveryPlaces {
    // The present devices (default: platform::listPresentDevices).
    std::function<bool(std::vector<platform::PresentDevice>&)> presentDevices;
    // The key below HKEY_CURRENT_USER that holds one subkey per product.
    std::u16string registryKey = u"Software\\Corvane";
    // The common application-data folder (default:
    // platform::commonAppDataFolder); "Corvane" below it holds the packages.
    std::function<std::u16string()> commonAppDataFolder;
    // The names of the SANE devices listed now (default: the loaded SDK's
    // list, scanner/sane_devices.h); false when SANE cannot be asked.
    std::function<bool(std::vector<std::u16string>&)> saneDevices;
};

class DriverDiscovery {
public:
    DriverDiscovery() = default;
    explicit DriverDiscovery(DiscoveryPlaces places);

    // Appends the device id of every present device of the maker; returns
    // the list's size afterwards.
    std::size_t listPresentDeviceIds(DeviceIdList& ids) const;

    // Fills drivers from the registry and then the folder; with no device
    // of the maker attached it reads neither. Then adds the SANE products
    // whose device SANE lists. Returns the map's size.
    std::size_t findInstalledDrivers(DriverMap& drivers) const;
    // Adds the registry's SANE products whose device SANE lists; returns
    // the map's size.
    std::size_t matchSaneDrivers(DriverMap& drivers) const;

    // Each adds the products found for ids that the map lacks and returns
    // the map's size.
    std::size_t matchDriversByRegistry(const DeviceIdList& ids, DriverMap& drivers) const;
    std::size_t matchDriversByFolder(const DeviceIdList& ids, DriverMap& drivers) const;

    // The device id a device contributes, or false when it is not one of
    // the maker's or its instance id cannot be read.
    static bool deviceIdOf(const platform::PresentDevice& device, std::u16string& id);

private:
    DiscoveryPlaces places_;
};
