// The exported calls and the table of open handles. Each handle is an index
// into the table (never a pointer, so it fits 32 bits on 64-bit hosts).
//
// A handle's device owns its scan thread and the threads that report
// simulated statuses. Closing a handle takes it out of the table, silences
// its callbacks, stops a running scan at the next side and waits for every
// thread of the device, so no callback comes after dociva_CloseDriver
// returns. Threads share the device, so even a close from inside a callback
// (which cannot wait for its own thread) leaves nothing dangling.
//
// A cancel only marks the running scan and wakes its pauses (and a real
// device's read); the scan thread itself ends the run, so the caller never
// waits for a page to be written.
#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <vector>

#include "device_description.h"
#include "output_files.h"
#include "platform/sync.h"
#include "platform/system.h"
#include "scan_device.h"
#include "platform/text.h"
#include "scan_run.h"
#include "scanner/dociva_sdk.h"
#include "start_trace.h"

namespace dociva_sdk {

namespace {

struct Device {
    Device(DeviceDescription d, std::unique_ptr<ScanDevice> s) : description(std::move(d)), scanner(std::move(s)) {
        stop.create(true, false);
    }

    const DeviceDescription description;
    // The real device a SANE driver folder names, open while the handle is;
    // null for the virtual scanner. Set once; its runs are one at a time.
    const std::unique_ptr<ScanDevice> scanner;
    platform::CriticalSection lock;
    // Guarded by lock.
    StatusCallback statusCallback = nullptr;
    EventCallback eventCallback = nullptr;
    void* context = nullptr;
    bool closed = false;
    bool running = false;
    // The running scan was asked to end early; it has passed the point
    // where that could still change its end.
    bool cancelRequested = false;
    bool finishing = false;
    bool warm = false;
    // The size of the settings record the owner hands to starts: the
    // current form, or the earlier one a caller declared.
    std::size_t recordBytes = sizeof(ScanSettings);
    platform::Thread scanThread;
    // Polls a real device's buttons while the handle is open.
    platform::Thread buttonThread;
    // Threads that report statuses, and earlier runs' threads, until joined.
    std::vector<platform::Thread> reporters;
    // Set at close or at a cancel: ends pauses at once. Reset when a run
    // starts on an open handle.
    platform::Event stop;
};

class HandleTable {
public:
    DocivaHandle add(std::shared_ptr<Device> device) {
        std::lock_guard guard(lock_);
        do {
            ++last_;
        } while (last_ == 0 || devices_.count(last_) != 0);
        devices_[last_] = std::move(device);
        return last_;
    }
    std::shared_ptr<Device> find(DocivaHandle handle) {
        std::lock_guard guard(lock_);
        const auto it = devices_.find(handle);
        return it == devices_.end() ? nullptr : it->second;
    }
    std::shared_ptr<Device> remove(DocivaHandle handle) {
        std::lock_guard guard(lock_);
        const auto it = devices_.find(handle);
        if (it == devices_.end()) return nullptr;
        std::shared_ptr<Device> device = std::move(it->second);
        devices_.erase(it);
        return device;
    }

private:
    platform::CriticalSection lock_;
    std::map<DocivaHandle, std::shared_ptr<Device>> devices_;
    DocivaHandle last_ = 0;
};

HandleTable& handles() {
    static HandleTable table;
    return table;
}

// Calls the registered status callback outside the device's lock, unless
// the handle is closing.
void reportStatus(Device& device, int code, int* data) {
    StatusCallback callback = nullptr;
    {
        std::lock_guard guard(device.lock);
        if (device.closed) return;
        callback = device.statusCallback;
    }
    if (callback) callback(code, data);
}

void reportEvent(Device& device, int type, void* data, int value) {
    EventCallback callback = nullptr;
    void* context = nullptr;
    {
        std::lock_guard guard(device.lock);
        if (device.closed) return;
        callback = device.eventCallback;
        context = device.context;
    }
    if (callback) callback(type, data, value, context);
}

class DeviceHost final : public RunHost {
public:
    explicit DeviceHost(std::shared_ptr<Device> device) : device_(std::move(device)) {}
    void status(int code, int* data) override { reportStatus(*device_, code, data); }
    void event(int type, void* data, int value) override {
        // The owner may start again as soon as it learns the run ended.
        if (type == DOCIVA_EVENT_PROCESSING_FINISHED) {
            std::lock_guard guard(device_->lock);
            device_->running = false;
        }
        reportEvent(*device_, type, data, value);
    }
    bool pause(std::uint32_t ms) override { return device_->stop.wait(ms) == platform::WaitResult::TimedOut; }
    bool stopping() override {
        std::lock_guard guard(device_->lock);
        return device_->closed;
    }
    bool cancelled() override {
        std::lock_guard guard(device_->lock);
        return device_->cancelRequested;
    }
    bool beginFinishing() override {
        std::lock_guard guard(device_->lock);
        // A cancelled run stays cancelled: asked again, it still answers 0.
        if (device_->cancelRequested) return false;
        device_->finishing = true;
        return true;
    }

private:
    std::shared_ptr<Device> device_;
};

// Finished threads (status reporters and earlier runs) are joined so the
// list does not grow.
void pruneReporters(Device& device) {
    auto& list = device.reporters;
    for (auto it = list.begin(); it != list.end();) {
        if (it->wait(0) == platform::WaitResult::Signalled) {
            it->close();
            it = list.erase(it);
        } else {
            ++it;
        }
    }
}

// A few times a second is quick enough for a finger and costs the device
// next to nothing; a button pressed during a run is not reported (the
// device is busy, and the owner would refuse the start anyway).
constexpr std::uint32_t kButtonPollMs = 250;

void pollButtons(const std::shared_ptr<Device>& device) {
    const bool started = device->buttonThread.start([device]() -> std::uint32_t {
        while (device->stop.wait(kButtonPollMs) == platform::WaitResult::TimedOut) {
            {
                std::lock_guard guard(device->lock);
                if (device->running || device->closed) continue;
            }
            for (int id : device->scanner->pressedButtons()) reportStatus(*device, DOCIVA_STATUS_BUTTON_PRESSED, &id);
        }
        return 0;
    });
    if (!started) platform::debugOutput(u"dociva: no thread for the device's buttons; they are not reported\n");
}

int reportOnOwnThread(DocivaHandle handle, int code, std::optional<int> data) {
    std::shared_ptr<Device> device = handles().find(handle);
    if (!device) return -1;
    std::lock_guard guard(device->lock);
    if (device->closed) return -1;
    pruneReporters(*device);
    platform::Thread thread;
    const bool started = thread.start([device, code, data]() -> std::uint32_t {
        int value = data.value_or(0);
        reportStatus(*device, code, data ? &value : nullptr);
        return 0;
    });
    if (!started) return -1;
    device->reporters.push_back(std::move(thread));
    return 0;
}

}  // namespace

}  // namespace dociva_sdk

