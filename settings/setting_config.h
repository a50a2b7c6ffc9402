// CSettingConfig: the application settings file settings.ini, which
// remembers the profile and the scanner in use between sessions.
//
// Thread safety: one thread at a time (the control's window thread).
#pragma once

#include <cstdint>
#include <string>

#include "platform/module.h"

class CSettingConfig {
public:
    // path null: settings.ini in the module folder. module null: the module
    // that holds this code.
    explicit CSettingConfig(const char16_t* path = nullptr, platform::ModuleHandle module = nullptr);
    virtual ~CSettingConfig();

    const std::u16string& path() const { return iniPath; }

    void getProfile(char16_t* buffer, std::uint32_t size) const;
    void getScannerName(char16_t* buffer, std::uint32_t size) const;
    bool setProfile(const char16_t* value);
    bool setScannerName(const char16_t* value);

private:
    void read(const char16_t* key, char16_t* buffer, std::uint32_t size) const;
    bool write(const char16_t* key, const char16_t* value);

    std::u16string iniPath;
    platform::ModuleHandle module;
};
