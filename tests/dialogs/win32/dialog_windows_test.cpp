// The dialog windows on Windows (under Wine): each opened for real, driven
// by a watcher thread as a user would drive it, and its result checked
// against the dialog's rules.
#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "dialog_watcher.h"
#include "dialogs/dialog_ids.h"
#include "dialogs/win32/dialog_service_win.h"
#include "platform/text.h"
#include "platform/win32/wide.h"
#include "support/test_support.h"

using namespace dialog_testing;
using dialogs::win32::Win32Dialogs;

namespace {

#define SKIP_WITHOUT_DISPLAY()                                                                                  \
    if (!displayAvailable()) GTEST_SKIP() << "no display: dialog windows cannot be made here (Wine without an X " \
                                             "server; run under Xvfb)"

std::u16string u16(const std::wstring& s) { return platform::win32::fromWide(s); }
std::wstring wide(std::u16string_view s) { return platform::win32::toWide(s); }

// ---------------------------------------------------------------------------
// The templates: every control where its layout puts it.

INT_PTR CALLBACK plainProc(HWND, UINT message, WPARAM, LPARAM) { return message == WM_INITDIALOG; }

TEST(DialogTemplates, ControlsSitWhereTheLayoutPutsThem) {
    SKIP_WITHOUT_DISPLAY();
    struct Control {
        int id;
        int x, y, width, height;  // dialog units; width -1: not checked
        const wchar_t* className;
        const wchar_t* text;  // null: not checked
        DWORD style;          // bits that must be set
    };
    struct Row {
        int templateId;
        const wchar_t* caption;
        int width, height;
        DWORD style, noStyle;
        std::vector<Control> controls;
    } rows[] = {
        {IDD_DOCIVA_PROGRESS, L"Dociva", 216, 62, WS_CAPTION | DS_MODALFRAME | WS_POPUP, WS_SYSMENU | WS_VISIBLE,
         {{IDC_PROGRESS_TEXT, 7, 7, 202, 19, L"Static", L"", 0},
          {IDC_PROGRESS_BAR, 7, 32, 202, 15, L"msctls_progress32", nullptr, PBS_SMOOTH | WS_BORDER}}},
        {IDD_DOCIVA_ALERT, L"Dociva", 243, 106, WS_CAPTION | WS_POPUP, WS_VISIBLE,
         {{IDOK, 186, 83, 50, 16, L"Button", L"OK", BS_DEFPUSHBUTTON}}},
        {IDD_INPUT_BOX, L"Dialog", 244, 73, WS_CAPTION | WS_POPUP, WS_VISIBLE,
         {{IDC_INPUT_PROMPT, 7, 7, 230, 13, L"Static", L"Title", 0},
          {IDC_INPUT_EDIT, 7, 28, 230, 14, L"Edit", L"", 0},
          {IDOK, 125, 52, 50, 14, L"Button", L"OK", BS_DEFPUSHBUTTON},
          {IDCANCEL, 187, 52, 50, 14, L"Button", L"Cancel", 0}}},
        {IDD_WATERMARK_SETTING, L"Wartermark Setting", 235, 175, WS_CAPTION | WS_POPUP, WS_VISIBLE,
         {{IDC_WM_TYPE_IMAGE, 69, 9, 36, 10, L"Button", L"Image", WS_GROUP | BS_AUTORADIOBUTTON},
          {IDC_WM_TYPE_TEXT, 111, 9, 31, 10, L"Button", L"Text", BS_AUTORADIOBUTTON},
          {234, 42, 23, -1, 0, L"Button", L"Left Top", WS_GROUP | BS_AUTORADIOBUTTON},
          {235, 99, 23, -1, 0, L"Button", L"Center Top", BS_AUTORADIOBUTTON},
          {236, 165, 23, -1, 0, L"Button", L"Right Top", BS_AUTORADIOBUTTON},
          {237, 42, 40, -1, 0, L"Button", L"Left Middle", BS_AUTORADIOBUTTON},
          {238, 99, 40, -1, 0, L"Button", L"Center", BS_AUTORADIOBUTTON},
          {239, 165, 40, -1, 0, L"Button", L"Right Middle", BS_AUTORADIOBUTTON},
          {240, 42, 57, -1, 0, L"Button", L"Left Bottom", BS_AUTORADIOBUTTON},
          {241, 99, 57, -1, 0, L"Button", L"Center Bottom", BS_AUTORADIOBUTTON},
          {242, 165, 57, -1, 0, L"Button", L"Right Bottom", BS_AUTORADIOBUTTON},
          {IDC_WM_TRANSPARENCY, 57, 72, 30, 14, L"Edit", nullptr, ES_NUMBER},
          {IDC_WM_IMAGE_PATH, 34, 92, 138, 14, L"Edit", nullptr, 0},
          {IDC_WM_BROWSE, 180, 92, 24, 14, L"Button", L"...", 0},
          {IDC_WM_TEXT, 34, 113, 93, 14, L"Edit", nullptr, 0},
          {IDC_WM_TEXT_SIZE, 174, 113, 40, 14, L"Edit", nullptr, ES_NUMBER},
          {IDC_WM_TEXT_ANGLE, 49, 133, 40, 14, L"Edit", nullptr, ES_NUMBER},
          {IDOK, 112, 154, 50, 14, L"Button", L"OK", BS_DEFPUSHBUTTON},
          {IDCANCEL, 178, 154, 50, 14, L"Button", L"Cancel", 0}}},
    };
    INITCOMMONCONTROLSEX classes{sizeof(classes), ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&classes);
    for (const Row& row : rows) {
        SCOPED_TRACE("template " + std::to_string(row.templateId));
        HWND dialog = CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(row.templateId), nullptr,
                                         plainProc, 0);
        ASSERT_NE(dialog, nullptr) << "error " << GetLastError();
        EXPECT_EQ(narrow(windowText(dialog)), narrow(row.caption));
        const auto style = static_cast<DWORD>(GetWindowLongPtrW(dialog, GWL_STYLE));
        EXPECT_EQ(style & row.style, row.style);
        EXPECT_EQ(style & row.noStyle, 0u);
        RECT client{};
        GetClientRect(dialog, &client);
        const RECT size = dialogUnits(dialog, 0, 0, row.width, row.height);
        EXPECT_EQ(client.right, size.right);
        EXPECT_EQ(client.bottom, size.bottom);
        for (const Control& control : row.controls) {
            SCOPED_TRACE("control " + std::to_string(control.id));
            HWND item = GetDlgItem(dialog, control.id);
            ASSERT_NE(item, nullptr);
            const RECT expected = dialogUnits(dialog, control.x, control.y, control.width < 0 ? 0 : control.width,
                                              control.height);
            const RECT actual = itemRect(dialog, control.id);
            EXPECT_EQ(actual.left, expected.left);
            EXPECT_EQ(actual.top, expected.top);
            if (control.width >= 0) {
                EXPECT_EQ(actual.right, expected.right);
                EXPECT_EQ(actual.bottom, expected.bottom);
            }
            wchar_t className[64] = {};
            GetClassNameW(item, className, 64);
            EXPECT_EQ(lstrcmpiW(className, control.className), 0) << narrow(className);
            if (control.text) {
                EXPECT_EQ(narrow(windowText(item)), narrow(control.text));
            }
            const auto itemStyle = static_cast<DWORD>(GetWindowLongPtrW(item, GWL_STYLE));
            if (control.style & 0xFFFFu) {
                // Button kinds are a number in the low bits, not flags.
                EXPECT_EQ(itemStyle & 0x0Fu, control.style & 0x0Fu);
            }
            // A plain border is not checked: the dialog's 3-D look and the
            // control itself turn it into whatever edge they draw.
            const DWORD flags = control.style & 0xFFFF0000u & ~static_cast<DWORD>(WS_BORDER);
            EXPECT_EQ(itemStyle & flags, flags);
            if (control.style & ES_NUMBER) {
                EXPECT_TRUE(itemStyle & ES_NUMBER);
            }
        }
        DestroyWindow(dialog);
    }
}

