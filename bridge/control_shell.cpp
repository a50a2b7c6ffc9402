#include "bridge/control_shell.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <filesystem>
#include <map>
#include <new>
#include <random>
#include <vector>
#include <system_error>
#include <utility>

#include "bridge/service_rules.h"
#include "control/control_site.h"
#include "control/dispatch.h"
#include "control/docivaocx_ctrl.h"
#include "control/host_bridge.h"
#include "platform/files.h"
#include "platform/path.h"
#include "platform/text.h"
#include "scanner/sdk_calls.h"
#include "viewer/viewer_document.h"

namespace bridge {

namespace {

using nlohmann::json;

// Posted to the control's window only to end its pump's wait when a call
// arrives; the control leaves messages it does not know alone. Its pump
// also returns every kPumpMs, so a call is never stranded.
constexpr std::uint32_t kWakeMessage = 0x7B00;
constexpr std::uint32_t kPumpMs = 250;
constexpr std::uint64_t kMaxPictureBytes = 16u << 20;

// Where this session's viewer picture is saved before it is sent: a name of
// its own in the temporary folder, removed when the session ends.
class PictureFile {
public:
    PictureFile() {
        std::error_code ec;
        const auto folder = std::filesystem::temp_directory_path(ec);
        std::random_device random;
        const std::string name = "dociva-viewer-" + std::to_string(random()) + std::to_string(random()) + ".png";
        path_ = (ec ? std::filesystem::path(".") : folder) / name;
        const std::u8string utf8 = path_.u8string();
        text_ = text::fromUtf8(std::string_view(reinterpret_cast<const char*>(utf8.data()), utf8.size()));
    }
    ~PictureFile() {
        std::error_code ec;
        std::filesystem::remove(path_, ec);
    }
    PictureFile(const PictureFile&) = delete;
    PictureFile& operator=(const PictureFile&) = delete;

    // The viewer's picture as PNG bytes; empty when it cannot be saved.
    std::string take(CDocivaOCXCtrl& control) {
        std::string bytes;
        if (host_bridge::savePicture(control, text_.c_str()) != 0) return bytes;
        if (!platform::readFile(text_, bytes, kMaxPictureBytes)) bytes.clear();
        return bytes;
    }

private:
    std::filesystem::path path_;
    std::u16string text_;
};

std::string utf8(std::u16string_view s) { return text::toUtf8(s); }

// A page reads whole files into memory on both sides; beyond this it
// cannot have been a scan.
constexpr std::uint64_t kMaxFileBytes = std::uint64_t{512} << 20;

// The files of this session: those its scans brought into the viewer (the
// only way a file gets there), under ids handed out here. An id names a
// file only while the viewer holds it, and only in this session.
class SessionFiles {
public:
    nlohmann::json list(CDocivaOCXCtrl& control) {
        nlohmann::json out = nlohmann::json::array();
        for (const auto& [path, pages] : held(control)) {
            out.push_back({{"file", idFor(path)}, {"name", utf8(platform::fileNameOf(path))}, {"pages", pages}});
        }
        return out;
    }

    std::optional<std::u16string> find(CDocivaOCXCtrl& control, const std::string& id) {
        if (!wellFormedFileId(id)) return std::nullopt;
        const auto it = pathById_.find(id);
        if (it == pathById_.end()) return std::nullopt;
        for (const auto& [path, pages] : held(control)) {
            if (path == it->second) return path;
        }
        return std::nullopt;
    }

private:
    static std::vector<std::pair<std::u16string, int>> held(CDocivaOCXCtrl& control) {
        std::vector<std::pair<std::u16string, int>> files;
        CImageViewer& viewer = control.canvas().Viewer();
        const int count = viewer.GetFileCount();
        for (int i = 0; i < count; ++i) {
            viewer.WithDocument(i, [&](ViewerDocument* document) {
                if (document && !document->pages.empty() && document->pages.front())
                    files.emplace_back(document->pages.front()->Path(), static_cast<int>(document->pages.size()));
            });
        }
        return files;
    }

    std::string idFor(const std::u16string& path) {
        if (const auto it = idByPath_.find(path); it != idByPath_.end()) return it->second;
        static constexpr char kHex[] = "0123456789abcdef";
        std::string id;
        for (int i = 0; i < 4; ++i) {
            std::uint32_t word = random_();
            for (int j = 0; j < 8; ++j, word >>= 4) id += kHex[word & 15];
        }
        idByPath_.emplace(path, id);
        pathById_.emplace(id, path);
        return id;
    }

