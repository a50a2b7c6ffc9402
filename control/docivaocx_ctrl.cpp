#include "control/docivaocx_ctrl.h"

#include <algorithm>
#include <atomic>

#include "control/dispatch.h"
#include "dialogs/progress_view.h"
#include "dialogs/small_dialogs.h"
#include "output/file_name_generate.h"
#include "platform/files.h"
#include "platform/system.h"
#include "platform/path.h"
#include "platform/text.h"
#include "settings/folders.h"

namespace {

// The control made last; see currentControl().
std::atomic<CDocivaOCXCtrl*> g_currentControl{nullptr};

constexpr std::size_t kFixedTextUnits = 260;  // 259 + terminator

std::u16string readScannerName(const CSettingConfig& settings) {
    char16_t buffer[kFixedTextUnits] = {};
    settings.getScannerName(buffer, kFixedTextUnits);
    return buffer;
}

// A profile name typed by the user becomes one file of the profiles folder:
// a separator would put the copy elsewhere, and a name cut to fit would
// give a file that is not a profile.
bool usableProfileTarget(std::u16string_view name, std::u16string_view target) {
    if (name.find_first_of(u"/\\") != std::u16string_view::npos) return false;
    return target.size() <= kFixedTextUnits - 1;
}

}  // namespace

CDocivaOCXCtrl::CDocivaOCXCtrl(ControlSite& site, const ControlEnvironment& environment)
    : site_(site),
      wrap_(environment.sdk, environment.places),
      profile_(nullptr),
      settings_(nullptr),
      sourceCallback_(site) {
    scanSettings_.reset();
    pool_.Create(1, nullptr);
    moduleDirectory_ = ::moduleDirectory();
    g_currentControl.store(this);
}

CDocivaOCXCtrl::~CDocivaOCXCtrl() { stopRunning(); }

void CDocivaOCXCtrl::stopRunning() {
    if (stopped_) return;
    stopped_ = true;
    // A status callback arriving from now on must not find this control.
    CDocivaOCXCtrl* self = this;
    g_currentControl.compare_exchange_strong(self, nullptr);
    // The worker may be waiting for the window thread (it sends
    // WM_VIEWER_CHANGED); closing the window first releases it, so that
    // stopping the pool cannot wait forever on this very thread.
    if (window_) window_->close();
    pool_.Destroy();
    // No SDK callback may reach the control once its window is gone: close
    // every open scanner while the (closed) window still exists.
    for (const auto& driver : wrap_.listDrivers()) {
        if (ScannerSource* source = wrap_.getSource(driver.productName)) source->close();
    }
    sourceCallback_.reset(nullptr);
    window_.reset();
}

CDocivaOCXCtrl* CDocivaOCXCtrl::currentControl() { return g_currentControl.load(); }

int CDocivaOCXCtrl::OnCreate() {
    window_ = platform::MessageWindow::create(
        [this](std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) {
            return onMessage(message, wParam, lParam);
        });
    if (!window_) return -1;
    port_ = window_->port();
    loadMessageTexts();
    // The progress dialog only joins a viewer that has its surface. Where
    // the platform draws it, it gets its own window; the control's window
    // here is message-only, so it starts without an owner until the
    // container shows the control (setOwnerWindow).
    if (canvas_.Create()) {
        progress_.AttachView(makeProgressView());
        progress_.Create();
    }
    if (setsUpPageOnCreate()) setUpPage();
    return 0;
}

void CDocivaOCXCtrl::setUpPage() {
    canvas_.Viewer().SetPageModeCallback([](void* context) { ViewerChangedCallback(context); }, this);
    buildProfilesPayload();
    buildSourcesPayload();
}

bool CDocivaOCXCtrl::isIdle() const {
    if (window_ && window_->hasPending()) return false;
    return pool_.IsIdle();
}

void CDocivaOCXCtrl::fire(ControlEvent event, std::u16string_view data) {
    for (const auto& info : dispatch::events()) {
        if (info.dispid == event) {
            site_.fireEvent(event, info.name, data);
            return;
        }
    }
}

void CDocivaOCXCtrl::loadMessageTexts() {
    std::lock_guard lock(profileLock_);
    for (char16_t* buffer : {msgWarmingUp_, msgScanning_, msgScanFinish_, msgProcessFinish_}) buffer[0] = 0;
    profile_.readWarmingUpMessage(msgWarmingUp_, kMessageUnits);
    profile_.readScanningMessage(msgScanning_, kMessageUnits);
    profile_.readScanFinishMessage(msgScanFinish_, kMessageUnits);
    profile_.readProcessFinishMessage(msgProcessFinish_, kMessageUnits);
}

