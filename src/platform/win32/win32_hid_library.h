// The device-access library of the Windows build: HidDevice.dll, reached by
// the ordinals of its six entry points only.
#pragma once

#include "device/hid_library.h"

#include <memory>
#include <string_view>

namespace orv::win32 {

// Loads the library from this full path, and only from there (a name or a
// relative path loads nothing), and takes its entry points by ordinal.
// When the file cannot be loaded or any entry point is missing, the result
// can open nothing (every command then fails), and no entry point of a
// partial library is ever called. A loaded library stays loaded for the life
// of the process: its threads may still be running.
std::unique_ptr<IHidLibrary> LoadHidLibrary(std::u16string_view dllPath);

// HidDevice.dll from the executable's folder, loaded at its first use.
IHidLibrary& ExecutableHidLibrary();

} // namespace orv::win32
