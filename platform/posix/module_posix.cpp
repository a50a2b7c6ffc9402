#include "platform/module.h"

#include <dlfcn.h>
#include <limits.h>
#include <link.h>
#include <stdlib.h>
#include <unistd.h>

#include <string>

#include "platform/path.h"
#include "platform/posix/native_path.h"

namespace platform {

namespace {

int firstObjectBase(struct dl_phdr_info* info, size_t, void* data) {
    // The loader lists the main program first.
    *static_cast<ElfW(Addr)*>(data) = info->dlpi_addr;
    return 1;
}

std::string executablePath() {
    char buf[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) return {};
    return std::string(buf, static_cast<std::size_t>(n));
}

}  // namespace

ModuleHandle currentModule() { return reinterpret_cast<ModuleHandle>(&currentModule); }

std::u16string moduleFileName(ModuleHandle module) {
    if (!module) module = currentModule();
    Dl_info info{};
    if (dladdr(module, &info) == 0 || !info.dli_fname) return {};
    // For the main program the loader reports argv[0], which may be
    // relative to a directory the process has since left.
    ElfW(Addr) mainBase = 0;
    dl_iterate_phdr(firstObjectBase, &mainBase);
    std::string name;
    if (reinterpret_cast<ElfW(Addr)>(info.dli_fbase) == mainBase || info.dli_fname[0] == '\0') {
        name = executablePath();
    } else {
        char resolved[PATH_MAX];
        name = realpath(info.dli_fname, resolved) ? resolved : info.dli_fname;
    }
    return posix::fromNativePath(name);
}

std::u16string moduleFolder(ModuleHandle module) { return folderOf(moduleFileName(module)); }

void makeModuleFolderCurrent(std::u16string_view) {}

std::u16string currentDirectory() {
    char buf[PATH_MAX];
    if (!getcwd(buf, sizeof buf)) return {};
    return posix::fromNativePath(buf);
}

bool setCurrentDirectory(std::u16string_view folder) {
    if (chdir(posix::toNativePath(folder).c_str()) != 0) {
        posix::rememberErrno();
        return false;
    }
    return true;
}

}  // namespace platform
