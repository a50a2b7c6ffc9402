#include "scan_run.h"

#include <cstring>

#include "output_files.h"
#include "page_processing.h"
#include "page_source.h"
#include "platform/text.h"
#include "scan_options.h"
#include "scanner/dociva_sdk.h"
#include "settings/scan_profile.h"

namespace dociva_sdk {

namespace {

constexpr std::uint32_t kWarmupStepMs = 1000;

void endRun(RunHost& host, int code, int data) {
    // A failing run ends as it failed: a cancel from now on is refused.
    host.beginFinishing();
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

// A cancelled run keeps what it has: the files of the sides written so far
// (finished by the caller) are announced, then the cancel is reported.
void endCancelled(RunHost& host, const OutputFiles* output) {
    int count = 0;
    if (output) {
        for (const WrittenFile& file : output->files()) {
            ImageReadyRecord record = recordOf(file);
            host.event(DOCIVA_EVENT_IMAGE_READY, &record, 0);
            ++count;
        }
    }
    host.status(DOCIVA_STATUS_SCAN_CANCELLED, nullptr);
    host.event(DOCIVA_EVENT_PROCESSING_FINISHED, nullptr, count);
}

// The run once its options are read and its device (if any) is set up:
// sides scanned, processed and written.
void writeRun(const DeviceDescription& device, const RunRequest& request, const ScanOptions& options,
              std::unique_ptr<PageSource> source, OutputFiles& output, RunHost& host) {
    DeviceFault fault;
    if (!output.prepare()) return endRun(host, DOCIVA_STATUS_SCAN_FAILED, output.errorCode());

    if (!source) source = makePageSource(device, options);
    if (!host.stopping() && host.cancelled()) return endCancelled(host, nullptr);
    if (!source->begin(fault)) {
        if (host.stopping()) return;
        if (host.cancelled()) return endCancelled(host, nullptr);
        return endRun(host, fault.status, fault.errorCode);
    }

    if (request.warmUp && device.warmupMs > 0 && !warmUp(device.warmupMs, host)) {
        if (host.stopping()) return;
        return endCancelled(host, nullptr);
    }

    host.event(DOCIVA_EVENT_SCAN_STARTED, nullptr, static_cast<int>(source->expectedSides()));
    fault = DeviceFault{};
    while (!host.stopping() && !host.cancelled()) {
        Side side;
        ImageOwner scanned;
        const Fetch fetched = source->next(side, scanned, fault);
        if (fetched == Fetch::End) break;
        if (fetched == Fetch::Fault) {
            // A read the cancel cut short is no fault: that side is dropped.
            if (host.cancelled()) fault = DeviceFault{};
            break;
        }
        bool blank = false;
        ImageOwner page = processSide(std::move(scanned), options, blank);
        if (page) {
            if (!output.writeSide(page.get(), side.number, side.back)) {
                fault = DeviceFault{DOCIVA_STATUS_SCAN_FAILED, output.errorCode()};
                break;
            }
        } else if (!blank) {
            fault = DeviceFault{DOCIVA_STATUS_SCAN_FAILED, kErrorReadPage};
            break;
        }
        host.event(DOCIVA_EVENT_SCAN_PROGRESS, nullptr, 1);
    }
    // The device is done with before the files are finished.
    source.reset();
    // Past this point a cancel is refused; one that came earlier still
    // gets the sides already written, in finished files (a fault met
    // meanwhile wins: the run then ends as it failed).
    const bool cancelRequested = !host.stopping() && !host.beginFinishing();
    const bool cancelled = fault.status == 0 && cancelRequested;
    if (fault.status == 0 && !host.stopping() && !output.finish())
        fault = DeviceFault{DOCIVA_STATUS_SCAN_FAILED, output.errorCode()};
    if (host.stopping()) {
        output.discard();
        return;
    }
    if (fault.status != 0) {
        output.discard();
        return endRun(host, fault.status, fault.errorCode);
    }
    if (cancelled) return endCancelled(host, &output);
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

namespace {

ScanSettings settingsOf(const ProfileSettings& profile) {
    ScanSettings settings;
    std::uint8_t watermarkEnabled = 0;
    applyProfile(profile, settings, watermarkEnabled);
    if (!watermarkEnabled) settings.watermarkType = 0;
    return settings;
}

}  // namespace

ScanSettings settingsFromProfile(const std::u16string& profilePath) {
    const CScanProfile profile(profilePath.c_str());
    return settingsOf(profile.profileSettings());
}

void runScan(const DeviceDescription& device, const RunRequest& request, RunHost& host, ScanDevice* scanner) {
    ScanOptions options;
    OptionsResult read = OptionsResult::Ok;
    if (request.profilePath) {
        const CScanProfile profile(request.profilePath->c_str());
        read = readScanOptions(settingsOf(profile.profileSettings()), device, options);
        // The record has no place for the Barcode section; the profile has.
        const bool wanted = options.barcode.wanted;
        options.barcode = barcodeOptionsOf(profile.profileSettings());
        options.barcode.wanted = wanted;
    } else {
        read = readScanOptions(request.settings, device, options);
    }
    if (read != OptionsResult::Ok) return endRun(host, DOCIVA_STATUS_CAPABILITY_MISMATCH, 0);

    // A device is set up before any file is made, so a refusal leaves the
    // output folder as it was.
    std::unique_ptr<PageSource> source;
    if (scanner) {
        DeviceFault fault;
        source = scanner->startBatch(options, fault);
        if (!source) {
            if (host.cancelled()) return endCancelled(host, nullptr);
            return endRun(host, fault.status, fault.errorCode);
        }
    }

    OutputFiles output(options);
    try {
        writeRun(device, request, options, std::move(source), output, host);
    } catch (...) {
        // Whatever ends a run early takes its files with it; the caller
        // reports the status.
        output.discard();
        throw;
    }
}

}  // namespace dociva_sdk