std::intptr_t CDocivaOCXCtrl::onMessage(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) {
    switch (message) {
    case WM_SCAN_WARMUP: {
        const auto seconds = static_cast<std::int32_t>(lParam / 1000);
        if (wParam == 1) progress_.SetRange(seconds);
        progress_.SetPos(seconds);
        std::lock_guard lock(profileLock_);
        // The profile's text is a format with one integer; the formatter
        // takes typed arguments, so a stray %s in it reads nothing.
        progress_.SetText(text::cut(text::format(text::view(msgWarmingUp_), seconds), 127));
        return 0;
    }
    case WM_SCAN_PAPER: {
        const auto n = static_cast<std::int32_t>(lParam);
        if (wParam == 1) {
            progress_.SetRange(n);
            {
                std::lock_guard lock(profileLock_);
                progress_.SetText(text::view(msgScanning_));
            }
            platform::debugOutput(text::format(u"scanning total : %d \n", n));
        } else if (wParam == 0) {
            if (n != 0) {
                const std::int32_t old = progress_.GetPos();
                progress_.SetPos(old + n);
                platform::debugOutput(text::format(u"scanning: %d + %d = %d\n", old, n, old + n));
            } else {
                std::int32_t high = 0;
                progress_.GetRange(nullptr, &high);
                progress_.SetPos(high);
                platform::debugOutput(u"scanning: end\n");
            }
            progress_.SetText(u"paper scanning...");
        } else if (wParam == 2) {
            progress_.SetText(u"paper end");
            platform::debugOutput(u"scanning: end\n");
        }
        return 0;
    }
    case WM_SCAN_FINISHED: {
        std::lock_guard lock(profileLock_);
        progress_.SetText(text::view(msgScanFinish_));
        return 0;
    }
    case WM_SCAN_END:
        endedRun_.store(scanRun_.load());
        progress_.Show(false);
        fire(kEventScanEnd, payload::scanEnd(0));
        isScanning_.store(0);
        return 0;
    case WM_SCAN_REFUSED:
        endRefusedRun();
        return 0;
    case WM_SCAN_BEGIN:
        if (progress_.HasWindow() && wParam == scanRun_.load() && wParam != endedRun_.load()) progress_.Show(true);
        return 0;
    case WM_VIEWER_CHANGED:
        reportAllButtonStatus();
        return 0;
    default:
        return 0;
    }
}

// The SDK refused to start (its result is not 0): no event will end this
// run, so it ends here, with a code of its own.
void CDocivaOCXCtrl::endRefusedRun() {
    endedRun_.store(scanRun_.load());
    progress_.Show(false);
    fire(kEventScanEnd, payload::scanEnd(3));
    isScanning_.store(0);
}

// ---------------------------------------------------------------------------
// Scanner registration and sources

std::u16string CDocivaOCXCtrl::registerFailureText(RegisterFailure why) const {
    return why == RegisterFailure::EmptyName ? u"Product Name cannot be empty" : u"Load driver fail";
}

void CDocivaOCXCtrl::ScannerRegister(const char16_t* productName) {
    if (!productName || !*productName) {
        fire(kEventAfterScannerRegister,
             payload::registration(3, registerFailureText(RegisterFailure::EmptyName), nullptr));
        return;
    }
    std::lock_guard lock(scannerLock_);
    if (!wrap_.registerSource(productName)) {
        reportRegistration(3, registerFailureText(RegisterFailure::NotRegistered).c_str(), nullptr);
        return;
    }
    ScannerSource* source = wrap_.getSource(productName);
    if (!source || source->handle == 0) {
        reportRegistration(3, registerFailureText(RegisterFailure::NoHandle).c_str(), nullptr);
        return;
    }
    if (const auto registerCallback = wrap_.sdkCalls().registerCallback) {
        registerCallback(source->handle, this, &SdkStatusCallback, &SdkEventCallback);
    }
    settings_.setScannerName(productName);
    reportRegistration(0, u"Register success", &source->capability);
}

void CDocivaOCXCtrl::reportRegistration(int code, const char16_t* message, const SourceCapability* capability) {
    fire(kEventAfterScannerRegister, payload::registration(code, text::view(message), capability));
    if (code == 0 && capability) buildScanSizesPayload(*capability);
}

