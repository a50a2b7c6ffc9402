// CDocivaOCXCtrl: the control a web page embeds. Every call of the page
// arrives through the method table (control/dispatch.h) and ends in one of
// the methods below; everything the page learns comes back as a result or
// as one of seven events carrying one JSON text (control/json_payload.h),
// raised through the container's ControlSite.
//
// The control is portable and held, never derived from: each shell (the
// COM object, the plug-in, the control module, the bridge) owns one and
// hands it a ControlSite and a ShellPolicy (control/control_site.h). Its window is a platform message window;
// work done on other threads (the scanner SDK's callbacks, the request
// pool's worker) reaches it only as window messages, so that its state and
// its events stay on the window thread.
//
// Thread safety: construction, destruction, every method, every window
// message and every event belong to the thread that creates the control
// (the page's thread). The SDK callbacks and addScannedImage run on other
// threads and touch the control only through its window and its pool.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "control/add_image_request.h"
#include "control/control_site.h"
#include "control/json_payload.h"
#include "dialogs/dociva_dialog.h"
#include "platform/message_window.h"
#include "scanner/dociva_wrap.h"
#include "settings/scan_profile.h"
#include "settings/scan_settings.h"
#include "settings/setting_config.h"
#include "threadpool/thread_pool.h"
#include "viewer/view_convas_dlg.h"

// Private window messages: work of other threads carried onto the window
// thread.
inline constexpr std::uint32_t WM_SCAN_WARMUP = 1124;
inline constexpr std::uint32_t WM_SCAN_PAPER = 1125;
inline constexpr std::uint32_t WM_SCAN_FINISHED = 1126;
inline constexpr std::uint32_t WM_SCAN_END = 1127;
inline constexpr std::uint32_t WM_SCAN_BEGIN = 2024;
inline constexpr std::uint32_t WM_VIEWER_CHANGED = 2025;
// A start the SDK refused on another thread (a scanner button): the run is
// ended on the window thread.
inline constexpr std::uint32_t WM_SCAN_REFUSED = 2026;

// Status-log codes of the control's own, beside the SDK's statuses.
inline constexpr int kLogButtonNotSupported = 10;  // the SDK reported a press without a button id
inline constexpr int kLogButtonNotBound = 11;      // no usable profile or scanner for the button

// OnScanEnd codes: 0 the run ended (successful or not, as the status log
// says), 1 no such installed product, 2 the scanner is not registered,
// 3 the SDK refused the start, 4 ScanCancel stopped the run.
inline constexpr int kScanEndCancelled = 4;

// ScanCancel's results.
enum ScanCancelResult : std::int16_t {
    kCancelStopping = 0,     // a run was going; it ends with OnScanEnd code 4
    kCancelNoRun = 1,        // nothing to stop (or the run is already finishing its files)
    kCancelUnsupported = 2,  // the SDK cannot stop a scan
};

// Event dispatch ids.
enum ControlEvent : std::int32_t {
    kEventSourceReady = 1,
    kEventProfileReady = 2,
    kEventAfterScannerRegister = 3,
    kEventScanEnd = 4,
    kEventAfterSelectProfile = 5,
    kEventAfterScanSizesReady = 6,
    kEventUIButtonStatusChange = 7,
};

// Where the control finds its scanners. The product uses the SDK it is
// linked against and the machine's own places; tests hand in fakes.
struct ControlEnvironment {
    SdkCalls sdk;
    DiscoveryPlaces places;
    // Optional: called on the request pool's worker as it takes a scanned
    // file (false) and once the viewer shows it (true); benchmarks time
    // the worker through it.
    std::function<void(bool shown)> imageTurn;
};

class CDocivaOCXCtrl final : public ScannedImageTarget {
public:
    static constexpr int kInitialWidth = 665;
    static constexpr int kInitialHeight = 800;
    static constexpr std::size_t kMessageUnits = 256;

