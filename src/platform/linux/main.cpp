// Entry point of the Linux service: the single-instance guard is the bus
// name, the user-interface thread is the GLib main loop that the window
// system runs, and SIGTERM closes the main window as WM_CLOSE does on
// Windows, so the service ends through the same destroy handling.
#include "app/hid_app.h"
#include "app/hid_wnd.h"
#include "base/wstr.h"
#include "device/hid_library.h"
#include "device/sim/platform_sim_env.h"
#include "device/sim/sim_keyboard.h"
#include "hiddevice/hid_engine.h"
#include "platform/linux/dbus_interface.h"
#include "platform/linux/hidraw_stack.h"
#include "platform/linux/linux_bus.h"
#include "platform/linux/linux_platform.h"
#include "platform/linux/udev_hidraw_source.h"
#include "storage/settings.h"

#include <gio/gio.h>
#include <glib-unix.h>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

constexpr char kUsage[] =
    "Usage: orvane-hid [--simulated-keyboard [--sim-log FILE]]\n"
    "\n"
    "The Orvane keyboard service of this user's session. It owns the name\n"
    "org.orvane.Hid on the session bus (a second start ends at once), keeps\n"
    "its settings and profiles in $XDG_CONFIG_HOME/orvane/ (default\n"
    "~/.config/orvane/) and ends on SIGTERM.\n"
    "\n"
    "  --simulated-keyboard  serve a simulated keyboard, driven over the bus\n"
    "                        (/org/orvane/Hid/Simulator), instead of the real\n"
    "                        one on its hidraw nodes\n"
    "  --sim-log FILE        write the simulated keyboard's traffic to FILE\n"
    "  --help                show this text\n"
    "  --version             show the version\n";

struct Options {
    bool simulated = false;
    std::string simLog;
};

// 0 to go on; otherwise the exit code plus one.
int ParseArguments(int argc, char** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--help") {
            std::fputs(kUsage, stdout);
            return 1;
        }
        if (arg == "--version") {
            std::printf("orvane-hid %s\n", ORV_VERSION);
            return 1;
        }
        if (arg == "--simulated-keyboard") {
            options.simulated = true;
        } else if (arg == "--sim-log" && i + 1 < argc) {
            options.simLog = argv[++i];
        } else {
            std::fprintf(stderr, "orvane-hid: unknown argument %s\n\n%s", arg.c_str(), kUsage);
            return 3;
        }
    }
    if (!options.simLog.empty() && !options.simulated) {
        std::fprintf(stderr, "orvane-hid: --sim-log needs --simulated-keyboard\n");
        return 3;
    }
    return 0;
}

// Asks for the name without queueing: 1 when this process owns it now,
// 0 when another does, -1 on failure.
int OwnName(GDBusConnection* bus) {
    GError* error = nullptr;
    GVariant* reply = g_dbus_connection_call_sync(
        bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "RequestName",
        g_variant_new("(su)", orv::linux_::kBusName, 4u /* do not queue */), G_VARIANT_TYPE("(u)"),
        G_DBUS_CALL_FLAGS_NONE, -1, nullptr, &error);
    if (reply == nullptr) {
        std::fprintf(stderr, "orvane-hid: %s\n", error->message);
        g_error_free(error);
        return -1;
    }
    guint32 result = 0;
    g_variant_get(reply, "(u)", &result);
    g_variant_unref(reply);
    return result == 1 || result == 4 ? 1 : 0; // primary owner, or already it
}

// The traffic log of the simulated keyboard, in the format of the Windows
// build's simulated HidDevice.dll: flushed line by line for a reader that
// follows it.
FILE* g_simLog = nullptr;

gboolean OnTerminate(gpointer app) {
    orv::CHidWnd* main = static_cast<orv::CHidApp*>(app)->MainWindow();
    if (main != nullptr && orv::Windows().IsWnd(main->GetSafeHwnd()))
        orv::Windows().PostMsg(main->GetSafeHwnd(), orv::WM_CLOSE, 0, 0);
    else
        orv::Windows().QuitLoop(0);
    return G_SOURCE_CONTINUE;
}