using dociva_sdk::Device;
using dociva_sdk::handles;

namespace {

// No exception leaves the SDK's calls: the caller is C (or a host that
// cannot take one), so anything thrown inside ends as the call's failure.
template <typename T, typename F>
T noThrow(T failure, F&& body) noexcept {
    try {
        return body();
    } catch (...) {
        return failure;
    }
}

DocivaHandle openDriver(const char16_t* driverDirectory) {
    if (!driverDirectory) return 0;
    auto description = dociva_sdk::readDeviceDescription(text::view(driverDirectory));
    if (!description) return 0;
    std::unique_ptr<dociva_sdk::ScanDevice> scanner;
    if (description->backend == dociva_sdk::Backend::Sane) {
        // The open fails as a driver that cannot load: the owner reports
        // that, and the debug output says why.
        std::u16string reason;
        scanner = dociva_sdk::openSaneDevice(description->saneDevice,
                                                {description->cancelWaitMs, description->readLimitMs}, reason);
        if (!scanner) {
            platform::debugOutput(u"dociva: driver " + description->driverDirectory + u": " + reason + u"\n");
            return 0;
        }
        description = scanner->describe(*description);
    }
    auto device = std::make_shared<Device>(std::move(*description), std::move(scanner));
    if (device->scanner && device->scanner->hasButtons()) dociva_sdk::pollButtons(device);
    return handles().add(std::move(device));
}

int getSourceCapability(DocivaHandle handle, SourceCapability* capability) {
    const std::shared_ptr<Device> device = handles().find(handle);
    if (!device || !capability) return -1;
    *capability = device->description.capability();
    return 0;
}

int registerCallback(DocivaHandle handle, void* context, StatusCallback status, EventCallback event) {
    const std::shared_ptr<Device> device = handles().find(handle);
    if (!device) return -1;
    std::lock_guard guard(device->lock);
    device->context = context;
    device->statusCallback = status;
    device->eventCallback = event;
    return 0;
}

int setSettingsForm(DocivaHandle handle, int recordBytes) {
    if (recordBytes != static_cast<int>(sizeof(ScanSettings)) &&
        recordBytes != static_cast<int>(sizeof(LegacyScanSettings)))
        return -1;
    const std::shared_ptr<Device> device = handles().find(handle);
    if (!device) return -1;
    std::lock_guard guard(device->lock);
    device->recordBytes = static_cast<std::size_t>(recordBytes);
    return 0;
}

int startScanAsync(DocivaHandle handle, const char16_t* profilePath, const ScanSettings* settings,
                   const int* buttonId) {
    const std::shared_ptr<Device> device = handles().find(handle);
    // Everything the run needs is copied now: the caller's record and id
    // live only for this call. An earlier-form record is only that long,
    // so only that much of it is read.
    dociva_sdk::RunRequest request;
    if (settings) {
        std::size_t recordBytes = sizeof(ScanSettings);
        if (device) {
            std::lock_guard guard(device->lock);
            recordBytes = device->recordBytes;
        }
        if (recordBytes == sizeof(LegacyScanSettings)) {
            LegacyScanSettings earlier;
            std::memcpy(static_cast<void*>(&earlier), settings, sizeof earlier);
            request.settings = fromLegacy(earlier);
        } else {
            request.settings = *settings;
        }
    }
    dociva_sdk::traceStart(handle, profilePath, settings ? &request.settings : nullptr, buttonId);
    if (!device) return -1;

    if (profilePath) request.profilePath = std::u16string(text::view(profilePath));
    if (buttonId) request.buttonId = *buttonId;

    bool busy = false;
    {
        std::lock_guard guard(device->lock);
        if (device->closed) return -1;
        busy = device->running || !device->description.ready;
        if (!busy) {
            // The last run's thread may still be returning from its final
            // event; it is joined later (or at close), never waited for here
            // under the lock its callbacks need.
            if (device->scanThread.valid()) device->reporters.push_back(std::move(device->scanThread));
            device->scanThread = platform::Thread();
            pruneReporters(*device);
            request.warmUp = !device->warm;
            device->warm = true;
            device->running = true;
            device->cancelRequested = false;
            device->finishing = false;
            // Not closed (tested above), so only an earlier cancel set it.
            device->stop.reset();
            const bool started = device->scanThread.start([device, request]() -> std::uint32_t {
                dociva_sdk::DeviceHost host(device);
                // A run must always end, or the owner stays busy; and
                // nothing may leave the thread (that would end the host).
                try {
                    dociva_sdk::runScan(device->description, request, host, device->scanner.get());
                } catch (const std::bad_alloc&) {
                    host.status(DOCIVA_STATUS_NO_MEMORY, nullptr);
                    host.event(DOCIVA_EVENT_PROCESSING_FINISHED, nullptr, 0);
                } catch (...) {
                    int code = dociva_sdk::kErrorInternal;
                    host.status(DOCIVA_STATUS_SCAN_FAILED, &code);
                    host.event(DOCIVA_EVENT_PROCESSING_FINISHED, nullptr, 0);
                }
                return 0;
            });
            if (!started) {
                device->running = false;
                device->warm = false;
            }
            busy = !started;
        }
    }
    if (busy) {
        dociva_sdk::reportStatus(*device, DOCIVA_STATUS_NOT_READY, nullptr);
        return -1;
    }
    return 0;
}

int closeDriver(DocivaHandle* handle) {
    if (!handle) return -1;
    const std::shared_ptr<Device> device = handles().remove(*handle);
    if (!device) return -1;
    platform::Thread scan;
    std::vector<platform::Thread> reporters;
    {
        std::lock_guard guard(device->lock);
        device->closed = true;
        device->statusCallback = nullptr;
        device->eventCallback = nullptr;
        device->context = nullptr;
        scan = std::move(device->scanThread);
        reporters = std::move(device->reporters);
        if (device->buttonThread.valid()) reporters.push_back(std::move(device->buttonThread));
    }
    device->stop.set();
    // A read from a real device may take its time; it ends now.
    if (device->scanner) device->scanner->cancel();
    // A close from one of the device's own threads cannot wait for that
    // thread; the thread holds the device, and the callbacks are silenced.
    if (scan.valid()) scan.wait(platform::kWaitForever);
    for (platform::Thread& t : reporters) t.wait(platform::kWaitForever);
    return 0;
}

int cancelScan(DocivaHandle handle) {
    const std::shared_ptr<Device> device = handles().find(handle);
    if (!device) return -1;
    {
        std::lock_guard guard(device->lock);
        if (device->closed) return -1;
        if (!device->running || device->finishing) return 1;
        device->cancelRequested = true;
    }
    device->stop.set();
    if (device->scanner) device->scanner->cancelBatch();
    return 0;
}

int simulateButtonPress(DocivaHandle handle, int buttonId) {
    return dociva_sdk::reportOnOwnThread(handle, DOCIVA_STATUS_BUTTON_PRESSED, buttonId);
}

int emitStatus(DocivaHandle handle, int code, int data, int hasData) {
    return dociva_sdk::reportOnOwnThread(handle, code, hasData ? std::optional<int>(data) : std::nullopt);
}

int listSaneDeviceLines(char16_t* buffer, int units) {
    std::vector<dociva_sdk::SaneDeviceEntry> devices;
    std::u16string reason;
    if (!dociva_sdk::listSaneDevices(devices, reason)) {
        platform::debugOutput(u"dociva: " + reason + u"\n");
        return -1;
    }
    std::u16string lines;
    for (const auto& d : devices) {
        // A tab or line break inside a field would break the line's form.
        auto field = [](std::u16string f) {
            for (char16_t& c : f)
                if (c == u'\t' || c == u'\n' || c == u'\r') c = u' ';
            return f;
        };
        lines += field(d.name) + u"\t" + field(d.vendor) + u"\t" + field(d.model) + u"\t" + field(d.type) + u"\n";
    }
    const int needed = static_cast<int>(lines.size() + 1);
    if (buffer && units >= needed) {
        std::copy(lines.begin(), lines.end(), buffer);
        buffer[lines.size()] = u'\0';
    }
    return needed;
}

}  // namespace

