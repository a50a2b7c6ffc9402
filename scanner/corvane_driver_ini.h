// The two INI files of an installed driver package:
//  - Root.ini (in the package folder) names the product and its driver
//    directory with the keys "PRODUCT NAME" and "SYSTEM DIRECTORY", in
//    any section;
//  - module.ini (in the driver directory) holds the scanner's USB ids in
//    section "system", key "scannerid": vendor and product as two decimal
//    numbers separated by a comma.
//
// Thread safety: as CConfigImpl.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "settings/config_impl.h"

class CCorvaneDriverRootIni : public CConfigImpl {
public:
    // The section names are listed once, here.
    explicit CCorvaneDriverRootIni(const char16_t* path);

    // True when the file names exactly one product and exactly one
    // directory; each value is copied into its buffer, cut to capacity - 1.
    // The values are taken as they stand (a "\n" inside a Windows path is
    // a folder name, not a line break).
    bool getProductAndDirectory(char16_t* product, std::size_t productCapacity, char16_t* directory,
                                std::size_t directoryCapacity) const;

private:
    std::vector<std::u16string> sections_;
};

class CCorvaneDriverModuleIni : public CConfigImpl {
public:
    explicit CCorvaneDriverModuleIni(const char16_t* path);

    // Sets vendor and product only when "scannerid" holds exactly two
    // numbers; returns whether it did.
    bool getScannerId(int& vendor, int& product) const;
};
