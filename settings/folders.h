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
