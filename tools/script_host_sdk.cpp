// The script host's SDK simulation: host.pressButton and host.sdkStatus
// make the SDK behind the control's open scanner report a button press or
// a device status, through the SDK's test calls (SdkTestCalls), loaded on
// first use.
//
// Thread safety: called on the thread that called runScript; the SDK
// reports from a thread of its own, and the control hears of it only
// when the script next pumps.
#include "tools/script_host_internal.h"

#include <cstdint>
#include <string>

#include "platform/text.h"

namespace script_host {

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

}  // namespace script_host
