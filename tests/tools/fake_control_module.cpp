// A stand-in for the control module (libDocivaOCX.so) that the script
// host's tests run scripts against. It keeps the module's contract -
// argument coercion with the dispatch errors, events only from inside
// calls and pumps, counted host objects, dialogs through the host - with a
// few methods that make each part of the host observable:
//
//   SetResolution(I2) -> I2       raises OnSettingChanged during the call
//   Echo(STRING) -> STRING        gives the text back unit for unit
//   DescribeArguments(...) -> STRING
//                                 any number of arguments, described as the
//                                 host passed them (no coercion): I4:5 R8:0.5
//                                 BOOL:-1 EMPTY NULL DISPATCH S"a\u00e9"
//   Scale(R8, R8) -> STRING       the product, "%.17g"
//   OpenDialog(I2 kind, STRING caption) -> STRING
//                                 the answer, or "(cancelled)"
//   KeepObject(DISPATCH) -> I2    keeps the object; the number kept
//   DropObjects() -> I2           lets go of every object kept; how many
//   PostWork(I2 count, I2 delayMs)
//                                 queues count window messages due after
//                                 delayMs; each raises OnWorkDone when pumped
//   Alert(STRING caption, STRING message) -> I2
//                                 the alert dialog's result
//   EditWatermark(STRING text) -> STRING
//                                 opens the watermark dialog on a record of
//                                 fixed values with that text; the result
//                                 and the record afterwards as JSON
//   ShowProgress(I2 position, STRING text), HideProgress()
//                                 the progress state docivaGetProgress gives
//   OpenScanner(I2 handle)        the handle docivaScannerHandle gives (0: none)
//
// docivaMouse raises OnMouse {"kind":n,"x":x,"y":y}; docivaSavePicture
// writes a small file (only to an ASCII path). docivaCreateWindow raises
// OnProfileReady and OnSourceReady. When $DOCIVA_FAKE_LOG names a file,
// lifecycle lines are appended to it.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "control/dociva_module.h"
#include "platform/dialog_service.h"

namespace {

using Clock = std::chrono::steady_clock;

enum Dispid : std::int32_t {
    kSetResolution = 1,
    kEcho,
    kDescribeArguments,
    kScale,
    kOpenDialog,
    kKeepObject,
    kDropObjects,
    kPostWork,
    kAlert,
    kEditWatermark,
    kShowProgress,
    kHideProgress,
    kOpenScanner,
};

// Any number of arguments; described, not coerced.
constexpr std::uint32_t kAnyCount = 0xFFFFFFFFu;

const std::uint16_t kI2[] = {DOCIVA_I2};
const std::uint16_t kString[] = {DOCIVA_STRING};
const std::uint16_t kR8R8[] = {DOCIVA_R8, DOCIVA_R8};
const std::uint16_t kI2String[] = {DOCIVA_I2, DOCIVA_STRING};
const std::uint16_t kDispatch[] = {DOCIVA_DISPATCH};
const std::uint16_t kI2I2[] = {DOCIVA_I2, DOCIVA_I2};
const std::uint16_t kStringString[] = {DOCIVA_STRING, DOCIVA_STRING};

const char16_t* const kDpi[] = {u"dpi"};
const char16_t* const kText[] = {u"text"};
const char16_t* const kValueFactor[] = {u"value", u"factor"};
const char16_t* const kKindCaption[] = {u"kind", u"caption"};
const char16_t* const kObject[] = {u"object"};
const char16_t* const kCountDelay[] = {u"count", u"delayMs"};
const char16_t* const kCaptionMessage[] = {u"caption", u"message"};
const char16_t* const kPositionText[] = {u"position", u"text"};
const char16_t* const kHandle[] = {u"handle"};

const DocivaMethodInfo kMethods[] = {
    {kSetResolution, u"SetResolution", 1, kI2, kDpi, DOCIVA_I2},
    {kEcho, u"Echo", 1, kString, kText, DOCIVA_STRING},
    {kDescribeArguments, u"DescribeArguments", 0, nullptr, nullptr, DOCIVA_STRING},
    {kScale, u"Scale", 2, kR8R8, kValueFactor, DOCIVA_STRING},
    {kOpenDialog, u"OpenDialog", 2, kI2String, kKindCaption, DOCIVA_STRING},
    {kKeepObject, u"KeepObject", 1, kDispatch, kObject, DOCIVA_I2},
    {kDropObjects, u"DropObjects", 0, nullptr, nullptr, DOCIVA_I2},
    {kPostWork, u"PostWork", 2, kI2I2, kCountDelay, DOCIVA_EMPTY},
    {kAlert, u"Alert", 2, kStringString, kCaptionMessage, DOCIVA_I2},
    {kEditWatermark, u"EditWatermark", 1, kString, kText, DOCIVA_STRING},
    {kShowProgress, u"ShowProgress", 2, kI2String, kPositionText, DOCIVA_EMPTY},
    {kHideProgress, u"HideProgress", 0, nullptr, nullptr, DOCIVA_EMPTY},
    {kOpenScanner, u"OpenScanner", 1, kI2, kHandle, DOCIVA_EMPTY},
};

const DocivaEventInfo kEvents[] = {
    {1, u"OnProfileReady"},
    {2, u"OnSourceReady"},
    {3, u"OnSettingChanged"},
    {4, u"OnWorkDone"},
    {5, u"OnMouse"},
};

std::u16string ascii(const std::string& s) { return std::u16string(s.begin(), s.end()); }

void log(const std::string& line) {
    const char* path = std::getenv("DOCIVA_FAKE_LOG");
    if (!path || !*path) return;
    if (FILE* f = std::fopen(path, "a")) {
        std::fprintf(f, "%s\n", line.c_str());
        std::fclose(f);
    }
}

struct Work {
    Clock::time_point due;
    int item;
};

}  // namespace

