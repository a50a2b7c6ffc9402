// The control object of DocivaOCX.dll.
//
// The portable CDocivaOCXCtrl is made when the object is made. Its window
// (the message-only window through which scans and the request pool reach
// it) is created later: the window's creation raises OnProfileReady and
// OnSourceReady, and a page only hears them once it has advised its event
// sink. So the window is created on whichever comes first, the first
// IConnectionPoint::Advise or the first IDispatch::Invoke; a script host
// that never shows the control (no in-place activation) still gets both
// events and can scan.
//
// Events and a container's freeze. While the container has frozen events
// (IOleControl::FreezeEvents, counted), an event the control raises is
// dropped, not kept for later: a page that hears of something after the
// fact would act on a state that has moved on. Containers freeze events
// while they load a page and advise its sinks in that time, so a sink
// advised while events are frozen does not make the window yet (its two
// events would be lost); the window is made when the last freeze is
// lifted, and the sinks hear both then. A method call makes it at once, as
// the method needs it.
//
// Persistence. DriverPath goes through a property bag (a page's <param>)
// or a stream (control/win32/driver_path_stream_win.h). Both share one
// InitNew (DriverPath back to empty) and one dirty flag: a new object is
// dirty until it is initialised (InitNew or either Load) or saved with
// its dirty flag cleared.
#include "control/win32/control_object_win.h"

#include <ocidl.h>
#include <olectl.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "control/control_site.h"
#include "control/dispatch.h"
#include "control/docivaocx_ctrl.h"
#include "control/win32/com_handles.h"
#include "control/win32/com_object.h"
#include "control/win32/docivaocx_ids.h"
#include "control/win32/driver_path_stream_win.h"
#include "control/win32/ole_embedding_win.h"
#include "control/win32/server_win.h"
#include "dialogs/win32/dialog_service_win.h"
#include "platform/dialog_service.h"
#include "platform/win32/gdiplus_session_win.h"
#include "platform/win32/wide.h"
#include "viewer/win32/viewer_ids.h"
#include "viewer/win32/viewer_window_win.h"

// COM objects are destroyed only by their own Release, never through an
// interface pointer, so the interfaces' missing virtual destructors are
// harmless here.
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"

namespace docivaocx {

namespace {

// The script's value as the method table takes it; VT_BYREF is followed
// (a VARIANT by reference once more). A null BSTR is the empty text, as
// COM defines it.
DocivaValue valueOf(const VARIANT& v) {
    DocivaValue out{};
    VARTYPE type = V_VT(&v);
    const bool byRef = (type & VT_BYREF) != 0;
    type = static_cast<VARTYPE>(type & ~VT_BYREF);
    if (byRef && type == VT_VARIANT) return V_VARIANTREF(&v) ? valueOf(*V_VARIANTREF(&v)) : out;
    out.type = type;
    switch (type) {
    case VT_EMPTY:
    case VT_NULL: break;
    case VT_I2: out.integer = byRef ? *V_I2REF(&v) : V_I2(&v); break;
    case VT_I4: out.integer = static_cast<std::int32_t>(byRef ? *V_I4REF(&v) : V_I4(&v)); break;
    case VT_R8: out.real = byRef ? *V_R8REF(&v) : V_R8(&v); break;
    case VT_BOOL: out.integer = byRef ? *V_BOOLREF(&v) : V_BOOL(&v); break;
    case VT_BSTR: {
        const BSTR b = byRef ? *V_BSTRREF(&v) : V_BSTR(&v);
        out.text = b ? reinterpret_cast<const char16_t*>(b) : u"";
        out.textLength = b ? SysStringLen(b) : 0;
        break;
    }
    case VT_DISPATCH: out.object = byRef ? *V_DISPATCHREF(&v) : V_DISPATCH(&v); break;
    default: break;  // any other type: the table refuses it as a mismatch
    }
    return out;
}

// An enumerator over a snapshot of counted interface items (connection
// points, connections), as IEnumConnectionPoints and IEnumConnections
// want: each item handed out carries a reference of its own.
template <class Enum, class Item, const IID& EnumId>
class Enumerator final : public ComObject<Enumerator<Enum, Item, EnumId>, Enum, EnumId> {
public:
    // Each item's reference is taken here and let go at destruction.
    explicit Enumerator(std::vector<Item> items, std::size_t position = 0)
        : items_(std::move(items)), position_(position) {
        for (Item& item : items_) unknownOf(item)->AddRef();
    }
    ~Enumerator() override {
        for (Item& item : items_) unknownOf(item)->Release();
    }