void CDocivaOCXCtrl::buildSourcesPayload() {
    fire(kEventSourceReady, payload::sources(wrap_.listDrivers(), readScannerName(settings_)));
}

void CDocivaOCXCtrl::RegScannerSourceCallback(void* func) { sourceCallback_.reset(func); }

std::u16string CDocivaOCXCtrl::currentScannerDirectory() const {
    const std::u16string name = readScannerName(settings_);
    if (name.empty()) return {};
    std::lock_guard lock(scannerLock_);
    const ScannerSource* source = wrap_.getSource(name.c_str());
    if (!source || source->handle == 0) return {};
    char16_t directory[kFixedTextUnits] = {};
    if (!wrap_.getSystemDirectory(name.c_str(), directory, kFixedTextUnits)) return {};
    return directory;
}

// ---------------------------------------------------------------------------
// Setters

void CDocivaOCXCtrl::setText(char16_t (&field)[kRecordTextUnits], const char16_t* value) {
    if (!value) return;
    text::copyBounded(field, kRecordTextUnits, text::view(value));
}

void CDocivaOCXCtrl::SetOutputFormat(std::int32_t format, std::int16_t v) {
    if (v == 1) {
        selectedFormats_.insert(format);
    } else {
        selectedFormats_.erase(format);
    }
}

void CDocivaOCXCtrl::SetScanSize(std::int16_t sizeId) {
    scanSettings_.autoSize = sizeId == 0 || sizeId == 1 ? 1 : 0;
    scanSettings_.scanSize = sizeId;
}

void CDocivaOCXCtrl::SetCustomScanSize(double x, double y, double w, double h, std::int16_t unit) {
    const double d = unit == 1 ? 2.54 : 1.0;
    scanSettings_.scanSize = 22;
    scanSettings_.scanAreaX = x / d;
    scanSettings_.scanAreaY = y / d;
    scanSettings_.scanAreaW = w / d;
    scanSettings_.scanAreaH = h / d;
    scanSettings_.scanAreaUnit = unit;
    scanSettings_.autoSize = 0;
}

void CDocivaOCXCtrl::SetProcessStrokeFillPosition(std::int16_t v) {
    if (v >= 0 && v <= 2) scanSettings_.strokeFillPosition = v;
}

void CDocivaOCXCtrl::SetProcessGrayscaleChannel(std::int16_t v) {
    if (v >= 0 && v <= 3) scanSettings_.colorDropOut = v;
}

void CDocivaOCXCtrl::SetRotate(std::int16_t v) {
    if (v >= 0 && v <= 3) scanSettings_.rotate = v;
}

void CDocivaOCXCtrl::SetSavetoFolder(const char16_t* v) {
    // A relative folder is the module folder's, never the host's current
    // one; one that would not fit leaves the setting as it was.
    const std::u16string_view given = text::view(v);
    if (given.empty()) {
        setText(scanSettings_.saveToPath, v);
        return;
    }
    const std::u16string folder = resolveInModuleFolder(given);
    if (!folder.empty()) setText(scanSettings_.saveToPath, folder.c_str());
}

void CDocivaOCXCtrl::SetSplitMerge(std::int16_t v) {
    if (v >= 0 && v <= 2) scanSettings_.splitMerge = v;
}

void CDocivaOCXCtrl::SetEjectPaperDirection(std::int16_t v) {
    if (v == 0 || v == 1) scanSettings_.ejectPaperDirection = v;
}

// ---------------------------------------------------------------------------
// Profiles

std::u16string CDocivaOCXCtrl::profilesFolder() const { return text::cut(profilesDirectory(), kFixedTextUnits - 1); }

void CDocivaOCXCtrl::SelectProfile(const char16_t* profilePath) {
    std::unique_lock lock(profileLock_);
    profile_.load(profilePath);
    const ProfileSettings& loaded = profile_.profileSettings();
    const std::u16string data = payload::selectedProfile(loaded);
    applyProfile(loaded, scanSettings_, watermarkEnabled_);
    lock.unlock();
    if (profilePath) settings_.setProfile(profilePath);
    fire(kEventAfterSelectProfile, data);
}

