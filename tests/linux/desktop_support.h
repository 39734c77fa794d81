// Stand-ins of the desktop's services on the test's bus: a notification
// server that keeps every Notify and CloseNotification, and a tray host's
// StatusNotifierWatcher that keeps every item registered with it. Both
// answer on the test's main context, so they answer while the test waits.
#pragma once

#include <gio/gio.h>

#include <cstdint>
#include <string>
#include <vector>

namespace orv::linux_test {

// One object of a stand-in on the bus under a well-known name, given up
// with the stand-in.
class BusObject {
public:
    // Serves the first interface of `xml` at `path` and owns `name`; false
    // when either fails.
    bool Own(GDBusConnection* bus, const char* xml, const char* path,
             const GDBusInterfaceVTable* vtable, gpointer self, const char* name);
    BusObject() = default;
    BusObject(const BusObject&) = delete;
    BusObject& operator=(const BusObject&) = delete;
    ~BusObject();

private:
    GDBusConnection* m_bus = nullptr;
    GDBusNodeInfo* m_info = nullptr;
    guint m_object = 0;
};

struct Notify {
    std::string app;
    std::uint32_t replaces = 0;
    std::string summary;
    std::string body;
    int value = -1; // the "value" hint, -1 without one
    std::int32_t expireMs = 0;
    std::uint32_t id = 0; // the number the server answered
};

class NotificationServer {
public:
    // Owns org.freedesktop.Notifications on `bus`; false when the name was not granted.
    bool Own(GDBusConnection* bus);

    std::vector<Notify> notes;
    std::vector<std::uint32_t> closed;

private:
    static void OnMethod(GDBusConnection*, const gchar*, const gchar*, const gchar*,
                         const gchar* method, GVariant* params, GDBusMethodInvocation* invocation,
                         gpointer self);
    BusObject m_object;
    std::uint32_t m_next = 1;
};

// A notification server that takes every call and never answers one.
class SilentServer {
public:
    bool Own(GDBusConnection* bus);
    ~SilentServer();

    int calls = 0;

private:
    static void OnMethod(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar*,
                         GVariant*, GDBusMethodInvocation* invocation, gpointer self);
    BusObject m_object;
    std::vector<GDBusMethodInvocation*> m_unanswered;
};

class TrayWatcher {
public:
    bool Own(GDBusConnection* bus);

    std::vector<std::string> items; // the names items registered

private:
    static void OnMethod(GDBusConnection*, const gchar*, const gchar*, const gchar*,
                         const gchar* method, GVariant* params, GDBusMethodInvocation* invocation,
                         gpointer self);
    BusObject m_object;
};

// Asks for `name` without queueing; true when `bus` owns it now.
bool OwnName(GDBusConnection* bus, const char* name);

} // namespace orv::linux_test
