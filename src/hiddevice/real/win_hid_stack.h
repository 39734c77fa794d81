// The HID stack seam over the Windows calls: SetupDi listing with the HID
// attributes and capabilities, overlapped ReadFile and WriteFile given up
// with CancelIoEx when their limit runs out, the feature-report calls, and
// the device-interface notices through a message-only window on a thread of
// its own.
#pragma once

#include "hiddevice/hid_stack.h"

#include <memory>

namespace orv::hid {

// `module` is the library's own module (the watcher's window class is
// registered under it).
std::unique_ptr<IHidStack> MakeWindowsHidStack(void* module);

} // namespace orv::hid
