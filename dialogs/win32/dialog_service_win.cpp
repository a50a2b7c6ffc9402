#include "dialogs/win32/dialog_service_win.h"

#include <commdlg.h>
#include <shlobj.h>

#include <algorithm>
#include <array>

#include "dialogs/dialog_ids.h"
#include "dialogs/small_dialogs.h"
#include "dialogs/win32/window_support_win.h"
#include "platform/text.h"
#include "platform/win32/module_win.h"
#include "platform/win32/wide.h"

// The resource script and the dialog classes name the same numbers.
static_assert(IDD_WATERMARK_SETTING == CWatermarkSettingDlg::kTemplateId);
static_assert(IDC_WM_TRANSPARENCY == CWatermarkSettingDlg::kTransparency);
static_assert(IDC_WM_TYPE_IMAGE == CWatermarkSettingDlg::kTypeImage);
static_assert(IDC_WM_TYPE_TEXT == CWatermarkSettingDlg::kTypeText);
static_assert(IDC_WM_POSITION_FIRST == CWatermarkSettingDlg::kFirstPosition);
static_assert(IDC_WM_POSITION_LAST == CWatermarkSettingDlg::kFirstPosition + 8);
static_assert(IDC_WM_IMAGE_PATH == CWatermarkSettingDlg::kImagePath);
static_assert(IDC_WM_BROWSE == CWatermarkSettingDlg::kBrowse);
static_assert(IDC_WM_TEXT == CWatermarkSettingDlg::kText);
static_assert(IDC_WM_TEXT_SIZE == CWatermarkSettingDlg::kTextSize);
static_assert(IDC_WM_TEXT_ANGLE == CWatermarkSettingDlg::kTextAngle);
static_assert(IDD_DOCIVA_ALERT == CAlertDlg::kTemplateId);
static_assert(IDD_INPUT_BOX == CInputBoxDialog::kTemplateId);

namespace dialogs::win32 {

using platform::win32::toWide;

namespace {

// Each dialog procedure finds its run's state through the dialog's user
// slot, stored when the dialog initialises.
template <typename Run>
Run* runOf(HWND dialog) {
    return reinterpret_cast<Run*>(GetWindowLongPtrW(dialog, DWLP_USER));
}

template <typename Run>
Run* startRun(HWND dialog, LPARAM lParam) {
    SetWindowLongPtrW(dialog, DWLP_USER, lParam);
    return reinterpret_cast<Run*>(lParam);
}

void setText(HWND window, std::u16string_view text) { SetWindowTextW(window, toWide(text).c_str()); }
void setItemText(HWND dialog, int id, std::u16string_view text) { setText(GetDlgItem(dialog, id), text); }

std::int32_t itemNumber(HWND dialog, int id) {
    BOOL translated = FALSE;
    return static_cast<std::int32_t>(static_cast<int>(GetDlgItemInt(dialog, id, &translated, TRUE)));
}

// ---- input box ----

struct InputBoxRun {
    CInputBoxDialog model;
};

INT_PTR CALLBACK inputBoxProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG: {
        const InputBoxRun* run = startRun<InputBoxRun>(dialog, lParam);
        setText(dialog, run->model.ShownCaption());
        setItemText(dialog, IDC_INPUT_PROMPT, run->model.ShownPrompt());
        SendDlgItemMessageW(dialog, IDC_INPUT_EDIT, EM_LIMITTEXT, CInputBoxDialog::kMaxText, 0);
        setItemText(dialog, IDC_INPUT_EDIT, run->model.Value());
        return TRUE;
    }
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK) {
            // A program may have put a longer text into the edit than a
            // user could type; the value keeps the edit's limit either way.
            runOf<InputBoxRun>(dialog)->model.Type(itemText(dialog, IDC_INPUT_EDIT));
            EndDialog(dialog, IDOK);
            return TRUE;
        }
        if (LOWORD(wParam) == IDCANCEL) {
            EndDialog(dialog, IDCANCEL);
            return TRUE;
        }
        break;
    default: break;
    }
    return FALSE;
}

// ---- alert ----

struct AlertRun {
    const CAlertDlg& model;
    platform::win32::ScopedFont font;
};

constexpr UINT kAlertTextFormat = DT_WORDBREAK | DT_NOPREFIX | DT_EXPANDTABS;

