#include "platform/linux/linux_bus.h"

#include "app/hid_app.h"
#include "app/hid_wnd.h"
#include "base/wstr.h"
#include "messaging/messages.h"
#include "platform/linux/dbus_interface.h"
#include "platform/linux/linux_platform.h"
#include "platform/linux/linux_shell.h"
#include "platform/platform.h"
#include "storage/settings.h"

namespace orv::linux_ {

namespace {

constexpr char kErrorNotReady[] = "org.orvane.Hid1.Error.NotReady";
constexpr char kErrorInvalid[] = "org.orvane.Hid1.Error.InvalidArgs";

// The slot a method names; a slot the keyboard does not have is answered
// with an error, and false.
bool SlotArgument(GVariant* params, GDBusMethodInvocation* invocation, guchar& slot) {
    g_variant_get(params, "(y)", &slot);
    if (slot < kSlotCount)
        return true;
    g_dbus_method_invocation_return_dbus_error(invocation, kErrorInvalid, "slots are 0 to 5");
    return false;
}


const GDBusInterfaceVTable kServiceVTable = {
    &BusService::OnMethod, &BusService::OnGetProperty, nullptr, {}};

} // namespace

BusService::BusService(GDBusConnection* connection, CHidApp& app, sim::SimKeyboard* keyboard)
    : m_connection(static_cast<GDBusConnection*>(g_object_ref(connection))), m_app(app),
      m_keyboard(keyboard) {}

BusService::~BusService() {
    if (m_ownerWatch != 0)
        g_dbus_connection_signal_unsubscribe(m_connection, m_ownerWatch);
    if (m_simulatorObject != 0)
        g_dbus_connection_unregister_object(m_connection, m_simulatorObject);
    if (m_object != 0)
        g_dbus_connection_unregister_object(m_connection, m_object);
    LinuxWindows().SetOutbox(nullptr);
    SetSuiteWindowMaker(nullptr);
    if (m_info != nullptr)
        g_dbus_node_info_unref(m_info);
    g_object_unref(m_connection);
}

bool BusService::Register(GError** error) {
    m_info = g_dbus_node_info_new_for_xml(kIntrospection, error);
    if (m_info == nullptr)
        return false;
    m_object = g_dbus_connection_register_object(
        m_connection, kObjectPath, g_dbus_node_info_lookup_interface(m_info, kInterface),
        &kServiceVTable, this, nullptr, error);
    if (m_object == 0)
        return false;
    if (m_keyboard != nullptr) {
        m_simulatorObject = g_dbus_connection_register_object(
            m_connection, kSimulatorPath,
            g_dbus_node_info_lookup_interface(m_info, kSimulatorInterface), &kServiceVTable, this,
            nullptr, error);
        if (m_simulatorObject == 0)
            return false;
    }
    // A client that leaves the bus takes its windows with it.
    m_ownerWatch = g_dbus_connection_signal_subscribe(
        m_connection, "org.freedesktop.DBus", "org.freedesktop.DBus", "NameOwnerChanged",
        "/org/freedesktop/DBus", nullptr, G_DBUS_SIGNAL_FLAGS_NONE, &BusService::OnNameOwnerChanged,
        this, nullptr);
    LinuxWindows().SetOutbox(this);
    // A suite program the shell starts stands for its window at once, as a
    // Windows program's window exists while the core still waits for it.
    SetSuiteWindowMaker([this](const std::string& owner, const std::string& title) {
        RegisterWindow(owner, title);
    });
    return true;
}

void BusService::OnMethod(GDBusConnection*, const gchar* sender, const gchar* path, const gchar*,
                          const gchar* method, GVariant* params, GDBusMethodInvocation* invocation,
                          gpointer self) {
    auto* service = static_cast<BusService*>(self);
    if (g_strcmp0(path, kSimulatorPath) == 0)
        service->SimulatorMethod(method, params, invocation);
    else
        service->ServiceMethod(sender != nullptr ? sender : "", method, params, invocation);
    service->CheckProperties();
}

bool BusService::PostToService(MsgId msg, WParam wParam, LParam lParam,
                               GDBusMethodInvocation* invocation) {
    CHidWnd* main = m_app.MainWindow();
    if (main == nullptr || !Windows().PostMsg(main->GetSafeHwnd(), msg, wParam, lParam)) {
        g_dbus_method_invocation_return_dbus_error(invocation, kErrorNotReady,
                                                   "the service's window is not there");
        return false;
    }
    g_dbus_method_invocation_return_value(invocation, nullptr);
    return true;
}

void BusService::ServiceMethod(const std::string& sender, const std::string& method,
                               GVariant* params, GDBusMethodInvocation* invocation) {
    if (method == "Post") {
        guint32 msg;
        guint64 wParam;
        gint64 lParam;
        g_variant_get(params, "(utx)", &msg, &wParam, &lParam);
        PostToService(msg, static_cast<WParam>(wParam), static_cast<LParam>(lParam), invocation);
    } else if (method == "Sync") {
        guint32 code;
        gint64 value;
        g_variant_get(params, "(ux)", &code, &value);
        // As the suite does it: to every top-level window, the service's included.
        Windows().PostMsg(kBroadcast, Windows().RegisterMsg(kSyncMessageName), code,
                          static_cast<LParam>(value));
        g_dbus_method_invocation_return_value(invocation, nullptr);
    } else if (method == "RegisterWindow" || method == "UnregisterWindow") {
        const gchar* title = nullptr;
        g_variant_get(params, "(&s)", &title);
        bool done = method == "RegisterWindow" ? RegisterWindow(sender, title)
                                               : UnregisterWindow(sender, title);
        if (done)
            g_dbus_method_invocation_return_value(invocation, nullptr);
        else
            g_dbus_method_invocation_return_dbus_error(
                invocation, kErrorInvalid,
                method == "RegisterWindow" ? "an empty title, or more than one '/'"
                                           : "no window of this client has that title");
    } else if (method == "SelectSlot") {
        guchar slot = 0;
        if (!SlotArgument(params, invocation, slot))
            return;
        // What the configuration program broadcasts to select a slot.
        Windows().PostMsg(kBroadcast, Windows().RegisterMsg(kSyncMessageName), 0, slot);
        g_dbus_method_invocation_return_value(invocation, nullptr);
    } else if (method == "Upload") {
        gboolean lighting;
        g_variant_get(params, "(b)", &lighting);
        PostToService(WM_HID_UPLOAD, lighting ? 1 : 0, 0, invocation);
    } else if (method == "UploadSlot") {
        guchar slot = 0;
        if (!SlotArgument(params, invocation, slot))
            return;
        PostToService(WM_HID_UPLOAD_SLOT, slot, 0, invocation);
    } else if (method == "Reload") {
        PostToService(WM_HID_RELOAD, 0, 0, invocation);
    } else {
        g_dbus_method_invocation_return_dbus_error(
            invocation, "org.freedesktop.DBus.Error.UnknownMethod", method.c_str());
    }
}

void BusService::SimulatorMethod(const std::string& method, GVariant* params,
                                 GDBusMethodInvocation* invocation) {
    if (method == "Plug") {
        m_keyboard->Plug();
    } else if (method == "Unplug") {
        m_keyboard->Unplug();
    } else if (method == "Report") {
        guchar usage;
        GVariant* bytes = nullptr;
        g_variant_get(params, "(y@ay)", &usage, &bytes);
        gsize length = 0;
        const auto* data =
            static_cast<const std::uint8_t*>(g_variant_get_fixed_array(bytes, &length, 1));
        std::vector<std::uint8_t> report(data, data + length);
        g_variant_unref(bytes);
        bool delivered = m_keyboard->SendInputReport(usage, report);
        g_dbus_method_invocation_return_value(invocation, g_variant_new("(b)", delivered));
        return;
    } else if (method == "SetVersion") {
        guchar a, b;
        g_variant_get(params, "(yy)", &a, &b);
        m_keyboard->SetVersion(a, b);
    } else if (method == "SetSlot") {
        guchar slot;
        g_variant_get(params, "(y)", &slot);
        m_keyboard->SetSlot(slot);
    } else if (method == "Fail") {
        guint32 count;
        g_variant_get(params, "(u)", &count);
        m_keyboard->FailNextTransfers(static_cast<int>(std::min<guint32>(count, 1u << 30)));
    }
    g_dbus_method_invocation_return_value(invocation, nullptr);
}

bool BusService::RegisterWindow(const std::string& sender, const std::string& title) {
    std::size_t slash = title.find('/');
    if (title.empty() || slash == 0 || slash + 1 == title.size() ||
        (slash != std::string::npos && title.find('/', slash + 1) != std::string::npos))
        return false;
    Client& client = m_clients[sender];
    auto find = [&](const std::string& busTitle) {
        for (const auto& [name, wnd] : client.windows) {
            if (name == busTitle && Windows().IsWnd(wnd))
                return wnd;
        }
        return kNoWindow;
    };
    if (find(title) != kNoWindow)
        return true; // already registered
    WndHandle parent = kNoWindow;
    std::string own = title;
    if (slash != std::string::npos) {
        // A child stands below this client's window of the parent's title,
        // made for it when the client has none.
        std::string parentTitle = title.substr(0, slash);
        own = title.substr(slash + 1);
        parent = find(parentTitle);
        if (parent == kNoWindow) {
            parent = LinuxWindows().AddStandIn(FromUtf8(parentTitle), kNoWindow, parentTitle, 0);
            client.windows.emplace_back(parentTitle, parent);
        }
    }
    WndHandle wnd = LinuxWindows().AddStandIn(FromUtf8(own), parent, title, 0);
    client.windows.emplace_back(title, wnd);
    return wnd != kNoWindow;
}

bool BusService::UnregisterWindow(const std::string& sender, const std::string& title) {
    auto it = m_clients.find(sender);
    if (it == m_clients.end())
        return false;
    bool found = false;
    auto& windows = it->second.windows;
    for (auto w = windows.begin(); w != windows.end();) {
        if (w->first == title) {
            Windows().DestroyWnd(w->second); // its children go with it
            w = windows.erase(w);
            found = true;
        } else {
            ++w;
        }
    }
    // Forget the children that went with a parent.
    for (auto w = windows.begin(); w != windows.end();)
        w = Windows().IsWnd(w->second) ? w + 1 : windows.erase(w);
    if (windows.empty())
        m_clients.erase(it);
    return found;
}

void BusService::ClientLeft(const std::string& sender) {
    auto it = m_clients.find(sender);
    if (it == m_clients.end())
        return;
    for (const auto& [title, wnd] : it->second.windows)
        Windows().DestroyWnd(wnd);
    m_clients.erase(it);
}

void BusService::OnNameOwnerChanged(GDBusConnection*, const gchar*, const gchar*, const gchar*,
                                    const gchar*, GVariant* params, gpointer self) {
    const gchar *name, *oldOwner, *newOwner;
    g_variant_get(params, "(&s&s&s)", &name, &oldOwner, &newOwner);
    if (newOwner[0] == '\0')
        static_cast<BusService*>(self)->ClientLeft(name);
}

void BusService::Message(const std::string& window, MsgId msg, WParam wParam, LParam lParam) {
    g_dbus_connection_emit_signal(m_connection, nullptr, kObjectPath, kInterface, "Message",
                                  g_variant_new("(sutx)", window.c_str(), msg,
                                                static_cast<guint64>(wParam),
                                                static_cast<gint64>(lParam)),
                                  nullptr);
}

void BusService::CopyData(const std::string& window, std::uintptr_t dataId, const void* data,
                          std::uint32_t size) {
    GVariant* bytes = g_variant_new_fixed_array(G_VARIANT_TYPE_BYTE, data, size, 1);
    g_dbus_connection_emit_signal(
        m_connection, nullptr, kObjectPath, kInterface, "CopyData",
        g_variant_new("(st@ay)", window.c_str(), static_cast<guint64>(dataId), bytes), nullptr);
}

std::uint8_t BusService::Slot() const {
    CHidWnd* main = m_app.MainWindow();
    return main != nullptr ? main->Settings().Profile : 0;
}

std::uint8_t BusService::UploadProgress() const {
    CHidWnd* main = m_app.MainWindow();
    if (main == nullptr || main->ProgressWindow() == nullptr)
        return 0;
    int pos = main->ProgressWindow()->m_ctlBar.GetPos();
    return static_cast<std::uint8_t>(pos < 0 ? 0 : pos > 100 ? 100 : pos);
}

bool BusService::Plugged() const {
    auto value = LinuxRegistry().Read(kRegistryKeyPath, u"DevicePlug");
    return value && value->isDword && value->dword != 0;
}

std::string BusService::FirmwareVersion() const {
    auto value = LinuxRegistry().Read(kRegistryKeyPath, u"FWVersion");
    return value && !value->isDword ? ToUtf8(value->text) : std::string();
}

GVariant* BusService::OnGetProperty(GDBusConnection*, const gchar*, const gchar*, const gchar*,
                                    const gchar* property, GError** error, gpointer self) {
    auto* service = static_cast<BusService*>(self);
    if (g_strcmp0(property, "Slot") == 0)
        return g_variant_new_byte(service->Slot());
    if (g_strcmp0(property, "UploadProgress") == 0)
        return g_variant_new_byte(service->UploadProgress());
    if (g_strcmp0(property, "Plugged") == 0)
        return g_variant_new_boolean(service->Plugged());
    if (g_strcmp0(property, "FirmwareVersion") == 0)
        return g_variant_new_string(service->FirmwareVersion().c_str());
    if (g_strcmp0(property, "PerAppSwitching") == 0)
        return g_variant_new_boolean(LinuxWindows().FollowsForeground());
    g_set_error(error, G_DBUS_ERROR, G_DBUS_ERROR_UNKNOWN_PROPERTY, "no property %s", property);
    return nullptr;
}

void BusService::EmitChanged(const char* property, GVariant* value) {
    GVariantBuilder changed;
    g_variant_builder_init(&changed, G_VARIANT_TYPE("a{sv}"));
    g_variant_builder_add(&changed, "{sv}", property, value);
    g_dbus_connection_emit_signal(
        m_connection, nullptr, kObjectPath, "org.freedesktop.DBus.Properties", "PropertiesChanged",
        g_variant_new("(sa{sv}as)", kInterface, &changed, nullptr), nullptr);
}

void BusService::CheckProperties() {
    int slot = Slot();
    if (slot != m_lastSlot) {
        m_lastSlot = slot;
        EmitChanged("Slot", g_variant_new_byte(static_cast<guchar>(slot)));
    }
    int progress = UploadProgress();
    if (progress != m_lastProgress) {
        m_lastProgress = progress;
        EmitChanged("UploadProgress", g_variant_new_byte(static_cast<guchar>(progress)));
    }
}

void BusService::RegistryChanged(std::u16string_view name) {
    if (EqualsNoCase(name, u"DevicePlug"))
        EmitChanged("Plugged", g_variant_new_boolean(Plugged()));
    else if (EqualsNoCase(name, u"FWVersion"))
        EmitChanged("FirmwareVersion", g_variant_new_string(FirmwareVersion().c_str()));
}

} // namespace orv::linux_
