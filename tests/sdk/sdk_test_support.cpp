#include "sdk/sdk_test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdio>

#include "platform/files.h"
#include "platform/path.h"
#include "platform/text.h"

namespace sdk_testing {

namespace {
std::atomic<Recorder*> g_statusRecorder{nullptr};
}

void writeDriver(const std::u16string& folder, const std::string& deviceLines) {
    platform::createDirectory(folder);
    testing_support::writeBytes(platform::joinPath(folder, u"module.ini"),
                                "[system]\nscannerid=23611,300\n[device]\n" + deviceLines);
}

Recorder::Recorder(DocivaHandle handle) {
    g_statusRecorder = this;
    dociva_RegisterCallback(handle, this, &statusThunk, &eventThunk);
}

Recorder::~Recorder() {
    Recorder* expected = this;
    g_statusRecorder.compare_exchange_strong(expected, nullptr);
    // Waits out a callback that is still publishing.
    std::lock_guard lock(mutex_);
}

int Recorder::statusThunk(int code, int* data) {
    Recorder* self = g_statusRecorder;
    if (!self) return 0;
    // Taken before the status is published: after that the test may drop
    // the recorder.
    const std::function<int(int, int*)> answerWith = self->onStatus;
    {
        // Notified under the lock: once a waiter sees the status, this
        // thread no longer touches the recorder, which may then go away.
        std::lock_guard lock(self->mutex_);
        self->statuses_.push_back(Status{code, data != nullptr, data ? *data : 0, std::this_thread::get_id()});
        self->changed_.notify_all();
    }
    int answer = code == DOCIVA_STATUS_BUTTON_PRESSED ? 1 : 0;
    if (answerWith) answer = answerWith(code, data);
    return answer;
}

void Recorder::eventThunk(int type, void* data, int value, void* context) {
    auto* self = static_cast<Recorder*>(context);
    Event e;
    e.type = type;
    e.value = value;
    if (type == DOCIVA_EVENT_IMAGE_READY && data) {
        const auto* record = static_cast<const ImageReadyRecord*>(data);
        e.data = 1;
        e.filePath = text::view(record->filePath);
        e.formatCode = record->formatCode;
        e.extraByte = record->extraByte;
    } else {
        e.data = reinterpret_cast<std::intptr_t>(data);
    }
    // Set before the run starts, so reading it here races with nothing.
    if (self->onEvent) self->onEvent(type, value);
    // Notified under the lock, so the test may drop the recorder as soon as
    // it has seen the event.
    std::lock_guard lock(self->mutex_);
    self->events_.push_back(e);
    self->changed_.notify_all();
}

bool Recorder::waitForRuns(int count, int timeoutMs) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
        return std::count_if(events_.begin(), events_.end(), [](const Event& e) { return e.type == 6; }) >= count;
    });
}

bool Recorder::waitForStatuses(std::size_t count, int timeoutMs) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return statuses_.size() >= count; });
}

std::vector<Event> Recorder::events() {
    std::lock_guard lock(mutex_);
    return events_;
}

std::vector<Status> Recorder::statuses() {
    std::lock_guard lock(mutex_);
    return statuses_;
}

std::vector<std::u16string> Recorder::files() {
    std::vector<std::u16string> out;
    for (const Event& e : events())
        if (e.type == DOCIVA_EVENT_IMAGE_READY) out.push_back(e.filePath);
    return out;
}

ScanSettings settingsFor(const std::u16string& folder, const char16_t* outImg, int scanType, int dpi) {
    ScanSettings s;
    s.scanType = scanType;
    s.scanMode = 2;
    s.scanDpi = dpi;
    s.scanAreaW = 4.0;
    s.scanAreaH = 3.0;
    text::copyBounded(s.saveToPath, kRecordTextUnits, folder);
    text::copyBounded(s.outImg, kRecordTextUnits, text::view(outImg));
    text::copyBounded(s.fileName, kRecordTextUnits, u"page_%COUNTER3%");
    return s;
}

std::vector<std::u16string> folderNames(const std::u16string& folder) {
    std::vector<std::u16string> names;
    for (const platform::FileEntry& e : platform::findFiles(platform::joinPath(folder, u"*")))
        if (e.name != u"." && e.name != u"..") names.push_back(e.name);
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<std::u16string> scanFolder(const std::u16string& input, const ScanSettings& s) {
    testing_support::TempDir driver;
    writeDriver(driver.path(), "source=1\nmaxWidth=8.5\nmaxHeight=11\npagesPerBatch=0\ninput=" +
                                   text::toUtf8(input) + "\n");
    DocivaHandle handle = dociva_OpenDriver(driver.path().c_str());
    if (!handle) {
        ADD_FAILURE() << "the driver of " << text::toUtf8(input) << " does not open";
        return {};
    }
    std::vector<std::u16string> files;
    {
        Recorder recorder(handle);
        if (dociva_StartScanAsync(handle, nullptr, &s, nullptr) != 0) {
            ADD_FAILURE() << "the scan does not start";
        } else if (!recorder.waitForRuns(1)) {
            ADD_FAILURE() << "the scan does not end";
        } else {
            files = recorder.files();
        }
    }
    dociva_CloseDriver(&handle);
    return files;
}

std::string runShell(const std::string& command) {
    std::string out;
#ifdef _WIN32
    FILE* pipe = _popen((command + " 2>&1").c_str(), "r");
#else
    FILE* pipe = popen((command + " 2>&1").c_str(), "r");
#endif
    if (!pipe) return out;
    std::array<char, 4096> buffer{};
    std::size_t n = 0;
    while ((n = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0) out.append(buffer.data(), n);
#ifdef _WIN32
    _pclose(pipe);
#else
    pclose(pipe);
#endif
    return out;
}

}  // namespace sdk_testing
