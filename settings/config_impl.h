// CConfigImpl: typed access to one INI file through the platform's
// private-profile calls. No file stays open between calls, so every call
// sees the file as it is now. The driver description files derive from it.
//
// Thread safety: an object may be used from one thread at a time; several
// objects on the same file may be used from any threads.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class CConfigImpl {
public:
    CConfigImpl() = default;
    // A path longer than 259 units would name another file once cut; such
    // an object is bound to no file.
    explicit CConfigImpl(const char16_t* path);
    virtual ~CConfigImpl();

    CConfigImpl(const CConfigImpl&) = default;
    CConfigImpl& operator=(const CConfigImpl&) = default;

    const std::u16string& path() const { return iniPath; }

    // Reads at most size - 1 units into buffer (defaultValue null means ""),
    // turning each backslash + 'n' into a line feed. Does nothing without a
    // file, with a null section, key or buffer, or with size 0.
    void getString(const char16_t* section, const char16_t* key, char16_t* buffer, std::uint32_t size,
                   const char16_t* defaultValue) const;
    // The same into a string, reading at most maxUnits units.
    std::u16string getString(const char16_t* section, const char16_t* key, const char16_t* defaultValue,
                             std::uint32_t maxUnits = 259) const;
    // The value as stored, without the line-break expansion, at most
    // maxUnits units: for paths, which are never multi-line texts (the
    // folder "C:\\new" must not become "C:" and a line "ew").
    std::u16string getRawString(const char16_t* section, const char16_t* key, const char16_t* defaultValue,
                                std::uint32_t maxUnits = 259) const;
    int getInt(const char16_t* section, const char16_t* key, int defaultValue) const;
    bool getBool(const char16_t* section, const char16_t* key, bool defaultValue) const;

    bool setString(const char16_t* section, const char16_t* key, const char16_t* value);
    bool setInt(const char16_t* section, const char16_t* key, int value);
    bool setBool(const char16_t* section, const char16_t* key, bool value);
    bool setDouble(const char16_t* section, const char16_t* key, double value);

    // Every section name in file order.
    void getSectionNames(std::vector<std::u16string>& names) const;
    // For each entry of the section in file order, the text before its
    // first '=' (an entry that starts with '=' gives the text after it).
    void getSectionKeys(const char16_t* section, std::vector<std::u16string>& keys) const;

protected:
    std::u16string iniPath;
};
