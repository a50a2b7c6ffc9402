// DocivaOCX.dll as an in-process COM server: the class factories (the
// control and its property page), the unload check and self-registration.
#include "control/win32/server_win.h"

#include <comcat.h>
#include <objbase.h>
#include <olectl.h>

#include <atomic>
#include <memory>
#include <mutex>

#include "control/win32/com_handles.h"
#include "control/win32/com_object.h"
#include "control/win32/control_object_win.h"
#include "control/win32/docivaocx_ids.h"
#include "control/win32/property_page_win.h"
#include "output/timage_binding.h"
#include "platform/win32/module_win.h"

namespace docivaocx::server {

namespace {

std::atomic<long>& objectCount() {
    static std::atomic<long> count{0};
    return count;
}
std::atomic<long>& lockCount() {
    static std::atomic<long> count{0};
    return count;
}

}  // namespace

void objectCreated() { ++objectCount(); }
void objectDestroyed() { --objectCount(); }
void lock(bool on) { on ? ++lockCount() : --lockCount(); }
bool canUnload() { return objectCount() == 0 && lockCount() == 0; }

HMODULE module() { return platform::win32::moduleHandleOf(); }

std::wstring modulePath() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(module(), path.data(), static_cast<DWORD>(path.size()));
        if (n == 0) return {};
        if (n < path.size()) {
            path.resize(n);
            return path;
        }
        if (path.size() >= 32768) return {};
        path.resize(path.size() * 2);
    }
}

HRESULT loadTypeLib(ITypeLib** typeLib) {
    const std::wstring path = modulePath();
    if (path.empty()) return HRESULT_FROM_WIN32(GetLastError());
    return LoadTypeLibEx(path.c_str(), REGKIND_NONE, typeLib);
}

}  // namespace docivaocx::server

// COM objects are destroyed only by their own Release, never through an
// interface pointer, so the interfaces' missing virtual destructors are
// harmless here.
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"

namespace {

using namespace docivaocx;

using Create = HRESULT (*)(REFIID riid, void** object);

// The control's object: the image toolkit lives beside the DLL, and the
// first control loads it from there. Nothing is loaded from the current
// folder, which is the browser's and could hold anybody's timage.dll.
HRESULT createControl(REFIID riid, void** object) {
    static std::once_flag once;
    std::call_once(once, [] { timage::loadFromModuleFolder(); });
    return createControlObject(riid, object);
}

// One class factory per class of the module: the control and its page.
class ClassFactory final
    : public ComObjectBase<ClassFactory, IClassFactory, std::atomic<ULONG>, IID_IClassFactory> {
public:
    explicit ClassFactory(Create maker) : create_(maker) {}

    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** object) override {
        if (!object) return E_POINTER;
        *object = nullptr;
        if (outer) return CLASS_E_NOAGGREGATION;
        return create_(riid, object);
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL on) override {
        server::lock(on != FALSE);
        return S_OK;
    }

private:
    Create create_;
};

// ---- registration ----

LSTATUS setValue(HKEY key, const wchar_t* name, const std::wstring& value) {
    return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                          static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

// Creates root\path and sets its default value (and one named value).
LSTATUS writeKey(const std::wstring& path, const std::wstring& value, const wchar_t* name = nullptr,
                 const std::wstring& named = {}) {
    ScopedRegKey key;
    LSTATUS status = RegCreateKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                     KEY_WRITE, nullptr, key.put(), nullptr);
    if (status != ERROR_SUCCESS) return status;
    status = setValue(key.get(), nullptr, value);
    if (status == ERROR_SUCCESS && name) status = setValue(key.get(), name, named);
    return status;
}

// The keys of the control class and its ProgID.
HRESULT registerClass() {
    const std::wstring dll = server::modulePath();
    if (dll.empty()) return SELFREG_E_CLASS;
    const std::wstring clsid = std::wstring(L"CLSID\\") + kClassIdText;
    // Activate when visible, set client site first, inside-out, cannot link
    // inside, recompose on resize.
    const std::wstring miscStatus = std::to_wstring(0x20191);
    const LSTATUS failed[] = {
        writeKey(clsid, kUserTypeName),
        writeKey(clsid + L"\\ProgID", kProgId),
        writeKey(clsid + L"\\InprocServer32", dll, L"ThreadingModel", L"Apartment"),
        writeKey(clsid + L"\\MiscStatus", L"0"),
        writeKey(clsid + L"\\MiscStatus\\1", miscStatus),
        writeKey(clsid + L"\\TypeLib", kLibIdText),
        writeKey(clsid + L"\\Version", L"1.0"),
        writeKey(clsid + L"\\Control", L""),
        writeKey(clsid + L"\\ToolboxBitmap32", dll + L", 1"),
        writeKey(kProgId, kUserTypeName),
        writeKey(std::wstring(kProgId) + L"\\CLSID", kClassIdText),
    };
    for (const LSTATUS status : failed) {
        if (status != ERROR_SUCCESS) return SELFREG_E_CLASS;
    }
    return S_OK;
}

