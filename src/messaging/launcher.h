// Starting the program stored for a key: programs, documents and shortcuts,
// both the installer's and the shell's.
#pragma once

#include "platform/types.h"
#include "storage/profile_data.h"

#include <string>
#include <string_view>

namespace orv {

// The target of an installer shortcut or a shell shortcut. False (and an
// empty target) when `path` is neither, or the installer gives no path.
bool ResolveShortcut(std::u16string_view path, std::u16string& target);

// Starts `path` through the shell (verb "open", shown normally), resolving
// shortcuts first; an empty path starts nothing.
void LaunchPath(std::u16string path);

// Starts the program of the key whose index is `lParam` in `profile`; only
// the service's own request (wParam 0, a key index 0..110) starts anything.
void LaunchKeyProgram(const PROFILE_DATA& profile, WParam wParam, LParam lParam);

} // namespace orv
