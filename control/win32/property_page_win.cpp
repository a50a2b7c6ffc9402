#include "control/win32/property_page_win.h"


#include <ocidl.h>
#include <olectl.h>

#include <memory>
#include <string>
#include <vector>

#include "control/win32/com_handles.h"
#include "control/win32/com_object.h"
#include "control/win32/docivaocx_ids.h"
#include "control/win32/ole_embedding_win.h"
#include "control/win32/server_win.h"
#include "platform/win32/gdi_handles.h"

// COM objects are destroyed only by their own Release, never through an
// interface pointer, so the interfaces' missing virtual destructors are
// harmless here.
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"

namespace docivaocx {

namespace {

// A string resource of the DLL, whatever its length.
std::wstring loadString(int id) {
    const wchar_t* text = nullptr;
    // With no buffer size, LoadString hands out the resource's own text.
    const int length = LoadStringW(server::module(), static_cast<UINT>(id), reinterpret_cast<LPWSTR>(&text), 0);
    return length > 0 && text ? std::wstring(text, static_cast<std::size_t>(length)) : std::wstring();
}

// Reads a dialog template resource as the dialog manager does, to learn
// its size in dialog units and its font.
class TemplateReader {
public:
    TemplateReader(const BYTE* at, DWORD size) : at_(at), end_(at + size) {}
    bool ok() const { return ok_; }
    WORD word() { return static_cast<WORD>(take(2)); }
    DWORD dword() { return take(4); }
    // A name or an ordinal: 0 (none), 0xFFFF and a number, or a text.
    void skipNameOrOrdinal() {
        const WORD first = word();
        if (first == 0xFFFF) {
            word();
        } else if (first != 0) {
            text();
        }
    }
    std::wstring text() {
        std::wstring out;
        for (WORD c = word(); ok_ && c != 0; c = word()) out += static_cast<wchar_t>(c);
        return out;
    }

private:
    DWORD take(int bytes) {
        if (!ok_ || end_ - at_ < bytes) {
            ok_ = false;
            return 0;
        }
        DWORD v = 0;
        for (int i = 0; i < bytes; ++i) v |= static_cast<DWORD>(at_[i]) << (8 * i);
        at_ += bytes;
        return v;
    }
    const BYTE* at_;
    const BYTE* end_;
    bool ok_ = true;
};

struct TemplateFacts {
    SIZE units{};  // dialog units
    bool hasFont = false;
    WORD points = 0;
    WORD weight = FW_DONTCARE;
    BYTE italic = 0;
    BYTE charset = DEFAULT_CHARSET;
    std::wstring face;
};

bool readTemplate(int id, TemplateFacts& facts) {
    const HMODULE module = server::module();
    HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(5) /* RT_DIALOG */);
    HGLOBAL loaded = found ? LoadResource(module, found) : nullptr;
    const auto* bytes = loaded ? static_cast<const BYTE*>(LockResource(loaded)) : nullptr;
    if (!bytes) return false;
    TemplateReader in(bytes, SizeofResource(module, found));
    DWORD style = 0;
    const bool extended = in.word() == 1 && in.word() == 0xFFFF;
    if (extended) {
        in.dword();  // help id
        in.dword();  // extended style
        style = in.dword();
    } else {
        in = TemplateReader(bytes, SizeofResource(module, found));
        style = in.dword();
        in.dword();  // extended style
    }
    in.word();  // number of items
    in.word();  // x
    in.word();  // y
    facts.units.cx = static_cast<SHORT>(in.word());
    facts.units.cy = static_cast<SHORT>(in.word());
    in.skipNameOrOrdinal();  // menu
    in.skipNameOrOrdinal();  // window class
    in.text();               // title
    if (style & DS_SETFONT) {
        facts.hasFont = true;
        facts.points = in.word();
        if (extended) {
            facts.weight = in.word();
            const WORD italicAndCharset = in.word();
            facts.italic = LOBYTE(italicAndCharset);
            facts.charset = HIBYTE(italicAndCharset);
        }
        facts.face = in.text();
    }
    return in.ok();
}

// The template's size in pixels: dialog units scaled by the base units of
// the template's font, the average width of the Latin letters and the
// font's height, as the dialog manager scales them.
SIZE templatePixels(int id) {
    TemplateFacts facts;
    if (!readTemplate(id, facts)) return SIZE{0, 0};
    const LONG systemUnits = GetDialogBaseUnits();
    int baseX = LOWORD(systemUnits);
    int baseY = HIWORD(systemUnits);
    if (facts.hasFont) {
        const platform::win32::ScopedWindowDc screen(nullptr);
        if (HDC dc = screen.get()) {
            const int height = -MulDiv(facts.points, GetDeviceCaps(dc, LOGPIXELSY), 72);
            const platform::win32::ScopedFont font(CreateFontW(height, 0, 0, 0, facts.weight, facts.italic, FALSE,
                                                               FALSE, DEFAULT_CHARSET, 0, 0, PROOF_QUALITY,
                                                               FF_DONTCARE, facts.face.c_str()));
            if (font) {
                const platform::win32::ScopedSelection selected(dc, font.get());
                TEXTMETRICW metrics{};
                SIZE letters{};
                static constexpr wchar_t kLetters[] = L"abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ";
                if (GetTextMetricsW(dc, &metrics) && GetTextExtentPoint32W(dc, kLetters, 52, &letters)) {
                    baseX = (letters.cx / 26 + 1) / 2;
                    baseY = metrics.tmHeight;
                }
            }
        }
    }
    return SIZE{MulDiv(facts.units.cx, baseX, 4), MulDiv(facts.units.cy, baseY, 8)};
}

wchar_t* taskMemCopy(const std::wstring& text) {
    const std::size_t bytes = (text.size() + 1) * sizeof(wchar_t);
    auto* copy = static_cast<wchar_t*>(CoTaskMemAlloc(bytes));
    if (copy) CopyMemory(copy, text.c_str(), bytes);
    return copy;
}

// The page has nothing to answer: it holds one empty static text. Not even
// WM_INITDIALOG: the frame decides where the focus goes.
INT_PTR CALLBACK pageProcedure(HWND, UINT, WPARAM, LPARAM) { return FALSE; }

class PropertyPage final : public ComObject<PropertyPage, IPropertyPage2, IID_IPropertyPage, IID_IPropertyPage2> {
public:

