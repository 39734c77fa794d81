// The Linux backends of the ports, one per file: each returns the one
// instance of its backend, which InstallLinuxPlatform installs.
#pragma once

#include "platform/platform.h"

namespace orv::linux_ {

IKernel& LinuxKernel();       // linux_kernel.cpp
IDebugOutput& LinuxDebug();   // linux_kernel.cpp
IClock& LinuxClock();         // linux_clock.cpp
IFileSystem& LinuxFiles();    // linux_files.cpp
IShell& LinuxShell();         // linux_shell.cpp
IGraphics& LinuxGraphics();   // linux_graphics.cpp
IProcesses& LinuxProcesses(); // linux_processes.cpp
IInstaller& LinuxInstaller(); // linux_processes.cpp
ICodePages& LinuxCodePages(); // linux_codepages.cpp

} // namespace orv::linux_
