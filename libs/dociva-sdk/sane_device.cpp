// A SANE device as the SDK's page source. libsane is loaded at run time
// (its headers give only the types and constants), so the SDK needs no
// SANE on the machine until a driver folder names a SANE device.
//
// SANE is one library per process with global state (sane_init,
// sane_exit): every user here holds a SaneUse, and the last one to go calls
// sane_exit. sane_init, sane_exit, sane_get_devices, sane_open and
// sane_close are serialised; the calls on one open device come from its
// handle's scan thread, except sane_cancel, which SANE allows from any
// thread to end a read in progress.
//
// sane_cancel runs on a thread of its own with a deadline. Backends end
// their reader (a thread or a process) inside it and wait for it; a reader
// cut off at a bad moment never ends (the test backend's, cancelled
// asynchronously inside malloc, waits on its own lock), and neither would
// the scan. A handle whose cancel is late is given up on: never called
// again, never closed, and SANE's session is then never ended either.
#include <sane/sane.h>
#include <sane/saneopts.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <map>
#include <mutex>
#include <thread>

#include "platform/dynamic_library.h"
#include "platform/system.h"
#include "platform/text.h"
#include "sane_choices.h"
#include "scan_device.h"
#include "scanner/dociva_sdk.h"

namespace dociva_sdk {

namespace {

constexpr double kMillimetresPerInch = 25.4;
// An area may reach this far past the device's edge (rounding of the
// caller's inch values) before it counts as more than the device scans.
constexpr double kAreaSlackMm = 0.5;
constexpr std::size_t kReadChunk = 64 * 1024;
// The toolkit's own limit on one image.
constexpr std::size_t kMaxPageBytes = std::size_t{1} << 30;

struct SaneApi {
    decltype(&::sane_init) init = nullptr;
    decltype(&::sane_exit) exit = nullptr;
    decltype(&::sane_get_devices) getDevices = nullptr;
    decltype(&::sane_open) open = nullptr;
    decltype(&::sane_close) close = nullptr;
    decltype(&::sane_get_option_descriptor) optionDescriptor = nullptr;
    decltype(&::sane_control_option) controlOption = nullptr;
    decltype(&::sane_get_parameters) getParameters = nullptr;
    decltype(&::sane_start) start = nullptr;
    decltype(&::sane_read) read = nullptr;
    decltype(&::sane_cancel) cancel = nullptr;
    decltype(&::sane_strstatus) strstatus = nullptr;
};

struct SaneLibrary {
    std::mutex mutex;
    // Loaded once and kept: backends may leave threads or handlers behind
    // that must not outlive their code.
    platform::DynamicLibrary library;
    SaneApi api;
    int users = 0;
};

// Never destroyed: unloading libsane while the process ends would leave
// whatever its backends still hold (and their code) without a home.
union LastingSaneLibrary {
    SaneLibrary value;
    LastingSaneLibrary() : value() {}
    ~LastingSaneLibrary() {}
};

SaneLibrary& saneLibrary() {
    static LastingSaneLibrary library;
    return library.value;
}

template <typename F>
bool bind(const platform::DynamicLibrary& library, const char* name, F& out) {
    out = reinterpret_cast<F>(library.symbol(name));
    return out != nullptr;
}

// One user of SANE; the last to go ends SANE's session.
class SaneUse {
public:
    static std::unique_ptr<SaneUse> acquire(std::u16string& reason) {
        SaneLibrary& s = saneLibrary();
        std::lock_guard guard(s.mutex);
        if (!s.library.loaded()) {
            std::u16string file = platform::environmentVariable(u"DOCIVA_SANE_LIBRARY");
            if (file.empty()) file = u"libsane.so.1";
            if (!s.library.load(file)) {
                reason = u"SANE is not installed (" + file + u": " + platform::DynamicLibrary::lastLoadError() + u")";
                return nullptr;
            }
            SaneApi a;
            const platform::DynamicLibrary& l = s.library;
            if (!bind(l, "sane_init", a.init) || !bind(l, "sane_exit", a.exit) ||
                !bind(l, "sane_get_devices", a.getDevices) || !bind(l, "sane_open", a.open) ||
                !bind(l, "sane_close", a.close) || !bind(l, "sane_get_option_descriptor", a.optionDescriptor) ||
                !bind(l, "sane_control_option", a.controlOption) ||
                !bind(l, "sane_get_parameters", a.getParameters) || !bind(l, "sane_start", a.start) ||
                !bind(l, "sane_read", a.read) || !bind(l, "sane_cancel", a.cancel) ||
                !bind(l, "sane_strstatus", a.strstatus)) {
                s.library.unload();
                reason = u"SANE's library lacks a call (" + file + u")";
                return nullptr;
            }
            s.api = a;
        }
        if (s.users == 0) {
            SANE_Int version = 0;
            const SANE_Status status = s.api.init(&version, nullptr);
            if (status != SANE_STATUS_GOOD) {
                reason = u"sane_init failed: " + text::fromUtf8(s.api.strstatus(status));
                return nullptr;
            }
        }
        ++s.users;
        return std::make_unique<SaneUse>(Counted{});
    }

private:
    // Only acquire makes a use, once it has counted it.
    struct Counted {
        explicit Counted() = default;
    };

public:
    explicit SaneUse(Counted) {}

