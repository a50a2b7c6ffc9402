#include "control/com_test_support.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "control/dispatch.h"
#include "control/win32/docivaocx_ids.h"
#include "platform/win32/wide.h"

namespace com_testing {

std::wstring windowsPath(std::string unixPath) {
    std::replace(unixPath.begin(), unixPath.end(), '/', '\\');
    return L"Z:" + std::wstring(unixPath.begin(), unixPath.end());
}

std::string narrow(std::wstring_view s) { return testing_support::utf8(platform::win32::fromWide(s)); }

std::vector<std::wstring> filesIn(const std::wstring& folder) {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return names;
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.emplace_back(found.cFileName);
    } while (FindNextFileW(search, &found));
    FindClose(search);
    std::sort(names.begin(), names.end());
    return names;
}

ScopedLibrary::ScopedLibrary(const std::wstring& path)
    : h_(LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH)) {}

ScopedLibrary::~ScopedLibrary() {
    if (h_) FreeLibrary(h_);
}

HRESULT ScopedLibrary::call(const char* exportName) const {
    using Fn = HRESULT(STDAPICALLTYPE*)();
    const auto fn = reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(h_, exportName)));
    return fn ? fn() : HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND);
}

Installation::Installation(const std::wstring& sdk) {
    const std::wstring from = windowsPath(DOCIVA_MODULE_DIR) + L"\\";
    for (const wchar_t* name : {L"DocivaOCX.dll", L"dociva.dll", L"timage.dll", L"dociva.ini"}) {
        const std::wstring source = sdk.empty() || std::wstring_view(name) != L"dociva.dll" ? from + name : sdk;
        copied_ = copied_ && CopyFileW(source.c_str(), file(name).c_str(), FALSE);
    }
    copied_ = copied_ && CreateDirectoryW(file(L"profiles").c_str(), nullptr);
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((from + L"profiles\\*.ini").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = std::wstring(L"profiles\\") + found.cFileName;
            copied_ = copied_ && CopyFileW((from + name).c_str(), file(name).c_str(), FALSE);
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
}

std::wstring Installation::folder() const { return platform::win32::toWide(dir_.path()); }

Registration::Registration(const Installation& install)
    : dll_(install.dll()),
      registered_(dll_.get() ? dll_.call("DllRegisterServer") : HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND)) {}

Registration::~Registration() {
    if (registered_ == S_OK) {
        EXPECT_EQ(dll_.call("DllUnregisterServer"), S_OK);
    }
}

HRESULT createControl(ComPtr<IDispatch>& control) {
    CLSID clsid{};
    const HRESULT hr = CLSIDFromProgID(docivaocx::kProgId, &clsid);
    if (FAILED(hr)) return hr;
    return CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, control.putVoid());
}

HRESULT advise(IDispatch* control, IDispatch& sink, ComPtr<IConnectionPoint>& point, DWORD& cookie) {
    ComPtr<IConnectionPointContainer> points;
    HRESULT hr = control->QueryInterface(IID_IConnectionPointContainer, points.putVoid());
    if (FAILED(hr)) return hr;
    hr = points->FindConnectionPoint(docivaocx::kEventsId, point.put());
    if (FAILED(hr)) return hr;
    return point->Advise(&sink, &cookie);
}

std::int32_t eventId(std::u16string_view name) {
    for (const auto& e : dispatch::events()) {
        if (e.name == name) return e.dispid;
    }
    return -1;
}

std::string eventName(std::int32_t dispid) {
    for (const auto& e : dispatch::events()) {
        if (e.dispid == dispid) return testing_support::utf8(e.name);
    }
    return "<event " + std::to_string(dispid) + ">";
}

HRESULT STDMETHODCALLTYPE Recorder::QueryInterface(REFIID riid, void** object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_IDispatch) &&
        !IsEqualIID(riid, docivaocx::kEventsId))
        return E_NOINTERFACE;
    *object = static_cast<IDispatch*>(this);
    AddRef();
    return S_OK;
}

HRESULT STDMETHODCALLTYPE Recorder::Invoke(DISPID dispid, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*,
                                           EXCEPINFO*, UINT*) {
    Call call{dispid, L"<not one text>"};
    if (params && params->cArgs == 1 && V_VT(&params->rgvarg[0]) == VT_BSTR)
        call.text.assign(V_BSTR(&params->rgvarg[0]), SysStringLen(V_BSTR(&params->rgvarg[0])));
    calls.push_back(call);
    return S_OK;
}

std::size_t Recorder::count(std::u16string_view event) const {
    const DISPID id = eventId(event);
    return static_cast<std::size_t>(
        std::count_if(calls.begin(), calls.end(), [id](const Call& c) { return c.dispid == id; }));
}

std::wstring Recorder::last(std::u16string_view event) const {
    const DISPID id = eventId(event);
    for (auto c = calls.rbegin(); c != calls.rend(); ++c) {
        if (c->dispid == id) return c->text;
    }
    return L"<none>";
}

std::string Recorder::all() const {
    std::string text;
    for (const auto& c : calls) text += std::to_string(c.dispid) + " " + narrow(c.text) + "\n";
    return text;
}

HRESULT STDMETHODCALLTYPE Container::QueryInterface(REFIID riid, void** object) {
    *object = nullptr;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IOleClientSite))
        *object = static_cast<IOleClientSite*>(this);
    else if (IsEqualIID(riid, IID_IOleWindow) || IsEqualIID(riid, IID_IOleInPlaceSite))
        *object = static_cast<IOleInPlaceSite*>(this);
    else if (IsEqualIID(riid, IID_IDispatch))
        *object = static_cast<IDispatch*>(this);
    else if (IsEqualIID(riid, IID_IOleControlSite))
        *object = static_cast<IOleControlSite*>(this);
    else
        return E_NOINTERFACE;
    AddRef();
    return S_OK;
}

