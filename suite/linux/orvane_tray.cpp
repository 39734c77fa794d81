// orvane-tray: the suite's notification-area icon on a Linux desktop. It
// stands for the window "Orvane_TrayIcon" and shows a StatusNotifierItem
// whose tooltip says whether the keyboard is connected, following the
// service's WM_HID_PLUG notices. It registers the item with the desktop's
// watcher whenever one appears; with none it waits quietly. It ends on
// WM_CLOSE.
#include "suite_client.h"

#include <gio/gio.h>

#include <string>
#include <unistd.h>

namespace {

using orv::suite::SuiteClient;

constexpr char kItemPath[] = "/StatusNotifierItem";
constexpr char kItemInterface[] = "org.kde.StatusNotifierItem";
constexpr char kWatcherName[] = "org.kde.StatusNotifierWatcher";
constexpr char kWatcherPath[] = "/StatusNotifierWatcher";

constexpr char kItemXml[] = R"xml(<node>
  <interface name="org.kde.StatusNotifierItem">
    <property name="Category" type="s" access="read"/>
    <property name="Id" type="s" access="read"/>
    <property name="Title" type="s" access="read"/>
    <property name="Status" type="s" access="read"/>
    <property name="WindowId" type="i" access="read"/>
    <property name="IconName" type="s" access="read"/>
    <property name="ToolTip" type="(sa(iiay)ss)" access="read"/>
    <property name="ItemIsMenu" type="b" access="read"/>
    <method name="Activate"><arg name="x" type="i" direction="in"/><arg name="y" type="i" direction="in"/></method>
    <method name="SecondaryActivate"><arg name="x" type="i" direction="in"/><arg name="y" type="i" direction="in"/></method>
    <method name="ContextMenu"><arg name="x" type="i" direction="in"/><arg name="y" type="i" direction="in"/></method>
    <method name="Scroll"><arg name="delta" type="i" direction="in"/><arg name="orientation" type="s" direction="in"/></method>
    <signal name="NewIcon"/>
    <signal name="NewToolTip"/>
    <signal name="NewStatus"><arg name="status" type="s"/></signal>
  </interface>
</node>)xml";

class TrayItem {
public:
    explicit TrayItem(GDBusConnection* bus)
        : m_bus(bus), m_name("org.kde.StatusNotifierItem-" + std::to_string(::getpid()) + "-1") {}
    ~TrayItem() {
        if (m_watch != 0)
            g_bus_unwatch_name(m_watch);
        if (m_object != 0)
            g_dbus_connection_unregister_object(m_bus, m_object);
        if (m_info != nullptr)
            g_dbus_node_info_unref(m_info);
    }
    TrayItem(const TrayItem&) = delete;
    TrayItem& operator=(const TrayItem&) = delete;

    bool Publish() {
        m_info = g_dbus_node_info_new_for_xml(kItemXml, nullptr);
        static const GDBusInterfaceVTable vtable = {
            &TrayItem::OnMethod, &TrayItem::OnGetProperty, nullptr, {}};
        m_object = g_dbus_connection_register_object(
            m_bus, kItemPath, g_dbus_node_info_lookup_interface(m_info, kItemInterface), &vtable,
            this, nullptr, nullptr);
        if (m_object == 0)
            return false;
        g_dbus_connection_call(m_bus, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                               "org.freedesktop.DBus", "RequestName",
                               g_variant_new("(su)", m_name.c_str(), 4u), nullptr,
                               G_DBUS_CALL_FLAGS_NONE, -1, nullptr, nullptr, nullptr);
        // A tray host that starts (or restarts) later shows the item then.
        m_watch = g_bus_watch_name_on_connection(m_bus, kWatcherName, G_BUS_NAME_WATCHER_FLAGS_NONE,
                                                 &TrayItem::OnWatcher, nullptr, this, nullptr);
        return true;
    }

