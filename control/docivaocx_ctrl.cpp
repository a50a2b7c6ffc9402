#include "control/docivaocx_ctrl.h"

#include <algorithm>
#include <atomic>

#include "control/control_detail.h"
#include "control/dispatch.h"
#include "dialogs/progress_view.h"
#include "dialogs/small_dialogs.h"
#include "output/file_name_generate.h"
#include "platform/files.h"
#include "platform/system.h"
#include "platform/path.h"
#include "platform/text.h"
#include "settings/folders.h"

using control_detail::kFixedTextUnits;
using control_detail::readScannerName;

namespace {

// The control made last; see currentControl().
std::atomic<CDocivaOCXCtrl*> g_currentControl{nullptr};

// A profile name typed by the user becomes one file of the profiles folder:
// a separator would put the copy elsewhere, and a name cut to fit would
// give a file that is not a profile.
bool usableProfileTarget(std::u16string_view name, std::u16string_view target) {
    if (name.find_first_of(u"/\\") != std::u16string_view::npos) return false;
    return target.size() <= kFixedTextUnits - 1;
}

}  // namespace

CDocivaOCXCtrl::CDocivaOCXCtrl(ControlSite& site, const ControlEnvironment& environment, const ShellPolicy& policy)
    : site_(site),
      policy_(policy),
      imageTurn_(environment.imageTurn),
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
    if (policy_.setUpPageOnCreate) setUpPage();
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

// ---------------------------------------------------------------------------
// Scanner registration and sources

void CDocivaOCXCtrl::ScannerRegister(const char16_t* productName) {
    if (!productName || !*productName) {
        fire(kEventAfterScannerRegister,
             payload::registration(3, text::view(policy_.emptyNameText), nullptr));
        return;
    }
    std::lock_guard lock(scannerLock_);
    if (!wrap_.registerSource(productName)) {
        reportRegistration(3, policy_.notRegisteredText, nullptr);
        return;
    }
    ScannerSource* source = wrap_.getSource(productName);
    if (!source || source->handle == 0) {
        reportRegistration(3, policy_.noHandleText, nullptr);
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
