// The service as it was before it followed foreground changes: the same
// program, on a window system that gives it neither the foreground notice
// nor its look timer, so only the watcher's 2000 ms tick switches slots.
// foreground_bench measures it beside the real service; it is built here
// only, as a baseline, and never shipped.
#include "app/hid_app.h"
#include "platform/win32/dll_search.h"
#include "platform/win32/win32_platform.h"
#include "tick_only_windows.h"

#include <windows.h>
#include <objbase.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    orv::win32::RestrictDllSearch();
    HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    orv::win32::InstallWin32Platform();
    orv::bench::UseTickOnlyWindows();
    int exitCode = orv::RunService();
    if (SUCCEEDED(com))
        CoUninitialize();
    return exitCode;
}
