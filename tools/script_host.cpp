#include "tools/script_host.h"

#include <duktape.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <filesystem>
#include <initializer_list>
#include <map>
#include <memory>
#include <optional>
#include <type_traits>
#include <utility>
#include <vector>

#include "platform/console.h"
#include "platform/dialog_service.h"
#include "platform/files.h"
#include "platform/path.h"
#include "platform/text.h"
#include "tools/script_host_text.h"

namespace script_host {

namespace {

// How Duktape errors and C++ meet: Duktape (built as C) throws with
// longjmp, which must never cross a frame holding a C++ object with a
// destructor, nor a frame of the control module. So our natives never
// throw themselves: their C++ part returns one of these codes after all
// its objects are gone, and a plain trampoline does the throw. Everything
// the engine does on behalf of a module callback runs under
// duk_safe_call.
constexpr duk_ret_t kThrowError = -1000;
constexpr duk_ret_t kTerminate = -1001;
// Throws again what the script's own code threw under a native (a getter
// of an answer object), kept in the stash's "rethrow".
constexpr duk_ret_t kRethrow = -1002;

constexpr std::uint32_t kDefaultTimeoutMs = 10000;
constexpr std::uint32_t kFinalIdleMs = 10000;
// While the control works without posting anything, host.idle looks again
// this often.
constexpr std::uint32_t kIdlePollMs = 20;
constexpr std::uint64_t kMaxReadBytes = 256u << 20;
constexpr std::uint32_t kNoArgument = 0xFFFFFFFFu;

using Clock = std::chrono::steady_clock;

// What a dialog gives back: a text (written into the control's buffer), a
// dialog result (returned as it is) or the settings record edited in place.
enum class AnswerForm { Text, Result, Record };

// host.answer's kinds. A new kind is one row here, a case in
// Host::describeDialog and, for a new form, one in Host::onRunDialog.
struct DialogKindName {
    const char16_t* name;
    std::uint32_t kind;
    AnswerForm form;
};
constexpr DialogKindName kDialogKinds[] = {
    {u"input", DOCIVA_DIALOG_INPUT, AnswerForm::Text},
    {u"folder", DOCIVA_DIALOG_FOLDER, AnswerForm::Text},
    {u"file", DOCIVA_DIALOG_FILE, AnswerForm::Text},
    {u"alert", DOCIVA_DIALOG_ALERT, AnswerForm::Result},
    {u"watermark", DOCIVA_DIALOG_WATERMARK, AnswerForm::Record},
};

const DialogKindName* findDialogKind(std::uint32_t kind) {
    for (const auto& k : kDialogKinds)
        if (k.kind == kind) return &k;
    return nullptr;
}

std::u16string dialogKindName(std::uint32_t kind) {
    if (const DialogKindName* k = findDialogKind(kind)) return k->name;
    return u"kind " + text::fromUtf8(std::to_string(kind));
}

// The watermark record's fields in the order the trace shows them; each is
// a number or a text of the record's fixed size.
using WatermarkText = char16_t[260];
struct WatermarkField {
    const char* name;
    std::int32_t platform::WatermarkSettings::*number;
    WatermarkText platform::WatermarkSettings::*text;
};
constexpr WatermarkField kWatermarkFields[] = {
    {"type", &platform::WatermarkSettings::type, nullptr},
    {"position", &platform::WatermarkSettings::position, nullptr},
    {"transparency", &platform::WatermarkSettings::transparency, nullptr},
    {"image", nullptr, &platform::WatermarkSettings::image},
    {"text", nullptr, &platform::WatermarkSettings::text},
    {"textSize", &platform::WatermarkSettings::textSize, nullptr},
    {"textAngle", &platform::WatermarkSettings::textAngle, nullptr},
};
constexpr std::size_t kWatermarkFieldCount = std::size(kWatermarkFields);

// A record's text up to its terminator; a record without one ends at its size.
std::u16string_view recordText(const WatermarkText& t) {
    return {t, static_cast<std::size_t>(std::find(std::begin(t), std::end(t), u'\0') - std::begin(t))};
}

// One field of a watermark answer; only the given ones replace the record's.
struct FieldAnswer {
    bool given = false;
    std::int32_t number = 0;
    std::u16string text;
};

// One queued answer of host.answer.
struct DialogAnswer {
    bool confirmed = false;  // false: the user cancelled
    std::u16string text;
    std::int32_t result = 1;
    std::array<FieldAnswer, kWatermarkFieldCount> watermark{};
};

// host.mouse's kinds.
struct MouseKindName {
    const char16_t* name;
    std::int32_t kind;
};
constexpr MouseKindName kMouseKinds[] = {
    {u"move", DOCIVA_MOUSE_MOVE}, {u"drag", DOCIVA_MOUSE_DRAG},           {u"down", DOCIVA_MOUSE_DOWN},
    {u"up", DOCIVA_MOUSE_UP},     {u"dblclick", DOCIVA_MOUSE_DOUBLE_CLICK}, {u"leave", DOCIVA_MOUSE_LEAVE},
};

std::uint32_t remainingMs(Clock::time_point deadline) {
    const auto left = deadline - Clock::now();
    if (left <= Clock::duration::zero()) return 0;
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(left).count();
    return static_cast<std::uint32_t>(std::min<long long>(ms, 0x7FFFFFFF));
}

bool fitsInt32(double d) {
    return d >= -2147483648.0 && d <= 2147483647.0 && static_cast<double>(static_cast<std::int32_t>(d)) == d;
}

bool integerAt(duk_context* ctx, duk_idx_t idx, std::int32_t& out) {
    if (!duk_is_number(ctx, idx)) return false;
    const double d = duk_get_number(ctx, idx);
    if (!fitsInt32(d)) return false;
    out = static_cast<std::int32_t>(d);
    return true;
}

std::string decimal(double d) {
    if (fitsInt32(d)) return std::to_string(static_cast<std::int32_t>(d));
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "%.17g", d);
    return buffer;
}

std::u16string failureText(std::int32_t hr, std::uint32_t badArgument, std::size_t count) {
    const auto withArgument = [&](std::u16string what) {
        if (badArgument < count) what += u" (argument " + text::fromUtf8(std::to_string(badArgument + 1)) + u")";
        return what;
    };
    switch (hr) {
        case DOCIVA_E_TYPEMISMATCH: return withArgument(u"type mismatch");
        case DOCIVA_E_OVERFLOW: return withArgument(u"overflow");
        case DOCIVA_E_BADPARAMCOUNT: return u"wrong number of arguments";
        case DOCIVA_E_UNKNOWNNAME: return u"unknown name";
        case DOCIVA_E_MEMBERNOTFOUND: return u"member not found";
        case DOCIVA_E_INVALIDARG: return u"invalid argument";
        default: break;
    }
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "error 0x%08X", static_cast<unsigned>(hr));
    return text::fromUtf8(buffer);
}

