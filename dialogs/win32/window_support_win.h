// Small pieces the Windows dialogs share: owners for item lists and COM
// apartments (windows and GDI objects have the platform's owners), and the
// module whose resources hold the templates.
#pragma once

#include <windows.h>
#include <shlobj.h>

#include <string>

#include "platform/scoped_handle.h"
#include "platform/win32/gdi_handles.h"
#include "platform/win32/handles.h"

namespace dialogs::win32 {

using platform::win32::ScopedWindow;

struct ItemListTraits {
    using Handle = PIDLIST_ABSOLUTE;
    static Handle invalid() noexcept { return nullptr; }
    static void close(Handle h) noexcept { CoTaskMemFree(h); }
};
using ScopedItemList = platform::ScopedHandle<ItemListTraits>;

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
