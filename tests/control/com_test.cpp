// DocivaOCX.dll as a COM server, under Wine: its embedded type library
// against the method table, its self-registration, the control driven
// through IDispatch with an event sink of our own, its persistence (property
// bag and stream), its embedding in a container of our own (in place, UI
// active, ambient changes, verbs), its property page, and a scan run whose
// events carry the payloads the Linux end-to-end page heard
// (tests/control/e2e/scan_events.trace). Every case works on a
// fresh installation (the DLL, dociva.dll, timage.dll and the profiles
// copied into a temporary folder) and registers that copy.
#include <windows.h>
#include <commctrl.h>
#include <objbase.h>
#include <ocidl.h>
#include <olectl.h>
#include <setupapi.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <iterator>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "control/com_test_support.h"
#include "control/dispatch.h"
#include "control/win32/com_handles.h"
#include "control/win32/docivaocx_ids.h"
#include "platform/scoped_handle.h"
#include "platform/system.h"
#include "platform/win32/handles.h"
#include "platform/win32/wide.h"
#include "support/attached_scanner_win.h"
#include "support/run_program_win.h"
#include "support/test_support.h"

using namespace docivaocx;
using namespace com_testing;
using platform::win32::toWide;
using namespace std::string_literals;

namespace {

// A small JSON reader that only says whether a text is one JSON value.
class JsonCheck {
public:
    static bool valid(std::wstring_view s) {
        JsonCheck j{s};
        j.blanks();
        if (!j.value()) return false;
        j.blanks();
        return j.i_ == s.size();
    }

private:
    explicit JsonCheck(std::wstring_view s) : s_(s) {}
    bool more() const { return i_ < s_.size(); }
    void blanks() {
        while (more() && (s_[i_] == L' ' || s_[i_] == L'\t' || s_[i_] == L'\r' || s_[i_] == L'\n')) ++i_;
    }
    bool take(wchar_t c) {
        blanks();
        if (!more() || s_[i_] != c) return false;
        ++i_;
        return true;
    }
    bool string() {
        if (!take(L'"')) return false;
        while (more() && s_[i_] != L'"') {
            if (s_[i_] < 0x20) return false;
            if (s_[i_] == L'\\') {
                ++i_;
                if (!more() || std::wstring_view(L"\"\\/bfnrtu").find(s_[i_]) == std::wstring_view::npos) return false;
            }
            ++i_;
        }
        return take(L'"');
    }
    bool value() {
        blanks();
        if (!more()) return false;
        const wchar_t c = s_[i_];
        if (c == L'"') return string();
        if (c == L'{' || c == L'[') {
            const wchar_t close = c == L'{' ? L'}' : L']';
            ++i_;
            if (take(close)) return true;
            do {
                if (c == L'{' && !(string() && take(L':'))) return false;
                if (!value()) return false;
            } while (take(L','));
            return take(close);
        }
        const std::size_t start = i_;
        while (more() && std::wstring_view(L"+-.0123456789eE").find(s_[i_]) != std::wstring_view::npos) ++i_;
        if (i_ > start) return true;
        for (std::wstring_view word : {L"true", L"false", L"null"}) {
            if (s_.substr(i_, word.size()) == word) {
                i_ += word.size();
                return true;
            }
        }
        return false;
    }
    std::wstring_view s_;
    std::size_t i_ = 0;
};

// ---- registry ----

bool keyExists(const std::wstring& path) {
    ScopedRegKey key;
    return RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, key.put()) == ERROR_SUCCESS;
}

// The text of a value; "<missing>" when the key or value is absent.
std::wstring valueOf(const std::wstring& path, const wchar_t* name) {
    ScopedRegKey key;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS) return L"<missing>";
    wchar_t buffer[1024] = {};
    DWORD size = sizeof(buffer) - sizeof(wchar_t);
    DWORD type = 0;
    if (RegQueryValueExW(key.get(), name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size) != ERROR_SUCCESS ||
        type != REG_SZ)
        return L"<missing>";
    return buffer;
}

// One registry value a registration must have written.
struct RegistryRow {
    std::wstring key;
    const wchar_t* value;  // null: the key's default value
    std::wstring expected;
};

void expectRegistry(const std::vector<RegistryRow>& rows) {
    for (const RegistryRow& row : rows) {
        SCOPED_TRACE(narrow(row.key) + " " + (row.value ? narrow(row.value) : std::string("(default)")));
        EXPECT_EQ(narrow(valueOf(row.key, row.value)), narrow(row.expected));
    }
}

// A class's InprocServer32 names the DLL, however Wine spells its case.
void expectServerIs(const std::wstring& classKey, const std::wstring& dll) {
    const std::wstring server = valueOf(classKey + L"\\InprocServer32", nullptr);
    EXPECT_EQ(CompareStringOrdinal(server.c_str(), -1, dll.c_str(), -1, TRUE), CSTR_EQUAL)
        << narrow(server) << " vs " << narrow(dll);
}

const std::wstring kClassKey = std::wstring(L"CLSID\\") + kClassIdText;
const std::wstring kInitCategory = L"{7DD95802-9882-11CF-9FA9-00AA006C42C4}";
const std::wstring kScriptCategory = L"{7DD95801-9882-11CF-9FA9-00AA006C42C4}";

// ---- the type library ----

TEST(DocivaOcxTypeLib, DescribesEveryMethodAsTheTableDoes) {
    Installation install;
    ASSERT_TRUE(install.copied());
    ComPtr<ITypeLib> lib;
    ASSERT_EQ(LoadTypeLibEx(install.dll().c_str(), REGKIND_NONE, lib.put()), S_OK);
    TLIBATTR* libAttr = nullptr;
    ASSERT_EQ(lib->GetLibAttr(&libAttr), S_OK);
    EXPECT_TRUE(IsEqualGUID(libAttr->guid, kLibId));
    EXPECT_EQ(libAttr->wMajorVerNum, 1);
    EXPECT_EQ(libAttr->wMinorVerNum, 0);
    lib->ReleaseTLibAttr(libAttr);
    Bstr libName;
    ASSERT_EQ(lib->GetDocumentation(-1, libName.put(), nullptr, nullptr, nullptr), S_OK);
    EXPECT_EQ(libName.view(), L"DocivaOCXLib");

    ComPtr<ITypeInfo> info;
    ASSERT_EQ(lib->GetTypeInfoOfGuid(kDispatchId, info.put()), S_OK);
    TYPEATTR* attr = nullptr;
    ASSERT_EQ(info->GetTypeAttr(&attr), S_OK);
    EXPECT_EQ(attr->typekind, TKIND_DISPATCH);
    const UINT functions = attr->cFuncs;
    info->ReleaseTypeAttr(attr);
    const auto methods = dispatch::methods();
    ASSERT_EQ(functions, methods.size());

    const auto vtOf = [](std::uint16_t type) -> VARTYPE {
        switch (type) {
        case DOCIVA_I2: return VT_I2;
        case DOCIVA_R8: return VT_R8;
        case DOCIVA_STRING: return VT_BSTR;
        case DOCIVA_DISPATCH: return VT_DISPATCH;
        default: return VT_VOID;
        }
    };
    for (UINT i = 0; i < functions; ++i) {
        FUNCDESC* f = nullptr;
        ASSERT_EQ(info->GetFuncDesc(i, &f), S_OK);
        const dispatch::Method* method = dispatch::findMethod(f->memid);
        SCOPED_TRACE("function " + std::to_string(i) + ", dispid " + std::to_string(f->memid));
        ASSERT_NE(method, nullptr);
        SCOPED_TRACE(testing_support::utf8(method->info.name));
        BSTR names[8] = {};
        UINT count = 0;
        EXPECT_EQ(info->GetNames(f->memid, names, 8, &count), S_OK);
        std::vector<std::wstring> got;
        for (UINT n = 0; n < count; ++n) {
            got.emplace_back(names[n]);
            SysFreeString(names[n]);
        }
        std::vector<std::wstring> want{toWide(method->info.name)};
        for (std::uint32_t p = 0; p < method->info.parameterCount; ++p) want.push_back(toWide(method->info.parameterNames[p]));
        EXPECT_EQ(got, want);
        EXPECT_EQ(f->invkind, INVOKE_FUNC);
        EXPECT_EQ(f->funckind, FUNC_DISPATCH);
        EXPECT_EQ(f->elemdescFunc.tdesc.vt, vtOf(method->info.resultType));
        ASSERT_EQ(static_cast<std::uint32_t>(f->cParams), method->info.parameterCount);
        for (std::uint32_t p = 0; p < method->info.parameterCount; ++p) {
            SCOPED_TRACE("parameter " + std::to_string(p));
            const TYPEDESC& t = f->lprgelemdescParam[p].tdesc;
            // An interface pointer may be written as a pointer to IDispatch.
            if (method->info.parameterTypes[p] == DOCIVA_DISPATCH && t.vt == VT_PTR) {
                ASSERT_EQ(t.lptdesc->vt, VT_USERDEFINED);
                // ... the system's IDispatch, reached through stdole2.tlb.
                ComPtr<ITypeInfo> referenced;
                ASSERT_EQ(info->GetRefTypeInfo(t.lptdesc->hreftype, referenced.put()), S_OK);
                TYPEATTR* refAttr = nullptr;
                ASSERT_EQ(referenced->GetTypeAttr(&refAttr), S_OK);
                EXPECT_TRUE(IsEqualIID(refAttr->guid, IID_IDispatch));
                referenced->ReleaseTypeAttr(refAttr);
            } else {
                EXPECT_EQ(t.vt, vtOf(method->info.parameterTypes[p]));
            }
        }
        info->ReleaseFuncDesc(f);
    }
}

TEST(DocivaOcxTypeLib, DescribesTheSevenEventsAndTheClass) {
    Installation install;
    ASSERT_TRUE(install.copied());
    ComPtr<ITypeLib> lib;
    ASSERT_EQ(LoadTypeLibEx(install.dll().c_str(), REGKIND_NONE, lib.put()), S_OK);
    ComPtr<ITypeInfo> info;
    ASSERT_EQ(lib->GetTypeInfoOfGuid(kEventsId, info.put()), S_OK);
    TYPEATTR* attr = nullptr;
    ASSERT_EQ(info->GetTypeAttr(&attr), S_OK);
    EXPECT_EQ(attr->typekind, TKIND_DISPATCH);
    const UINT functions = attr->cFuncs;
    info->ReleaseTypeAttr(attr);
    const auto events = dispatch::events();
    ASSERT_EQ(functions, events.size());
    for (UINT i = 0; i < functions; ++i) {
        FUNCDESC* f = nullptr;
        ASSERT_EQ(info->GetFuncDesc(i, &f), S_OK);
        SCOPED_TRACE(testing_support::utf8(events[i].name));
        EXPECT_EQ(f->memid, events[i].dispid);
        BSTR names[3] = {};
        UINT count = 0;
        EXPECT_EQ(info->GetNames(f->memid, names, 3, &count), S_OK);
        ASSERT_EQ(count, 2u);
        EXPECT_EQ(std::wstring(names[0]), toWide(events[i].name));
        EXPECT_EQ(std::wstring(names[1]), L"data");
        SysFreeString(names[0]);
        SysFreeString(names[1]);
        ASSERT_EQ(f->cParams, 1);
        EXPECT_EQ(f->lprgelemdescParam[0].tdesc.vt, VT_BSTR);
        EXPECT_EQ(f->elemdescFunc.tdesc.vt, VT_VOID);
        info->ReleaseFuncDesc(f);
    }

    ComPtr<ITypeInfo> coclass;
    ASSERT_EQ(lib->GetTypeInfoOfGuid(kClassId, coclass.put()), S_OK);
    Bstr className;
    EXPECT_EQ(coclass->GetDocumentation(MEMBERID_NIL, className.put(), nullptr, nullptr, nullptr), S_OK);
    EXPECT_EQ(className.view(), L"DocivaOCX");
    ASSERT_EQ(coclass->GetTypeAttr(&attr), S_OK);
    EXPECT_EQ(attr->typekind, TKIND_COCLASS);
    EXPECT_EQ(attr->cImplTypes, 2);
    coclass->ReleaseTypeAttr(attr);
    INT flags = 0;
    ASSERT_EQ(coclass->GetImplTypeFlags(1, &flags), S_OK);
    EXPECT_EQ(flags, IMPLTYPEFLAG_FDEFAULT | IMPLTYPEFLAG_FSOURCE);
}

