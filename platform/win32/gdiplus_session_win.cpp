#include "platform/win32/gdiplus_session_win.h"

// GDI+ declares its C++ classes with COM types that a lean windows.h
// leaves out.
#include <objidl.h>
#include <gdiplus.h>

namespace platform::win32 {

GdiplusSession::GdiplusSession() noexcept {
    const Gdiplus::GdiplusStartupInput input;
    started_ = Gdiplus::GdiplusStartup(&token_, &input, nullptr) == Gdiplus::Ok;
}

GdiplusSession::~GdiplusSession() {
    if (started_) Gdiplus::GdiplusShutdown(token_);
}

}  // namespace platform::win32