    // site must outlive the control.
    CDocivaOCXCtrl(ControlSite& site, const ControlEnvironment& environment, const ShellPolicy& policy = {});
    ~CDocivaOCXCtrl() override;
    CDocivaOCXCtrl(const CDocivaOCXCtrl&) = delete;
    CDocivaOCXCtrl& operator=(const CDocivaOCXCtrl&) = delete;

    // The create handler: 0, or -1 when the window cannot be made (nothing
    // else happens then). Sets up the page (below) unless the shell's
    // policy leaves that to the page.
    int OnCreate();
    // Installs the viewer's page-mode callback and raises OnProfileReady
    // and OnSourceReady.
    void setUpPage();
    bool hasWindow() const { return window_ != nullptr; }
    platform::MessageWindow* window() const { return window_.get(); }
    // True when no window message waits and the request pool is idle.
    bool isIdle() const;

    // ---- methods of the page ----
    void AboutBox() {}
    void ScannerRegister(const char16_t* productName);
    void RegScannerSourceCallback(void* func);
    void ScanStart(const char16_t* productName);
    // Asks the SDK to stop the running scan (a ScanCancelResult). The run
    // still ends through the SDK: pages written so far reach the viewer,
    // then OnScanEnd comes with code 4.
    std::int16_t ScanCancel();

    void SetScanType(std::int16_t v) { scanSettings_.scanType = v; }
    void SetContinuousScan(std::int16_t v) { scanSettings_.continuousScan = v; }
    void SetScanMode(std::int16_t v) { scanSettings_.scanMode = v; }
    void SetResolution(std::int16_t v) { scanSettings_.scanDpi = v; }
    void SetGamma(std::int16_t v) { scanSettings_.gamma = v; }
    void SetBrightness(std::int16_t v) { scanSettings_.brightness = v; }
    void SetContrast(std::int16_t v) { scanSettings_.contrast = v; }
    void SetProcessBlankPageRemoval(std::int16_t v) { scanSettings_.blankPageDetect = v; }
    void SetProcessPunchHoleRemoval(std::int16_t v) { scanSettings_.punchHoleErase = v; }
    void SetProcessInvert(std::int16_t v) { scanSettings_.invert = v; }
    void SetProcessWatermark(std::int16_t v) { watermarkEnabled_ = v != 0 ? 1 : 0; }
    void SetProcessAutoOrientation(std::int16_t v) { scanSettings_.orientation = v == 1 ? 2 : 0; }
    void SetProcessAutoMultiCrop(std::int16_t v) { scanSettings_.flatbedMultiCrop = v; }
    void SetProcessBWThreshold(std::int16_t v) { scanSettings_.bwThreshold = v; }
    // format: the format id the setter stands for.
    void SetOutputFormat(std::int32_t format, std::int16_t v);
    void SetOutputPageSplit(std::int16_t v) { scanSettings_.pageSplit = v; }
    void SetOutputScaleX(std::int16_t v) { scanSettings_.zoomX = v; }
    void SetOutputScaleY(std::int16_t v) { scanSettings_.zoomY = v; }
    void SetOutputChangeResolution(std::int16_t v) { scanSettings_.changeDpi = v; }
    void SetOutputJpegCompressionLevel(std::int16_t v) { scanSettings_.compress = v; }
    void SetOutputBWCompression(std::int16_t v) { scanSettings_.bwCompress = v / 100.0; }
    void SelectProfile(const char16_t* profilePath);
    void SetScanSize(std::int16_t sizeId);
    void SetCustomScanSize(double x, double y, double w, double h, std::int16_t unit);
    void SetProcessStrokeFillPosition(std::int16_t v);
    void SetProcessStrokeFillSize(std::int16_t v) { scanSettings_.strokeFillSize = v < 0 ? 0 : v; }
    void SetProcessGrayscaleChannel(std::int16_t v);
    std::u16string SelectFolder();
    std::u16string SelectAPFile();
    void SetSavetoFolder(const char16_t* v);
    void SetSavetoIsOpenSaveFolder(std::int16_t v) { scanSettings_.openSaveFolder = v == 1 ? 1 : 0; }
    void SetSavetoFileName(const char16_t* v) { setText(scanSettings_.fileName, v); }
    void SetSavetoLaunchAppPath(const char16_t* v) { setText(scanSettings_.apPath, v); }
    void SetSavetoLaunchAppParams(const char16_t* v) { setText(scanSettings_.apParams, v); }
    void SetRotate(std::int16_t v);

