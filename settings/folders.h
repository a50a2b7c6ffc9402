// The two folders relative names are resolved against, and the rule that
// turns a caller's file name into the INI file the component uses.
//
// Thread safety: any thread (on Windows locateConfigFile changes the
// process's current directory, as the image toolkit's loading relies on).
#pragma once

#include <string>
#include <string_view>

#include "platform/module.h"

// The folder of the module that holds the code (null: the caller's
// module), ending with a separator; "" when the platform cannot tell.
std::u16string moduleDirectory(platform::ModuleHandle module = nullptr);

// The module folder followed by "profiles" and a separator.
std::u16string profilesDirectory(platform::ModuleHandle module = nullptr);

// Resolves the file a settings object binds to:
//  - the module folder becomes the current directory (Windows only);
//  - null or empty path: module folder + defaultName;
//  - one leading and one trailing double quote are dropped;
//  - an existing folder gets defaultName appended;
//  - a path with a drive (absolute on Linux) is used as it is;
//  - anything else is taken relative to the module folder.
// The result must fit in 259 units; a longer one names a file other than
// the caller's, so "" (no file) is returned instead of a cut path.
std::u16string locateConfigFile(const char16_t* path, platform::ModuleHandle module, std::u16string_view defaultName);

// A folder the component writes into (the output folder) as a page or a
// profile names it: a path with a drive is used as it is, anything else is
// taken relative to the module folder, as profiles are, never to the host's
// current folder (a browser's). "" when the result would not fit in 259
// units; an empty path stays empty.
std::u16string resolveInModuleFolder(std::u16string_view path, platform::ModuleHandle module = nullptr);

// Whether the profile writers (SaveProfile, ExportProfile) may write into
// the file at path, as locateConfigFile resolved it. They may write:
//  - the default profile, dociva.ini in the module folder;
//  - a file named *.ini directly inside the profiles folder;
//  - an existing regular file named *.ini that already is a profile (it
//    holds a [ScanParams] section).
// Nothing else: a page that selects some other file as its profile must not
// be able to write INI text into it (a shell's start-up file, a folder's
// new dociva.ini). Paths are compared after lexicallyNormal, so ".." cannot
// lead out of the profiles folder.
bool isWritableProfile(std::u16string_view path, platform::ModuleHandle module = nullptr);
