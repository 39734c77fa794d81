// standin: windows of the suite's other programs, for tests and the demo. It
// opens the windows named on its command line and writes one line per
// message they receive to a log file:
//
//   standin <log-file> [--config] [--osd | --hung-osd] [--title <title>]
//           [--shown <title>]...
//
//   --config         the configuration program: top-level "Orvane" with a
//                    child window "Orvane"
//   --osd            the on-screen display: "Orvane OSD" of class "On Screen
//                    Display"
//   --hung-osd       the same, hanging for good in the first WM_COPYDATA it
//                    gets (after logging it), as a display program that hangs
//   --title <title>  a top-level window with this title (e.g. DLGLoading,
//                    Orvane_TrayIcon, Launch_Program)
//   --shown <title>  a visible top-level window with this title: a program
//                    the user works with, which a test brings to the front
//                    (a copy of standin under another name is another
//                    program to the service's watcher)
//
// Log lines (UTF-8, tab-separated, flushed at once):
//   <ms since start> <window> <message name> <message number> <wParam> <lParam>
// with wParam unsigned and lParam signed, both decimal; the child window is
// named "Orvane/Orvane". Logged are the suite's private messages (0x400 to
// 0x7FFF), the registered "QUIV_DEV_SYNC", WM_CLOSE and WM_COPYDATA (its
// lParam is then the data size). WM_CLOSE closes the window; the program ends
// when its last window is gone.
#include "../common/suite_messages.h"
#include "platform/win32/dll_search.h"

#include <windows.h>

#include <string>
#include <vector>

namespace {

constexpr wchar_t kClass[] = L"OrvStandIn";
constexpr wchar_t kOsdClass[] = L"On Screen Display";
constexpr wchar_t kOsdTitle[] = L"Orvane OSD";
HANDLE g_log = INVALID_HANDLE_VALUE;
DWORD g_start = 0;
UINT g_sync = 0;
int g_windows = 0;
HWND g_hungOsd = nullptr;

std::string Utf8(const std::wstring& text) {
    int n = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0,
                                nullptr, nullptr);
    std::string out(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), out.data(), n,
                        nullptr, nullptr);
    return out;
}

std::wstring NameOf(HWND wnd) {
    wchar_t title[256] = L"";
    GetWindowTextW(wnd, title, 256);
    HWND parent = GetParent(wnd);
    if (parent == nullptr)
        return title;
    wchar_t parentTitle[256] = L"";
    GetWindowTextW(parent, parentTitle, 256);
    return std::wstring(parentTitle) + L"/" + title;
}

void Log(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    wchar_t line[512];
    swprintf(line, 512, L"%lu\t%ls\t%ls\t0x%X\t%llu\t%lld\n",
             static_cast<unsigned long>(GetTickCount() - g_start), NameOf(wnd).c_str(),
             orv::tools::MessageName(msg).c_str(), msg, static_cast<unsigned long long>(wParam),
             static_cast<long long>(lParam));
    std::string bytes = Utf8(line);
    DWORD written;
    WriteFile(g_log, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

LRESULT CALLBACK StandInProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if ((msg >= WM_USER && msg <= 0x7FFF) || msg == g_sync || msg == WM_CLOSE) {
        Log(wnd, msg, wParam, lParam);
        if (msg == WM_CLOSE) {
            DestroyWindow(wnd);
            return 0;
        }
        return 1;
    }
    if (msg == WM_COPYDATA) {
        const auto* block = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
        Log(wnd, msg, wParam, block != nullptr ? static_cast<LPARAM>(block->cbData) : 0);
        if (wnd == g_hungOsd)
            Sleep(INFINITE);
        return TRUE;
    }
    if (msg == WM_NCDESTROY && --g_windows == 0)
        PostQuitMessage(0);
    return DefWindowProcW(wnd, msg, wParam, lParam);
}

HWND Open(const wchar_t* title, HWND parent, const wchar_t* className = kClass,
          bool shown = false) {
    DWORD style = parent != nullptr ? WS_CHILD
                  : shown           ? WS_OVERLAPPEDWINDOW | WS_VISIBLE
                                    : WS_POPUP;
    int size = shown ? 200 : 1;
    HWND wnd = CreateWindowExW(0, className, title, style, 0, 0, size, size, parent, nullptr,
                               GetModuleHandleW(nullptr), nullptr);
    if (wnd != nullptr)
        ++g_windows;
    return wnd;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    orv::win32::RestrictDllSearch();
    if (argc < 3) {
        fputs("usage: standin <log-file> [--config] [--osd | --hung-osd] [--title <title>] "
              "[--shown <title>]...\n",
              stderr);
        return 2;
    }
    g_start = GetTickCount();
    g_sync = orv::tools::SyncMessage();
    g_log = CreateFileW(argv[1], FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                        OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (g_log == INVALID_HANDLE_VALUE)
        return 1;

    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = StandInProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = kClass;
    RegisterClassExW(&wc);
    wc.lpszClassName = kOsdClass;
    RegisterClassExW(&wc);

    for (int i = 2; i < argc; ++i) {
        std::wstring arg = argv[i];
        if (arg == L"--config") {
            HWND config = Open(L"Orvane", nullptr);
            Open(L"Orvane", config);
        } else if (arg == L"--osd") {
            Open(kOsdTitle, nullptr, kOsdClass);
        } else if (arg == L"--hung-osd") {
            g_hungOsd = Open(kOsdTitle, nullptr, kOsdClass);
        } else if (arg == L"--title" && i + 1 < argc) {
            Open(argv[++i], nullptr);
        } else if (arg == L"--shown" && i + 1 < argc) {
            Open(argv[++i], nullptr, kClass, true);
        }
    }
    if (g_windows == 0)
        return 2;

    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0)
        DispatchMessageW(&msg);
    CloseHandle(g_log);
    return 0;
}
