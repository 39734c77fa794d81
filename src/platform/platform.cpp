#include "platform/platform.h"

namespace orv {

namespace {
Platform g_platform;
}

void InstallPlatform(const Platform& platform) {
    g_platform = platform;
}
const Platform& CurrentPlatform() {
    return g_platform;
}

IWindowSystem& Windows() {
    return *g_platform.windows;
}
IKernel& Kernel() {
    return *g_platform.kernel;
}
IClock& Clock() {
    return *g_platform.clock;
}
IDebugOutput& Debug() {
    return *g_platform.debug;
}
IFileSystem& Files() {
    return *g_platform.files;
}
IRegistry& Registry() {
    return *g_platform.registry;
}
IShell& Shell() {
    return *g_platform.shell;
}
IGraphics& Graphics() {
    return *g_platform.graphics;
}
IProcesses& Processes() {
    return *g_platform.processes;
}
IInstaller& Installer() {
    return *g_platform.installer;
}
ICodePages& CodePages() {
    return *g_platform.codepages;
}

} // namespace orv