    std::random_device random_;
    std::map<std::u16string, std::string> idByPath_;
    std::map<std::string, std::u16string> pathById_;
};

class BridgeDialogs final : public platform::DialogService {
public:
    explicit BridgeDialogs(ControlShell& shell) : shell_(shell) {}

    std::optional<std::u16string> inputBox(std::u16string_view caption, std::u16string_view prompt,
                                           std::u16string_view initial) override {
        // The input box's edit takes at most 255 characters.
        return text(shell_.ask("input", {{"caption", utf8(caption)}, {"prompt", utf8(prompt)}, {"initial", utf8(initial)}}),
                    255);
    }
    platform::FolderResult chooseFolder(std::u16string_view caption, std::u16string_view initialFolder, std::uint32_t,
                                        void*) override {
        auto chosen = text(shell_.ask("folder", {{"caption", utf8(caption)}, {"folder", utf8(initialFolder)}}), 259);
        if (!chosen) return {};
        return {platform::FolderChoice::Chosen, std::move(*chosen)};
    }
    std::optional<std::u16string> openFile(std::u16string_view filter, void*) override {
        return text(shell_.ask("file", {{"filter", utf8(filter)}}), 259);
    }
    int alert(std::u16string_view caption, std::u16string_view message) override {
        const auto answer = shell_.ask("alert", {{"caption", utf8(caption)}, {"message", utf8(message)}});
        // The alert's result: what the page says (1 OK), 0 when closed.
        if (!answer) return 0;
        if (answer->is_number_integer()) return static_cast<int>(answer->get<std::int64_t>() == 0 ? 0 : 1);
        if (answer->is_boolean()) return answer->get<bool>() ? 1 : 0;
        return 1;
    }
    bool editWatermark(platform::WatermarkSettings& record) override {
        const auto answer = shell_.ask("watermark", {{"caption", "Wartermark Setting"}, {"record", watermarkToJson(record)}});
        if (!answer || !answer->is_object()) return false;
        // The watermark's image is a file the scanner's software draws into
        // every page, which the page can then read back: a page may change
        // everything but the file.
        char16_t image[260];
        std::copy(std::begin(record.image), std::end(record.image), std::begin(image));
        applyWatermark(*answer, record);
        std::copy(std::begin(image), std::end(image), std::begin(record.image));
        return true;
    }

private:
    static std::optional<std::u16string> text(const std::optional<json>& answer, std::size_t maxUnits) {
        if (!answer || !answer->is_string()) return std::nullopt;
        return text::cut(text::fromUtf8(answer->get_ref<const std::string&>()), maxUnits);
    }

    ControlShell& shell_;
};

// The profiles a page may select: those the control listed to it (the
// profiles folder, in its last OnProfileReady) and the default profile.
// SelectProfile itself reads any file, and its values go back to the page
// in OnAfterSelectProfile; through the service that would let a page read
// keys of any INI file on the disk.
class SelectableProfiles {
public:
    void listed(std::u16string_view data) {
        const json payload = json::parse(utf8(data), nullptr, false);
        if (payload.is_discarded() || !payload.contains("profiles") || !payload["profiles"].is_array()) return;
        paths_.clear();
        for (const auto& profile : payload["profiles"]) {
            if (profile.is_object() && profile.contains("path") && profile["path"].is_string())
                paths_.push_back(text::fromUtf8(profile["path"].get<std::string>()));
        }
    }

    bool allows(CDocivaOCXCtrl& control, const json& args) const {
        if (args.size() != 1) return true;  // the dispatch refuses the count
        if (args[0].is_null() || (args[0].is_string() && args[0].get_ref<const std::string&>().empty())) return true;
        if (!args[0].is_string()) return false;  // a number or a boolean would become a relative path
        const std::u16string path = text::fromUtf8(args[0].get_ref<const std::string&>());
        if (path == control.moduleDirectory() + u"dociva.ini") return true;
        for (const auto& listed : paths_) {
            if (path == listed) return true;
        }
        return false;
    }

private:
    std::vector<std::u16string> paths_;
};

class BridgeSite final : public ControlSite {
public:
    BridgeSite(ControlShell& shell, Outbox& outbox) : outbox_(outbox), dialogs_(shell) {}