void pushString(duk_context* ctx, std::u16string_view s) {
    const std::string bytes = toEngineString(s);
    duk_push_lstring(ctx, bytes.data(), bytes.size());
}

std::u16string stringAt(duk_context* ctx, duk_idx_t idx) {
    duk_size_t n = 0;
    const char* p = duk_get_lstring(ctx, idx, &n);
    return p ? fromEngineString({p, n}) : std::u16string();
}

bool isPlainString(duk_context* ctx, duk_idx_t idx) { return duk_is_string(ctx, idx) && !duk_is_symbol(ctx, idx); }

// [ err ] -> [ "message at file:line" ]; run under duk_safe_call, since a
// thrown object's properties may be getters that throw again.
duk_ret_t describeThrown(duk_context* ctx, void*) {
    const duk_idx_t e = duk_get_top_index(ctx);
    if (!duk_is_error(ctx, e)) {
        duk_dup(ctx, e);
        duk_to_string(ctx, -1);
        return 1;
    }
    duk_idx_t parts = 0;
    duk_get_prop_string(ctx, e, "name");
    const char* name = duk_get_string(ctx, -1);
    if (!name || !*name || std::strcmp(name, "Error") == 0) {
        duk_pop(ctx);
    } else {
        duk_push_string(ctx, ": ");
        parts += 2;
    }
    duk_get_prop_string(ctx, e, "message");
    duk_to_string(ctx, -1);
    ++parts;
    duk_get_prop_string(ctx, e, "fileName");
    duk_get_prop_string(ctx, e, "lineNumber");
    if (duk_is_string(ctx, -2) && duk_is_number(ctx, -1)) {
        duk_to_string(ctx, -1);
        duk_push_string(ctx, " at ");
        duk_insert(ctx, -3);
        duk_push_string(ctx, ":");
        duk_insert(ctx, -2);
        parts += 4;
    } else {
        duk_pop_2(ctx);
    }
    duk_concat(ctx, parts);
    return 1;
}

// What readWatermarkAnswer found in a script's watermark answer.
struct WatermarkRead {
    std::array<FieldAnswer, kWatermarkFieldCount> fields{};
    std::u16string problem;  // "" when every field was fine
};

// [ answer ] -> [ undefined ]: the answer's fields into the WatermarkRead. Under
// duk_safe_call, since a getter or a proxy may throw; so this frame holds
// no object with a destructor, and every text it makes is assigned before
// the next engine call.
duk_ret_t readWatermarkAnswer(duk_context* ctx, void* udata) {
    auto* read = static_cast<WatermarkRead*>(udata);
    // A safe call runs in its caller's frame: the answer is on top.
    const duk_idx_t answer = duk_get_top_index(ctx);
    // A misspelt field would otherwise leave the initial value in silence.
    duk_enum(ctx, answer, DUK_ENUM_OWN_PROPERTIES_ONLY);
    while (duk_next(ctx, -1, 0)) {
        const char* key = duk_get_string(ctx, -1);
        bool known = false;
        for (const auto& f : kWatermarkFields) known = known || (key && std::strcmp(key, f.name) == 0);
        if (!known) {
            read->problem = u"unknown watermark field \"" + stringAt(ctx, -1) + u"\"";
            return 0;
        }
        duk_pop(ctx);
    }
    duk_pop(ctx);
    for (std::size_t i = 0; i < kWatermarkFieldCount; ++i) {
        duk_get_prop_string(ctx, answer, kWatermarkFields[i].name);
        FieldAnswer& field = read->fields[i];
        if (duk_is_undefined(ctx, -1)) {
            // not given
        } else if (kWatermarkFields[i].number) {
            if (!integerAt(ctx, -1, field.number)) {
                read->problem = u"the watermark field " + text::fromUtf8(kWatermarkFields[i].name) +
                                u" must be an integer";
                return 0;
            }
            field.given = true;
        } else {
            if (!isPlainString(ctx, -1)) {
                read->problem = u"the watermark field " + text::fromUtf8(kWatermarkFields[i].name) +
                                u" must be a string";
                return 0;
            }
            field.text = stringAt(ctx, -1);
            field.given = true;
        }
        duk_pop(ctx);
    }
    return 0;
}

struct ObjectKey {
    duk_uarridx_t key;
};

duk_ret_t dropStashedObject(duk_context* ctx, void* udata) {
    const duk_uarridx_t key = static_cast<const ObjectKey*>(udata)->key;
    duk_push_global_stash(ctx);
    duk_get_prop_string(ctx, -1, "objects");
    duk_del_prop_index(ctx, -1, key);
    duk_pop_2(ctx);
    return 0;
}

struct MethodEntry {
    std::int32_t dispid;
    std::u16string name;
};

// One event handler call: what handleEvent prepared for callHandler.
struct HandlerCall {
    std::string name;     // engine form
    std::string payload;  // engine form
};

duk_ret_t callHandler(duk_context* ctx, void* udata) {
    const auto* call = static_cast<const HandlerCall*>(udata);
    duk_get_global_lstring(ctx, call->name.data(), call->name.size());
    if (!duk_is_callable(ctx, -1)) return 0;
    duk_push_lstring(ctx, call->payload.data(), call->payload.size());
    duk_call(ctx, 1);
    return 0;
}

void onFatal(void*, const char* message) {
    platform::writeStderr(std::string("dociva run: script engine failure: ") + (message ? message : "") + "\n");
    std::abort();
}

struct HeapDeleter {
    void operator()(duk_context* ctx) const { duk_destroy_heap(ctx); }
};

struct ControlDeleter {
    const ControlModule* module;
    void operator()(DocivaControl* control) const { module->destroyControl(control); }
};

class Host {
public:
    Host(const ControlModule& module, const RunOptions& options) : module_(module), options_(options) {}

    int run(std::u16string_view scriptName, std::string_view source);

    // --- natives (C++ part; see kThrowError) ---------------------------
    duk_ret_t callMethod(duk_context* ctx);
    duk_ret_t invoke(duk_context* ctx);
    duk_ret_t callNamed(duk_context* ctx);
    duk_ret_t methodOf(duk_context* ctx);
    duk_ret_t print(duk_context* ctx);
    duk_ret_t wait(duk_context* ctx);
    duk_ret_t idle(duk_context* ctx);
    duk_ret_t sleep(duk_context* ctx);
    duk_ret_t answer(duk_context* ctx);
    duk_ret_t readFile(duk_context* ctx);
    duk_ret_t fileExists(duk_context* ctx);
    duk_ret_t listDir(duk_context* ctx);
    duk_ret_t exit(duk_context* ctx);
    duk_ret_t heldObjects(duk_context* ctx);
    duk_ret_t progress(duk_context* ctx);
    duk_ret_t pressButton(duk_context* ctx);
    duk_ret_t sdkStatus(duk_context* ctx);
    duk_ret_t screenshot(duk_context* ctx);
    duk_ret_t mouse(duk_context* ctx);
    duk_ret_t click(duk_context* ctx);
    duk_ret_t doubleClick(duk_context* ctx);