    ~SaneUse() {
        SaneLibrary& s = saneLibrary();
        std::lock_guard guard(s.mutex);
        if (--s.users == 0) s.api.exit();
    }
    SaneUse(const SaneUse&) = delete;
    SaneUse& operator=(const SaneUse&) = delete;

    const SaneApi& api() const { return saneLibrary().api; }
    std::mutex& mutex() const { return saneLibrary().mutex; }

    // A backend stuck inside a call would hang sane_exit (and a later
    // sane_init): the session then lasts as long as the process.
    void keepSessionForever() const {
        SaneLibrary& s = saneLibrary();
        std::lock_guard guard(s.mutex);
        ++s.users;
    }
};

std::u16string statusText(const SaneUse& sane, SANE_Status status) {
    const char* t = sane.api().strstatus(status);
    return t ? text::fromUtf8(t) : u"status " + text::fromUtf8(std::to_string(status));
}

// Statuses newer backends give that sane.h still keeps out of view.
constexpr int kSaneStatusWarmingUp = 12;
constexpr int kSaneStatusHardwareLocked = 13;

// What a SANE status means for the run. NO_DOCS is no paper only before
// the first page; the batch reads it as its end before that matters.
DeviceFault faultOf(SANE_Status status) {
    switch (static_cast<int>(status)) {
        case SANE_STATUS_NO_DOCS: return {DOCIVA_STATUS_NO_PAPER, 0};
        case SANE_STATUS_JAMMED: return {DOCIVA_STATUS_SCAN_FAILED, kErrorPaperJam};
        case SANE_STATUS_COVER_OPEN:
        case SANE_STATUS_DEVICE_BUSY:
        case kSaneStatusWarmingUp:
        case kSaneStatusHardwareLocked: return {DOCIVA_STATUS_NOT_READY, 0};
        // What a device gone from the bus or the network gives.
        case SANE_STATUS_IO_ERROR: return {DOCIVA_STATUS_DISCONNECTED, 0};
        case SANE_STATUS_ACCESS_DENIED: return {DOCIVA_STATUS_DRIVER_LOAD_FAILED, 0};
        case SANE_STATUS_NO_MEM: return {DOCIVA_STATUS_NO_MEMORY, 0};
        case SANE_STATUS_CANCELLED: return {DOCIVA_STATUS_SCAN_FAILED, kErrorCancelledAtDevice};
        default: return {DOCIVA_STATUS_SCAN_FAILED, kErrorDevice};
    }
}

const DeviceFault kCapabilityMismatch{DOCIVA_STATUS_CAPABILITY_MISMATCH, 0};

// sane_open's handle, closed with the device unless a cancel never came
// back from the backend.
class SaneHandle {
public:
    SaneHandle(std::unique_ptr<SaneUse> sane, SANE_Handle handle, const SaneLimits& limits)
        : sane_(std::move(sane)),
          handle_(handle),
          cancelWait_(limits.cancelWaitMs),
          readLimit_(limits.readLimitMs) {}
    ~SaneHandle() {
        if (stuck_) {
            sane_->keepSessionForever();
            return;
        }
        std::lock_guard guard(sane_->mutex());
        sane_->api().close(handle_);
    }
    SaneHandle(const SaneHandle&) = delete;
    SaneHandle& operator=(const SaneHandle&) = delete;

    SANE_Handle get() const { return handle_; }
    const SaneApi& api() const { return sane_->api(); }
    const SaneUse& sane() const { return *sane_; }
    bool stuck() const { return stuck_; }

    std::chrono::milliseconds cancelWait() const { return cancelWait_; }
    std::chrono::milliseconds readLimit() const { return readLimit_; }
    // A call on the handle never came back: it is never called again.
    void giveUp() { stuck_ = true; }

