// Entry point of the service executable (a GUI-subsystem program: it has no
// console and shows no window).
#include "app/hid_app.h"
#include "platform/win32/win32_platform.h"

#include <windows.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    orv::win32::InstallWin32Platform();
    return orv::RunService();
}
