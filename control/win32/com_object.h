// ComObject: the IUnknown of a heap object that hands out one interface
// (listed under one or more interface ids): reference counting from 1,
// QueryInterface, destruction by its last Release, and the module's object
// count for DllCanUnloadNow. Objects with several interfaces (the control)
// write their own.
//
// Thread safety: the apartment's thread, except where Counter is atomic
// (class factories may be used from any thread).
#pragma once

#include <windows.h>

#include <memory>
#include <new>
#include <utility>

#include "control/win32/server_win.h"

namespace docivaocx {

// COM objects are destroyed only by their own Release, never through an
// interface pointer, so the interfaces' missing virtual destructors are
// harmless here.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"

template <class Derived, class Interface, class Counter, const IID&... Ids>
class ComObjectBase : public Interface {
public:
    ComObjectBase(const ComObjectBase&) = delete;
    ComObjectBase& operator=(const ComObjectBase&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        if (!object) return E_POINTER;
        *object = nullptr;
        if (!IsEqualIID(riid, IID_IUnknown) && !(IsEqualIID(riid, Ids) || ...)) return E_NOINTERFACE;
        *object = static_cast<Interface*>(this);
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --references_;
        if (left == 0) std::unique_ptr<Derived> owned(static_cast<Derived*>(this));
        return left;
    }

    // A new object handed out through out with the one reference it starts
    // with; E_OUTOFMEMORY when it cannot be made.
    template <class Out, class... Args>
    static HRESULT make(Out** out, Args&&... args) {
        if (!out) return E_POINTER;
        *out = nullptr;
        try {
            *out = std::make_unique<Derived>(std::forward<Args>(args)...).release();
        } catch (...) {
            return E_OUTOFMEMORY;
        }
        return S_OK;
    }

    // A new object asked for by interface id: made, asked for riid, and its
    // first reference let go (so a refused riid destroys it again).
    template <class... Args>
    static HRESULT create(REFIID riid, void** object, Args&&... args) {
        if (!object) return E_POINTER;
        *object = nullptr;
        Interface* made = nullptr;
        if (const HRESULT hr = make(&made, std::forward<Args>(args)...); FAILED(hr)) return hr;
        const HRESULT hr = made->QueryInterface(riid, object);
        made->Release();
        return hr;
    }

protected:
    ComObjectBase() = default;
    virtual ~ComObjectBase() = default;

private:
    Counter references_{1};
    server::ObjectCount counted_;
};

template <class Derived, class Interface, const IID&... Ids>
using ComObject = ComObjectBase<Derived, Interface, ULONG, Ids...>;

#pragma GCC diagnostic pop

}  // namespace docivaocx
