#include "platform/dynamic_library.h"

#include <windows.h>

#include "platform/text.h"
#include "platform/win32/wide.h"

namespace platform {

void LibraryTraits::close(Handle h) noexcept { FreeLibrary(static_cast<HMODULE>(h)); }

bool DynamicLibrary::load(std::u16string_view path) {
    handle_.reset();
    if (path.empty()) return false;
    handle_.reset(LoadLibraryW(win32::toWide(path).c_str()));
    return handle_.valid();
}

bool DynamicLibrary::attachLoaded(std::u16string_view fileName) {
    handle_.reset();
    if (fileName.empty()) return false;
    // Counted, so that the owner's FreeLibrary balances it.
    HMODULE module = nullptr;
    if (!GetModuleHandleExW(0, win32::toWide(fileName).c_str(), &module)) return false;
    handle_.reset(module);
    return true;
}

void* DynamicLibrary::symbol(const char* name) const {
    if (!handle_ || !name) return nullptr;
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle_.get()), name));
}

std::u16string DynamicLibrary::lastLoadError() {
    return text::format(u"error %u", static_cast<unsigned>(GetLastError()));
}

}  // namespace platform