// ---- registration ----

TEST(DocivaOcxRegistration, RegistersTheClassAndUnregistersAllButTheCategories) {
    ComApartment com;
    ASSERT_TRUE(SUCCEEDED(com.result()));
    Installation install;
    ASSERT_TRUE(install.copied());
    ScopedLibrary dll(install.dll());
    ASSERT_NE(dll.get(), nullptr);
    ASSERT_EQ(dll.call("DllRegisterServer"), S_OK);

    const std::wstring progId = kProgId;
    const std::wstring libVersion = std::wstring(L"TypeLib\\") + kLibIdText + L"\\1.0";
    expectRegistry({
        {kClassKey, nullptr, L"DocivaOCX Control"},
        {kClassKey + L"\\ProgID", nullptr, progId},
        {kClassKey + L"\\InprocServer32", L"ThreadingModel", L"Apartment"},
        {kClassKey + L"\\MiscStatus\\1", nullptr, L"131473"},
        {kClassKey + L"\\TypeLib", nullptr, kLibIdText},
        {kClassKey + L"\\Version", nullptr, L"1.0"},
        {kClassKey + L"\\Control", nullptr, L""},
        {progId, nullptr, L"DocivaOCX Control"},
        {progId + L"\\CLSID", nullptr, kClassIdText},
        {L"Component Categories\\" + kInitCategory, L"409", L"Controls safely initializable from persistent data!"},
        {L"Component Categories\\" + kScriptCategory, L"409", L"Controls safely  scriptable!"},
        // The library's own help text names it there.
        {libVersion, nullptr, L"DocivaOCX ActiveX Control module"},
    });
    expectServerIs(kClassKey, install.dll());
    const std::wstring toolbox = valueOf(kClassKey + L"\\ToolboxBitmap32", nullptr);
    EXPECT_EQ(CompareStringOrdinal(toolbox.c_str(), -1, (install.dll() + L", 1").c_str(), -1, TRUE), CSTR_EQUAL)
        << narrow(toolbox);
    HBITMAP picture = LoadBitmapW(dll.get(), MAKEINTRESOURCEW(1));
    EXPECT_NE(picture, nullptr);
    if (picture) DeleteObject(picture);
    const std::wstring libraryFile = valueOf(libVersion + L"\\0\\win32", nullptr);
    EXPECT_EQ(CompareStringOrdinal(libraryFile.c_str(), -1, install.dll().c_str(), -1, TRUE), CSTR_EQUAL)
        << narrow(libraryFile);
    for (const std::wstring& category : {kInitCategory, kScriptCategory}) {
        SCOPED_TRACE(narrow(category));
        EXPECT_TRUE(keyExists(kClassKey + L"\\Implemented Categories\\" + category));
    }
    CLSID fromProgId{};
    EXPECT_EQ(CLSIDFromProgID(kProgId, &fromProgId), S_OK);
    EXPECT_TRUE(IsEqualCLSID(fromProgId, kClassId));

    ASSERT_EQ(dll.call("DllUnregisterServer"), S_OK);
    for (const std::wstring& gone : {kClassKey, progId, libVersion}) {
        SCOPED_TRACE(narrow(gone));
        EXPECT_FALSE(keyExists(gone));
    }
    EXPECT_EQ(narrow(valueOf(L"Component Categories\\" + kInitCategory, L"409")),
              "Controls safely initializable from persistent data!");
    EXPECT_EQ(narrow(valueOf(L"Component Categories\\" + kScriptCategory, L"409")), "Controls safely  scriptable!");
}

// ---- the control through COM ----

class DocivaOcxObject : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(com_.result()));
        ASSERT_TRUE(install_.copied());
        registration_ = std::make_unique<Registration>(install_);
        ASSERT_NE(registration_->dll().get(), nullptr);
        ASSERT_EQ(registration_->result(), S_OK);
        ASSERT_EQ(createControl(control_), S_OK);
    }
    void TearDown() override {
        control_.reset();
        registration_.reset();
    }

    const ScopedLibrary& dll() const { return registration_->dll(); }

    HRESULT advise(Recorder& sink, DWORD& cookie) { return com_testing::advise(control_.get(), sink, point_, cookie); }

    DISPID idOf(const wchar_t* name) {
        std::wstring text(name);
        LPOLESTR names[] = {text.data()};
        DISPID id = 0;
        EXPECT_EQ(control_->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id), S_OK) << narrow(name);
        return id;
    }

    HRESULT call(const wchar_t* name, std::vector<VARIANT> args, VARIANT* result = nullptr, UINT* bad = nullptr) {
        return callByName(control_.get(), name, std::move(args), result, bad);
    }
    std::wstring textOf(const wchar_t* name, std::vector<VARIANT> args = {}) {
        ScopedVariant result;
        const HRESULT hr = call(name, std::move(args), result.get());
        EXPECT_EQ(hr, S_OK) << narrow(name);
        EXPECT_EQ(V_VT(result.get()), VT_BSTR) << narrow(name);
        if (V_VT(result.get()) != VT_BSTR) return L"<not text>";
        return std::wstring(V_BSTR(result.get()), SysStringLen(V_BSTR(result.get())));
    }

    ComApartment com_;
    Installation install_;
    std::unique_ptr<Registration> registration_;
    ComPtr<IDispatch> control_;
    ComPtr<IConnectionPoint> point_;
};

TEST_F(DocivaOcxObject, RaisesTheWindowEventsToTheFirstSinkAndLaterOnes) {
    Recorder sink;
    DWORD cookie = 0;
    ASSERT_EQ(advise(sink, cookie), S_OK);
    EXPECT_NE(cookie, 0u);
    ASSERT_EQ(sink.calls.size(), 2u);
    EXPECT_EQ(sink.calls[0].dispid, 2);  // OnProfileReady
    EXPECT_EQ(sink.calls[1].dispid, 1);  // OnSourceReady
    for (const auto& c : sink.calls) {
        SCOPED_TRACE(narrow(c.text));
        EXPECT_TRUE(JsonCheck::valid(c.text));
    }
    EXPECT_NE(sink.calls[0].text.find(L"\"count\":2"), std::wstring::npos);  // the two sample profiles

    Bstr empty(L"");
    EXPECT_EQ(call(L"ScannerRegister", {str(empty)}), S_OK);
    ASSERT_EQ(sink.calls.size(), 3u);
    EXPECT_EQ(sink.calls[2].dispid, 3);
    EXPECT_EQ(narrow(sink.calls[2].text), R"({"code":3, "message":"Product Name cannot be empty"})");

    // A second sink hears what follows; an unadvised one nothing more.
    Recorder second;
    DWORD secondCookie = 0;
    ASSERT_EQ(point_->Advise(&second, &secondCookie), S_OK);
    EXPECT_TRUE(second.calls.empty());  // the window events come once
    ASSERT_EQ(point_->Unadvise(cookie), S_OK);
    EXPECT_EQ(point_->Unadvise(cookie), CONNECT_E_NOCONNECTION);
    EXPECT_EQ(call(L"ScannerRegister", {str(empty)}), S_OK);
    EXPECT_EQ(sink.calls.size(), 3u);
    ASSERT_EQ(second.calls.size(), 1u);
    EXPECT_EQ(second.calls[0].dispid, 3);
    ASSERT_EQ(point_->Unadvise(secondCookie), S_OK);
    point_.reset();
    EXPECT_EQ(sink.references, 1u);
    EXPECT_EQ(second.references, 1u);
}

TEST_F(DocivaOcxObject, EnumeratesItsConnectionPointAndConnections) {
    ComPtr<IConnectionPointContainer> container;
    ASSERT_EQ(control_->QueryInterface(IID_IConnectionPointContainer, container.putVoid()), S_OK);
    ComPtr<IEnumConnectionPoints> points;
    ASSERT_EQ(container->EnumConnectionPoints(points.put()), S_OK);
    IConnectionPoint* fetched[2] = {};
    ULONG count = 0;
    EXPECT_EQ(points->Next(2, fetched, &count), S_FALSE);
    ASSERT_EQ(count, 1u);
    ComPtr<IConnectionPoint> point = ComPtr<IConnectionPoint>::adopt(fetched[0]);
    IID iid{};
    EXPECT_EQ(point->GetConnectionInterface(&iid), S_OK);
    EXPECT_TRUE(IsEqualIID(iid, kEventsId));
    EXPECT_EQ(points->Reset(), S_OK);
    EXPECT_EQ(points->Skip(2), S_FALSE);

    Recorder first, second;
    DWORD cookies[2] = {};
    ASSERT_EQ(point->Advise(&first, &cookies[0]), S_OK);
    ASSERT_EQ(point->Advise(&second, &cookies[1]), S_OK);
    EXPECT_NE(cookies[0], cookies[1]);
    {
        ComPtr<IEnumConnections> connections;
        ASSERT_EQ(point->EnumConnections(connections.put()), S_OK);
        ComPtr<IEnumConnections> clone;
        ASSERT_EQ(connections->Clone(clone.put()), S_OK);
        CONNECTDATA data[3] = {};
        ULONG got = 0;
        EXPECT_EQ(clone->Next(3, data, &got), S_FALSE);
        ASSERT_EQ(got, 2u);
        for (ULONG i = 0; i < got; ++i) {
            SCOPED_TRACE(i);
            EXPECT_EQ(data[i].dwCookie, cookies[i]);
            EXPECT_EQ(data[i].pUnk, static_cast<IUnknown*>(i == 0 ? &first : &second));
            data[i].pUnk->Release();
        }
    }
    EXPECT_EQ(point->Unadvise(cookies[0]), S_OK);
    EXPECT_EQ(point->Unadvise(cookies[1]), S_OK);
    EXPECT_EQ(first.references, 1u);
    EXPECT_EQ(second.references, 1u);
}