std::int16_t CDocivaOCXCtrl::SaveProfile() {
    // The active profile may be any file a page selected; only the
    // component's own profiles and files that already are profiles are
    // written (settings/folders.h).
    if (!isWritableProfile(profile_.path())) {
        platform::debugOutput(u"SaveProfile: not a profile this control writes: " + profile_.path() + u"\n");
        return 1;
    }
    writeBack(scanSettings_, selectedFormats_, currentScannerDirectory(), profile_);
    return 0;
}

std::int16_t CDocivaOCXCtrl::ExportProfile() {
    const auto answer = site_.dialogs().inputBox(u"Profile", u"Please enter a Profile name:", u"");
    if (!answer) return 1;
    const std::u16string name = text::cut(*answer, kFixedTextUnits - 1);
    if (name.empty()) return 2;
    const std::u16string source = profile_.path();
    const std::u16string target = text::format(u"%s%s.ini", profilesFolder(), name);
    if (source.empty() || !usableProfileTarget(name, target) || !isWritableProfile(target)) return 3;
    if (!platform::copyFile(source, target, false)) return 3;
    CScanProfile exported(target.c_str());
    writeBack(scanSettings_, selectedFormats_, currentScannerDirectory(), exported);
    settings_.setProfile(target.c_str());
    buildProfilesPayload();
    return 0;
}

void CDocivaOCXCtrl::buildProfilesPayload() {
    const std::u16string folder = profilesFolder();
    std::vector<payload::ProfileItem> items;
    if (!folder.empty()) {
        char16_t selected[kFixedTextUnits] = {};
        settings_.getProfile(selected, kFixedTextUnits);
        for (const auto& entry : platform::findFiles(folder + u"*.ini")) {
            if (entry.isDirectory || entry.name.empty()) continue;
            payload::ProfileItem item;
            const auto dot = entry.name.rfind(u'.');
            item.title = dot == std::u16string::npos ? entry.name : entry.name.substr(0, dot);
            item.fileName = entry.name;
            item.path = folder + entry.name;
            item.size = static_cast<std::int32_t>(static_cast<std::uint32_t>(entry.size & 0xFFFFFFFFu));
            item.isDefault = text::equalsIgnoreAsciiCase(item.path, selected);
            items.push_back(std::move(item));
        }
    }
    fire(kEventProfileReady, payload::profiles(items));
}

void CDocivaOCXCtrl::buildScanSizesPayload(const SourceCapability& capability) {
    PaperSizeMap sizes;
    CDocivaWrap::buildPaperSizes(sizes, &capability);
    const ProfileSettings& p = profile_.profileSettings();
    std::vector<payload::ScanSizeItem> items;
    items.reserve(sizes.size());
    for (const auto& [id, size] : sizes) {
        payload::ScanSizeItem item{std::u16string(text::view(size.name)), id, size.left, size.top, size.width, size.height};
        if (id == paper_id::kCustom) {
            if (capability.source != 0) {
                item.x = p.adfFrontRangeX, item.y = p.adfFrontRangeY, item.w = p.adfFrontRangeW,
                item.h = p.adfFrontRangeH;
            } else {
                item.x = p.flatbedRangeX, item.y = p.flatbedRangeY, item.w = p.flatbedRangeW,
                item.h = p.flatbedRangeH;
            }
        }
        items.push_back(std::move(item));
    }
    fire(kEventAfterScanSizesReady, payload::scanSizes(items, p.autoSize ? paper_id::kAuto : paper_id::kCustom));
}

std::u16string CDocivaOCXCtrl::GetConfigPath() const { return text::cut(profile_.path(), kFixedTextUnits - 1); }

std::u16string CDocivaOCXCtrl::SelectFolder() {
    constexpr std::uint32_t kBrowseFlags = 0x51;  // file-system folders only, edit box, new dialog style
    const auto result = site_.dialogs().chooseFolder(u"Select folder:", profile_.defaultSaveFolder(), kBrowseFlags,
                                                     window_ ? window_->nativeHandle() : nullptr);
    if (result.choice != platform::FolderChoice::Chosen) return {};
    return text::cut(result.folder, kFixedTextUnits - 1);
}

std::u16string CDocivaOCXCtrl::SelectAPFile() {
    const auto chosen = site_.dialogs().openFile(u"Exe Files (*.exe)|*.exe||", nullptr);
    return chosen ? *chosen : std::u16string{};
}

// ---------------------------------------------------------------------------
// The scan run

