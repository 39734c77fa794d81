// The suite's Linux programs, which the shell backend starts in place of the
// Windows programs the core names. Each holds a bus name of its own and
// stands for one window. The service's loop is busy while the core waits
// for such a window, so the program's own registration would come too late:
// the shell waits for the name instead and has the window made at once.
#pragma once

#include <functional>
#include <string>

namespace orv::linux_ {

// Makes the window `title` for the bus client `owner` (a unique name); set
// by the bus service while it serves.
using SuiteWindowMaker = std::function<void(const std::string& owner, const std::string& title)>;
void SetSuiteWindowMaker(SuiteWindowMaker maker);

} // namespace orv::linux_
