// Processes and installer shortcuts of the host build: lists the tests fill.
#pragma once

#include "platform/installer.h"
#include "platform/processes.h"

#include <map>
#include <utility>
#include <vector>

namespace orv::host {

class HostProcesses final : public IProcesses {
public:
    bool ForEachProcess(const std::function<bool(const ProcessEntry&)>& visit) override;

    std::vector<ProcessEntry> processes;
    bool failSnapshot = false;
    int snapshotsTaken = 0;
    int snapshotsReleased = 0;
};

class HostInstaller final : public IInstaller {
public:
    struct Shortcut {
        std::uint32_t result;
        std::u16string product, feature, component;
    };

    std::uint32_t GetShortcutTarget(std::u16string_view shortcut, std::u16string& product,
                                    std::u16string& feature, std::u16string& component) override;
    std::int32_t GetComponentPath(std::u16string_view product, std::u16string_view component,
                                  std::u16string& path) override;

    std::map<std::u16string, Shortcut> shortcuts;
    std::map<std::pair<std::u16string, std::u16string>, std::u16string> componentPaths;
};

} // namespace orv::host
