// What only the Windows canvas has: the caption font's fallback, the
// surface's DC, and GDI+ sessions. No display needed.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>

#include "platform/win32/canvas_gdi_win.h"
#include "platform/win32/gdiplus_session_win.h"
#include "support/test_support.h"

using platform::win32::GdiCanvas;

namespace {

int CALLBACK noteFace(const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM found) {
    *reinterpret_cast<bool*>(found) = true;
    return 0;
}

bool installed(HDC dc, const std::wstring& face) {
    LOGFONTW query{};
    query.lfCharSet = DEFAULT_CHARSET;
    face.copy(query.lfFaceName, LF_FACESIZE - 1);
    bool found = false;
    EnumFontFamiliesExW(dc, &query, noteFace, reinterpret_cast<LPARAM>(&found), 0);
    return found;
}

TEST(GdiCanvas, CaptionFontFallsBackToAnInstalledFace) {
    const auto canvas = GdiCanvas::create(8, 8);
    ASSERT_TRUE(canvas);
    HDC dc = canvas->dc();
    struct Row {
        const char* name;
        std::wstring wanted;
    } rows[] = {
        // Present on some Windows machines, never under Wine.
        {"the caption's face", L"Arial Unicode MS"},
        {"a face nobody has", L"Dociva No Such Face"},
        {"an empty name", L""},
        {"a name too long for a font", std::wstring(40, L'x')},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const std::wstring face = GdiCanvas::fontFaceFor(dc, row.wanted);
        ASSERT_FALSE(face.empty());
        std::printf("%s: %ls\n", row.name, face.c_str());
        EXPECT_TRUE(installed(dc, face)) << "picked a face that is not there";
        if (!row.wanted.empty() && installed(dc, row.wanted)) {
            EXPECT_EQ(face, row.wanted);
        } else {
            EXPECT_NE(face, row.wanted);
        }
    }
    // A face that is there is taken as it is.
    const std::wstring some = GdiCanvas::fontFaceFor(dc, L"Dociva No Such Face");
    EXPECT_EQ(GdiCanvas::fontFaceFor(dc, some), some);
}

TEST(GdiCanvas, SurfaceIsAMemoryDcOfTheSize) {
    EXPECT_FALSE(GdiCanvas::create(0, 10));
    EXPECT_FALSE(GdiCanvas::create(10, -1));
    const auto canvas = GdiCanvas::create(30, 20);
    ASSERT_TRUE(canvas);
    HDC dc = canvas->dc();
    EXPECT_EQ(GetObjectType(dc), static_cast<DWORD>(OBJ_MEMDC));
    BITMAP bitmap{};
    ASSERT_TRUE(GetObjectW(GetCurrentObject(dc, OBJ_BITMAP), sizeof bitmap, &bitmap));
    EXPECT_EQ(bitmap.bmWidth, 30);
    EXPECT_EQ(bitmap.bmHeight, 20);
    EXPECT_EQ(GetStretchBltMode(dc), HALFTONE);
    // What GDI draws straight into the DC is what pixel() reads.
    SetPixelV(dc, 3, 4, RGB(1, 2, 3));
    EXPECT_EQ(canvas->pixel(3, 4), 0x010203u);
    EXPECT_EQ(canvas->pixel(30, 0), platform::kNoPixel);
    EXPECT_EQ(canvas->pixel(0, -1), platform::kNoPixel);

    // copyTo gives the part asked for, at the same place.
    const auto target = GdiCanvas::create(30, 20);
    ASSERT_TRUE(target);
    canvas->fillRect({0, 0, 30, 20}, {9, 8, 7, 255});
    EXPECT_TRUE(canvas->copyTo(target->dc(), {5, 5, 10, 10}));
    EXPECT_EQ(target->pixel(5, 5), 0x090807u);
    EXPECT_EQ(target->pixel(9, 9), 0x090807u);
    EXPECT_EQ(target->pixel(10, 10), 0xFFFFFFu);
    EXPECT_EQ(target->pixel(4, 5), 0xFFFFFFu);
    EXPECT_FALSE(canvas->copyTo(target->dc(), {5, 5, 5, 10}));
}

// GDI+ counts its sessions: an inner one ending leaves the outer one
// working, which is what lets the canvas open its own while the control
// holds one.
TEST(GdiplusSession, NestedSessionsLeaveTheOuterOneWorking) {
    platform::win32::GdiplusSession outer;
    ASSERT_TRUE(outer.started());
    const auto canvas = GdiCanvas::create(4, 4);
    ASSERT_TRUE(canvas);
    const testing_support::TempDir dir;
    const std::u16string first = dir.file(u"nested1.png");
    const std::u16string second = dir.file(u"nested2.png");
    {
        platform::win32::GdiplusSession inner;
        EXPECT_TRUE(inner.started());
        EXPECT_TRUE(canvas->savePng(first));  // a third session inside
    }
    EXPECT_TRUE(canvas->savePng(second));
}

}  // namespace