struct DocivaControl {
    DocivaHost host{};
    std::vector<void*> kept;
    std::deque<Work> queue;
    int nextItem = 1;
    bool hasWindow = false;
    DocivaProgress progress{};
    std::uint32_t scannerHandle = 0;

    void fire(std::int32_t dispid, const std::u16string& data) {
        const char16_t* name = nullptr;
        for (const auto& e : kEvents)
            if (e.dispid == dispid) name = e.name;
        host.fireEvent(host.context, dispid, name, data.c_str(), static_cast<std::uint32_t>(data.size()));
    }
};

namespace {

// --- coercion, the small part of the platform's rules these tests need ----

bool parseNumber(const DocivaValue& v, double& out) {
    std::string a;
    for (std::uint32_t i = 0; i < v.textLength; ++i) {
        if (v.text[i] > 0x7F) return false;
        a += static_cast<char>(v.text[i]);
    }
    if (a.empty()) return false;
    char* end = nullptr;
    out = std::strtod(a.c_str(), &end);
    return end == a.c_str() + a.size();
}

std::int32_t toReal(const DocivaValue& v, double& out) {
    switch (v.type) {
        case DOCIVA_EMPTY: out = 0; return DOCIVA_OK;
        case DOCIVA_I2:
        case DOCIVA_I4:
        case DOCIVA_BOOL: out = v.integer; return DOCIVA_OK;
        case DOCIVA_R8: out = v.real; return DOCIVA_OK;
        case DOCIVA_STRING: return parseNumber(v, out) ? DOCIVA_OK : DOCIVA_E_TYPEMISMATCH;
        default: return DOCIVA_E_TYPEMISMATCH;
    }
}

std::int32_t toShort(const DocivaValue& v, std::int16_t& out) {
    double d = 0;
    if (const std::int32_t hr = toReal(v, d); hr != DOCIVA_OK) return hr;
    d = std::nearbyint(d);  // the default rounding: half to even
    if (!(d >= -32768 && d <= 32767)) return DOCIVA_E_OVERFLOW;
    out = static_cast<std::int16_t>(d);
    return DOCIVA_OK;
}

std::int32_t toText(const DocivaValue& v, std::u16string& out) {
    switch (v.type) {
        case DOCIVA_EMPTY: out.clear(); return DOCIVA_OK;
        case DOCIVA_STRING: out.assign(v.text ? v.text : u"", v.text ? v.textLength : 0); return DOCIVA_OK;
        case DOCIVA_I2:
        case DOCIVA_I4: out = ascii(std::to_string(v.integer)); return DOCIVA_OK;
        default: return DOCIVA_E_TYPEMISMATCH;
    }
}

std::string describe(const DocivaValue& v) {
    char buffer[64];
    switch (v.type) {
        case DOCIVA_EMPTY: return "EMPTY";
        case DOCIVA_NULL: return "NULL";
        case DOCIVA_I4: return "I4:" + std::to_string(v.integer);
        case DOCIVA_BOOL: return "BOOL:" + std::to_string(v.integer);
        case DOCIVA_R8: std::snprintf(buffer, sizeof buffer, "R8:%.17g", v.real); return buffer;
        case DOCIVA_DISPATCH: return v.object ? "DISPATCH" : "DISPATCH:null";
        case DOCIVA_STRING: {
            std::string s = "S\"";
            for (std::uint32_t i = 0; i < v.textLength; ++i) {
                const char16_t c = v.text[i];
                if (c >= 0x20 && c < 0x7F && c != u'\\' && c != u'"') {
                    s += static_cast<char>(c);
                } else {
                    std::snprintf(buffer, sizeof buffer, "\\u%04x", static_cast<unsigned>(c));
                    s += buffer;
                }
            }
            return s + "\"";
        }
        default: return "TYPE:" + std::to_string(v.type);
    }
}

// A JSON string: everything outside printable ASCII as \uXXXX.
std::string jsonString(std::u16string_view s) {
    std::string out = "\"";
    char buffer[8];
    for (const char16_t c : s) {
        if (c >= 0x20 && c < 0x7F && c != u'\\' && c != u'"') {
            out += static_cast<char>(c);
        } else {
            std::snprintf(buffer, sizeof buffer, "\\u%04x", static_cast<unsigned>(c));
            out += buffer;
        }
    }
    return out + "\"";
}

std::u16string_view untilTerminator(const char16_t* s, std::size_t size) {
    std::size_t n = 0;
    while (n < size && s[n]) ++n;
    return {s, n};
}

void copyText(char16_t* to, std::size_t capacity, std::u16string_view from) {
    const std::size_t n = std::min(from.size(), capacity - 1);
    std::copy(from.begin(), from.begin() + static_cast<std::ptrdiff_t>(n), to);
    to[n] = 0;
}

DocivaValue stringResult(const std::u16string& s) {
    DocivaValue r{};
    r.type = DOCIVA_STRING;
    // Owned by the caller until docivaFreeValue.
    auto copy = std::make_unique<char16_t[]>(s.size() + 1);
    std::copy(s.begin(), s.end(), copy.get());
    r.text = copy.release();
    r.textLength = static_cast<std::uint32_t>(s.size());
    return r;
}

DocivaValue shortResult(int n) {
    DocivaValue r{};
    r.type = DOCIVA_I2;
    r.integer = n;
    return r;
}

std::int32_t call(DocivaControl& c, const DocivaMethodInfo& m, const DocivaValue* args, std::uint32_t count,
                  DocivaValue& result, std::uint32_t* bad) {
    const auto failAt = [&](std::int32_t hr, std::uint32_t index) {
        if (bad) *bad = index;
        return hr;
    };
    switch (m.dispid) {
        case kSetResolution: {
            std::int16_t dpi = 0;
            if (const std::int32_t hr = toShort(args[0], dpi); hr != DOCIVA_OK) return failAt(hr, 0);
            c.fire(3, ascii("{\"name\":\"Resolution\",\"value\":" + std::to_string(dpi) + "}"));
            result = shortResult(dpi);
            return DOCIVA_OK;
        }
        case kEcho: {
            std::u16string s;
            if (const std::int32_t hr = toText(args[0], s); hr != DOCIVA_OK) return failAt(hr, 0);
            result = stringResult(s);
            return DOCIVA_OK;
        }
        case kDescribeArguments: {
            std::string s;
            for (std::uint32_t i = 0; i < count; ++i) s += (i ? " " : "") + describe(args[i]);
            result = stringResult(ascii(s));
            return DOCIVA_OK;
        }
        case kScale: {
            double a = 0, b = 0;
            if (const std::int32_t hr = toReal(args[0], a); hr != DOCIVA_OK) return failAt(hr, 0);
            if (const std::int32_t hr = toReal(args[1], b); hr != DOCIVA_OK) return failAt(hr, 1);
            char buffer[40];
            std::snprintf(buffer, sizeof buffer, "%.17g", a * b);
            result = stringResult(ascii(buffer));
            return DOCIVA_OK;
        }
        case kOpenDialog: {
            std::int16_t kind = 0;
            std::u16string caption;
            if (const std::int32_t hr = toShort(args[0], kind); hr != DOCIVA_OK) return failAt(hr, 0);
            if (const std::int32_t hr = toText(args[1], caption); hr != DOCIVA_OK) return failAt(hr, 1);
            const std::u16string prompt = u"prompt for " + caption;
            DocivaDialogRequest request{static_cast<std::uint32_t>(kind), caption.c_str(), prompt.c_str(), u"initial",
                                        nullptr};
            char16_t answer[260] = {};  // the component's fixed buffers
            const bool confirmed = c.host.runDialog(c.host.context, &request, answer, 260) != 0;
            result = stringResult(confirmed ? std::u16string(answer) : u"(cancelled)");
            return DOCIVA_OK;
        }
        case kKeepObject: {
            if (args[0].type != DOCIVA_DISPATCH || !args[0].object) return failAt(DOCIVA_E_TYPEMISMATCH, 0);
            c.host.addRefObject(c.host.context, args[0].object);
            c.kept.push_back(args[0].object);
            result = shortResult(static_cast<int>(c.kept.size()));
            return DOCIVA_OK;
        }
        case kDropObjects: {
            const auto n = static_cast<int>(c.kept.size());
            for (void* o : c.kept) c.host.releaseObject(c.host.context, o);
            c.kept.clear();
            result = shortResult(n);
            return DOCIVA_OK;
        }
        case kPostWork: {
            std::int16_t n = 0, delay = 0;
            if (const std::int32_t hr = toShort(args[0], n); hr != DOCIVA_OK) return failAt(hr, 0);
            if (const std::int32_t hr = toShort(args[1], delay); hr != DOCIVA_OK) return failAt(hr, 1);
            const auto due = Clock::now() + std::chrono::milliseconds(delay);
            for (int i = 0; i < n; ++i) c.queue.push_back({due, c.nextItem++});
            return DOCIVA_OK;
        }
        case kAlert: {
            std::u16string caption, message;
            if (const std::int32_t hr = toText(args[0], caption); hr != DOCIVA_OK) return failAt(hr, 0);
            if (const std::int32_t hr = toText(args[1], message); hr != DOCIVA_OK) return failAt(hr, 1);
            DocivaDialogRequest request{DOCIVA_DIALOG_ALERT, caption.c_str(), message.c_str(), u"", nullptr};
            result = shortResult(c.host.runDialog(c.host.context, &request, nullptr, 0));
            return DOCIVA_OK;
        }
        case kEditWatermark: {
            std::u16string text;
            if (const std::int32_t hr = toText(args[0], text); hr != DOCIVA_OK) return failAt(hr, 0);
            platform::WatermarkSettings record;
            record.type = 1;
            record.position = 4;
            record.transparency = 50;
            copyText(record.image, 260, u"C:\\logo \"a\".png");
            copyText(record.text, 260, text);
            record.textSize = 12;
            record.textAngle = -30;
            DocivaDialogRequest request{DOCIVA_DIALOG_WATERMARK, u"Watermark", u"", u"", &record};
            const std::int32_t confirmed = c.host.runDialog(c.host.context, &request, nullptr, 0);
            const std::string json = "{\"result\":" + std::to_string(confirmed) +
                                     ",\"type\":" + std::to_string(record.type) +
                                     ",\"position\":" + std::to_string(record.position) +
                                     ",\"transparency\":" + std::to_string(record.transparency) +
                                     ",\"image\":" + jsonString(untilTerminator(record.image, 260)) +
                                     ",\"text\":" + jsonString(untilTerminator(record.text, 260)) +
                                     ",\"textSize\":" + std::to_string(record.textSize) +
                                     ",\"textAngle\":" + std::to_string(record.textAngle) + "}";
            result = stringResult(ascii(json));
            return DOCIVA_OK;
        }
        case kShowProgress: {
            std::int16_t position = 0;
            std::u16string text;
            if (const std::int32_t hr = toShort(args[0], position); hr != DOCIVA_OK) return failAt(hr, 0);
            if (const std::int32_t hr = toText(args[1], text); hr != DOCIVA_OK) return failAt(hr, 1);
            if (!c.progress.visible) ++c.progress.timesShown;
            c.progress.exists = 1;
            c.progress.visible = 1;
            c.progress.low = 0;
            c.progress.high = 100;
            c.progress.position = position;
            // A text of 260 units or more fills the array with no
            // terminator: the host must stop at the array's end.
            std::fill(std::begin(c.progress.text), std::end(c.progress.text), u'\0');
            std::copy_n(text.begin(), std::min<std::size_t>(text.size(), 260), c.progress.text);
            return DOCIVA_OK;
        }
        case kHideProgress: c.progress.visible = 0; return DOCIVA_OK;
        case kOpenScanner: {
            std::int16_t handle = 0;
            if (const std::int32_t hr = toShort(args[0], handle); hr != DOCIVA_OK) return failAt(hr, 0);
            c.scannerHandle = static_cast<std::uint16_t>(handle);
            return DOCIVA_OK;
        }
        default: return DOCIVA_E_MEMBERNOTFOUND;
    }
}

const DocivaMethodInfo* findMethod(std::int32_t dispid) {
    for (const auto& m : kMethods)
        if (m.dispid == dispid) return &m;
    return nullptr;
}

std::int32_t handleDue(DocivaControl& c) {
    std::int32_t handled = 0;
    while (!c.queue.empty() && c.queue.front().due <= Clock::now()) {
        const int item = c.queue.front().item;
        c.queue.pop_front();
        c.fire(4, ascii("{\"item\":" + std::to_string(item) + "}"));
        ++handled;
    }
    return handled;
}

}  // namespace