// A container's property bag: the page's <param> values.
class PropertyBag final : public IPropertyBag {
public:
    PropertyBag() = default;
    virtual ~PropertyBag() = default;
    PropertyBag(const PropertyBag&) = delete;
    PropertyBag& operator=(const PropertyBag&) = delete;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_IPropertyBag)) return E_NOINTERFACE;
        *object = static_cast<IPropertyBag*>(this);
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE Read(LPCOLESTR name, VARIANT* value, IErrorLog*) override {
        for (const auto& [key, text] : values) {
            if (key == name) {
                V_VT(value) = VT_BSTR;
                V_BSTR(value) = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
                return S_OK;
            }
        }
        return E_INVALIDARG;
    }
    HRESULT STDMETHODCALLTYPE Write(LPCOLESTR name, VARIANT* value) override {
        if (V_VT(value) != VT_BSTR) return E_INVALIDARG;
        values.emplace_back(name, std::wstring(V_BSTR(value), SysStringLen(V_BSTR(value))));
        return S_OK;
    }
    std::vector<std::pair<std::wstring, std::wstring>> values;
};

TEST_F(DocivaOcxObject, KeepsDriverPathInThePropertyBag) {
    ComPtr<IPersistPropertyBag> persist;
    ASSERT_EQ(control_->QueryInterface(IID_IPersistPropertyBag, persist.putVoid()), S_OK);
    CLSID clsid{};
    EXPECT_EQ(persist->GetClassID(&clsid), S_OK);
    EXPECT_TRUE(IsEqualCLSID(clsid, kClassId));
    struct Row {
        const char* name;
        std::vector<std::pair<std::wstring, std::wstring>> given;
        std::wstring saved;
    };
    const Row rows[] = {
        {"a page's value", {{L"Other", L"x"}, {L"DriverPath", L"C:\\Drivers\\\u00e9"}}, L"C:\\Drivers\\\u00e9"},
        {"no value keeps the one before", {}, L"C:\\Drivers\\\u00e9"},
        {"an empty value", {{L"DriverPath", L""}}, L""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        PropertyBag in;
        in.values = row.given;
        EXPECT_EQ(persist->Load(&in, nullptr), S_OK);
        PropertyBag out;
        EXPECT_EQ(persist->Save(&out, TRUE, TRUE), S_OK);
        ASSERT_EQ(out.values.size(), 1u);
        EXPECT_EQ(out.values[0].first, L"DriverPath");
        EXPECT_EQ(narrow(out.values[0].second), narrow(row.saved));
    }
}

struct WindowTraits {
    using Handle = HWND;
    static Handle invalid() noexcept { return nullptr; }
    static void close(Handle h) noexcept { DestroyWindow(h); }
};

TEST_F(DocivaOcxObject, ActivatesInPlaceAndDrawsTheAmbientBackground) {
    platform::ScopedHandle<WindowTraits> host(
        CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 1000, 1000, HWND_MESSAGE, nullptr, nullptr, nullptr));
    ASSERT_TRUE(host.valid());
    // Wine without a display (no X server) makes message-only windows but
    // no visible ones, and in-place activation needs a visible child.
    platform::ScopedHandle<WindowTraits> probe(
        CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE, 0, 0, 10, 10, host.get(), nullptr, nullptr, nullptr));
    if (!probe.valid()) GTEST_SKIP() << "no display: visible windows cannot be made here (Wine without an X server)";
    probe.reset();
    Container container(host.get());
    ComPtr<IOleObject> ole;
    ASSERT_EQ(control_->QueryInterface(IID_IOleObject, ole.putVoid()), S_OK);
    DWORD misc = 0;
    EXPECT_EQ(ole->GetMiscStatus(DVASPECT_CONTENT, &misc), S_OK);
    EXPECT_EQ(misc, 0x20191u);
    SIZEL extent{};
    EXPECT_EQ(ole->GetExtent(DVASPECT_CONTENT, &extent), S_OK);
    EXPECT_EQ(extent.cx, MulDiv(665, 2540, 96));  // HIMETRIC of the initial 665 x 800 pixels
    EXPECT_EQ(extent.cy, MulDiv(800, 2540, 96));
    CLSID clsid{};
    EXPECT_EQ(ole->GetUserClassID(&clsid), S_OK);
    EXPECT_TRUE(IsEqualCLSID(clsid, kClassId));

    ASSERT_EQ(ole->SetClientSite(&container), S_OK);
    RECT position{10, 20, 10 + 665, 20 + 800};
    ASSERT_EQ(ole->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, &container, 0, host.get(), &position), S_OK);
    EXPECT_EQ(container.activated, 1);
    ComPtr<IOleInPlaceObject> inPlace;
    ASSERT_EQ(control_->QueryInterface(IID_IOleInPlaceObject, inPlace.putVoid()), S_OK);
    HWND window = nullptr;
    ASSERT_EQ(inPlace->GetWindow(&window), S_OK);
    ASSERT_TRUE(IsWindow(window));
    EXPECT_EQ(GetParent(window), host.get());
    RECT client{};
    GetClientRect(window, &client);
    EXPECT_EQ(client.right, 665);
    EXPECT_EQ(client.bottom, 800);
    const RECT smaller{0, 0, 300, 200};
    EXPECT_EQ(inPlace->SetObjectRects(&smaller, &smaller), S_OK);
    GetClientRect(window, &client);
    EXPECT_EQ(client.right, 300);
    EXPECT_EQ(client.bottom, 200);

    // Drawn into a picture of our own.
    ComPtr<IViewObject2> view;
    ASSERT_EQ(control_->QueryInterface(IID_IViewObject2, view.putVoid()), S_OK);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = 8;
    info.bmiHeader.biHeight = -8;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HDC dc = CreateCompatibleDC(nullptr);
    ASSERT_NE(dc, nullptr);
    HBITMAP picture = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    ASSERT_NE(picture, nullptr);
    HGDIOBJ previous = SelectObject(dc, picture);
    const RECTL bounds{0, 0, 8, 8};
    EXPECT_EQ(view->Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr, dc, &bounds, nullptr, nullptr, 0), S_OK);
    GdiFlush();
    const auto pixel = static_cast<const std::uint32_t*>(bits)[3 * 8 + 3] & 0xFFFFFFu;  // 0x00RRGGBB
    EXPECT_EQ(pixel, 0x0A141Eu);
    SelectObject(dc, previous);
    DeleteObject(picture);
    DeleteDC(dc);

    EXPECT_EQ(ole->Close(OLECLOSE_NOSAVE), S_OK);
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(container.deactivated, 1);
    EXPECT_EQ(inPlace->GetWindow(&window), E_FAIL);
    EXPECT_EQ(ole->SetClientSite(nullptr), S_OK);
    view.reset();
    inPlace.reset();
    ole.reset();
    control_.reset();
    EXPECT_EQ(container.references, 1u);
}

TEST_F(DocivaOcxObject, CallsMethodsWithConvertedArguments) {
    EXPECT_EQ(idOf(L"getconfigpath"), 75);
    EXPECT_EQ(idOf(L"AboutBox"), -552);

    EXPECT_EQ(call(L"SetResolution", {i2(200)}), S_OK);
    ScopedVariant saved;
    ASSERT_EQ(call(L"SaveProfile", {}, saved.get()), S_OK);
    EXPECT_EQ(V_VT(saved.get()), VT_I2);
    const std::wstring configPath = textOf(L"GetConfigPath");
    EXPECT_EQ(CompareStringOrdinal(configPath.c_str(), -1, install_.file(L"dociva.ini").c_str(), -1, TRUE), CSTR_EQUAL)
        << narrow(configPath);
    EXPECT_EQ(GetPrivateProfileIntW(L"ScanParams", L"ScanDpi", -1, configPath.c_str()), 200);

    Bstr pattern(L"scan_%COUNTER3%");
    EXPECT_EQ(narrow(textOf(L"GetFileNameExample", {str(pattern)})), "scan_001");
    // Numbers given as other types, and a value by reference.
    EXPECT_EQ(call(L"SetResolution", {i4(300)}), S_OK);
    short byRef = 150;
    VARIANT ref;
    VariantInit(&ref);
    V_VT(&ref) = VT_I2 | VT_BYREF;
    V_I2REF(&ref) = &byRef;
    EXPECT_EQ(call(L"SetResolution", {ref}), S_OK);
    ScopedVariant savedAgain;
    ASSERT_EQ(call(L"SaveProfile", {}, savedAgain.get()), S_OK);
    EXPECT_EQ(GetPrivateProfileIntW(L"ScanParams", L"ScanDpi", -1, configPath.c_str()), 150);

    Bstr profile(L"profiles/Colour 300.ini");
    const std::wstring buttons = textOf(L"AssignProfileToScannerButton", {i2(1), str(profile)});
    EXPECT_TRUE(JsonCheck::valid(buttons)) << narrow(buttons);
    EXPECT_NE(buttons.find(L"{\"id\":1, \"path\":\"profiles/Colour 300.ini\"}"), std::wstring::npos) << narrow(buttons);
}

TEST_F(DocivaOcxObject, RefusesWhatTheTableRefuses) {
    struct Row {
        const char* name;
        const wchar_t* method;
        std::vector<VARIANT> args;
        HRESULT expected;
        UINT badArgument;  // in DISPPARAMS order; ~0u: not set
    };
    Bstr word(L"abc");
    Bstr number(L"12");
    const Row rows[] = {
        {"text that is no number", L"SetResolution", {str(word)}, DISP_E_TYPEMISMATCH, 0},
        {"first of two arguments", L"AssignProfileToScannerButton", {str(word), str(word)}, DISP_E_TYPEMISMATCH, 1},
        {"out of the 16-bit range", L"SetResolution", {i4(40000)}, DISP_E_OVERFLOW, 0},
        {"no argument", L"SetResolution", {}, DISP_E_BADPARAMCOUNT, ~0u},
        {"one too many", L"GetConfigPath", {i2(1)}, DISP_E_BADPARAMCOUNT, ~0u},
        {"decimal text", L"SetResolution", {str(number)}, S_OK, ~0u},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        UINT bad = ~0u;
        EXPECT_EQ(call(row.method, row.args, nullptr, &bad), row.expected);
        EXPECT_EQ(bad, row.badArgument);
    }

    LPOLESTR unknown[] = {const_cast<LPOLESTR>(L"NoSuchMethod")};
    DISPID id = 0;
    EXPECT_EQ(control_->GetIDsOfNames(IID_NULL, unknown, 1, LOCALE_USER_DEFAULT, &id), DISP_E_UNKNOWNNAME);
    EXPECT_EQ(id, DISPID_UNKNOWN);
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    EXPECT_EQ(control_->Invoke(500, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &none, nullptr, nullptr, nullptr),
              DISP_E_MEMBERNOTFOUND);
}

TEST_F(DocivaOcxObject, KeepsTheScriptsObjectUntilTheControlGoes) {
    Recorder callback;
    VARIANT object;
    VariantInit(&object);
    V_VT(&object) = VT_DISPATCH;
    V_DISPATCH(&object) = &callback;
    ASSERT_EQ(call(L"RegScannerSourceCallback", {object}), S_OK);
    EXPECT_EQ(callback.references, 2u);
    control_.reset();
    EXPECT_EQ(callback.references, 1u);
    EXPECT_EQ(dll().call("DllCanUnloadNow"), S_OK);
}

