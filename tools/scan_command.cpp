// dociva scan: one scan through the linked SDK, the way the control starts
// it, with every event and status printed as it comes. Lets an
// installation's scanner be tried without a browser.
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <mutex>
#include <string>
#include <vector>

#include "platform/console.h"
#include "platform/files.h"
#include "platform/path.h"
#include "platform/private_profile.h"
#include "platform/text.h"
#include "scanner/dociva_wrap.h"
#include "scanner/sdk_calls.h"
#include "settings/scan_settings.h"
#include "tools/commands.h"

const char kScanUsage[] =
    "  scan DRIVER_DIR OUTPUT_DIR [--formats \"1, 9\"] [--dpi N] [--pages N]\n"
    "                                            scans with that driver into OUTPUT_DIR, printing\n"
    "                                            each event and status, then the files written;\n"
    "                                            --pages sets the feeder's pages for this scan\n";

namespace {

// A scanner that never ends its run must not hang the tool.
constexpr auto kRunTimeout = std::chrono::minutes(10);
constexpr char16_t kDriverCopyFolder[] = u".dociva-scan-driver";

int usage() {
    platform::writeStderr(std::string("usage:\n") + kScanUsage);
    return 2;
}

bool parseInteger(const std::u16string& s, long minimum, long maximum, int& value) {
    const std::string a = text::toUtf8(s);
    if (a.empty() || a.find_first_not_of("0123456789") != std::string::npos) return false;
    errno = 0;
    const long parsed = std::strtol(a.c_str(), nullptr, 10);
    if (errno != 0 || parsed < minimum || parsed > maximum) return false;
    value = static_cast<int>(parsed);
    return true;
}

// Creates the folder with every missing level.
bool createFolders(const std::u16string& folder) {
    if (folder.empty() || platform::isDirectory(folder)) return true;
    const std::u16string parent = platform::folderOf(folder);
    if (!parent.empty() && parent != folder && !createFolders(parent)) return false;
    return platform::createDirectory(folder) || platform::isDirectory(folder);
}

bool isAbsolute(std::u16string_view path) {
    return !path.empty() && (platform::isPathSeparator(path[0]) || platform::hasDrive(path));
}

// What one run reports; every line goes out as it comes.
class RunLog {
public:
    void line(const std::u16string& text) {
        std::lock_guard lock(mutex_);
        platform::writeStdout(text::toUtf8(text) + "\n");
    }
    void event(int type, void* data, int value) {
        std::lock_guard lock(mutex_);
        std::u16string text;
        if (type == DOCIVA_EVENT_IMAGE_READY && data) {
            const auto* record = static_cast<const ImageReadyRecord*>(data);
            const std::u16string path = text::cut(text::view(record->filePath), kImageReadyPathCopyUnits);
            text = text::format(u"event %d format %d back %d file %s", type, record->formatCode,
                                static_cast<int>(record->extraByte), path);
            files_.push_back(path);
        } else if (type == DOCIVA_EVENT_WARMUP) {
            text = text::format(u"event %d data %d value %d", type, static_cast<int>(reinterpret_cast<std::intptr_t>(data)),
                                value);
        } else {
            text = text::format(u"event %d value %d", type, value);
        }
        platform::writeStdout(text::toUtf8(text) + "\n");
        if (type == DOCIVA_EVENT_PROCESSING_FINISHED) {
            finished_ = true;
            changed_.notify_all();
        }
    }
    void status(int code, const int* data) {
        std::lock_guard lock(mutex_);
        const std::u16string text =
            data ? text::format(u"status %d data %d", code, *data) : text::format(u"status %d", code);
        platform::writeStdout(text::toUtf8(text) + "\n");
        lastStatus_ = code;
    }
    bool waitForEnd() {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, kRunTimeout, [&] { return finished_; });
    }
    std::vector<std::u16string> files() {
        std::lock_guard lock(mutex_);
        return files_;
    }
    int lastStatus() {
        std::lock_guard lock(mutex_);
        return lastStatus_;
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::u16string> files_;
    bool finished_ = false;
    int lastStatus_ = -1;
};

// Statuses come without a context; the tool runs one scan at a time.
RunLog* g_statusLog = nullptr;
std::mutex g_statusMutex;

int onStatus(int code, int* data) {
    std::lock_guard lock(g_statusMutex);
    if (g_statusLog) g_statusLog->status(code, data);
    // A button press would ask for a scan of its own: this tool declines.
    return 0;
}

void onEvent(int type, void* data, int value, void* context) { static_cast<RunLog*>(context)->event(type, data, value); }

// A copy of the driver description that feeds `pages` sheets, in a hidden
// folder of its own inside the output folder; its input folder still
// points at the original's. The copy and its folder go again however the
// run ends, so an output folder holds only the scans.
class DriverCopy {
public:
    DriverCopy() = default;
    ~DriverCopy() { remove(); }
    DriverCopy(const DriverCopy&) = delete;
    DriverCopy& operator=(const DriverCopy&) = delete;