    void ViewSinglePage();
    void ViewThumb4();
    void ViewThumb9();
    void NormalView();
    void FullView();
    std::int16_t ZoomOut();
    std::int16_t ZoomIn();
    std::int16_t GoFirstPage();
    std::int16_t GoPrevPage();
    std::int16_t GoNextPage();
    std::int16_t GoLastPage();
    std::int16_t DeleteImage();
    std::int16_t RotateLeft();
    std::int16_t Rotate();
    std::int16_t RotateRight();
    std::int16_t Cut();
    std::int16_t Flip();
    std::int16_t Mirror();
    std::int16_t Undo();

    std::int16_t ExportProfile();
    std::int16_t SaveProfile();
    std::int16_t GetFileCount() const;
    std::u16string GetFileNameHelper();
    std::u16string GetFileNameExample(const char16_t* format);
    void OpenWatermarkSetting();
    std::int16_t Alert(const char16_t* title, const char16_t* message);
    void SetSplitMerge(std::int16_t v);
    void SetAutoSize(std::int16_t v) { scanSettings_.autoSize = v != 0 ? 1 : 0; }
    std::u16string GetConfigPath() const;
    std::u16string GetDriverPath() const { return currentScannerDirectory(); }
    std::u16string AssignProfileToScannerButton(std::int16_t buttonId, const char16_t* profilePath);
    std::u16string GetScannerButtonSetting();
    void SetEjectPaperDirection(std::int16_t v);
    void Initialize(const char16_t*) {}
    void SetOutputSplitFixPages(std::int16_t v) { scanSettings_.splitFixPages = v; }

    // ---- reports of the viewer's button states ----
    void reportNavigationStatus();
    void reportZoomViewStatus();
    void reportUndoStatus();
    void reportCutStatus();
    void reportAllButtonStatus();

    // The request pool's worker: shows the file (its kind as the shell's
    // policy says), then reports the button states on the window thread.
    // Returns the viewer's result.
    bool addScannedImageResult(const ImageReadyRecord& record);
    void addScannedImage(ImageReadyRecord record) override { addScannedImageResult(record); }

    // The status callback's work for a pressed scanner button (any thread).
    void onScannerButton(const int* buttonId);
    // Replaces the status log with one record (any thread).
    static void writeStatusLog(int code, const char16_t* text);
    // The status callback's text of an SDK status; empty for codes it does
    // not log.
    static std::u16string statusText(int code, const int* data);

    // The viewer's page-mode callback: 0 without a control, else reports
    // every button state and gives 1.
    static int ViewerChangedCallback(void* context);

    // ---- state, for the shells and for tests ----
    const ScanSettings& scanSettings() const { return scanSettings_; }
    const std::set<std::int32_t>& selectedFormats() const { return selectedFormats_; }
    std::uint8_t watermarkEnabled() const { return watermarkEnabled_; }
    bool isScanning() const { return isScanning_ != 0; }
    CViewConvasDlg& canvas() { return canvas_; }
    const CDocivaDialog& progressDialog() const { return progress_; }
    // The visible window the container shows the control in (null: none
    // any more); the progress dialog belongs to it and centres on it.
    void setOwnerWindow(void* window) { progress_.SetOwner(window); }
    // The SDK handle of the current scanner, 0 when it is not open.
    DocivaHandle currentScannerHandle() const;
    CDocivaWrap& wrapper() { return wrap_; }
    const std::u16string& moduleDirectory() const { return moduleDirectory_; }
    ControlSite& site() { return site_; }
    const ShellPolicy& policy() const { return policy_; }
    std::u16string& driverPathProperty() { return driverPath_; }