    HRESULT STDMETHODCALLTYPE SetPageSite(IPropertyPageSite* site) override {
        site_ = ComPtr<IPropertyPageSite>(site);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Activate(HWND parent, LPCRECT rect, BOOL) override {
        if (!rect) return E_POINTER;
        if (window_) return E_UNEXPECTED;
        window_.reset(CreateDialogParamW(server::module(), MAKEINTRESOURCEW(kIddPropPage), parent, pageProcedure, 0));
        if (!window_) return HRESULT_FROM_WIN32(GetLastError());
        MoveWindow(window_.get(), rect->left, rect->top, rect->right - rect->left, rect->bottom - rect->top, FALSE);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Deactivate() override {
        window_.reset();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetPageInfo(PROPPAGEINFO* info) override {
        if (!info) return E_POINTER;
        info->cb = sizeof(*info);
        info->pszDocString = nullptr;
        info->pszHelpFile = nullptr;
        info->dwHelpContext = 0;
        info->size = templatePixels(kIddPropPage);
        info->pszTitle = taskMemCopy(loadString(kIdsPropPageCaption));
        return info->pszTitle ? S_OK : E_OUTOFMEMORY;
    }
    // The page shows nothing of the objects; it keeps them as a page
    // should while the frame has them selected.
    HRESULT STDMETHODCALLTYPE SetObjects(ULONG count, IUnknown** objects) override {
        if (count && !objects) return E_POINTER;
        std::vector<ComPtr<IUnknown>> held;
        try {
            for (ULONG i = 0; i < count; ++i) held.emplace_back(objects[i]);
        } catch (...) {
            return E_OUTOFMEMORY;
        }
        objects_.swap(held);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Show(UINT command) override {
        if (!window_) return E_UNEXPECTED;
        ShowWindow(window_.get(), static_cast<int>(command));
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Move(LPCRECT rect) override {
        if (!rect) return E_POINTER;
        if (!window_) return E_UNEXPECTED;
        MoveWindow(window_.get(), rect->left, rect->top, rect->right - rect->left, rect->bottom - rect->top, TRUE);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE IsPageDirty() override { return S_FALSE; }
    HRESULT STDMETHODCALLTYPE Apply() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE Help(LPCOLESTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE TranslateAccelerator(MSG* message) override {
        if (!message) return E_POINTER;
        return window_ && IsDialogMessageW(window_.get(), message) ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE EditProperty(DISPID) override { return E_NOTIMPL; }

private:
    ComPtr<IPropertyPageSite> site_;
    std::vector<ComPtr<IUnknown>> objects_;
    ScopedWindow window_;  // last: destroyed first
};

}  // namespace

HRESULT createPropertyPage(REFIID riid, void** object) { return PropertyPage::create(riid, object); }

}  // namespace docivaocx