// The property page's keys and its ProgID.
HRESULT registerPropertyPage() {
    const std::wstring dll = server::modulePath();
    if (dll.empty()) return SELFREG_E_CLASS;
    const std::wstring clsid = std::wstring(L"CLSID\\") + kPropPageClassIdText;
    const LSTATUS failed[] = {
        writeKey(clsid, kPropPageName),
        writeKey(clsid + L"\\ProgID", kPropPageProgId),
        writeKey(clsid + L"\\InprocServer32", dll, L"ThreadingModel", L"Apartment"),
        writeKey(kPropPageProgId, kPropPageName),
        writeKey(std::wstring(kPropPageProgId) + L"\\CLSID", kPropPageClassIdText),
    };
    for (const LSTATUS status : failed) {
        if (status != ERROR_SUCCESS) return SELFREG_E_CLASS;
    }
    return S_OK;
}

// The keys of every class of the module and their ProgIDs.
HRESULT unregisterClasses() {
    const std::wstring paths[] = {
        std::wstring(L"CLSID\\") + kClassIdText,
        kProgId,
        std::wstring(L"CLSID\\") + kPropPageClassIdText,
        kPropPageProgId,
    };
    for (const std::wstring& path : paths) {
        const LSTATUS status = RegDeleteTreeW(HKEY_CLASSES_ROOT, path.c_str());
        if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND) return SELFREG_E_CLASS;
    }
    return S_OK;
}

HRESULT createCategory(ICatRegister& categories, const GUID& id, const wchar_t* description) {
    CATEGORYINFO info{};
    info.catid = id;
    info.lcid = 0x409;
    // The manager keeps at most 127 characters of a description.
    lstrcpynW(info.szDescription, description, 128);
    return categories.RegisterCategories(1, &info);
}

HRESULT categoryManager(ComPtr<ICatRegister>& categories) {
    return CoCreateInstance(CLSID_StdComponentCategoriesMgr, nullptr, CLSCTX_INPROC_SERVER, IID_ICatRegister,
                            categories.putVoid());
}

}  // namespace

extern "C" {

STDAPI DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    Create create = nullptr;
    if (IsEqualCLSID(rclsid, kClassId)) {
        create = createControl;
    } else if (IsEqualCLSID(rclsid, kPropPageClassId)) {
        create = createPropertyPage;
    } else {
        return CLASS_E_CLASSNOTAVAILABLE;
    }
    return ClassFactory::create(riid, object, create);
}

STDAPI DllCanUnloadNow() { return server::canUnload() ? S_OK : S_FALSE; }

STDAPI DllRegisterServer() {
    {
        ComPtr<ITypeLib> typeLib;
        if (FAILED(server::loadTypeLib(typeLib.put()))) return SELFREG_E_TYPELIB;
        const std::wstring dll = server::modulePath();
        std::wstring path = dll;  // RegisterTypeLib takes a writable text
        if (FAILED(RegisterTypeLib(typeLib.get(), path.data(), nullptr))) return SELFREG_E_TYPELIB;
    }
    // Every class the module serves: the control, then its property page.
    if (FAILED(registerClass()) || FAILED(registerPropertyPage())) return SELFREG_E_CLASS;

    ComPtr<ICatRegister> categories;
    HRESULT hr = categoryManager(categories);
    if (FAILED(hr)) return hr;
    CATID id = kCatSafeForInitializing;
    if (FAILED(hr = createCategory(*categories.get(), id, kCatSafeForInitializingText))) return hr;
    if (FAILED(hr = categories->RegisterClassImplCategories(kClassId, 1, &id))) return hr;
    id = kCatSafeForScripting;
    if (FAILED(hr = createCategory(*categories.get(), id, kCatSafeForScriptingText))) return hr;
    if (FAILED(hr = categories->RegisterClassImplCategories(kClassId, 1, &id))) return hr;
    return S_OK;
}

STDAPI DllUnregisterServer() {
    ComPtr<ICatRegister> categories;
    HRESULT hr = categoryManager(categories);
    if (FAILED(hr)) return hr;
    CATID id = kCatSafeForInitializing;
    if (FAILED(hr = categories->UnRegisterClassImplCategories(kClassId, 1, &id))) return hr;
    id = kCatSafeForScripting;
    if (FAILED(hr = categories->UnRegisterClassImplCategories(kClassId, 1, &id))) return hr;
    if (FAILED(UnRegisterTypeLib(kLibId, 1, 0, LOCALE_NEUTRAL, SYS_WIN32))) return SELFREG_E_TYPELIB;
    if (FAILED(unregisterClasses())) return SELFREG_E_CLASS;
    return S_OK;
}

}  // extern "C"
