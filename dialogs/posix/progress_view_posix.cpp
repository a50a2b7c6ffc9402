#include "dialogs/progress_view.h"
#include "platform/dialog_service.h"

// The program that hosts the control on Linux follows a scan through the
// control's events and its dialog state; there is no window to draw.
std::unique_ptr<ProgressView> makeProgressView() { return nullptr; }

// Its dialogs are answered by the host too (see control/module_entry.cpp).
std::unique_ptr<platform::DialogService> platform::makeDialogWindows() { return nullptr; }
