#include "scan_run.h"

#include <cstring>

#include "output_files.h"
#include "page_processing.h"
#include "page_source.h"
#include "scan_options.h"
#include "scanner/dociva_sdk.h"
#include "settings/scan_profile.h"
#include "platform/text.h"

namespace dociva_sdk {

namespace {

constexpr std::uint32_t kWarmupStepMs = 1000;

void endRun(RunHost& host, int code, int data) {
    host.status(code, code == DOCIVA_STATUS_SCAN_FAILED ? &data : nullptr);
    host.event(DOCIVA_EVENT_PROCESSING_FINISHED, nullptr, 0);
}

// Counts down in steps of a second; false when stopped meanwhile.
bool warmUp(std::uint32_t ms, RunHost& host) {
    std::uint32_t remaining = ms;
    host.event(DOCIVA_EVENT_WARMUP, reinterpret_cast<void*>(std::intptr_t{1}), static_cast<int>(remaining));
    while (remaining > 0) {
        const std::uint32_t step = std::min(kWarmupStepMs, remaining);
        if (!host.pause(step)) return false;
        remaining -= step;
        host.event(DOCIVA_EVENT_WARMUP, nullptr, static_cast<int>(remaining));
    }
    return true;
}

ImageReadyRecord recordOf(const WrittenFile& file) {
    ImageReadyRecord r{};
    // The SDK's text area carries the file's name for a reader of the record.
    text::copyBounded(r.textArea, std::size(r.textArea), file.path);
    text::copyBounded(r.filePath, kImageReadyPathCopyUnits + 1, file.path);
    r.formatCode = file.formatCode;
    r.extraByte = file.back ? 1 : 0;
    const auto side = static_cast<std::uint32_t>(file.sideNumber);
    std::memcpy(r.extraBytes, &side, sizeof side);
    return r;
}

// The run once its options are read: sides scanned, processed and written.
void writeRun(const DeviceDescription& device, const RunRequest& request, const ScanOptions& options,
              OutputFiles& output, RunHost& host) {
    if (!output.prepare()) return endRun(host, DOCIVA_STATUS_SCAN_FAILED, output.errorCode());

    const std::unique_ptr<PageSource> source = makePageSource(device, options);
    const std::size_t sideCount = source->sides().size();
    if (sideCount == 0) return endRun(host, DOCIVA_STATUS_NO_PAPER, 0);

    if (request.warmUp && device.warmupMs > 0 && !warmUp(device.warmupMs, host)) return;

    host.event(DOCIVA_EVENT_SCAN_STARTED, nullptr, static_cast<int>(sideCount));
    int failure = 0;
    for (std::size_t i = 0; i < sideCount && failure == 0; ++i) {
        if (host.stopping()) break;
        const Side& side = source->sides()[i];
        ImageOwner scanned = source->acquire(i);
        bool blank = false;
        ImageOwner page = scanned ? processSide(std::move(scanned), options, blank) : ImageOwner{};
        if (page) {
            if (!output.writeSide(page.get(), side.number, side.back)) failure = output.errorCode();
        } else if (!blank) {
            failure = kErrorReadPage;
        }
        host.event(DOCIVA_EVENT_SCAN_PROGRESS, nullptr, 1);
    }
    if (failure == 0 && !host.stopping() && !output.finish()) failure = output.errorCode();
    if (host.stopping()) {
        output.discard();
        return;
    }
    if (failure != 0) {
        output.discard();
        return endRun(host, DOCIVA_STATUS_SCAN_FAILED, failure);
    }
    host.event(DOCIVA_EVENT_SCAN_PROGRESS, nullptr, 0);
    host.event(DOCIVA_EVENT_PAPER_END, nullptr, 0);
    for (const WrittenFile& file : output.files()) {
        ImageReadyRecord record = recordOf(file);
        host.event(DOCIVA_EVENT_IMAGE_READY, &record, 0);
    }
    host.event(DOCIVA_EVENT_SCAN_FINISHED, nullptr, 0);
    int button = request.buttonId.value_or(-1);
    host.status(DOCIVA_STATUS_SCAN_SUCCESS, request.buttonId ? &button : nullptr);
    host.event(DOCIVA_EVENT_PROCESSING_FINISHED, nullptr, static_cast<int>(output.files().size()));
}

}  // namespace

ScanSettings settingsFromProfile(const std::u16string& profilePath) {
    ScanSettings settings;
    const CScanProfile profile(profilePath.c_str());
    std::uint8_t watermarkEnabled = 0;
    applyProfile(profile.profileSettings(), settings, watermarkEnabled);
    if (!watermarkEnabled) settings.watermarkType = 0;
    return settings;
}

void runScan(const DeviceDescription& device, const RunRequest& request, RunHost& host) {
    const ScanSettings settings = request.profilePath ? settingsFromProfile(*request.profilePath) : request.settings;

    ScanOptions options;
    if (readScanOptions(settings, device, options) != OptionsResult::Ok)
        return endRun(host, DOCIVA_STATUS_CAPABILITY_MISMATCH, 0);

    OutputFiles output(options);
    try {
        writeRun(device, request, options, output, host);
    } catch (...) {
        // Whatever ends a run early takes its files with it; the caller
        // reports the status.
        output.discard();
        throw;
    }
}

}  // namespace dociva_sdk