    // sane_cancel, waited for at most the handle's limit; false when the
    // backend did not come back in time (the handle is then stuck) or
    // already was stuck.
    bool cancel() {
        if (stuck_) return false;
        struct Call {
            std::mutex mutex;
            std::condition_variable cv;
            bool done = false;
        };
        auto call = std::make_shared<Call>();
        try {
            // Detached: a call that never returns keeps only its own thread.
            std::thread([call, cancel = api().cancel, handle = handle_] {
                cancel(handle);
                std::lock_guard guard(call->mutex);
                call->done = true;
                call->cv.notify_all();
            }).detach();
        } catch (const std::system_error&) {
            // No thread to spare: wait on this one, as SANE itself would.
            api().cancel(handle_);
            return true;
        }
        std::unique_lock lock(call->mutex);
        if (call->cv.wait_for(lock, cancelWait_, [&] { return call->done; })) return true;
        stuck_ = true;
        return false;
    }

private:
    std::unique_ptr<SaneUse> sane_;
    SANE_Handle handle_;
    std::chrono::milliseconds cancelWait_;
    std::chrono::milliseconds readLimit_;
    std::atomic<bool> stuck_{false};
};

// One option of the open device, as its descriptor says now.
struct Option {
    SANE_Int index = -1;
    const SANE_Option_Descriptor* d = nullptr;

    explicit operator bool() const { return d != nullptr; }
    bool active() const { return d && SANE_OPTION_IS_ACTIVE(d->cap); }
    bool settable() const { return active() && SANE_OPTION_IS_SETTABLE(d->cap); }

    std::vector<std::string> strings() const {
        std::vector<std::string> out;
        if (d && d->type == SANE_TYPE_STRING && d->constraint_type == SANE_CONSTRAINT_STRING_LIST)
            for (const SANE_String_Const* s = d->constraint.string_list; s && *s; ++s) out.emplace_back(*s);
        return out;
    }
    double number(SANE_Word w) const { return d->type == SANE_TYPE_FIXED ? SANE_UNFIX(w) : double(w); }
    SANE_Word word(double v) const {
        return d->type == SANE_TYPE_FIXED ? SANE_FIX(v) : static_cast<SANE_Word>(std::lround(v));
    }
    std::vector<double> numbers() const {
        std::vector<double> out;
        if (d && d->constraint_type == SANE_CONSTRAINT_WORD_LIST)
            for (SANE_Int i = 1; i <= d->constraint.word_list[0]; ++i) out.push_back(number(d->constraint.word_list[i]));
        return out;
    }
    bool range(double& min, double& max, double& quant) const {
        if (!d || d->constraint_type != SANE_CONSTRAINT_RANGE || !d->constraint.range) return false;
        min = number(d->constraint.range->min);
        max = number(d->constraint.range->max);
        quant = number(d->constraint.range->quant);
        return true;
    }
    double largest() const {
        double min = 0, max = 0, quant = 0;
        if (range(min, max, quant)) return max;
        const std::vector<double> list = numbers();
        return list.empty() ? 0.0 : *std::max_element(list.begin(), list.end());
    }
    double smallest() const {
        double min = 0, max = 0, quant = 0;
        if (range(min, max, quant)) return min;
        const std::vector<double> list = numbers();
        return list.empty() ? 0.0 : *std::min_element(list.begin(), list.end());
    }
    double nearest(double wanted) const {
        double min = 0, max = 0, quant = 0;
        if (range(min, max, quant)) return nearestInRange(min, max, quant, wanted);
        return nearestInList(numbers(), wanted);
    }
};

class SaneOptions {
public:
    explicit SaneOptions(const SaneHandle& handle) : handle_(handle) {}

    Option find(const char* name) const {
        const SaneApi& api = handle_.api();
        // Option 0 is the count.
        for (SANE_Int i = 1;; ++i) {
            const SANE_Option_Descriptor* d = api.optionDescriptor(handle_.get(), i);
            if (!d) break;
            if (d->name && std::strcmp(d->name, name) == 0) return Option{i, d};
        }
        return Option{};
    }

    SANE_Status setString(const Option& o, const std::string& value) {
        std::vector<char> buffer(std::max<std::size_t>(static_cast<std::size_t>(o.d->size), value.size() + 1), 0);
        std::memcpy(buffer.data(), value.data(), value.size());
        return control(o, SANE_ACTION_SET_VALUE, buffer.data());
    }
    SANE_Status setNumber(const Option& o, double value) {
        SANE_Word w = o.word(value);
        return control(o, SANE_ACTION_SET_VALUE, &w);
    }
    bool getNumber(const Option& o, double& value) {
        if (!o.active() || (o.d->type != SANE_TYPE_INT && o.d->type != SANE_TYPE_FIXED) ||
            o.d->size < static_cast<SANE_Int>(sizeof(SANE_Word)))
            return false;
        std::vector<SANE_Word> words(static_cast<std::size_t>(o.d->size) / sizeof(SANE_Word));
        if (control(o, SANE_ACTION_GET_VALUE, words.data()) != SANE_STATUS_GOOD) return false;
        value = o.number(words[0]);
        return true;
    }

private:
    SANE_Status control(const Option& o, SANE_Action action, void* value) {
        SANE_Int info = 0;
        return handle_.api().controlOption(handle_.get(), o.index, action, value, &info);
    }

