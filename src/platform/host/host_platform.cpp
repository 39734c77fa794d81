#include "platform/host/host_platform.h"

#include "base/wstr.h"

#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <unistd.h>

namespace orv::host {

namespace {

std::string MakeTempRoot() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/orv-host-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr)
        throw std::runtime_error("cannot create a temporary folder");
    return pattern;
}

} // namespace

HostPlatform::HostPlatform() : files(std::make_unique<HostFileSystem>(MakeTempRoot())) {
    m_previous = CurrentPlatform();
    // The shell creates the application-data folder on request; so does this.
    std::filesystem::create_directories(files->HostPath(shell.appData));
    std::filesystem::create_directories(files->HostPath(FolderOf(kernel.modulePath)));
    Platform platform;
    platform.windows = &windows;
    platform.kernel = &kernel;
    platform.clock = &clock;
    platform.debug = &debug;
    platform.files = files.get();
    platform.registry = &registry;
    platform.shell = &shell;
    platform.graphics = &graphics;
    platform.processes = &processes;
    platform.installer = &installer;
    platform.codepages = &codepages;
    InstallPlatform(platform);
}

HostPlatform::~HostPlatform() {
    InstallPlatform(m_previous);
    std::error_code ignored;
    std::filesystem::remove_all(files->Root(), ignored);
}

} // namespace orv::host