TEST_F(DocivaOcxObject, DescribesItselfFromItsTypeLibrary) {
    ComPtr<IProvideClassInfo2> classInfo;
    ASSERT_EQ(control_->QueryInterface(IID_IProvideClassInfo2, classInfo.putVoid()), S_OK);
    GUID events{};
    ASSERT_EQ(classInfo->GetGUID(GUIDKIND_DEFAULT_SOURCE_DISP_IID, &events), S_OK);
    EXPECT_TRUE(IsEqualGUID(events, kEventsId));
    ComPtr<ITypeInfo> coclass;
    ASSERT_EQ(classInfo->GetClassInfo(coclass.put()), S_OK);
    TYPEATTR* attr = nullptr;
    ASSERT_EQ(coclass->GetTypeAttr(&attr), S_OK);
    EXPECT_TRUE(IsEqualGUID(attr->guid, kClassId));
    coclass->ReleaseTypeAttr(attr);

    ComPtr<ITypeInfo> dispatchInfo;
    ASSERT_EQ(control_->GetTypeInfo(0, LOCALE_USER_DEFAULT, dispatchInfo.put()), S_OK);
    ASSERT_EQ(dispatchInfo->GetTypeAttr(&attr), S_OK);
    EXPECT_TRUE(IsEqualGUID(attr->guid, kDispatchId));
    dispatchInfo->ReleaseTypeAttr(attr);
    EXPECT_EQ(dll().call("DllCanUnloadNow"), S_FALSE);
}


// ---- persistence: DriverPath in a stream ----

std::string le16(std::uint16_t v) { return std::string{static_cast<char>(v & 0xFF), static_cast<char>(v >> 8)}; }
std::string le32(std::uint32_t v) { return le16(static_cast<std::uint16_t>(v & 0xFFFF)) + le16(static_cast<std::uint16_t>(v >> 16)); }
std::string utf16le(std::wstring_view text) {
    std::string out;
    for (const wchar_t c : text) out += le16(static_cast<std::uint16_t>(c));
    return out;
}
std::string hex(std::string_view bytes) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string out;
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        out += kDigits[b >> 4];
        out += kDigits[b & 15];
        out += ' ';
    }
    return out;
}

// A stream in memory holding bytes, positioned at its start.
ComPtr<IStream> memoryStream(std::string_view bytes) {
    ComPtr<IStream> stream;
    if (FAILED(CreateStreamOnHGlobal(nullptr, TRUE, stream.put()))) return {};
    ULONG written = 0;
    if (!bytes.empty()) stream->Write(bytes.data(), static_cast<ULONG>(bytes.size()), &written);
    LARGE_INTEGER zero{};
    stream->Seek(zero, STREAM_SEEK_SET, nullptr);
    return stream;
}
ULONGLONG positionOf(IStream& stream) {
    LARGE_INTEGER zero{};
    ULARGE_INTEGER at{};
    stream.Seek(zero, STREAM_SEEK_CUR, &at);
    return at.QuadPart;
}
std::string contentsOf(IStream& stream) {
    STATSTG stat{};
    if (FAILED(stream.Stat(&stat, STATFLAG_NONAME))) return "<no stat>";
    LARGE_INTEGER zero{};
    stream.Seek(zero, STREAM_SEEK_SET, nullptr);
    std::string bytes(static_cast<std::size_t>(stat.cbSize.QuadPart), '\0');
    ULONG got = 0;
    if (!bytes.empty()) stream.Read(bytes.data(), static_cast<ULONG>(bytes.size()), &got);
    bytes.resize(got);
    return bytes;
}

class DocivaOcxPersistence : public DocivaOcxObject {
protected:
    static ComPtr<IDispatch> newControl() {
        ComPtr<IDispatch> made;
        EXPECT_EQ(CoCreateInstance(kClassId, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, made.putVoid()), S_OK);
        return made;
    }
    template <class I>
    static ComPtr<I> as(IUnknown* object, REFIID iid) {
        ComPtr<I> p;
        EXPECT_EQ(object->QueryInterface(iid, p.putVoid()), S_OK);
        return p;
    }
    // DriverPath as a page gives it.
    static void setDriverPath(IDispatch* control, const std::wstring& path) {
        PropertyBag bag;
        bag.values = {{L"DriverPath", path}};
        EXPECT_EQ(as<IPersistPropertyBag>(control, IID_IPersistPropertyBag)->Load(&bag, nullptr), S_OK);
    }
    // DriverPath as the control saves it for a page.
    static std::wstring driverPathOf(IDispatch* control) {
        PropertyBag bag;
        EXPECT_EQ(as<IPersistPropertyBag>(control, IID_IPersistPropertyBag)->Save(&bag, FALSE, TRUE), S_OK);
        return bag.values.size() == 1 ? bag.values[0].second : L"<not one value>";
    }
};

TEST_F(DocivaOcxPersistence, SavesDriverPathToAStreamAndLoadsItIntoANewObject) {
    struct Row {
        const char* name;
        std::wstring path;
        std::string bytes;  // the stream exactly; empty: not pinned here
    };
    const Row rows[] = {
        {"empty", L"", le16(1) + le16(0) + le32(4) + le32(0)},
        {"two letters", L"C:", "\x01\x00\x00\x00\x08\x00\x00\x00\x02\x00\x00\x00\x43\x00\x3A\x00"s},
        {"beyond Latin, a surrogate pair", L"D:\\\u00e9\u5e38\\\U0001F4C4", ""},
        {"long", std::wstring(4000, L'x'), ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ComPtr<IDispatch> first = newControl();
        ASSERT_TRUE(first);
        setDriverPath(first.get(), row.path);
        auto out = as<IPersistStreamInit>(first.get(), IID_IPersistStreamInit);
        ULARGE_INTEGER most{};
        EXPECT_EQ(out->GetSizeMax(&most), S_OK);
        ComPtr<IStream> stream = memoryStream("");
        ASSERT_TRUE(stream);
        ASSERT_EQ(out->Save(stream.get(), TRUE), S_OK);
        const std::string saved = contentsOf(*stream.get());
        EXPECT_GE(most.QuadPart, saved.size());
        EXPECT_EQ(saved.size(), 12 + 2 * row.path.size());
        if (!row.bytes.empty()) { EXPECT_EQ(hex(saved), hex(row.bytes)); }

        // Another object's data follows in the container's stream.
        ComPtr<IDispatch> second = newControl();
        ASSERT_TRUE(second);
        ComPtr<IStream> back = memoryStream(saved + "next object");
        EXPECT_EQ(as<IPersistStreamInit>(second.get(), IID_IPersistStreamInit)->Load(back.get()), S_OK);
        EXPECT_EQ(positionOf(*back.get()), saved.size());
        EXPECT_EQ(narrow(driverPathOf(second.get())), narrow(row.path));
    }
}

TEST_F(DocivaOcxPersistence, KeepsDriverPathFromScripts) {
    // GetDriverPath names the registered scanner's folder; the persistent
    // property is not the script's to read.
    ComPtr<IStream> stream = memoryStream(le16(1) + le16(0) + le32(4 + 8) + le32(4) + utf16le(L"C:\\d"));
    ASSERT_EQ(as<IPersistStreamInit>(control_.get(), IID_IPersistStreamInit)->Load(stream.get()), S_OK);
    EXPECT_EQ(narrow(driverPathOf(control_.get())), "C:\\d");
    EXPECT_EQ(narrow(textOf(L"GetDriverPath")), "");
}

TEST_F(DocivaOcxPersistence, RefusesStreamsItCannotReadAndKeepsItsValue) {
    const HRESULT truncated = HRESULT_FROM_WIN32(ERROR_HANDLE_EOF);
    const HRESULT damaged = HRESULT_FROM_WIN32(ERROR_INVALID_DATA);
    const std::string v10 = le16(1) + le16(0);
    struct Row {
        const char* name;
        std::string bytes;
        HRESULT expected;
        std::wstring path;    // DriverPath afterwards
        ULONGLONG consumed;   // where a successful load leaves the stream
    };
    const Row rows[] = {
        {"empty stream", "", truncated, L"before", 0},
        {"header cut", "\x01\x00\x00"s, truncated, L"before", 0},
        {"length cut", v10 + le32(8) + "\x02\x00"s, truncated, L"before", 0},
        {"text cut", v10 + le32(4 + 10) + le32(5) + utf16le(L"ab"), truncated, L"before", 0},
        {"newer major version", le16(2) + le16(0) + le32(8) + le32(2) + utf16le(L"ab"), STG_E_OLDDLL, L"before", 0},
        {"major version 0", le16(0) + le16(9) + le32(8) + le32(2) + utf16le(L"ab"), damaged, L"before", 0},
        {"body smaller than its text", v10 + le32(6) + le32(2) + utf16le(L"ab"), damaged, L"before", 0},
        {"body smaller than the length", v10 + le32(2) + le32(0), damaged, L"before", 0},
        {"longer than any path", v10 + le32(4 + 80000) + le32(40000) + utf16le(L"ab"), damaged, L"before", 0},
        {"later minor version: its field stepped over",
         le16(1) + le16(3) + le32(4 + 4 + 6) + le32(2) + utf16le(L"ab") + "XYZWVU" + "next object", S_OK, L"ab", 22},
        {"later minor version: its field cut", le16(1) + le16(3) + le32(4 + 4 + 6) + le32(2) + utf16le(L"ab") + "XY",
         truncated, L"before", 0},
        {"exact version 1.0", v10 + le32(8) + le32(2) + utf16le(L"ab") + "next", S_OK, L"ab", 16},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.name) + ": " + hex(row.bytes));
        ComPtr<IDispatch> control = newControl();
        ASSERT_TRUE(control);
        setDriverPath(control.get(), L"before");
        ComPtr<IStream> stream = memoryStream(row.bytes);
        ASSERT_TRUE(stream);
        EXPECT_EQ(as<IPersistStreamInit>(control.get(), IID_IPersistStreamInit)->Load(stream.get()), row.expected);
        EXPECT_EQ(narrow(driverPathOf(control.get())), narrow(row.path));
        if (row.expected == S_OK) { EXPECT_EQ(positionOf(*stream.get()), row.consumed); }
        // Never beyond the end.
        EXPECT_LE(positionOf(*stream.get()), row.bytes.size());
    }
}

