#include "support/attached_scanner_win.h"

#include <filesystem>
#include <random>

#include "platform/system.h"
#include "platform/win32/wide.h"
#include "support/test_support.h"

namespace testing_support {

namespace {

std::string narrow(std::wstring_view s) { return utf8(platform::win32::fromWide(s)); }

bool write(const std::wstring& path, std::string_view text) {
    return writeBytes(platform::win32::fromWide(path), text);
}

bool setText(HKEY key, const wchar_t* name, const std::wstring& value) {
    return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                          static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
}

class RegKey {
public:
    RegKey() = default;
    RegKey(const RegKey&) = delete;
    RegKey& operator=(const RegKey&) = delete;
    ~RegKey() {
        if (key_) RegCloseKey(key_);
    }
    HKEY get() const { return key_; }
    HKEY* put() { return &key_; }

private:
    HKEY key_ = nullptr;
};

}  // namespace

AttachedScanner::AttachedScanner(std::wstring_view label)
    : label_(label),
      tag_(std::to_wstring(std::random_device{}())),
      product_(L"Dociva " + label_ + L" Test " + tag_),
      productKey_(L"Software\\Corvane\\dociva-test-" + label_ + L"-" + tag_),
      package_(platform::win32::toWide(platform::commonAppDataFolder()) + L"\\Corvane\\dociva-test-" + label_ + L"-" +
               tag_),
      list_(SetupDiCreateDeviceInfoList(nullptr, nullptr)) {
    device_.cbSize = sizeof(device_);
    installed_ = writeDriver() && writeRegistry();
    if (installed_) attach();
}

AttachedScanner::~AttachedScanner() {
    if (attached_) SetupDiRemoveDevice(list_, &device_);
    if (list_ != INVALID_HANDLE_VALUE) SetupDiDestroyDeviceInfoList(list_);
    RegDeleteTreeW(HKEY_CURRENT_USER, productKey_.c_str());
    std::error_code ec;
    std::filesystem::remove_all(std::filesystem::path(package_), ec);
}

bool AttachedScanner::writeDriver() {
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(driver()), ec);
    if (ec) return false;
    const std::string name = narrow(product_);
    const std::string dir = narrow(driver());
    // Short: no warm-up, one feeder of four sheets.
    return write(package_ + L"\\Root.ini", "[Product]\r\nPRODUCT NAME=" + name + "\r\nSYSTEM DIRECTORY=" + dir + "\r\n") &&
           write(driver() + L"\\module.ini",
                 "[system]\r\nscannerid=23611,300\r\n"
                 "[device]\r\nsource=1\r\nmaxWidth=8.5\r\nmaxHeight=14\r\nmaxLength=100\r\nduplex=1\r\n"
                 "overscan=1\r\nmultiPage=1\r\nwarmupMs=0\r\npagesPerBatch=4\r\ninput=\r\n");
}

bool AttachedScanner::writeRegistry() {
    RegKey key;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, productKey_.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, key.put(),
                        nullptr) != ERROR_SUCCESS)
        return false;
    RegKey vxd;
    return setText(key.get(), L"PRODUCT NAME", product_) && setText(key.get(), L"SYSTEM DIRECTORY", driver()) &&
           RegCreateKeyExW(key.get(), (std::wstring(L"VxD\\") + kDeviceId).c_str(), 0, nullptr, 0, KEY_WRITE, nullptr,
                           vxd.put(), nullptr) == ERROR_SUCCESS;
}

void AttachedScanner::attach() {
    // Any class will do; the image class suits a scanner.
    GUID imageClass = {0x6bdd1fc6, 0x810f, 0x11d0, {0xbe, 0xc7, 0x08, 0x00, 0x2b, 0xe2, 0x09, 0x2f}};
    const std::wstring instance = std::wstring(L"USB\\") + kDeviceId + L"\\DOCIVA" + label_ + tag_;
    if (list_ == INVALID_HANDLE_VALUE ||
        !SetupDiCreateDeviceInfoW(list_, instance.c_str(), &imageClass, nullptr, nullptr, 0, &device_))
        return;
    std::wstring ids = std::wstring(L"USB\\") + kDeviceId + L"&REV_0100" + L'\0';
    ids += std::wstring(L"USB\\") + kDeviceId + L'\0' + L'\0';
    attached_ = SetupDiSetDeviceRegistryPropertyW(list_, &device_, SPDRP_HARDWAREID,
                                                  reinterpret_cast<const BYTE*>(ids.data()),
                                                  static_cast<DWORD>(ids.size() * sizeof(wchar_t))) &&
                SetupDiRegisterDeviceInfo(list_, &device_, 0, nullptr, nullptr, nullptr);
}

}  // namespace testing_support
