// CInterfaceControl: the plug-in's shell around the portable control
// (CDocivaOCXCtrl), which it holds. What the plug-in does its own way: a
// method table by name (NPIdentifier) instead of dispatch ids, without
// AboutBox, RegScannerSourceCallback and SetOutputSplitFixPages and with
// sayHello and test; arguments converted the plug-in's way
// (plugin/np_convert.h); and, through the control's policy (kPluginPolicy),
// the page set up by the page's first Initialize call instead of when the
// window is made, registration failures in the plug-in's words and a
// scanned file's kind taken from its name; events call the page's
// functions of the event's name (PluginSite).
//
// Thread safety: the browser's thread, which is the control's window
// thread; see CDocivaOCXCtrl.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "control/dociva_module.h"
#include "control/docivaocx_ctrl.h"
#include "control/host_bridge.h"
#include "plugin/npapi.h"
#include "plugin/plugin_window.h"

// The container of a control inside the plug-in: events become calls of
// the page's functions through the browser; dialogs are the platform's
// dialog windows (Windows), or where the platform has none (Linux) the
// answers of the program that hosts the plug-in, through the answerer it
// installed (npdocivaSetDialogHost), the way the control module asks its
// host (HostDialogs).
class PluginSite final : public ControlSite {
public:
    explicit PluginSite(NPP npp) : npp_(npp), windows_(platform::makeDialogWindows()) {}

    // The instance is gone (NPP_Destroy) while the page still holds the
    // object: events go nowhere from now on.
    void detach() { npp_ = nullptr; }
    NPP npp() const { return npp_; }

    void fireEvent(std::int32_t dispid, std::u16string_view name, std::u16string_view data) override;
    void addRefObject(void*) override {}
    void releaseObject(void*) override {}
    platform::DialogService& dialogs() override { return windows_ ? *windows_ : host_; }

    // The host's answerer, for a platform without dialog windows.
    HostDialogs& hostDialogs() { return host_; }

private:
    NPP npp_;
    std::unique_ptr<platform::DialogService> windows_;
    HostDialogs host_;
};

// What the plug-in's control does differently from the control's own
// defaults.
inline constexpr ShellPolicy kPluginPolicy{
    .setUpPageOnCreate = false,
    .formatFromFileName = true,
    .emptyNameText = u"Product name cannot be empty",
    .notRegisteredText = u"Driver register fail",
    .noHandleText = u"Scanner handle not found",
};

class CInterfaceControl final {
public:
    // The method names in the order the table is filled (82).
    static std::span<const char* const> methodNames();

    // The browser's table must be set (NP_Initialize): the method table is
    // filled with its identifiers.
    CInterfaceControl(PluginSite& site, const ControlEnvironment& environment);
    // The control's other threads are stopped before the dialog that shows
    // its viewer goes.
    ~CInterfaceControl() { control_.stopRunning(); }
    CInterfaceControl(const CInterfaceControl&) = delete;
    CInterfaceControl& operator=(const CInterfaceControl&) = delete;

    CDocivaOCXCtrl& control() { return control_; }
    const CDocivaOCXCtrl& control() const { return control_; }

    bool hasMethod(NPIdentifier name) const;
    // Runs the method's handler; false when the name is not in the table.
    bool invoke(NPIdentifier name, const NPVariant* args, std::uint32_t count, NPVariant* result);

    // Initialize: the first call sets the page up (page-mode callback,
    // OnProfileReady, OnSourceReady); later calls do nothing.
    void start();
    bool started() const { return started_; }

    // The control's dialog inside the plug-in's window (parent), made the
    // first time; the scan run's private messages that reach it are
    // handled as the control's window handles them. Nothing on a platform
    // without such a dialog.
    void attachDialog(void* parent);
    void destroyDialog() { dialog_.reset(); }
    // The plug-in's window was painted: the viewer draws itself again.
    void repaint();
    // Null before attachDialog, or where the platform has no dialog.
    const np::ControlDialog* dialog() const { return dialog_.get(); }

private:
    struct Entry {
        NPIdentifier id;
        std::size_t name;  // index in methodNames()
    };
    PluginSite& site_;
    CDocivaOCXCtrl control_;
    // In the order of methodNames(); looked up by identifier.
    std::vector<Entry> table_;
    bool started_ = false;
    // Destroyed before the control's own window: its handler reaches it.
    std::unique_ptr<np::ControlDialog> dialog_;
};
