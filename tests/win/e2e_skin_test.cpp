// The progress window as the configuration program sees it: shown for an
// upload, centred, top-most, shaped by the mask, with its caption and a bar
// that fills on screen; gone at the end; untouched by Escape and Enter.
#include "e2e_support.h"

#include <gtest/gtest.h>

#include <string>

namespace orv::e2e {
namespace {

constexpr UINT WM_HID_UPLOAD = 0x650;
constexpr UINT WM_HID_SHOW_PROGRESS = 0x670;
constexpr wchar_t kTitle[] = L"PelkStrivaneProgressbar";

COLORREF ScreenPixel(int x, int y) {
    HDC screen = GetDC(nullptr);
    COLORREF color = GetPixel(screen, x, y);
    ReleaseDC(nullptr, screen);
    return color;
}

int Brightness(COLORREF c) {
    return GetRValue(c) + GetGValue(c) + GetBValue(c);
}

// Pixels of the caption's colour (210, 210, 210, give or take smoothing)
// inside the caption's box of a window at (left, top).
int CaptionPixels(int left, int top) {
    HDC screen = GetDC(nullptr);
    int count = 0;
    for (int y = top + 60; y < top + 105; y += 2)
        for (int x = left + 175; x < left + 575; x += 2) {
            COLORREF c = GetPixel(screen, x, y);
            count +=
                GetRValue(c) > 180 && GetRValue(c) == GetGValue(c) && GetGValue(c) == GetBValue(c);
        }
    ReleaseDC(nullptr, screen);
    return count;
}

// The outline the mask file describes: every run of non-white pixels.
HRGN MaskRegion(const std::wstring& path) {
    HBITMAP mask = static_cast<HBITMAP>(LoadImageW(nullptr, path.c_str(), IMAGE_BITMAP, 0, 0,
                                                   LR_LOADFROMFILE | LR_CREATEDIBSECTION));
    BITMAP info{};
    GetObjectW(mask, sizeof info, &info);
    HRGN region = CreateRectRgn(0, 0, 0, 0);
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, mask);
    for (int y = 0; y < info.bmHeight; ++y) {
        for (int x = 0; x < info.bmWidth;) {
            if ((GetPixel(dc, x, y) & 0xFFFFFF) == 0xFFFFFF) {
                ++x;
                continue;
            }
            int x0 = x;
            while (x < info.bmWidth && (GetPixel(dc, x, y) & 0xFFFFFF) != 0xFFFFFF)
                ++x;
            HRGN run = CreateRectRgn(x0, y, x, y + 1);
            CombineRgn(region, region, run, RGN_OR);
            DeleteObject(run);
        }
    }
    SelectObject(dc, old);
    DeleteDC(dc);
    DeleteObject(mask);
    return region;
}

class ProgressOnScreen : public FreshDataTest {};

TEST_F(ProgressOnScreen, UploadShowsTheSkinnedWindowAndTheFillMoves) {
    // A keyboard that is there, so that the upload takes its time.
    SimInstall install;
    std::wstring standinLog = install.Dir() + L"standin.log";
    Process standin;
    ASSERT_TRUE(standin.Start(DistDir() + L"tools\\standin.exe",
                              L"\"" + standinLog + L"\" --title DLGLoading"));
    ASSERT_NE(WaitForWindow(L"DLGLoading", 10000), nullptr);
    Process service;
    HWND main = install.StartService(service);
    ASSERT_NE(main, nullptr);
    // The five plug notices (3 s each) end with a slot query each.
    ASSERT_TRUE(install.WaitForLog("read id=0102 usage=2 len=264", 5, 30000));
    PostMessageW(main, RegisterWindowMessageW(L"QUIV_DEV_SYNC"), 0,
                 2); // slot 2: a key matrix to write

    PostMessageW(main, WM_HID_SHOW_PROGRESS, 0, 0);
    HWND progress = WaitForWindow(kTitle, 10000);
    ASSERT_NE(progress, nullptr);
    ASSERT_TRUE(Eventually([&] { return IsWindowVisible(progress) != FALSE; }));
    RECT rect;
    GetWindowRect(progress, &rect);
    EXPECT_EQ(rect.left, (GetSystemMetrics(SM_CXSCREEN) - 600) / 2);
    EXPECT_EQ(rect.top, (GetSystemMetrics(SM_CYSCREEN) - 180) / 2);
    EXPECT_EQ(rect.right - rect.left, 600);
    EXPECT_TRUE(GetWindowLongW(progress, GWL_EXSTYLE) & WS_EX_TOPMOST);

    HRGN actual = CreateRectRgn(0, 0, 0, 0);
    ASSERT_NE(GetWindowRgn(progress, actual), ERROR);
    HRGN expected = MaskRegion(install.Dir() + L"skins\\updatebar_Mask.bmp");
    EXPECT_TRUE(EqualRgn(actual, expected));
    DeleteObject(actual);
    DeleteObject(expected);

    // Bar 0: the whole track dark, the caption drawn over the picture.
    EXPECT_TRUE(Eventually(
        [&] {
            return Brightness(ScreenPixel(rect.left + 40, rect.top + 135)) < 150 &&
                   CaptionPixels(rect.left, rect.top) > 50;
        },
        5000));

    // Escape and Enter do not end it.
    for (WPARAM key : {VK_ESCAPE, VK_RETURN}) {
        PostMessageW(progress, WM_KEYDOWN, key, 0);
        PostMessageW(progress, WM_KEYUP, key, 0);
    }
    Sleep(300);
    EXPECT_TRUE(IsWindow(progress));
    EXPECT_TRUE(IsWindowVisible(progress));

    // The upload: the bar stands at 50 while the key matrix goes out (1.6 s).
    PostMessageW(main, WM_HID_UPLOAD, 0, 0);
    bool sawHalf = Eventually(
        [&] {
            return Brightness(ScreenPixel(rect.left + 290, rect.top + 135)) > 600 &&
                   Brightness(ScreenPixel(rect.left + 310, rect.top + 135)) < 150;
        },
        5000);
    EXPECT_TRUE(sawHalf) << "fill edge not seen at column 300";

    EXPECT_TRUE(
        WaitForLines(standinLog, 1, 20000, CountContaining, "\tDLGLoading\tWM_HID_UPLOAD\t"));
    EXPECT_TRUE(Eventually([] { return FindWindowW(nullptr, kTitle) == nullptr; }));
}

TEST_F(ProgressOnScreen, MissingSkinAndLanguageFileStillShowABar) {
    SimInstall install("unplug");
    ASSERT_TRUE(RemoveTree(install.Dir() + L"skins"));
    ASSERT_TRUE(DeleteFileW((install.Dir() + L"Strings.xml").c_str()));
    Process service;
    HWND main = install.StartService(service);
    ASSERT_NE(main, nullptr);
    PostMessageW(main, WM_HID_SHOW_PROGRESS, 0, 0);
    HWND progress = WaitForWindow(kTitle, 10000);
    ASSERT_NE(progress, nullptr);
    RECT rect;
    GetWindowRect(progress, &rect);
    EXPECT_EQ(rect.right - rect.left, 600);
    EXPECT_EQ(rect.bottom - rect.top, 180);
    HRGN region = CreateRectRgn(0, 0, 0, 0);
    EXPECT_EQ(GetWindowRgn(progress, region), ERROR); // rectangular
    DeleteObject(region);
    PostMessageW(main, WM_HID_UPLOAD, 0, 0);
    EXPECT_TRUE(Eventually([] { return FindWindowW(nullptr, kTitle) == nullptr; }));
    EXPECT_TRUE(service.Running());
}

} // namespace
} // namespace orv::e2e
