#include "platform/module.h"

#include <windows.h>

#include "platform/path.h"
#include "platform/win32/module_win.h"
#include "platform/win32/wide.h"

namespace platform {

ModuleHandle currentModule() { return reinterpret_cast<ModuleHandle>(&currentModule); }

HMODULE win32::moduleHandleOf(ModuleHandle address) {
    if (!address) address = currentModule();
    HMODULE h = nullptr;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            static_cast<LPCWSTR>(address), &h))
        return nullptr;
    return h;
}

std::u16string moduleFileName(ModuleHandle module) {
    HMODULE h = win32::moduleHandleOf(module);
    if (!h) return {};
    std::wstring buf(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(h, buf.data(), static_cast<DWORD>(buf.size()));
        if (n == 0) return {};
        if (n < buf.size()) {
            buf.resize(n);
            return win32::fromWide(buf);
        }
        if (buf.size() >= 32768) return {};
        buf.resize(buf.size() * 2);
    }
}

std::u16string moduleFolder(ModuleHandle module) { return folderOf(moduleFileName(module)); }

void makeModuleFolderCurrent(std::u16string_view folder) {
    // The image toolkit is loaded by a relative name and so is found in the
    // module folder only while that folder is current.
    if (!folder.empty()) SetCurrentDirectoryW(win32::toWide(folder).c_str());
}

std::u16string currentDirectory() {
    const DWORD n = GetCurrentDirectoryW(0, nullptr);
    if (n == 0) return {};
    std::wstring buf(n, L'\0');
    const DWORD m = GetCurrentDirectoryW(n, buf.data());
    if (m == 0 || m >= n) return {};
    buf.resize(m);
    return win32::fromWide(buf);
}

bool setCurrentDirectory(std::u16string_view folder) {
    return SetCurrentDirectoryW(win32::toWide(folder).c_str()) != 0;
}

}  // namespace platform
