// The in-memory platform of the host build: a deterministic message queue, a
// virtual clock, an in-memory registry and real files below a temporary
// folder that stands for the C: drive. Unit tests install one per test and
// drive it with "post this, run until idle, look at what happened".
#pragma once

#include "platform/host/host_clock.h"
#include "platform/host/host_codepages.h"
#include "platform/host/host_files.h"
#include "platform/host/host_graphics.h"
#include "platform/host/host_kernel.h"
#include "platform/host/host_processes.h"
#include "platform/host/host_registry.h"
#include "platform/host/host_shell.h"
#include "platform/host/host_windows.h"
#include "platform/platform.h"

#include <memory>

namespace orv::host {

// All host backends together, installed as the current platform for the
// lifetime of the object.
class HostPlatform {
public:
    HostPlatform();
    ~HostPlatform();
    HostPlatform(const HostPlatform&) = delete;
    HostPlatform& operator=(const HostPlatform&) = delete;

    int RunUntilIdle() { return windows.RunUntilIdle(); }
    void AdvanceBy(std::uint32_t ms) { windows.AdvanceBy(ms); }

    VirtualClock clock;
    HostWindowSystem windows{clock};
    HostKernel kernel;
    HostDebugOutput debug;
    std::unique_ptr<HostFileSystem> files;
    HostRegistry registry;
    HostShell shell;
    HostGraphics graphics;
    HostProcesses processes;
    HostInstaller installer;
    HostCodePages codepages;

private:
    Platform m_previous;
};

} // namespace orv::host
