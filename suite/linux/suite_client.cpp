#include "suite_client.h"

#include <glib-unix.h>

#include <csignal>
#include <cstdio>

namespace orv::suite {

namespace {

// A call the service or a desktop component should answer at once; one that
// does not is given up rather than waited for.
constexpr int kCallTimeoutMs = 2000;

} // namespace

SuiteClient::SuiteClient(std::string instanceName, std::string windowTitle)
    : m_instanceName(std::move(instanceName)), m_title(std::move(windowTitle)) {}

SuiteClient::~SuiteClient() {
    if (m_bus == nullptr)
        return;
    if (m_serviceWatch != 0)
        g_bus_unwatch_name(m_serviceWatch);
    if (m_windowSignals != 0)
        g_dbus_connection_signal_unsubscribe(m_bus, m_windowSignals);
    if (m_propertySignals != 0)
        g_dbus_connection_signal_unsubscribe(m_bus, m_propertySignals);
    g_dbus_connection_flush_sync(m_bus, nullptr, nullptr);
    g_object_unref(m_bus);
}

int SuiteClient::Open() {
    GError* error = nullptr;
    m_bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, &error);
    if (m_bus == nullptr) {
        std::fprintf(stderr, "%s: no session bus: %s\n", g_get_prgname(), error->message);
        g_error_free(error);
        return 1;
    }
    // Only what the service itself says to this window (its first argument).
    // The bus has these rules before it gives us the name: the service makes
    // our window as soon as we hold it, and may send to it at once.
    m_windowSignals = g_dbus_connection_signal_subscribe(
        m_bus, kServiceName, kServiceInterface, nullptr, kServicePath, m_title.c_str(),
        G_DBUS_SIGNAL_FLAGS_NONE, &SuiteClient::OnSignal, this, nullptr);
    m_propertySignals = g_dbus_connection_signal_subscribe(
        m_bus, kServiceName, "org.freedesktop.DBus.Properties", "PropertiesChanged", kServicePath,
        kServiceInterface, G_DBUS_SIGNAL_FLAGS_NONE, &SuiteClient::OnPropertiesChanged, this,
        nullptr);
    // The service may start us several times while it waits for the window:
    // the name, which the bus daemon grants to one, keeps a single instance.
    GVariant* reply = g_dbus_connection_call_sync(
        m_bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
        "RequestName", g_variant_new("(su)", m_instanceName.c_str(), 4u /* do not queue */),
        G_VARIANT_TYPE("(u)"), G_DBUS_CALL_FLAGS_NONE, kCallTimeoutMs, nullptr, &error);
    if (reply == nullptr) {
        std::fprintf(stderr, "%s: %s\n", g_get_prgname(), error->message);
        g_error_free(error);
        return 1;
    }
    guint32 result = 0;
    g_variant_get(reply, "(u)", &result);
    g_variant_unref(reply);
    if (result != 1 && result != 4)
        return -1;

    m_serviceWatch =
        g_bus_watch_name_on_connection(m_bus, kServiceName, G_BUS_NAME_WATCHER_FLAGS_NONE,
                                       &SuiteClient::OnAppeared, nullptr, this, nullptr);
    return 0;
}

void SuiteClient::OnProperty(PropertyHandler handler, const char* initial) {
    m_onProperty = std::move(handler);
    m_initialProperty = initial != nullptr ? initial : "";
}

void SuiteClient::OnAppeared(GDBusConnection* bus, const gchar*, const gchar*, gpointer self) {
    auto* client = static_cast<SuiteClient*>(self);
    g_dbus_connection_call(bus, kServiceName, kServicePath, kServiceInterface, "RegisterWindow",
                           g_variant_new("(s)", client->m_title.c_str()), nullptr,
                           G_DBUS_CALL_FLAGS_NO_AUTO_START, kCallTimeoutMs, nullptr, nullptr,
                           nullptr);
    if (!client->m_initialProperty.empty()) {
        g_dbus_connection_call(
            bus, kServiceName, kServicePath, "org.freedesktop.DBus.Properties", "Get",
            g_variant_new("(ss)", kServiceInterface, client->m_initialProperty.c_str()),
            G_VARIANT_TYPE("(v)"), G_DBUS_CALL_FLAGS_NO_AUTO_START, kCallTimeoutMs, nullptr,
            &SuiteClient::OnInitialProperty, client);
    }
    if (client->m_onAppeared)
        client->m_onAppeared();
}

void SuiteClient::OnInitialProperty(GObject* source, GAsyncResult* result, gpointer self) {
    auto* client = static_cast<SuiteClient*>(self);
    GVariant* reply = g_dbus_connection_call_finish(G_DBUS_CONNECTION(source), result, nullptr);
    if (reply == nullptr)
        return;
    GVariant* value = nullptr;
    g_variant_get(reply, "(v)", &value);
    if (client->m_onProperty)
        client->m_onProperty(client->m_initialProperty.c_str(), value);
    g_variant_unref(value);
    g_variant_unref(reply);
}

void SuiteClient::OnSignal(GDBusConnection*, const gchar*, const gchar*, const gchar*,
                           const gchar* member, GVariant* params, gpointer self) {
    auto* client = static_cast<SuiteClient*>(self);
    if (g_strcmp0(member, "Message") == 0 &&
        g_variant_is_of_type(params, G_VARIANT_TYPE("(sutx)"))) {
        const gchar* window;
        guint32 msg;
        guint64 wParam;
        gint64 lParam;
        g_variant_get(params, "(&sutx)", &window, &msg, &wParam, &lParam);
        if (client->m_onMessage)
            client->m_onMessage(msg, wParam, lParam);
    } else if (g_strcmp0(member, "CopyData") == 0 &&
               g_variant_is_of_type(params, G_VARIANT_TYPE("(stay)"))) {
        const gchar* window;
        guint64 id;
        GVariant* data;
        g_variant_get(params, "(&st@ay)", &window, &id, &data);
        gsize size = 0;
        const void* bytes = g_variant_get_fixed_array(data, &size, 1);
        if (client->m_onCopyData)
            client->m_onCopyData(id, bytes, size);
        g_variant_unref(data);
    }
}

void SuiteClient::OnPropertiesChanged(GDBusConnection*, const gchar*, const gchar*, const gchar*,
                                      const gchar*, GVariant* params, gpointer self) {
    auto* client = static_cast<SuiteClient*>(self);
    if (!client->m_onProperty || !g_variant_is_of_type(params, G_VARIANT_TYPE("(sa{sv}as)")))
        return;
    GVariant* changed = g_variant_get_child_value(params, 1);
    GVariantIter iter;
    g_variant_iter_init(&iter, changed);
    const gchar* name;
    GVariant* value;
    while (g_variant_iter_next(&iter, "{&sv}", &name, &value)) {
        client->m_onProperty(name, value);
        g_variant_unref(value);
    }
    g_variant_unref(changed);
}

namespace {

gboolean QuitLoop(gpointer loop) {
    g_main_loop_quit(static_cast<GMainLoop*>(loop));
    return G_SOURCE_CONTINUE;
}

} // namespace

void QuitOnSignals(GMainLoop* loop) {
    g_unix_signal_add(SIGTERM, QuitLoop, loop);
    g_unix_signal_add(SIGINT, QuitLoop, loop);
}

} // namespace orv::suite
