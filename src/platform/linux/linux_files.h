// Linux backend of the file services. The core's paths are absolute POSIX
// paths written with either separator ("/home/u/.config\Orvane\config.ini"):
// each '\' is a '/', and a name that names nothing as written takes the
// entry it matches without regard to case, as on Windows, so a data folder
// copied from Windows (or named "orvane" by the XDG convention) is found
// whatever case the core writes. Relative paths, and the names Windows
// refuses, name nothing: a data folder must stay copyable back. Whole files
// are written to a temporary beside them that takes the name in one
// rename, and error codes are errno values.
#pragma once

#include "platform/files.h"

#include <string>
#include <string_view>

namespace orv::linux_ {

// The POSIX path of a core path, its names matched as above; empty when the
// path is not absolute or holds a name Windows refuses.
std::string PosixPath(std::u16string_view path);

} // namespace orv::linux_
