#include "settings/folders.h"

#include "platform/files.h"
#include "platform/path.h"
#include "platform/text.h"
#include "settings/config_impl.h"

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

std::u16string resolveInModuleFolder(std::u16string_view path, platform::ModuleHandle module) {
    if (path.empty()) return {};
    std::u16string result = platform::hasDrive(path) ? std::u16string(path) : moduleDirectory(module) + std::u16string(path);
    if (!platform::hasDrive(result)) return {};  // no module folder to resolve against
    result = platform::lexicallyNormal(result);
    if (result.size() > platform::kMaxPathUnits) return {};
    return result;
}

bool isWritableProfile(std::u16string_view path, platform::ModuleHandle module) {
    if (path.empty() || !platform::hasDrive(path)) return false;
    const std::u16string file = platform::lexicallyNormal(path);
    const std::u16string name = platform::fileNameOf(file);
    if (name.size() <= 4 || !text::equalsIgnoreAsciiCase(name.substr(name.size() - 4), u".ini")) return false;
    const std::u16string folder = moduleDirectory(module);
    if (folder.empty()) return false;
    if (text::equalsIgnoreAsciiCase(file, platform::lexicallyNormal(folder + u"dociva.ini"))) return true;
    if (text::equalsIgnoreAsciiCase(platform::lexicallyNormal(platform::folderOf(file)),
                                    platform::lexicallyNormal(profilesDirectory(module))))
        return true;
    if (!platform::pathExists(file) || platform::isDirectory(file)) return false;
    std::vector<std::u16string> sections;
    CConfigImpl(file.c_str()).getSectionNames(sections);
    for (const auto& section : sections)
        if (text::equalsIgnoreAsciiCase(section, u"ScanParams")) return true;
    return false;
}
