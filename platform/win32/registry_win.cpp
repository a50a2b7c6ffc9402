#include "platform/registry.h"

#include <windows.h>

#include <vector>

#include "platform/scoped_handle.h"
#include "platform/win32/handles.h"
#include "platform/win32/wide.h"

namespace platform {

namespace {

using ScopedKey = win32::ScopedRegKey;

// Windows key names are at most 255 units.
constexpr DWORD kMaxKeyNameUnits = 256;

}  // namespace

struct RegistryKey::Impl {
    ScopedKey key;
};

RegistryKey::RegistryKey() = default;
RegistryKey::RegistryKey(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
RegistryKey::~RegistryKey() = default;
RegistryKey::RegistryKey(RegistryKey&&) noexcept = default;
RegistryKey& RegistryKey::operator=(RegistryKey&&) noexcept = default;

RegistryKey RegistryKey::openCurrentUser(std::u16string_view path) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, win32::toWide(path).c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return RegistryKey();
    auto impl = std::make_unique<Impl>();
    impl->key.reset(key);
    return RegistryKey(std::move(impl));
}

bool RegistryKey::valid() const { return impl_ != nullptr; }

RegistryKey RegistryKey::openSubkey(std::u16string_view path) const {
    if (!impl_) return RegistryKey();
    HKEY key = nullptr;
    if (RegOpenKeyExW(impl_->key.get(), win32::toWide(path).c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return RegistryKey();
    auto impl = std::make_unique<Impl>();
    impl->key.reset(key);
    return RegistryKey(std::move(impl));
}

bool RegistryKey::subkeyName(std::uint32_t index, std::u16string& name, std::size_t maxUnits) const {
    if (!impl_) return false;
    wchar_t buffer[kMaxKeyNameUnits + 1] = {};
    DWORD units = kMaxKeyNameUnits + 1;
    if (RegEnumKeyExW(impl_->key.get(), index, buffer, &units, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
        return false;
    if (units > maxUnits) return false;
    name = win32::fromWide(std::wstring_view(buffer, units));
    return true;
}

bool RegistryKey::readString(std::u16string_view name, std::u16string& value, std::size_t maxUnits) const {
    if (!impl_) return false;
    // Room for maxUnits units and a terminator; a longer value does not fit
    // and is refused rather than cut.
    std::vector<wchar_t> buffer(maxUnits + 1, L'\0');
    DWORD type = 0;
    DWORD bytes = static_cast<DWORD>(buffer.size() * sizeof(wchar_t));
    if (RegQueryValueExW(impl_->key.get(), win32::toWide(name).c_str(), nullptr, &type,
                         reinterpret_cast<BYTE*>(buffer.data()), &bytes) != ERROR_SUCCESS)
        return false;
    if (type != REG_SZ && type != REG_EXPAND_SZ) return false;
    // Stored strings need not end with a terminator; the length is the
    // stored size up to the first terminator.
    std::size_t units = bytes / sizeof(wchar_t);
    for (std::size_t i = 0; i < units; ++i) {
        if (buffer[i] == L'\0') {
            units = i;
            break;
        }
    }
    if (units > maxUnits) return false;
    value = win32::fromWide(std::wstring_view(buffer.data(), units));
    return true;
}

bool writeRegistryString(std::u16string_view keyPath, std::u16string_view name, std::u16string_view value) {
    HKEY raw = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, win32::toWide(keyPath).c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &raw,
                        nullptr) != ERROR_SUCCESS)
        return false;
    ScopedKey key(raw);
    const std::wstring data = win32::toWide(value);
    const DWORD bytes = static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t));
    return RegSetValueExW(key.get(), win32::toWide(name).c_str(), 0, REG_SZ,
                          reinterpret_cast<const BYTE*>(data.c_str()), bytes) == ERROR_SUCCESS;
}

bool createRegistryKey(std::u16string_view keyPath) {
    HKEY raw = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, win32::toWide(keyPath).c_str(), 0, nullptr, 0, KEY_READ, nullptr, &raw,
                        nullptr) != ERROR_SUCCESS)
        return false;
    ScopedKey key(raw);
    return true;
}

bool deleteRegistryTree(std::u16string_view keyPath) {
    if (keyPath.find_first_not_of(u'\\') == std::u16string_view::npos) return false;
    const LSTATUS status = RegDeleteTreeW(HKEY_CURRENT_USER, win32::toWide(keyPath).c_str());
    if (status == ERROR_FILE_NOT_FOUND) return true;
    if (status != ERROR_SUCCESS) return false;
    // Older Windows versions leave the emptied key itself behind.
    const LSTATUS gone = RegDeleteKeyW(HKEY_CURRENT_USER, win32::toWide(keyPath).c_str());
    return gone == ERROR_SUCCESS || gone == ERROR_FILE_NOT_FOUND;
}

}  // namespace platform