DOCIVA_MODULE_API std::int32_t docivaModuleVersion() { return DOCIVA_MODULE_VERSION; }

DOCIVA_MODULE_API std::uint32_t docivaMethodCount() { return std::size(kMethods); }
DOCIVA_MODULE_API const DocivaMethodInfo* docivaMethodAt(std::uint32_t index) {
    return index < std::size(kMethods) ? &kMethods[index] : nullptr;
}
DOCIVA_MODULE_API std::uint32_t docivaEventCount() { return std::size(kEvents); }
DOCIVA_MODULE_API const DocivaEventInfo* docivaEventAt(std::uint32_t index) {
    return index < std::size(kEvents) ? &kEvents[index] : nullptr;
}

DOCIVA_MODULE_API DocivaControl* docivaCreateControl(const DocivaHost* host) {
    if (!host || host->size < sizeof(DocivaHost)) return nullptr;
    auto control = std::make_unique<DocivaControl>();
    control->host = *host;
    log("create");
    return control.release();
}

DOCIVA_MODULE_API std::int32_t docivaCreateWindow(DocivaControl* control) {
    if (!control) return -1;
    log("window");
    control->hasWindow = true;
    control->fire(1, u"{\"profile\":\"default\"}");
    control->fire(2, u"{\"source\":1}");
    return 0;
}

