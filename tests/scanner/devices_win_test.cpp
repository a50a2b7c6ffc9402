// Windows only: SetupAPI under Wine lists no USB devices, so the test makes
// its own. A device created and registered through SetupAPI shows up as
// present with the hardware ids given to it; it is removed again at the end.
#include <windows.h>
#include <setupapi.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "platform/devices.h"
#include "scanner/driver_discovery.h"
#include "support/test_support.h"

namespace {

class FakeDevice {
public:
    FakeDevice(const std::wstring& instanceId, const std::vector<std::wstring>& hardwareIds)
        : list_(SetupDiCreateDeviceInfoList(nullptr, nullptr)) {
        data_.cbSize = sizeof(data_);
        // Any class will do; the image class suits a scanner.
        GUID imageClass = {0x6bdd1fc6, 0x810f, 0x11d0, {0xbe, 0xc7, 0x08, 0x00, 0x2b, 0xe2, 0x09, 0x2f}};
        if (list_ == INVALID_HANDLE_VALUE ||
            !SetupDiCreateDeviceInfoW(list_, instanceId.c_str(), &imageClass, nullptr, nullptr, 0, &data_))
            return;
        std::wstring multi;
        for (const auto& id : hardwareIds) multi += id + L'\0';
        multi += L'\0';
        created_ = SetupDiSetDeviceRegistryPropertyW(list_, &data_, SPDRP_HARDWAREID,
                                                     reinterpret_cast<const BYTE*>(multi.data()),
                                                     static_cast<DWORD>(multi.size() * sizeof(wchar_t))) &&
                   SetupDiRegisterDeviceInfo(list_, &data_, 0, nullptr, nullptr, nullptr);
    }
    ~FakeDevice() {
        if (created_) SetupDiRemoveDevice(list_, &data_);
        if (list_ != INVALID_HANDLE_VALUE) SetupDiDestroyDeviceInfoList(list_);
    }
    FakeDevice(const FakeDevice&) = delete;
    FakeDevice& operator=(const FakeDevice&) = delete;

    bool created() const { return created_; }

private:
    HDEVINFO list_;
    SP_DEVINFO_DATA data_{};
    bool created_ = false;
};

std::u16string u16(const std::wstring& s) { return std::u16string(s.begin(), s.end()); }

TEST(PresentDevices, WindowsSetupApi) {
    const std::wstring serial = L"DOCIVA" + std::to_wstring(std::random_device{}());
    const std::vector<std::wstring> small = {L"USB\\VID_5C3B&PID_7E57&REV_0100", L"USB\\VID_5C3B&PID_7E57"};
    // More than the first 8192-byte read holds, the maker's id last.
    std::vector<std::wstring> large;
    for (int i = 0; i < 300; ++i) large.push_back(L"USB\\VID_0000&PID_FILLER" + std::to_wstring(i));
    large.push_back(L"usb\\vid_5c3b&pid_7e58");

    FakeDevice a(L"USB\\VID_5C3B&PID_7E57\\" + serial, small);
    FakeDevice b(L"USB\\VID_5C3B&PID_7E58\\" + serial, large);
    if (!a.created() || !b.created()) GTEST_SKIP() << "SetupAPI would not create a device here";

    std::vector<platform::PresentDevice> devices;
    ASSERT_TRUE(platform::listPresentDevices(devices));
    const auto find = [&](const std::wstring& instanceId) -> const platform::PresentDevice* {
        for (const auto& d : devices) {
            if (d.hasInstanceId && d.instanceId == u16(instanceId)) return &d;
        }
        return nullptr;
    };
    const auto* first = find(L"USB\\VID_5C3B&PID_7E57\\" + serial);
    const auto* second = find(L"USB\\VID_5C3B&PID_7E58\\" + serial);
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(first->hardwareIds, (std::vector<std::u16string>{u16(small[0]), u16(small[1])}));
    ASSERT_EQ(second->hardwareIds.size(), large.size());
    EXPECT_EQ(second->hardwareIds.back(), u16(large.back()));

    DeviceIdList ids;
    DriverDiscovery().listPresentDeviceIds(ids);
    EXPECT_NE(std::find(ids.begin(), ids.end(), u"VID_5C3B&PID_7E57"), ids.end());
    EXPECT_NE(std::find(ids.begin(), ids.end(), u"VID_5C3B&PID_7E58"), ids.end());
}

}  // namespace