    const SaneHandle& handle_;
};

FrameFormat frameFormatOf(SANE_Frame f, bool& known) {
    known = true;
    switch (f) {
        case SANE_FRAME_GRAY: return FrameFormat::Gray;
        case SANE_FRAME_RGB: return FrameFormat::Rgb;
        case SANE_FRAME_RED: return FrameFormat::Red;
        case SANE_FRAME_GREEN: return FrameFormat::Green;
        case SANE_FRAME_BLUE: return FrameFormat::Blue;
        default: known = false; return FrameFormat::Gray;
    }
}

// The part of what the device scans that was asked for, in inches from
// the scanned area's corner: a device moves its corners only in steps of
// its own, so it is asked for the area with its edges moved outwards to
// the next step, and the page is cut back to the area asked for.
struct Crop {
    bool active = false;
    double left = 0.0;
    double top = 0.0;
    double width = 0.0;
    double height = 0.0;
};

ImageOwner cropped(ImageOwner page, const Crop& crop, int dpi) {
    if (!crop.active || !page) return page;
    const TI_IMAGE_INFO info = imageLayout(page.get());
    const int w = std::max(1, static_cast<int>(std::lround(crop.width * dpi)));
    const int h = std::max(1, static_cast<int>(std::lround(crop.height * dpi)));
    const int x = static_cast<int>(std::lround(crop.left * dpi));
    const int y = static_cast<int>(std::lround(crop.top * dpi));
    if (x == 0 && y == 0 && w == info.width && h == info.height) return page;
    ImageOwner out(ti_CreateImage2(w, h, TI_BGR24, dpi, dpi));
    // Whatever the device gave short of the area stays paper-white.
    if (!out || ti_CopyRect(page.get(), out.get(), x, y, 0xFFFFFF) != TI_OK) return {};
    return out;
}


class SaneDevice final : public ScanDevice {
public:
    explicit SaneDevice(std::shared_ptr<SaneHandle> handle) : handle_(std::move(handle)) { findButtons(); }

    DeviceDescription describe(const DeviceDescription& written) const override {
        DeviceDescription d = written;
        SaneOptions options(*handle_);
        const Option source = options.find(SANE_NAME_SCAN_SOURCE);
        const SourceKinds kinds = sourceKinds(source.strings(), source.active());
        d.hasFlatbed = kinds.flatbed;
        d.hasFeeder = kinds.feeder || kinds.back || kinds.duplex;
        // The control scans from the feeder unless told otherwise.
        d.sheetFed = d.hasFeeder;
        d.duplex = kinds.duplex || kinds.back;
        d.multiPage = d.hasFeeder;
        d.warmupMs = 0;
        d.pagesPerBatch = 0;
        d.ready = true;
        const Option right = options.find(SANE_NAME_SCAN_BR_X);
        const Option bottom = options.find(SANE_NAME_SCAN_BR_Y);
        if (right && bottom && right.d->unit == SANE_UNIT_MM && bottom.d->unit == SANE_UNIT_MM) {
            const Option left = options.find(SANE_NAME_SCAN_TL_X);
            const Option top = options.find(SANE_NAME_SCAN_TL_Y);
            const double width = right.largest() - (left ? left.smallest() : 0.0);
            const double height = bottom.largest() - (top ? top.smallest() : 0.0);
            if (width > 0.0 && height > 0.0) {
                d.maxWidth = width / kMillimetresPerInch;
                d.maxHeight = height / kMillimetresPerInch;
            }
        }
        return d;
    }

    std::unique_ptr<PageSource> startBatch(ScanOptions& o, DeviceFault& fault) override;

    void cancel() override {
        cancelled_ = true;
        handle_->cancel();
    }

    void cancelBatch() override {
        batchCancelled_ = true;
        // The caller is the owner's thread: the backend is told on a thread
        // of its own (SANE allows that from any thread), not waited for;
        // the batch's own end waits with the deadline. The thread holds
        // the handle, so a close meanwhile cannot pull it away.
        if (handle_->stuck()) return;
        try {
            std::thread([handle = handle_] { handle->api().cancel(handle->get()); }).detach();
        } catch (const std::system_error&) {
            // No thread to spare: the read sees the flag at its next chunk.
        }
    }

    bool cancelled() const { return cancelled_ || batchCancelled_; }
    SaneHandle& handle() const { return *handle_; }
    const std::shared_ptr<SaneHandle>& sharedHandle() const { return handle_; }
    std::chrono::milliseconds readLimit() const { return handle_->readLimit(); }

    bool hasButtons() const override { return !buttons_.empty(); }

