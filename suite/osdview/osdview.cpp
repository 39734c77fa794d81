// osdview: the suite's on-screen display. The service hands it a display
// record by WM_COPYDATA; it shows the text top-most, in the record's colour,
// font and height, for the record's time, without taking the focus. It ends
// when the service posts WM_DESTROY to its window.
#include "messaging/osd_record.h"
#include "platform/win32/dll_search.h"

#include <windows.h>

#include <cstring>

namespace {

constexpr wchar_t kClass[] = L"On Screen Display";
constexpr wchar_t kTitle[] = L"Orvane OSD";
constexpr UINT_PTR kHideTimer = 1;
constexpr int kPadding = 16;

orv::OSD_DATA g_data{};
HFONT g_font = nullptr;

int TextHeight() {
    return g_data.Param4 > 0 && g_data.Param4 <= 400 ? g_data.Param4 : 40;
}

UINT ShowTime() {
    return g_data.Param1 > 0 && g_data.Param1 <= 60000 ? static_cast<UINT>(g_data.Param1) : 1500;
}

void MakeFont() {
    if (g_font != nullptr)
        DeleteObject(g_font);
    const wchar_t* face =
        g_data.FontName[0] != 0 ? reinterpret_cast<const wchar_t*>(g_data.FontName) : L"Arial";
    g_font = CreateFontW(-TextHeight(), 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                         OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, ANTIALIASED_QUALITY,
                         DEFAULT_PITCH | FF_SWISS, face);
}

void ShowRecord(HWND wnd) {
    MakeFont();
    const auto* text = reinterpret_cast<const wchar_t*>(g_data.Text);
    SIZE extent{0, TextHeight()};
    HDC dc = GetDC(wnd);
    HGDIOBJ old = SelectObject(dc, g_font);
    GetTextExtentPoint32W(dc, text, static_cast<int>(wcslen(text)), &extent);
    SelectObject(dc, old);
    ReleaseDC(wnd, dc);

    int width = extent.cx + 2 * kPadding;
    int height = extent.cy + kPadding;
    int x = (GetSystemMetrics(SM_CXSCREEN) - width) / 2;
    int y = GetSystemMetrics(SM_CYSCREEN) * 3 / 4 - height / 2;
    SetWindowPos(wnd, HWND_TOPMOST, x, y, width, height, SWP_NOACTIVATE | SWP_SHOWWINDOW);
    InvalidateRect(wnd, nullptr, TRUE);
    SetTimer(wnd, kHideTimer, ShowTime(), nullptr);
}

void Paint(HWND wnd) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(wnd, &ps);
    RECT rect;
    GetClientRect(wnd, &rect);
    HBRUSH back = CreateSolidBrush(RGB(24, 24, 24));
    FillRect(dc, &rect, back);
    DeleteObject(back);
    HGDIOBJ old = SelectObject(dc, g_font);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, g_data.TextColor & 0xFFFFFF);
    DrawTextW(dc, reinterpret_cast<const wchar_t*>(g_data.Text), -1, &rect,
              DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
    SelectObject(dc, old);
    EndPaint(wnd, &ps);
}

LRESULT CALLBACK OsdProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_COPYDATA: {
        const auto* block = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
        // Anything but a whole record is not ours to show.
        if (block == nullptr || block->lpData == nullptr || block->cbData != sizeof(orv::OSD_DATA))
            return FALSE;
        std::memcpy(&g_data, block->lpData, sizeof g_data);
        g_data.Text[255] = 0;
        g_data.FontName[255] = 0;
        ShowRecord(wnd);
        return TRUE;
    }
    case WM_TIMER:
        if (wParam == kHideTimer) {
            KillTimer(wnd, kHideTimer);
            ShowWindow(wnd, SW_HIDE);
        }
        return 0;
    case WM_PAINT:
        Paint(wnd);
        return 0;
    case WM_ERASEBKGND:
        return 1;
    case WM_DESTROY:
        // Sent when the window goes, and posted by the service to end us.
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(wnd, msg, wParam, lParam);
}

} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    // Nothing this program or the system loads for it comes from beside it
    // or from the current folder.
    orv::win32::RestrictDllSearch();
    // The service may start us several times while it waits for the window.
    HANDLE mutex = CreateMutexW(nullptr, FALSE, L"Orvane_OSD_MUTEX");
    if (GetLastError() == ERROR_ALREADY_EXISTS || FindWindowW(kClass, kTitle) != nullptr)
        return 0;

    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = OsdProc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.lpszClassName = kClass;
    if (!RegisterClassExW(&wc))
        return 1;
    HWND wnd = CreateWindowExW(WS_EX_TOPMOST | WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE, kClass, kTitle,
                               WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, instance, nullptr);
    if (wnd == nullptr)
        return 1;

    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    if (IsWindow(wnd))
        DestroyWindow(wnd);
    if (g_font != nullptr)
        DeleteObject(g_font);
    CloseHandle(mutex);
    return 0;
}