    HRESULT STDMETHODCALLTYPE Next(ULONG count, Item* out, ULONG* fetched) override {
        if (!out || (count > 1 && !fetched)) return E_POINTER;
        ULONG n = 0;
        for (; n < count && position_ < items_.size(); ++n, ++position_) {
            out[n] = items_[position_];
            unknownOf(out[n])->AddRef();
        }
        if (fetched) *fetched = n;
        return n == count ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE Skip(ULONG count) override {
        const std::size_t left = items_.size() - position_;
        position_ += std::min<std::size_t>(count, left);
        return count <= left ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE Reset() override {
        position_ = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Clone(Enum** out) override { return this->make(out, items_, position_); }

private:
    static IUnknown* unknownOf(IConnectionPoint* point) { return point; }
    static IUnknown* unknownOf(const CONNECTDATA& connection) { return connection.pUnk; }

    std::vector<Item> items_;
    std::size_t position_;
};

using ConnectionPointEnumerator = Enumerator<IEnumConnectionPoints, IConnectionPoint*, IID_IEnumConnectionPoints>;
using ConnectionEnumerator = Enumerator<IEnumConnections, CONNECTDATA, IID_IEnumConnections>;

class ControlObject;

// The one connection point, for _DDocivaOCXEvents. It lives inside the
// control object and counts its references there.
class EventPoint final : public IConnectionPoint {
public:
    explicit EventPoint(ControlObject& owner) : owner_(owner) {}
    virtual ~EventPoint() = default;
    EventPoint(const EventPoint&) = delete;
    EventPoint& operator=(const EventPoint&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    HRESULT STDMETHODCALLTYPE GetConnectionInterface(IID* iid) override {
        if (!iid) return E_POINTER;
        *iid = kEventsId;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetConnectionPointContainer(IConnectionPointContainer** container) override;
    HRESULT STDMETHODCALLTYPE Advise(IUnknown* sink, DWORD* cookie) override;
    HRESULT STDMETHODCALLTYPE Unadvise(DWORD cookie) override {
        const auto it = std::find_if(sinks_.begin(), sinks_.end(), [cookie](const Sink& s) { return s.cookie == cookie; });
        if (it == sinks_.end()) return CONNECT_E_NOCONNECTION;
        sinks_.erase(it);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE EnumConnections(IEnumConnections** connections) override {
        std::vector<CONNECTDATA> items;
        try {
            for (const Sink& sink : sinks_) items.push_back({sink.dispatch.get(), sink.cookie});
        } catch (...) {
            return E_OUTOFMEMORY;
        }
        return ConnectionEnumerator::make(connections, std::move(items));
    }

    // Every advised sink, in the order advised, gets the event; a sink
    // that unadvises (or advises another) while it runs does not disturb
    // the others.
    void fire(std::int32_t dispid, std::u16string_view data) {
        const std::vector<Sink> sinks = sinks_;
        for (const Sink& sink : sinks) {
            Bstr text(platform::win32::toWide(data));
            VARIANT arg;
            VariantInit(&arg);
            V_VT(&arg) = VT_BSTR;
            V_BSTR(&arg) = text.get();
            DISPPARAMS params{&arg, nullptr, 1, 0};
            sink.dispatch->Invoke(dispid, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, nullptr, nullptr,
                                  nullptr);
        }
    }
    void clear() { sinks_.clear(); }
    bool hasSinks() const { return !sinks_.empty(); }

private:
    struct Sink {
        DWORD cookie;
        ComPtr<IDispatch> dispatch;
    };
    ControlObject& owner_;
    std::vector<Sink> sinks_;
    DWORD nextCookie_ = 1;
};

class ControlObject final : public IDispatch,
                           public IConnectionPointContainer,
                           public IProvideClassInfo2,
                           public IPersistPropertyBag,
                           public IPersistStreamInit,
                           public IOleControl,
                           private ControlSite,
                           private WindowContents {
public:
    ControlObject() : events_(*this), embedding_(*static_cast<IDispatch*>(this), *this) {
        ControlEnvironment environment;
        environment.sdk = linkedSdkCalls();
        control_ = std::make_unique<CDocivaOCXCtrl>(static_cast<ControlSite&>(*this), environment);
    }
    ~ControlObject() override {
        // The control releases the page's objects through this site while
        // it goes; nothing it does then reaches a sink (the count is zero,
        // so holding the object for a sink's call would delete it twice).
        destroying_ = true;
        // The viewer's window shows the control's viewer: it goes first.
        viewerWindow_.reset();
        viewerDialog_.reset();
        control_.reset();
        events_.clear();
    }
    ControlObject(const ControlObject&) = delete;
    ControlObject& operator=(const ControlObject&) = delete;

    // ---- IUnknown ----
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        if (!object) return E_POINTER;
        *object = nullptr;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch) || IsEqualIID(riid, kDispatchId)) {
            *object = static_cast<IDispatch*>(this);
        } else if (IsEqualIID(riid, IID_IConnectionPointContainer)) {
            *object = static_cast<IConnectionPointContainer*>(this);
        } else if (IsEqualIID(riid, IID_IProvideClassInfo) || IsEqualIID(riid, IID_IProvideClassInfo2)) {
            *object = static_cast<IProvideClassInfo2*>(this);
        } else if (IsEqualIID(riid, IID_IPersist) || IsEqualIID(riid, IID_IPersistPropertyBag)) {
            *object = static_cast<IPersistPropertyBag*>(this);
        } else if (IsEqualIID(riid, IID_IPersistStreamInit) || IsEqualIID(riid, IID_IPersistStream)) {
            // IPersistStream's calls are the first ones of IPersistStreamInit.
            *object = static_cast<IPersistStreamInit*>(this);
        } else if (IsEqualIID(riid, IID_IOleControl)) {
            *object = static_cast<IOleControl*>(this);
        } else if (void* embedding = embedding_.interfaceFor(riid)) {
            *object = embedding;
        } else {
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --references_;
        if (left == 0) std::unique_ptr<ControlObject> owned(this);
        return left;
    }

    // ---- IDispatch ----
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        if (!count) return E_POINTER;
        *count = 1;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID, ITypeInfo** info) override {
        if (!info) return E_POINTER;
        *info = nullptr;
        if (index != 0) return DISP_E_BADINDEX;
        return typeInfoOf(kDispatchId, info);
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
        if (!IsEqualIID(riid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
        if (count == 0) return S_OK;
        if (!names || !ids) return E_POINTER;
        std::int32_t dispid = DISPID_UNKNOWN;
        HRESULT hr = dispatch::dispIdOf(text(names[0]), dispid);
        ids[0] = hr == DOCIVA_OK ? dispid : DISPID_UNKNOWN;
        // Further names are the method's parameters: their positions.
        const dispatch::Method* method = hr == DOCIVA_OK ? dispatch::findMethod(dispid) : nullptr;
        for (UINT i = 1; i < count; ++i) {
            ids[i] = DISPID_UNKNOWN;
            for (std::uint32_t p = 0; method && p < method->info.parameterCount; ++p) {
                if (CompareStringOrdinal(names[i], -1, platform::win32::wide(method->info.parameterNames[p]), -1,
                                         TRUE) == CSTR_EQUAL)
                    ids[i] = static_cast<DISPID>(p);
            }
            if (ids[i] == DISPID_UNKNOWN) hr = DISP_E_UNKNOWNNAME;
        }
        return hr == DOCIVA_OK ? S_OK : DISP_E_UNKNOWNNAME;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID dispid, REFIID riid, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                                     EXCEPINFO*, UINT* argumentError) override {
        if (!IsEqualIID(riid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
        if (!params) return E_POINTER;
        // Methods only; a method with a result may be read like a property.
        if (!(flags & (DISPATCH_METHOD | DISPATCH_PROPERTYGET))) return DISP_E_MEMBERNOTFOUND;
        if (params->cNamedArgs != 0) return DISP_E_NONAMEDARGS;
        if (params->cArgs && !params->rgvarg) return E_POINTER;
        if (!dispatch::findMethod(dispid)) return DISP_E_MEMBERNOTFOUND;
        ensureWindow();
        try {
            // The arguments arrive last first.
            std::vector<DocivaValue> args(params->cArgs);
            for (UINT i = 0; i < params->cArgs; ++i) args[i] = valueOf(params->rgvarg[params->cArgs - 1 - i]);
            dispatch::Result value;
            std::uint32_t bad = 0;
            const std::int32_t hr =
                dispatch::invoke(*control_, dispid, args.data(), params->cArgs, value, &bad);
            if (hr != DOCIVA_OK) {
                if (argumentError && (hr == DOCIVA_E_TYPEMISMATCH || hr == DOCIVA_E_OVERFLOW))
                    *argumentError = params->cArgs - 1 - bad;
                return static_cast<HRESULT>(hr);
            }
            if (result) {
                VariantInit(result);
                if (value.type == DOCIVA_I2) {
                    V_VT(result) = VT_I2;
                    V_I2(result) = value.i2;
                } else if (value.type == DOCIVA_STRING) {
                    const std::wstring wide = platform::win32::toWide(value.text);
                    BSTR b = SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
                    if (!b) return E_OUTOFMEMORY;
                    V_VT(result) = VT_BSTR;
                    V_BSTR(result) = b;
                }
            }
            return S_OK;
        } catch (...) {
            // The methods raise no errors of their own; running out of
            // memory is the one way here.
            return E_OUTOFMEMORY;
        }
    }

    // ---- IConnectionPointContainer ----
    HRESULT STDMETHODCALLTYPE EnumConnectionPoints(IEnumConnectionPoints** points) override {
        try {
            return ConnectionPointEnumerator::make(points, std::vector<IConnectionPoint*>{&events_});
        } catch (...) {
            return E_OUTOFMEMORY;
        }
    }
    HRESULT STDMETHODCALLTYPE FindConnectionPoint(REFIID riid, IConnectionPoint** point) override {
        if (!point) return E_POINTER;
        *point = nullptr;
        if (!IsEqualIID(riid, kEventsId)) return CONNECT_E_NOCONNECTION;
        *point = &events_;
        events_.AddRef();
        return S_OK;
    }

    // ---- IProvideClassInfo2 ----
    HRESULT STDMETHODCALLTYPE GetClassInfo(ITypeInfo** info) override {
        if (!info) return E_POINTER;
        *info = nullptr;
        return typeInfoOf(kClassId, info);
    }
    HRESULT STDMETHODCALLTYPE GetGUID(DWORD kind, GUID* guid) override {
        if (!guid) return E_POINTER;
        if (kind != GUIDKIND_DEFAULT_SOURCE_DISP_IID) {
            *guid = GUID_NULL;
            return E_INVALIDARG;
        }
        *guid = kEventsId;
        return S_OK;
    }

    // ---- IPersistPropertyBag and IPersistStreamInit: DriverPath ----
    HRESULT STDMETHODCALLTYPE GetClassID(CLSID* clsid) override {
        if (!clsid) return E_POINTER;
        *clsid = kClassId;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE InitNew() override {
        control_->driverPathProperty().clear();
        dirty_ = false;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE IsDirty() override { return dirty_ ? S_OK : S_FALSE; }
    HRESULT STDMETHODCALLTYPE Load(IStream* stream) override {
        if (!stream) return E_POINTER;
        const HRESULT hr = stream::read(*stream, control_->driverPathProperty());
        if (SUCCEEDED(hr)) dirty_ = false;
        return hr;
    }
    HRESULT STDMETHODCALLTYPE Save(IStream* stream, BOOL clearDirty) override {
        if (!stream) return E_POINTER;
        const HRESULT hr = stream::write(*stream, control_->driverPathProperty());
        if (SUCCEEDED(hr) && clearDirty) dirty_ = false;
        return hr;
    }
    HRESULT STDMETHODCALLTYPE GetSizeMax(ULARGE_INTEGER* size) override {
        if (!size) return E_POINTER;
        size->QuadPart = stream::sizeFor(control_->driverPathProperty().size());
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Load(IPropertyBag* bag, IErrorLog* log) override {
        if (!bag) return E_POINTER;
        ScopedVariant value;
        V_VT(value.get()) = VT_BSTR;
        // A page that gives no DriverPath keeps the value it has.
        if (FAILED(bag->Read(kDriverPath, value.get(), log))) {
            dirty_ = false;
            return S_OK;
        }
        if (V_VT(value.get()) != VT_BSTR && FAILED(VariantChangeType(value.get(), value.get(), 0, VT_BSTR)))
            return E_INVALIDARG;
        const BSTR text = V_BSTR(value.get());
        try {
            control_->driverPathProperty().assign(reinterpret_cast<const char16_t*>(text ? text : L""),
                                                  text ? SysStringLen(text) : 0);
        } catch (...) {
            return E_OUTOFMEMORY;
        }
        dirty_ = false;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Save(IPropertyBag* bag, BOOL clearDirty, BOOL) override {
        if (!bag) return E_POINTER;
        ScopedVariant value;
        const std::u16string& path = control_->driverPathProperty();
        V_BSTR(value.get()) = SysAllocStringLen(platform::win32::wide(path.c_str()), static_cast<UINT>(path.size()));
        if (!V_BSTR(value.get())) return E_OUTOFMEMORY;
        V_VT(value.get()) = VT_BSTR;
        const HRESULT hr = bag->Write(kDriverPath, value.get());
        if (SUCCEEDED(hr) && clearDirty) dirty_ = false;
        return hr;
    }

    // ---- IOleControl ----
    // The control has no mnemonics.
    HRESULT STDMETHODCALLTYPE GetControlInfo(CONTROLINFO* info) override {
        if (!info) return E_POINTER;
        info->hAccel = nullptr;
        info->cAccel = 0;
        info->dwFlags = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE OnMnemonic(MSG*) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnAmbientPropertyChange(DISPID dispid) override {
        embedding_.ambientPropertyChanged(dispid);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE FreezeEvents(BOOL freeze) override {
        if (freeze) {
            ++frozen_;
        } else if (frozen_ > 0 && --frozen_ == 0 && events_.hasSinks()) {
            ensureWindow();
        }
        return S_OK;
    }

    // A sink was advised: the window's events have somebody to hear them,
    // unless the container holds events back (see the top of this file).
    void sinkAdvised() {
        if (frozen_ == 0) ensureWindow();
    }
    // The window's creation, once (see the top of this file). A sink that
    // calls back while the two events are raised finds the window made.
    void ensureWindow() {
        if (windowTried_) return;
        windowTried_ = true;
        control_->OnCreate();
        // The control may have been shown before its window was made.
        if (shownIn_) control_->setOwnerWindow(shownIn_);
    }

private:
    static constexpr const wchar_t* kDriverPath = L"DriverPath";

    static std::u16string_view text(const wchar_t* s) {
        return s ? std::u16string_view(reinterpret_cast<const char16_t*>(s)) : std::u16string_view();
    }

    HRESULT typeInfoOf(REFGUID guid, ITypeInfo** info) {
        if (!typeLib_) {
            const HRESULT hr = server::loadTypeLib(typeLib_.put());
            if (FAILED(hr)) return hr;
        }
        return typeLib_->GetTypeInfoOfGuid(guid, info);
    }

    // ---- WindowContents ----
    // The viewer joins the control's visible window as the child dialog of
    // template 206, at 0,0 with the viewer's full size; the dialogs the
    // control opens belong to that window from now on.
    void windowCreated(HWND window) override {
        shownIn_ = window;
        dialogs_.setOwner(window);
        if (windowTried_) control_->setOwnerWindow(window);
        viewerDialog_.reset(CreateDialogParamW(server::module(), MAKEINTRESOURCEW(IDD_VIEW_CONVAS), window,
                                               &viewerDialogProc, 0));
        if (!viewerDialog_) return;
        SetWindowPos(viewerDialog_.get(), nullptr, 0, 0, kViewerWidth, kViewerHeight, SWP_NOZORDER | SWP_NOACTIVATE);
        viewerWindow_ = viewer::win32::ViewerWindow::createInDialog(viewerDialog_.get(), control_->canvas());
        ShowWindow(viewerDialog_.get(), SW_SHOWNA);
    }
    void windowDestroying(HWND) override {
        viewerWindow_.reset();
        viewerDialog_.reset();
        shownIn_ = nullptr;
        dialogs_.setOwner(nullptr);
        if (windowTried_) control_->setOwnerWindow(nullptr);
    }
    // The viewer dialog has nothing of its own to handle.
    static INT_PTR CALLBACK viewerDialogProc(HWND, UINT message, WPARAM, LPARAM) {
        return message == WM_INITDIALOG ? TRUE : FALSE;
    }

    // ---- ControlSite ----
    void fireEvent(std::int32_t dispid, std::u16string_view, std::u16string_view data) override {
        if (destroying_ || frozen_ > 0) return;
        // Hold the object while a sink runs: it may release the last
        // reference the page had.
        ComPtr<IDispatch> self(static_cast<IDispatch*>(this));
        events_.fire(dispid, data);
    }
    void addRefObject(void* object) override { static_cast<IDispatch*>(object)->AddRef(); }
    void releaseObject(void* object) override { static_cast<IDispatch*>(object)->Release(); }
    platform::DialogService& dialogs() override { return dialogs_; }

    // GDI+ lives longer than everything that draws: the viewer and the
    // request pool that adds pages to it are gone before it stops.
    platform::win32::GdiplusSession gdiplus_;
    server::ObjectCount counted_;
    ULONG references_ = 1;
    dialogs::win32::Win32Dialogs dialogs_{nullptr, server::module()};
    EventPoint events_;
    OleEmbedding embedding_;
    ComPtr<ITypeLib> typeLib_;
    bool windowTried_ = false;
    bool destroying_ = false;
    bool dirty_ = true;
    ULONG frozen_ = 0;
    std::unique_ptr<CDocivaOCXCtrl> control_;  // it uses everything above through the site
    HWND shownIn_ = nullptr;                    // the in-place window, while there is one
    ScopedWindow viewerDialog_;                 // template 206, inside shownIn_
    std::unique_ptr<viewer::win32::ViewerWindow> viewerWindow_;
};

HRESULT STDMETHODCALLTYPE EventPoint::QueryInterface(REFIID riid, void** object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_IConnectionPoint)) return E_NOINTERFACE;
    *object = static_cast<IConnectionPoint*>(this);
    AddRef();
    return S_OK;
}
ULONG STDMETHODCALLTYPE EventPoint::AddRef() { return owner_.AddRef(); }
ULONG STDMETHODCALLTYPE EventPoint::Release() { return owner_.Release(); }

HRESULT STDMETHODCALLTYPE EventPoint::GetConnectionPointContainer(IConnectionPointContainer** container) {
    if (!container) return E_POINTER;
    *container = &owner_;
    owner_.AddRef();
    return S_OK;
}

HRESULT STDMETHODCALLTYPE EventPoint::Advise(IUnknown* sink, DWORD* cookie) {
    if (!cookie) return E_POINTER;
    *cookie = 0;
    if (!sink) return E_POINTER;
    ComPtr<IDispatch> dispatch;
    if (FAILED(sink->QueryInterface(kEventsId, dispatch.putVoid())) &&
        FAILED(sink->QueryInterface(IID_IDispatch, dispatch.putVoid())))
        return CONNECT_E_CANNOTCONNECT;
    try {
        sinks_.push_back({nextCookie_, std::move(dispatch)});
    } catch (...) {
        return E_OUTOFMEMORY;
    }
    *cookie = nextCookie_++;
    owner_.sinkAdvised();
    return S_OK;
}

}  // namespace

HRESULT createControlObject(REFIID riid, void** object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    std::unique_ptr<ControlObject> made;
    try {
        made = std::make_unique<ControlObject>();
    } catch (...) {
        return E_OUTOFMEMORY;
    }
    // The new object holds one reference; QueryInterface adds the caller's.
    ComPtr<IDispatch> held = ComPtr<IDispatch>::adopt(made.release());
    return held->QueryInterface(riid, object);
}

}  // namespace docivaocx
