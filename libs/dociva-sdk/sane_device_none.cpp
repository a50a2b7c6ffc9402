// Builds without SANE's headers (the Windows build): no SANE device opens,
// and the virtual scanner is all the SDK plays.
#include "scan_device.h"

namespace dociva_sdk {

std::unique_ptr<ScanDevice> openSaneDevice(const std::u16string& name, const SaneLimits&, std::u16string& reason) {
    reason = u"this build of the SDK has no SANE support (device " + name + u")";
    return nullptr;
}

bool listSaneDevices(std::vector<SaneDeviceEntry>&, std::u16string& reason) {
    reason = u"this build of the SDK has no SANE support";
    return false;
}

}  // namespace dociva_sdk
