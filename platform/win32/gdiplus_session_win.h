// GdiplusSession: GDI+ started for as long as the object lives.
//
// The control and the plug-in hold one for their whole life: made first in
// the constructor, before anything that draws, and ended after the request
// pool has stopped, so no worker can still be drawing when GDI+ goes.
// Sessions nest (GDI+ counts them), so code that needs GDI+ only for a
// moment, such as the canvas saving a picture, opens its own without
// caring whether a longer one is open.
//
// Thread safety: make and destroy a session on the same thread, never
// inside DllMain (start-up waits for a thread of GDI+'s own). While it is
// open, GDI+ may be used from any thread.
#pragma once

#include <windows.h>

namespace platform::win32 {

class GdiplusSession {
public:
    GdiplusSession() noexcept;
    ~GdiplusSession();
    GdiplusSession(const GdiplusSession&) = delete;
    GdiplusSession& operator=(const GdiplusSession&) = delete;

    // False when GDI+ could not be started; nothing is to be drawn then.
    bool started() const noexcept { return started_; }

private:
    ULONG_PTR token_ = 0;
    bool started_ = false;
};

}  // namespace platform::win32