// ---------------------------------------------------------------------------
// Input box

TEST(InputBoxWindow, GivesTheEnteredLineByItsRules) {
    SKIP_WITHOUT_DISPLAY();
    enum class Entry { None, Set, Type };
    struct Row {
        const char* what;
        std::u16string caption, prompt, initial;
        Entry entry;
        std::wstring entered;
        bool ok;
        std::wstring shownCaption, shownPrompt;
        std::optional<std::wstring> result;
    } rows[] = {
        {"profile name", u"Profile", u"Please enter a Profile name:", u"", Entry::Type, L"Invoices", true, L"Profile",
         L"Please enter a Profile name:", L"Invoices"},
        {"defaults for empty texts, initial value kept", u"", u"", u"start", Entry::None, L"", true, L"Input Box",
         L"Please input the value:", L"start"},
        {"typing stops at 255 characters", u"Profile", u"p", u"", Entry::Type, std::wstring(300, L'x'), true,
         L"Profile", L"p", std::wstring(255, L'x')},
        {"a longer text put in by a program is cut to 255", u"Profile", u"p", u"", Entry::Set,
         std::wstring(300, L'y'), true, L"Profile", L"p", std::wstring(255, L'y')},
        {"text beyond Latin-1", u"Profile", u"p", u"", Entry::Set, L"Pr\u00fcfung \u2713", true, L"Profile", L"p",
         L"Pr\u00fcfung \u2713"},
        {"cancelled", u"Profile", u"p", u"abc", Entry::Type, L"def", false, L"Profile", L"p", std::nullopt},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        std::wstring caption, prompt, initial, edited;
        LRESULT limit = 0;
        std::optional<std::u16string> result;
        {
            DialogWatcher watcher(row.shownCaption, [&](HWND dialog) {
                caption = windowText(dialog);
                prompt = itemText(dialog, IDC_INPUT_PROMPT);
                initial = itemText(dialog, IDC_INPUT_EDIT);
                limit = SendDlgItemMessageW(dialog, IDC_INPUT_EDIT, EM_GETLIMITTEXT, 0, 0);
                if (row.entry == Entry::Set) setItem(dialog, IDC_INPUT_EDIT, row.entered);
                if (row.entry == Entry::Type) typeInto(dialog, IDC_INPUT_EDIT, row.entered);
                edited = itemText(dialog, IDC_INPUT_EDIT);
                press(dialog, row.ok ? IDOK : IDCANCEL);
            });
            Win32Dialogs dialogs;
            result = dialogs.inputBox(row.caption, row.prompt, row.initial);
            EXPECT_TRUE(watcher.acted());
        }
        EXPECT_EQ(narrow(caption), narrow(row.shownCaption));
        EXPECT_EQ(narrow(prompt), narrow(row.shownPrompt));
        EXPECT_EQ(u16(initial), row.initial);
        EXPECT_EQ(limit, 255);
        if (row.entry == Entry::Type) {
            EXPECT_EQ(edited.size(), std::min<std::size_t>(row.entered.size(), 255)) << "the edit's own limit";
        }
        ASSERT_EQ(result.has_value(), row.result.has_value());
        if (result) {
            EXPECT_EQ(narrow(wide(*result)), narrow(*row.result));
        }
    }
}