void CDocivaOCXCtrl::ScanStart(const char16_t* productName) {
    // Tested and set in one step: a scanner button may start a run from
    // the SDK's thread at the same moment.
    std::uint8_t idle = 0;
    if (!isScanning_.compare_exchange_strong(idle, 1)) return;
    loadMessageTexts();
    ScannerSource* source = nullptr;
    {
        std::lock_guard lock(scannerLock_);
        char16_t directory[kFixedTextUnits] = {};
        if (!productName || !wrap_.getSystemDirectory(productName, directory, kFixedTextUnits)) {
            fire(kEventScanEnd, payload::scanEnd(1));
            isScanning_.store(0);
            return;
        }
        source = wrap_.getSource(productName);
        if (!source || source->handle == 0) {
            fire(kEventScanEnd, payload::scanEnd(2));
            isScanning_.store(0);
            return;
        }
    }
    const std::uintptr_t run = ++scanRun_;
    if (window_) window_->post(WM_SCAN_BEGIN, run, 0);

    ScanSettings& s = scanSettings_;
    const SourceCapability& capability = source->capability;
    if (s.scanType == -1) s.scanType = capability.source != 0 ? 1 : 0;
    if (!selectedFormats_.empty()) {
        std::fill(std::begin(s.outImg), std::end(s.outImg), u'\0');
        text::copyBounded(s.outImg, kRecordTextUnits, outputFormatList(selectedFormats_));
    }
    switch (s.scanSize) {
    case paper_id::kAuto:
    case paper_id::kMultiAuto:
    case paper_id::kCustom:
    case paper_id::kLongPaper:
    case paper_id::kNotSet: break;
    default: {
        s.scanAreaX = s.scanAreaY = s.scanAreaW = s.scanAreaH = 0;
        double width = 0, height = 0;
        if (s.scanSize != paper_id::kMax && CDocivaWrap::getPaperSize(s.scanSize, width, height)) {
            s.scanAreaW = width;
            s.scanAreaH = height;
            s.scanAreaY = 0;
            // A sheet feeder centres the page on its width.
            s.scanAreaX = capability.source != 0 ? std::max(0.0, capability.maxWidth - width) / 2 : 0;
        }
        break;
    }
    }
    ScanSettings copy = s;
    if (watermarkEnabled_ == 0) copy.watermarkType = 0;
    if (wrap_.startScan(source, nullptr, &copy, nullptr) != 0) endRefusedRun();
}

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

DocivaHandle CDocivaOCXCtrl::currentScannerHandle() const {
    const std::u16string name = readScannerName(settings_);
    if (name.empty()) return 0;
    std::lock_guard lock(scannerLock_);
    const ScannerSource* source = wrap_.getSource(name.c_str());
    return source ? source->handle : 0;
}

// ---------------------------------------------------------------------------
// Scanner buttons

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

// ---------------------------------------------------------------------------
// Alerts, file names, watermark

std::int16_t CDocivaOCXCtrl::Alert(const char16_t* title, const char16_t* message) {
    CAlertDlg dialog;
    dialog.SetCaption(text::view(title));
    dialog.SetMessage(text::view(message));
    site_.dialogs().alert(dialog.Caption(), dialog.Message());
    return 0;
}

std::u16string CDocivaOCXCtrl::GetFileNameHelper() {
    const platform::LocalTime t = platform::localTime();
    return u"Set the customize file name:\r\nString\r\n%YYYY%%MM%%DD% = " +
           text::format(u"%04d%02d%02d", t.year, t.month, t.day) + u"(Current year/month/date)\r\n" +
           u"%HH%%MIN%%SEC% = " + text::format(u"%02d%02d%02d", t.hour, t.minute, t.second) +
           u"(Current hour/minute/second)\r\n" + u"%COUNTERn%, n=2~9 (2=01~99, 3=001~999, 5=00001~99999)\r\n" +
           u"%BARCODE_NUMBER% = Enable the barcode recognition";
}

std::u16string CDocivaOCXCtrl::GetFileNameExample(const char16_t* format) {
    CFileNameGenerate generator(format);
    char16_t name[kFixedTextUnits] = {};
    bool hasCounter = false;
    generator.Generate(name, static_cast<int>(kFixedTextUnits), &hasCounter);
    if (!hasCounter) return name;
    return text::cut(generator.Example(name), kFixedTextUnits - 1);
}