TEST_F(DocivaOcxPersistence, IsDirtyUntilInitialisedLoadedOrSaved) {
    const std::string valid = le16(1) + le16(0) + le32(8) + le32(2) + utf16le(L"ab");
    using Steps = void (*)(IPersistStreamInit&, IPersistPropertyBag&, const std::string&);
    struct Row {
        const char* name;
        Steps steps;
        HRESULT dirty;
    };
    const Row rows[] = {
        {"a new object", [](IPersistStreamInit&, IPersistPropertyBag&, const std::string&) {}, S_OK},
        {"after InitNew", [](IPersistStreamInit& s, IPersistPropertyBag&, const std::string&) { s.InitNew(); }, S_FALSE},
        {"after InitNew of the property bag",
         [](IPersistStreamInit&, IPersistPropertyBag& b, const std::string&) { b.InitNew(); }, S_FALSE},
        {"saved, flag kept",
         [](IPersistStreamInit& s, IPersistPropertyBag&, const std::string&) { s.Save(memoryStream("").get(), FALSE); },
         S_OK},
        {"saved, flag cleared",
         [](IPersistStreamInit& s, IPersistPropertyBag&, const std::string&) { s.Save(memoryStream("").get(), TRUE); },
         S_FALSE},
        {"loaded from a stream",
         [](IPersistStreamInit& s, IPersistPropertyBag&, const std::string& v) { s.Load(memoryStream(v).get()); },
         S_FALSE},
        {"a failed load",
         [](IPersistStreamInit& s, IPersistPropertyBag&, const std::string& v) {
             s.Load(memoryStream(v.substr(0, 5)).get());
         },
         S_OK},
        {"loaded from a property bag",
         [](IPersistStreamInit&, IPersistPropertyBag& b, const std::string&) {
             PropertyBag bag;
             bag.values = {{L"DriverPath", L"x"}};
             b.Load(&bag, nullptr);
         },
         S_FALSE},
        {"saved to a property bag, flag kept",
         [](IPersistStreamInit&, IPersistPropertyBag& b, const std::string&) {
             PropertyBag bag;
             b.Save(&bag, FALSE, TRUE);
         },
         S_OK},
        {"saved to a property bag, flag cleared",
         [](IPersistStreamInit&, IPersistPropertyBag& b, const std::string&) {
             PropertyBag bag;
             b.Save(&bag, TRUE, TRUE);
         },
         S_FALSE},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ComPtr<IDispatch> control = newControl();
        ASSERT_TRUE(control);
        auto stream = as<IPersistStreamInit>(control.get(), IID_IPersistStreamInit);
        auto bag = as<IPersistPropertyBag>(control.get(), IID_IPersistPropertyBag);
        row.steps(*stream.get(), *bag.get(), valid);
        EXPECT_EQ(stream->IsDirty(), row.dirty);
    }
}

TEST_F(DocivaOcxPersistence, PropertyBagAndStreamShareOneValue) {
    // A page's value saved through a stream ...
    setDriverPath(control_.get(), L"C:\\Drivers\\A");
    auto stream = as<IPersistStreamInit>(control_.get(), IID_IPersistStreamInit);
    ComPtr<IStream> bytes = memoryStream("");
    ASSERT_EQ(stream->Save(bytes.get(), TRUE), S_OK);
    // ... and a stream's value saved for a page.
    ComPtr<IDispatch> other = newControl();
    ASSERT_TRUE(other);
    LARGE_INTEGER zero{};
    bytes->Seek(zero, STREAM_SEEK_SET, nullptr);
    ASSERT_EQ(as<IPersistStreamInit>(other.get(), IID_IPersistStreamInit)->Load(bytes.get()), S_OK);
    EXPECT_EQ(narrow(driverPathOf(other.get())), "C:\\Drivers\\A");
    // One InitNew for both: back to empty, whichever interface is asked.
    EXPECT_EQ(as<IPersistPropertyBag>(other.get(), IID_IPersistPropertyBag)->InitNew(), S_OK);
    ULARGE_INTEGER most{};
    auto otherStream = as<IPersistStreamInit>(other.get(), IID_IPersistStreamInit);
    EXPECT_EQ(otherStream->GetSizeMax(&most), S_OK);
    EXPECT_EQ(most.QuadPart, 12u);
    setDriverPath(other.get(), L"x");
    EXPECT_EQ(otherStream->InitNew(), S_OK);
    EXPECT_EQ(narrow(driverPathOf(other.get())), "");

    // The older stream interface reaches the same calls; both name the class.
    auto older = as<IPersistStream>(control_.get(), IID_IPersistStream);
    CLSID clsid{};
    EXPECT_EQ(older->GetClassID(&clsid), S_OK);
    EXPECT_TRUE(IsEqualCLSID(clsid, kClassId));
    EXPECT_EQ(older->IsDirty(), S_FALSE);
    // A path no stream may hold is refused rather than written.
    setDriverPath(control_.get(), std::wstring(40000, L'y'));
    EXPECT_EQ(stream->Save(memoryStream("").get(), TRUE), HRESULT_FROM_WIN32(ERROR_INVALID_DATA));
}

// ---- the property page and the verbs ----

TEST(DocivaOcxRegistration, RegistersThePropertyPageAndRemovesIt) {
    ComApartment com;
    ASSERT_TRUE(SUCCEEDED(com.result()));
    Installation install;
    ASSERT_TRUE(install.copied());
    ScopedLibrary dll(install.dll());
    ASSERT_NE(dll.get(), nullptr);
    ASSERT_EQ(dll.call("DllRegisterServer"), S_OK);

    const std::wstring pageKey = std::wstring(L"CLSID\\") + kPropPageClassIdText;
    const std::wstring progId = L"DOCIVAOCX.DocivaOCXPropPage.1";
    expectRegistry({
        {pageKey, nullptr, L"DocivaOCX Property Page"},
        {pageKey + L"\\ProgID", nullptr, progId},
        {pageKey + L"\\InprocServer32", L"ThreadingModel", L"Apartment"},
        {progId, nullptr, L"DocivaOCX Property Page"},
        {progId + L"\\CLSID", nullptr, kPropPageClassIdText},
        // The control's own keys are still all there.
        {kClassKey + L"\\ProgID", nullptr, kProgId},
    });
    expectServerIs(pageKey, install.dll());
    CLSID fromProgId{};
    EXPECT_EQ(CLSIDFromProgID(progId.c_str(), &fromProgId), S_OK);
    EXPECT_TRUE(IsEqualCLSID(fromProgId, kPropPageClassId));
    // The name in the DLL's strings is the registered one.
    wchar_t name[64] = {};
    EXPECT_GT(LoadStringW(dll.get(), 2, name, 64), 0);
    EXPECT_EQ(narrow(name), "DocivaOCX Property Page");

    // The module hands out a factory for each of its two classes only.
    using GetClassObject = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
    const auto getClassObject = reinterpret_cast<GetClassObject>(
        reinterpret_cast<void*>(GetProcAddress(dll.get(), "DllGetClassObject")));
    ASSERT_NE(getClassObject, nullptr);
    for (const CLSID& clsid : {kClassId, kPropPageClassId}) {
        ComPtr<IClassFactory> factory;
        EXPECT_EQ(getClassObject(clsid, IID_IClassFactory, factory.putVoid()), S_OK);
        EXPECT_TRUE(factory);
    }
    ComPtr<IClassFactory> none;
    EXPECT_EQ(getClassObject(kLibId, IID_IClassFactory, none.putVoid()), CLASS_E_CLASSNOTAVAILABLE);

    ASSERT_EQ(dll.call("DllUnregisterServer"), S_OK);
    for (const std::wstring& gone : {pageKey, progId, kClassKey}) {
        SCOPED_TRACE(narrow(gone));
        EXPECT_FALSE(keyExists(gone));
    }
    EXPECT_EQ(CLSIDFromProgID(progId.c_str(), &fromProgId), CO_E_CLASSSTRING);
}

TEST_F(DocivaOcxObject, ListsItsVerbs) {
    ComPtr<IOleObject> ole;
    ASSERT_EQ(control_->QueryInterface(IID_IOleObject, ole.putVoid()), S_OK);
    ComPtr<IEnumOLEVERB> verbs;
    ASSERT_EQ(ole->EnumVerbs(verbs.put()), S_OK);
    struct Row {
        LONG verb;
        DWORD attributes;
    };
    const Row expected[] = {
        {OLEIVERB_PRIMARY, OLEVERBATTRIB_ONCONTAINERMENU},
        {OLEIVERB_SHOW, 0},
        {OLEIVERB_INPLACEACTIVATE, 0},
        {OLEIVERB_UIACTIVATE, 0},
        {OLEIVERB_HIDE, 0},
        {OLEIVERB_PROPERTIES, OLEVERBATTRIB_ONCONTAINERMENU},
    };
    OLEVERB got[8] = {};
    ULONG count = 0;
    EXPECT_EQ(verbs->Next(8, got, &count), S_FALSE);
    ASSERT_EQ(count, std::size(expected));
    for (ULONG i = 0; i < count; ++i) {
        SCOPED_TRACE("verb " + std::to_string(expected[i].verb));
        EXPECT_EQ(got[i].lVerb, expected[i].verb);
        EXPECT_EQ(got[i].grfAttribs, expected[i].attributes);
        ASSERT_NE(got[i].lpszVerbName, nullptr);
        EXPECT_GT(lstrlenW(got[i].lpszVerbName), 0);
        CoTaskMemFree(got[i].lpszVerbName);
    }
    // Start again, part of the way, and a copy from there.
    EXPECT_EQ(verbs->Reset(), S_OK);
    EXPECT_EQ(verbs->Skip(5), S_OK);
    ComPtr<IEnumOLEVERB> clone;
    ASSERT_EQ(verbs->Clone(clone.put()), S_OK);
    OLEVERB last{};
    ASSERT_EQ(clone->Next(1, &last, nullptr), S_OK);
    EXPECT_EQ(last.lVerb, OLEIVERB_PROPERTIES);
    CoTaskMemFree(last.lpszVerbName);
    EXPECT_EQ(clone->Next(1, &last, nullptr), S_FALSE);
    EXPECT_EQ(verbs->Skip(2), S_FALSE);
    // Verbs the control does not have.
    EXPECT_EQ(ole->DoVerb(7, nullptr, nullptr, 0, nullptr, nullptr), OLEOBJ_S_INVALIDVERB);

    ComPtr<IOleControl> control;
    ASSERT_EQ(control_->QueryInterface(IID_IOleControl, control.putVoid()), S_OK);
    CONTROLINFO info{};
    info.cb = sizeof(info);
    info.cAccel = 99;
    EXPECT_EQ(control->GetControlInfo(&info), S_OK);
    EXPECT_EQ(info.cAccel, 0);
    EXPECT_EQ(info.hAccel, nullptr);
}

TEST_F(DocivaOcxObject, HoldsEventsBackWhileTheContainerFreezesThem) {
    ComPtr<IOleControl> control;
    ASSERT_EQ(control_->QueryInterface(IID_IOleControl, control.putVoid()), S_OK);
    // Frozen while the sink is advised, as a container loading a page does:
    // the window's two events wait for the thaw.
    ASSERT_EQ(control->FreezeEvents(TRUE), S_OK);
    Recorder sink;
    DWORD cookie = 0;
    ASSERT_EQ(advise(sink, cookie), S_OK);
    EXPECT_TRUE(sink.calls.empty());
    ASSERT_EQ(control->FreezeEvents(FALSE), S_OK);
    ASSERT_EQ(sink.calls.size(), 2u);
    EXPECT_EQ(sink.calls[0].dispid, 2);  // OnProfileReady
    EXPECT_EQ(sink.calls[1].dispid, 1);  // OnSourceReady

    Bstr empty(L"");
    struct Row {
        const char* name;
        int freezes;  // +1 freeze, -1 thaw, 0 nothing
        std::size_t heard;  // registration events heard after the call
    };
    const Row rows[] = {
        {"not frozen", 0, 1},
        {"frozen", +1, 1},
        {"frozen twice", +1, 1},
        {"one thaw of two", -1, 1},
        {"thawed", -1, 2},
        {"an extra thaw changes nothing", -1, 3},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        if (row.freezes) { EXPECT_EQ(control->FreezeEvents(row.freezes > 0), S_OK); }
        EXPECT_EQ(call(L"ScannerRegister", {str(empty)}), S_OK);
        const auto heard = std::count_if(sink.calls.begin(), sink.calls.end(),
                                         [](const Recorder::Call& c) { return c.dispid == 3; });
        // A held-back event is dropped, not raised at the thaw.
        EXPECT_EQ(static_cast<std::size_t>(heard), row.heard);
    }
    ASSERT_EQ(point_->Unadvise(cookie), S_OK);
    point_.reset();
}

