// ControlSite: what the control needs from the container that embeds it:
// somewhere to raise its events, a way to keep the script objects it is
// handed, and the dialogs it opens for the page. The COM shell and the
// Linux module entry each provide one.
//
// Thread safety: the control's window thread only.
#pragma once

#include <cstdint>
#include <string_view>

#include "platform/dialog_service.h"

class ControlSite {
public:
    virtual ~ControlSite() = default;

    // Raises an event synchronously with its one JSON text.
    virtual void fireEvent(std::int32_t dispid, std::u16string_view name, std::u16string_view data) = 0;

    // Counted references on the page's script objects.
    virtual void addRefObject(void* object) = 0;
    virtual void releaseObject(void* object) = 0;

    virtual platform::DialogService& dialogs() = 0;
};

// A counted reference on one of the page's script objects, released when
// replaced or destroyed.
class ScriptObjectRef {
public:
    explicit ScriptObjectRef(ControlSite& site) : site_(&site) {}
    ~ScriptObjectRef() { reset(nullptr); }
    ScriptObjectRef(const ScriptObjectRef&) = delete;
    ScriptObjectRef& operator=(const ScriptObjectRef&) = delete;

    // Takes a reference on object and lets go of the one held (nothing
    // happens when it is the same object).
    void reset(void* object) {
        if (object == object_) return;
        if (object) site_->addRefObject(object);
        void* previous = object_;
        object_ = object;
        if (previous) site_->releaseObject(previous);
    }
    void* get() const { return object_; }

private:
    ControlSite* site_;
    void* object_ = nullptr;
};
