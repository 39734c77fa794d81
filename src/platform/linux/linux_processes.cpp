// Linux backends of the process list and the installer queries. The list
// is /proc, each entry named by its executable's file name (the command
// name when the executable cannot be read, as for another user's process).
// There is no system installer: every shortcut is no installer shortcut.
#include "platform/linux/linux_backends.h"

#include "base/wstr.h"

#include <cctype>
#include <dirent.h>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace orv::linux_ {

namespace {

std::string ExecutableName(const std::string& pid) {
    char buf[4096];
    ssize_t n = ::readlink(("/proc/" + pid + "/exe").c_str(), buf, sizeof buf);
    if (n > 0) {
        std::string path(buf, static_cast<std::size_t>(n));
        const std::string deleted = " (deleted)";
        if (path.size() > deleted.size() &&
            path.compare(path.size() - deleted.size(), deleted.size(), deleted) == 0)
            path.resize(path.size() - deleted.size());
        return path.substr(path.rfind('/') + 1);
    }
    std::ifstream comm("/proc/" + pid + "/comm");
    std::string name;
    std::getline(comm, name);
    return name;
}

class LinuxProcessList final : public IProcesses {
public:
    bool ForEachProcess(const std::function<bool(const ProcessEntry&)>& visit) override {
        std::vector<ProcessEntry> snapshot;
        DIR* proc = ::opendir("/proc");
        if (proc == nullptr)
            return false;
        while (const dirent* entry = ::readdir(proc)) {
            std::string pid = entry->d_name;
            if (pid.empty() || !std::isdigit(static_cast<unsigned char>(pid[0])))
                continue;
            std::string name = ExecutableName(pid);
            if (!name.empty())
                snapshot.push_back({static_cast<std::uint32_t>(std::stoul(pid)), FromUtf8(name)});
        }
        ::closedir(proc);
        if (snapshot.empty())
            return false;
        for (const ProcessEntry& entry : snapshot) {
            if (!visit(entry))
                break;
        }
        return true;
    }
};

class NoInstaller final : public IInstaller {
public:
    std::uint32_t GetShortcutTarget(std::u16string_view, std::u16string&, std::u16string&,
                                    std::u16string&) override {
        return kFunctionFailed;
    }
    std::int32_t GetComponentPath(std::u16string_view, std::u16string_view,
                                  std::u16string&) override {
        return -1; // unknown
    }
};

} // namespace

IProcesses& LinuxProcesses() {
    static LinuxProcessList processes;
    return processes;
}

IInstaller& LinuxInstaller() {
    static NoInstaller installer;
    return installer;
}

} // namespace orv::linux_
