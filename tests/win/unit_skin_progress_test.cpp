// The progress window on the real Windows backends: dialog creation from the
// in-memory template, the mask outline, and the bar drawn on screen.
#include "framework/app.h"
#include "platform/win32/win32_platform.h"
#include "skin/progress_dlg.h"
#include "skin/region.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>

namespace orv {
namespace {

class ProgressWindow : public ::testing::Test {
protected:
    static void SetUpTestSuite() { win32::InstallWin32Platform(); }

    // Lets the window system deliver what it has queued (painting, moves).
    static void Pump() {
        MSG msg;
        for (int i = 0; i < 20; ++i) {
            while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
                TranslateMessage(&msg);
                DispatchMessageW(&msg);
            }
            Sleep(10);
        }
    }

    static COLORREF ScreenPixel(int x, int y) {
        HDC screen = GetDC(nullptr);
        COLORREF color = GetPixel(screen, x, y);
        ReleaseDC(nullptr, screen);
        return color;
    }

    static int Brightness(COLORREF c) { return GetRValue(c) + GetGValue(c) + GetBValue(c); }
};

TEST_F(ProgressWindow, OutlineFollowsTheMaskAndTheBarFillsOnScreen) {
    CProgressDlg dlg;
    ASSERT_TRUE(dlg.Create(nullptr));
    HWND wnd = reinterpret_cast<HWND>(dlg.GetSafeHwnd());
    wchar_t title[64];
    GetWindowTextW(wnd, title, 64);
    EXPECT_STREQ(title, L"TORVO_PROCESSBAR");
    EXPECT_EQ(dlg.m_nWidth, 600);
    EXPECT_EQ(dlg.m_nHeight, 180);
    EXPECT_EQ(dlg.m_strCaption, u"Writing profile\u2026"); // from Strings.xml

    // The rounded outline: corners outside, the middle and the edges' middles inside.
    HRGN region = CreateRectRgn(0, 0, 0, 0);
    ASSERT_NE(GetWindowRgn(wnd, region), ERROR);
    EXPECT_FALSE(PtInRegion(region, 0, 0));
    EXPECT_FALSE(PtInRegion(region, 599, 179));
    EXPECT_TRUE(PtInRegion(region, 300, 90));
    EXPECT_TRUE(PtInRegion(region, 0, 90));
    EXPECT_TRUE(PtInRegion(region, 599, 90));
    RECT box;
    GetRgnBox(region, &box);
    EXPECT_EQ(box.right - box.left, 600);
    EXPECT_EQ(box.bottom - box.top, 180);
    DeleteObject(region);

    SetWindowPos(wnd, HWND_TOPMOST, 100, 100, 0, 0, SWP_NOSIZE);
    ShowWindow(wnd, SW_SHOW);
    // The track runs from x 24 to 575 at y 135: near black where unfilled,
    // near white where filled; the fill edge is at 6 pixels per step.
    for (int pos : {0, 50, 100}) {
        dlg.m_ctlBar.SetPos(pos);
        Pump();
        int edge = pos * 6;
        if (edge >= 40) {
            EXPECT_GT(Brightness(ScreenPixel(100 + std::min(edge - 10, 565), 235)), 600) << pos;
        }
        if (edge < 560) {
            EXPECT_LT(Brightness(ScreenPixel(100 + std::max(edge + 10, 34), 235)), 150) << pos;
        }
    }
    EXPECT_TRUE(DestroyWindow(wnd));
}

TEST_F(ProgressWindow, EscapeAndEnterLeaveItOpen) {
    CProgressDlg dlg;
    ASSERT_TRUE(dlg.Create(nullptr));
    HWND wnd = reinterpret_cast<HWND>(dlg.GetSafeHwnd());
    ShowWindow(wnd, SW_SHOW);
    SetForegroundWindow(wnd);
    for (WPARAM key : {VK_ESCAPE, VK_RETURN}) {
        PostMessageW(wnd, WM_KEYDOWN, key, 0);
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (CApp::PreTranslate(
                    {reinterpret_cast<WndHandle>(msg.hwnd), msg.message, msg.wParam, msg.lParam}))
                continue;
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        EXPECT_TRUE(IsWindow(wnd));
        EXPECT_TRUE(IsWindowVisible(wnd));
    }
}

} // namespace
} // namespace orv