    // The throw for a native's code; never returns.
    duk_ret_t raise(duk_context* ctx, duk_ret_t code);

    // --- the control's callbacks ---------------------------------------
    void onEvent(std::int32_t dispid, const char16_t* name, const char16_t* data, std::uint32_t length);
    void onAddRef(void* object);
    void onRelease(void* object);
    std::int32_t onRunDialog(const DocivaDialogRequest* request, char16_t* answer, std::uint32_t capacity);

private:
    enum class IdleOutcome { Idle, Timeout, Terminated };

    void installGlobals();
    std::string describeTop();
    void reportTop();
    void traceLine(const std::string& line) const {
        if (options_.trace) platform::writeStdout(line + "\n");
    }
    std::u16string methodName(std::int32_t dispid) const;
    std::string describeDialog(const DocivaDialogRequest& request) const;
    duk_ret_t answerWatermark(duk_context* ctx, DialogAnswer& answer);
    duk_ret_t openScanner(const char16_t* function, std::uint32_t& handle);
    duk_ret_t sendMouse(duk_context* ctx, const char16_t* function, std::initializer_list<std::int32_t> kinds,
                        duk_idx_t xIndex);
    duk_ret_t invokeMethod(duk_context* ctx, std::int32_t dispid, const std::u16string& name, duk_idx_t first);
    std::string pushResult(duk_context* ctx, const DocivaValue& result);
    duk_uarridx_t holdObject(duk_context* ctx, duk_idx_t idx);
    void releaseObject(duk_uarridx_t key);
    std::int32_t pump(std::uint32_t timeoutMs) { return module_.pump(control_.get(), timeoutMs); }
    IdleOutcome pumpUntilIdle(std::uint32_t timeoutMs);
    bool timeoutArgument(duk_context* ctx, duk_idx_t idx, std::uint32_t fallback, std::uint32_t& ms) const;
    duk_ret_t fail(std::u16string message, const char* type = "Error") {
        pendingError_ = std::move(message);
        pendingErrorType_ = type;
        return kThrowError;
    }
    duk_ret_t refuseInsideHandler(const char16_t* what) {
        return fail(std::u16string(what) + u" cannot be called from an event handler");
    }

    const ControlModule& module_;
    const RunOptions options_;
    std::vector<MethodEntry> methods_;
    std::unique_ptr<duk_context, HeapDeleter> heap_;
    std::unique_ptr<DocivaControl, ControlDeleter> control_{nullptr, ControlDeleter{nullptr}};
    DocivaHost callbacks_{};

    // Set once the script is to end: by host.exit, or with 1 by an error
    // in an event handler. From then on every native refuses to run, so a
    // script that catches the throw cannot go on doing anything visible.
    std::optional<int> termination_;
    std::u16string pendingError_;
    const char* pendingErrorType_ = "Error";
    int handlerDepth_ = 0;
    bool tearingDown_ = false;

    // Payloads of the events raised and not yet taken by host.wait.
    std::map<std::u16string, std::deque<std::u16string>> raised_;
    std::map<std::uint32_t, std::deque<DialogAnswer>> answers_;
    // The SDK's test calls, loaded when a script first needs them.
    SdkTestCalls sdk_;
    std::optional<std::string> sdkProblem_;
    // Reference counts of the script objects given to the control, keyed
    // as in the stash's "objects"; the key is also the object's pointer.
    std::map<duk_uarridx_t, std::uint32_t> objects_;
    duk_uarridx_t nextObjectKey_ = 0;
};

Host& hostOf(duk_context* ctx) {
    duk_push_global_stash(ctx);
    duk_get_prop_string(ctx, -1, "host");
    void* host = duk_get_pointer(ctx, -1);
    duk_pop_2(ctx);
    return *static_cast<Host*>(host);
}

template <duk_ret_t (Host::*Member)(duk_context*)>
duk_ret_t native(duk_context* ctx) {
    Host& host = hostOf(ctx);
    const duk_ret_t r = (host.*Member)(ctx);
    return r >= 0 ? r : host.raise(ctx, r);
}

void fireEventCallback(void* context, std::int32_t dispid, const char16_t* name, const char16_t* data,
                       std::uint32_t length) {
    static_cast<Host*>(context)->onEvent(dispid, name, data, length);
}
void addRefCallback(void* context, void* object) { static_cast<Host*>(context)->onAddRef(object); }
void releaseCallback(void* context, void* object) { static_cast<Host*>(context)->onRelease(object); }
std::int32_t runDialogCallback(void* context, const DocivaDialogRequest* request, char16_t* answer,
                               std::uint32_t capacity) {
    return static_cast<Host*>(context)->onRunDialog(request, answer, capacity);
}

duk_ret_t Host::raise(duk_context* ctx, duk_ret_t code) {
    duk_push_global_stash(ctx);
    if (code == kRethrow) {
        duk_get_prop_string(ctx, -1, "rethrow");
        duk_del_prop_string(ctx, -2, "rethrow");
        return duk_throw(ctx);
    }
    if (code == kThrowError) {
        duk_get_prop_string(ctx, -1, pendingErrorType_);
        pushString(ctx, pendingError_);
    } else {
        duk_get_prop_string(ctx, -1, "Error");
        duk_push_string(ctx, "script ended");
    }
    pendingError_.clear();
    // new Error from here blames the script line that called the native.
    duk_new(ctx, 1);
    return duk_throw(ctx);
}

int Host::run(std::u16string_view scriptName, std::string_view source) {
    heap_.reset(duk_create_heap(nullptr, nullptr, nullptr, nullptr, onFatal));
    if (!heap_) {
        platform::writeStderr("dociva run: cannot create the script engine\n");
        return 1;
    }
    duk_context* ctx = heap_.get();
    installGlobals();

    if (source.size() >= 3 && source.substr(0, 3) == "\xEF\xBB\xBF") source.remove_prefix(3);
    pushString(ctx, scriptName);
    if (duk_pcompile_lstring_filename(ctx, 0, source.data(), source.size()) != 0) {
        reportTop();
        return 1;
    }

    callbacks_.size = sizeof(DocivaHost);
    callbacks_.context = this;
    callbacks_.fireEvent = fireEventCallback;
    callbacks_.addRefObject = addRefCallback;
    callbacks_.releaseObject = releaseCallback;
    callbacks_.runDialog = runDialogCallback;
    control_ = {module_.makeControl ? module_.makeControl(&callbacks_) : module_.createControl(&callbacks_),
                ControlDeleter{&module_}};
    if (!control_) {
        platform::writeStderr("dociva run: the control module made no control\n");
        return 1;
    }
    if (module_.createWindow(control_.get()) != 0) {
        platform::writeStderr("dociva run: the control cannot create its window\n");
        termination_ = 1;
    } else if (duk_pcall(ctx, 0) != 0) {
        if (!termination_) {
            reportTop();
            termination_ = 1;
        }
    } else if (!termination_ && pumpUntilIdle(kFinalIdleMs) == IdleOutcome::Timeout) {
        platform::writeStderr("dociva run: the control was still busy " + std::to_string(kFinalIdleMs / 1000) +
                              " s after the script ended\n");
    }
    const int code = termination_.value_or(0);

    tearingDown_ = true;
    control_.reset();
    if (!objects_.empty()) {
        platform::writeStderr("dociva run: the control still holds " + std::to_string(objects_.size()) +
                              " script object(s) after it was destroyed\n");
    }
    heap_.reset();
    return code;
}

