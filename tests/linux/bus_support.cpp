#include "bus_support.h"

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <sys/wait.h>

namespace orv::linux_test {

namespace {

// Bytes as plain numbers, everything else as GVariant prints it.
std::string Text(GVariant* value) {
    if (g_variant_is_of_type(value, G_VARIANT_TYPE_BYTE))
        return std::to_string(g_variant_get_byte(value));
    gchar* text = g_variant_print(value, FALSE);
    std::string out = text;
    g_free(text);
    return out;
}

void OnSignal(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar* member,
              GVariant* params, gpointer self) {
    auto& signals = *static_cast<std::vector<Signal>*>(self);
    Signal signal;
    signal.member = member;
    if (g_strcmp0(member, "Message") == 0) {
        const gchar* window;
        guint32 msg;
        guint64 wParam;
        gint64 lParam;
        g_variant_get(params, "(&sutx)", &window, &msg, &wParam, &lParam);
        signal.window = window;
        signal.msg = msg;
        signal.wParam = wParam;
        signal.lParam = lParam;
        signals.push_back(signal);
    } else if (g_strcmp0(member, "CopyData") == 0) {
        const gchar* window;
        guint64 id;
        GVariant* data;
        g_variant_get(params, "(&st@ay)", &window, &id, &data);
        gsize size = 0;
        const void* bytes = g_variant_get_fixed_array(data, &size, 1);
        signal.window = window;
        signal.wParam = id;
        signal.data.assign(static_cast<const char*>(bytes), size);
        g_variant_unref(data);
        signals.push_back(signal);
    } else if (g_strcmp0(member, "PropertiesChanged") == 0) {
        GVariant* changed = g_variant_get_child_value(params, 1);
        GVariantIter iter;
        g_variant_iter_init(&iter, changed);
        const gchar* name;
        GVariant* value;
        while (g_variant_iter_next(&iter, "{&sv}", &name, &value)) {
            Signal each = signal;
            each.property = name;
            each.value = Text(value);
            g_variant_unref(value);
            signals.push_back(each);
        }
        g_variant_unref(changed);
    }
}

} // namespace

void BusTest::SetUp() {
    char pattern[] = "/tmp/orv-bus-XXXXXX";
    ASSERT_NE(g_mkdtemp(pattern), nullptr);
    root = pattern;
    std::filesystem::create_directories(root + "/config");
    std::filesystem::create_directories(root + "/run");
    std::filesystem::permissions(root + "/run", std::filesystem::perms::owner_all);
    dataFolder = root + "/config/orvane";
    simLog = root + "/sim.log";
    GError* error = nullptr;
    bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, &error);
    ASSERT_NE(bus, nullptr) << (error ? error->message : "") << " (run under dbus-run-session)";
    m_subscription = g_dbus_connection_signal_subscribe(
        bus, nullptr, nullptr, nullptr, "/org/orvane/Hid", nullptr, G_DBUS_SIGNAL_FLAGS_NONE,
        OnSignal, &signals, nullptr);
}

void BusTest::TearDown() {
    if (service != 0) {
        kill(service, SIGKILL);
        waitpid(service, nullptr, 0);
        g_spawn_close_pid(service);
        service = 0;
    }
    if (bus != nullptr) {
        g_dbus_connection_signal_unsubscribe(bus, m_subscription);
        g_object_unref(bus);
        bus = nullptr;
    }
    std::error_code error;
    std::filesystem::remove_all(root, error);
}

std::vector<std::string> BusTest::Environment() const {
    std::vector<std::string> env;
    gchar** current = g_get_environ();
    for (gchar** e = current; *e != nullptr; ++e) {
        std::string entry = *e;
        if (entry.rfind("XDG_CONFIG_HOME=", 0) != 0 && entry.rfind("XDG_RUNTIME_DIR=", 0) != 0 &&
            entry.rfind("HOME=", 0) != 0)
            env.push_back(entry);
    }
    g_strfreev(current);
    env.push_back("XDG_CONFIG_HOME=" + root + "/config");
    env.push_back("XDG_RUNTIME_DIR=" + root + "/run");
    env.push_back("HOME=" + root);
    return env;
}

std::vector<char*> Pointers(std::vector<std::string>& strings) {
    std::vector<char*> out;
    for (std::string& s : strings)
        out.push_back(s.data());
    out.push_back(nullptr);
    return out;
}

void BusTest::Start(const std::vector<std::string>& args) {
    std::vector<std::string> argv{ORV_SERVICE_PATH};
    argv.insert(argv.end(), args.begin(), args.end());
    if (std::find(args.begin(), args.end(), "--simulated-keyboard") != args.end()) {
        argv.push_back("--sim-log");
        argv.push_back(simLog);
    }
    std::vector<std::string> env = Environment();
    auto argp = Pointers(argv);
    auto envp = Pointers(env);
    GError* error = nullptr;
    ASSERT_TRUE(g_spawn_async(nullptr, argp.data(), envp.data(), G_SPAWN_DO_NOT_REAP_CHILD, nullptr,
                              nullptr, &service, &error))
        << error->message;
    ASSERT_TRUE(WaitFor([&] { return NameOwned(); })) << "the service never took its name";
    if (argv.size() > args.size() + 1) {
        ASSERT_TRUE(WaitFor([&] { return LogLines(" read ") >= 2 * 5; }, 60000))
            << "the start-up queries never ended";
    }
}

