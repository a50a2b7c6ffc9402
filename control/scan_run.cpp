// The control's scan run: starting it (ScanStart), the SDK's events carried
// onto the window thread as private messages, the progress dialog they
// drive, and the run's end (OnScanEnd). A run started by a scanner button
// begins in control/scanner_buttons.cpp and ends here alike.
//
// Thread safety: SdkEventCallback runs on the SDK's thread and reaches the
// control only through its window port and its request pool; everything
// else runs on the window thread.
#include <algorithm>

#include "control/control_detail.h"
#include "control/docivaocx_ctrl.h"
#include "platform/system.h"
#include "platform/text.h"

using control_detail::kFixedTextUnits;
using control_detail::readScannerName;

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
    case WM_SCAN_END: {
        const std::uintptr_t run = scanRun_.load();
        endedRun_.store(run);
        progress_.Show(false);
        fire(kEventScanEnd, payload::scanEnd(cancelledRun_.load() == run ? kScanEndCancelled : 0));
        isScanning_.store(0);
        return 0;
    }
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
    runHandle_.store(source->handle);
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

std::int16_t CDocivaOCXCtrl::ScanCancel() {
    if (!isScanning_.load()) return kCancelNoRun;
    const std::uintptr_t run = scanRun_.load();
    const DocivaHandle handle = runHandle_.load();
    // A button start between its busy flag and its handle: nothing the SDK
    // runs yet.
    if (handle == 0) return kCancelNoRun;
    switch (wrap_.cancelScan(handle)) {
    case CDocivaWrap::CancelResult::Stopping:
        // The run's end is handled on this thread too, so it cannot slip in
        // between the SDK's answer and this mark.
        cancelledRun_.store(run);
        return kCancelStopping;
    case CDocivaWrap::CancelResult::NoRun: return kCancelNoRun;
    case CDocivaWrap::CancelResult::Unsupported: break;
    }
    return kCancelUnsupported;
}

DocivaHandle CDocivaOCXCtrl::currentScannerHandle() const {
    const std::u16string name = readScannerName(settings_);
    if (name.empty()) return 0;
    std::lock_guard lock(scannerLock_);
    const ScannerSource* source = wrap_.getSource(name.c_str());
    return source ? source->handle : 0;
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