// The library for the real keyboard: the engine over the hidraw nodes udev
// lists, its notices posted into the GLib loop from the engine's threads.
orv::IHidLibrary* MakeHidrawLibrary() {
    static orv::linux_::IHidrawSource* source = orv::linux_::MakeUdevHidrawSource().release();
    static auto* stack = new orv::linux_::HidrawStack(
        *source, [](orv::WndHandle wnd, orv::MsgId msg, orv::WParam wParam, orv::LParam lParam) {
            return orv::linux_::LinuxWindows().PostMsg(wnd, msg, wParam, lParam);
        });
    return new orv::hid::HidEngine(*stack);
}

} // namespace

int main(int argc, char** argv) {
    Options options;
    if (int done = ParseArguments(argc, argv, options))
        return done - 1;

    GError* error = nullptr;
    GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, &error);
    if (bus == nullptr) {
        std::fprintf(stderr, "orvane-hid: no session bus: %s\n", error->message);
        g_error_free(error);
        return 1;
    }
    int owned = OwnName(bus);
    if (owned <= 0) {
        g_object_unref(bus);
        return owned == 0 ? 0 : 1; // another instance runs: as on Windows, that is no failure
    }

    orv::linux_::InstallLinuxPlatform();
    // The library lives as long as the process, as the device connection expects.
    orv::sim::SimKeyboard* keyboard = nullptr;
    orv::IHidLibrary* hidraw = nullptr;
    if (options.simulated) {
        static orv::sim::PlatformSimEnvironment environment;
        keyboard = new orv::sim::SimKeyboard(environment);
        if (!options.simLog.empty()) {
            g_simLog = std::fopen(options.simLog.c_str(), "wb");
            if (g_simLog == nullptr) {
                std::fprintf(stderr, "orvane-hid: cannot write %s: %s\n", options.simLog.c_str(),
                             std::strerror(errno));
                return 1;
            }
            keyboard->onEvent = [](const orv::sim::SimEvent& event) {
                std::string line = orv::sim::FormatSimEvent(event) + "\r\n";
                std::fwrite(line.data(), 1, line.size(), g_simLog);
                std::fflush(g_simLog);
            };
        }
        orv::InstallHidLibrary(keyboard);
    } else {
        hidraw = MakeHidrawLibrary();
        orv::InstallHidLibrary(hidraw);
    }

    int exitCode;
    {
        orv::CHidApp app;
        orv::linux_::BusService service(bus, app, keyboard);
        if (!service.Register(&error)) {
            std::fprintf(stderr, "orvane-hid: %s\n", error->message);
            g_error_free(error);
            return 1;
        }
        orv::linux_::LinuxWindows().onActivity = [&service] { service.CheckProperties(); };
        orv::linux_::LinuxRegistry().onChange = [&service](std::u16string_view key,
                                                           std::u16string_view name) {
            if (orv::EqualsNoCase(key, orv::kRegistryKeyPath))
                service.RegistryChanged(name);
        };
        guint term = g_unix_signal_add(SIGTERM, OnTerminate, &app);
        guint interrupt = g_unix_signal_add(SIGINT, OnTerminate, &app);
        exitCode = app.Run();
        g_source_remove(term);
        g_source_remove(interrupt);
        orv::linux_::LinuxWindows().onActivity = nullptr;
        orv::linux_::LinuxRegistry().onChange = nullptr;
    }
    // The core never closes the library; its threads stop here, before the
    // window system they post into goes away with the process.
    if (hidraw != nullptr)
        hidraw->Close(0);
    g_dbus_connection_flush_sync(bus, nullptr, nullptr);
    g_object_unref(bus);
    return exitCode;
}
