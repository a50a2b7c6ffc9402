// The module entry of the control on Linux: the calls of dociva_module.h
// over CDocivaOCXCtrl, with the host's callbacks as the control's site and
// dialog service.
#include <cstring>
#include <memory>
#include <mutex>

#include "control/dispatch.h"
#include "control/dociva_module.h"
#include "control/docivaocx_ctrl.h"
#include "control/host_bridge.h"
#include "output/timage_binding.h"
#include "platform/text.h"

namespace {

class HostSite final : public ControlSite {
public:
    explicit HostSite(const DocivaHost& host) : host_(host) { dialogs_.setAnswerer(host.runDialog, host.context); }

    void fireEvent(std::int32_t dispid, std::u16string_view name, std::u16string_view data) override {
        if (!host_.fireEvent) return;
        const std::u16string nameText(name);
        const std::u16string dataText(data);
        host_.fireEvent(host_.context, dispid, nameText.c_str(), dataText.c_str(),
                        static_cast<std::uint32_t>(dataText.size()));
    }
    void addRefObject(void* object) override {
        if (host_.addRefObject) host_.addRefObject(host_.context, object);
    }
    void releaseObject(void* object) override {
        if (host_.releaseObject) host_.releaseObject(host_.context, object);
    }
    platform::DialogService& dialogs() override { return dialogs_; }

private:
    DocivaHost host_;
    HostDialogs dialogs_;
};

void loadImageToolkitOnce() {
    // The module's own folder holds the toolkit; the first control loads
    // it, as the application object does on Windows.
    static std::once_flag once;
    std::call_once(once, [] { timage::loadFromModuleFolder(); });
}

}  // namespace

struct DocivaControl {
    explicit DocivaControl(const DocivaHost& host) : site(host), control(site, environment()) {}

    static ControlEnvironment environment() {
        ControlEnvironment e;
        e.sdk = linkedSdkCalls();
        return e;
    }

    HostSite site;
    CDocivaOCXCtrl control;
};

DOCIVA_MODULE_API std::int32_t docivaModuleVersion() { return DOCIVA_MODULE_VERSION; }

DOCIVA_MODULE_API std::uint32_t docivaMethodCount() {
    return static_cast<std::uint32_t>(dispatch::methods().size());
}

DOCIVA_MODULE_API const DocivaMethodInfo* docivaMethodAt(std::uint32_t index) {
    const auto table = dispatch::methods();
    return index < table.size() ? &table[index].info : nullptr;
}

DOCIVA_MODULE_API std::uint32_t docivaEventCount() { return static_cast<std::uint32_t>(dispatch::events().size()); }

DOCIVA_MODULE_API const DocivaEventInfo* docivaEventAt(std::uint32_t index) {
    const auto table = dispatch::events();
    return index < table.size() ? &table[index] : nullptr;
}

DOCIVA_MODULE_API DocivaControl* docivaCreateControl(const DocivaHost* host) {
    if (!host || host->size < sizeof(DocivaHost)) return nullptr;
    try {
        loadImageToolkitOnce();
        return std::make_unique<DocivaControl>(*host).release();
    } catch (...) {
        return nullptr;
    }
}

DOCIVA_MODULE_API std::int32_t docivaCreateWindow(DocivaControl* control) {
    if (!control || control->control.hasWindow()) return -1;
    return control->control.OnCreate();
}

DOCIVA_MODULE_API void docivaDestroyControl(DocivaControl* control) { std::unique_ptr<DocivaControl> owned(control); }

DOCIVA_MODULE_API std::int32_t docivaGetDispId(const char16_t* name, std::int32_t* dispid) {
    if (!name || !dispid) return DOCIVA_E_INVALIDARG;
    return dispatch::dispIdOf(text::view(name), *dispid);
}

DOCIVA_MODULE_API std::int32_t docivaInvoke(DocivaControl* control, std::int32_t dispid, const DocivaValue* args,
                                            std::uint32_t count, DocivaValue* result, std::uint32_t* badArgument) {
    if (!control) return DOCIVA_E_INVALIDARG;
    if (result) *result = DocivaValue{};
    dispatch::Result value;
    std::int32_t hr = DOCIVA_OK;
    try {
        hr = dispatch::invoke(control->control, dispid, args, count, value, badArgument);
    } catch (...) {
        // Script methods raise no errors of their own; a failure to
        // allocate is the one way here.
        return static_cast<std::int32_t>(0x8007000Eu);  // E_OUTOFMEMORY
    }
    if (hr != DOCIVA_OK || !result) return hr;
    result->type = value.type;
    if (value.type == DOCIVA_I2) {
        result->integer = value.i2;
    } else if (value.type == DOCIVA_STRING) {
        auto buffer = std::make_unique<char16_t[]>(value.text.size() + 1);
        std::memcpy(buffer.get(), value.text.data(), value.text.size() * sizeof(char16_t));
        result->textLength = static_cast<std::uint32_t>(value.text.size());
        result->text = buffer.release();
    }
    return DOCIVA_OK;
}

DOCIVA_MODULE_API void docivaFreeValue(DocivaValue* value) {
    if (!value) return;
    if (value->type == DOCIVA_STRING) std::unique_ptr<const char16_t[]> owned(value->text);
    *value = DocivaValue{};
}

DOCIVA_MODULE_API std::int32_t docivaPump(DocivaControl* control, std::uint32_t timeoutMs) {
    if (!control || !control->control.window()) return 0;
    return static_cast<std::int32_t>(control->control.window()->pump(timeoutMs));
}

DOCIVA_MODULE_API std::int32_t docivaIsIdle(DocivaControl* control) {
    if (!control) return 1;
    return control->control.isIdle() ? 1 : 0;
}

DOCIVA_MODULE_API std::int32_t docivaGetProgress(DocivaControl* control, DocivaProgress* progress) {
    if (!control || !progress) return DOCIVA_E_INVALIDARG;
    *progress = host_bridge::progress(control->control);
    return DOCIVA_OK;
}

DOCIVA_MODULE_API std::uint32_t docivaScannerHandle(DocivaControl* control) {
    return control ? control->control.currentScannerHandle() : 0;
}

DOCIVA_MODULE_API std::int32_t docivaMouse(DocivaControl* control, std::int32_t kind, std::int32_t x, std::int32_t y) {
    if (!control) return DOCIVA_E_INVALIDARG;
    return host_bridge::mouse(control->control, kind, x, y);
}

DOCIVA_MODULE_API std::int32_t docivaSavePicture(DocivaControl* control, const char16_t* path) {
    return control ? host_bridge::savePicture(control->control, path) : -1;
}
