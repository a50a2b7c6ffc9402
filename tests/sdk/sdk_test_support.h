// Helpers of the SDK tests: a virtual scanner's driver directory, a
// recorder of everything the SDK reports, and a settings record to start.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "scanner/dociva_sdk.h"
#include "settings/scan_settings.h"
#include "support/test_support.h"

namespace sdk_testing {

// Writes folder/module.ini with a [device] section of the given lines.
void writeDriver(const std::u16string& folder, const std::string& deviceLines);

// Scans every page image in the folder input through a virtual feeder, with
// the settings s (whose folder, name and formats say where the files go):
// the files the run wrote, in order. A run that does not start or end is a
// failure of the case, and gives none.
std::vector<std::u16string> scanFolder(const std::u16string& input, const ScanSettings& s);

// What a shell command prints (standard output and error together).
std::string runShell(const std::string& command);

// Closes an open handle when the case ends, however it ends.
struct Closer {
    DocivaHandle handle;
    ~Closer() {
        if (handle) dociva_CloseDriver(&handle);
    }
};

struct Event {
    int type = 0;
    std::intptr_t data = 0;  // types 0: the integer; 7: 1 when a record came
    int value = 0;
    std::u16string filePath;  // type 7
    int formatCode = -1;      // type 7
    int extraByte = 0;        // type 7
};

struct Status {
    int code = 0;
    bool hasData = false;
    int data = 0;
    std::thread::id thread;
};

// Registers itself for one handle. Statuses carry no context, so one
// recorder at a time receives them.
class Recorder {
public:
    explicit Recorder(DocivaHandle handle);
    ~Recorder();

    // Waits until `count` type-6 events have come; false after timeoutMs.
    bool waitForRuns(int count, int timeoutMs = 60000);
    bool waitForStatuses(std::size_t count, int timeoutMs = 10000);
    std::vector<Event> events();
    std::vector<Status> statuses();
    std::vector<std::u16string> files();  // paths of the type-7 events
    // Called inside the status callback, on the SDK's thread (may be empty).
    std::function<int(int code, int* data)> onStatus;
    // Called inside the event callback, on the SDK's thread, before the
    // event is recorded; set it before a run starts.
    std::function<void(int type, int value)> onEvent;

private:
    static int statusThunk(int code, int* data);
    static void eventThunk(int type, void* data, int value, void* context);

    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<Event> events_;
    std::vector<Status> statuses_;
};

// A record as the control would hand it over for a feeder scan into folder.
ScanSettings settingsFor(const std::u16string& folder, const char16_t* outImg, int scanType = 1, int dpi = 100);

// The names in a folder, sorted.
std::vector<std::u16string> folderNames(const std::u16string& folder);

}  // namespace sdk_testing
