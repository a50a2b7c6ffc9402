// Small pieces the Windows dialogs share: owners for window, GDI, device
// context, item-list and COM-apartment lifetimes, and the module whose
// resources hold the templates.
#pragma once

#include <windows.h>
#include <shlobj.h>

#include <string>

#include "platform/scoped_handle.h"

namespace dialogs::win32 {

struct WindowTraits {
    using Handle = HWND;
    static Handle invalid() noexcept { return nullptr; }
    static void close(Handle h) noexcept { DestroyWindow(h); }
};
using ScopedWindow = platform::ScopedHandle<WindowTraits>;

struct GdiObjectTraits {
    using Handle = HGDIOBJ;
    static Handle invalid() noexcept { return nullptr; }
    static void close(Handle h) noexcept { DeleteObject(h); }
};
using ScopedGdiObject = platform::ScopedHandle<GdiObjectTraits>;

struct ItemListTraits {
    using Handle = PIDLIST_ABSOLUTE;
    static Handle invalid() noexcept { return nullptr; }
    static void close(Handle h) noexcept { CoTaskMemFree(h); }
};
using ScopedItemList = platform::ScopedHandle<ItemListTraits>;

// A window's device context, given back on destruction.
class WindowDc {
public:
    explicit WindowDc(HWND window) : window_(window), dc_(GetDC(window)) {}
    ~WindowDc() {
        if (dc_) ReleaseDC(window_, dc_);
    }
    WindowDc(const WindowDc&) = delete;
    WindowDc& operator=(const WindowDc&) = delete;
    HDC get() const { return dc_; }

private:
    HWND window_;
    HDC dc_;
};

// An object selected into a device context for one scope.
class SelectedObject {
public:
    SelectedObject(HDC dc, HGDIOBJ object) : dc_(dc), previous_(object ? SelectObject(dc, object) : nullptr) {}
    ~SelectedObject() {
        if (previous_) SelectObject(dc_, previous_);
    }
    SelectedObject(const SelectedObject&) = delete;
    SelectedObject& operator=(const SelectedObject&) = delete;

private:
    HDC dc_;
    HGDIOBJ previous_;
};

// The folder browser's new style needs an apartment on the calling thread;
// the control's thread normally has one already, which this leaves alone.
class ScopedApartment {
public:
    ScopedApartment() : initialised_(SUCCEEDED(OleInitialize(nullptr))) {}
    ~ScopedApartment() {
        if (initialised_) OleUninitialize();
    }
    ScopedApartment(const ScopedApartment&) = delete;
    ScopedApartment& operator=(const ScopedApartment&) = delete;

private:
    bool initialised_;
};

// The module this code is linked into: its resources hold the dialog
// templates (the control's DLL, the plug-in's DLL or a test program).
HINSTANCE moduleOfThisCode();

// The window a dialog should belong to: the top-level window of owner, or
// null when there is none a dialog can be owned by (a message-only window).
HWND topLevelOwner(HWND owner);

// A control's or window's whole text.
std::u16string windowText(HWND window);
std::u16string itemText(HWND dialog, int id);

}  // namespace dialogs::win32
