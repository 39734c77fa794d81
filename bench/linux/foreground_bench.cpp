// From an _NET_ACTIVE_WINDOW change to the slot command reaching the
// keyboard: the service on the simulated keyboard and a virtual X display
// (Xvfb, openbox), a linked program brought to the front again and again,
// the time taken from the keyboard's log. Beside it the same for the
// service that switches on the watcher's tick alone (orv_tick_only_service,
// built beside this program). Prints median and worst of each. Runs under
// dbus-run-session (make bench-linux-foreground).
#include "foreground_figures.h"
#include "messaging/foreground_settle.h"
#include "x_desk.h"

#include <gio/gio.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/wait.h>
#include <vector>

namespace {

using namespace orv::linux_test;

constexpr int kChanges = 24;

class Service {
public:
    Service(const std::string& exe, const std::string& root, const std::string& display)
        : m_log(root + "/sim.log") {
        std::filesystem::create_directories(root + "/config");
        std::filesystem::create_directories(root + "/run");
        std::filesystem::permissions(root + "/run", std::filesystem::perms::owner_all);
        gchar** env = g_get_environ();
        env = g_environ_setenv(env, "XDG_CONFIG_HOME", (root + "/config").c_str(), TRUE);
        env = g_environ_setenv(env, "XDG_RUNTIME_DIR", (root + "/run").c_str(), TRUE);
        env = g_environ_setenv(env, "DISPLAY", display.c_str(), TRUE);
        std::string log = m_log;
        std::string path = exe;
        std::string simulated = "--simulated-keyboard", simLog = "--sim-log";
        char* argv[] = {path.data(), simulated.data(), simLog.data(), log.data(), nullptr};
        if (!g_spawn_async(nullptr, argv, env, G_SPAWN_DO_NOT_REAP_CHILD, nullptr, nullptr, &m_pid,
                           nullptr))
            m_pid = 0;
        g_strfreev(env);
    }
    ~Service() {
        if (m_pid != 0) {
            kill(m_pid, SIGTERM);
            waitpid(m_pid, nullptr, 0);
            g_spawn_close_pid(m_pid);
        }
    }
    // The start-up queries of all five collections are over.
    bool WaitUntilStarted() const {
        for (int waited = 0; waited < 60000; waited += 100) {
            std::ifstream in(m_log);
            int reads = 0;
            for (std::string line; std::getline(in, line);)
                reads += line.find(" read ") != std::string::npos ? 1 : 0;
            if (reads >= 10)
                return true;
            g_usleep(100000);
        }
        return false;
    }
    const std::string& Log() const { return m_log; }
    bool Started() const { return m_pid != 0; }

private:
    std::string m_log;
    GPid m_pid = 0;
};

bool Reload(GDBusConnection* bus) {
    GVariant* reply = g_dbus_connection_call_sync(bus, "org.orvane.Hid", "/org/orvane/Hid",
                                                  "org.orvane.Hid1", "Reload", nullptr, nullptr,
                                                  G_DBUS_CALL_FLAGS_NONE, 5000, nullptr, nullptr);
    if (reply == nullptr)
        return false;
    g_variant_unref(reply);
    return true;
}

std::uint32_t WaitForSlotCommand(const std::string& log, std::size_t from, int slot, int ms) {
    for (std::uint32_t start = NowMs(); NowMs() - start < static_cast<std::uint32_t>(ms);) {
        for (const SlotCommand& command : SlotCommands(log, from)) {
            if (command.slot == slot)
                return command.time;
        }
        g_usleep(2000);
    }
    return 0;
}

// Milliseconds per change; empty when the run did not get through.
std::vector<long> Measure(GDBusConnection* bus, const std::string& exe) {
    char pattern[] = "/tmp/orv-fgbench-XXXXXX";
    if (g_mkdtemp(pattern) == nullptr)
        return {};
    const std::string root = pattern;
    std::vector<long> ms;
    {
        XDesk desk;
        std::string error;
        if (!desk.Start(error)) {
            std::printf("  %s\n", error.c_str());
            return {};
        }
        Service service(exe, root, desk.Name());
        if (!service.Started() || !service.WaitUntilStarted()) {
            std::printf("  the service did not start or found no keyboard\n");
            return {};
        }
        // The programs come up (each takes the front as it opens) before any
        // is linked, and the desk is in front when the links are read.
        std::uint32_t deskWindow = desk.StartProgram(ORV_X_PROGRAM, root + "/bin", "desk");
        std::uint32_t race = desk.StartProgram(ORV_X_PROGRAM, root + "/bin", "race");
        std::uint32_t kart = desk.StartProgram(ORV_X_PROGRAM, root + "/bin", "kart");
        if (deskWindow == 0 || race == 0 || kart == 0 || desk.Activate(deskWindow) == 0) {
            std::printf("  the linked programs did not start or come to the front\n");
            return {};
        }
        const std::string profiles = root + "/config/orvane/Profiles/Profile ";
        if (!SetLinkExe(profiles + "2.ini", "/usr/games/race") ||
            !SetLinkExe(profiles + "4.ini", "kart") || !Reload(bus)) {
            std::printf("  the programs could not be linked\n");
            return {};
        }
        g_usleep(500000);

        std::uint32_t seed = 16;
        for (int i = 0; i < kChanges; ++i) {
            const std::uint32_t program = i % 2 == 0 ? race : kart;
            const int slot = i % 2 == 0 ? 2 : 4;
            std::size_t from = LineCount(service.Log());
            std::uint32_t changed = desk.Activate(program);
            std::uint32_t commanded =
                changed == 0 ? 0 : WaitForSlotCommand(service.Log(), from, slot, 5000);
            if (commanded == 0) {
                std::printf("  change %d: %s\n", i,
                            changed == 0 ? "not in front" : "no slot command within 5 s");
                ms.clear();
                break;
            }
            ms.push_back(static_cast<long>(static_cast<std::int32_t>(commanded - changed)));
            g_usleep(1000u * orv::bench::NextPauseMs(seed));
        }
    }
    std::error_code ignored;
    std::filesystem::remove_all(root, ignored);
    return ms;
}

} // namespace

int main() {
    GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
    if (bus == nullptr) {
        std::printf("no session bus (run under dbus-run-session)\n");
        return 1;
    }
    std::printf("_NET_ACTIVE_WINDOW change to slot command on the keyboard\n");
    std::vector<long> followed = Measure(bus, ORV_SERVICE_PATH);
    std::vector<long> tickOnly = Measure(bus, ORV_TICK_ONLY_SERVICE_PATH);
    orv::bench::PrintLatencies("  the service (notice and settle)", followed);
    orv::bench::PrintLatencies("  the watcher's tick alone       ", tickOnly);
    std::printf("  the settle alone is %u ms\n", orv::CForegroundSettle::kSettleMs);
    g_object_unref(bus);
    return followed.empty() || tickOnly.empty() ? 1 : 0;
}
