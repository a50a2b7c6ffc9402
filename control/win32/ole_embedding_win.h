// The control as a container embeds it: IOleObject (client site, verbs,
// extent, misc status), in-place activation into a child window of the
// container (IOleInPlaceObject), UI activation and the keyboard
// (IOleInPlaceActiveObject), drawing (IViewObject2) and the property page
// (ISpecifyPropertyPages). The window fills itself with the container's
// ambient background colour; the viewer, a child window the control puts
// into it (WindowContents), paints itself.
//
// It lives inside the control object and counts its references there.
#pragma once

#include <windows.h>
#include <ocidl.h>

#include <functional>
#include <vector>

#include "control/win32/com_handles.h"
#include "platform/scoped_handle.h"
#include "platform/win32/handles.h"

namespace docivaocx {

using ScopedWindow = platform::win32::ScopedWindow;

// COM objects are destroyed only by their own Release, never through an
// interface pointer, so the interfaces' missing virtual destructors are
// harmless here.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"

// What the control shows inside its in-place window (the viewer): told
// when the window has been made and before it goes.
class WindowContents {
public:
    virtual void windowCreated(HWND window) = 0;
    virtual void windowDestroying(HWND window) = 0;

protected:
    ~WindowContents() = default;
};

class OleEmbedding final : public IOleObject,
                           public IOleInPlaceObject,
                           public IOleInPlaceActiveObject,
                           public IViewObject2,
                           public ISpecifyPropertyPages {
public:
    // 665 x 800 pixels.
    static constexpr LONG kInitialWidth = 665;
    static constexpr LONG kInitialHeight = 800;

    OleEmbedding(IUnknown& owner, WindowContents& contents);
    virtual ~OleEmbedding();
    OleEmbedding(const OleEmbedding&) = delete;
    OleEmbedding& operator=(const OleEmbedding&) = delete;

    // The interface for riid, or null (no reference taken).
    void* interfaceFor(REFIID riid);

    // The container changed an ambient property (DISPID_UNKNOWN: some of
    // them): the background colour is read again and the window repainted.
    void ambientPropertyChanged(DISPID dispid);

    // A child window's own pre-translation (the viewer canvas's, the
    // progress dialog's), offered every message the container hands the
    // control before the control's own; its result is not used. Called in
    // the order added.
    using PreTranslator = std::function<bool(MSG&)>;
    void addPreTranslator(PreTranslator preTranslator) { preTranslators_.push_back(std::move(preTranslator)); }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    // ---- IOleObject ----
    HRESULT STDMETHODCALLTYPE SetClientSite(IOleClientSite* site) override;
    HRESULT STDMETHODCALLTYPE GetClientSite(IOleClientSite** site) override;
    HRESULT STDMETHODCALLTYPE SetHostNames(LPCOLESTR, LPCOLESTR) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE Close(DWORD saveOption) override;
    HRESULT STDMETHODCALLTYPE SetMoniker(DWORD, IMoniker*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetMoniker(DWORD, DWORD, IMoniker**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE InitFromData(IDataObject*, BOOL, DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetClipboardData(DWORD, IDataObject**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE DoVerb(LONG verb, LPMSG, IOleClientSite* activeSite, LONG, HWND parent,
                                     LPCRECT position) override;
    HRESULT STDMETHODCALLTYPE EnumVerbs(IEnumOLEVERB** verbs) override;
    HRESULT STDMETHODCALLTYPE Update() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE IsUpToDate() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetUserClassID(CLSID* clsid) override;
    HRESULT STDMETHODCALLTYPE GetUserType(DWORD form, LPOLESTR* name) override;
    HRESULT STDMETHODCALLTYPE SetExtent(DWORD aspect, SIZEL* size) override;
    HRESULT STDMETHODCALLTYPE GetExtent(DWORD aspect, SIZEL* size) override;
    HRESULT STDMETHODCALLTYPE Advise(IAdviseSink* sink, DWORD* connection) override;
    HRESULT STDMETHODCALLTYPE Unadvise(DWORD connection) override;
    HRESULT STDMETHODCALLTYPE EnumAdvise(IEnumSTATDATA** advises) override;
    HRESULT STDMETHODCALLTYPE GetMiscStatus(DWORD aspect, DWORD* status) override;
    HRESULT STDMETHODCALLTYPE SetColorScheme(LOGPALETTE*) override { return E_NOTIMPL; }

    // ---- IOleWindow (both in-place interfaces) / IOleInPlaceObject ----
    HRESULT STDMETHODCALLTYPE GetWindow(HWND* window) override;
    HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE InPlaceDeactivate() override;
    HRESULT STDMETHODCALLTYPE UIDeactivate() override;
    HRESULT STDMETHODCALLTYPE SetObjectRects(LPCRECT position, LPCRECT clip) override;
    HRESULT STDMETHODCALLTYPE ReactivateAndUndo() override { return INPLACE_E_NOTUNDOABLE; }

    // ---- IOleInPlaceActiveObject ----
    HRESULT STDMETHODCALLTYPE TranslateAccelerator(LPMSG message) override;
    HRESULT STDMETHODCALLTYPE OnFrameWindowActivate(BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnDocWindowActivate(BOOL activate) override;
    // The control puts no tools into the frame's border.
    HRESULT STDMETHODCALLTYPE ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE EnableModeless(BOOL) override { return S_OK; }

    // ---- ISpecifyPropertyPages ----
    HRESULT STDMETHODCALLTYPE GetPages(CAUUID* pages) override;

    // ---- IViewObject2 ----
    HRESULT STDMETHODCALLTYPE Draw(DWORD aspect, LONG, void*, DVTARGETDEVICE*, HDC, HDC dc, LPCRECTL bounds,
                                   LPCRECTL, BOOL(STDMETHODCALLTYPE*)(ULONG_PTR), ULONG_PTR) override;
    HRESULT STDMETHODCALLTYPE GetColorSet(DWORD, LONG, void*, DVTARGETDEVICE*, HDC, LOGPALETTE**) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Freeze(DWORD, LONG, void*, DWORD*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Unfreeze(DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetAdvise(DWORD aspects, DWORD flags, IAdviseSink* sink) override;
    HRESULT STDMETHODCALLTYPE GetAdvise(DWORD* aspects, DWORD* flags, IAdviseSink** sink) override;
    HRESULT STDMETHODCALLTYPE GetExtent(DWORD aspect, LONG, DVTARGETDEVICE*, LPSIZEL size) override;

private:
    HRESULT activateInPlace(IOleClientSite* site);
    HRESULT activateUi();
    HRESULT showPropertyFrame(HWND parent);
    // The control's own pre-translation: true when the message was used.
    bool preTranslate(MSG& message);
    COLORREF backgroundColour() const;

    IUnknown& owner_;
    WindowContents& contents_;
    ComPtr<IOleClientSite> clientSite_;
    ComPtr<IOleInPlaceSite> inPlaceSite_;
    ComPtr<IOleAdviseHolder> adviseHolder_;
    ComPtr<IAdviseSink> viewSink_;
    DWORD viewAspects_ = 0;
    DWORD viewFlags_ = 0;
    SIZEL extent_;  // HIMETRIC
    ComPtr<IOleInPlaceFrame> frame_;         // while active in place
    ComPtr<IOleInPlaceUIWindow> document_;   // while active in place
    bool uiActive_ = false;
    std::vector<PreTranslator> preTranslators_;
    ScopedWindow window_;  // while active in place
};

#pragma GCC diagnostic pop

}  // namespace docivaocx