DOCIVA_MODULE_API void docivaDestroyControl(DocivaControl* control) {
    if (!control) return;
    std::unique_ptr<DocivaControl> owned(control);
    log("destroy kept=" + std::to_string(owned->kept.size()) + " queued=" + std::to_string(owned->queue.size()));
    for (void* o : owned->kept) owned->host.releaseObject(owned->host.context, o);
}

DOCIVA_MODULE_API std::int32_t docivaGetDispId(const char16_t* name, std::int32_t* dispid) {
    if (!name || !dispid) return DOCIVA_E_INVALIDARG;
    const std::u16string wanted(name);
    for (const auto& m : kMethods) {
        const std::u16string have(m.name);
        const auto lower = [](char16_t c) { return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 32) : c; };
        if (have.size() == wanted.size() && std::equal(have.begin(), have.end(), wanted.begin(),
                                                       [&](char16_t a, char16_t b) { return lower(a) == lower(b); })) {
            *dispid = m.dispid;
            return DOCIVA_OK;
        }
    }
    return DOCIVA_E_UNKNOWNNAME;
}

DOCIVA_MODULE_API std::int32_t docivaInvoke(DocivaControl* control, std::int32_t dispid, const DocivaValue* args,
                                            std::uint32_t count, DocivaValue* result, std::uint32_t* badArgument) {
    if (!control || !result || (count > 0 && !args)) return DOCIVA_E_INVALIDARG;
    *result = DocivaValue{};
    const DocivaMethodInfo* m = findMethod(dispid);
    if (!m) return DOCIVA_E_MEMBERNOTFOUND;
    const std::uint32_t expected = m->dispid == kDescribeArguments ? kAnyCount : m->parameterCount;
    if (expected != kAnyCount && count != expected) return DOCIVA_E_BADPARAMCOUNT;
    return call(*control, *m, args, count, *result, badArgument);
}

