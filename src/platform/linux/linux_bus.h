// The service on the session bus: the objects of dbus_interface.h, the
// stand-ins of the clients' windows, the signals of what the service posts
// to other programs, and the properties with their change signals. Every
// call is handled on the loop's thread, so it reaches the core as a window
// message would.
#pragma once

#include "device/sim/sim_keyboard.h"
#include "platform/linux/linux_windows.h"

#include <gio/gio.h>

#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace orv {
class CHidApp;
}

namespace orv::linux_ {

class BusService final : public IOutbox {
public:
    // `keyboard`, when given, is served on the simulator object.
    BusService(GDBusConnection* connection, CHidApp& app, sim::SimKeyboard* keyboard);
    ~BusService();
    BusService(const BusService&) = delete;
    BusService& operator=(const BusService&) = delete;

    bool Register(GError** error);

    void Message(const std::string& window, MsgId msg, WParam wParam, LParam lParam) override;
    void CopyData(const std::string& window, std::uintptr_t dataId, const void* data,
                  std::uint32_t size) override;

    // Compares the properties the core keeps in memory with what was last
    // announced, and announces what changed.
    void CheckProperties();
    // A registry value was written.
    void RegistryChanged(std::u16string_view name);

    // The objects' handlers, for the vtable.
    static void OnMethod(GDBusConnection*, const gchar* sender, const gchar* path,
                         const gchar* iface, const gchar* method, GVariant* params,
                         GDBusMethodInvocation* invocation, gpointer self);
    static GVariant* OnGetProperty(GDBusConnection*, const gchar*, const gchar*, const gchar*,
                                   const gchar* property, GError** error, gpointer self);

private:
    struct Client {
        std::vector<std::pair<std::string, WndHandle>> windows; // bus title, stand-in
    };

    static void OnNameOwnerChanged(GDBusConnection*, const gchar*, const gchar*, const gchar*,
                                   const gchar*, GVariant* params, gpointer self);

    void ServiceMethod(const std::string& sender, const std::string& method, GVariant* params,
                       GDBusMethodInvocation* invocation);
    void SimulatorMethod(const std::string& method, GVariant* params,
                         GDBusMethodInvocation* invocation);
    // False, with an error returned, when the main window is not there.
    bool PostToService(MsgId msg, WParam wParam, LParam lParam, GDBusMethodInvocation* invocation);
    bool RegisterWindow(const std::string& sender, const std::string& title);
    bool UnregisterWindow(const std::string& sender, const std::string& title);
    void ClientLeft(const std::string& sender);

    std::uint8_t Slot() const;
    std::uint8_t UploadProgress() const;
    bool Plugged() const;
    std::string FirmwareVersion() const;
    void EmitChanged(const char* property, GVariant* value);

    GDBusConnection* m_connection;
    CHidApp& m_app;
    sim::SimKeyboard* m_keyboard;
    GDBusNodeInfo* m_info = nullptr;
    guint m_object = 0;
    guint m_simulatorObject = 0;
    guint m_ownerWatch = 0;
    std::map<std::string, Client> m_clients; // by unique bus name
    int m_lastSlot = -1;
    int m_lastProgress = -1;
};

} // namespace orv::linux_
