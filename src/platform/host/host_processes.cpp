#include "platform/host/host_processes.h"

namespace orv::host {

bool HostProcesses::ForEachProcess(const std::function<bool(const ProcessEntry&)>& visit) {
    if (failSnapshot)
        return false;
    ++snapshotsTaken;
    bool any = !processes.empty();
    for (const ProcessEntry& entry : processes) {
        if (!visit(entry))
            break;
    }
    ++snapshotsReleased;
    return any;
}

std::uint32_t HostInstaller::GetShortcutTarget(std::u16string_view shortcut,
                                               std::u16string& product, std::u16string& feature,
                                               std::u16string& component) {
    auto it = shortcuts.find(std::u16string(shortcut));
    if (it == shortcuts.end())
        return kFunctionFailed;
    product = it->second.product;
    feature = it->second.feature;
    component = it->second.component;
    return it->second.result;
}

std::int32_t HostInstaller::GetComponentPath(std::u16string_view product,
                                             std::u16string_view component, std::u16string& path) {
    auto it = componentPaths.find({std::u16string(product), std::u16string(component)});
    if (it == componentPaths.end()) {
        path.clear();
        return -1; // unknown
    }
    path = it->second;
    return 3; // installed locally
}

} // namespace orv::host
