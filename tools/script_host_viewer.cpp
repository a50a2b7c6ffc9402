// The script host's view of what the user sees: the viewer's mouse
// (host.mouse, click, doubleClick), its picture (host.screenshot) and the
// progress dialog's state (host.progress).
//
// Thread safety: on the thread that called runScript, the control's window
// thread; the mouse is delivered there, so event handlers may run (and
// end the script) inside these calls.
#include "tools/script_host_internal.h"

#include <cmath>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <utility>


namespace script_host {

namespace {

// host.mouse's kinds.
struct MouseKindName {
    const char16_t* name;
    std::int32_t kind;
};
constexpr MouseKindName kMouseKinds[] = {
    {u"move", DOCIVA_MOUSE_MOVE}, {u"drag", DOCIVA_MOUSE_DRAG},           {u"down", DOCIVA_MOUSE_DOWN},
    {u"up", DOCIVA_MOUSE_UP},     {u"dblclick", DOCIVA_MOUSE_DOUBLE_CLICK}, {u"leave", DOCIVA_MOUSE_LEAVE},
};

}  // namespace

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

}  // namespace script_host
