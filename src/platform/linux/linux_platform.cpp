#include "platform/linux/linux_platform.h"

#include "platform/linux/linux_backends.h"

namespace orv::linux_ {

LinuxWindowSystem& LinuxWindows() {
    static LinuxWindowSystem windows;
    return windows;
}

void InstallLinuxPlatform() {
    Platform platform;
    platform.windows = &LinuxWindows();
    platform.kernel = &LinuxKernel();
    platform.clock = &LinuxClock();
    platform.debug = &LinuxDebug();
    platform.files = &LinuxFiles();
    platform.registry = &LinuxRegistry();
    platform.shell = &LinuxShell();
    platform.graphics = &LinuxGraphics();
    platform.processes = &LinuxProcesses();
    platform.installer = &LinuxInstaller();
    platform.codepages = &LinuxCodePages();
    InstallPlatform(platform);
}

} // namespace orv::linux_
