// The devices attached to the machine right now, as the device installation
// service reports them.
//
// Windows: SetupAPI, every present device of every class on the local
// machine. Linux: the USB devices under sysfs ($DOCIVA_SYSFS_ROOT, else
// /sys, then bus/usb/devices/*), each described the way Windows describes
// a USB device: hardware id "USB\VID_xxxx&PID_xxxx" and instance id
// "USB\VID_xxxx&PID_xxxx\<serial>" (the port path, such as "1-2", when the
// device has no serial number); xxxx are upper-case hexadecimal digits.
//
// Thread safety: any thread; nothing is kept between calls.
#pragma once

#include <string>
#include <vector>

namespace platform {

struct PresentDevice {
    // The hardware-id list in the service's order; empty when it could not
    // be read.
    std::vector<std::u16string> hardwareIds;
    // The device instance id; only meaningful when hasInstanceId is true
    // (a device whose instance id cannot be read, or is longer than 200
    // units, has none).
    std::u16string instanceId;
    bool hasInstanceId = false;
};

// Appends every present device in enumeration order. False, with nothing
// appended, when the enumeration cannot be started.
bool listPresentDevices(std::vector<PresentDevice>& devices);

}  // namespace platform
