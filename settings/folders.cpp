#include "settings/folders.h"

#include "platform/files.h"
#include "platform/path.h"
#include "platform/text.h"

std::u16string moduleDirectory(platform::ModuleHandle module) {
    return platform::moduleFolder(module ? module : platform::currentModule());
}

std::u16string profilesDirectory(platform::ModuleHandle module) {
    const std::u16string folder = moduleDirectory(module);
    if (folder.empty()) return {};
    return folder + u"profiles" + platform::nativeSeparator();
}

std::u16string locateConfigFile(const char16_t* path, platform::ModuleHandle module, std::u16string_view defaultName) {
    const std::u16string folder = moduleDirectory(module);
    platform::makeModuleFolderCurrent(folder);

    std::u16string result;
    if (!path || !path[0]) {
        result = text::format(u"%s%s", folder, defaultName);
    } else {
        std::u16string p(text::view(path));
        if (p.size() > platform::kMaxPathUnits) return {};
        if (!p.empty() && p.front() == u'"') p.erase(0, 1);
        if (!p.empty() && p.back() == u'"') p.pop_back();
        if (platform::isDirectory(p)) {
            if (!p.empty() && platform::isPathSeparator(p.back()))
                result = text::format(u"%s%s", p, defaultName);
            else
                result = text::format(u"%s%c%s", p, platform::nativeSeparator(), defaultName);
        } else if (platform::hasDrive(p)) {
            result = p;
        } else {
            result = text::format(u"%s%s", folder, p);
        }
    }
    if (result.size() > platform::kMaxPathUnits) return {};
    return result;
}
