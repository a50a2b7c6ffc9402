// One scan run on the SDK's thread, from the settings to the last event:
//   warm-up notices (type 0) when the lamp is cold, type 2 with the number
//   of sides, one type 3 of 1 per side and a type 3 of 0, type 4 (paper
//   end), then one type 7 per file written, type 5, status 0 (with the
//   button id of a button start) and type 6.
// A run that cannot scan reports its status (5 busy is the caller's; 6
// capability, 7 no paper, 12 scan failed with an error code, or what a
// real device reports: scan_device.h) followed by type 6 alone, so the
// owner's run always ends; a failed run leaves no file behind and
// announces none. A run the owner cancels (dociva_CancelScan) stops before
// its next side (a warm-up or a device's read at once), finishes and
// announces the files of the sides it has (type 7 each), then reports
// status 13 and type 6. A device that cannot tell how many sides its feeder
// holds gives type 2 a 0.
//
// Thread safety: runs on one thread; the host's calls are its own.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "device_description.h"
#include "scan_device.h"
#include "settings/scan_settings.h"

namespace dociva_sdk {

// What the run reports through, and how it learns that it must stop.
class RunHost {
public:
    virtual ~RunHost() = default;
    virtual void status(int code, int* data) = 0;
    virtual void event(int type, void* data, int value) = 0;
    // Waits up to ms; false when the run must stop (the handle is closing,
    // or the owner cancelled the run).
    virtual bool pause(std::uint32_t ms) = 0;
    virtual bool stopping() = 0;
    // The owner asked the run to end early (pause then returns false too).
    virtual bool cancelled() { return false; }
    // Called once every side is in: from now on a cancel is refused and the
    // run ends as usual. False when a cancel came first.
    virtual bool beginFinishing() { return true; }
};

struct RunRequest {
    // Either a profile to read, or the settings as received.
    std::optional<std::u16string> profilePath;
    ScanSettings settings;
    std::optional<int> buttonId;
    bool warmUp = false;
};

// The pages come from scanner when there is one (a real device), else from
// the virtual scanner device describes.
void runScan(const DeviceDescription& device, const RunRequest& request, RunHost& host,
             ScanDevice* scanner = nullptr);

// The settings of a button start: a reset record with the profile file
// applied, as the control would apply it.
ScanSettings settingsFromProfile(const std::u16string& profilePath);

}  // namespace dociva_sdk