void Host::installGlobals() {
    duk_context* ctx = heap_.get();
    duk_push_global_stash(ctx);
    duk_push_pointer(ctx, this);
    duk_put_prop_string(ctx, -2, "host");
    duk_push_object(ctx);
    duk_put_prop_string(ctx, -2, "objects");
    // The constructors as they were, whatever the script does to its globals.
    for (const char* type : {"Error", "TypeError"}) {
        duk_get_global_string(ctx, type);
        duk_put_prop_string(ctx, -2, type);
    }
    duk_pop(ctx);

    duk_push_object(ctx);
    if (module_.byName) {
        // The plug-in lists no methods: every name read from `dociva` is a
        // function that calls the method of that name, as a browser's
        // scriptable object does.
        duk_push_object(ctx);  // the proxy's target
        duk_push_object(ctx);
        duk_push_c_function(ctx, native<&Host::methodOf>, 3);
        duk_put_prop_string(ctx, -2, "get");
        duk_push_proxy(ctx, 0);
        duk_put_global_string(ctx, "dociva");
    }
    const std::uint32_t count = module_.methodCount();
    for (std::uint32_t i = 0; i < count; ++i) {
        const DocivaMethodInfo* info = module_.methodAt(i);
        if (!info || !info->name) continue;
        methods_.push_back({info->dispid, std::u16string(text::view(info->name))});
        duk_push_c_function(ctx, native<&Host::callMethod>, DUK_VARARGS);
        duk_set_magic(ctx, -1, static_cast<duk_int_t>(methods_.size() - 1));
        pushString(ctx, methods_.back().name);
        duk_swap_top(ctx, -2);
        duk_put_prop(ctx, -3);
    }
    duk_push_c_function(ctx, native<&Host::invoke>, DUK_VARARGS);
    duk_put_prop_string(ctx, -2, "invoke");
    if (module_.byName) {
        duk_pop(ctx);
    } else {
        duk_put_global_string(ctx, "dociva");
    }

    struct Function {
        const char* name;
        duk_c_function function;
        duk_idx_t arguments;
    };
    const Function hostFunctions[] = {
        {"print", native<&Host::print>, DUK_VARARGS},
        {"wait", native<&Host::wait>, 2},
        {"idle", native<&Host::idle>, 1},
        {"sleep", native<&Host::sleep>, 1},
        {"answer", native<&Host::answer>, 2},
        {"readFile", native<&Host::readFile>, 2},
        {"fileExists", native<&Host::fileExists>, 1},
        {"listDir", native<&Host::listDir>, 1},
        {"exit", native<&Host::exit>, 1},
        {"heldObjects", native<&Host::heldObjects>, 0},
        {"progress", native<&Host::progress>, 0},
        {"pressButton", native<&Host::pressButton>, 1},
        {"sdkStatus", native<&Host::sdkStatus>, 2},
        {"screenshot", native<&Host::screenshot>, 1},
        {"mouse", native<&Host::mouse>, 3},
        {"click", native<&Host::click>, 2},
        {"doubleClick", native<&Host::doubleClick>, 2},
    };
    duk_push_object(ctx);
    for (const auto& f : hostFunctions) {
        duk_push_c_function(ctx, f.function, f.arguments);
        duk_put_prop_string(ctx, -2, f.name);
    }
    // Where the host was started: scripts find the files beside them from here.
    std::error_code failed;
    const std::u8string root = std::filesystem::current_path(failed).u8string();
    pushString(ctx, failed ? std::u16string()
                           : text::fromUtf8({reinterpret_cast<const char*>(root.data()), root.size()}));
    duk_put_prop_string(ctx, -2, "root");
    duk_put_global_string(ctx, "host");
}

std::string Host::describeTop() {
    duk_context* ctx = heap_.get();
    std::string out = "an error that cannot be described";
    if (duk_safe_call(ctx, describeThrown, nullptr, 1, 1) == DUK_EXEC_SUCCESS) {
        out = text::toUtf8(stringAt(ctx, -1));
    }
    duk_pop(ctx);
    return out;
}

void Host::reportTop() { platform::writeStderr("dociva run: " + describeTop() + "\n"); }

std::u16string Host::methodName(std::int32_t dispid) const {
    for (const auto& m : methods_)
        if (m.dispid == dispid) return m.name;
    return u"dispid " + text::fromUtf8(std::to_string(dispid));
}

// --- dociva ------------------------------------------------------------------

duk_ret_t Host::callMethod(duk_context* ctx) {
    const auto index = static_cast<std::size_t>(duk_get_current_magic(ctx));
    if (index >= methods_.size()) return fail(u"dociva: no such method");
    return invokeMethod(ctx, methods_[index].dispid, methods_[index].name, 0);
}

duk_ret_t Host::invoke(duk_context* ctx) {
    if (termination_) return kTerminate;
    std::int32_t dispid = 0;
    if (duk_is_number(ctx, 0) && fitsInt32(duk_get_number(ctx, 0))) {
        dispid = static_cast<std::int32_t>(duk_get_number(ctx, 0));
        if (module_.byName) {
            // A browser finds the plug-in's methods by name; the numbers
            // the host hands out for names mean nothing to a page.
            const std::u16string name = methodName(dispid);
            traceLine("CALL " + text::toUtf8(name) + " -> error: the plug-in's methods have no dispatch ids");
            return fail(name + u": the plug-in's methods have no dispatch ids");
        }
    } else if (isPlainString(ctx, 0)) {
        const std::u16string name = stringAt(ctx, 0);
        if (module_.byName) {
            dispid = module_.dispIdByName(control_.get(), name.c_str());
            return invokeMethod(ctx, dispid, name, 1);
        }
        if (module_.getDispId(name.c_str(), &dispid) != DOCIVA_OK) {
            traceLine("CALL " + text::toUtf8(name) + " -> error: unknown name");
            return fail(name + u": unknown name");
        }
    } else {
        return fail(u"dociva.invoke: the first argument must be a dispatch id or a method name", "TypeError");
    }
    return invokeMethod(ctx, dispid, methodName(dispid), 1);
}