// ---------------------------------------------------------------------------
// Alert

struct AlertSeen {
    std::wstring caption;
    RECT window{}, client{}, button{}, resourceSize{}, templateButton{};
};

std::pair<int, AlertSeen> runAlert(std::u16string_view caption, std::u16string_view message, int pressed) {
    AlertSeen seen;
    int result = 0;
    const std::wstring shown = caption.empty() ? L"Dociva" : wide(caption);
    {
        DialogWatcher watcher(shown, [&](HWND dialog) {
            seen.caption = windowText(dialog);
            GetWindowRect(dialog, &seen.window);
            GetClientRect(dialog, &seen.client);
            seen.button = itemRect(dialog, IDOK);
            seen.resourceSize = dialogUnits(dialog, 0, 0, 243, 106);
            seen.templateButton = dialogUnits(dialog, 0, 0, 50, 16);
            press(dialog, pressed);
        });
        Win32Dialogs dialogs;
        result = dialogs.alert(caption, message);
        EXPECT_TRUE(watcher.acted());
    }
    return {result, seen};
}

TEST(AlertWindow, SizesItselfToItsMessageAndCentresOnTheLargestWindow) {
    SKIP_WITHOUT_DISPLAY();
    std::u16string longMessage;
    for (int i = 0; i < 120; ++i) longMessage += u"scanner ";
    struct Row {
        const char* what;
        std::u16string caption, message;
        int lines;             // lines of text the message takes, 0: unknown (wrapped)
        bool minimumWidth;     // exactly 300 pixels wide
        bool resourceSize;     // left at the template's size
    } rows[] = {
        {"one word", u"Notice", u"Done", 1, true, false},
        {"four lines", u"Notice", u"one\ntwo\nthree\nfour", 4, true, false},
        {"long message wraps inside the layout box", u"Scanner", longMessage, 0, false, false},
        {"empty caption keeps the template's", u"", u"Done", 1, true, false},
        {"empty message: template size", u"Only a caption", u"", 0, false, true},
    };
    const int maxWidth = GetSystemMetrics(SM_CXMAXTRACK);
    const int maxHeight = GetSystemMetrics(SM_CYMAXTRACK);
    int lineHeight = 0;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        const auto [result, seen] = runAlert(row.caption, row.message, IDOK);
        EXPECT_EQ(result, IDOK);
        EXPECT_EQ(narrow(seen.caption), row.caption.empty() ? "Dociva" : narrow(wide(row.caption)));
        const int width = seen.window.right - seen.window.left;
        const int height = seen.window.bottom - seen.window.top;
        const int buttonWidth = seen.button.right - seen.button.left;
        const int buttonHeight = seen.button.bottom - seen.button.top;
        if (row.resourceSize) {
            EXPECT_EQ(seen.client.right, seen.resourceSize.right);
            EXPECT_EQ(seen.client.bottom, seen.resourceSize.bottom);
            continue;
        }
        if (row.minimumWidth) {
            EXPECT_EQ(width, 300);
        } else {
            EXPECT_GT(width, 600) << "a wrapped message fills most of the 650-pixel box";
            EXPECT_LE(width, 670);
        }
        EXPECT_GE(height, 100);
        const int textHeight = height - 90;
        if (row.lines == 1) {
            lineHeight = textHeight;
            EXPECT_GE(lineHeight, 10);
            EXPECT_LE(lineHeight, 30);
        } else if (row.lines > 1 && lineHeight > 0) {
            EXPECT_NEAR(textHeight, row.lines * lineHeight, row.lines);
        } else if (row.lines == 0) {
            EXPECT_GT(textHeight, 3 * lineHeight) << "several wrapped lines";
        }
        EXPECT_EQ(seen.window.left, (maxWidth - width) / 2);
        EXPECT_EQ(seen.window.top, (maxHeight - height) / 2);
        EXPECT_EQ(seen.button.left, (width - buttonWidth) / 2);
        EXPECT_EQ(seen.button.top, height - buttonHeight - 40);
        EXPECT_EQ(buttonWidth, seen.templateButton.right) << "the button keeps its size";
        EXPECT_EQ(buttonHeight, seen.templateButton.bottom) << "the button keeps its size";
    }
    // Escape closes it too, and the dialog's result says so.
    EXPECT_EQ(runAlert(u"Notice", u"Done", IDCANCEL).first, IDCANCEL);
}