void CDocivaOCXCtrl::OpenWatermarkSetting() {
    const ScanSettings& s = scanSettings_;
    WatermarkSettings record;
    {
        std::lock_guard lock(profileLock_);
        const ProfileSettings& p = profile_.profileSettings();
        record.type = s.watermarkType != -1 ? s.watermarkType : p.watermarkType;
        record.position = s.watermarkPosition != -1 ? s.watermarkPosition : p.watermarkPosition;
        record.transparency = s.watermarkTransparency != -1 ? s.watermarkTransparency : p.watermarkTransparency;
        text::copyBounded(record.image, 260, text::view(s.watermarkImage[0] ? s.watermarkImage : p.watermarkImage));
        text::copyBounded(record.text, 260, text::view(s.watermarkText[0] ? s.watermarkText : p.watermarkText));
        record.textSize = s.watermarkTextSize != -1 ? s.watermarkTextSize : p.watermarkTextSize;
        record.textAngle = s.watermarkTextAngle != -1 ? s.watermarkTextAngle : p.watermarkTextAngle;
    }
    if (!site_.dialogs().editWatermark(record)) return;
    ScanSettings& out = scanSettings_;
    out.watermarkType = record.type;
    out.watermarkPosition = record.position;
    if (record.transparency >= 0 && record.transparency <= 255) out.watermarkTransparency = record.transparency;
    text::copyBounded(out.watermarkImage, kRecordTextUnits, text::view(record.image));
    text::copyBounded(out.watermarkText, kRecordTextUnits, text::view(record.text));
    out.watermarkTextSize = record.textSize;
    if (record.textAngle >= 0 && record.textAngle <= 360) out.watermarkTextAngle = record.textAngle;
}

void CDocivaOCXCtrl::SdkEventCallback(int type, void* data, int value, void* context) {
    auto* control = static_cast<CDocivaOCXCtrl*>(context);
    if (!control) return;
    platform::MessagePort* window = control->port_.get();
    switch (type) {
    case DOCIVA_EVENT_WARMUP:
        if (window) window->send(WM_SCAN_WARMUP, reinterpret_cast<std::uintptr_t>(data), value);
        break;
    case DOCIVA_EVENT_SCAN_STARTED:
        if (window) window->post(WM_SCAN_PAPER, 1, value);
        break;
    case DOCIVA_EVENT_SCAN_PROGRESS:
        if (window) window->post(WM_SCAN_PAPER, 0, value);
        break;
    case DOCIVA_EVENT_PAPER_END:
        if (window) window->post(WM_SCAN_PAPER, 2, 0);
        break;
    case DOCIVA_EVENT_SCAN_FINISHED:
        if (window) window->send(WM_SCAN_FINISHED, reinterpret_cast<std::uintptr_t>(data), value);
        break;
    case DOCIVA_EVENT_PROCESSING_FINISHED:
        if (window) window->post(WM_SCAN_END, 0, value);
        break;
    case DOCIVA_EVENT_IMAGE_READY:
        AddImageRequest::Post(control->pool_, control, static_cast<const ImageReadyRecord*>(data));
        break;
    default:
        break;
    }
}

// ---------------------------------------------------------------------------
// The viewer

payload::ViewerState CDocivaOCXCtrl::viewerState() {
    CImageViewer& viewer = canvas_.Viewer();
    payload::ViewerState state;
    state.screenCount = viewer.ScreenCount();
    state.currentScreen = viewer.CurrentScreen();
    state.viewMode = viewer.GetViewMode();
    state.zoomLevel = viewer.GetZoomLevel();
    state.undoAvailable = viewer.UndoAvailable();
    return state;
}

void CDocivaOCXCtrl::reportNavigationStatus() {
    fire(kEventUIButtonStatusChange, payload::navigationStatus(viewerState()));
}
void CDocivaOCXCtrl::reportZoomViewStatus() { fire(kEventUIButtonStatusChange, payload::zoomViewStatus(viewerState())); }
void CDocivaOCXCtrl::reportUndoStatus() { fire(kEventUIButtonStatusChange, payload::undoStatus(viewerState())); }
void CDocivaOCXCtrl::reportCutStatus() { fire(kEventUIButtonStatusChange, payload::cutStatus(viewerState())); }

void CDocivaOCXCtrl::reportAllButtonStatus() {
    reportNavigationStatus();
    reportZoomViewStatus();
    reportUndoStatus();
    reportCutStatus();
}

