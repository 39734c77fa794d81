#include "platform/host/host_shell.h"

namespace orv::host {

bool HostShell::Execute(const char16_t* verb, std::u16string_view file, std::u16string_view params,
                        int showCmd) {
    Started start{verb ? verb : u"", std::u16string(file), std::u16string(params), showCmd};
    started.push_back(start);
    return onExecute ? onExecute(start) : true;
}

bool HostShell::ResolveShellLink(std::u16string_view link, std::u16string& target) {
    auto it = shellLinks.find(std::u16string(link));
    if (it == shellLinks.end())
        return false;
    target = it->second;
    return true;
}

} // namespace orv::host
