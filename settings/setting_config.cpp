#include "settings/setting_config.h"

#include "platform/private_profile.h"
#include "settings/folders.h"

namespace {
constexpr char16_t kSection[] = u"settings";
}

CSettingConfig::CSettingConfig(const char16_t* path, platform::ModuleHandle mod)
    : module(mod ? mod : platform::currentModule()) {
    iniPath = locateConfigFile(path, module, u"settings.ini");
}

CSettingConfig::~CSettingConfig() = default;

void CSettingConfig::read(const char16_t* key, char16_t* buffer, std::uint32_t size) const {
    if (!buffer || size == 0) return;
    if (iniPath.empty()) {
        buffer[0] = 0;
        return;
    }
    platform::getPrivateProfileString(kSection, key, u"", buffer, size, iniPath.c_str());
}

bool CSettingConfig::write(const char16_t* key, const char16_t* value) {
    if (!value || iniPath.empty()) return false;
    return platform::writePrivateProfileString(kSection, key, value, iniPath.c_str());
}

void CSettingConfig::getProfile(char16_t* buffer, std::uint32_t size) const { read(u"Profile", buffer, size); }
void CSettingConfig::getScannerName(char16_t* buffer, std::uint32_t size) const { read(u"ScannerName", buffer, size); }
bool CSettingConfig::setProfile(const char16_t* value) { return write(u"Profile", value); }
bool CSettingConfig::setScannerName(const char16_t* value) { return write(u"ScannerName", value); }
