// Owners for Win32 handles. The API has two invalid values: null for
// kernel objects (events, semaphores, threads) and windows, and
// INVALID_HANDLE_VALUE for files and searches; each owner knows its own.
#pragma once

#include <windows.h>

#include "platform/scoped_handle.h"

namespace platform::win32 {

struct KernelHandleTraits {
    using Handle = HANDLE;
    static Handle invalid() noexcept { return nullptr; }
    static void close(Handle h) noexcept { CloseHandle(h); }
};
using ScopedKernelHandle = ScopedHandle<KernelHandleTraits>;

struct FileHandleTraits {
    using Handle = HANDLE;
    static Handle invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static void close(Handle h) noexcept { CloseHandle(h); }
};
using ScopedFile = ScopedHandle<FileHandleTraits>;

struct FindHandleTraits {
    using Handle = HANDLE;
    static Handle invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static void close(Handle h) noexcept { FindClose(h); }
};
using ScopedFind = ScopedHandle<FindHandleTraits>;

// A window destroyed with its owner (on the thread that made it, as
// DestroyWindow requires).
struct WindowTraits {
    using Handle = HWND;
    static Handle invalid() noexcept { return nullptr; }
    static void close(Handle h) noexcept { DestroyWindow(h); }
};
using ScopedWindow = ScopedHandle<WindowTraits>;

struct RegKeyTraits {
    using Handle = HKEY;
    static Handle invalid() noexcept { return nullptr; }
    static void close(Handle h) noexcept { RegCloseKey(h); }
};
using ScopedRegKey = ScopedHandle<RegKeyTraits>;

}  // namespace platform::win32