// A top-level window to put pages and frames on; invalid without a display.
platform::ScopedHandle<WindowTraits> topLevelWindow() {
    return platform::ScopedHandle<WindowTraits>(CreateWindowExW(0, L"STATIC", L"host", WS_OVERLAPPEDWINDOW, 0, 0, 800,
                                                                600, nullptr, nullptr, nullptr, nullptr));
}

INT_PTR CALLBACK plainDialog(HWND, UINT, WPARAM, LPARAM) { return FALSE; }

TEST_F(DocivaOcxObject, NamesItsPropertyPageWhichShowsOnAWindow) {
    ComPtr<ISpecifyPropertyPages> specify;
    ASSERT_EQ(control_->QueryInterface(IID_ISpecifyPropertyPages, specify.putVoid()), S_OK);
    CAUUID pages{};
    ASSERT_EQ(specify->GetPages(&pages), S_OK);
    ASSERT_EQ(pages.cElems, 1u);
    CLSID expected{};
    ASSERT_EQ(CLSIDFromString(kPropPageClassIdText, &expected), S_OK);
    EXPECT_TRUE(IsEqualCLSID(pages.pElems[0], expected));
    CoTaskMemFree(pages.pElems);

    ComPtr<IPropertyPage2> page;
    ASSERT_EQ(CoCreateInstance(expected, nullptr, CLSCTX_INPROC_SERVER, IID_IPropertyPage2, page.putVoid()), S_OK);
    PROPPAGEINFO info{};
    info.cb = sizeof(info);
    ASSERT_EQ(page->GetPageInfo(&info), S_OK);
    ASSERT_NE(info.pszTitle, nullptr);
    EXPECT_EQ(narrow(info.pszTitle), "\xE5\xB8\xB8\xE8\xA7\x84");  // 常规 in UTF-8
    CoTaskMemFree(info.pszTitle);
    EXPECT_EQ(info.pszDocString, nullptr);
    EXPECT_EQ(info.pszHelpFile, nullptr);
    EXPECT_GT(info.size.cx, 0);
    EXPECT_GT(info.size.cy, 0);
    // It exchanges nothing.
    IUnknown* objects[] = {control_.get()};
    EXPECT_EQ(page->SetObjects(1, objects), S_OK);
    EXPECT_EQ(page->IsPageDirty(), S_FALSE);
    EXPECT_EQ(page->Apply(), S_OK);
    EXPECT_EQ(page->Show(SW_SHOW), E_UNEXPECTED);  // nothing to show before Activate

    platform::ScopedHandle<WindowTraits> parent = topLevelWindow();
    if (!parent.valid()) GTEST_SKIP() << "no display: visible windows cannot be made here (Wine without an X server)";
    // The size the dialog manager gives template 200 on this display.
    platform::ScopedHandle<WindowTraits> reference(
        CreateDialogParamW(dll().get(), MAKEINTRESOURCEW(200), parent.get(), plainDialog, 0));
    ASSERT_TRUE(reference.valid());
    RECT made{};
    GetWindowRect(reference.get(), &made);
    EXPECT_EQ(info.size.cx, made.right - made.left);
    EXPECT_EQ(info.size.cy, made.bottom - made.top);
    reference.reset();

    const RECT where{5, 6, 5 + info.size.cx, 6 + info.size.cy};
    ASSERT_EQ(page->Activate(parent.get(), &where, TRUE), S_OK);
    EXPECT_EQ(page->Activate(parent.get(), &where, TRUE), E_UNEXPECTED);
    HWND shown = GetWindow(parent.get(), GW_CHILD);
    ASSERT_TRUE(IsWindow(shown));
    EXPECT_EQ(GetWindow(shown, GW_HWNDNEXT), nullptr);  // the page is the one child
    RECT at{};
    GetWindowRect(shown, &at);
    MapWindowPoints(nullptr, parent.get(), reinterpret_cast<POINT*>(&at), 2);
    EXPECT_EQ(at.left, 5);
    EXPECT_EQ(at.top, 6);
    EXPECT_EQ(at.right - at.left, info.size.cx);
    // One empty static text.
    HWND text = GetWindow(shown, GW_CHILD);
    ASSERT_TRUE(IsWindow(text));
    wchar_t className[32] = {};
    GetClassNameW(text, className, 32);
    EXPECT_EQ(CompareStringOrdinal(className, -1, L"Static", -1, TRUE), CSTR_EQUAL) << narrow(className);
    EXPECT_EQ(GetWindowTextLengthW(text), 0);
    EXPECT_EQ(GetWindow(text, GW_HWNDNEXT), nullptr);

    const auto visible = [shown] { return (GetWindowLongW(shown, GWL_STYLE) & WS_VISIBLE) != 0; };
    struct Row {
        UINT command;
        bool visible;
    };
    for (const Row& row : {Row{SW_SHOW, true}, Row{SW_HIDE, false}, Row{SW_SHOWNORMAL, true}}) {
        SCOPED_TRACE("Show " + std::to_string(row.command));
        EXPECT_EQ(page->Show(row.command), S_OK);
        EXPECT_EQ(visible(), row.visible);
    }
    const RECT moved{0, 0, 100, 50};
    EXPECT_EQ(page->Move(&moved), S_OK);
    GetWindowRect(shown, &at);
    EXPECT_EQ(at.right - at.left, 100);
    EXPECT_EQ(at.bottom - at.top, 50);
    EXPECT_EQ(page->Deactivate(), S_OK);
    EXPECT_FALSE(IsWindow(shown));
    EXPECT_EQ(GetWindow(parent.get(), GW_CHILD), nullptr);
    EXPECT_EQ(page->SetObjects(0, nullptr), S_OK);
    page.reset();
}

// What the Properties verb showed, seen from a timer running inside the
// frame's modal loop, which then closes the frame. The frame is found as
// this thread's visible window with a tab control (Wine gives it no owner).
struct FrameWatch {
    HWND owner = nullptr;
    std::wstring tab = L"<no frame seen>";
    int ticks = 0;
};

BOOL CALLBACK findFrame(HWND window, LPARAM lParam) {
    auto& watch = *reinterpret_cast<FrameWatch*>(lParam);
    if (window == watch.owner || !IsWindowVisible(window)) return TRUE;
    HWND tabs = FindWindowExW(window, nullptr, L"SysTabControl32", nullptr);
    if (!tabs) return TRUE;
    wchar_t text[64] = {};
    TCITEMW item{};
    item.mask = TCIF_TEXT;
    item.pszText = text;
    item.cchTextMax = 64;
    if (SendMessageW(tabs, TCM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item))) watch.tab = text;
    if (SendMessageW(tabs, TCM_GETITEMCOUNT, 0, 0) != 1) watch.tab += L" <more than one page>";
    PostMessageW(window, WM_COMMAND, IDCANCEL, 0);
    return FALSE;
}

BOOL CALLBACK closeOthers(HWND window, LPARAM owner) {
    if (window != reinterpret_cast<HWND>(owner) && IsWindowVisible(window)) PostMessageW(window, WM_CLOSE, 0, 0);
    return TRUE;
}

void CALLBACK watchFrame(HWND owner, UINT, UINT_PTR, DWORD) {
    auto& watch = *reinterpret_cast<FrameWatch*>(GetWindowLongPtrW(owner, GWLP_USERDATA));
    // Give up after a few seconds: close whatever else this thread shows.
    if (++watch.ticks > 50) {
        EnumThreadWindows(GetCurrentThreadId(), closeOthers, reinterpret_cast<LPARAM>(owner));
        return;
    }
    EnumThreadWindows(GetCurrentThreadId(), findFrame, reinterpret_cast<LPARAM>(&watch));
}

TEST_F(DocivaOcxObject, ShowsItsPageInThePropertyFrame) {
    platform::ScopedHandle<WindowTraits> owner = topLevelWindow();
    if (!owner.valid()) GTEST_SKIP() << "no display: visible windows cannot be made here (Wine without an X server)";
    ShowWindow(owner.get(), SW_SHOW);
    FrameWatch watch;
    watch.owner = owner.get();
    SetWindowLongPtrW(owner.get(), GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&watch));
    ComPtr<IOleObject> ole;
    ASSERT_EQ(control_->QueryInterface(IID_IOleObject, ole.putVoid()), S_OK);
    const UINT_PTR timer = SetTimer(owner.get(), 1, 100, watchFrame);
    ASSERT_NE(timer, 0u);
    const HRESULT shown = ole->DoVerb(OLEIVERB_PROPERTIES, nullptr, nullptr, 0, owner.get(), nullptr);
    KillTimer(owner.get(), timer);
    EXPECT_EQ(shown, S_OK);
    EXPECT_EQ(narrow(watch.tab), "\xE5\xB8\xB8\xE8\xA7\x84");  // the page's caption on the frame's one tab
}

// What the control's window paints its background with, 0xRRGGBB.
std::uint32_t erasedColour(HWND window) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = 8;
    info.bmiHeader.biHeight = -8;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HDC dc = CreateCompatibleDC(nullptr);
    HBITMAP picture = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!dc || !picture) return 0xFFFFFFFFu;
    HGDIOBJ previous = SelectObject(dc, picture);
    SendMessageW(window, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    GdiFlush();
    const std::uint32_t pixel = static_cast<const std::uint32_t*>(bits)[3 * 8 + 3] & 0xFFFFFFu;
    SelectObject(dc, previous);
    DeleteObject(picture);
    DeleteDC(dc);
    return pixel;
}
std::uint32_t rgbOf(COLORREF c) { return (GetRValue(c) << 16) | (GetGValue(c) << 8) | GetBValue(c); }

// The control in place in a container on a message-only host; fails the
// way the display does when visible windows cannot be made.
class DocivaOcxInPlace : public DocivaOcxObject {
protected:
    void SetUp() override {
        DocivaOcxObject::SetUp();
        if (HasFatalFailure()) return;
        host_.reset(CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 1000, 1000, HWND_MESSAGE, nullptr, nullptr, nullptr));
        ASSERT_TRUE(host_.valid());
        platform::ScopedHandle<WindowTraits> probe(CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE, 0, 0, 10,
                                                                   10, host_.get(), nullptr, nullptr, nullptr));
        if (!probe.valid()) GTEST_SKIP() << "no display: visible windows cannot be made here (Wine without an X server)";
        container_ = std::make_unique<Container>(host_.get());
        ASSERT_EQ(control_->QueryInterface(IID_IOleObject, ole_.putVoid()), S_OK);
        ASSERT_EQ(ole_->SetClientSite(container_.get()), S_OK);
    }
    void TearDown() override {
        closeEmbedding(ole_);
        DocivaOcxObject::TearDown();
        if (container_) { EXPECT_EQ(container_->references, 1u); }
    }
    HRESULT doVerb(LONG verb) {
        RECT position = Container::kPlace;
        return ole_->DoVerb(verb, nullptr, container_.get(), 0, host_.get(), &position);
    }
    HWND window() { return inPlaceWindow(control_.get()); }

    platform::ScopedHandle<WindowTraits> host_;
    std::unique_ptr<Container> container_;
    ComPtr<IOleObject> ole_;
};

