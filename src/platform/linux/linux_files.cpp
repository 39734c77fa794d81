#include "platform/linux/linux_files.h"

#include "platform/common/posix_files.h"
#include "platform/linux/linux_backends.h"

namespace orv::linux_ {

namespace {

class LinuxFileSystem final : public posix::PosixFileSystem {
    std::string MapPath(std::u16string_view path) const override { return PosixPath(path); }
};

} // namespace

std::string PosixPath(std::u16string_view path) {
    if (path.empty() || (path[0] != u'/' && path[0] != u'\\') || posix::RefusedName(path))
        return {};
    std::string out;
    posix::AppendMatchedNames(out, path);
    return out;
}

IFileSystem& LinuxFiles() {
    static LinuxFileSystem files;
    return files;
}

} // namespace orv::linux_
