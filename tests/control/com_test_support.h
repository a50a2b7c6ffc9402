// What the COM tests of DocivaOCX.dll share (tests/control/com_test.cpp and
// com_window_test.cpp, both in com_tests): a fresh installation of the
// control registered in this thread's apartment, an event sink that records
// every event, a container embedding the control in place, calls by name
// and a message pump for the control's window, which runs on the test's
// thread.
#pragma once

#include <windows.h>
#include <objbase.h>
#include <ocidl.h>
#include <olectl.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "control/win32/com_handles.h"
#include "support/test_support.h"

// COM objects are destroyed only by their own Release, never through an
// interface pointer, so the interfaces' missing virtual destructors are
// harmless here.
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"

namespace com_testing {

using docivaocx::Bstr;
using docivaocx::ComPtr;

// A Linux path (as the build passes folders) on Wine's Z: drive.
std::wstring windowsPath(std::string unixPath);
// UTF-8, for messages and comparisons that print readably.
std::string narrow(std::wstring_view s);

// The folder's files (not its folders), sorted by name.
std::vector<std::wstring> filesIn(const std::wstring& folder);

class ComApartment {
public:
    ComApartment() : hr_(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;
    ~ComApartment() {
        if (SUCCEEDED(hr_)) CoUninitialize();
    }
    HRESULT result() const { return hr_; }

private:
    HRESULT hr_;
};

class ScopedLibrary {
public:
    explicit ScopedLibrary(const std::wstring& path);
    ScopedLibrary(const ScopedLibrary&) = delete;
    ScopedLibrary& operator=(const ScopedLibrary&) = delete;
    ~ScopedLibrary();
    HMODULE get() const { return h_; }
    // Calls one of the DLL's HRESULT (void) exports.
    HRESULT call(const char* exportName) const;

private:
    HMODULE h_;
};

// The control as it is installed (the DLL, dociva.dll, timage.dll,
// dociva.ini and the profiles), copied into a temporary folder of its own.
class Installation {
public:
    // sdk: another dociva.dll in place of the module folder's (empty: that one).
    explicit Installation(const std::wstring& sdk = {});
    bool copied() const { return copied_; }
    std::wstring folder() const;
    std::wstring file(std::wstring_view name) const { return folder() + L"\\" + std::wstring(name); }
    std::wstring dll() const { return file(L"DocivaOCX.dll"); }

private:
    testing_support::TempDir dir_;
    bool copied_ = true;
};

// The installation's copy of the DLL, loaded, and its class registered from
// it until the object goes.
class Registration {
public:
    explicit Registration(const Installation& install);
    ~Registration();
    Registration(const Registration&) = delete;
    Registration& operator=(const Registration&) = delete;
    // DllRegisterServer's answer (or why it was not called).
    HRESULT result() const { return registered_; }
    const ScopedLibrary& dll() const { return dll_; }

private:
    ScopedLibrary dll_;
    HRESULT registered_;
};

// Leaves the event sink and releases the control when it goes, in that
// order, however a test ends: the sink lives on the test's stack, and the
// control (with its open driver) must go before the scanner's folder.
struct SinkAndControlRelease {
    ComPtr<IConnectionPoint>& point;
    ComPtr<IDispatch>& control;
    DWORD cookie;
    ~SinkAndControlRelease() {
        if (point) point->Unadvise(cookie);
        point.reset();
        control.reset();
    }
};

// A new control of the registered class, by its ProgID.
HRESULT createControl(ComPtr<IDispatch>& control);
// Connects sink to the control's event source; point keeps the connection.
HRESULT advise(IDispatch* control, IDispatch& sink, ComPtr<IConnectionPoint>& point, DWORD& cookie);

// An event's dispatch id from the method table (-1: no such event) and back.
std::int32_t eventId(std::u16string_view name);
std::string eventName(std::int32_t dispid);

// An event sink, and a script object: records every call made on it, in
// order, with its one text argument.
class Recorder final : public IDispatch {
public:
    struct Call {
        DISPID dispid;
        std::wstring text;
    };
    Recorder() = default;
    virtual ~Recorder() = default;
    Recorder(const Recorder&) = delete;
    Recorder& operator=(const Recorder&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
    // Lives with the test; the count only shows who holds it.
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
    ULONG STDMETHODCALLTYPE Release() override { return --references; }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID dispid, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*,
                                     UINT*) override;

    // How many times the event was raised, and its latest text ("<none>").
    std::size_t count(std::u16string_view event) const;
    std::wstring last(std::u16string_view event) const;
    // Every call as "dispid text" lines, for failure messages.
    std::string all() const;