DOCIVA_MODULE_API void docivaFreeValue(DocivaValue* value) {
    if (!value) return;
    if (value->type == DOCIVA_STRING) std::unique_ptr<const char16_t[]> owned(value->text);
    *value = DocivaValue{};
}

DOCIVA_MODULE_API std::int32_t docivaPump(DocivaControl* control, std::uint32_t timeoutMs) {
    if (!control) return 0;
    std::int32_t handled = handleDue(*control);
    if (handled > 0) return handled;
    // Nothing due: wait for the first message, as a window's queue would;
    // with nothing queued nothing can come, so the wait is the whole time.
    auto until = Clock::now() + std::chrono::milliseconds(timeoutMs);
    if (!control->queue.empty()) until = std::min(until, control->queue.front().due);
    std::this_thread::sleep_until(until);
    return handleDue(*control);
}

DOCIVA_MODULE_API std::int32_t docivaIsIdle(DocivaControl* control) {
    return control && control->queue.empty() ? 1 : 0;
}

DOCIVA_MODULE_API std::int32_t docivaGetProgress(DocivaControl* control, DocivaProgress* progress) {
    if (!control || !progress) return DOCIVA_E_INVALIDARG;
    *progress = control->progress;
    return DOCIVA_OK;
}

DOCIVA_MODULE_API std::uint32_t docivaScannerHandle(DocivaControl* control) {
    return control ? control->scannerHandle : 0;
}

DOCIVA_MODULE_API std::int32_t docivaMouse(DocivaControl* control, std::int32_t kind, std::int32_t x, std::int32_t y) {
    if (!control || kind < DOCIVA_MOUSE_MOVE || kind > DOCIVA_MOUSE_LEAVE) return DOCIVA_E_INVALIDARG;
    control->fire(5, ascii("{\"kind\":" + std::to_string(kind) + ",\"x\":" + std::to_string(x) +
                           ",\"y\":" + std::to_string(y) + "}"));
    return DOCIVA_OK;
}

DOCIVA_MODULE_API std::int32_t docivaSavePicture(DocivaControl* control, const char16_t* path) {
    if (!control || !path || !control->hasWindow) return -1;
    std::string narrow;
    for (const char16_t* p = path; *p; ++p) {
        if (*p > 0x7F) return -1;
        narrow += static_cast<char>(*p);
    }
    FILE* f = std::fopen(narrow.c_str(), "wb");
    if (!f) return -1;
    const bool written = std::fputs("fake picture\n", f) >= 0;
    return std::fclose(f) == 0 && written ? 0 : -1;
}