// The get trap of the plug-in's `dociva`: [ target key receiver ] -> a
// function calling the method of that name (invoke stays invoke).
duk_ret_t Host::methodOf(duk_context* ctx) {
    if (!isPlainString(ctx, 1)) return 0;
    const std::u16string name = stringAt(ctx, 1);
    if (name == u"invoke") {
        duk_push_c_function(ctx, native<&Host::invoke>, DUK_VARARGS);
        return 1;
    }
    duk_push_c_function(ctx, native<&Host::callNamed>, DUK_VARARGS);
    pushString(ctx, name);
    duk_put_prop_string(ctx, -2, DUK_HIDDEN_SYMBOL("method"));
    return 1;
}

duk_ret_t Host::callNamed(duk_context* ctx) {
    if (termination_) return kTerminate;
    duk_push_current_function(ctx);
    duk_get_prop_string(ctx, -1, DUK_HIDDEN_SYMBOL("method"));
    const std::u16string name = stringAt(ctx, -1);
    duk_pop_2(ctx);
    return invokeMethod(ctx, module_.dispIdByName(control_.get(), name.c_str()), name, 0);
}

duk_ret_t Host::invokeMethod(duk_context* ctx, std::int32_t dispid, const std::u16string& name, duk_idx_t first) {
    if (termination_) return kTerminate;
    const duk_idx_t top = duk_get_top(ctx);
    const std::size_t count = top > first ? static_cast<std::size_t>(top - first) : 0;
    std::vector<DocivaValue> args(count);
    // Sized up front: args point into these texts.
    std::vector<std::u16string> texts(count);
    std::vector<duk_uarridx_t> held;
    std::uint32_t refused = kNoArgument;
    for (std::size_t i = 0; i < count && refused == kNoArgument; ++i) {
        const auto idx = static_cast<duk_idx_t>(first + static_cast<duk_idx_t>(i));
        DocivaValue& v = args[i];
        switch (duk_get_type(ctx, idx)) {
            case DUK_TYPE_UNDEFINED: v.type = DOCIVA_EMPTY; break;
            case DUK_TYPE_NULL: v.type = DOCIVA_NULL; break;
            case DUK_TYPE_BOOLEAN:
                v.type = DOCIVA_BOOL;
                v.integer = duk_get_boolean(ctx, idx) ? -1 : 0;
                break;
            case DUK_TYPE_NUMBER: {
                const double d = duk_get_number(ctx, idx);
                if (fitsInt32(d)) {
                    v.type = DOCIVA_I4;
                    v.integer = static_cast<std::int32_t>(d);
                } else {
                    v.type = DOCIVA_R8;
                    v.real = d;
                }
                break;
            }
            case DUK_TYPE_STRING:
                if (duk_is_symbol(ctx, idx)) {
                    refused = static_cast<std::uint32_t>(i);
                    break;
                }
                texts[i] = stringAt(ctx, idx);
                v.type = DOCIVA_STRING;
                v.text = texts[i].c_str();
                v.textLength = static_cast<std::uint32_t>(texts[i].size());
                break;
            case DUK_TYPE_OBJECT:
            case DUK_TYPE_LIGHTFUNC:
                held.push_back(holdObject(ctx, idx));
                v.type = DOCIVA_DISPATCH;
                v.object = reinterpret_cast<void*>(static_cast<std::uintptr_t>(held.back()));
                break;
            default:  // buffers and pointers: nothing a page could pass
                refused = static_cast<std::uint32_t>(i);
                break;
        }
    }

    DocivaValue result{};
    result.type = DOCIVA_EMPTY;
    std::uint32_t badArgument = kNoArgument;
    std::int32_t hr = DOCIVA_E_TYPEMISMATCH;
    if (refused == kNoArgument) {
        hr = module_.invoke(control_.get(), dispid, args.empty() ? nullptr : args.data(),
                            static_cast<std::uint32_t>(count), &result, &badArgument);
    } else {
        badArgument = refused;
    }
    // The arguments' own references; the control counted any it keeps.
    for (const auto key : held) releaseObject(key);

    if (hr != DOCIVA_OK) {
        module_.freeValue(&result);
        const std::u16string why = module_.exceptionText ? module_.exceptionText(control_.get())
                                                         : failureText(hr, badArgument, count);
        traceLine("CALL " + text::toUtf8(name) + " -> error: " + text::toUtf8(why));
        if (termination_) return kTerminate;
        return fail(name + u": " + why);
    }
    const std::string shown = pushResult(ctx, result);
    module_.freeValue(&result);
    traceLine("CALL " + text::toUtf8(name) + " -> " + shown);
    if (termination_) return kTerminate;
    return 1;
}

std::string Host::pushResult(duk_context* ctx, const DocivaValue& result) {
    switch (result.type) {
        case DOCIVA_EMPTY: duk_push_undefined(ctx); return "void";
        case DOCIVA_NULL: duk_push_null(ctx); return "null";
        case DOCIVA_I2:
        case DOCIVA_I4: duk_push_int(ctx, result.integer); return std::to_string(result.integer);
        case DOCIVA_R8: duk_push_number(ctx, result.real); return decimal(result.real);
        case DOCIVA_BOOL: duk_push_boolean(ctx, result.integer != 0); return result.integer ? "true" : "false";
        case DOCIVA_STRING: {
            const std::u16string_view s =
                result.text ? std::u16string_view(result.text, result.textLength) : std::u16string_view();
            pushString(ctx, s);
            return jsonQuote(s);
        }
        default: duk_push_undefined(ctx); return "unexpected result type " + std::to_string(result.type);
    }
}

// --- objects given to the control ---------------------------------------------

duk_uarridx_t Host::holdObject(duk_context* ctx, duk_idx_t idx) {
    idx = duk_normalize_index(ctx, idx);
    const duk_uarridx_t key = ++nextObjectKey_;
    duk_push_global_stash(ctx);
    duk_get_prop_string(ctx, -1, "objects");
    duk_dup(ctx, idx);
    duk_put_prop_index(ctx, -2, key);
    duk_pop_2(ctx);
    objects_[key] = 1;
    return key;
}

void Host::releaseObject(duk_uarridx_t key) {
    const auto it = objects_.find(key);
    if (it == objects_.end()) {
        platform::writeStderr("dociva run: the control released an object it does not hold\n");
        return;
    }
    if (--it->second > 0) return;
    objects_.erase(it);
    if (!heap_) return;
    ObjectKey k{key};
    duk_safe_call(heap_.get(), dropStashedObject, &k, 0, 0);
}

void Host::onAddRef(void* object) {
    const auto key = static_cast<duk_uarridx_t>(reinterpret_cast<std::uintptr_t>(object));
    const auto it = objects_.find(key);
    if (it == objects_.end() || reinterpret_cast<std::uintptr_t>(object) != key) {
        platform::writeStderr("dociva run: the control counted an object it was never given\n");
        return;
    }
    ++it->second;
}