    std::vector<int> pressedButtons() override {
        std::vector<int> pressed;
        std::lock_guard guard(calls_);
        if (inBatch_ || handle_->stuck() || cancelled_) return pressed;
        const SaneApi& api = handle_->api();
        for (std::size_t i = 0; i < buttons_.size(); ++i) {
            Button& b = buttons_[i];
            // Options may be rebuilt by the backend: only the same sensor counts.
            const SANE_Option_Descriptor* d = api.optionDescriptor(handle_->get(), b.index);
            if (!d || !d->name || b.name != d->name || d->type != SANE_TYPE_BOOL || !SANE_OPTION_IS_ACTIVE(d->cap))
                continue;
            SANE_Bool value = SANE_FALSE;
            SANE_Int info = 0;
            if (api.controlOption(handle_->get(), b.index, SANE_ACTION_GET_VALUE, &value, &info) != SANE_STATUS_GOOD)
                continue;
            const bool down = value == SANE_TRUE;
            if (down && !b.down) pressed.push_back(static_cast<int>(i) + 1);
            b.down = down;
        }
        return pressed;
    }

    // A batch's start and end, against the button poll's option reads.
    std::unique_lock<std::mutex> beginBatch() { return std::unique_lock(calls_); }
    void batchStarted() { inBatch_ = true; }
    void endBatch() {
        std::lock_guard guard(calls_);
        inBatch_ = false;
    }

private:
    struct Button {
        SANE_Int index;
        std::string name;
        bool down = false;
    };

    // Sensors the hardware sets and software reads, named like buttons, in
    // the device's order: ids 1..9.
    void findButtons() {
        const SaneApi& api = handle_->api();
        for (SANE_Int i = 1; static_cast<int>(buttons_.size()) < kMaxSensorButtons; ++i) {
            const SANE_Option_Descriptor* d = api.optionDescriptor(handle_->get(), i);
            if (!d) break;
            const bool sensor = (d->cap & SANE_CAP_HARD_SELECT) && (d->cap & SANE_CAP_SOFT_DETECT) &&
                                !(d->cap & SANE_CAP_SOFT_SELECT);
            if (sensor && d->type == SANE_TYPE_BOOL && d->name && isButtonSensor(d->name))
                buttons_.push_back(Button{i, d->name});
        }
    }

    bool setArea(SaneOptions& options, const ScanOptions& o, Crop& crop, DeviceFault& fault);

    std::shared_ptr<SaneHandle> handle_;
    std::atomic<bool> cancelled_{false};
    // This batch only; startBatch clears it.
    std::atomic<bool> batchCancelled_{false};
    std::mutex calls_;
    bool inBatch_ = false;  // guarded by calls_
    std::vector<Button> buttons_;  // guarded by calls_ after the constructor
};

// A frame's sane_read calls on a thread of their own, so that a read the
// device never ends (a scanner unplugged or gone from the network, a
// backend that waits on it for good) cannot hold the run: when a read
// brings nothing for the read limit it is cancelled, and one that does not
// end even then is left to its thread with the handle given up. The thread
// and the frame it reads into are shared with it, so it may outlive the
// batch. One hand-over a frame, not a read: a page is hundreds of reads.
class FrameReader {
public:
    FrameReader(std::shared_ptr<SaneHandle> handle, std::chrono::milliseconds limit)
        : call_(std::make_shared<Call>()), limit_(limit) {
        call_->handle = std::move(handle);
        std::thread([call = call_] { call->serve(); }).detach();
    }
    ~FrameReader() {
        std::lock_guard guard(call_->mutex);
        call_->quit = true;
        call_->cv.notify_all();
    }
    FrameReader(const FrameReader&) = delete;
    FrameReader& operator=(const FrameReader&) = delete;

    // Reads until the frame ends (EOF) or a read fails, into data (whose
    // capacity is kept); timedOut when the device stopped answering.
    SANE_Status read(std::vector<std::uint8_t>& data, bool& timedOut) {
        timedOut = false;
        std::unique_lock lock(call_->mutex);
        call_->frame = std::move(data);
        call_->frame.clear();
        call_->done = false;
        call_->requested = true;
        call_->cv.notify_all();
        auto finished = [&] { return call_->done; };
        std::size_t seen = 0;
        // Waited out in steps of the limit: a step that brought bytes
        // starts the next.
        while (!call_->cv.wait_for(lock, limit_, finished)) {
            if (call_->received != seen) {
                seen = call_->received;
                continue;
            }
            timedOut = true;
            lock.unlock();
            call_->handle->cancel();
            lock.lock();
            if (!call_->cv.wait_for(lock, call_->handle->cancelWait(), finished)) {
                // The read is the thread's for good; so is the handle.
                call_->handle->giveUp();
                return SANE_STATUS_IO_ERROR;
            }
            break;
        }
        data = std::move(call_->frame);
        return call_->status;
    }

private:
    struct Call {
        std::shared_ptr<SaneHandle> handle;
        std::mutex mutex;
        std::condition_variable cv;
        std::vector<std::uint8_t> frame;  // the reader's while a frame is requested
        std::size_t received = 0;  // reads that brought bytes, guarded by mutex
        bool requested = false;
        bool done = false;
        bool quit = false;
        SANE_Status status = SANE_STATUS_GOOD;