void layOutAlert(HWND dialog, AlertRun& run) {
    const std::u16string& message = run.model.Message();
    // The family is often missing; the font mapper then picks the nearest
    // face, which is what gets measured and drawn.
    run.font.reset(CreateFontW(-CAlertDlg::kFontPixels, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                               OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, ANTIALIASED_QUALITY, DEFAULT_PITCH | FF_SWISS,
                               platform::win32::wide(CAlertDlg::kFontFamily)));
    RECT box{0, 0, CAlertDlg::kLayoutWidth, CAlertDlg::kLayoutHeight};
    {
        platform::win32::ScopedWindowDc dc(dialog);
        platform::win32::ScopedSelection font(dc.get(), run.font.get());
        DrawTextW(dc.get(), platform::win32::wide(message.c_str()), static_cast<int>(message.size()), &box,
                  kAlertTextFormat | DT_CALCRECT);
    }
    // A word wider than the box is measured whole; the layout box still
    // bounds the window, as it bounds the drawing.
    const int measuredWidth = std::min<int>(box.right - box.left, CAlertDlg::kLayoutWidth);
    const int measuredHeight = std::min<int>(box.bottom - box.top, CAlertDlg::kLayoutHeight);
    HWND button = GetDlgItem(dialog, IDOK);
    RECT buttonRect{};
    GetWindowRect(button, &buttonRect);
    const int buttonWidth = buttonRect.right - buttonRect.left;
    const int buttonHeight = buttonRect.bottom - buttonRect.top;
    const AlertLayout layout = run.model.Layout(measuredWidth, measuredHeight, GetSystemMetrics(SM_CXMAXTRACK),
                                                GetSystemMetrics(SM_CYMAXTRACK), buttonWidth, buttonHeight);
    if (!layout.resized) return;
    MoveWindow(dialog, layout.windowX, layout.windowY, layout.windowWidth, layout.windowHeight, FALSE);
    MoveWindow(button, layout.buttonX, layout.buttonY, buttonWidth, buttonHeight, FALSE);
}

void paintAlert(HWND dialog, const AlertRun& run) {
    PAINTSTRUCT paint{};
    HDC dc = BeginPaint(dialog, &paint);
    if (dc) {
        platform::win32::ScopedSelection font(dc, run.font.get());
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, RGB(0, 0, 0));  // the alert's text colour, opaque black
        RECT box{10, 10, 10 + CAlertDlg::kLayoutWidth, 10 + CAlertDlg::kLayoutHeight};
        const std::u16string& message = run.model.Message();
        DrawTextW(dc, platform::win32::wide(message.c_str()), static_cast<int>(message.size()), &box, kAlertTextFormat);
    }
    EndPaint(dialog, &paint);
}

INT_PTR CALLBACK alertProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG: {
        AlertRun* run = startRun<AlertRun>(dialog, lParam);
        if (!run->model.Caption().empty()) setText(dialog, run->model.Caption());
        if (!run->model.Message().empty()) layOutAlert(dialog, *run);
        return TRUE;
    }
    case WM_PAINT: {
        const AlertRun* run = runOf<AlertRun>(dialog);
        if (!run || run->model.Message().empty()) break;
        paintAlert(dialog, *run);
        return TRUE;
    }
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
            EndDialog(dialog, LOWORD(wParam));
            return TRUE;
        }
        break;
    default: break;
    }
    return FALSE;
}

// ---- watermark settings ----

struct WatermarkRun {
    CWatermarkSettingDlg model;
};

constexpr std::array<int, 6> kWatermarkValueControls{IDC_WM_TRANSPARENCY, IDC_WM_IMAGE_PATH, IDC_WM_BROWSE,
                                                     IDC_WM_TEXT,         IDC_WM_TEXT_SIZE,  IDC_WM_TEXT_ANGLE};

void showEnabling(HWND dialog, const CWatermarkSettingDlg& model) {
    for (int id : kWatermarkValueControls) EnableWindow(GetDlgItem(dialog, id), model.IsEnabled(id) ? TRUE : FALSE);
}

void writeWatermarkControls(HWND dialog, const CWatermarkSettingDlg& model) {
    // The model's values as they stand, in record form (type = button + 1).
    const WatermarkSettings shown = model.OnOK();
    if (shown.type == 1 || shown.type == 2) {
        CheckRadioButton(dialog, IDC_WM_TYPE_IMAGE, IDC_WM_TYPE_TEXT, IDC_WM_TYPE_IMAGE + shown.type - 1);
    }
    if (shown.position >= 0 && shown.position <= IDC_WM_POSITION_LAST - IDC_WM_POSITION_FIRST) {
        CheckRadioButton(dialog, IDC_WM_POSITION_FIRST, IDC_WM_POSITION_LAST, IDC_WM_POSITION_FIRST + shown.position);
    }
    SetDlgItemInt(dialog, IDC_WM_TRANSPARENCY, static_cast<UINT>(shown.transparency), TRUE);
    setItemText(dialog, IDC_WM_IMAGE_PATH, text::view(shown.image));
    setItemText(dialog, IDC_WM_TEXT, text::view(shown.text));
    SetDlgItemInt(dialog, IDC_WM_TEXT_SIZE, static_cast<UINT>(shown.textSize), TRUE);
    SetDlgItemInt(dialog, IDC_WM_TEXT_ANGLE, static_cast<UINT>(shown.textAngle), TRUE);
}