// ---------------------------------------------------------------------------
// Watermark settings

TEST(WatermarkWindow, OpensOnTheRecordAndReadsItBack) {
    SKIP_WITHOUT_DISPLAY();
    enum class Click { None, Image, Text };
    struct Row {
        const char* what;
        std::int32_t type;
        Click click;
        int checkPosition;               // -1: leave
        const wchar_t* transparency;     // null: leave
        const wchar_t* text;             // null: leave
        bool ok;
        // expected
        bool imageChecked, textChecked;
        bool imageControls, textControls;  // enabled after the click
        std::int32_t type2, position, transparency2, textSize;
        const char* text2;
    } rows[] = {
        {"text record, OK unchanged", 2, Click::None, -1, nullptr, nullptr, true, false, true, false, true, 2, 8, 60,
         40, "DRAFT"},
        {"no type: nothing enabled, OK gives no type", 0, Click::None, -1, nullptr, nullptr, true, false, false, false,
         false, 0, 8, 60, 40, "DRAFT"},
        {"image clicked, any transparency taken", 0, Click::Image, -1, L"300", nullptr, true, false, false, true, false,
         1, 8, 300, 40, "DRAFT"},
        {"image record switched to text at another place", 1, Click::Text, 0, nullptr, L"COPY", true, true, false,
         false, true, 2, 0, 60, 40, "COPY"},
        {"cancelled", 1, Click::Text, 3, L"5", L"other", false, true, false, false, true, 1, 8, 60, 40, "DRAFT"},
    };
    constexpr int kImageControls[] = {IDC_WM_TRANSPARENCY, IDC_WM_IMAGE_PATH, IDC_WM_BROWSE};
    constexpr int kTextControls[] = {IDC_WM_TEXT, IDC_WM_TEXT_SIZE, IDC_WM_TEXT_ANGLE};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        platform::WatermarkSettings record;
        record.type = row.type;
        record.position = 8;
        record.transparency = 60;
        text::copyBounded(record.image, 260, u"C:\\marks\\logo.png");
        text::copyBounded(record.text, 260, u"DRAFT");
        record.textSize = 40;
        record.textAngle = 45;
        bool imageChecked = false, textChecked = false, positionChecked = false;
        bool openedImage[3] = {}, openedText[3] = {}, clickedImage[3] = {}, clickedText[3] = {};
        std::wstring transparencyShown, imageShown;
        bool confirmed = false;
        {
            DialogWatcher watcher(L"Wartermark Setting", [&](HWND dialog) {
                imageChecked = IsDlgButtonChecked(dialog, IDC_WM_TYPE_IMAGE) == BST_CHECKED;
                textChecked = IsDlgButtonChecked(dialog, IDC_WM_TYPE_TEXT) == BST_CHECKED;
                positionChecked = IsDlgButtonChecked(dialog, IDC_WM_POSITION_FIRST + 8) == BST_CHECKED;
                transparencyShown = itemText(dialog, IDC_WM_TRANSPARENCY);
                imageShown = itemText(dialog, IDC_WM_IMAGE_PATH);
                for (int i = 0; i < 3; ++i) {
                    openedImage[i] = IsWindowEnabled(GetDlgItem(dialog, kImageControls[i]));
                    openedText[i] = IsWindowEnabled(GetDlgItem(dialog, kTextControls[i]));
                }
                if (row.click == Click::Image) click(dialog, IDC_WM_TYPE_IMAGE);
                if (row.click == Click::Text) click(dialog, IDC_WM_TYPE_TEXT);
                for (int i = 0; i < 3; ++i) {
                    clickedImage[i] = IsWindowEnabled(GetDlgItem(dialog, kImageControls[i]));
                    clickedText[i] = IsWindowEnabled(GetDlgItem(dialog, kTextControls[i]));
                }
                if (row.checkPosition >= 0) {
                    CheckRadioButton(dialog, IDC_WM_POSITION_FIRST, IDC_WM_POSITION_LAST,
                                     IDC_WM_POSITION_FIRST + row.checkPosition);
                }
                if (row.transparency) setItem(dialog, IDC_WM_TRANSPARENCY, row.transparency);
                if (row.text) setItem(dialog, IDC_WM_TEXT, row.text);
                press(dialog, row.ok ? IDOK : IDCANCEL);
            });
            Win32Dialogs dialogs;
            confirmed = dialogs.editWatermark(record);
            EXPECT_TRUE(watcher.acted());
        }
        EXPECT_EQ(imageChecked, row.imageChecked);
        EXPECT_EQ(textChecked, row.textChecked);
        EXPECT_TRUE(positionChecked) << "position 8 is Right Bottom";
        EXPECT_EQ(narrow(transparencyShown), "60");
        EXPECT_EQ(narrow(imageShown), "C:\\marks\\logo.png");
        for (int i = 0; i < 3; ++i) {
            // On opening the rule follows the record's type.
            EXPECT_EQ(openedImage[i], row.type == 1) << "image control " << kImageControls[i];
            EXPECT_EQ(openedText[i], row.type == 2) << "text control " << kTextControls[i];
            EXPECT_EQ(clickedImage[i], row.imageControls) << "after the click, image control " << kImageControls[i];
            EXPECT_EQ(clickedText[i], row.textControls) << "after the click, text control " << kTextControls[i];
        }
        EXPECT_EQ(confirmed, row.ok);
        EXPECT_EQ(record.type, row.type2);
        EXPECT_EQ(record.position, row.position);
        EXPECT_EQ(record.transparency, row.transparency2);
        EXPECT_EQ(record.textSize, row.textSize);
        EXPECT_EQ(record.textAngle, 45);
        EXPECT_EQ(testing_support::utf8(text::view(record.text)), row.text2);
        EXPECT_EQ(testing_support::utf8(text::view(record.image)), "C:\\marks\\logo.png");
    }
}