int BusTest::LogLines(const std::string& text) const {
    std::ifstream log(simLog);
    int count = 0;
    for (std::string line; std::getline(log, line);)
        count += line.find(text) != std::string::npos ? 1 : 0;
    return count;
}

int BusTest::RunOnce(const std::vector<std::string>& args, std::string* output, int timeoutMs) {
    std::vector<std::string> argv{ORV_SERVICE_PATH};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<std::string> env = Environment();
    auto argp = Pointers(argv);
    auto envp = Pointers(env);
    GPid pid = 0;
    gint out = -1;
    GError* error = nullptr;
    if (!g_spawn_async_with_pipes(nullptr, argp.data(), envp.data(), G_SPAWN_DO_NOT_REAP_CHILD,
                                  nullptr, nullptr, &pid, nullptr, &out, nullptr, &error)) {
        ADD_FAILURE() << error->message;
        g_error_free(error);
        return -1;
    }
    int status = 0;
    bool ended = WaitFor([&] { return waitpid(pid, &status, WNOHANG) == pid; }, timeoutMs);
    if (!ended) {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
    }
    if (output != nullptr) {
        char buf[4096];
        ssize_t n;
        while ((n = read(out, buf, sizeof buf)) > 0)
            output->append(buf, static_cast<std::size_t>(n));
    }
    close(out);
    g_spawn_close_pid(pid);
    return ended && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

int BusTest::WaitForExit(int timeoutMs) {
    int status = 0;
    if (!WaitFor([&] { return waitpid(service, &status, WNOHANG) == service; }, timeoutMs))
        return -1;
    g_spawn_close_pid(service);
    service = 0;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool BusTest::NameOwned(const char* name) {
    GVariant* reply = g_dbus_connection_call_sync(
        bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
        "NameHasOwner", g_variant_new("(s)", name), G_VARIANT_TYPE("(b)"), G_DBUS_CALL_FLAGS_NONE,
        -1, nullptr, nullptr);
    gboolean owned = FALSE;
    if (reply != nullptr) {
        g_variant_get(reply, "(b)", &owned);
        g_variant_unref(reply);
    }
    return owned != FALSE;
}

GVariant* BusTest::Call(const char* method, GVariant* params, std::string* errorName,
                        const char* path, const char* iface) {
    GError* error = nullptr;
    GVariant* reply =
        g_dbus_connection_call_sync(bus, "org.orvane.Hid", path, iface, method, params, nullptr,
                                    G_DBUS_CALL_FLAGS_NONE, 60000, nullptr, &error);
    if (reply == nullptr) {
        if (errorName != nullptr) {
            gchar* name = g_dbus_error_get_remote_error(error);
            *errorName = name != nullptr ? name : error->message;
            g_free(name);
        }
        g_error_free(error);
    }
    return reply;
}

void BusTest::CallOk(const char* method, GVariant* params) {
    std::string error;
    GVariant* reply = Call(method, params, &error);
    ASSERT_NE(reply, nullptr) << method << ": " << error;
    g_variant_unref(reply);
}

void BusTest::SimOk(const char* method, GVariant* params) {
    std::string error;
    GVariant* reply =
        Call(method, params, &error, "/org/orvane/Hid/Simulator", "org.orvane.Hid1.Simulator");
    ASSERT_NE(reply, nullptr) << method << ": " << error;
    g_variant_unref(reply);
}

std::string BusTest::Property(const char* name) {
    GVariant* reply = Call("Get", g_variant_new("(ss)", "org.orvane.Hid1", name), nullptr,
                           "/org/orvane/Hid", "org.freedesktop.DBus.Properties");
    if (reply == nullptr)
        return "<none>";
    GVariant* value = nullptr;
    g_variant_get(reply, "(v)", &value);
    std::string out = Text(value);
    g_variant_unref(value);
    g_variant_unref(reply);
    return out;
}

bool BusTest::WaitFor(const std::function<bool()>& done, int timeoutMs) {
    gint64 end = g_get_monotonic_time() + static_cast<gint64>(timeoutMs) * 1000;
    while (!done()) {
        if (g_get_monotonic_time() > end)
            return false;
        while (g_main_context_iteration(nullptr, FALSE)) {
        }
        if (done())
            return true;
        g_usleep(10000);
    }
    return true;
}

void BusTest::Pump(int ms) {
    WaitFor([] { return false; }, ms);
}

bool BusTest::HasMessage(const std::string& window, std::uint32_t msg, std::uint64_t wParam,
                         std::int64_t lParam) const {
    for (const Signal& s : signals) {
        if (s.member == "Message" && s.window == window && s.msg == msg && s.wParam == wParam &&
            s.lParam == lParam)
            return true;
    }
    return false;
}

bool BusTest::HasChange(const std::string& property, const std::string& value) const {
    for (const Signal& s : signals) {
        if (s.member == "PropertiesChanged" && s.property == property && s.value == value)
            return true;
    }
    return false;
}

} // namespace orv::linux_test
