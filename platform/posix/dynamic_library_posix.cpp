#include "platform/dynamic_library.h"

#include <dlfcn.h>

#include "platform/posix/native_path.h"
#include "platform/text.h"

namespace platform {

void LibraryTraits::close(Handle h) noexcept { ::dlclose(h); }

bool DynamicLibrary::load(std::u16string_view path) {
    handle_.reset();
    if (path.empty()) return false;
    // RTLD_LOCAL keeps one library's symbols from resolving another's, as
    // separate DLLs would.
    handle_.reset(::dlopen(posix::toNativePath(path).c_str(), RTLD_NOW | RTLD_LOCAL));
    return handle_.valid();
}

bool DynamicLibrary::attachLoaded(std::u16string_view fileName) {
    handle_.reset();
    if (fileName.empty()) return false;
    // A bare name matches a loaded library's soname.
    handle_.reset(::dlopen(posix::toNativePath(fileName).c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NOLOAD));
    return handle_.valid();
}

void* DynamicLibrary::symbol(const char* name) const {
    if (!handle_ || !name) return nullptr;
    return ::dlsym(handle_.get(), name);
}

std::u16string DynamicLibrary::lastLoadError() {
    const char* e = ::dlerror();
    return e ? text::fromUtf8(e) : std::u16string();
}

}  // namespace platform