    // The control made last in this process (null when it is gone); the
    // SDK's status callback has no context and reaches the control
    // through it.
    static CDocivaOCXCtrl* currentControl();

    // Ends everything that calls into the control from other threads: the
    // request pool, the SDK's callbacks, the window. The destructor does it
    // first; a shell whose own parts show the control's viewer (the
    // plug-in's dialog) calls it before they go. Once only.
    void stopRunning();

private:
    std::intptr_t onMessage(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam);
    void fire(ControlEvent event, std::u16string_view data);
    void loadMessageTexts();
    void buildSourcesPayload();
    void buildProfilesPayload();
    void buildScanSizesPayload(const SourceCapability& capability);
    void reportRegistration(int code, const char16_t* message, const SourceCapability* capability);
    std::u16string currentScannerDirectory() const;
    std::u16string buttonConfigPath() const { return moduleDirectory_ + u"device_button.ini"; }
    std::u16string buttonList() const;
    void endRefusedRun();
    std::u16string profilesFolder() const;
    payload::ViewerState viewerState();
    // Runs a viewer method unless a scan is running (then 0, no report).
    template <typename Operation>
    std::int16_t viewerOperation(Operation operation, bool navigation, bool zoomView, bool undo, bool cut);
    static void setText(char16_t (&field)[kRecordTextUnits], const char16_t* value);

    static int SdkStatusCallback(int code, int* data);
    static void SdkEventCallback(int type, void* data, int value, void* context);

    ControlSite& site_;
    const ShellPolicy policy_;
    std::function<void(bool)> imageTurn_;
    CDocivaWrap wrap_;
    CDocivaDialog progress_;
    CViewConvasDlg canvas_;
    char16_t msgWarmingUp_[kMessageUnits] = {};
    char16_t msgScanning_[kMessageUnits] = {};
    char16_t msgScanFinish_[kMessageUnits] = {};
    char16_t msgProcessFinish_[kMessageUnits] = {};
    CScanProfile profile_;
    CSettingConfig settings_;
    std::atomic<std::uint8_t> isScanning_{0};
    // Counts the runs begun; WM_SCAN_BEGIN carries its run's number, and a
    // begin that arrives after its run already ended (a refused start ends
    // at once, before its posted begin is handled) shows nothing.
    std::atomic<std::uintptr_t> scanRun_{0};
    std::atomic<std::uintptr_t> endedRun_{~std::uintptr_t{0}};
    // The handle the current run was started on, and the run a cancel was
    // accepted for (its OnScanEnd then says so).
    std::atomic<DocivaHandle> runHandle_{0};
    std::atomic<std::uintptr_t> cancelledRun_{~std::uintptr_t{0}};
    TP::ThreadPool pool_;
    std::uint8_t watermarkEnabled_ = 0;
    std::u16string moduleDirectory_;
    ScanSettings scanSettings_;
    std::set<std::int32_t> selectedFormats_;
    std::u16string driverPath_;
    ScriptObjectRef sourceCallback_;
    std::unique_ptr<platform::MessageWindow> window_;
    // What other threads reach the window through: it outlives nothing.
    std::shared_ptr<platform::MessagePort> port_;
    // A scanner button starts scans on the SDK's thread while the page's
    // calls run on the window thread: the wrapper's maps, the active
    // profile and the message texts are shared between the two.
    mutable std::recursive_mutex scannerLock_;
    mutable std::recursive_mutex profileLock_;
    // stopRunning has run (kept apart from the members above).
    bool stopped_ = false;
};