HRESULT STDMETHODCALLTYPE Container::GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** doc,
                                                      LPRECT position, LPRECT clip, LPOLEINPLACEFRAMEINFO) {
    *frame = nullptr;
    *doc = nullptr;
    *position = kPlace;
    *clip = kPlace;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE Container::TranslateAccelerator(MSG* msg, DWORD) {
    offeredKeys.push_back(msg->wParam);
    return msg->message == WM_KEYDOWN && msg->wParam == VK_F5 ? S_OK : S_FALSE;
}

HRESULT STDMETHODCALLTYPE Container::Invoke(DISPID dispid, REFIID, LCID, WORD, DISPPARAMS*, VARIANT* result,
                                            EXCEPINFO*, UINT*) {
    if (dispid != DISPID_AMBIENT_BACKCOLOR || !result) return DISP_E_MEMBERNOTFOUND;
    V_VT(result) = VT_I4;
    V_I4(result) = static_cast<LONG>(background);
    return S_OK;
}

namespace {

VARIANT ofType(VARTYPE type) {
    VARIANT r;
    VariantInit(&r);
    V_VT(&r) = type;
    return r;
}

}  // namespace

VARIANT i2(short v) {
    VARIANT r = ofType(VT_I2);
    V_I2(&r) = v;
    return r;
}

VARIANT i4(long v) {
    VARIANT r = ofType(VT_I4);
    V_I4(&r) = v;
    return r;
}

VARIANT str(const Bstr& b) {
    VARIANT r = ofType(VT_BSTR);
    V_BSTR(&r) = b.get();
    return r;
}

HRESULT callByName(IDispatch* control, const wchar_t* name, std::vector<VARIANT> args, VARIANT* result, UINT* bad) {
    std::wstring text(name);
    LPOLESTR names[] = {text.data()};
    DISPID id = 0;
    const HRESULT hr = control->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
    if (FAILED(hr)) return hr;
    std::vector<VARIANT> reversed(args.rbegin(), args.rend());
    DISPPARAMS params{reversed.empty() ? nullptr : reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
    return control->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, result, nullptr, bad);
}

int fileCountOf(IDispatch* control) {
    docivaocx::ScopedVariant n;
    return callByName(control, L"GetFileCount", {}, n.get()) == S_OK && V_VT(n.get()) == VT_I2 ? V_I2(n.get()) : -1;
}

bool pumpUntil(const std::function<bool()>& done, DWORD milliseconds) {
    const DWORD start = GetTickCount();
    for (;;) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        if (done()) return true;
        if (GetTickCount() - start >= milliseconds) return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    }
}

void pumpFor(DWORD milliseconds) {
    pumpUntil([] { return false; }, milliseconds);
}

HWND inPlaceWindow(IDispatch* control) {
    ComPtr<IOleInPlaceObject> inPlace;
    HWND w = nullptr;
    if (SUCCEEDED(control->QueryInterface(IID_IOleInPlaceObject, inPlace.putVoid()))) inPlace->GetWindow(&w);
    return w;
}

void closeEmbedding(ComPtr<IOleObject>& ole) {
    if (!ole) return;
    ole->Close(OLECLOSE_NOSAVE);
    ole->SetClientSite(nullptr);
    ole.reset();
}

bool scanAsThePageDoes(IDispatch* control, const Recorder& sink, const std::wstring& product,
                       const wchar_t* formatMethod, const std::wstring& folder, const std::function<void()>& watch) {
    Bstr name(product.c_str());
    EXPECT_EQ(callByName(control, L"ScannerRegister", {str(name)}), S_OK);
    const std::wstring registered = sink.last(u"OnAfterScannerRegister");
    if (registered.rfind(L"{\"code\":0", 0) != 0) {
        ADD_FAILURE() << "the scanner did not register; heard:\n" << sink.all();
        return false;
    }
    if (!CreateDirectoryW(folder.c_str(), nullptr)) {
        ADD_FAILURE() << "cannot make " << narrow(folder);
        return false;
    }
    Bstr target(folder.c_str());
    Bstr pattern(L"page_%COUNTER3%");
    EXPECT_EQ(callByName(control, formatMethod, {i2(1)}), S_OK);
    EXPECT_EQ(callByName(control, L"SetResolution", {i2(100)}), S_OK);
    EXPECT_EQ(callByName(control, L"SetSavetoFolder", {str(target)}), S_OK);
    EXPECT_EQ(callByName(control, L"SetSavetoFileName", {str(pattern)}), S_OK);
    const HRESULT started = callByName(control, L"ScanStart", {str(name)});
    if (started != S_OK) {
        ADD_FAILURE() << "ScanStart answered 0x" << std::hex << started;
        return false;
    }
    const auto done = [&] {
        if (watch) watch();
        const auto written = filesIn(folder).size();
        return sink.count(u"OnScanEnd") > 0 && written > 0 && fileCountOf(control) == static_cast<int>(written) &&
               sink.count(u"OnUIButtonStatusChange") >= 4 * written;
    };
    const bool finished = pumpUntil(done, 60000);
    pumpFor(300);
    if (!finished) {
        ADD_FAILURE() << "the run did not end with every file in the viewer within 60 s; heard:\n" << sink.all();
    }
    return finished;
}

}  // namespace com_testing
