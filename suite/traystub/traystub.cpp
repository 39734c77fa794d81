// traystub: the suite's notification-area icon. Its window, titled
// "Orvane_TrayIcon", follows the service's WM_HID_PLUG notices and shows in
// the icon's tooltip whether the keyboard is plugged in. It ends on WM_CLOSE.
#include "platform/win32/dll_search.h"

#include <windows.h>
#include <shellapi.h>

#include <cwchar>

namespace {

constexpr wchar_t kClass[] = L"OrvTrayStub";
constexpr wchar_t kTitle[] = L"Orvane_TrayIcon";
constexpr UINT WM_HID_PLUG = 0x5401;
constexpr UINT WM_TRAY_CALLBACK = WM_APP + 2;
// Answers 1 when the keyboard is shown as plugged in, else 0 (for tests and tools).
constexpr UINT WM_TRAY_QUERY_PLUGGED = WM_APP + 1;

bool g_plugged = false;
UINT g_taskbarCreated = 0;

void UpdateIcon(HWND wnd, DWORD action) {
    NOTIFYICONDATAW nid{};
    nid.cbSize = sizeof nid;
    nid.hWnd = wnd;
    nid.uID = 1;
    nid.uFlags = NIF_ICON | NIF_TIP | NIF_MESSAGE;
    nid.uCallbackMessage = WM_TRAY_CALLBACK;
    nid.hIcon = LoadIconW(nullptr, g_plugged ? IDI_APPLICATION : IDI_WARNING);
    wcsncpy(nid.szTip,
            g_plugged ? L"Orvane keyboard: connected" : L"Orvane keyboard: not connected",
            sizeof nid.szTip / sizeof nid.szTip[0] - 1);
    Shell_NotifyIconW(action, &nid);
}

LRESULT CALLBACK TrayProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_CREATE:
        UpdateIcon(wnd, NIM_ADD);
        return 0;
    case WM_HID_PLUG:
        g_plugged = wParam != 0;
        UpdateIcon(wnd, NIM_MODIFY);
        return 1;
    case WM_TRAY_QUERY_PLUGGED:
        return g_plugged ? 1 : 0;
    case WM_DESTROY: {
        NOTIFYICONDATAW nid{};
        nid.cbSize = sizeof nid;
        nid.hWnd = wnd;
        nid.uID = 1;
        Shell_NotifyIconW(NIM_DELETE, &nid);
        PostQuitMessage(0);
        return 0;
    }
    }
    // The notification area was re-created (its host restarted): show the icon again.
    if (msg == g_taskbarCreated && g_taskbarCreated != 0) {
        UpdateIcon(wnd, NIM_ADD);
        return 0;
    }
    return DefWindowProcW(wnd, msg, wParam, lParam);
}

} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    // Nothing this program or the system loads for it comes from beside it
    // or from the current folder.
    orv::win32::RestrictDllSearch();
    HANDLE mutex = CreateMutexW(nullptr, FALSE, L"Orvane_TrayIcon_MUTEX");
    if (GetLastError() == ERROR_ALREADY_EXISTS || FindWindowW(nullptr, kTitle) != nullptr)
        return 0;
    g_taskbarCreated = RegisterWindowMessageW(L"TaskbarCreated");

    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = TrayProc;
    wc.hInstance = instance;
    wc.lpszClassName = kClass;
    if (!RegisterClassExW(&wc))
        return 1;
    if (CreateWindowExW(0, kClass, kTitle, WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, instance,
                        nullptr) == nullptr)
        return 1;

    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    CloseHandle(mutex);
    return 0;
}
