// orvctl's link to the Linux service: the session bus, name org.orvane.Hid.
// The verbs call the methods the service offers for them; watch follows its
// Message signals (what it posts to the windows clients stand for, and its
// broadcasts) and its property changes, without standing for any window
// itself, so it takes nothing from the suite's programs.
#include "service_link.h"

#include "platform/linux/dbus_interface.h"
#include "platform/linux/linux_platform.h"

#include <gio/gio.h>
#include <glib-unix.h>

#include <csignal>
#include <iostream>

namespace orv::ctl {
namespace {

using linux_::kBusName;
using linux_::kInterface;
using linux_::kObjectPath;

// A service busy with the keyboard (some 3 s per collection that arrives) answers late.
constexpr int kCallTimeoutMs = 30000;
// Registered message numbers start here; the one the suite broadcasts is "QUIV_DEV_SYNC".
constexpr std::uint32_t kFirstRegisteredMessage = 0xC000;

bool IsNoService(const GError* error) {
    return g_error_matches(error, G_DBUS_ERROR, G_DBUS_ERROR_SERVICE_UNKNOWN) ||
           g_error_matches(error, G_DBUS_ERROR, G_DBUS_ERROR_NAME_HAS_NO_OWNER);
}

class DBusLink : public IServiceLink {
public:
    DBusLink() {
        GError* error = nullptr;
        m_bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, &error);
        if (m_bus == nullptr)
            g_error_free(error); // no session bus: no service either
    }
    ~DBusLink() override {
        if (m_bus != nullptr)
            g_object_unref(m_bus);
    }
    DBusLink(const DBusLink&) = delete;
    DBusLink& operator=(const DBusLink&) = delete;

    bool ReadState(ServiceState& state) override {
        GVariant* all = CallService("org.freedesktop.DBus.Properties", "GetAll",
                                    g_variant_new("(s)", kInterface), nullptr);
        if (all == nullptr)
            return false;
        GVariant* props = g_variant_get_child_value(all, 0);
        guchar slot = 0;
        gboolean plugged = FALSE;
        const gchar* firmware = nullptr;
        g_variant_lookup(props, "Slot", "y", &slot);
        g_variant_lookup(props, "Plugged", "b", &plugged);
        if (g_variant_lookup(props, "FirmwareVersion", "&s", &firmware))
            state.firmware = firmware;
        state.slot = slot;
        state.plugged = plugged != FALSE;
        g_variant_unref(props);
        g_variant_unref(all);
        return true;
    }

    ExitCode SelectSlot(int slot) override {
        return Method("SelectSlot", g_variant_new("(y)", static_cast<guchar>(slot)));
    }
    ExitCode TemporarySlot(int slot) override {
        return Method("Sync", g_variant_new("(ux)", guint32{1}, gint64{slot + 1}));
    }
    ExitCode ReturnSlot() override {
        return Method("Sync", g_variant_new("(ux)", guint32{1}, gint64{-1}));
    }
    ExitCode Upload(bool lighting) override {
        return Method("Upload", g_variant_new("(b)", lighting ? TRUE : FALSE));
    }
    ExitCode UploadSlot(int slot) override {
        return Method("UploadSlot", g_variant_new("(y)", static_cast<guchar>(slot)));
    }
    ExitCode Reload() override { return Method("Reload", nullptr); }

    ExitCode Watch(const std::function<void(const WatchEvent&)>& onEvent) override;

private:
    // Null on failure; `error` (when given) gets the failure, else it is dropped.
    GVariant* CallService(const char* iface, const char* method, GVariant* params, GError** error) {
        if (m_bus == nullptr) {
            if (params != nullptr)
                g_variant_unref(g_variant_ref_sink(params));
            if (error != nullptr)
                g_set_error_literal(error, G_DBUS_ERROR, G_DBUS_ERROR_SERVICE_UNKNOWN, "no bus");
            return nullptr;
        }
        GError* own = nullptr;
        GVariant* reply = g_dbus_connection_call_sync(
            m_bus, kBusName, kObjectPath, iface, method, params, nullptr,
            G_DBUS_CALL_FLAGS_NO_AUTO_START, kCallTimeoutMs, nullptr, &own);
        if (reply == nullptr) {
            if (error != nullptr)
                *error = own;
            else
                g_error_free(own);
        }
        return reply;
    }

    ExitCode Method(const char* method, GVariant* params) {
        GError* error = nullptr;
        GVariant* reply = CallService(kInterface, method, params, &error);
        if (reply != nullptr) {
            g_variant_unref(reply);
            return kExitOk;
        }
        ExitCode code = kExitFailed;
        gchar* remote = g_dbus_error_get_remote_error(error);
        if (IsNoService(error) || g_strcmp0(remote, "org.orvane.Hid1.Error.NotReady") == 0) {
            code = kExitNoService;
        } else {
            g_dbus_error_strip_remote_error(error);
            std::cerr << "orvctl: the service refused " << method << ": " << error->message << "\n";
        }
        g_free(remote);
        g_error_free(error);
        return code;
    }

