// The Windows backends of the platform ports.
#pragma once

#include "platform/platform.h"

namespace orv::win32 {

// Creates the Windows backends once and installs them as the current platform.
void InstallWin32Platform();

} // namespace orv::win32
