// What the running Linux service costs the machine: its resident memory, how
// often an idle service wakes (context switches of all its threads, with the
// simulated keyboard plugged in and pulled out), and the round trip of a
// Post over the bus beside the bus's own round trip in the same run. A
// timing program, not a test: it prints figures for docs/performance.md.
//   orv_service_bench_linux [--idle-seconds N] [--calls N]   (on a session bus)
#include <gio/gio.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fstream>
#include <map>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

GDBusConnection* g_bus = nullptr;

GVariant* Call(const char* dest, const char* path, const char* iface, const char* method,
               GVariant* params) {
    GError* error = nullptr;
    GVariant* reply =
        g_dbus_connection_call_sync(g_bus, dest, path, iface, method, params, nullptr,
                                    G_DBUS_CALL_FLAGS_NO_AUTO_START, 30000, nullptr, &error);
    if (reply == nullptr) {
        std::fprintf(stderr, "bench: %s.%s: %s\n", iface, method, error->message);
        std::exit(1);
    }
    return reply;
}

void Simulator(const char* method) {
    g_variant_unref(Call("org.orvane.Hid", "/org/orvane/Hid/Simulator", "org.orvane.Hid1.Simulator",
                         method, nullptr));
}

bool NameOwned() {
    GVariant* reply = Call("org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                           "NameHasOwner", g_variant_new("(s)", "org.orvane.Hid"));
    gboolean owned = FALSE;
    g_variant_get(reply, "(b)", &owned);
    g_variant_unref(reply);
    return owned != FALSE;
}

// A field of /proc/<pid>/status or /proc/<pid>/task/<tid>/status, in its own unit.
long StatusField(const std::string& statusFile, const std::string& name) {
    std::ifstream in(statusFile);
    std::string line;
    while (std::getline(in, line))
        if (line.compare(0, name.size() + 1, name + ":") == 0)
            return std::strtol(line.c_str() + name.size() + 1, nullptr, 10);
    return -1;
}

// Context switches (voluntary and involuntary) of each thread, by "tid name".
std::map<std::string, long> Switches(pid_t pid) {
    std::map<std::string, long> out;
    std::string tasks = "/proc/" + std::to_string(pid) + "/task";
    DIR* dir = opendir(tasks.c_str());
    if (dir == nullptr)
        return out;
    while (dirent* entry = readdir(dir)) {
        if (entry->d_name[0] == '.')
            continue;
        std::string task = tasks + "/" + entry->d_name;
        std::ifstream commFile(task + "/comm");
        std::string comm;
        std::getline(commFile, comm);
        long voluntary = StatusField(task + "/status", "voluntary_ctxt_switches");
        long involuntary = StatusField(task + "/status", "nonvoluntary_ctxt_switches");
        if (voluntary >= 0 && involuntary >= 0)
            out[std::string(entry->d_name) + " " + comm] = voluntary + involuntary;
    }
    closedir(dir);
    return out;
}

// A plug-in keeps the service busy for a while (the keyboard's plug handling
// waits 3 s before its first query, once for each of its collections, and
// its loop answers nothing meanwhile): the figures wait until the loop has
// answered a property read at once four times over 4 s.
void Settle() {
    int quick = 0;
    for (int i = 0; i < 120 && quick < 4; ++i) {
        auto start = Clock::now();
        g_variant_unref(Call("org.orvane.Hid", "/org/orvane/Hid", "org.freedesktop.DBus.Properties",
                             "Get", g_variant_new("(ss)", "org.orvane.Hid1", "Slot")));
        quick = Clock::now() - start < std::chrono::milliseconds(100) ? quick + 1 : 0;
        std::this_thread::sleep_for(std::chrono::seconds(1));
    }
    if (quick < 4) {
        std::fprintf(stderr, "bench: the service did not settle in 120 s\n");
        std::exit(1);
    }
}

void IdleWakeups(pid_t pid, const char* state, int seconds) {
    std::map<std::string, long> before = Switches(pid);
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    std::map<std::string, long> after = Switches(pid);
    long total = 0;
    std::string threads;
    for (const auto& [thread, count] : after) {
        auto was = before.find(thread);
        long delta = count - (was == before.end() ? 0 : was->second);
        total += delta;
        threads += "  " + thread + " " + std::to_string(delta);
    }
    std::printf("idle wake-ups, keyboard %s, %d s: %ld  (per thread:%s)\n", state, seconds, total,
                threads.c_str());
}

void RoundTrips(const char* what, int calls, const char* dest, const char* path, const char* iface,
                const char* method, GVariant* params) {
    if (params != nullptr)
        g_variant_ref_sink(params);
    std::vector<double> us;
    for (int i = 0; i < calls; ++i) {
        auto start = Clock::now();
        g_variant_unref(
            Call(dest, path, iface, method, params != nullptr ? g_variant_ref(params) : nullptr));
        us.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
    }
    if (params != nullptr)
        g_variant_unref(params);
    std::sort(us.begin(), us.end());
    std::printf("%-44s median %7.1f us  90%% %7.1f us  worst %8.1f us  (%d calls)\n", what,
                us[us.size() / 2], us[us.size() * 9 / 10], us.back(), calls);
}

// The service on its own name, on the simulated keyboard or the real ones;
// -1 when it does not take the name.
pid_t Start(bool simulated) {
    pid_t pid = fork();
    if (pid == 0) {
        if (simulated)
            execl(ORV_SERVICE_PATH, ORV_SERVICE_PATH, "--simulated-keyboard",
                  static_cast<char*>(nullptr));
        else
            execl(ORV_SERVICE_PATH, ORV_SERVICE_PATH, static_cast<char*>(nullptr));
        _exit(127);
    }
    for (int i = 0; i < 100 && !NameOwned(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    if (!NameOwned()) {
        std::fprintf(stderr, "bench: the service did not take its name\n");
        return -1;
    }
    return pid;
}

// SIGTERM, then its exit code (-1 when it did not exit by itself).
int Stop(pid_t pid) {
    kill(pid, SIGTERM);
    int status = 0;
    waitpid(pid, &status, 0);
    int code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    std::printf("stopped on SIGTERM: exit code %d\n", code);
    return code;
}

} // namespace

int main(int argc, char** argv) {
    int idleSeconds = 60;
    int calls = 2000;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--idle-seconds") == 0)
            idleSeconds = std::atoi(argv[i + 1]);
        else if (std::strcmp(argv[i], "--calls") == 0)
            calls = std::atoi(argv[i + 1]);
    }
    GError* error = nullptr;
    g_bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, &error);
    if (g_bus == nullptr) {
        std::fprintf(stderr, "bench: no session bus (run under dbus-run-session): %s\n",
                     error->message);
        return 1;
    }

    char home[] = "/tmp/orv-bench-XXXXXX";
    if (mkdtemp(home) == nullptr)
        return 1;
    setenv("XDG_CONFIG_HOME", home, 1);
    pid_t pid = Start(true);
    if (pid < 0)
        return 1;
    Settle();
    std::string status = "/proc/" + std::to_string(pid) + "/status";
    std::printf("resident memory: VmRSS %ld KiB, peak VmHWM %ld KiB, threads %ld\n",
                StatusField(status, "VmRSS"), StatusField(status, "VmHWM"),
                StatusField(status, "Threads"));

    IdleWakeups(pid, "plugged in", idleSeconds);
    Simulator("Unplug");
    Settle();
    IdleWakeups(pid, "unplugged", idleSeconds);
    Simulator("Plug");
    Settle();

    RoundTrips("bus: org.freedesktop.DBus.GetId", calls, "org.freedesktop.DBus",
               "/org/freedesktop/DBus", "org.freedesktop.DBus", "GetId", nullptr);
    RoundTrips("service: org.freedesktop.DBus.Peer.Ping", calls, "org.orvane.Hid",
               "/org/orvane/Hid", "org.freedesktop.DBus.Peer", "Ping", nullptr);
    RoundTrips("service: org.orvane.Hid1.Post (WM_NULL)", calls, "org.orvane.Hid",
               "/org/orvane/Hid", "org.orvane.Hid1", "Post",
               g_variant_new("(utx)", 0u, guint64{0}, gint64{0}));
    std::printf("resident memory after the calls: VmRSS %ld KiB\n", StatusField(status, "VmRSS"));

    int code = Stop(pid);
    // The service on real keyboards, none of them plugged in: its hidraw
    // watch alone.
    pid = Start(false);
    if (pid < 0)
        return 1;
    Settle();
    status = "/proc/" + std::to_string(pid) + "/status";
    std::printf("without --simulated-keyboard: VmRSS %ld KiB, threads %ld\n",
                StatusField(status, "VmRSS"), StatusField(status, "Threads"));
    IdleWakeups(pid, "absent (hidraw)", idleSeconds);
    code |= Stop(pid);
    std::string remove = std::string("rm -rf ") + home;
    return std::system(remove.c_str()) == 0 && code == 0 ? 0 : 1;
}
