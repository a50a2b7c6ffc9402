// Scanner buttons: the bindings of hardware buttons to profiles
// (device_button.ini in the module folder, section ButtonAction, keys
// ID_1..ID_9) and a press, which starts a scan with the bound profile.
//
// Thread safety: a press arrives on the SDK's thread (its status
// callback) and starts the run there, reaching the window only through its
// port; the bindings' methods run on the window thread.
#include "control/control_detail.h"
#include "control/docivaocx_ctrl.h"
#include "platform/files.h"
#include "platform/path.h"
#include "platform/text.h"
#include "settings/config_impl.h"

using control_detail::kFixedTextUnits;
using control_detail::readScannerName;

void CDocivaOCXCtrl::onScannerButton(const int* buttonId) {
    if (isScanning_.load()) return;
    loadMessageTexts();
    if (!buttonId) {
        writeStatusLog(kLogButtonNotSupported, text::format(u"Button function is not supported\r\nButtonID=%d", -1).c_str());
        return;
    }
    const int id = *buttonId;
    if (id != -1 && id >= 0 && id <= 9) {
        const CConfigImpl buttons(buttonConfigPath().c_str());
        const std::u16string stored =
            buttons.getRawString(u"ButtonAction", text::format(u"ID_%d", id).c_str(), u"", kFixedTextUnits - 1);
        if (!stored.empty()) {
            const std::u16string profile =
                text::cut(platform::hasDrive(stored) ? stored : moduleDirectory_ + stored, kFixedTextUnits - 1);
            if (platform::pathExists(profile)) {
                ScannerSource* source = nullptr;
                {
                    const std::u16string name = readScannerName(settings_);
                    std::lock_guard lock(scannerLock_);
                    if (!name.empty()) source = wrap_.getSource(name.c_str());
                }
                if (source && source->handle != 0) {
                    std::uint8_t idle = 0;
                    if (!isScanning_.compare_exchange_strong(idle, 1)) return;  // a run began meanwhile
                    const std::uintptr_t run = ++scanRun_;
                    runHandle_.store(source->handle);
                    if (port_) port_->post(WM_SCAN_BEGIN, run, 0);
                    if (wrap_.startScan(source, profile.c_str(), nullptr, buttonId) != 0 && port_) {
                        port_->post(WM_SCAN_REFUSED, 0, 0);
                    }
                    return;
                }
            }
        }
    }
    writeStatusLog(kLogButtonNotBound, text::format(u"Button ID config not found\r\nButtonID=%d", id).c_str());
}

std::u16string CDocivaOCXCtrl::buttonList() const {
    const CConfigImpl buttons(buttonConfigPath().c_str());
    std::u16string items;
    for (int i = 1; i <= 9; ++i) {
        const std::u16string path =
            buttons.getRawString(u"ButtonAction", text::format(u"ID_%d", i).c_str(), u"", kFixedTextUnits - 1);
        if (i > 1) items += u',';
        items += text::format(u"{\"id\":%d, \"path\":\"%s\"}", i, payload::jsonString(path));
    }
    return u"{\"count\":9,\"buttons\":[" + items + u"]}";
}

std::u16string CDocivaOCXCtrl::AssignProfileToScannerButton(std::int16_t buttonId, const char16_t* profilePath) {
    CConfigImpl buttons(buttonConfigPath().c_str());
    if (buttonId >= 1 && buttonId <= 9) {
        buttons.setString(u"ButtonAction", text::format(u"ID_%d", buttonId).c_str(), profilePath ? profilePath : u"");
    } else if (buttonId <= 0 && profilePath) {
        const std::u16string_view path = text::view(profilePath);
        for (int i = 1; i <= 9; ++i) {
            const std::u16string key = text::format(u"ID_%d", i);
            const std::u16string stored = buttons.getRawString(u"ButtonAction", key.c_str(), u"", kFixedTextUnits - 1);
            if (stored.empty()) continue;
            const bool matches = text::equalsIgnoreAsciiCase(stored, path) ||
                                 (path == moduleDirectory_ + u"dociva.ini" && stored == u"dociva.ini") ||
                                 moduleDirectory_ + stored == path;
            if (matches) buttons.setString(u"ButtonAction", key.c_str(), u"");
        }
    }
    return buttonList();
}

std::u16string CDocivaOCXCtrl::GetScannerButtonSetting() { return buttonList(); }
