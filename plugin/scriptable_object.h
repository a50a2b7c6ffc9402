// The plug-in's scriptable object: what the page's script sees as the
// plug-in element. ScriptablePluginObjectBase puts C++ virtual operations
// behind the browser's object record (NPObject); the browser reaches them
// through the NPClass of ScriptablePluginDocivaObject (docivaClass()).
//
// Lifetime: the browser counts references (NPN_RetainObject /
// NPN_ReleaseObject) and calls the class's deallocate at zero, which
// deletes the object; its destructor destroys the control and its window.
// The instance keeps one reference of its own (plugin/np_entry.cpp).
//
// Thread safety: the browser's thread.
#pragma once

#include <cstdint>

#include "plugin/interface_control.h"
#include "plugin/npapi.h"

class ScriptablePluginObjectBase : public NPObject {
public:
    explicit ScriptablePluginObjectBase(NPP npp);
    virtual ~ScriptablePluginObjectBase() = default;
    ScriptablePluginObjectBase(const ScriptablePluginObjectBase&) = delete;
    ScriptablePluginObjectBase& operator=(const ScriptablePluginObjectBase&) = delete;

    virtual void Invalidate() {}
    virtual bool HasMethod(NPIdentifier) { return true; }
    virtual bool Invoke(NPIdentifier, const NPVariant*, std::uint32_t, NPVariant*) { return false; }
    virtual bool InvokeDefault(const NPVariant*, std::uint32_t, NPVariant*) { return false; }
    // The slots the base leaves empty: the window's life in the plug-in.
    virtual void AttachWindow(void*) {}
    virtual void DestroyWindow() {}
    virtual void Repaint() {}
    virtual void Start() {}

    static ScriptablePluginObjectBase* of(NPObject* object) {
        return static_cast<ScriptablePluginObjectBase*>(object);
    }

protected:
    NPP npp_;
};

class ScriptablePluginDocivaObject final : public ScriptablePluginObjectBase {
public:
    ScriptablePluginDocivaObject(NPP npp, const ControlEnvironment& environment);
    ~ScriptablePluginDocivaObject() override;

    bool HasMethod(NPIdentifier name) override;
    bool Invoke(NPIdentifier name, const NPVariant* args, std::uint32_t count, NPVariant* result) override;
    // Makes the control's window the first time (the plug-in's window is
    // its parent on Windows); later calls change nothing.
    void AttachWindow(void* window) override;
    void DestroyWindow() override;
    void Repaint() override { control_.repaint(); }
    void Start() override { control_.start(); }

    // The instance is destroyed while the page may still hold the object.
    void detachInstance();
    CInterfaceControl& shell() { return control_; }
    CDocivaOCXCtrl& control() { return control_.control(); }
    PluginSite& site() { return site_; }

private:
    PluginSite site_;
    CInterfaceControl control_;
};

// The class the plug-in hands NPN_CreateObject (struct version 3).
NPClass* docivaClass();
