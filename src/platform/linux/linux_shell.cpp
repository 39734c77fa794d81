// Linux backend of the shell services. The application-data folder is
// $XDG_CONFIG_HOME (default ~/.config); its "orvane" folder is made here
// when missing, so the core's "Orvane" data folder lands there by the
// case-blind name matching of the file services.
//
// Starting a program: an executable file, with its parameters split as a
// shell would (no shell runs them), or a desktop entry (.desktop) through
// GIO. Whatever starts is detached from the service: a session of its own,
// no descriptor of the service's but the three standard ones on /dev/null,
// and a grandchild that init adopts, so the service never has a child to
// wait for. The suite's Windows programs the core names ("osdview.exe"
// beside the service) are the Linux programs installed beside it
// (kSuitePrograms). There are no shell verbs and no shortcut files.
#include "platform/linux/linux_shell.h"

#include "platform/linux/linux_backends.h"

#include "base/wstr.h"
#include "platform/linux/linux_files.h"

#include <gio/gdesktopappinfo.h>
#include <glib.h>

#include <climits>
#include <cstdlib>
#include <string>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

namespace orv::linux_ {

namespace {

// The suite's programs by their Windows names, the Linux programs that
// stand for them beside the service, the bus name each holds and the window
// it stands for.
struct SuiteProgram {
    const char* windowsName;
    const char* linuxName;
    const char* busName;
    const char* window;
};
constexpr SuiteProgram kSuitePrograms[] = {
    {"osdview.exe", "orvane-osd", "org.orvane.Osd", "Orvane OSD"},
    {"traystub.exe", "orvane-tray", "org.orvane.Tray", "Orvane_TrayIcon"},
};

// Long enough for a program to start and take its name; a program that
// takes longer registers its window itself once the loop runs again.
constexpr int kSuiteStartMs = 1000;

SuiteWindowMaker& WindowMaker() {
    static SuiteWindowMaker maker;
    return maker;
}

bool MakeFolders(const std::string& path) {
    for (std::size_t p = path.find('/', 1);; p = path.find('/', p + 1)) {
        std::string level = path.substr(0, p);
        struct stat st;
        if (::stat(level.c_str(), &st) != 0 && ::mkdir(level.c_str(), 0700) != 0)
            return false;
        if (p == std::string::npos)
            return true;
    }
}

std::string RealFolder(const std::string& path) {
    char resolved[PATH_MAX];
    return ::realpath(path.c_str(), resolved) != nullptr ? std::string(resolved) : std::string();
}

// The Linux program for a suite program the core names beside the service;
// `program` itself when it exists or is none of the suite's.
std::string MapSuiteProgram(const std::string& program) {
    struct stat st;
    if (::stat(program.c_str(), &st) == 0)
        return program;
    std::size_t slash = program.rfind('/');
    std::string folder = program.substr(0, slash == 0 ? 1 : slash);
    const char* name = program.c_str() + slash + 1;
    for (const SuiteProgram& suite : kSuitePrograms) {
        if (::strcasecmp(name, suite.windowsName) != 0)
            continue;
        // Only beside the service: a profile naming such a file elsewhere
        // names a program that is not there.
        std::string own = RealFolder("/proc/self/exe");
        own = own.substr(0, own.rfind('/'));
        if (own.empty() || RealFolder(folder) != own)
            return program;
        return own + "/" + suite.linuxName;
    }
    return program;
}

const SuiteProgram* FindSuiteProgram(const std::string& program) {
    std::string name = program.substr(program.rfind('/') + 1);
    for (const SuiteProgram& suite : kSuitePrograms) {
        if (name == suite.linuxName)
            return &suite;
    }
    return nullptr;
}

std::string NameOwner(GDBusConnection* bus, const char* name) {
    GVariant* reply = g_dbus_connection_call_sync(
        bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
        "GetNameOwner", g_variant_new("(s)", name), G_VARIANT_TYPE("(s)"), G_DBUS_CALL_FLAGS_NONE,
        kSuiteStartMs, nullptr, nullptr);
    if (reply == nullptr)
        return {};
    const gchar* owner = nullptr;
    g_variant_get(reply, "(&s)", &owner);
    std::string out = owner;
    g_variant_unref(reply);
    return out;
}

// Waits, a moment at most, for the started program (or the instance that
// ran before it) to hold its name, and has its window made.
void MakeSuiteWindow(const SuiteProgram& suite) {
    if (!WindowMaker())
        return;
    GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
    if (bus == nullptr)
        return;
    gint64 end = g_get_monotonic_time() + gint64{kSuiteStartMs} * 1000;
    std::string owner;
    while ((owner = NameOwner(bus, suite.busName)).empty() && g_get_monotonic_time() < end)
        g_usleep(10000);
    g_object_unref(bus);
    if (!owner.empty())
        WindowMaker()(owner, suite.window);
}

bool EndsWithNoCase(const std::string& text, const char* tail) {
    std::size_t n = std::char_traits<char>::length(tail);
    return text.size() > n && ::strcasecmp(text.c_str() + text.size() - n, tail) == 0;
}

// Runs in the started program before it executes: it leaves the service's
// session, so neither the service's end nor its terminal reaches it.
void LeaveSession(gpointer) {
    ::setsid();
}

// Without G_SPAWN_DO_NOT_REAP_CHILD GLib starts the program from an
// intermediate child that ends at once: init adopts the program.
GSpawnFlags DetachedFlags(bool keepErrors) {
    int flags = G_SPAWN_STDIN_FROM_DEV_NULL | G_SPAWN_STDOUT_TO_DEV_NULL;
    if (!keepErrors)
        flags |= G_SPAWN_STDERR_TO_DEV_NULL;
    return static_cast<GSpawnFlags>(flags);
}

bool StartExecutable(const std::string& program, std::u16string_view params) {
    struct stat st;
    if (::stat(program.c_str(), &st) != 0 || !S_ISREG(st.st_mode) ||
        ::access(program.c_str(), X_OK) != 0)
        return false;
    gchar** args = nullptr;
    gint count = 0;
    std::string text = ToUtf8(params);
    if (!text.empty() && !g_shell_parse_argv(text.c_str(), &count, &args, nullptr))
        return false;
    GPtrArray* argv = g_ptr_array_new();
    g_ptr_array_add(argv, const_cast<char*>(program.c_str()));
    for (gint i = 0; i < count; ++i)
        g_ptr_array_add(argv, args[i]);
    g_ptr_array_add(argv, nullptr);
    // The suite's own programs keep the service's error output for their
    // debug lines; a user's program has nothing of the service's.
    const SuiteProgram* suite = FindSuiteProgram(program);
    gboolean started =
        g_spawn_async(nullptr, reinterpret_cast<gchar**>(argv->pdata), nullptr,
                      DetachedFlags(suite != nullptr), LeaveSession, nullptr, nullptr, nullptr);
    g_ptr_array_free(argv, TRUE);
    g_strfreev(args);
    if (started && suite != nullptr)
        MakeSuiteWindow(*suite);
    return started != FALSE;
}

bool StartDesktopEntry(const std::string& entry) {
    GDesktopAppInfo* app = g_desktop_app_info_new_from_filename(entry.c_str());
    if (app == nullptr)
        return false; // not an entry, hidden, or its TryExec is missing
    GError* error = nullptr;
    gboolean started = g_desktop_app_info_launch_uris_as_manager(
        app, nullptr, nullptr, static_cast<GSpawnFlags>(DetachedFlags(false) | G_SPAWN_SEARCH_PATH),
        LeaveSession, nullptr, nullptr, nullptr, &error);
    if (error != nullptr)
        g_error_free(error);
    g_object_unref(app);
    return started != FALSE;
}

class LinuxShellServices final : public IShell {
public:
    std::u16string AppDataFolder() override {
        const char* config = std::getenv("XDG_CONFIG_HOME");
        std::string folder;
        if (config != nullptr && config[0] == '/') {
            folder = config;
        } else {
            const char* home = std::getenv("HOME");
            if (home == nullptr || home[0] != '/')
                return {};
            folder = std::string(home) + "/.config";
        }
        while (folder.size() > 1 && folder.back() == '/')
            folder.pop_back();
        std::u16string wide = FromUtf8(folder);
        if (!MakeFolders(folder))
            return {};
        // The XDG name of the data folder, unless one of any case is there.
        if (PosixPath(wide + u"/Orvane") == folder + "/Orvane")
            ::mkdir((folder + "/orvane").c_str(), 0700);
        return wide;
    }
    bool Execute(const char16_t*, std::u16string_view file, std::u16string_view params,
                 int) override {
        std::string program = PosixPath(file);
        if (program.empty() || program.back() == '/')
            return false;
        program = MapSuiteProgram(program);
        if (EndsWithNoCase(program, ".desktop"))
            return StartDesktopEntry(program);
        return StartExecutable(program, params);
    }
    bool ResolveShellLink(std::u16string_view, std::u16string&) override { return false; }
};

} // namespace

void SetSuiteWindowMaker(SuiteWindowMaker maker) {
    WindowMaker() = std::move(maker);
}

IShell& LinuxShell() {
    static LinuxShellServices shell;
    return shell;
}

} // namespace orv::linux_