    void SetPlugged(bool plugged) {
        if (plugged == m_plugged)
            return;
        m_plugged = plugged;
        Emit("NewToolTip", nullptr);
        Emit("NewIcon", nullptr);
        Emit("NewStatus", g_variant_new("(s)", Status()));
    }

private:
    const char* ToolTipText() const {
        return m_plugged ? "Orvane keyboard: connected" : "Orvane keyboard: not connected";
    }
    const char* IconName() const { return m_plugged ? "input-keyboard" : "dialog-warning"; }
    const char* Status() const { return m_plugged ? "Active" : "NeedsAttention"; }

    void Emit(const char* signal, GVariant* params) {
        g_dbus_connection_emit_signal(m_bus, nullptr, kItemPath, kItemInterface, signal, params,
                                      nullptr);
    }

    static void OnWatcher(GDBusConnection* bus, const gchar*, const gchar*, gpointer self) {
        auto* item = static_cast<TrayItem*>(self);
        g_dbus_connection_call(bus, kWatcherName, kWatcherPath, kWatcherName,
                               "RegisterStatusNotifierItem",
                               g_variant_new("(s)", item->m_name.c_str()), nullptr,
                               G_DBUS_CALL_FLAGS_NO_AUTO_START, 2000, nullptr, nullptr, nullptr);
    }

    static void OnMethod(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar*,
                         GVariant*, GDBusMethodInvocation* invocation, gpointer) {
        // The icon only shows the state; clicks have nothing to open.
        g_dbus_method_invocation_return_value(invocation, nullptr);
    }

    static GVariant* OnGetProperty(GDBusConnection*, const gchar*, const gchar*, const gchar*,
                                   const gchar* property, GError** error, gpointer self) {
        auto* item = static_cast<TrayItem*>(self);
        std::string name = property;
        if (name == "Category")
            return g_variant_new_string("Hardware");
        if (name == "Id")
            return g_variant_new_string("orvane-tray");
        if (name == "Title")
            return g_variant_new_string("Orvane keyboard");
        if (name == "Status")
            return g_variant_new_string(item->Status());
        if (name == "WindowId")
            return g_variant_new_int32(0);
        if (name == "IconName")
            return g_variant_new_string(item->IconName());
        if (name == "ItemIsMenu")
            return g_variant_new_boolean(FALSE);
        if (name == "ToolTip") {
            return g_variant_new("(s@a(iiay)ss)", item->IconName(),
                                 g_variant_new_array(G_VARIANT_TYPE("(iiay)"), nullptr, 0),
                                 item->ToolTipText(), "");
        }
        g_set_error(error, G_DBUS_ERROR, G_DBUS_ERROR_UNKNOWN_PROPERTY, "no property %s", property);
        return nullptr;
    }

    GDBusConnection* m_bus;
    std::string m_name;
    GDBusNodeInfo* m_info = nullptr;
    guint m_object = 0;
    guint m_watch = 0;
    bool m_plugged = false;
};

} // namespace

int main() {
    g_set_prgname("orvane-tray");
    SuiteClient client("org.orvane.Tray", "Orvane_TrayIcon");
    if (int opened = client.Open())
        return opened < 0 ? 0 : 1; // another instance shows the icon
    GMainLoop* loop = g_main_loop_new(nullptr, FALSE);
    TrayItem item(client.Bus());
    if (!item.Publish())
        return 1;
    client.OnMessage([&](std::uint32_t msg, std::uint64_t wParam, std::int64_t) {
        if (msg == orv::suite::kWmHidPlug)
            item.SetPlugged(wParam != 0);
        else if (msg == orv::suite::kWmClose || msg == orv::suite::kWmDestroy)
            g_main_loop_quit(loop);
    });
    // The state the service has when it appears: it started us for a keyboard
    // that is plugged in, and tells only the changes after that.
    client.OnProperty(
        [&](const char* name, GVariant* value) {
            if (g_strcmp0(name, "Plugged") == 0 &&
                g_variant_is_of_type(value, G_VARIANT_TYPE_BOOLEAN))
                item.SetPlugged(g_variant_get_boolean(value) != FALSE);
        },
        "Plugged");
    orv::suite::QuitOnSignals(loop);
    g_main_loop_run(loop);
    g_main_loop_unref(loop);
    return 0;
}
