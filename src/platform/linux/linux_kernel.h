// Linux backend of the kernel services and the debugger output.
//
// A named mutex is a lock file in the user's runtime folder
// ($XDG_RUNTIME_DIR, else the temporary folder), held with flock while any
// handle of this process is open: another process learns that it exists
// from the lock, this one from its own count of handles. The service's own
// single-instance guard is the bus name (main.cpp); the mutex keeps the
// core's check working as it does on Windows. Error codes are errno values.
// Debug lines go to standard error when ORV_DEBUG is set, else nowhere.
#pragma once

#include "platform/kernel.h"

#include <string>

namespace orv::linux_ {

// The folder of the lock files, created when missing.
std::string LockFolder();

} // namespace orv::linux_