void readWatermarkControls(HWND dialog, CWatermarkSettingDlg& model) {
    int position = -1;
    for (int id = IDC_WM_POSITION_FIRST; id <= IDC_WM_POSITION_LAST; ++id) {
        if (IsDlgButtonChecked(dialog, id) == BST_CHECKED) position = id - IDC_WM_POSITION_FIRST;
    }
    model.SetPosition(position);
    model.SetTransparency(itemNumber(dialog, IDC_WM_TRANSPARENCY));
    model.SetImage(itemText(dialog, IDC_WM_IMAGE_PATH));
    model.SetText(itemText(dialog, IDC_WM_TEXT));
    model.SetTextSize(itemNumber(dialog, IDC_WM_TEXT_SIZE));
    model.SetTextAngle(itemNumber(dialog, IDC_WM_TEXT_ANGLE));
}

INT_PTR CALLBACK watermarkProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG: {
        WatermarkRun* run = startRun<WatermarkRun>(dialog, lParam);
        writeWatermarkControls(dialog, run->model);
        run->model.OnInitDialog();
        showEnabling(dialog, run->model);
        return TRUE;
    }
    case WM_COMMAND: {
        WatermarkRun* run = runOf<WatermarkRun>(dialog);
        if (!run) break;
        const int id = LOWORD(wParam);
        if ((id == IDC_WM_TYPE_IMAGE || id == IDC_WM_TYPE_TEXT) && HIWORD(wParam) == BN_CLICKED) {
            readWatermarkControls(dialog, run->model);
            if (id == IDC_WM_TYPE_IMAGE) {
                run->model.ClickImage();
            } else {
                run->model.ClickText();
            }
            showEnabling(dialog, run->model);
            return TRUE;
        }
        if (id == IDOK) {
            readWatermarkControls(dialog, run->model);
            EndDialog(dialog, IDOK);
            return TRUE;
        }
        if (id == IDCANCEL) {
            EndDialog(dialog, IDCANCEL);
            return TRUE;
        }
        // The browse button ("...") has no action of its own.
        break;
    }
    default: break;
    }
    return FALSE;
}

// ---- folder browser ----

struct FolderRun {
    std::wstring initialFolder;
    UINT flags = 0;
    HWND browser = nullptr;  // only while the browser runs
};

int CALLBACK folderCallback(HWND browser, UINT message, LPARAM lParam, LPARAM data) {
    auto* run = reinterpret_cast<FolderRun*>(data);
    run->browser = browser;
    switch (message) {
    case BFFM_INITIALIZED:
        if (!run->initialFolder.empty()) {
            SendMessageW(browser, BFFM_SETSELECTIONW, TRUE, reinterpret_cast<LPARAM>(run->initialFolder.c_str()));
        }
        break;
    case BFFM_SELCHANGED:
        if (run->flags & BIF_STATUSTEXT) {
            wchar_t path[MAX_PATH] = {};
            if (SHGetPathFromIDListW(reinterpret_cast<PCIDLIST_ABSOLUTE>(lParam), path)) {
                SendMessageW(browser, BFFM_SETSTATUSTEXTW, 0, reinterpret_cast<LPARAM>(path));
            }
        }
        break;
    case BFFM_VALIDATEFAILEDW:
        // A typed folder that does not exist: tell the user, stay open.
        MessageBeep(MB_ICONHAND);
        return 1;
    default: break;
    }
    return 0;
}

}  // namespace

HINSTANCE moduleOfThisCode() { return platform::win32::moduleHandleOf(); }

HWND topLevelOwner(HWND owner) {
    if (!owner || !IsWindow(owner)) return nullptr;
    HWND root = GetAncestor(owner, GA_ROOT);
    // A message-only window's parent is not the desktop; it cannot own a
    // visible window.
    if (!root || GetAncestor(root, GA_PARENT) != GetDesktopWindow()) return nullptr;
    return root;
}