void Host::onRelease(void* object) {
    const auto raw = reinterpret_cast<std::uintptr_t>(object);
    if (raw > 0xFFFFFFFFu) {
        platform::writeStderr("dociva run: the control released an object it does not hold\n");
        return;
    }
    releaseObject(static_cast<duk_uarridx_t>(raw));
}

// --- events and dialogs ------------------------------------------------------

void Host::onEvent(std::int32_t dispid, const char16_t* name, const char16_t* data, std::uint32_t length) {
    std::u16string eventName(text::view(name));
    if (eventName.empty()) {
        for (std::uint32_t i = 0, n = module_.eventCount(); i < n; ++i) {
            const DocivaEventInfo* info = module_.eventAt(i);
            if (info && info->dispid == dispid) eventName = text::view(info->name);
        }
    }
    const std::u16string payload = data ? std::u16string(data, length) : std::u16string();
    traceLine("EVENT " + text::toUtf8(eventName) + " " + text::toUtf8(payload));
    raised_[eventName].push_back(payload);
    if (termination_ || tearingDown_ || !heap_) return;

    HandlerCall call{toEngineString(eventName), toEngineString(payload)};
    duk_context* ctx = heap_.get();
    ++handlerDepth_;
    const duk_int_t rc = duk_safe_call(ctx, callHandler, &call, 0, 1);
    --handlerDepth_;
    if (rc != DUK_EXEC_SUCCESS && !termination_) {
        reportTop();
        termination_ = 1;
    } else {
        duk_pop(ctx);
    }
}

std::string Host::describeDialog(const DocivaDialogRequest& request) const {
    const auto field = [](const char* name, const char16_t* value) {
        return std::string("\"") + name + "\":" + jsonQuote(text::view(value));
    };
    switch (request.kind) {
        case DOCIVA_DIALOG_INPUT:
            return "input {" + field("caption", request.caption) + "," + field("text", request.text) + "," +
                   field("initial", request.initial) + "}";
        case DOCIVA_DIALOG_FOLDER:
            return "folder {" + field("caption", request.caption) + "," + field("folder", request.text) + "}";
        case DOCIVA_DIALOG_FILE: return "file {" + field("filter", request.text) + "}";
        case DOCIVA_DIALOG_ALERT:
            return "alert {" + field("caption", request.caption) + "," + field("message", request.text) + "}";
        case DOCIVA_DIALOG_WATERMARK: {
            std::string out = "watermark {";
            if (const auto* record = static_cast<const platform::WatermarkSettings*>(request.record)) {
                for (const auto& f : kWatermarkFields) {
                    if (out.back() != '{') out += ',';
                    out += std::string("\"") + f.name + "\":" +
                           (f.number ? std::to_string(record->*f.number) : jsonQuote(recordText(record->*f.text)));
                }
            }
            return out + "}";
        }
        default:
            return std::to_string(request.kind) + " {" + field("caption", request.caption) + "," +
                   field("text", request.text) + "," + field("initial", request.initial) + "}";
    }
}

std::int32_t Host::onRunDialog(const DocivaDialogRequest* request, char16_t* answer, std::uint32_t capacity) {
    if (!request) return 0;
    traceLine("DIALOG " + describeDialog(*request));
    const DialogKindName* kind = findDialogKind(request->kind);
    auto& queue = answers_[request->kind];
    if (queue.empty()) {
        // An alert has only its OK button: nothing to choose.
        if (kind && kind->form == AnswerForm::Result) return 1;
        platform::writeStderr("dociva run: no answer queued for " + text::toUtf8(dialogKindName(request->kind)) +
                              " dialog \"" + text::toUtf8(text::view(request->caption)) + "\"\n");
        return 0;
    }
    const DialogAnswer given = std::move(queue.front());
    queue.pop_front();
    if (!given.confirmed || !kind) return 0;
    switch (kind->form) {
        case AnswerForm::Text:
            if (answer) text::copyBounded(answer, capacity, given.text);
            return 1;
        case AnswerForm::Result: return given.result;
        case AnswerForm::Record: {
            auto* record = static_cast<platform::WatermarkSettings*>(request->record);
            if (!record) {
                platform::writeStderr("dociva run: the control opened a watermark dialog without its record\n");
                return 0;
            }
            for (std::size_t i = 0; i < kWatermarkFieldCount; ++i) {
                const FieldAnswer& f = given.watermark[i];
                if (!f.given) continue;
                if (kWatermarkFields[i].number) {
                    record->*kWatermarkFields[i].number = f.number;
                } else {
                    text::copyBounded(record->*kWatermarkFields[i].text, std::extent_v<WatermarkText>, f.text);
                }
            }
            return 1;
        }
    }
    return 0;
}

// --- host --------------------------------------------------------------------

duk_ret_t Host::print(duk_context* ctx) {
    if (termination_) return kTerminate;
    std::string line;
    const duk_idx_t n = duk_get_top(ctx);
    for (duk_idx_t i = 0; i < n; ++i) {
        duk_size_t length = 0;
        const char* p = duk_safe_to_lstring(ctx, i, &length);
        if (i > 0) line += ' ';
        line += text::toUtf8(fromEngineString({p, length}));
    }
    platform::writeStdout(line + "\n");
    return 0;
}

bool Host::timeoutArgument(duk_context* ctx, duk_idx_t idx, std::uint32_t fallback, std::uint32_t& ms) const {
    if (duk_is_undefined(ctx, idx)) {
        ms = fallback;
        return true;
    }
    if (!duk_is_number(ctx, idx)) return false;
    const double d = duk_get_number(ctx, idx);
    if (std::isnan(d)) return false;
    ms = d <= 0 ? 0 : d >= 2147483647.0 ? 2147483647u : static_cast<std::uint32_t>(d);
    return true;
}

duk_ret_t Host::wait(duk_context* ctx) {
    if (termination_) return kTerminate;
    if (handlerDepth_ > 0) return refuseInsideHandler(u"host.wait");
    if (!isPlainString(ctx, 0)) return fail(u"host.wait: the event name must be a string", "TypeError");
    std::uint32_t timeout = 0;
    if (!timeoutArgument(ctx, 1, kDefaultTimeoutMs, timeout))
        return fail(u"host.wait: the timeout must be a number of milliseconds", "TypeError");
    const std::u16string name = stringAt(ctx, 0);
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeout);
    // After the deadline one more pump that does not wait takes what has
    // arrived by then.
    for (bool last = false;;) {
        if (termination_) return kTerminate;
        const auto it = raised_.find(name);
        if (it != raised_.end() && !it->second.empty()) {
            pushString(ctx, it->second.front());
            it->second.pop_front();
            return 1;
        }
        if (last) return fail(u"timeout waiting for " + name);
        const std::uint32_t left = remainingMs(deadline);
        last = left == 0;
        pump(left);
    }
}