    void fireEvent(std::int32_t, std::u16string_view name, std::u16string_view data) override {
        if (name == u"OnProfileReady") profiles.listed(data);
        outbox_.send(eventMessage(name, data));
    }
    SelectableProfiles profiles;
    // No script object crosses the bridge (an object argument is refused
    // before the call), so the control is never handed one to keep.
    void addRefObject(void*) override {}
    void releaseObject(void*) override {}
    platform::DialogService& dialogs() override { return dialogs_; }

private:
    Outbox& outbox_;
    BridgeDialogs dialogs_;
};

bool sameProgress(const DocivaProgress& a, const DocivaProgress& b) {
    return a.exists == b.exists && a.visible == b.visible && a.position == b.position && a.low == b.low &&
           a.high == b.high && a.timesShown == b.timesShown && text::view(a.text) == text::view(b.text);
}

json resultValue(const dispatch::Result& result) {
    if (result.type == DOCIVA_I2) return result.i2;
    if (result.type == DOCIVA_STRING) return utf8(result.text);
    return nullptr;
}

// One call on the control's thread; every event it raises is sent before
// its reply.
std::string runCall(CDocivaOCXCtrl& control, const SelectableProfiles& profiles, const CallMessage& call) {
    const std::u16string name = text::fromUtf8(call.method);
    if (const auto why = pageRefusal(name); !why.empty()) return serviceErrorMessage(call.id, "denied", why);
    if (text::equalsIgnoreAsciiCase(name, u"SelectProfile") && !profiles.allows(control, call.args))
        return serviceErrorMessage(call.id, "denied", "a page selects only the profiles the control listed to it");
    std::int32_t dispid = 0;
    if (const std::int32_t hr = dispatch::dispIdOf(name, dispid); hr != DOCIVA_OK) return refusalMessage(call.id, hr, -1);
    std::uint32_t bad = 0;
    const auto args = Arguments::from(call.args, bad);
    if (!args) return refusalMessage(call.id, DOCIVA_E_TYPEMISMATCH, bad);
    if (clearsLaunchSettings(name)) {
        control.SetSavetoLaunchAppPath(u"");
        control.SetSavetoLaunchAppParams(u"");
    }
    dispatch::Result result;
    std::uint32_t badArgument = ~std::uint32_t{0};
    std::int32_t hr = DOCIVA_OK;
    try {
        hr = dispatch::invoke(control, dispid, args->data(), args->size(), result, &badArgument);
    } catch (const std::bad_alloc&) {
        return serviceErrorMessage(call.id, "failed", "out of memory");
    }
    if (hr != DOCIVA_OK) {
        return refusalMessage(call.id, hr, badArgument == ~std::uint32_t{0} ? -1 : std::int64_t{badArgument});
    }
    return resultMessage(call.id, resultValue(result));
}

}  // namespace

ControlShell::ControlShell(std::shared_ptr<Outbox> outbox, ShellOptions options, std::function<void()> finished)
    : outbox_(std::move(outbox)), options_(options), finished_(std::move(finished)) {
    thread_ = std::thread([this] { run(); });
}

ControlShell::~ControlShell() {
    stop();
    if (thread_.joinable()) thread_.join();
}

bool ControlShell::file(FileMessage request) {
    {
        std::lock_guard lock(mutex_);
        if (stopping_) return true;
        if (calls_.size() >= options_.maxQueuedCalls) return false;
        calls_.push_back(std::move(request));
    }
    wake();
    return true;
}

bool ControlShell::enqueue(CallMessage call) {
    {
        std::lock_guard lock(mutex_);
        if (stopping_) return true;  // the session is ending; nothing will answer
        if (calls_.size() >= options_.maxQueuedCalls) return false;
        calls_.push_back(std::move(call));
    }
    wake();
    return true;
}

void ControlShell::mouse(MouseMessage message) {
    {
        std::lock_guard lock(mutex_);
        if (stopping_ || calls_.size() >= options_.maxQueuedCalls) return;
        calls_.push_back(message);
    }
    wake();
}

void ControlShell::viewer(bool on) {
    {
        std::lock_guard lock(mutex_);
        viewerOn_ = on;
        viewerChanged_ = on;
    }
    wake();
}

void ControlShell::answer(AnswerMessage message) {
    std::lock_guard lock(mutex_);
    if (message.dialog == 0 || message.dialog != openDialog_ || dialogAnswer_) return;
    dialogAnswer_ = std::move(message.value);
    answered_.notify_all();
}

void ControlShell::stop() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        calls_.clear();
        answered_.notify_all();
    }
    wake();
}

void ControlShell::wake() {
    std::shared_ptr<platform::MessagePort> port;
    {
        std::lock_guard lock(mutex_);
        port = port_;
    }
    if (port) port->post(kWakeMessage, 0, 0);
}