TEST_F(DocivaOcxInPlace, TakesTheKeyboardWhenUiActive) {
    ASSERT_EQ(doVerb(OLEIVERB_INPLACEACTIVATE), S_OK);
    EXPECT_EQ(container_->uiActivated, 0);
    ASSERT_EQ(doVerb(OLEIVERB_UIACTIVATE), S_OK);
    EXPECT_EQ(container_->uiActivated, 1);
    EXPECT_EQ(container_->activated, 1);  // the window stays the one made
    HWND w = window();
    ASSERT_TRUE(IsWindow(w));
    EXPECT_EQ(GetFocus(), w);

    ComPtr<IOleInPlaceActiveObject> active;
    ASSERT_EQ(control_->QueryInterface(IID_IOleInPlaceActiveObject, active.putVoid()), S_OK);
    HWND activeWindow = nullptr;
    EXPECT_EQ(active->GetWindow(&activeWindow), S_OK);
    EXPECT_EQ(activeWindow, w);
    EXPECT_EQ(active->OnFrameWindowActivate(TRUE), S_OK);
    EXPECT_EQ(active->OnDocWindowActivate(TRUE), S_OK);
    EXPECT_EQ(active->ResizeBorder(nullptr, nullptr, TRUE), S_OK);
    EXPECT_EQ(active->EnableModeless(FALSE), S_OK);

    struct Row {
        const char* name;
        UINT message;
        WPARAM key;
        HRESULT expected;  // S_OK: somebody used it
    };
    const Row rows[] = {
        {"the container's accelerator", WM_KEYDOWN, VK_F5, S_OK},
        {"a letter's key", WM_KEYDOWN, 'A', S_FALSE},
        {"a character", WM_CHAR, 'a', S_FALSE},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const std::size_t offered = container_->offeredKeys.size();
        MSG msg{w, row.message, row.key, 0, 0, {0, 0}};
        EXPECT_EQ(active->TranslateAccelerator(&msg), row.expected);
        // Whatever the control does not use goes on to the container.
        ASSERT_EQ(container_->offeredKeys.size(), offered + 1);
        EXPECT_EQ(container_->offeredKeys.back(), row.key);
    }
    EXPECT_EQ(active->TranslateAccelerator(nullptr), E_INVALIDARG);

    ComPtr<IOleInPlaceObject> inPlace;
    ASSERT_EQ(control_->QueryInterface(IID_IOleInPlaceObject, inPlace.putVoid()), S_OK);
    EXPECT_EQ(inPlace->UIDeactivate(), S_OK);
    EXPECT_EQ(inPlace->UIDeactivate(), S_OK);
    EXPECT_EQ(container_->uiDeactivated, 1);

    // The remaining verbs on the active window.
    EXPECT_EQ(doVerb(OLEIVERB_HIDE), S_OK);
    EXPECT_FALSE(GetWindowLongW(w, GWL_STYLE) & WS_VISIBLE);
    EXPECT_EQ(doVerb(OLEIVERB_SHOW), S_OK);
    EXPECT_TRUE(GetWindowLongW(w, GWL_STYLE) & WS_VISIBLE);
    EXPECT_EQ(doVerb(OLEIVERB_PRIMARY), S_OK);
    EXPECT_EQ(container_->uiActivated, 2);
    EXPECT_EQ(inPlace->InPlaceDeactivate(), S_OK);
    EXPECT_EQ(container_->uiDeactivated, 2);  // leaving in place leaves UI activation first
    EXPECT_EQ(container_->deactivated, 1);
    EXPECT_FALSE(IsWindow(w));
}

TEST_F(DocivaOcxInPlace, ReadsTheBackgroundAgainWhenTheContainerSaysSo) {
    ASSERT_EQ(doVerb(OLEIVERB_INPLACEACTIVATE), S_OK);
    HWND w = window();
    ASSERT_TRUE(IsWindow(w));
    EXPECT_EQ(erasedColour(w), rgbOf(Container::kBackground));
    ComPtr<IOleControl> control;
    ASSERT_EQ(control_->QueryInterface(IID_IOleControl, control.putVoid()), S_OK);
    struct Row {
        const char* name;
        DISPID changed;
        COLORREF colour;
        bool readAgain;
    };
    const Row rows[] = {
        {"nothing said yet", 0, RGB(200, 0, 0), false},
        {"the background colour", DISPID_AMBIENT_BACKCOLOR, RGB(200, 0, 0), true},
        {"another property", DISPID_AMBIENT_FORECOLOR, RGB(0, 200, 0), false},
        {"some properties", DISPID_UNKNOWN, RGB(0, 0, 200), true},
    };
    COLORREF shown = Container::kBackground;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        container_->background = row.colour;
        if (row.changed) { EXPECT_EQ(control->OnAmbientPropertyChange(row.changed), S_OK); }
        if (row.readAgain) shown = row.colour;
        EXPECT_EQ(erasedColour(w), rgbOf(shown));
    }
}