Host::IdleOutcome Host::pumpUntilIdle(std::uint32_t timeoutMs) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        const std::int32_t handled = pump(0);
        if (termination_) return IdleOutcome::Terminated;
        if (handled == 0 && module_.isIdle(control_.get())) return IdleOutcome::Idle;
        const std::uint32_t left = remainingMs(deadline);
        if (left == 0) return IdleOutcome::Timeout;
        if (handled == 0) {
            pump(std::min(left, kIdlePollMs));
            if (termination_) return IdleOutcome::Terminated;
        }
    }
}

duk_ret_t Host::idle(duk_context* ctx) {
    if (termination_) return kTerminate;
    if (handlerDepth_ > 0) return refuseInsideHandler(u"host.idle");
    std::uint32_t timeout = 0;
    if (!timeoutArgument(ctx, 0, kDefaultTimeoutMs, timeout))
        return fail(u"host.idle: the timeout must be a number of milliseconds", "TypeError");
    switch (pumpUntilIdle(timeout)) {
        case IdleOutcome::Idle: return 0;
        case IdleOutcome::Terminated: return kTerminate;
        case IdleOutcome::Timeout: break;
    }
    return fail(u"timeout waiting for idle");
}

duk_ret_t Host::sleep(duk_context* ctx) {
    if (termination_) return kTerminate;
    if (handlerDepth_ > 0) return refuseInsideHandler(u"host.sleep");
    std::uint32_t ms = 0;
    if (!timeoutArgument(ctx, 0, 0, ms))
        return fail(u"host.sleep: the time must be a number of milliseconds", "TypeError");
    const auto deadline = Clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
        const std::uint32_t left = remainingMs(deadline);
        if (left == 0) return 0;
        pump(left);
        if (termination_) return kTerminate;
    }
}

duk_ret_t Host::answer(duk_context* ctx) {
    if (termination_) return kTerminate;
    const std::u16string kind = isPlainString(ctx, 0) ? stringAt(ctx, 0) : std::u16string();
    const DialogKindName* found = nullptr;
    for (const auto& k : kDialogKinds)
        if (kind == k.name) found = &k;
    if (!found) {
        std::u16string known;
        for (const auto& k : kDialogKinds) known += (known.empty() ? u"" : u", ") + std::u16string(k.name);
        return fail(u"host.answer: unknown dialog kind \"" + kind + u"\" (" + known + u")", "TypeError");
    }
    DialogAnswer value;
    switch (found->form) {
        case AnswerForm::Text:
            if (isPlainString(ctx, 1)) {
                value.confirmed = true;
                value.text = stringAt(ctx, 1);
            } else if (!duk_is_null(ctx, 1)) {
                return fail(u"host.answer: the answer must be a string, or null to cancel", "TypeError");
            }
            break;
        case AnswerForm::Result:
            if (duk_is_null(ctx, 1)) break;  // closed without a choice
            if (!integerAt(ctx, 1, value.result))
                return fail(u"host.answer: an alert's answer is the dialog's result, an integer, or null to cancel",
                            "TypeError");
            value.confirmed = true;
            break;
        case AnswerForm::Record:
            if (const duk_ret_t r = answerWatermark(ctx, value); r != 0) return r;
            break;
    }
    answers_[found->kind].push_back(std::move(value));
    return 0;
}

duk_ret_t Host::answerWatermark(duk_context* ctx, DialogAnswer& answer) {
    if (duk_is_null(ctx, 1)) return 0;
    if (!duk_is_object(ctx, 1) || duk_is_array(ctx, 1) || duk_is_function(ctx, 1))
        return fail(u"host.answer: the watermark answer must be an object of fields, or null to cancel", "TypeError");
    WatermarkRead read;
    duk_dup(ctx, 1);
    if (duk_safe_call(ctx, readWatermarkAnswer, &read, 1, 1) != DUK_EXEC_SUCCESS) {
        // The script's own getter threw: the script gets its error as it is.
        duk_push_global_stash(ctx);
        duk_swap_top(ctx, -2);
        duk_put_prop_string(ctx, -2, "rethrow");
        duk_pop(ctx);
        return kRethrow;
    }
    duk_pop(ctx);
    if (!read.problem.empty()) return fail(u"host.answer: " + read.problem, "TypeError");
    answer.confirmed = true;
    answer.watermark = std::move(read.fields);
    return 0;
}

duk_ret_t Host::readFile(duk_context* ctx) {
    if (termination_) return kTerminate;
    if (!isPlainString(ctx, 0)) return fail(u"host.readFile: the path must be a string", "TypeError");
    const std::u16string encoding = isPlainString(ctx, 1) ? stringAt(ctx, 1) : std::u16string();
    const bool utf16 = encoding == u"utf-16le";
    if (!utf16 && !duk_is_undefined(ctx, 1) && encoding != u"utf-8")
        return fail(u"host.readFile: the encoding must be \"utf-8\" or \"utf-16le\"", "TypeError");
    const std::u16string path = stringAt(ctx, 0);
    std::string bytes;
    if (!platform::readFile(path, bytes, kMaxReadBytes)) return fail(u"host.readFile: cannot read " + path);
    if (!utf16) {
        pushString(ctx, text::fromUtf8(bytes));
        return 1;
    }
    if (bytes.size() % 2 != 0) return fail(u"host.readFile: " + path + u" is not UTF-16: an odd number of bytes");
    std::u16string units(bytes.size() / 2, u'\0');
    for (std::size_t i = 0; i < units.size(); ++i) {
        units[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                         static_cast<unsigned char>(bytes[2 * i + 1]) << 8);
    }
    if (!units.empty() && units.front() == u'\uFEFF') units.erase(0, 1);
    pushString(ctx, units);
    return 1;
}

duk_ret_t Host::fileExists(duk_context* ctx) {
    if (termination_) return kTerminate;
    if (!isPlainString(ctx, 0)) return fail(u"host.fileExists: the path must be a string", "TypeError");
    duk_push_boolean(ctx, platform::pathExists(stringAt(ctx, 0)));
    return 1;
}

duk_ret_t Host::listDir(duk_context* ctx) {
    if (termination_) return kTerminate;
    if (!isPlainString(ctx, 0)) return fail(u"host.listDir: the path must be a string", "TypeError");
    const std::u16string path = stringAt(ctx, 0);
    if (!platform::isDirectory(path)) return fail(u"host.listDir: no folder " + path);
    std::vector<std::u16string> names;
    for (auto& entry : platform::findFiles(platform::joinPath(path, u"*"))) {
        if (entry.name != u"." && entry.name != u"..") names.push_back(std::move(entry.name));
    }
    std::sort(names.begin(), names.end());
    duk_push_array(ctx);
    for (std::size_t i = 0; i < names.size(); ++i) {
        pushString(ctx, names[i]);
        duk_put_prop_index(ctx, -2, static_cast<duk_uarridx_t>(i));
    }
    return 1;
}

