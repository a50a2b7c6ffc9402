// The numbers of the dialog templates and of their controls, as plain
// macros so that the resource compiler reads the same file as the code.
// The dialog classes repeat them as typed constants; the Windows dialog
// code checks at compile time that both agree.
#pragma once

// Scan progress (modeless, kept hidden between scans).
#define IDD_DOCIVA_PROGRESS 205
#define IDC_PROGRESS_BAR 204
#define IDC_PROGRESS_TEXT 205

// Alert.
#define IDD_DOCIVA_ALERT 103

// Input box.
#define IDD_INPUT_BOX 213
#define IDC_INPUT_EDIT 230
#define IDC_INPUT_PROMPT 231

// Watermark settings.
#define IDD_WATERMARK_SETTING 214
#define IDC_WM_TRANSPARENCY 230
#define IDC_WM_TYPE_IMAGE 232
#define IDC_WM_TYPE_TEXT 233
#define IDC_WM_POSITION_FIRST 234
#define IDC_WM_POSITION_LAST 242
#define IDC_WM_IMAGE_PATH 243
#define IDC_WM_BROWSE 244
#define IDC_WM_TEXT 245
#define IDC_WM_TEXT_SIZE 246
#define IDC_WM_TEXT_ANGLE 247