// ---------------------------------------------------------------------------
// Folder browser

std::wstring longPath(const std::wstring& path) {
    wchar_t buffer[MAX_PATH] = {};
    const DWORD n = GetLongPathNameW(path.c_str(), buffer, MAX_PATH);
    std::wstring result = n > 0 && n < MAX_PATH ? std::wstring(buffer, n) : path;
    while (result.size() > 3 && (result.back() == L'\\' || result.back() == L'/')) result.pop_back();
    return result;
}

bool samePath(const std::wstring& a, const std::wstring& b) {
    return lstrcmpiW(longPath(a).c_str(), longPath(b).c_str()) == 0;
}

TEST(FolderWindow, ChoosesStartingFromTheInitialFolder) {
    SKIP_WITHOUT_DISPLAY();
    // A folder that has long existed: a browser refreshes its tree when
    // a folder on the way changes, and under Wine the notice of a folder
    // made just before (a fresh temporary one) can arrive while the initial
    // folder is being selected, leaving the selection on an ancestor.
    wchar_t system[MAX_PATH] = {};
    ASSERT_GT(GetSystemDirectoryW(system, MAX_PATH), 0u);
    const std::wstring initial = system;
    enum class Act { PressOk, Cancel, SelectVirtual };
    struct Row {
        const char* what;
        std::uint32_t flags;
        bool withInitial;
        Act act;
        platform::FolderChoice choice;
        bool statusShowsSelection;
    } rows[] = {
        {"SelectFolder's flags: the initial folder is chosen", BIF_RETURNONLYFSDIRS | BIF_EDITBOX | BIF_NEWDIALOGSTYLE,
         true, Act::PressOk, platform::FolderChoice::Chosen, false},
        {"status line shows the selected folder", BIF_RETURNONLYFSDIRS | BIF_STATUSTEXT, true, Act::PressOk,
         platform::FolderChoice::Chosen, true},
        {"cancelled", BIF_RETURNONLYFSDIRS | BIF_EDITBOX | BIF_NEWDIALOGSTYLE, true, Act::Cancel,
         platform::FolderChoice::Cancelled, false},
        {"a virtual folder has no path", 0, false, Act::SelectVirtual, platform::FolderChoice::NoFileSystemPath,
         false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        bool titleShown = false, statusShown = false;
        platform::FolderResult result;
        {
            DialogWatcher watcher(L"", [&](HWND dialog) {
                // The browser fills its tree and walks down to the initial
                // folder while it opens, not at once on a busy machine: wait
                // until it shows the folder (its name in the edit box, its
                // path on the status line).
                const std::wstring path = longPath(initial);
                const std::wstring name = path.substr(path.find_last_of(L'\\') + 1);
                const bool editBox = row.flags & BIF_EDITBOX;
                const bool statusLine = row.flags & BIF_STATUSTEXT;
                for (int i = 0; i < 250 && row.withInitial; ++i) {
                    statusShown = childWithText(dialog, path) != nullptr || childWithText(dialog, initial) != nullptr;
                    const bool named = childWithText(dialog, name) != nullptr;
                    if ((!editBox || named) && (!statusLine || statusShown) && (editBox || statusLine)) break;
                    Sleep(20);
                }
                Sleep(100);
                titleShown = childWithText(dialog, L"Select folder:") != nullptr;
                if (row.act == Act::SelectVirtual) {
                    PIDLIST_ABSOLUTE computer = nullptr;
                    if (SUCCEEDED(SHGetSpecialFolderLocation(nullptr, CSIDL_DRIVES, &computer))) {
                        SendMessageW(dialog, BFFM_SETSELECTIONW, FALSE, reinterpret_cast<LPARAM>(computer));
                        CoTaskMemFree(computer);
                    }
                    Sleep(100);
                }
                press(dialog, row.act == Act::Cancel ? IDCANCEL : IDOK);
            });
            Win32Dialogs dialogs;
            result = dialogs.chooseFolder(u"Select folder:", row.withInitial ? u16(initial) : u"", row.flags, nullptr);
            EXPECT_TRUE(watcher.acted());
        }
        EXPECT_TRUE(titleShown) << "the caption text is the browser's title line";
        if (row.statusShowsSelection) {
            EXPECT_TRUE(statusShown);
        }
        EXPECT_EQ(static_cast<int>(result.choice), static_cast<int>(row.choice));
        if (row.choice == platform::FolderChoice::Chosen) {
            EXPECT_TRUE(samePath(wide(result.folder), initial)) << testing_support::utf8(result.folder);
        } else {
            EXPECT_TRUE(result.folder.empty());
        }
    }
}

// ---------------------------------------------------------------------------
// Open-file dialog

constexpr int kFileTypeCombo = 0x470;  // the common dialog's file-type list
constexpr int kFileNameCombo = 0x47c;  // its file-name field (explorer style)
constexpr int kFileNameEdit = 0x480;   // its file-name field (older layouts)

TEST(OpenFileWindow, ShowsTheFilterAndGivesTheChosenFile) {
    SKIP_WITHOUT_DISPLAY();
    testing_support::TempDir folder;
    const std::u16string program = folder.file(u"scan tool.exe");
    ASSERT_TRUE(testing_support::writeBytes(program, "MZ"));
    struct Row {
        const char* what;
        std::u16string filter;
        bool ok;
        std::vector<std::wstring> types;
    } rows[] = {
        {"SelectAPFile's filter", u"Exe Files (*.exe)|*.exe||", true, {L"Exe Files (*.exe)"}},
        {"two types, no closing bars", u"Programs (*.exe)|*.exe|All Files (*.*)|*.*", true,
         {L"Programs (*.exe)", L"All Files (*.*)"}},
        {"cancelled", u"Exe Files (*.exe)|*.exe||", false, {L"Exe Files (*.exe)"}},
    };
    wchar_t before[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, before);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        std::vector<std::wstring> types;
        std::optional<std::u16string> result;
        {
            DialogWatcher watcher(L"", [&](HWND dialog) {
                Sleep(200);
                HWND list = GetDlgItem(dialog, kFileTypeCombo);
                const auto count = SendMessageW(list, CB_GETCOUNT, 0, 0);
                for (LRESULT i = 0; i < count; ++i) {
                    wchar_t entry[256] = {};
                    SendMessageW(list, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(entry));
                    types.emplace_back(entry);
                }
                const int nameField = GetDlgItem(dialog, kFileNameCombo) ? kFileNameCombo : kFileNameEdit;
                setItem(dialog, nameField, wide(program));
                press(dialog, row.ok ? IDOK : IDCANCEL);
            });
            Win32Dialogs dialogs;
            result = dialogs.openFile(row.filter, nullptr);
            EXPECT_TRUE(watcher.acted());
        }
        ASSERT_EQ(types.size(), row.types.size());
        for (std::size_t i = 0; i < types.size(); ++i) EXPECT_EQ(narrow(types[i]), narrow(row.types[i]));
        ASSERT_EQ(result.has_value(), row.ok);
        if (result) {
            EXPECT_TRUE(samePath(wide(*result), wide(program))) << testing_support::utf8(*result);
        }
        wchar_t after[MAX_PATH] = {};
        GetCurrentDirectoryW(MAX_PATH, after);
        EXPECT_EQ(narrow(after), narrow(before)) << "browsing leaves the current folder alone";
    }
}

}  // namespace