std::optional<json> ControlShell::ask(std::string_view kind, const json& fields) {
    std::uint64_t dialog = 0;
    {
        std::lock_guard lock(mutex_);
        if (stopping_) return std::nullopt;
        dialog = ++nextDialog_;
        openDialog_ = dialog;
        dialogAnswer_.reset();
    }
    outbox_->send(dialogMessage(dialog, kind, fields));
    std::unique_lock lock(mutex_);
    const bool answered = answered_.wait_for(lock, std::chrono::milliseconds(options_.dialogTimeoutMs),
                                             [&] { return stopping_ || dialogAnswer_.has_value(); });
    std::optional<json> result;
    const char* why = "closed";
    if (dialogAnswer_) {
        why = "answered";
        if (!dialogAnswer_->is_null()) result = std::move(*dialogAnswer_);
    } else if (!answered) {
        why = "timeout";
    }
    openDialog_ = 0;
    dialogAnswer_.reset();
    lock.unlock();
    outbox_->send(dialogClosedMessage(dialog, why));
    return result;
}

void ControlShell::run() {
    {
        BridgeSite site(*this, *outbox_);
        ControlEnvironment environment;
        environment.sdk = linkedSdkCalls();
        std::optional<CDocivaOCXCtrl> control;
        try {
            control.emplace(site, environment);
        } catch (const std::exception&) {
            outbox_->send(serviceErrorMessage(nullptr, "failed", "the control could not be made"));
        }
        if (control && control->OnCreate() != 0) {
            outbox_->send(serviceErrorMessage(nullptr, "failed", "the control's window could not be made"));
            control.reset();
        }
        if (control) {
            {
                std::lock_guard lock(mutex_);
                port_ = control->window()->port();
            }
            DocivaProgress shown{};
            const auto reportProgress = [&] {
                const DocivaProgress now = host_bridge::progress(*control);
                if (sameProgress(now, shown)) return;
                shown = now;
                outbox_->send(progressMessage(now));
            };
            reportProgress();
            PictureFile pictureFile;
            SessionFiles files;
            std::string picture;  // the last one sent
            bool dirty = true;    // something may have changed the viewer since then
            for (;;) {
                std::deque<Input> inputs;
                bool sendPicture = false;
                {
                    std::lock_guard lock(mutex_);
                    if (stopping_) break;
                    inputs.swap(calls_);
                    if (viewerChanged_) {
                        viewerChanged_ = false;
                        picture.clear();
                        dirty = true;
                    }
                    sendPicture = viewerOn_;
                }
                for (const auto& input : inputs) {
                    if (const auto* call = std::get_if<CallMessage>(&input)) {
                        outbox_->send(runCall(*control, site.profiles, *call));
                    } else if (const auto* m = std::get_if<MouseMessage>(&input)) {
                        host_bridge::mouse(*control, m->kind, m->x, m->y);
                    } else {
                        const auto& request = std::get<FileMessage>(input);
                        if (request.list) {
                            outbox_->send(resultMessage(request.id, files.list(*control)));
                        } else if (const auto path = files.find(*control, request.file); !path) {
                            outbox_->send(serviceErrorMessage(request.id, "denied", "no such file in this session"));
                        } else {
                            std::string bytes;
                            if (!platform::readFile(*path, bytes, kMaxFileBytes)) {
                                outbox_->send(serviceErrorMessage(request.id, "failed", "the file cannot be read"));
                            } else {
                                const std::size_t size = bytes.size();
                                outbox_->sendBinary(
                                    fileHeader(request.id, request.file, utf8(platform::fileNameOf(*path)), size),
                                    std::move(bytes), false);
                            }
                        }
                    }
                    dirty = true;
                    reportProgress();
                    std::lock_guard lock(mutex_);
                    if (stopping_) break;
                }
                if (sendPicture && dirty) {
                    // Sent only when its bytes changed: the same picture
                    // saves to the same PNG.
                    std::string now = pictureFile.take(*control);
                    if (!now.empty() && now != picture) {
                        picture = now;
                        const std::size_t size = now.size();
                        outbox_->sendBinary(pictureHeader(size), std::move(now), true);
                    }
                }
                dirty = false;
                if (control->window()->pump(kPumpMs) > 0) dirty = true;
                reportProgress();
            }
            {
                std::lock_guard lock(mutex_);
                port_.reset();
            }
            // A page that went away mid-scan: destruction closes the
            // window, stops the request pool and closes the scanners.
            control.reset();
        }
    }
    if (finished_) finished_();
}

}  // namespace bridge