        void serve() {
            std::vector<SANE_Byte> chunk(kReadChunk);
            std::unique_lock lock(mutex);
            for (;;) {
                cv.wait(lock, [&] { return requested || quit; });
                if (quit) return;
                requested = false;
                std::vector<std::uint8_t> data = std::move(frame);
                lock.unlock();
                const SANE_Status result = readAll(data, chunk);
                lock.lock();
                frame = std::move(data);
                status = result;
                done = true;
                cv.notify_all();
            }
        }

        SANE_Status readAll(std::vector<std::uint8_t>& data, std::vector<SANE_Byte>& chunk) {
            const SaneApi& api = handle->api();
            for (;;) {
                SANE_Int length = 0;
                const SANE_Status result =
                    api.read(handle->get(), chunk.data(), static_cast<SANE_Int>(chunk.size()), &length);
                if (result != SANE_STATUS_GOOD) return result;
                if (length < 0 || static_cast<std::size_t>(length) > chunk.size()) return SANE_STATUS_IO_ERROR;
                if (data.size() + static_cast<std::size_t>(length) > kMaxPageBytes) return SANE_STATUS_NO_MEM;
                data.insert(data.end(), chunk.data(), chunk.data() + length);
                if (length > 0) {
                    std::lock_guard guard(mutex);
                    ++received;
                }
            }
        }
    };
    std::shared_ptr<Call> call_;
    std::chrono::milliseconds limit_;
};

class SanePages final : public PageSource {
public:
    SanePages(SaneDevice& device, const ScanOptions& o, const Crop& crop)
        : device_(device), options_(o), crop_(crop), reader_(device.sharedHandle(), device.readLimit()) {}
    ~SanePages() override { finishBatch(); }

    std::size_t expectedSides() const override { return options_.flatbed ? 1 : 0; }

    bool begin(DeviceFault& fault) override {
        const SANE_Status status = startPage();
        if (status == SANE_STATUS_GOOD) {
            pageStarted_ = true;
            return true;
        }
        finishBatch();
        fault = faultOf(status);
        return false;
    }

    Fetch next(Side& side, ImageOwner& image, DeviceFault& fault) override {
        if (done_) return Fetch::End;
        if (!pageStarted_) {
            if (options_.flatbed) {
                finishBatch();
                return Fetch::End;
            }
            const SANE_Status status = startPage();
            // An empty feeder after the first page is the batch's end.
            if (status == SANE_STATUS_NO_DOCS) {
                finishBatch();
                return Fetch::End;
            }
            if (status != SANE_STATUS_GOOD) return failed(status, fault);
        }
        pageStarted_ = false;
        PageAssembler page;
        for (;;) {
            SANE_Parameters p{};
            SANE_Status status = api().getParameters(handle(), &p);
            if (status != SANE_STATUS_GOOD) return failed(status, fault);
            bool known = false;
            const FrameLayout layout{frameFormatOf(p.format, known), p.depth, p.pixels_per_line, p.bytes_per_line,
                                     p.lines};
            if (!known) return failed(SANE_STATUS_UNSUPPORTED, fault);
            std::vector<std::uint8_t> data;
            status = readFrame(p, data);
            // A feeder may find itself empty only as it reads: before any
            // page that is no paper, after one the batch's end.
            if (status == SANE_STATUS_NO_DOCS && count_ > 0) {
                finishBatch();
                return Fetch::End;
            }
            if (status != SANE_STATUS_EOF) return failed(status, fault);
            if (!page.addFrame(layout, data)) return failed(SANE_STATUS_UNSUPPORTED, fault);
            if (p.last_frame) break;
            // The next frame of a three-pass page.
            status = startPage();
            if (status != SANE_STATUS_GOOD) return failed(status, fault);
        }
        ++count_;
        image = cropped(page.finish(options_.dpi), crop_, options_.dpi);
        if (!image) return failed(SANE_STATUS_NO_MEM, fault);
        side = sideNumbered(count_);
        return Fetch::Page;
    }

private:
    const SaneApi& api() const { return device_.handle().api(); }
    SANE_Handle handle() const { return device_.handle().get(); }

    SANE_Status startPage() {
        if (device_.cancelled()) return SANE_STATUS_CANCELLED;
        return api().start(handle());
    }

