// Linux: the browser's window stays the browser's, the control's window is
// its message queue alone, and there is no GDI+ to start.
#include "plugin/plugin_window.h"

namespace np {

namespace {

class NoHook final : public HostWindowHook {};
class NoGraphics final : public GraphicsSession {};

}  // namespace

std::unique_ptr<HostWindowHook> HostWindowHook::attach(void*, Repaint) { return std::make_unique<NoHook>(); }

std::unique_ptr<ControlDialog> ControlDialog::create(void*, CViewConvasDlg&, PrivateMessages) { return nullptr; }

std::unique_ptr<GraphicsSession> GraphicsSession::start() { return std::make_unique<NoGraphics>(); }

}  // namespace np