std::u16string windowText(HWND window) {
    const int length = GetWindowTextLengthW(window);
    if (length <= 0) return {};
    std::wstring buffer(static_cast<std::size_t>(length) + 1, L'\0');
    const int copied = GetWindowTextW(window, buffer.data(), length + 1);
    buffer.resize(static_cast<std::size_t>(std::max(copied, 0)));
    return platform::win32::fromWide(buffer);
}

std::u16string itemText(HWND dialog, int id) { return windowText(GetDlgItem(dialog, id)); }

Win32Dialogs::Win32Dialogs(HWND owner, HINSTANCE resources)
    : owner_(owner), resources_(resources ? resources : moduleOfThisCode()) {}

HWND Win32Dialogs::ownerFor(void* callerOwner) const {
    if (!callerOwner) return nullptr;
    HWND owner = topLevelOwner(static_cast<HWND>(callerOwner));
    return owner ? owner : topLevelOwner(owner_);
}

std::optional<std::u16string> Win32Dialogs::inputBox(std::u16string_view caption, std::u16string_view prompt,
                                                     std::u16string_view initial) {
    InputBoxRun run{CInputBoxDialog(caption, prompt, initial)};
    const INT_PTR result = DialogBoxParamW(resources_, MAKEINTRESOURCEW(IDD_INPUT_BOX), topLevelOwner(owner_),
                                           inputBoxProc, reinterpret_cast<LPARAM>(&run));
    if (result != IDOK) return std::nullopt;
    return run.model.Value();
}

int Win32Dialogs::alert(std::u16string_view caption, std::u16string_view message) {
    CAlertDlg model;
    model.SetCaption(caption);
    model.SetMessage(message);
    AlertRun run{model, platform::win32::ScopedFont()};
    // The alert belongs to no window, whoever asks for it.
    return static_cast<int>(DialogBoxParamW(resources_, MAKEINTRESOURCEW(IDD_DOCIVA_ALERT), nullptr, alertProc,
                                            reinterpret_cast<LPARAM>(&run)));
}

bool Win32Dialogs::editWatermark(platform::WatermarkSettings& record) {
    WatermarkRun run{CWatermarkSettingDlg(&record)};
    const INT_PTR result = DialogBoxParamW(resources_, MAKEINTRESOURCEW(IDD_WATERMARK_SETTING),
                                           topLevelOwner(owner_), watermarkProc, reinterpret_cast<LPARAM>(&run));
    if (result != IDOK) return false;
    record = run.model.OnOK();
    return true;
}

platform::FolderResult Win32Dialogs::chooseFolder(std::u16string_view caption, std::u16string_view initialFolder,
                                                  std::uint32_t flags, void* owner) {
    ScopedApartment apartment;
    FolderRun run;
    run.initialFolder = toWide(text::cut(initialFolder, 259));
    run.flags = flags;
    const std::wstring title = toWide(caption);
    wchar_t displayName[MAX_PATH] = {};
    BROWSEINFOW info{};
    info.hwndOwner = ownerFor(owner);
    info.pszDisplayName = displayName;
    info.lpszTitle = title.c_str();
    info.ulFlags = flags;
    info.lpfn = folderCallback;
    info.lParam = reinterpret_cast<LPARAM>(&run);
    ScopedItemList chosen(SHBrowseForFolderW(&info));
    run.browser = nullptr;
    if (!chosen) return {platform::FolderChoice::Cancelled, {}};
    wchar_t path[MAX_PATH] = {};
    if (!SHGetPathFromIDListW(chosen.get(), path)) return {platform::FolderChoice::NoFileSystemPath, {}};
    return {platform::FolderChoice::Chosen, text::cut(platform::win32::fromWide(path), 259)};
}

std::optional<std::u16string> Win32Dialogs::openFile(std::u16string_view filter, void* owner) {
    const std::u16string filterList = OpenFileFilter(filter);
    wchar_t path[MAX_PATH] = {};
    OPENFILENAMEW info{};
    info.lStructSize = sizeof(info);
    info.hwndOwner = ownerFor(owner);
    info.lpstrFilter = filterList.empty() ? nullptr : platform::win32::wide(filterList.c_str());
    info.nFilterIndex = 1;
    info.lpstrFile = path;
    info.nMaxFile = MAX_PATH;
    // The component makes its own folder current before it loads the image
    // toolkit; browsing must not move it.
    info.Flags = OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_NOCHANGEDIR;
    if (!GetOpenFileNameW(&info)) return std::nullopt;
    return platform::win32::fromWide(path);
}

}  // namespace dialogs::win32

std::unique_ptr<platform::DialogService> platform::makeDialogWindows() {
    return std::make_unique<dialogs::win32::Win32Dialogs>();
}