    SANE_Status readFrame(const SANE_Parameters& p, std::vector<std::uint8_t>& data) {
        if (p.lines > 0 && p.bytes_per_line > 0) {
            const std::size_t expected = static_cast<std::size_t>(p.lines) * static_cast<std::size_t>(p.bytes_per_line);
            if (expected > kMaxPageBytes) return SANE_STATUS_NO_MEM;
            data.reserve(expected);
        }
        if (device_.cancelled()) return SANE_STATUS_CANCELLED;
        bool timedOut = false;
        const SANE_Status status = reader_.read(data, timedOut);
        // A device that stops answering is one gone from the bus or the
        // network, whatever its cancelled read then says.
        if (timedOut) {
            platform::debugOutput(u"dociva: the SANE device sent nothing for the read limit; the page is given up\n");
            return SANE_STATUS_IO_ERROR;
        }
        return status;
    }

    // The page that went wrong is dropped, half read as it is; the batch
    // ends at the device.
    Fetch failed(SANE_Status status, DeviceFault& fault) {
        finishBatch();
        fault = faultOf(status);
        return Fetch::Fault;
    }

    void finishBatch() {
        if (done_) return;
        done_ = true;
        if (!device_.handle().cancel() && device_.handle().stuck())
            platform::debugOutput(u"dociva: the SANE backend did not end the batch in time; the device is given up\n");
        device_.endBatch();
    }

    Side sideNumbered(std::size_t n) const {
        switch (options_.sides) {
            case Sides::Front: return Side{n, false, n};
            case Sides::Rear: return Side{n, true, n};
            case Sides::Both: return Side{(n + 1) / 2, n % 2 == 0, n};
        }
        return Side{n, false, n};
    }

