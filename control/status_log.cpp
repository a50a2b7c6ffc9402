// The status log: the SDK's statuses (and the control's own codes for
// scanner buttons) as texts, and the one-record log file
// "dociva_status.log" in the profile's save folder that each of them
// replaces.
//
// Thread safety: any thread (the SDK's status callback, a scanner button);
// the profile is read under the control's profile lock.
#include "control/control_detail.h"
#include "control/docivaocx_ctrl.h"
#include "platform/files.h"
#include "platform/system.h"
#include "platform/text.h"

using control_detail::kFixedTextUnits;

std::u16string CDocivaOCXCtrl::statusText(int code, const int* data) {
    switch (code) {
    case DOCIVA_STATUS_SCAN_SUCCESS:
        if (data && *data != -1) return text::cut(text::format(u"Scan success\r\nButtonID=%d", *data), 259);
        return u"Scan success";
    case DOCIVA_STATUS_CONNECTED: return u"Scanner connected";
    case DOCIVA_STATUS_DISCONNECTED: return u"Scanner disconnected";
    case DOCIVA_STATUS_DRIVER_LOAD_FAILED: return u"Load scanner driver fail";
    case DOCIVA_STATUS_SCANNER_NOT_FOUND: return u"Scanner does not found";
    case DOCIVA_STATUS_NOT_READY: return u"Scanner does not ready";
    case DOCIVA_STATUS_CAPABILITY_MISMATCH: return u"Scanner Capability not match";
    case DOCIVA_STATUS_NO_PAPER: return u"No Paper";
    case DOCIVA_STATUS_NO_MEMORY: return u"No Memory";
    case DOCIVA_STATUS_AUTO_SIZE_FAILED: return u"ASize fail";
    case DOCIVA_STATUS_SCAN_FAILED: return text::cut(text::format(u"Scan fail. [code=%d]", data ? *data : 0), 259);
    default: return {};
    }
}

int CDocivaOCXCtrl::SdkStatusCallback(int code, int* data) {
    if (code == DOCIVA_STATUS_BUTTON_PRESSED) {
        if (CDocivaOCXCtrl* control = currentControl()) control->onScannerButton(data);
        return 1;
    }
    const std::u16string message = statusText(code, data);
    if (message.empty()) return 0;
    writeStatusLog(code, message.c_str());
    return 0;
}

void CDocivaOCXCtrl::writeStatusLog(int code, const char16_t* message) {
    CDocivaOCXCtrl* control = currentControl();
    if (!control || !message) return;
    std::u16string folder;
    {
        std::lock_guard lock(control->profileLock_);
        folder = text::cut(text::view(control->profile_.profileSettings().saveToPath), kFixedTextUnits - 1);
    }
    if (folder.empty()) return;
    const platform::LocalTime t = platform::localTime();
    const std::u16string record =
        text::cut(text::format(u"[ERROR]\r\nCODE=%d\r\nMESSAGE=%s\r\nTIME=%d/%02d/%02d %02d:%02d:%02d", code,
                               text::view(message), t.year, t.month, t.day, t.hour, t.minute, t.second),
                  1023);
    std::string bytes = "\xFF\xFE";
    for (char16_t c : record) {
        bytes += static_cast<char>(c & 0xFF);
        bytes += static_cast<char>(c >> 8);
    }
    platform::writeFile(folder + u"/dociva_status.log", bytes);
}
