// The virtual duplex scanner installed and attached for one test (Windows,
// under Wine): a present USB device made through SetupAPI (Wine lists none
// of its own), a product key of its own below
// HKEY_CURRENT_USER\Software\Corvane with the device's VxD key, and a
// package folder below the common application data holding Root.ini and
// the driver's module.ini. Every name carries the test's label and a
// random tag, so tests side by side in one Wine prefix never meet; all of
// it goes at the end.
#pragma once

#include <windows.h>
#include <setupapi.h>

#include <string>
#include <string_view>

namespace testing_support {

class AttachedScanner {
public:
    static constexpr const wchar_t* kDeviceId = L"VID_5C3B&PID_012C";

    // label: a short word naming the tests that use it ("COM", "Plugin").
    explicit AttachedScanner(std::wstring_view label);
    ~AttachedScanner();
    AttachedScanner(const AttachedScanner&) = delete;
    AttachedScanner& operator=(const AttachedScanner&) = delete;

    bool installed() const { return installed_; }
    bool attached() const { return attached_; }
    const std::wstring& product() const { return product_; }
    std::wstring driver() const { return package_ + L"\\driver"; }

private:
    bool writeDriver();
    bool writeRegistry();
    void attach();

    std::wstring label_;
    std::wstring tag_;
    std::wstring product_;
    std::wstring productKey_;
    std::wstring package_;
    HDEVINFO list_;
    SP_DEVINFO_DATA device_{};
    bool installed_ = false;
    bool attached_ = false;
};

}  // namespace testing_support
