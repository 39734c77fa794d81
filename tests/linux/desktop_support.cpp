#include "desktop_support.h"

namespace orv::linux_test {

namespace {

constexpr char kNotificationsXml[] = R"xml(<node>
  <interface name="org.freedesktop.Notifications">
    <method name="Notify">
      <arg direction="in" type="s"/><arg direction="in" type="u"/><arg direction="in" type="s"/>
      <arg direction="in" type="s"/><arg direction="in" type="s"/><arg direction="in" type="as"/>
      <arg direction="in" type="a{sv}"/><arg direction="in" type="i"/>
      <arg direction="out" type="u"/>
    </method>
    <method name="CloseNotification"><arg direction="in" type="u"/></method>
    <method name="GetCapabilities"><arg direction="out" type="as"/></method>
    <method name="GetServerInformation">
      <arg direction="out" type="s"/><arg direction="out" type="s"/>
      <arg direction="out" type="s"/><arg direction="out" type="s"/>
    </method>
  </interface>
</node>)xml";

constexpr char kWatcherXml[] = R"xml(<node>
  <interface name="org.kde.StatusNotifierWatcher">
    <method name="RegisterStatusNotifierItem"><arg direction="in" type="s"/></method>
    <method name="RegisterStatusNotifierHost"><arg direction="in" type="s"/></method>
  </interface>
</node>)xml";

} // namespace

bool BusObject::Own(GDBusConnection* bus, const char* xml, const char* path,
                    const GDBusInterfaceVTable* vtable, gpointer self, const char* name) {
    m_bus = static_cast<GDBusConnection*>(g_object_ref(bus));
    m_info = g_dbus_node_info_new_for_xml(xml, nullptr);
    m_object = g_dbus_connection_register_object(bus, path, m_info->interfaces[0], vtable, self,
                                                 nullptr, nullptr);
    return m_object != 0 && OwnName(bus, name);
}

BusObject::~BusObject() {
    if (m_object != 0 && m_bus != nullptr)
        g_dbus_connection_unregister_object(m_bus, m_object);
    if (m_info != nullptr)
        g_dbus_node_info_unref(m_info);
    if (m_bus != nullptr)
        g_object_unref(m_bus);
}

bool OwnName(GDBusConnection* bus, const char* name) {
    GVariant* reply = g_dbus_connection_call_sync(
        bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "RequestName",
        g_variant_new("(su)", name, 4u), G_VARIANT_TYPE("(u)"), G_DBUS_CALL_FLAGS_NONE, -1, nullptr,
        nullptr);
    guint32 result = 0;
    if (reply != nullptr) {
        g_variant_get(reply, "(u)", &result);
        g_variant_unref(reply);
    }
    return result == 1;
}

bool NotificationServer::Own(GDBusConnection* bus) {
    static const GDBusInterfaceVTable vtable = {&OnMethod, nullptr, nullptr, {}};
    return m_object.Own(bus, kNotificationsXml, "/org/freedesktop/Notifications", &vtable, this,
                        "org.freedesktop.Notifications");
}

void NotificationServer::OnMethod(GDBusConnection*, const gchar*, const gchar*, const gchar*,
                                  const gchar* method, GVariant* params,
                                  GDBusMethodInvocation* invocation, gpointer self) {
    auto* server = static_cast<NotificationServer*>(self);
    std::string name = method;
    if (name == "Notify") {
        const gchar *app, *icon, *summary, *body;
        guint32 replaces;
        GVariant *actions, *hints;
        gint32 expire;
        g_variant_get(params, "(&su&s&s&s@as@a{sv}i)", &app, &replaces, &icon, &summary, &body,
                      &actions, &hints, &expire);
        Notify note{app, replaces, summary, body, -1, expire, 0};
        gint32 value;
        if (g_variant_lookup(hints, "value", "i", &value))
            note.value = value;
        note.id = replaces != 0 ? replaces : server->m_next++;
        server->notes.push_back(note);
        g_variant_unref(actions);
        g_variant_unref(hints);
        g_dbus_method_invocation_return_value(invocation, g_variant_new("(u)", note.id));
    } else if (name == "CloseNotification") {
        guint32 id;
        g_variant_get(params, "(u)", &id);
        server->closed.push_back(id);
        g_dbus_method_invocation_return_value(invocation, nullptr);
    } else if (name == "GetCapabilities") {
        const gchar* caps[] = {"body", nullptr};
        g_dbus_method_invocation_return_value(invocation, g_variant_new("(^as)", caps));
    } else {
        g_dbus_method_invocation_return_value(
            invocation, g_variant_new("(ssss)", "stand-in", "test", "1", "1.2"));
    }
}

bool SilentServer::Own(GDBusConnection* bus) {
    static const GDBusInterfaceVTable vtable = {&OnMethod, nullptr, nullptr, {}};
    return m_object.Own(bus, kNotificationsXml, "/org/freedesktop/Notifications", &vtable, this,
                        "org.freedesktop.Notifications");
}

SilentServer::~SilentServer() {
    for (GDBusMethodInvocation* invocation : m_unanswered)
        g_object_unref(invocation);
}

void SilentServer::OnMethod(GDBusConnection*, const gchar*, const gchar*, const gchar*,
                            const gchar*, GVariant*, GDBusMethodInvocation* invocation,
                            gpointer self) {
    auto* server = static_cast<SilentServer*>(self);
    ++server->calls;
    // Kept, so that no answer ever goes back.
    server->m_unanswered.push_back(invocation);
}

bool TrayWatcher::Own(GDBusConnection* bus) {
    static const GDBusInterfaceVTable vtable = {&OnMethod, nullptr, nullptr, {}};
    return m_object.Own(bus, kWatcherXml, "/StatusNotifierWatcher", &vtable, this,
                        "org.kde.StatusNotifierWatcher");
}

void TrayWatcher::OnMethod(GDBusConnection*, const gchar* sender, const gchar*, const gchar*,
                           const gchar* method, GVariant* params, GDBusMethodInvocation* invocation,
                           gpointer self) {
    if (g_strcmp0(method, "RegisterStatusNotifierItem") == 0) {
        const gchar* item;
        g_variant_get(params, "(&s)", &item);
        // The item's name, or its sender's when it gives only a path.
        static_cast<TrayWatcher*>(self)->items.push_back(item[0] == '/' ? sender : item);
    }
    g_dbus_method_invocation_return_value(invocation, nullptr);
}

} // namespace orv::linux_test
