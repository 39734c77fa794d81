// Entry point of the service executable (a GUI-subsystem program: it has no
// console and shows no window).
#include "app/hid_app.h"
#include "platform/win32/dll_search.h"
#include "platform/win32/win32_platform.h"

#include <windows.h>
#include <objbase.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    // Before anything can load a library: COM, the shell and the installer
    // all load some by name.
    orv::win32::RestrictDllSearch();
    // COM serves the picture decoder and the shell link object, both used on
    // this one user-interface thread; it is set up here once for the whole run.
    HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    orv::win32::InstallWin32Platform();
    int exitCode = orv::RunService();
    if (SUCCEEDED(com))
        CoUninitialize();
    return exitCode;
}
