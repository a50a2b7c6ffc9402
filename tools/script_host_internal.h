// What the script host's own files share, and nothing else includes: the
// Host (one run of one script: its engine, its control, the events and
// dialog answers waiting for it), the codes by which a native asks for a
// throw, and the few conversions between engine values and C++ that every
// host function needs.
//
// The files, one job each:
//   script_host.cpp          the engine glue: the heap, the throw
//                            trampolines, running the script, the globals,
//                            calling the control's methods and showing
//                            their results, the script objects the control
//                            holds, events, pumping (host.wait, idle,
//                            sleep), host.print, exit, heldObjects
//   script_host_dialogs.cpp  host.answer and the control's dialogs it answers
//   script_host_files.cpp    host.readFile, fileExists, listDir
//   script_host_viewer.cpp   what the user sees: host.mouse, click,
//                            doubleClick, screenshot, progress
//   script_host_sdk.cpp      the SDK's test calls: host.pressButton, sdkStatus
//
// Thread safety: a Host and its engine live on the thread that called
// runScript, the control's window thread; every native and every callback
// of the control runs there.
#pragma once

#include <duktape.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <initializer_list>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/console.h"
#include "tools/script_host.h"
#include "tools/script_host_module.h"

namespace script_host {

// How Duktape errors and C++ meet: Duktape (built as C) throws with
// longjmp, which must never cross a frame holding a C++ object with a
// destructor, nor a frame of the control module. So our natives never
// throw themselves: their C++ part returns one of these codes after all
// its objects are gone, and a plain trampoline does the throw. Everything
// the engine does on behalf of a module callback runs under
// duk_safe_call.
inline constexpr duk_ret_t kThrowError = -1000;
inline constexpr duk_ret_t kTerminate = -1001;
// Throws again what the script's own code threw under a native (a getter
// of an answer object), kept in the stash's "rethrow".
inline constexpr duk_ret_t kRethrow = -1002;

// No argument to blame (failureText, the control's badArgument).
inline constexpr std::uint32_t kNoArgument = 0xFFFFFFFFu;

// --- conversions every host function needs (script_host.cpp) -----------------

void pushString(duk_context* ctx, std::u16string_view s);
std::u16string stringAt(duk_context* ctx, duk_idx_t idx);
bool isPlainString(duk_context* ctx, duk_idx_t idx);
// A number that is a 32-bit integer; false for anything else.
bool integerAt(duk_context* ctx, duk_idx_t idx, std::int32_t& out);

// A failed call's reason as the script sees it; badArgument (counted from
// 0, of count) is named only for the failures it explains.
std::u16string failureText(std::int32_t hr, std::uint32_t badArgument, std::size_t count);

// A fixed-size text of a record the control fills (the watermark's image
// and text, the progress dialog's text).
using RecordText = char16_t[260];
// Up to its terminator; a record without one ends at its size.
std::u16string_view recordText(const RecordText& t);

// --- what the script queued for the control's dialogs -------------------------

// The rows of kWatermarkFields (script_host_dialogs.cpp, which checks it).
inline constexpr std::size_t kWatermarkFieldCount = 7;

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

// --- the host ----------------------------------------------------------------

struct MethodEntry {
    std::int32_t dispid;
    std::u16string name;
};

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
    // script_host.cpp: `dociva` and the engine's own host functions
    duk_ret_t callMethod(duk_context* ctx);
    duk_ret_t invoke(duk_context* ctx);
    duk_ret_t callNamed(duk_context* ctx);
    duk_ret_t methodOf(duk_context* ctx);
    duk_ret_t print(duk_context* ctx);
    duk_ret_t wait(duk_context* ctx);
    duk_ret_t idle(duk_context* ctx);
    duk_ret_t sleep(duk_context* ctx);
    duk_ret_t exit(duk_context* ctx);
    duk_ret_t heldObjects(duk_context* ctx);
    // script_host_dialogs.cpp
    duk_ret_t answer(duk_context* ctx);
    // script_host_files.cpp
    duk_ret_t readFile(duk_context* ctx);
    duk_ret_t fileExists(duk_context* ctx);
    duk_ret_t listDir(duk_context* ctx);
    // script_host_viewer.cpp
    duk_ret_t progress(duk_context* ctx);
    duk_ret_t screenshot(duk_context* ctx);
    duk_ret_t mouse(duk_context* ctx);
    duk_ret_t click(duk_context* ctx);
    duk_ret_t doubleClick(duk_context* ctx);
    // script_host_sdk.cpp
    duk_ret_t pressButton(duk_context* ctx);
    duk_ret_t sdkStatus(duk_context* ctx);

    // The throw for a native's code; never returns.
    duk_ret_t raise(duk_context* ctx, duk_ret_t code);

    // --- the control's callbacks ---------------------------------------
    // script_host.cpp
    void onEvent(std::int32_t dispid, const char16_t* name, const char16_t* data, std::uint32_t length);
    void onAddRef(void* object);
    void onRelease(void* object);
    // script_host_dialogs.cpp
    std::int32_t onRunDialog(const DocivaDialogRequest* request, char16_t* answer, std::uint32_t capacity);

private:
    enum class IdleOutcome { Idle, Timeout, Terminated };

    // script_host.cpp
    void installGlobals();
    std::string describeTop();
    void reportTop();
    std::u16string methodName(std::int32_t dispid) const;
    duk_ret_t invokeMethod(duk_context* ctx, std::int32_t dispid, const std::u16string& name, duk_idx_t first);
    std::string pushResult(duk_context* ctx, const DocivaValue& result);
    duk_uarridx_t holdObject(duk_context* ctx, duk_idx_t idx);
    void releaseObject(duk_uarridx_t key);
    IdleOutcome pumpUntilIdle(std::uint32_t timeoutMs);
    bool timeoutArgument(duk_context* ctx, duk_idx_t idx, std::uint32_t fallback, std::uint32_t& ms) const;
    // script_host_dialogs.cpp
    std::string describeDialog(const DocivaDialogRequest& request) const;
    duk_ret_t answerWatermark(duk_context* ctx, DialogAnswer& answer);
    // script_host_viewer.cpp
    duk_ret_t sendMouse(duk_context* ctx, const char16_t* function, std::initializer_list<std::int32_t> kinds,
                        duk_idx_t xIndex);
    // script_host_sdk.cpp
    duk_ret_t openScanner(const char16_t* function, std::uint32_t& handle);

    void traceLine(const std::string& line) const {
        if (options_.trace) platform::writeStdout(line + "\n");
    }
    std::int32_t pump(std::uint32_t timeoutMs) { return module_.pump(control_.get(), timeoutMs); }
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

}  // namespace script_host