    GDBusConnection* m_bus = nullptr;
};

constexpr int kStateTries = 50;
constexpr guint kStateRetryMs = 100;

struct WatchContext {
    DBusLink* link;
    const std::function<void(const WatchEvent&)>* onEvent;
    GMainLoop* loop;
    int stateTries = 0;
};

void Emit(WatchContext& context, WatchEvent::Kind kind, std::int64_t value,
          const std::string& text = {}) {
    WatchEvent event;
    event.kind = kind;
    event.value = value;
    event.text = text;
    (*context.onEvent)(event);
}

void OnMessage(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar*,
               GVariant* params, gpointer data) {
    auto& context = *static_cast<WatchContext*>(data);
    const gchar* window = nullptr;
    WatchEvent event;
    guint64 wParam = 0;
    gint64 lParam = 0;
    g_variant_get(params, "(&sutx)", &window, &event.msg, &wParam, &lParam);
    if (g_strcmp0(window, "*") == 0 && event.msg >= kFirstRegisteredMessage) {
        event.kind = WatchEvent::kSync;
        event.code = wParam;
        event.value = lParam;
    } else {
        event.kind = WatchEvent::kMessage;
        event.text = window;
        event.wParam = wParam;
        event.lParam = lParam;
    }
    (*context.onEvent)(event);
}

void OnPropertiesChanged(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar*,
                         GVariant* params, gpointer data) {
    auto& context = *static_cast<WatchContext*>(data);
    GVariant* changed = g_variant_get_child_value(params, 1);
    GVariantIter iter;
    g_variant_iter_init(&iter, changed);
    const gchar* name = nullptr;
    GVariant* value = nullptr;
    while (g_variant_iter_next(&iter, "{&sv}", &name, &value)) {
        if (g_strcmp0(name, "Slot") == 0)
            Emit(context, WatchEvent::kSlot, g_variant_get_byte(value));
        else if (g_strcmp0(name, "Plugged") == 0)
            Emit(context, WatchEvent::kPlugged, g_variant_get_boolean(value));
        else if (g_strcmp0(name, "FirmwareVersion") == 0)
            Emit(context, WatchEvent::kFirmware, 0, g_variant_get_string(value, nullptr));
        else if (g_strcmp0(name, "UploadProgress") == 0)
            Emit(context, WatchEvent::kProgress, g_variant_get_byte(value));
        g_variant_unref(value);
    }
    g_variant_unref(changed);
}

// The service's state, as a starting point for what follows. A service that
// has just taken its name may not serve its object yet: asked again shortly.
gboolean TellState(gpointer data) {
    auto& context = *static_cast<WatchContext*>(data);
    ServiceState state;
    if (!context.link->ReadState(state))
        return ++context.stateTries < kStateTries ? G_SOURCE_CONTINUE : G_SOURCE_REMOVE;
    Emit(context, WatchEvent::kSlot, state.slot);
    Emit(context, WatchEvent::kPlugged, state.plugged ? 1 : 0);
    Emit(context, WatchEvent::kFirmware, 0, state.firmware);
    return G_SOURCE_REMOVE;
}

void OnServiceUp(GDBusConnection*, const gchar*, const gchar*, gpointer data) {
    auto& context = *static_cast<WatchContext*>(data);
    Emit(context, WatchEvent::kServiceUp, 0);
    context.stateTries = 0;
    if (TellState(data) == G_SOURCE_CONTINUE)
        g_timeout_add(kStateRetryMs, TellState, data);
}

void OnServiceDown(GDBusConnection*, const gchar*, gpointer data) {
    Emit(*static_cast<WatchContext*>(data), WatchEvent::kServiceDown, 0);
}

gboolean OnInterrupt(gpointer loop) {
    g_main_loop_quit(static_cast<GMainLoop*>(loop));
    return G_SOURCE_CONTINUE;
}

ExitCode DBusLink::Watch(const std::function<void(const WatchEvent&)>& onEvent) {
    if (m_bus == nullptr) {
        std::cerr << "orvctl: no session bus to listen on\n";
        return kExitFailed;
    }
    WatchContext context{this, &onEvent, g_main_loop_new(nullptr, FALSE)};
    guint messages = g_dbus_connection_signal_subscribe(
        m_bus, kBusName, kInterface, "Message", kObjectPath, nullptr, G_DBUS_SIGNAL_FLAGS_NONE,
        OnMessage, &context, nullptr);
    guint properties = g_dbus_connection_signal_subscribe(
        m_bus, kBusName, "org.freedesktop.DBus.Properties", "PropertiesChanged", kObjectPath,
        kInterface, G_DBUS_SIGNAL_FLAGS_NONE, OnPropertiesChanged, &context, nullptr);
    // A service that is not there yet, or restarts, is followed as it comes and goes.
    guint name = g_bus_watch_name_on_connection(m_bus, kBusName, G_BUS_NAME_WATCHER_FLAGS_NONE,
                                                OnServiceUp, OnServiceDown, &context, nullptr);
    guint interrupt = g_unix_signal_add(SIGINT, OnInterrupt, context.loop);
    guint terminate = g_unix_signal_add(SIGTERM, OnInterrupt, context.loop);
    g_main_loop_run(context.loop);
    g_source_remove(interrupt);
    g_source_remove(terminate);
    g_bus_unwatch_name(name);
    g_dbus_connection_signal_unsubscribe(m_bus, properties);
    g_dbus_connection_signal_unsubscribe(m_bus, messages);
    g_main_loop_unref(context.loop);
    return kExitOk;
}

} // namespace

std::unique_ptr<IServiceLink> OpenServiceLink() {
    return std::make_unique<DBusLink>();
}

int RunPlatformVerb(const std::string&, const std::vector<std::string>&) {
    return kVerbUnknown;
}

const char* PlatformVerbsUsage() {
    return "";
}

} // namespace orv::ctl

int main(int argc, char** argv) {
    orv::linux_::InstallLinuxPlatform();
    return orv::ctl::Main(std::vector<std::string>(argv + 1, argv + argc));
}
