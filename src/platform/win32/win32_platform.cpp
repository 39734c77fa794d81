#include "platform/win32/win32_platform.h"

#include "platform/win32/win32_backends.h"
#include "platform/win32/win32_hid_library.h"

namespace orv::win32 {

void InstallWin32Platform() {
    Platform platform;
    platform.windows = &Win32Windows();
    platform.kernel = &Win32Kernel();
    platform.clock = &Win32Clock();
    platform.debug = &Win32Debug();
    platform.files = &Win32Files();
    platform.registry = &Win32Registry();
    platform.shell = &Win32Shell();
    platform.graphics = &Win32Graphics();
    platform.processes = &Win32Processes();
    platform.installer = &Win32Installer();
    platform.codepages = &Win32CodePages();
    InstallPlatform(platform);
    InstallHidLibrary(&ExecutableHidLibrary());
}

} // namespace orv::win32