    ULONG references = 1;
    std::vector<Call> calls;
};

// A container embedding the control in place on the window it is given:
// client site, in-place site, control site (F5 is its own accelerator) and
// the ambient background colour.
class Container final : public IOleClientSite, public IOleInPlaceSite, public IOleControlSite, public IDispatch {
public:
    static constexpr COLORREF kBackground = RGB(10, 20, 30);
    // Where the control sits on the host, off its corner so that the
    // viewer's place inside the control's own window shows.
    static constexpr RECT kPlace{10, 20, 10 + 665, 20 + 800};

    explicit Container(HWND window) : window_(window) {}
    virtual ~Container() = default;
    Container(const Container&) = delete;
    Container& operator=(const Container&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
    ULONG STDMETHODCALLTYPE Release() override { return --references; }
    // IOleClientSite
    HRESULT STDMETHODCALLTYPE SaveObject() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetMoniker(DWORD, DWORD, IMoniker**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetContainer(IOleContainer** c) override {
        *c = nullptr;
        return E_NOINTERFACE;
    }
    HRESULT STDMETHODCALLTYPE ShowObject() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnShowWindow(BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE RequestNewObjectLayout() override { return E_NOTIMPL; }
    // IOleInPlaceSite
    HRESULT STDMETHODCALLTYPE GetWindow(HWND* w) override {
        *w = window_;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE CanInPlaceActivate() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnInPlaceActivate() override {
        ++activated;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE OnUIActivate() override {
        ++uiActivated;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** doc, LPRECT position,
                                               LPRECT clip, LPOLEINPLACEFRAMEINFO) override;
    HRESULT STDMETHODCALLTYPE Scroll(SIZE) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE OnUIDeactivate(BOOL) override {
        ++uiDeactivated;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE OnInPlaceDeactivate() override {
        ++deactivated;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE DiscardUndoState() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE DeactivateAndUndo() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnPosRectChange(LPCRECT) override { return S_OK; }
    // IOleControlSite
    HRESULT STDMETHODCALLTYPE OnControlInfoChanged() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE LockInPlaceActive(BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetExtendedControl(IDispatch** d) override {
        *d = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE TransformCoords(POINTL*, POINTF*, DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE TranslateAccelerator(MSG* msg, DWORD) override;
    HRESULT STDMETHODCALLTYPE OnFocus(BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE ShowPropertyFrame() override { return E_NOTIMPL; }
    // IDispatch: the ambient properties
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID dispid, REFIID, LCID, WORD, DISPPARAMS*, VARIANT* result, EXCEPINFO*,
                                     UINT*) override;

    ULONG references = 1;
    int activated = 0;
    int deactivated = 0;
    int uiActivated = 0;
    int uiDeactivated = 0;
    std::vector<WPARAM> offeredKeys;  // what the control handed on
    COLORREF background = kBackground;

private:
    HWND window_;
};

// Arguments for calls; the BSTR stays with the caller's Bstr.
VARIANT i2(short v);
VARIANT i4(long v);
VARIANT str(const Bstr& b);

// Calls a method by name with the arguments in the script's order; bad
// gets the refused argument's index in DISPPARAMS order.
HRESULT callByName(IDispatch* control, const wchar_t* name, std::vector<VARIANT> args, VARIANT* result = nullptr,
                   UINT* bad = nullptr);
// GetFileCount's answer, -1 when the call fails.
int fileCountOf(IDispatch* control);

// The control's window while it is in place; null when it has none.
HWND inPlaceWindow(IDispatch* control);
// Takes the control out of its container: closed, without its site.
void closeEmbedding(ComPtr<IOleObject>& ole);

// A page's scan run, the steps tests/control/e2e/scan_events.js takes:
// registers the scanner, asks for pages of formatMethod (one of the
// SetOutputFormat... methods) at 100 dpi named page_001... in folder (made
// here), starts the scan, and pumps until the run has ended and every file
// written is in the viewer with its four button reports (60 s at most),
// then 300 ms more, so that a late extra event is heard too. watch runs at
// every turn of the pump. False, with the failure reported, when a step
// failed or the run did not finish.
bool scanAsThePageDoes(IDispatch* control, const Recorder& sink, const std::wstring& product,
                       const wchar_t* formatMethod, const std::wstring& folder,
                       const std::function<void()>& watch = {});

// Pumps this thread's messages (the control's window runs on it) until
// done holds or the time has passed; true when it held.
bool pumpUntil(const std::function<bool()>& done, DWORD milliseconds);
void pumpFor(DWORD milliseconds);

}  // namespace com_testing
