// The two process-wide folders: the executable's and the per-user data folder.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace orv {

constexpr std::size_t kPathCapacity = 260; // units, terminator included

// Folder of the running executable, ending in a separator.
extern char16_t g_szExeDir[kPathCapacity];
// The per-user data folder (application data + "\Orvane\"), ending in '\'.
extern char16_t g_szDataDir[kPathCapacity];

// Makes sure every level of the application-data folder joined with `suffix`
// (which starts and ends with '\') exists, and returns the joined path.
// Returns an empty string when the shell has no application-data folder or
// the joined path does not fit kPathCapacity - 1 units; nothing is created then.
std::u16string EnsureDataFolder(std::u16string_view suffix);

// Drive and folder of the running executable's path, or empty when the path
// is missing or does not fit kPathCapacity - 1 units.
std::u16string ExecutableFolder();

} // namespace orv
