// Puts the Linux backends together and installs them as the platform.
#pragma once

#include "platform/linux/linux_registry.h"
#include "platform/linux/linux_windows.h"
#include "platform/platform.h"

namespace orv::linux_ {

// The window system of the thread that first asks for it (the main thread).
LinuxWindowSystem& LinuxWindows();

void InstallLinuxPlatform();

} // namespace orv::linux_