TEST_F(DocivaOcxInPlace, MovesAndClipsItsWindow) {
    ASSERT_EQ(doVerb(OLEIVERB_INPLACEACTIVATE), S_OK);
    HWND w = window();
    ASSERT_TRUE(IsWindow(w));
    ComPtr<IOleInPlaceObject> inPlace;
    ASSERT_EQ(control_->QueryInterface(IID_IOleInPlaceObject, inPlace.putVoid()), S_OK);
    struct Row {
        const char* name;
        RECT position;
        RECT clip;
        int regionKind;  // what GetWindowRgn says: ERROR for no region
        RECT box;        // the region's box, window coordinates
    };
    const Row rows[] = {
        {"all visible", {10, 20, 310, 220}, {10, 20, 310, 220}, ERROR, {}},
        {"clip larger than the control", {10, 20, 310, 220}, {0, 0, 1000, 1000}, ERROR, {}},
        {"cut on the right and below", {10, 20, 310, 220}, {0, 0, 110, 70}, SIMPLEREGION, {0, 0, 100, 50}},
        {"cut on the left and above", {10, 20, 310, 220}, {60, 120, 1000, 1000}, SIMPLEREGION, {50, 100, 300, 200}},
        {"nothing visible", {10, 20, 310, 220}, {400, 400, 500, 500}, NULLREGION, {}},
        {"moved, all visible again", {30, 40, 130, 90}, {30, 40, 130, 90}, ERROR, {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(inPlace->SetObjectRects(&row.position, &row.clip), S_OK);
        RECT at{};
        GetWindowRect(w, &at);
        MapWindowPoints(nullptr, host_.get(), reinterpret_cast<POINT*>(&at), 2);
        EXPECT_EQ(at.left, row.position.left);
        EXPECT_EQ(at.top, row.position.top);
        EXPECT_EQ(at.right, row.position.right);
        EXPECT_EQ(at.bottom, row.position.bottom);
        HRGN region = CreateRectRgn(0, 0, 0, 0);
        const int kind = GetWindowRgn(w, region);
        EXPECT_EQ(kind, row.regionKind);
        if (kind == SIMPLEREGION) {
            RECT box{};
            GetRgnBox(region, &box);
            EXPECT_TRUE(EqualRect(&box, &row.box))
                << box.left << "," << box.top << "," << box.right << "," << box.bottom;
        }
        DeleteObject(region);
    }
}

// ---- a scan run through COM ----

// The virtual scanner of tests/support/attached_scanner_win.h, named for
// these tests.
using testing_support::AttachedScanner;

// The EVENT lines of a Linux end-to-end page's trace
// (tests/control/e2e/NAME.trace); empty when it cannot be read.
std::vector<std::string> linuxEventLines(const std::string& name) {
    const std::string path = std::string(DOCIVA_E2E_DIR) + "/" + name + ".trace";
    const std::string text = testing_support::readBytes(platform::win32::fromWide(windowsPath(path)));
    std::vector<std::string> lines;
    std::size_t from = 0;
    while (from < text.size()) {
        std::size_t to = text.find('\n', from);
        if (to == std::string::npos) to = text.size();
        std::string line = text.substr(from, to - from);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.rfind("EVENT ", 0) == 0) lines.push_back(std::move(line));
        from = to + 1;
    }
    return lines;
}

void replaceAll(std::string& text, const std::string& from, const std::string& to) {
    for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
}

// A text as it stands inside a payload's JSON string.
std::string inJson(const std::wstring& text) {
    std::string escaped;
    for (char c : narrow(text)) {
        if (c == '\\' || c == '"') escaped += '\\';
        escaped += c;
    }
    return escaped;
}

// What legitimately differs between this run and the Linux page's.
struct RunPlaces {
    std::wstring installation;  // the control's folder: ROOT/module there
    std::wstring driver;        // the attached scanner's driver folder
    std::wstring product;       // the attached scanner's name
};

// The profile list in name order: both platforms list the folder in the
// order its file system gives (run_e2e.py compares it sorted, too).
std::string profilesByName(const std::string& line) {
    const std::string open = "\"profiles\":[";
    const std::size_t start = line.find(open);
    const std::size_t end = line.rfind("]}");
    if (line.rfind("EVENT OnProfileReady ", 0) != 0 || start == std::string::npos || end == std::string::npos ||
        end < start)
        return line;
    const std::string list = line.substr(start + open.size(), end - start - open.size());
    std::vector<std::pair<std::string, std::string>> items;  // name, item
    for (std::size_t from = 0; from < list.size();) {
        std::size_t to = list.find("},{", from);
        to = to == std::string::npos ? list.size() : to + 1;
        const std::string item = list.substr(from, to - from);
        const std::size_t name = item.find("\"name\":\"");
        items.emplace_back(name == std::string::npos ? item : item.substr(name + 8, item.find('"', name + 8) - name - 8),
                           item);
        from = to + 1;
    }
    std::sort(items.begin(), items.end());
    std::string sorted;
    for (const auto& item : items) sorted += (sorted.empty() ? "" : ",") + item.second;
    return line.substr(0, start + open.size()) + sorted + line.substr(end);
}

// An event heard here as the Linux trace writes it ("EVENT name json"),
// with this run's places and scanner written as the Linux page's: paths
// below the control's folder with slashes, as the Linux control writes
// them, and the driver folder and scanner name of the example
// installation's duplex scanner, which the Windows scanner stands for.
std::string asOnLinux(const Recorder::Call& call, const RunPlaces& places) {
    std::string line = "EVENT " + eventName(call.dispid) + " " + narrow(call.text);
    replaceAll(line, inJson(places.driver), "@ROOT@/install/programdata/Corvane/VirtualDuplex/driver");
    replaceAll(line, inJson(places.product), "Dociva Virtual Duplex 300");
    const std::string installation = inJson(places.installation);
    const std::string root = "@ROOT@/module";
    for (std::size_t at = line.find(installation); at != std::string::npos; at = line.find(installation, at)) {
        line.replace(at, installation.size(), root);
        at += root.size();
        // The rest of this JSON string: its escaped backslashes are the
        // path's separators.
        for (std::size_t i = at; i + 1 < line.size() && line[i] != '"'; ++i) {
            if (line[i] == '\\' && line[i + 1] == '\\') line.replace(i, 2, "/");
            else if (line[i] == '\\') ++i;
        }
    }
    return profilesByName(line);
}

// Where OnScanEnd falls among the button reports is the threads' choice:
// the SDK's thread posts the run's end while the request pool's worker may
// still be putting files into the viewer, each file's four reports
// following it. Both lists are compared with the end after every report.
std::vector<std::string> endAfterTheReports(std::vector<std::string> lines) {
    std::stable_partition(lines.begin(), lines.end(),
                          [](const std::string& line) { return line.rfind("EVENT OnScanEnd ", 0) != 0; });
    return lines;
}

TEST_F(DocivaOcxObject, ScansIntoFilesTheViewerShowsAndEdits) {
    AttachedScanner scanner(L"COM");
    ASSERT_TRUE(scanner.installed());
    if (!scanner.attached()) GTEST_SKIP() << "SetupAPI would not create a device here";

    // The control looks for drivers when it is made: a control made with
    // the scanner in place.
    control_.reset();
    ASSERT_EQ(createControl(control_), S_OK);
    Recorder sink;
    DWORD cookie = 0;
    ASSERT_EQ(advise(sink, cookie), S_OK);
    const SinkAndControlRelease release{point_, control_, cookie};

    const std::wstring scans = install_.file(L"scans");
    ASSERT_TRUE(scanAsThePageDoes(control_.get(), sink, scanner.product(), L"SetOutputFormatJPG", scans));
    const std::vector<Recorder::Call> run = sink.calls;
    const std::vector<std::wstring> files = filesIn(scans);
    std::string names;
    for (const auto& f : files) names += narrow(f) + " ";
    SCOPED_TRACE("files: " + names);
    EXPECT_EQ(sink.count(u"OnAfterScanSizesReady"), 1u);
    ASSERT_EQ(sink.count(u"OnScanEnd"), 1u) << "no single end of the run; heard:\n" << sink.all();
    EXPECT_EQ(narrow(sink.last(u"OnScanEnd")), R"({"code":0})");
    // One feeder of four sheets, front sides only (the default profile).
    ASSERT_EQ(files, (std::vector<std::wstring>{L"page_001.jpg", L"page_002.jpg", L"page_003.jpg", L"page_004.jpg"}));
    EXPECT_EQ(fileCountOf(control_.get()), static_cast<int>(files.size()));
    EXPECT_EQ(sink.count(u"OnUIButtonStatusChange"), 4 * files.size());

    // The same payloads, in the same order, as the Linux page taking these
    // steps with this scanner heard (tests/control/e2e/scan_events.js).
    const std::vector<std::string> onLinux = endAfterTheReports(linuxEventLines("scan_events"));
    ASSERT_FALSE(onLinux.empty()) << "no EVENT lines in " << DOCIVA_E2E_DIR << "/scan_events.trace";
    const RunPlaces places{install_.folder(), scanner.driver(), scanner.product()};
    std::vector<std::string> heard;
    for (const auto& call : run) heard.push_back(asOnLinux(call, places));
    heard = endAfterTheReports(std::move(heard));
    for (std::size_t i = 0; i < std::max(heard.size(), onLinux.size()); ++i) {
        SCOPED_TRACE("event " + std::to_string(i + 1));
        EXPECT_EQ(i < heard.size() ? heard[i] : "<none>", i < onLinux.size() ? onLinux[i] : "<none>");
    }

    // Editing the first page writes its file back at once.
    ScopedVariant first;
    ASSERT_EQ(call(L"GoFirstPage", {}, first.get()), S_OK);
    const std::u16string path = platform::win32::fromWide(scans + L"\\" + files.front());
    const std::string before = testing_support::readBytes(path);
    ASSERT_FALSE(before.empty());
    ScopedVariant rotated;
    ASSERT_EQ(call(L"RotateRight", {}, rotated.get()), S_OK);
    ASSERT_EQ(V_VT(rotated.get()), VT_I2);
    EXPECT_EQ(V_I2(rotated.get()), 0) << sink.all();
    const std::string after = testing_support::readBytes(path);
    EXPECT_FALSE(after.empty());
    EXPECT_NE(after, before) << "the rotated page's file was not rewritten";
    EXPECT_EQ(filesIn(scans).size(), files.size());
}

// ScanCancel through IDispatch: 1 with nothing to stop; during a long run
// 0, then exactly one OnScanEnd of code 4, the pages written before it
// whole and in the viewer.
TEST_F(DocivaOcxObject, StopsARunningScanOnScanCancel) {
    AttachedScanner scanner(L"Cancel");
    ASSERT_TRUE(scanner.installed());
    if (!scanner.attached()) GTEST_SKIP() << "SetupAPI would not create a device here";
    // A long batch, so the run is still going when the page asks.
    ASSERT_TRUE(testing_support::writeBytes(
        platform::win32::fromWide(scanner.driver() + L"\\module.ini"),
        "[system]\r\nscannerid=23611,300\r\n"
        "[device]\r\nsource=1\r\nmaxWidth=8.5\r\nmaxHeight=14\r\nmaxLength=100\r\nduplex=1\r\n"
        "overscan=1\r\nmultiPage=1\r\nwarmupMs=0\r\npagesPerBatch=60\r\ninput=\r\n"));
    control_.reset();
    ASSERT_EQ(createControl(control_), S_OK);
    Recorder sink;
    DWORD cookie = 0;
    ASSERT_EQ(advise(sink, cookie), S_OK);
    const SinkAndControlRelease release{point_, control_, cookie};

    ScopedVariant idle;
    ASSERT_EQ(call(L"ScanCancel", {}, idle.get()), S_OK);
    ASSERT_EQ(V_VT(idle.get()), VT_I2);
    EXPECT_EQ(V_I2(idle.get()), 1) << "nothing to stop";

    const std::wstring scans = install_.file(L"scans");
    int answer = -99;
    const auto cancelOnce = [&] {
        if (answer != -99 || filesIn(scans).size() < 2) return;
        ScopedVariant result;
        answer = call(L"ScanCancel", {}, result.get()) == S_OK && V_VT(result.get()) == VT_I2 ? V_I2(result.get()) : -1;
    };
    ASSERT_TRUE(scanAsThePageDoes(control_.get(), sink, scanner.product(), L"SetOutputFormatJPG", scans, cancelOnce));
    EXPECT_EQ(answer, 0);
    ASSERT_EQ(sink.count(u"OnScanEnd"), 1u) << sink.all();
    EXPECT_EQ(narrow(sink.last(u"OnScanEnd")), R"({"code":4})");
    const std::vector<std::wstring> kept = filesIn(scans);
    EXPECT_GE(kept.size(), 2u);
    EXPECT_LT(kept.size(), 60u) << "the run went on to its end";
    EXPECT_EQ(fileCountOf(control_.get()), static_cast<int>(kept.size()));
    for (const auto& f : kept) {
        SCOPED_TRACE(narrow(f));
        const std::string bytes = testing_support::readBytes(platform::win32::fromWide(scans + L"\\" + f));
        ASSERT_GT(bytes.size(), 4u);
        EXPECT_EQ(bytes.substr(0, 2), "\xFF\xD8");
        EXPECT_EQ(bytes.substr(bytes.size() - 2), "\xFF\xD9");
    }
}

// The maker's SDK has only the five contracted calls: the control loads,
// registers its scanner and scans against such an SDK, looking up anything
// more at run time.
TEST(DocivaOcxContractSdk, ScansThroughAnSdkOfOnlyTheFiveCalls) {
    ComApartment com;
    ASSERT_TRUE(SUCCEEDED(com.result()));
    Installation install(windowsPath(DOCIVA_CONTRACT_SDK));
    ASSERT_TRUE(install.copied());
    AttachedScanner scanner(L"Contract");
    ASSERT_TRUE(scanner.installed());
    if (!scanner.attached()) GTEST_SKIP() << "SetupAPI would not create a device here";
    Registration registration(install);
    ASSERT_NE(registration.dll().get(), nullptr) << "DocivaOCX.dll does not load against the SDK";
    ASSERT_EQ(registration.result(), S_OK);
    // The SDK the control runs on is the installation's own.
    HMODULE sdk = GetModuleHandleW(L"dociva.dll");
    ASSERT_NE(sdk, nullptr);
    EXPECT_EQ(GetProcAddress(sdk, "dociva_SetSettingsForm"), nullptr) << "not the SDK of the five calls";
    EXPECT_EQ(GetProcAddress(sdk, "dociva_CancelScan"), nullptr) << "not the SDK of the five calls";

    ComPtr<IDispatch> control;
    ASSERT_EQ(createControl(control), S_OK);
    Recorder sink;
    ComPtr<IConnectionPoint> point;
    DWORD cookie = 0;
    ASSERT_EQ(advise(control.get(), sink, point, cookie), S_OK);
    const SinkAndControlRelease release{point, control, cookie};

    const std::wstring scans = install.file(L"scans");
    ASSERT_TRUE(scanAsThePageDoes(control.get(), sink, scanner.product(), L"SetOutputFormatJPG", scans));
    ASSERT_EQ(sink.count(u"OnScanEnd"), 1u) << sink.all();
    EXPECT_EQ(narrow(sink.last(u"OnScanEnd")), R"({"code":0})");
    EXPECT_EQ(filesIn(scans),
              (std::vector<std::wstring>{L"page_001.jpg", L"page_002.jpg", L"page_003.jpg", L"page_004.jpg"}));
    EXPECT_EQ(fileCountOf(control.get()), 4);
}

// A page's script as Windows Script Host runs it: created by its ProgID,
// called by name, errors arriving as script exceptions. (Events cannot be
// tested this way under Wine, whose script host does not connect them.)
std::string runScript(const Installation& install, std::string_view script) {
    if (!testing_support::writeBytes(platform::win32::fromWide(install.file(L"page.js")), script)) return "<no script>";
    // A relative script path: the host reads a leading slash as an option.
    return testing_support::runWindowsProgram(L"cscript.exe //nologo page.js", install.folder(), 60000).output;
}

TEST_F(DocivaOcxObject, AnswersAPageScriptRunByTheScriptHost) {
    // The host's error texts are not ours to compare; their numbers are.
    const char* script = R"(var o = new ActiveXObject("DOCIVAOCX.DocivaOCXCtrl.1");
function error(f) { try { f(); return "none"; } catch (e) { return (e.number >>> 0).toString(16); } }
WScript.Echo("example " + o.GetFileNameExample("scan_%COUNTER3%"));
WScript.Echo("path ends " + /\\dociva\.ini$/.test(o.GetConfigPath()));
WScript.Echo("count " + typeof o.GetFileCount() + " " + o.GetFileCount());
WScript.Echo("area " + error(function () { o.SetCustomScanSize(1.5, 2, "3", 4, true); }));
WScript.Echo("callback " + error(function () { o.RegScannerSourceCallback(function () {}); }));
WScript.Echo("mismatch " + error(function () { o.SetResolution("abc"); }));
WScript.Echo("overflow " + error(function () { o.SetResolution(40000); }));
WScript.Echo("count wrong " + error(function () { o.SetResolution(); }));
WScript.Echo("unknown " + error(function () { o.NoSuchMethod(); }));
WScript.Echo("end");
)";
    EXPECT_EQ(runScript(install_, script),
              "example scan_001\n"
              "path ends true\n"
              "count number 0\n"
              "area none\n"
              "callback none\n"
              "mismatch 80020005\n"
              "overflow 8002000a\n"
              "count wrong 8002000e\n"
              "unknown 800a01b6\n"
              "end\n");
}

}  // namespace
