// The platform the core runs on: one object per concern, installed once at
// start-up (by the executable's entry point, or by a test fixture).
#pragma once

#include "platform/clock.h"
#include "platform/codepage.h"
#include "platform/debug.h"
#include "platform/files.h"
#include "platform/graphics.h"
#include "platform/installer.h"
#include "platform/kernel.h"
#include "platform/processes.h"
#include "platform/registry.h"
#include "platform/shell.h"
#include "platform/window.h"

namespace orv {

struct Platform {
    IWindowSystem* windows = nullptr;
    IKernel* kernel = nullptr;
    IClock* clock = nullptr;
    IDebugOutput* debug = nullptr;
    IFileSystem* files = nullptr;
    IRegistry* registry = nullptr;
    IShell* shell = nullptr;
    IGraphics* graphics = nullptr;
    IProcesses* processes = nullptr;
    IInstaller* installer = nullptr;
    ICodePages* codepages = nullptr;
};

void InstallPlatform(const Platform& platform);
const Platform& CurrentPlatform();

IWindowSystem& Windows();
IKernel& Kernel();
IClock& Clock();
IDebugOutput& Debug();
IFileSystem& Files();
IRegistry& Registry();
IShell& Shell();
IGraphics& Graphics();
IProcesses& Processes();
IInstaller& Installer();
ICodePages& CodePages();

} // namespace orv
