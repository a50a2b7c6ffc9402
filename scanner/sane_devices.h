// The SANE devices the SDK in this process can open as drivers, asked of
// the SDK itself (its optional dociva_ListSaneDevices, looked up at run
// time): SANE keeps one session per process, and the SDK owns it, so
// nothing else here loads SANE. An SDK without the call lists none.
//
// Thread safety: any thread.
#pragma once

#include <string>
#include <vector>

struct SaneDeviceLine {
    std::u16string name;  // what the SDK's module.ini takes as device=
    std::u16string vendor;
    std::u16string model;
    std::u16string type;
};

// False when the SDK is not loaded, lacks the call or cannot use SANE.
bool listSaneDevicesOfSdk(std::vector<SaneDeviceLine>& devices);

// The lines of the SDK's list ("NAME\tVENDOR\tMODEL\tTYPE\n" each); lines
// without a name are skipped.
std::vector<SaneDeviceLine> parseSaneDeviceList(std::u16string_view list);
