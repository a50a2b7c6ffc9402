#include "control/win32/ole_embedding_win.h"


#include <olectl.h>

#include <algorithm>
#include <iterator>
#include <memory>

#include "control/win32/com_object.h"
#include "control/win32/docivaocx_ids.h"
#include "control/win32/server_win.h"
#include "platform/win32/gdi_handles.h"

namespace docivaocx {

namespace {

constexpr wchar_t kWindowClass[] = L"DocivaOCXControlWindow";
constexpr DWORD kMiscStatus = OLEMISC_RECOMPOSEONRESIZE | OLEMISC_CANTLINKINSIDE | OLEMISC_INSIDEOUT |
                              OLEMISC_ACTIVATEWHENVISIBLE | OLEMISC_SETCLIENTSITEFIRST;
static_assert(kMiscStatus == 0x20191);

// HIMETRIC units (0.01 mm) of a length in pixels at 96 per inch.
LONG himetric(LONG pixels) { return MulDiv(pixels, 2540, 96); }

void fill(HDC dc, const RECT& area, COLORREF colour) {
    const platform::win32::ScopedBrush brush(CreateSolidBrush(colour));
    if (brush) FillRect(dc, &area, brush.get());
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

// COM objects are destroyed only by their own Release, never through an
// interface pointer, so the interfaces' missing virtual destructors are
// harmless here.
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"

// The verbs the control answers, in the order EnumVerbs lists them. Only
// the primary verb and Properties belong on a container's menu.
struct Verb {
    LONG verb;
    const wchar_t* name;
    DWORD attributes;
};
constexpr Verb kVerbs[] = {
    {OLEIVERB_PRIMARY, L"&Edit", OLEVERBATTRIB_ONCONTAINERMENU},
    {OLEIVERB_SHOW, L"&Show", 0},
    {OLEIVERB_INPLACEACTIVATE, L"&Activate", 0},
    {OLEIVERB_UIACTIVATE, L"&UI Activate", 0},
    {OLEIVERB_HIDE, L"&Hide", 0},
    {OLEIVERB_PROPERTIES, L"&Properties...", OLEVERBATTRIB_ONCONTAINERMENU},
};

// Each verb handed out carries a name of its own, which the caller frees
// with CoTaskMemFree.
class VerbEnumerator final : public ComObject<VerbEnumerator, IEnumOLEVERB, IID_IEnumOLEVERB> {
public:
    explicit VerbEnumerator(std::size_t position = 0) : position_(position) {}

    HRESULT STDMETHODCALLTYPE Next(ULONG count, OLEVERB* out, ULONG* fetched) override {
        if (!out || (count > 1 && !fetched)) return E_POINTER;
        ULONG n = 0;
        for (; n < count && position_ < std::size(kVerbs); ++n, ++position_) {
            const Verb& verb = kVerbs[position_];
            const std::size_t bytes = (lstrlenW(verb.name) + 1) * sizeof(wchar_t);
            auto* name = static_cast<wchar_t*>(CoTaskMemAlloc(bytes));
            if (!name) {
                for (ULONG i = 0; i < n; ++i) CoTaskMemFree(out[i].lpszVerbName);
                if (fetched) *fetched = 0;
                position_ -= n;
                return E_OUTOFMEMORY;
            }
            CopyMemory(name, verb.name, bytes);
            out[n] = OLEVERB{verb.verb, name, MF_STRING, verb.attributes};
        }
        if (fetched) *fetched = n;
        return n == count ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE Skip(ULONG count) override {
        const std::size_t left = std::size(kVerbs) - position_;
        position_ += std::min<std::size_t>(count, left);
        return count <= left ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE Reset() override {
        position_ = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Clone(IEnumOLEVERB** out) override { return make(out, position_); }

private:
    std::size_t position_;
};

// The modifier keys held now, as IOleControlSite::TranslateAccelerator
// takes them (its KEYMODIFIERS bits; mingw-w64's headers leave them out).
DWORD keyModifiers() {
    constexpr DWORD kShift = 1, kControl = 2, kAlt = 4;
    DWORD keys = 0;
    if (GetKeyState(VK_SHIFT) < 0) keys |= kShift;
    if (GetKeyState(VK_CONTROL) < 0) keys |= kControl;
    if (GetKeyState(VK_MENU) < 0) keys |= kAlt;
    return keys;
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

OleEmbedding::OleEmbedding(IUnknown& owner, WindowContents& contents)
    : owner_(owner), contents_(contents), extent_{himetric(kInitialWidth), himetric(kInitialHeight)} {}

OleEmbedding::~OleEmbedding() {
    window_.reset();
}

void* OleEmbedding::interfaceFor(REFIID riid) {
    if (IsEqualIID(riid, IID_IOleObject)) return static_cast<IOleObject*>(this);
    if (IsEqualIID(riid, IID_IOleWindow) || IsEqualIID(riid, IID_IOleInPlaceObject))
        return static_cast<IOleInPlaceObject*>(this);
    if (IsEqualIID(riid, IID_IOleInPlaceActiveObject)) return static_cast<IOleInPlaceActiveObject*>(this);
    if (IsEqualIID(riid, IID_ISpecifyPropertyPages)) return static_cast<ISpecifyPropertyPages*>(this);
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

// Show and in-place activation leave the keyboard to the container; the
// primary verb, like UI activation, gives the control the focus.
HRESULT STDMETHODCALLTYPE OleEmbedding::DoVerb(LONG verb, LPMSG, IOleClientSite* activeSite, LONG, HWND parent,
                                               LPCRECT position) {
    switch (verb) {
    case OLEIVERB_PRIMARY:
    case OLEIVERB_SHOW:
    case OLEIVERB_INPLACEACTIVATE:
    case OLEIVERB_UIACTIVATE: {
        HRESULT hr = activateInPlace(activeSite ? activeSite : clientSite_.get());
        if (SUCCEEDED(hr) && position) SetObjectRects(position, position);
        if (SUCCEEDED(hr) && (verb == OLEIVERB_PRIMARY || verb == OLEIVERB_UIACTIVATE)) hr = activateUi();
        return hr;
    }
    case OLEIVERB_HIDE:
        UIDeactivate();
        if (window_) ShowWindow(window_.get(), SW_HIDE);
        return S_OK;
    case OLEIVERB_PROPERTIES: return showPropertyFrame(parent);
    default: return OLEOBJ_S_INVALIDVERB;
    }
}

HRESULT OleEmbedding::activateUi() {
    if (!window_ || !inPlaceSite_) return E_UNEXPECTED;
    if (uiActive_) {
        SetFocus(window_.get());
        return S_OK;
    }
    const HRESULT hr = inPlaceSite_->OnUIActivate();
    if (FAILED(hr)) return hr;
    uiActive_ = true;
    // The frame and the document learn who gets their keyboard messages
    // now; the control asks for no border space.
    IOleInPlaceActiveObject* self = this;
    if (frame_) {
        frame_->SetActiveObject(self, kUserTypeName);
        frame_->SetBorderSpace(nullptr);
    }
    if (document_) {
        document_->SetActiveObject(self, kUserTypeName);
        document_->SetBorderSpace(nullptr);
    }
    SetFocus(window_.get());
    return S_OK;
}

HRESULT STDMETHODCALLTYPE OleEmbedding::UIDeactivate() {
    if (!uiActive_) return S_OK;
    uiActive_ = false;
    if (document_) document_->SetActiveObject(nullptr, nullptr);
    if (frame_) frame_->SetActiveObject(nullptr, nullptr);
    // The site may let go of the control in its notification.
    ComPtr<IOleInPlaceSite> site = inPlaceSite_;
    if (site) site->OnUIDeactivate(FALSE);
    return S_OK;
}

// The standard property frame with the control's one page, modal to
// parent (the control's own window when the container names none).
HRESULT OleEmbedding::showPropertyFrame(HWND parent) {
    IUnknown* objects[] = {&owner_};
    CLSID pages[] = {kPropPageClassId};
    return OleCreatePropertyFrame(parent ? parent : window_.get(), 0, 0, kUserTypeName, 1, objects, 1, pages,
                                  LOCALE_USER_DEFAULT, 0, nullptr);
}

HRESULT STDMETHODCALLTYPE OleEmbedding::TranslateAccelerator(LPMSG message) {
    if (!message) return E_INVALIDARG;
    if (preTranslate(*message)) return S_OK;
    // Not the control's: the container may hold it as one of its own
    // accelerators.
    ComPtr<IOleControlSite> site;
    if (clientSite_ && SUCCEEDED(clientSite_->QueryInterface(IID_IOleControlSite, site.putVoid())) &&
        site->TranslateAccelerator(message, keyModifiers()) == S_OK)
        return S_OK;
    return S_FALSE;
}

// Each child window's pre-translation sees the message first, whatever it
// answers; the control's window itself takes no keys of its own.
bool OleEmbedding::preTranslate(MSG& message) {
    for (const PreTranslator& child : preTranslators_) {
        if (child) child(message);
    }
    return false;
}

HRESULT STDMETHODCALLTYPE OleEmbedding::OnDocWindowActivate(BOOL activate) {
    // Back in an activated document, the frame sends its keys here again.
    if (activate && uiActive_ && frame_) {
        IOleInPlaceActiveObject* self = this;
        frame_->SetActiveObject(self, kUserTypeName);
        frame_->SetBorderSpace(nullptr);
    }
    return S_OK;
}

HRESULT STDMETHODCALLTYPE OleEmbedding::GetPages(CAUUID* pages) {
    if (!pages) return E_POINTER;
    pages->cElems = 0;
    pages->pElems = static_cast<GUID*>(CoTaskMemAlloc(sizeof(GUID)));
    if (!pages->pElems) return E_OUTOFMEMORY;
    pages->pElems[0] = kPropPageClassId;
    pages->cElems = 1;
    return S_OK;
}

void OleEmbedding::ambientPropertyChanged(DISPID dispid) {
    if (dispid != DISPID_AMBIENT_BACKCOLOR && dispid != DISPID_UNKNOWN) return;
    if (window_) {
        SetWindowLongPtrW(window_.get(), GWLP_USERDATA, static_cast<LONG_PTR>(backgroundColour()));
        InvalidateRect(window_.get(), nullptr, TRUE);
    }
    if (viewSink_) viewSink_->OnViewChange(DVASPECT_CONTENT, -1);
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
    contents_.windowCreated(window_.get());
    inPlaceSite_ = inPlace;
    frame_ = frame;
    document_ = document;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE OleEmbedding::EnumVerbs(IEnumOLEVERB** verbs) { return VerbEnumerator::make(verbs, std::size_t{0}); }

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
    UIDeactivate();
    contents_.windowDestroying(window_.get());
    window_.reset();
    frame_.reset();
    document_.reset();
    // The site may let go of the control in its notification.
    ComPtr<IOleInPlaceSite> site = inPlaceSite_;
    inPlaceSite_.reset();
    if (site) site->OnInPlaceDeactivate();
    return S_OK;
}

// The window takes the new position and size; the part outside the clip
// rectangle is cut away with a window region (none when nothing is cut).
HRESULT STDMETHODCALLTYPE OleEmbedding::SetObjectRects(LPCRECT position, LPCRECT clip) {
    if (!position) return E_POINTER;
    if (!window_) return S_OK;
    MoveWindow(window_.get(), position->left, position->top, position->right - position->left,
               position->bottom - position->top, TRUE);
    RECT visible = *position;
    if (clip && !IntersectRect(&visible, position, clip)) visible = RECT{0, 0, 0, 0};
    if (EqualRect(&visible, position)) {
        SetWindowRgn(window_.get(), nullptr, TRUE);
        return S_OK;
    }
    if (!IsRectEmpty(&visible)) OffsetRect(&visible, -position->left, -position->top);
    platform::win32::ScopedRegion region(CreateRectRgnIndirect(&visible));
    if (!region) return E_OUTOFMEMORY;
    // The window owns the region once it is set.
    if (SetWindowRgn(window_.get(), region.get(), TRUE)) static_cast<void>(region.release());
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
