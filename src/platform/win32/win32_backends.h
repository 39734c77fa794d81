// The Windows backends of the ports, one per file: each returns the one
// instance of its backend, which InstallWin32Platform installs.
#pragma once

#include "platform/platform.h"

namespace orv::win32 {

IWindowSystem& Win32Windows(); // win32_windows.cpp
IKernel& Win32Kernel();        // win32_kernel.cpp
IDebugOutput& Win32Debug();    // win32_kernel.cpp
IClock& Win32Clock();          // win32_clock.cpp
IFileSystem& Win32Files();     // win32_files.cpp
IRegistry& Win32Registry();    // win32_registry.cpp
IShell& Win32Shell();          // win32_shell.cpp
IGraphics& Win32Graphics();    // win32_graphics.cpp
IProcesses& Win32Processes();  // win32_processes.cpp
IInstaller& Win32Installer();  // win32_processes.cpp
ICodePages& Win32CodePages();  // win32_codepages.cpp

} // namespace orv::win32