namespace {

// ---------------------------------------------------------------------------
// Owners

TEST(DialogOwners, EachDialogBelongsToTheWindowItsRulesName) {
    SKIP_WITHOUT_DISPLAY();
    HWND top = CreateWindowExW(0, L"STATIC", L"page", WS_POPUP | WS_CAPTION | WS_VISIBLE, 50, 50, 400, 300, nullptr,
                               nullptr, GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(top, nullptr);
    HWND child = CreateWindowExW(0, L"STATIC", L"control", WS_CHILD | WS_VISIBLE, 10, 10, 100, 100, top, nullptr,
                                 GetModuleHandleW(nullptr), nullptr);
    HWND messageOnly = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                       GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(child, nullptr);
    ASSERT_NE(messageOnly, nullptr);
    enum class Kind { Input, Watermark, Alert, Folder, File };
    struct Row {
        const char* what;
        Kind kind;
        HWND serviceOwner, callOwner;
        HWND expected;
    } rows[] = {
        {"input box: the top-level window of the control's", Kind::Input, child, nullptr, top},
        {"watermark: a message-only window owns nothing", Kind::Watermark, messageOnly, nullptr, nullptr},
        {"watermark: the top-level window of the control's", Kind::Watermark, child, nullptr, top},
        {"alert: never owned", Kind::Alert, top, nullptr, nullptr},
        {"folder: the caller's window", Kind::Folder, nullptr, child, top},
        {"folder: the control's message window gives way", Kind::Folder, child, messageOnly, top},
        {"open file: no owner asked, none given", Kind::File, child, nullptr, nullptr},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        HWND owner = reinterpret_cast<HWND>(-1);
        {
            DialogWatcher watcher(L"", [&](HWND dialog) {
                owner = GetWindow(dialog, GW_OWNER);
                press(dialog, IDCANCEL);
            });
            Win32Dialogs dialogs(row.serviceOwner);
            platform::WatermarkSettings record;
            switch (row.kind) {
            case Kind::Input: dialogs.inputBox(u"", u"", u""); break;
            case Kind::Watermark: dialogs.editWatermark(record); break;
            case Kind::Alert: dialogs.alert(u"", u"message"); break;
            case Kind::Folder: dialogs.chooseFolder(u"Select folder:", u"", BIF_RETURNONLYFSDIRS, row.callOwner); break;
            case Kind::File: dialogs.openFile(u"All (*.*)|*.*||", row.callOwner); break;
            }
            EXPECT_TRUE(watcher.acted());
        }
        EXPECT_EQ(owner, row.expected);
    }
    DestroyWindow(messageOnly);
    DestroyWindow(top);
}

}  // namespace

namespace {

// Pixels darker than mid-grey in a part of a window's client area, copied
// from the screen.
int darkPixels(HWND window, const RECT& area) {
    const int width = area.right - area.left;
    const int height = area.bottom - area.top;
    HDC screen = GetDC(window);
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ previous = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, area.left, area.top, SRCCOPY);
    int dark = 0;
    const auto* pixel = static_cast<const std::uint32_t*>(bits);
    for (int i = 0; bits && i < width * height; ++i) {
        const std::uint32_t p = pixel[i];
        if (((p & 0xFF) + ((p >> 8) & 0xFF) + ((p >> 16) & 0xFF)) < 3 * 128) ++dark;
    }
    SelectObject(memory, previous);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(window, screen);
    return dark;
}

TEST(AlertWindow, DrawsItsMessageAtTheTopLeft) {
    SKIP_WITHOUT_DISPLAY();
    struct Row {
        const char* what;
        std::u16string message;
        bool drawn;
    } rows[] = {
        {"a message", u"MMMMMMMMMMMMMMMMMMMM", true},
        {"no message", u"", false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        int inside = -1, below = -1;
        {
            DialogWatcher watcher(L"Drawn", [&](HWND dialog) {
                // Let it paint before looking.
                RedrawWindow(dialog, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
                Sleep(300);
                inside = darkPixels(dialog, RECT{10, 10, 110, 24});
                below = darkPixels(dialog, RECT{10, 40, 110, 50});
                press(dialog, IDOK);
            });
            Win32Dialogs dialogs;
            SetLastError(0);
            const int result = dialogs.alert(u"Drawn", row.message);
            const DWORD error = GetLastError();
            EXPECT_TRUE(watcher.acted()) << "alert gave " << result << ", last error " << error;
        }
        if (row.drawn) {
            EXPECT_GT(inside, 50) << "black text from (10, 10)";
        } else {
            EXPECT_EQ(inside, 0);
        }
        EXPECT_EQ(below, 0) << "one line only";
    }
}

}  // namespace
