// The script host's engine glue: the Duktape heap and its fatal handler,
// the trampolines that turn a native's code into a throw, running the
// script, installing `dociva` and `host`, calling the control's methods by
// dispid or name and showing their results, holding the script objects
// given to the control, the control's events and the pumping that brings
// them (host.wait, idle, sleep), and host.print, exit, heldObjects. The
// other host functions live in script_host_*.cpp by job (the list is in
// script_host_internal.h).
//
// Thread safety: everything on the thread that called runScript, the
// control's window thread, which is also where the control calls back.
#include "tools/script_host.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/console.h"
#include "platform/text.h"
#include "tools/script_host_internal.h"
#include "tools/script_host_text.h"

namespace script_host {

namespace {

constexpr std::uint32_t kDefaultTimeoutMs = 10000;
// Only ends a run whose control never settles: a sanitized build finishes
// a page's last scans many times slower than a plain one.
constexpr std::uint32_t kFinalIdleMs = 60000;
// While the control works without posting anything, host.idle looks again
// this often.
constexpr std::uint32_t kIdlePollMs = 20;

using Clock = std::chrono::steady_clock;

std::uint32_t remainingMs(Clock::time_point deadline) {
    const auto left = deadline - Clock::now();
    if (left <= Clock::duration::zero()) return 0;
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(left).count();
    return static_cast<std::uint32_t>(std::min<long long>(ms, 0x7FFFFFFF));
}

bool fitsInt32(double d) {
    return d >= -2147483648.0 && d <= 2147483647.0 && static_cast<double>(static_cast<std::int32_t>(d)) == d;
}

std::string decimal(double d) {
    if (fitsInt32(d)) return std::to_string(static_cast<std::int32_t>(d));
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "%.17g", d);
    return buffer;
}

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

// One event handler call: what onEvent prepared for callHandler.
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

}  // namespace

// --- conversions shared by the host's files ----------------------------------

bool integerAt(duk_context* ctx, duk_idx_t idx, std::int32_t& out) {
    if (!duk_is_number(ctx, idx)) return false;
    const double d = duk_get_number(ctx, idx);
    if (!fitsInt32(d)) return false;
    out = static_cast<std::int32_t>(d);
    return true;
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

std::u16string_view recordText(const RecordText& t) {
    return {t, static_cast<std::size_t>(std::find(std::begin(t), std::end(t), u'\0') - std::begin(t))};
}

// --- running the script ------------------------------------------------------

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

// --- events ------------------------------------------------------------------

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

// --- the engine's own host functions -----------------------------------------

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

int runScript(const ControlModule& module, const RunOptions& options, std::u16string_view scriptName,
              std::string_view source) {
    Host host(module, options);
    return host.run(scriptName, source);
}

}  // namespace script_host