duk_ret_t Host::exit(duk_context* ctx) {
    if (termination_) return kTerminate;
    int code = 0;
    if (!duk_is_undefined(ctx, 0)) {
        const double d = duk_is_number(ctx, 0) ? duk_get_number(ctx, 0) : -1;
        if (!(d >= 0 && d <= 255 && d == std::floor(d)))
            return fail(u"host.exit: the exit code must be an integer from 0 to 255", "TypeError");
        code = static_cast<int>(d);
    }
    termination_ = code;
    return kTerminate;
}

duk_ret_t Host::heldObjects(duk_context* ctx) {
    if (termination_) return kTerminate;
    duk_push_uint(ctx, static_cast<duk_uint_t>(objects_.size()));
    return 1;
}

duk_ret_t Host::progress(duk_context* ctx) {
    if (termination_) return kTerminate;
    DocivaProgress p{};
    if (module_.getProgress(control_.get(), &p) != DOCIVA_OK)
        return fail(u"host.progress: the control gives no progress state");
    duk_push_object(ctx);
    duk_push_boolean(ctx, p.exists != 0);
    duk_put_prop_string(ctx, -2, "exists");
    duk_push_boolean(ctx, p.visible != 0);
    duk_put_prop_string(ctx, -2, "visible");
    pushString(ctx, recordText(p.text));
    duk_put_prop_string(ctx, -2, "text");
    const std::pair<const char*, std::int32_t> numbers[] = {
        {"pos", p.position}, {"min", p.low}, {"max", p.high}, {"shown", p.timesShown}};
    for (const auto& [name, value] : numbers) {
        duk_push_int(ctx, value);
        duk_put_prop_string(ctx, -2, name);
    }
    return 1;
}

duk_ret_t Host::openScanner(const char16_t* function, std::uint32_t& handle) {
    handle = module_.scannerHandle(control_.get());
    if (handle == 0) return fail(std::u16string(function) + u": no scanner is open");
    if (!sdkProblem_) sdkProblem_ = sdk_.load(module_);
    if (!sdkProblem_->empty()) return fail(std::u16string(function) + u": " + text::fromUtf8(*sdkProblem_));
    return 0;
}

duk_ret_t Host::pressButton(duk_context* ctx) {
    if (termination_) return kTerminate;
    std::int32_t button = 0;
    if (!integerAt(ctx, 0, button)) return fail(u"host.pressButton: the button must be an integer", "TypeError");
    std::uint32_t handle = 0;
    if (const duk_ret_t r = openScanner(u"host.pressButton", handle); r != 0) return r;
    // The SDK reports from a thread of its own; the control hears of the
    // press when the script next pumps.
    if (sdk_.simulateButtonPress(handle, button) != 0)
        return fail(u"host.pressButton: the SDK does not know the scanner's handle");
    return 0;
}

duk_ret_t Host::sdkStatus(duk_context* ctx) {
    if (termination_) return kTerminate;
    std::int32_t code = 0, data = 0;
    if (!integerAt(ctx, 0, code)) return fail(u"host.sdkStatus: the status code must be an integer", "TypeError");
    const bool hasData = !duk_is_null_or_undefined(ctx, 1);
    if (hasData && !integerAt(ctx, 1, data))
        return fail(u"host.sdkStatus: the data must be an integer, or null for none", "TypeError");
    std::uint32_t handle = 0;
    if (const duk_ret_t r = openScanner(u"host.sdkStatus", handle); r != 0) return r;
    if (sdk_.emitStatus(handle, code, data, hasData ? 1 : 0) != 0)
        return fail(u"host.sdkStatus: the SDK does not know the scanner's handle");
    return 0;
}

duk_ret_t Host::screenshot(duk_context* ctx) {
    if (termination_) return kTerminate;
    if (!isPlainString(ctx, 0)) return fail(u"host.screenshot: the path must be a string", "TypeError");
    const std::u16string path = stringAt(ctx, 0);
    if (module_.savePicture(control_.get(), path.c_str()) != 0)
        return fail(u"host.screenshot: cannot save the viewer's picture to " + path);
    return 0;
}

duk_ret_t Host::sendMouse(duk_context* ctx, const char16_t* function, std::initializer_list<std::int32_t> kinds,
                          duk_idx_t xIndex) {
    std::int32_t at[2] = {};
    for (duk_idx_t i = 0; i < 2; ++i) {
        // Pages compute positions (a width / 2); the window has whole pixels.
        const double d = duk_is_number(ctx, xIndex + i) ? std::trunc(duk_get_number(ctx, xIndex + i)) : 0;
        // NaN fails the range test too.
        if (!duk_is_number(ctx, xIndex + i) || !(d >= -2147483648.0 && d <= 2147483647.0))
            return fail(std::u16string(function) + u": x and y must be numbers of pixels", "TypeError");
        at[i] = static_cast<std::int32_t>(d);
    }
    for (const std::int32_t kind : kinds) {
        const std::int32_t hr = module_.mouse(control_.get(), kind, at[0], at[1]);
        // A handler of an event the viewer raised may have ended the script.
        if (termination_) return kTerminate;
        if (hr != DOCIVA_OK) return fail(std::u16string(function) + u": " + failureText(hr, kNoArgument, 0));
    }
    return 0;
}

duk_ret_t Host::mouse(duk_context* ctx) {
    if (termination_) return kTerminate;
    const std::u16string kind = isPlainString(ctx, 0) ? stringAt(ctx, 0) : std::u16string();
    for (const auto& k : kMouseKinds)
        if (kind == k.name) return sendMouse(ctx, u"host.mouse", {k.kind}, 1);
    std::u16string known;
    for (const auto& k : kMouseKinds) known += (known.empty() ? u"" : u", ") + std::u16string(k.name);
    return fail(u"host.mouse: unknown mouse kind \"" + kind + u"\" (" + known + u")", "TypeError");
}

duk_ret_t Host::click(duk_context* ctx) {
    if (termination_) return kTerminate;
    return sendMouse(ctx, u"host.click", {DOCIVA_MOUSE_DOWN, DOCIVA_MOUSE_UP}, 0);
}

// As Windows delivers a double click: the second press comes as the
// double-click message, not as a second button-down.
duk_ret_t Host::doubleClick(duk_context* ctx) {
    if (termination_) return kTerminate;
    return sendMouse(ctx, u"host.doubleClick",
                     {DOCIVA_MOUSE_DOWN, DOCIVA_MOUSE_UP, DOCIVA_MOUSE_DOUBLE_CLICK, DOCIVA_MOUSE_UP}, 0);
}

}  // namespace

int runScript(const ControlModule& module, const RunOptions& options, std::u16string_view scriptName,
              std::string_view source) {
    Host host(module, options);
    return host.run(scriptName, source);
}

}  // namespace script_host
