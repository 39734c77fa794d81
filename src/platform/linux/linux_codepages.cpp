// Linux backend of the code pages: the host build's iconv conversion, which
// is already the real thing, with Windows' ANSI code page of Western
// systems (1252) as code page 0, so that 8-bit files of a data folder copied
// from such a system read alike.
#include "platform/linux/linux_backends.h"

#include "platform/host/host_codepages.h"

namespace orv::linux_ {

ICodePages& LinuxCodePages() {
    static host::HostCodePages codepages;
    return codepages;
}

} // namespace orv::linux_
