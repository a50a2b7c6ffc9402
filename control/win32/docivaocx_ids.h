// The control's four fixed identities, the same as in resources/DocivaOCX.idl.
// They never change: installed registrations and pages refer to them.
#pragma once

#include <windows.h>

namespace docivaocx {

// Type library DocivaOCXLib 1.0.
inline constexpr GUID kLibId = {0x42D28F93, 0x5D32, 0x42EA, {0x8F, 0x9E, 0xDD, 0xA0, 0x0B, 0xD2, 0xBC, 0x25}};
// dispinterface _DDocivaOCX.
inline constexpr GUID kDispatchId = {0x8B569631, 0xBC48, 0x4F53, {0xA3, 0xFB, 0x48, 0xC1, 0x8C, 0x12, 0x94, 0xC4}};
// dispinterface _DDocivaOCXEvents.
inline constexpr GUID kEventsId = {0x7694D071, 0xF5F0, 0x4976, {0x84, 0xCA, 0x3E, 0xCB, 0x77, 0x17, 0xEB, 0x98}};
// coclass DocivaOCX.
inline constexpr GUID kClassId = {0x3C112226, 0xB96F, 0x466D, {0x9A, 0xA8, 0xDE, 0x06, 0x66, 0xA6, 0x0E, 0x3F}};

// The control's one property page, CDocivaOCXPropPage.
inline constexpr GUID kPropPageClassId = {0x169FF202, 0x5EFB, 0x468E, {0xAE, 0x54, 0xFF, 0xC4, 0xDA, 0x25, 0x9D, 0xC1}};

inline constexpr wchar_t kClassIdText[] = L"{3C112226-B96F-466D-9AA8-DE0666A60E3F}";
inline constexpr wchar_t kLibIdText[] = L"{42D28F93-5D32-42EA-8F9E-DDA00BD2BC25}";
inline constexpr wchar_t kProgId[] = L"DOCIVAOCX.DocivaOCXCtrl.1";
inline constexpr wchar_t kUserTypeName[] = L"DocivaOCX Control";
inline constexpr wchar_t kPropPageClassIdText[] = L"{169FF202-5EFB-468E-AE54-FFC4DA259DC1}";
inline constexpr wchar_t kPropPageProgId[] = L"DOCIVAOCX.DocivaOCXPropPage.1";
inline constexpr wchar_t kPropPageName[] = L"DocivaOCX Property Page";

// Resources of the DLL (resources/DocivaOCX.rc).
inline constexpr int kIdsPropPageName = 2;
inline constexpr int kIddPropPage = 200;     // the page's dialog template
inline constexpr int kIdsPropPageCaption = 200;

// The categories that let a browser create and script the control.
inline constexpr GUID kCatSafeForInitializing = {0x7DD95802, 0x9882, 0x11CF, {0x9F, 0xA9, 0x00, 0xAA, 0x00, 0x6C, 0x42, 0xC4}};
inline constexpr GUID kCatSafeForScripting = {0x7DD95801, 0x9882, 0x11CF, {0x9F, 0xA9, 0x00, 0xAA, 0x00, 0x6C, 0x42, 0xC4}};
inline constexpr wchar_t kCatSafeForInitializingText[] = L"Controls safely initializable from persistent data!";
inline constexpr wchar_t kCatSafeForScriptingText[] = L"Controls safely  scriptable!";  // two blanks, as registered always

}  // namespace docivaocx
