// ScanDevice: a real scanner held open for an SDK handle, from
// dociva_OpenDriver to dociva_CloseDriver. Today the one kind is a SANE
// device (sane_device.cpp, built where SANE's headers are; elsewhere
// sane_device_none.cpp, which opens nothing).
//
// SANE itself (libsane.so.1, or the file $DOCIVA_SANE_LIBRARY names) is
// loaded when the first device opens or the devices are listed, and
// unloaded when the last user lets go, so the SDK loads and plays its
// virtual scanner on a machine without SANE.
//
// Thread safety: open and list from any thread. A device's startBatch and
// the page source it gives run on the handle's scan thread, one batch at a
// time; cancel may come from any thread at any time.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "device_description.h"
#include "page_source.h"
#include "scan_options.h"

namespace dociva_sdk {

// Error codes a device reports with DOCIVA_STATUS_SCAN_FAILED, after those
// of output_files.h.
enum DeviceErrorCode : int {
    kErrorPaperJam = 6,         // paper jammed in the feeder
    kErrorCancelledAtDevice = 7,  // the device cancelled the scan itself
    kErrorDevice = 8,           // any other failure the device reports
};

class ScanDevice {
public:
    virtual ~ScanDevice() = default;
    // The description with what the device tells of itself: sources,
    // duplex, largest area.
    virtual DeviceDescription describe(const DeviceDescription& written) const = 0;
    // Sets the device's options for one start and gives its pages; null
    // with the fault when the device cannot do what the options ask
    // (DOCIVA_STATUS_CAPABILITY_MISMATCH) or fails. May change options.dpi
    // to the resolution the device offers nearest to it.
    virtual std::unique_ptr<PageSource> startBatch(ScanOptions& options, DeviceFault& fault) = 0;
    // Ends a batch at once, also a read in progress; later reads end too.
    // The handle is closing.
    virtual void cancel() = 0;
    // Ends the running batch early without waiting for the device: a read
    // in progress or waiting for paper ends as cancelled, the page it was
    // reading is dropped. The next startBatch scans again.
    virtual void cancelBatch() = 0;
    // Whether the device has buttons pressedButtons can report.
    virtual bool hasButtons() const { return false; }
    // The buttons pressed since the last call, as ids 1..9; none while a
    // batch runs (the device is busy with it). Called a few times a second
    // from a thread of its own.
    virtual std::vector<int> pressedButtons() { return {}; }
};

// How long a SANE backend may take. A backend that has not ended a batch
// cancelWaitMs after being told to is given up on: the run ends with its
// status, and the handle is never touched again. A read that brings
// nothing for readLimitMs ends the page as a device gone (status 2).
struct SaneLimits {
    std::uint32_t cancelWaitMs = 20000;
    std::uint32_t readLimitMs = 120000;
};

// Opens the named SANE device; null with a reason for the debug output when
// SANE cannot be loaded or the device cannot be opened.
std::unique_ptr<ScanDevice> openSaneDevice(const std::u16string& name, const SaneLimits& limits,
                                           std::u16string& reason);

struct SaneDeviceEntry {
    std::u16string name;    // what sane_open takes, e.g. "test:0"
    std::u16string vendor;
    std::u16string model;
    std::u16string type;    // "flatbed scanner", "virtual device" ...
};

// The devices SANE lists now; false with a reason when SANE cannot be used.
bool listSaneDevices(std::vector<SaneDeviceEntry>& devices, std::u16string& reason);

}  // namespace dociva_sdk
