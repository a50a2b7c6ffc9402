#include "control/win32/ole_embedding_win.h"

#include <olectl.h>

#include "control/win32/docivaocx_ids.h"
#include "control/win32/server_win.h"

namespace docivaocx {

namespace {

constexpr wchar_t kWindowClass[] = L"DocivaOCXControlWindow";
constexpr DWORD kMiscStatus = OLEMISC_RECOMPOSEONRESIZE | OLEMISC_CANTLINKINSIDE | OLEMISC_INSIDEOUT |
                              OLEMISC_ACTIVATEWHENVISIBLE | OLEMISC_SETCLIENTSITEFIRST;
static_assert(kMiscStatus == 0x20191);

// HIMETRIC units (0.01 mm) of a length in pixels at 96 per inch.
LONG himetric(LONG pixels) { return MulDiv(pixels, 2540, 96); }

void fill(HDC dc, const RECT& area, COLORREF colour) {
    if (HBRUSH brush = CreateSolidBrush(colour)) {
        FillRect(dc, &area, brush);
        DeleteObject(brush);
    }
}

// The window keeps the colour to fill with in its user data.
LRESULT CALLBACK windowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_ERASEBKGND) {
        RECT area;
        GetClientRect(window, &area);
        fill(reinterpret_cast<HDC>(wParam), area, static_cast<COLORREF>(GetWindowLongPtrW(window, GWLP_USERDATA)));
        return 1;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

bool registerWindowClass() {
    WNDCLASSEXW existing{};
    existing.cbSize = sizeof(existing);
    if (GetClassInfoExW(server::module(), kWindowClass, &existing)) return true;
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.style = CS_DBLCLKS;
    wc.lpfnWndProc = windowProcedure;
    wc.hInstance = server::module();
    wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    wc.lpszClassName = kWindowClass;
    return RegisterClassExW(&wc) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

}  // namespace

OleEmbedding::OleEmbedding(IUnknown& owner)
    : owner_(owner), extent_{himetric(kInitialWidth), himetric(kInitialHeight)} {}

OleEmbedding::~OleEmbedding() {
    window_.reset();
}

void* OleEmbedding::interfaceFor(REFIID riid) {
    if (IsEqualIID(riid, IID_IOleObject)) return static_cast<IOleObject*>(this);
    if (IsEqualIID(riid, IID_IOleWindow) || IsEqualIID(riid, IID_IOleInPlaceObject))
        return static_cast<IOleInPlaceObject*>(this);
    if (IsEqualIID(riid, IID_IViewObject) || IsEqualIID(riid, IID_IViewObject2))
        return static_cast<IViewObject2*>(this);
    return nullptr;
}

HRESULT STDMETHODCALLTYPE OleEmbedding::QueryInterface(REFIID riid, void** object) {
    return owner_.QueryInterface(riid, object);
}
ULONG STDMETHODCALLTYPE OleEmbedding::AddRef() { return owner_.AddRef(); }
ULONG STDMETHODCALLTYPE OleEmbedding::Release() { return owner_.Release(); }

HRESULT STDMETHODCALLTYPE OleEmbedding::SetClientSite(IOleClientSite* site) {
    clientSite_ = ComPtr<IOleClientSite>(site);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE OleEmbedding::GetClientSite(IOleClientSite** site) {
    if (!site) return E_POINTER;
    *site = ComPtr<IOleClientSite>(clientSite_).detach();
    return S_OK;
}

HRESULT STDMETHODCALLTYPE OleEmbedding::Close(DWORD) {
    InPlaceDeactivate();
    if (adviseHolder_) adviseHolder_->SendOnClose();
    return S_OK;
}

HRESULT STDMETHODCALLTYPE OleEmbedding::DoVerb(LONG verb, LPMSG, IOleClientSite* activeSite, LONG, HWND,
                                               LPCRECT position) {
    switch (verb) {
    case OLEIVERB_PRIMARY:
    case OLEIVERB_SHOW:
    case OLEIVERB_INPLACEACTIVATE:
    case OLEIVERB_UIACTIVATE: {
        const HRESULT hr = activateInPlace(activeSite ? activeSite : clientSite_.get());
        if (SUCCEEDED(hr) && position) SetObjectRects(position, position);
        return hr;
    }
    case OLEIVERB_HIDE:
        if (window_) ShowWindow(window_.get(), SW_HIDE);
        return S_OK;
    default: return OLEOBJ_S_INVALIDVERB;
    }
}

HRESULT OleEmbedding::activateInPlace(IOleClientSite* site) {
    if (window_) {
        ShowWindow(window_.get(), SW_SHOW);
        return S_OK;
    }
    if (!site) return E_UNEXPECTED;
    ComPtr<IOleInPlaceSite> inPlace;
    if (FAILED(site->QueryInterface(IID_IOleInPlaceSite, inPlace.putVoid()))) return E_NOINTERFACE;
    if (inPlace->CanInPlaceActivate() != S_OK) return E_FAIL;
    HWND parent = nullptr;
    if (FAILED(inPlace->GetWindow(&parent)) || !parent) return E_FAIL;
    ComPtr<IOleInPlaceFrame> frame;
    ComPtr<IOleInPlaceUIWindow> document;
    RECT position{0, 0, kInitialWidth, kInitialHeight};
    RECT clip = position;
    OLEINPLACEFRAMEINFO frameInfo{};
    frameInfo.cb = sizeof(frameInfo);
    if (FAILED(inPlace->GetWindowContext(frame.put(), document.put(), &position, &clip, &frameInfo))) return E_FAIL;
    if (!registerWindowClass()) return HRESULT_FROM_WIN32(GetLastError());
    if (FAILED(inPlace->OnInPlaceActivate())) return E_FAIL;
    window_.reset(CreateWindowExW(0, kWindowClass, L"", WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN | WS_CLIPSIBLINGS,
                                  position.left, position.top, position.right - position.left,
                                  position.bottom - position.top, parent, nullptr, server::module(), nullptr));
    if (!window_) {
        const HRESULT hr = HRESULT_FROM_WIN32(GetLastError());
        inPlace->OnInPlaceDeactivate();
        return hr;
    }
    SetWindowLongPtrW(window_.get(), GWLP_USERDATA, static_cast<LONG_PTR>(backgroundColour()));
    inPlaceSite_ = inPlace;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE OleEmbedding::EnumVerbs(IEnumOLEVERB** verbs) {
    return OleRegEnumVerbs(kClassId, verbs);
}

HRESULT STDMETHODCALLTYPE OleEmbedding::GetUserClassID(CLSID* clsid) {
    if (!clsid) return E_POINTER;
    *clsid = kClassId;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE OleEmbedding::GetUserType(DWORD form, LPOLESTR* name) {
    return OleRegGetUserType(kClassId, form, name);
}

HRESULT STDMETHODCALLTYPE OleEmbedding::SetExtent(DWORD aspect, SIZEL* size) {
    if (!size) return E_POINTER;
    if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
    extent_ = *size;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE OleEmbedding::GetExtent(DWORD aspect, SIZEL* size) {
    if (!size) return E_POINTER;
    if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
    *size = extent_;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE OleEmbedding::Advise(IAdviseSink* sink, DWORD* connection) {
    if (!adviseHolder_) {
        const HRESULT hr = CreateOleAdviseHolder(adviseHolder_.put());
        if (FAILED(hr)) return hr;
    }
    return adviseHolder_->Advise(sink, connection);
}

HRESULT STDMETHODCALLTYPE OleEmbedding::Unadvise(DWORD connection) {
    return adviseHolder_ ? adviseHolder_->Unadvise(connection) : OLE_E_NOCONNECTION;
}

HRESULT STDMETHODCALLTYPE OleEmbedding::EnumAdvise(IEnumSTATDATA** advises) {
    if (!advises) return E_POINTER;
    *advises = nullptr;
    return adviseHolder_ ? adviseHolder_->EnumAdvise(advises) : S_OK;
}

HRESULT STDMETHODCALLTYPE OleEmbedding::GetMiscStatus(DWORD aspect, DWORD* status) {
    if (!status) return E_POINTER;
    *status = aspect == DVASPECT_CONTENT ? kMiscStatus : 0;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE OleEmbedding::GetWindow(HWND* window) {
    if (!window) return E_POINTER;
    *window = window_.get();
    return window_ ? S_OK : E_FAIL;
}

HRESULT STDMETHODCALLTYPE OleEmbedding::InPlaceDeactivate() {
    if (!window_) return S_OK;
    window_.reset();
    // The site may let go of the control in its notification.
    ComPtr<IOleInPlaceSite> site = inPlaceSite_;
    inPlaceSite_.reset();
    if (site) site->OnInPlaceDeactivate();
    return S_OK;
}

HRESULT STDMETHODCALLTYPE OleEmbedding::SetObjectRects(LPCRECT position, LPCRECT) {
    if (!position) return E_POINTER;
    if (window_)
        MoveWindow(window_.get(), position->left, position->top, position->right - position->left,
                   position->bottom - position->top, TRUE);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE OleEmbedding::Draw(DWORD aspect, LONG, void*, DVTARGETDEVICE*, HDC, HDC dc,
                                             LPCRECTL bounds, LPCRECTL, BOOL(STDMETHODCALLTYPE*)(ULONG_PTR),
                                             ULONG_PTR) {
    if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
    if (!dc || !bounds) return E_INVALIDARG;
    const RECT area{bounds->left, bounds->top, bounds->right, bounds->bottom};
    fill(dc, area, backgroundColour());
    return S_OK;
}

HRESULT STDMETHODCALLTYPE OleEmbedding::SetAdvise(DWORD aspects, DWORD flags, IAdviseSink* sink) {
    viewAspects_ = aspects;
    viewFlags_ = flags;
    viewSink_ = ComPtr<IAdviseSink>(sink);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE OleEmbedding::GetAdvise(DWORD* aspects, DWORD* flags, IAdviseSink** sink) {
    if (aspects) *aspects = viewAspects_;
    if (flags) *flags = viewFlags_;
    if (sink) *sink = ComPtr<IAdviseSink>(viewSink_).detach();
    return S_OK;
}

HRESULT STDMETHODCALLTYPE OleEmbedding::GetExtent(DWORD aspect, LONG, DVTARGETDEVICE*, LPSIZEL size) {
    return GetExtent(aspect, size);
}

// The container's ambient background colour, the window colour when the
// container gives none.
COLORREF OleEmbedding::backgroundColour() const {
    COLORREF colour = GetSysColor(COLOR_WINDOW);
    ComPtr<IDispatch> ambient;
    if (!clientSite_ || FAILED(clientSite_->QueryInterface(IID_IDispatch, ambient.putVoid()))) return colour;
    ScopedVariant value;
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    if (FAILED(ambient->Invoke(DISPID_AMBIENT_BACKCOLOR, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &none,
                               value.get(), nullptr, nullptr)))
        return colour;
    if (FAILED(VariantChangeType(value.get(), value.get(), 0, VT_I4))) return colour;
    COLORREF translated = 0;
    if (SUCCEEDED(OleTranslateColor(static_cast<OLE_COLOR>(V_I4(value.get())), nullptr, &translated)))
        colour = translated;
    return colour;
}

}  // namespace docivaocx
