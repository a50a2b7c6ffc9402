// A shared library loaded at run time (LoadLibraryW / dlopen), freed when
// its owner goes away.
//
// Thread safety: one owner; symbol() may be called from any thread while
// the library is loaded.
#pragma once

#include <string>
#include <string_view>

#include "platform/scoped_handle.h"

namespace platform {

struct LibraryTraits {
    using Handle = void*;
    static Handle invalid() noexcept { return nullptr; }
    static void close(Handle h) noexcept;
};

class DynamicLibrary {
public:
    DynamicLibrary() = default;

    // Frees any library held before. False (and lastError() set) when the
    // library cannot be loaded.
    bool load(std::u16string_view path);
    // Holds the library of that file name that the process has already
    // loaded (one it was linked against), never loading one: looking up an
    // optional export must not bring in a second copy or a stranger's file.
    // False when no such library is loaded.
    bool attachLoaded(std::u16string_view fileName);
    void unload() { handle_.reset(); }
    bool loaded() const { return handle_.valid(); }

    // Null when the library is not loaded or has no such export.
    void* symbol(const char* name) const;

    // The loader's message for the last failure ("" when none is known).
    static std::u16string lastLoadError();

private:
    ScopedHandle<LibraryTraits> handle_;
};

}  // namespace platform
