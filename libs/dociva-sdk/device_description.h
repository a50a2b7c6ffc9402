// DeviceDescription: the scanner a driver directory describes, read from
// the [device] section of its module.ini. Every number must be written as
// a plain decimal (no trailing text); a description that lacks a required
// key or holds an impossible value does not open.
//
// Two kinds: the virtual scanner (no backend key), whose every property is
// written in the section, and a SANE device (backend=sane, device=the name
// SANE gives it), whose properties come from the device itself once it is
// open (withDeviceProperties); the section's sizes are then optional.
//
// Thread safety: plain data once read.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "scanner/dociva_sdk.h"

namespace dociva_sdk {

enum class Backend { Virtual, Sane };

struct DeviceDescription {
    std::u16string driverDirectory;
    Backend backend = Backend::Virtual;
    std::u16string saneDevice;  // the SANE device name (backend Sane)
    // How long a SANE backend may take to end a batch (sane_cancel) before
    // the run gives up on it and ends with its status (backend Sane).
    std::uint32_t cancelWaitMs = 20000;
    // How long a read may bring nothing before the device counts as gone
    // (backend Sane); long enough for a lamp to warm up.
    std::uint32_t readLimitMs = 120000;
    bool sheetFed = false;   // source: 0 flatbed, 1 sheet-fed
    // A device may offer both a flatbed and a feeder (SANE devices often
    // do); the virtual scanner has exactly the one its source names.
    bool hasFlatbed = true;
    bool hasFeeder = false;
    double maxWidth = 0.0;   // inches
    double maxHeight = 0.0;
    double maxLength = 0.0;  // long paper, 0 = none
    bool duplex = false;
    bool overscan = false;
    bool multiPage = false;
    std::uint32_t warmupMs = 0;
    std::uint32_t pagesPerBatch = 1;  // sheets per start
    // A device that is not ready (offline, cover open) refuses every start.
    bool ready = true;
    // Folder of page images (absolute, or made so against the driver
    // directory); empty: pages are generated.
    std::u16string inputFolder;
    // 1-based sides of a generated batch that come out blank.
    std::u16string blankPages;

    SourceCapability capability() const;
};

// Reads driverDirectory/module.ini; nothing when the folder, the file, the
// [device] section or a required key (source, maxWidth, maxHeight; for a
// SANE device only device) is missing, the backend is unknown, or any value
// is malformed or out of range.
std::optional<DeviceDescription> readDeviceDescription(std::u16string_view driverDirectory);

// Strict decimal readers for description values: optional blanks around,
// an optional minus sign, digits, and for reals one optional fraction.
std::optional<std::int64_t> parseStrictInt(std::u16string_view text);
std::optional<double> parseStrictReal(std::u16string_view text);

}  // namespace dociva_sdk