    // False when the copy cannot be made; whatever part of it was made is
    // removed at once.
    bool make(const std::u16string& driver, const std::u16string& output, int pages) {
        const std::u16string from = platform::joinPath(driver, u"module.ini");
        const std::u16string folder = platform::joinPath(output, kDriverCopyFolder);
        if (!createFolders(folder)) return false;
        folder_ = folder;
        if (!fill(driver, from, platform::joinPath(folder, u"module.ini"), pages)) {
            remove();
            return false;
        }
        return true;
    }

    const std::u16string& folder() const { return folder_; }

    // Deletes the copy and its folder; false when the folder is still
    // there (something else was put in it).
    bool remove() {
        if (folder_.empty()) return true;
        platform::deleteFile(platform::joinPath(folder_, u"module.ini"));
        const bool removed = platform::removeDirectory(folder_) || !platform::pathExists(folder_);
        folder_.clear();
        return removed;
    }

private:
    static bool fill(const std::u16string& driver, const std::u16string& from, const std::u16string& to, int pages) {
        if (!platform::copyFile(from, to, false)) return false;
        char16_t input[kRecordTextUnits] = {};
        platform::getPrivateProfileString(u"device", u"input", u"", input, kRecordTextUnits, from.c_str());
        const std::u16string inputPath(text::view(input));
        if (!inputPath.empty() && !isAbsolute(inputPath)) {
            const std::u16string absolute = platform::joinPath(driver, inputPath);
            if (!platform::writePrivateProfileString(u"device", u"input", absolute.c_str(), to.c_str())) return false;
        }
        const std::u16string count = text::format(u"%d", pages);
        return platform::writePrivateProfileString(u"device", u"pagesPerBatch", count.c_str(), to.c_str());
    }

    std::u16string folder_;
};

}  // namespace

int runScanCommand(const Arguments& args) {
    if (args.size() < 2) return usage();
    const std::u16string driver = args[0];
    const std::u16string output = args[1];
    std::u16string formats = u"1, 9";
    int dpi = 200;
    int pages = -1;
    for (std::size_t i = 2; i < args.size(); i += 2) {
        if (i + 1 >= args.size()) return usage();
        if (args[i] == u"--formats") {
            formats = args[i + 1];
            if (formats.size() >= kRecordTextUnits) return usage();
        } else if (args[i] == u"--dpi") {
            if (!parseInteger(args[i + 1], 1, 100000, dpi)) return usage();
        } else if (args[i] == u"--pages") {
            if (!parseInteger(args[i + 1], 1, 10000, pages)) return usage();
        } else {
            return usage();
        }
    }
    if (driver.empty() || output.empty()) return usage();

    DriverCopy copy;
    if (pages > 0 && !copy.make(driver, output, pages)) {
        platform::writeStderr("dociva scan: cannot prepare the driver copy in " + text::toUtf8(output) + "\n");
        return 1;
    }
    const std::u16string opened = pages > 0 ? copy.folder() : driver;

    // Declared before the source: the source's close, which silences the
    // callbacks, runs before the log goes away.
    RunLog log;
    const SdkCalls sdk = linkedSdkCalls();
    int exitCode = 1;
    {
        ScannerSource source(&sdk);
        if (!source.open(driver.c_str(), opened.c_str())) {
            platform::writeStderr("dociva scan: the SDK cannot open the driver in " + text::toUtf8(driver) + "\n");
        } else {
            log.line(text::format(u"opened source %d duplex %d max %.2f x %.2f", static_cast<int>(source.capability.source),
                                  static_cast<int>(source.capability.isDuplex), source.capability.maxWidth,
                                  source.capability.maxHeight));
            ScanSettings settings;
            // Both sides of a duplex feeder, fronts of a simplex one, the
            // glass of a flatbed.
            settings.scanType = source.capability.source == 0 ? 0 : (source.capability.isDuplex ? 3 : 1);
            settings.scanMode = 2;
            settings.scanDpi = dpi;
            text::copyBounded(settings.outImg, kRecordTextUnits, formats);
            text::copyBounded(settings.fileName, kRecordTextUnits, u"scan_%COUNTER3%");
            text::copyBounded(settings.saveToPath, kRecordTextUnits, output);
            {
                std::lock_guard lock(g_statusMutex);
                g_statusLog = &log;
            }
            sdk.registerCallback(source.handle, &log, &onStatus, &onEvent);
            const int started = sdk.startScanAsync(source.handle, nullptr, &settings, nullptr);
            if (started != 0) {
                log.line(text::format(u"start refused %d", started));
            } else if (!log.waitForEnd()) {
                log.line(u"no end of the run after 10 minutes");
            } else {
                const std::vector<std::u16string> files = log.files();
                log.line(text::format(u"files %d", static_cast<int>(files.size())));
                for (const auto& f : files) log.line(f);
                if (log.lastStatus() == DOCIVA_STATUS_SCAN_SUCCESS) exitCode = 0;
            }
        }
    }
    {
        std::lock_guard lock(g_statusMutex);
        g_statusLog = nullptr;
    }
    // After the source's close: the SDK reads the copy until then.
    const std::u16string copyFolder = copy.folder();
    if (!copy.remove())
        platform::writeStderr("dociva scan: cannot remove " + text::toUtf8(copyFolder) + "\n");
    return exitCode;
}