extern "C" {

DocivaHandle dociva_OpenDriver(const char16_t* driverDirectory) {
    return noThrow(DocivaHandle{0}, [&] { return openDriver(driverDirectory); });
}

int dociva_GetSourceCapability(DocivaHandle handle, SourceCapability* capability) {
    return noThrow(int{-1}, [&] { return getSourceCapability(handle, capability); });
}

int dociva_RegisterCallback(DocivaHandle handle, void* context, StatusCallback status, EventCallback event) {
    return noThrow(int{-1}, [&] { return registerCallback(handle, context, status, event); });
}

int dociva_SetSettingsForm(DocivaHandle handle, int recordBytes) {
    return noThrow(int{-1}, [&] { return setSettingsForm(handle, recordBytes); });
}

int dociva_StartScanAsync(DocivaHandle handle, const char16_t* profilePath, const ScanSettings* settings,
                          const int* buttonId) {
    return noThrow(int{-1}, [&] { return startScanAsync(handle, profilePath, settings, buttonId); });
}

int dociva_CloseDriver(DocivaHandle* handle) {
    return noThrow(int{-1}, [&] { return closeDriver(handle); });
}

int dociva_CancelScan(DocivaHandle handle) {
    return noThrow(int{-1}, [&] { return cancelScan(handle); });
}

int dociva_SimulateButtonPress(DocivaHandle handle, int buttonId) {
    return noThrow(int{-1}, [&] { return simulateButtonPress(handle, buttonId); });
}

int dociva_EmitStatus(DocivaHandle handle, int code, int data, int hasData) {
    return noThrow(int{-1}, [&] { return emitStatus(handle, code, data, hasData); });
}

int dociva_ListSaneDevices(char16_t* buffer, int units) {
    return noThrow(int{-1}, [&] { return listSaneDeviceLines(buffer, units); });
}

}  // extern "C"