template <typename Operation>
std::int16_t CDocivaOCXCtrl::viewerOperation(Operation operation, bool navigation, bool zoomView, bool undo,
                                             bool cut) {
    if (isScanning_.load()) return 0;
    const std::int16_t result = static_cast<std::int16_t>(operation());
    if (navigation) reportNavigationStatus();
    if (zoomView) reportZoomViewStatus();
    if (undo) reportUndoStatus();
    if (cut) reportCutStatus();
    return result;
}

void CDocivaOCXCtrl::ViewSinglePage() {
    viewerOperation([&] { canvas_.ViewSinglePage(); return 0; }, true, true, true, true);
}
void CDocivaOCXCtrl::ViewThumb4() {
    viewerOperation([&] { canvas_.ViewThumb4(); return 0; }, true, true, true, true);
}
void CDocivaOCXCtrl::ViewThumb9() {
    viewerOperation([&] { canvas_.ViewThumb9(); return 0; }, true, true, true, true);
}
void CDocivaOCXCtrl::NormalView() {
    viewerOperation([&] { canvas_.NormalView(); return 0; }, false, true, false, true);
}
void CDocivaOCXCtrl::FullView() {
    viewerOperation([&] { canvas_.FullView(); return 0; }, false, true, false, true);
}
std::int16_t CDocivaOCXCtrl::ZoomOut() {
    return viewerOperation([&] { return canvas_.ZoomOut(); }, false, true, false, true);
}
std::int16_t CDocivaOCXCtrl::ZoomIn() {
    return viewerOperation([&] { return canvas_.ZoomIn(); }, false, true, false, true);
}
std::int16_t CDocivaOCXCtrl::GoFirstPage() {
    return viewerOperation([&] { canvas_.GoFirstPage(); return 0; }, true, true, false, true);
}
std::int16_t CDocivaOCXCtrl::GoPrevPage() {
    return viewerOperation([&] { return canvas_.GoPrevPage(); }, true, true, false, true);
}
std::int16_t CDocivaOCXCtrl::GoNextPage() {
    return viewerOperation([&] { return canvas_.GoNextPage(); }, true, true, false, true);
}
std::int16_t CDocivaOCXCtrl::GoLastPage() {
    return viewerOperation([&] { canvas_.GoLastPage(); return 0; }, true, true, false, true);
}
std::int16_t CDocivaOCXCtrl::DeleteImage() {
    if (isScanning_.load()) return 0;
    const auto result = static_cast<std::int16_t>(canvas_.DeleteImage());
    if (result == 0) {
        reportNavigationStatus();
        reportZoomViewStatus();
        reportUndoStatus();
        reportCutStatus();
    }
    return result;
}
std::int16_t CDocivaOCXCtrl::RotateLeft() {
    return viewerOperation([&] { return canvas_.RotateLeft(); }, false, false, true, false);
}
std::int16_t CDocivaOCXCtrl::Rotate() {
    return viewerOperation([&] { return canvas_.Rotate(); }, false, false, true, false);
}
std::int16_t CDocivaOCXCtrl::RotateRight() {
    return viewerOperation([&] { return canvas_.RotateRight(); }, false, false, true, false);
}
std::int16_t CDocivaOCXCtrl::Cut() {
    return viewerOperation([&] { return canvas_.Cut(); }, false, false, true, false);
}
std::int16_t CDocivaOCXCtrl::Flip() {
    return viewerOperation([&] { return canvas_.Flip(); }, false, false, true, false);
}
std::int16_t CDocivaOCXCtrl::Mirror() {
    return viewerOperation([&] { return canvas_.Mirror(); }, false, false, true, false);
}
std::int16_t CDocivaOCXCtrl::Undo() {
    return viewerOperation([&] { return canvas_.Undo(); }, false, false, true, false);
}

std::int16_t CDocivaOCXCtrl::GetFileCount() const {
    return static_cast<std::int16_t>(canvas_.GetFileCount());
}

bool CDocivaOCXCtrl::addScannedImageResult(const ImageReadyRecord& record) {
    const bool added = canvas_.AddImage(text::view(record.filePath), record.formatCode);
    if (port_) port_->send(WM_VIEWER_CHANGED, 0, 0);
    return added;
}

int CDocivaOCXCtrl::ViewerChangedCallback(void* context) {
    auto* control = static_cast<CDocivaOCXCtrl*>(context);
    if (!control) return 0;
    control->reportAllButtonStatus();
    return 1;
}
