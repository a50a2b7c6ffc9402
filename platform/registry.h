// The per-user registry (HKEY_CURRENT_USER): keys named by paths whose
// parts are separated by backslashes, each holding string values. Key and
// value names compare without regard to ASCII case, as in the Windows
// registry.
//
// Windows: the registry itself (advapi32). Linux: a folder tree. Its root
// is $DOCIVA_REGISTRY, else ${XDG_CONFIG_HOME:-~/.config}/dociva/registry;
// the folder HKEY_CURRENT_USER below it is the hive, every key is a folder
// and a key's values are the "name=value" lines (UTF-8) of the file
// "values" inside it. Subkeys are listed in name order, ignoring case.
// There a key cannot be named "values", ".", ".." or contain a slash.
//
// Thread safety: any thread. One RegistryKey object is used by one thread
// at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace platform {

// A key open for reading; closed when the object goes away.
class RegistryKey {
public:
    RegistryKey();
    ~RegistryKey();
    RegistryKey(RegistryKey&&) noexcept;
    RegistryKey& operator=(RegistryKey&&) noexcept;
    RegistryKey(const RegistryKey&) = delete;
    RegistryKey& operator=(const RegistryKey&) = delete;

    // Opens path below HKEY_CURRENT_USER; an invalid key when it does not
    // exist or cannot be read.
    static RegistryKey openCurrentUser(std::u16string_view path);

    bool valid() const;

    // Opens path below this key (an invalid key when this one is invalid).
    RegistryKey openSubkey(std::u16string_view path) const;

    // The name of the subkey at index. False when there is none: listing
    // by index from 0 until the first false visits every subkey once.
    // A name longer than maxUnits also gives false.
    bool subkeyName(std::uint32_t index, std::u16string& name, std::size_t maxUnits) const;

    // A string value. False when it is missing, not a string, or longer
    // than maxUnits (nothing is cut).
    bool readString(std::u16string_view name, std::u16string& value, std::size_t maxUnits) const;

private:
    struct Impl;
    explicit RegistryKey(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

// Writes a string value, creating the key and its parents as needed.
// For installers, tests and demos; the component itself only reads.
bool writeRegistryString(std::u16string_view keyPath, std::u16string_view name, std::u16string_view value);
// Creates the key and its parents (no values).
bool createRegistryKey(std::u16string_view keyPath);
// Removes the key with everything below it. True when it is gone.
bool deleteRegistryTree(std::u16string_view keyPath);

}  // namespace platform
