// What a shell hands the control it holds. Every host of the control (the
// COM object, the plug-in, the module the script host loads, the bridge)
// is a shell that owns a CDocivaOCXCtrl; what differs between them reaches
// the control through two small objects, never by deriving from it:
//
// - ControlSite: the container's services: somewhere to raise events, a
//   way to keep the script objects the page hands in, and the dialogs the
//   control opens for the page.
// - ShellPolicy: plain values for the few behaviours that differ.
//
// Thread safety: ControlSite is called on the control's window thread
// only. The control keeps its own copy of the policy, which any of its
// threads may read.
#pragma once

#include <cstdint>
#include <string_view>

#include "platform/dialog_service.h"

// The behaviours that differ between shells. The defaults are the control's
// own; the plug-in departs from them.
struct ShellPolicy {
    // The page's lists (OnProfileReady, OnSourceReady) are raised as soon
    // as the control's window is made. False: the shell calls setUpPage
    // itself (the plug-in does on the page's first Initialize call).
    bool setUpPageOnCreate = true;
    // A scanned file's kind is taken from its name, not from the code the
    // SDK sent with it (the plug-in's loaders are chosen by extension).
    bool formatFromFileName = false;
    // How ScannerRegister words its three failures.
    const char16_t* emptyNameText = u"Product Name cannot be empty";
    const char16_t* notRegisteredText = u"Load driver fail";
    const char16_t* noHandleText = u"Load driver fail";
};

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
