#include "platform/host/host_files.h"

#include "base/wstr.h"

namespace orv::host {

std::string HostFileSystem::HostPath(std::u16string_view path) const {
    if (path.size() < 2 || path[1] != u':')
        return {};
    char16_t drive = FoldCase(path[0]);
    if (drive < u'A' || drive > u'Z')
        return {};
    // Windows tells names apart regardless of case: a name that names
    // nothing as written takes the entry it matches that way, so the core
    // finds a file whatever case another program gave it.
    std::string out = m_root + "/" + static_cast<char>(drive);
    posix::AppendMatchedNames(out, path.substr(2));
    return out;
}

} // namespace orv::host