    SaneDevice& device_;
    ScanOptions options_;
    Crop crop_;
    FrameReader reader_;
    bool pageStarted_ = false;
    bool done_ = false;
    std::size_t count_ = 0;
};

bool SaneDevice::setArea(SaneOptions& options, const ScanOptions& o, Crop& crop, DeviceFault& fault) {
    const Option tlx = options.find(SANE_NAME_SCAN_TL_X);
    const Option tly = options.find(SANE_NAME_SCAN_TL_Y);
    const Option brx = options.find(SANE_NAME_SCAN_BR_X);
    const Option bry = options.find(SANE_NAME_SCAN_BR_Y);
    const bool asked = o.askedWidth > 0.0 || o.askedHeight > 0.0 || o.askedLeft > 0.0 || o.askedTop > 0.0;
    if (!tlx.settable() || !tly.settable() || !brx.settable() || !bry.settable()) {
        // A device without a settable area scans what it scans: only the
        // whole of it can be asked for.
        if (asked) fault = kCapabilityMismatch;
        return !asked;
    }
    // Geometry in millimetres, or in pixels at the scan resolution.
    const double perInch = brx.d->unit == SANE_UNIT_PIXEL ? double(o.dpi) : kMillimetresPerInch;
    struct Axis {
        double low;      // as asked, in device units
        double high;
        double stepLow;  // moved outwards to the device's steps
        double stepHigh;
    };
    auto place = [&](const Option& first, const Option& last, double start, double length, Axis& out) {
        double min = 0, max = 0, quant = 0;
        if (!first.range(min, max, quant)) min = first.smallest();
        double lastMin = 0, lastMax = 0, lastQuant = 0;
        if (!last.range(lastMin, lastMax, lastQuant)) lastMax = last.largest();
        if (length <= 0.0) {
            out = {min, lastMax, min, lastMax};
            return start <= 0.0;
        }
        out.low = min + start * perInch;
        out.high = out.low + length * perInch;
        if (out.high > lastMax + kAreaSlackMm * perInch / kMillimetresPerInch) return false;
        out.high = std::min(out.high, lastMax);
        out.stepLow = quant > 0.0 ? min + std::floor((out.low - min) / quant + 1e-9) * quant : out.low;
        out.stepHigh = lastQuant > 0.0 ? lastMin + std::ceil((out.high - lastMin) / lastQuant - 1e-9) * lastQuant
                                       : out.high;
        out.stepHigh = std::min(out.stepHigh, lastMax);
        return true;
    };
    Axis x{}, y{};
    if (!place(tlx, brx, o.askedLeft, o.askedWidth, x) || !place(tly, bry, o.askedTop, o.askedHeight, y)) {
        fault = kCapabilityMismatch;
        return false;
    }
    // The corner first at its least, so the far corner may move anywhere.
    const bool set = options.setNumber(tlx, tlx.smallest()) == SANE_STATUS_GOOD &&
                     options.setNumber(tly, tly.smallest()) == SANE_STATUS_GOOD &&
                     options.setNumber(brx, x.stepHigh) == SANE_STATUS_GOOD &&
                     options.setNumber(bry, y.stepHigh) == SANE_STATUS_GOOD &&
                     options.setNumber(tlx, x.stepLow) == SANE_STATUS_GOOD &&
                     options.setNumber(tly, y.stepLow) == SANE_STATUS_GOOD;
    if (!set) {
        fault = kCapabilityMismatch;
        return false;
    }
    crop = Crop{};
    if (o.askedWidth > 0.0 && o.askedHeight > 0.0) {
        // Where the device really put its corner.
        double left = x.stepLow, top = y.stepLow;
        options.getNumber(tlx, left);
        options.getNumber(tly, top);
        crop = Crop{true, std::max(0.0, x.low - left) / perInch, std::max(0.0, y.low - top) / perInch,
                    (x.high - x.low) / perInch, (y.high - y.low) / perInch};
    }
    return true;
}

std::unique_ptr<PageSource> SaneDevice::startBatch(ScanOptions& o, DeviceFault& fault) {
    // A cancel that came before this point is seen by the run itself.
    batchCancelled_ = false;
    // A backend that never ended the last batch answers nothing more.
    if (handle_->stuck()) {
        fault = {DOCIVA_STATUS_DISCONNECTED, 0};
        return nullptr;
    }
    // The options are set with no button poll in between, and the poll
    // stays away until the batch ends.
    std::unique_lock batch = beginBatch();
    SaneOptions options(*handle_);

    const Option source = options.find(SANE_NAME_SCAN_SOURCE);
    const auto sourceValue = chooseSource(source.strings(), source.active(), o.flatbed, o.sides);
    if (!sourceValue) {
        fault = kCapabilityMismatch;
        return nullptr;
    }
    if (!sourceValue->empty() && source.settable() && options.setString(source, *sourceValue) != SANE_STATUS_GOOD) {
        fault = kCapabilityMismatch;
        return nullptr;
    }

    const Option mode = options.find(SANE_NAME_SCAN_MODE);
    const auto modeValue = chooseMode(mode.strings(), mode.active(), o.colour);
    if (!modeValue) {
        fault = kCapabilityMismatch;
        return nullptr;
    }
    if (!modeValue->empty() && mode.settable() && options.setString(mode, *modeValue) != SANE_STATUS_GOOD) {
        fault = kCapabilityMismatch;
        return nullptr;
    }
    // Eight bits a sample is all any output format keeps.
    const Option depth = options.find(SANE_NAME_BIT_DEPTH);
    if (depth.settable()) {
        const std::vector<double> depths = depth.numbers();
        if (std::find(depths.begin(), depths.end(), 8.0) != depths.end()) options.setNumber(depth, 8.0);
    }

    const Option resolution = options.find(SANE_NAME_SCAN_RESOLUTION);
    if (resolution.settable()) {
        const double dpi = resolution.nearest(o.dpi);
        if (options.setNumber(resolution, dpi) != SANE_STATUS_GOOD) {
            fault = kCapabilityMismatch;
            return nullptr;
        }
        double actual = dpi;
        // The page carries the resolution the device scanned at.
        if (options.getNumber(resolution, actual) && actual >= 1.0) o.dpi = static_cast<int>(std::lround(actual));
    }

    Crop crop;
    if (!setArea(options, o, crop, fault)) return nullptr;
    batchStarted();
    batch.unlock();
    return std::make_unique<SanePages>(*this, o, crop);
}

}  // namespace

std::unique_ptr<ScanDevice> openSaneDevice(const std::u16string& name, const SaneLimits& limits,
                                           std::u16string& reason) {
    std::unique_ptr<SaneUse> sane = SaneUse::acquire(reason);
    if (!sane) return nullptr;
    SANE_Handle handle = nullptr;
    SANE_Status status;
    {
        std::lock_guard guard(sane->mutex());
        status = sane->api().open(text::toUtf8(name).c_str(), &handle);
    }
    if (status != SANE_STATUS_GOOD || !handle) {
        reason = u"sane_open(" + name + u") failed: " + statusText(*sane, status);
        return nullptr;
    }
    return std::make_unique<SaneDevice>(std::make_shared<SaneHandle>(std::move(sane), handle, limits));
}

bool listSaneDevices(std::vector<SaneDeviceEntry>& devices, std::u16string& reason) {
    std::unique_ptr<SaneUse> sane = SaneUse::acquire(reason);
    if (!sane) return false;
    std::lock_guard guard(sane->mutex());
    const SANE_Device** list = nullptr;
    const SANE_Status status = sane->api().getDevices(&list, SANE_FALSE);
    if (status != SANE_STATUS_GOOD) {
        reason = u"sane_get_devices failed: " + statusText(*sane, status);
        return false;
    }
    auto t = [](const char* s) { return s ? text::fromUtf8(s) : std::u16string(); };
    for (const SANE_Device** d = list; d && *d; ++d)
        devices.push_back(SaneDeviceEntry{t((*d)->name), t((*d)->vendor), t((*d)->model), t((*d)->type)});
    return true;
}

}  // namespace dociva_sdk
