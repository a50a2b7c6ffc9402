#include "platform/devices.h"

#include <windows.h>
#include <setupapi.h>

#include <algorithm>
#include <vector>

#include "platform/scoped_handle.h"
#include "platform/win32/wide.h"

namespace platform {

namespace {

struct DeviceListTraits {
    using Handle = HDEVINFO;
    static Handle invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static void close(Handle h) noexcept { SetupDiDestroyDeviceInfoList(h); }
};
using ScopedDeviceList = ScopedHandle<DeviceListTraits>;

constexpr DWORD kFirstHardwareIdBytes = 8192;
constexpr DWORD kMaxInstanceIdUnits = 200;

// The multi-string's entries up to its empty one (or the end of the data).
std::vector<std::u16string> splitMultiString(const std::vector<wchar_t>& data, std::size_t units) {
    std::vector<std::u16string> out;
    std::size_t start = 0;
    while (start < units && data[start] != L'\0') {
        std::size_t end = start;
        while (end < units && data[end] != L'\0') ++end;
        out.push_back(win32::fromWide(std::wstring_view(data.data() + start, end - start)));
        start = end + 1;
    }
    return out;
}

std::vector<std::u16string> hardwareIds(HDEVINFO list, SP_DEVINFO_DATA& device) {
    std::vector<wchar_t> buffer(kFirstHardwareIdBytes / sizeof(wchar_t), L'\0');
    DWORD type = 0;
    DWORD required = 0;
    BOOL ok = SetupDiGetDeviceRegistryPropertyW(list, &device, SPDRP_HARDWAREID, &type,
                                                reinterpret_cast<BYTE*>(buffer.data()),
                                                static_cast<DWORD>(buffer.size() * sizeof(wchar_t)), &required);
    if (!ok && GetLastError() == ERROR_INSUFFICIENT_BUFFER && type == REG_MULTI_SZ && required > 0) {
        buffer.assign(required / sizeof(wchar_t) + 1, L'\0');
        ok = SetupDiGetDeviceRegistryPropertyW(list, &device, SPDRP_HARDWAREID, &type,
                                               reinterpret_cast<BYTE*>(buffer.data()),
                                               static_cast<DWORD>(buffer.size() * sizeof(wchar_t)), &required);
    }
    if (!ok || type != REG_MULTI_SZ) return {};
    const std::size_t units = std::min<std::size_t>(required / sizeof(wchar_t), buffer.size());
    return splitMultiString(buffer, units);
}

}  // namespace

bool listPresentDevices(std::vector<PresentDevice>& devices) {
    ScopedDeviceList list(SetupDiGetClassDevsW(nullptr, nullptr, nullptr, DIGCF_PRESENT | DIGCF_ALLCLASSES));
    if (!list) return false;
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof(device);
    for (DWORD index = 0; SetupDiEnumDeviceInfo(list.get(), index, &device); ++index) {
        PresentDevice present;
        present.hardwareIds = hardwareIds(list.get(), device);
        wchar_t id[kMaxInstanceIdUnits + 1] = {};
        DWORD units = 0;
        if (SetupDiGetDeviceInstanceIdW(list.get(), &device, id, kMaxInstanceIdUnits + 1, &units)) {
            present.instanceId = win32::fromWide(id);
            present.hasInstanceId = true;
        }
        devices.push_back(std::move(present));
    }
    return true;
}

}  // namespace platform
