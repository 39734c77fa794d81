// What the Linux programs of the suite share: on the session bus a program
// of the suite is a client of the service that stands for one window of a
// title. It holds a name of its own (one instance per session), registers
// its window whenever the service appears on the bus (again after a
// restart of the service), and is handed what the service posts or sends
// to that window.
#pragma once

#include <gio/gio.h>

#include <cstdint>
#include <functional>
#include <string>

namespace orv::suite {

inline constexpr char kServiceName[] = "org.orvane.Hid";
inline constexpr char kServicePath[] = "/org/orvane/Hid";
inline constexpr char kServiceInterface[] = "org.orvane.Hid1";

// The window messages the suite's programs act on.
inline constexpr std::uint32_t kWmDestroy = 0x0002;
inline constexpr std::uint32_t kWmClose = 0x0010;
inline constexpr std::uint32_t kWmHidPlug = 0x5401;

class SuiteClient {
public:
    using MessageHandler =
        std::function<void(std::uint32_t msg, std::uint64_t wParam, std::int64_t lParam)>;
    using CopyDataHandler =
        std::function<void(std::uint64_t id, const void* data, std::size_t size)>;
    // Called with the service's properties as they change (and once when it
    // appears, for those asked for in Watch).
    using PropertyHandler = std::function<void(const char* name, GVariant* value)>;
    using AppearedHandler = std::function<void()>;

    SuiteClient(std::string instanceName, std::string windowTitle);
    ~SuiteClient();
    SuiteClient(const SuiteClient&) = delete;
    SuiteClient& operator=(const SuiteClient&) = delete;

    // 0 when this instance is the session's one and follows the service; 1
    // when there is no session bus; -1 when another instance runs.
    int Open();
    GDBusConnection* Bus() const { return m_bus; }

    void OnMessage(MessageHandler handler) { m_onMessage = std::move(handler); }
    void OnCopyData(CopyDataHandler handler) { m_onCopyData = std::move(handler); }
    // `initial`, when given, is a property read each time the service appears.
    void OnProperty(PropertyHandler handler, const char* initial = nullptr);
    void OnServiceAppeared(AppearedHandler handler) { m_onAppeared = std::move(handler); }

private:
    static void OnSignal(GDBusConnection*, const gchar*, const gchar*, const gchar*,
                         const gchar* member, GVariant* params, gpointer self);
    static void OnPropertiesChanged(GDBusConnection*, const gchar*, const gchar*, const gchar*,
                                    const gchar*, GVariant* params, gpointer self);
    static void OnAppeared(GDBusConnection*, const gchar*, const gchar*, gpointer self);
    static void OnInitialProperty(GObject* source, GAsyncResult* result, gpointer self);

    std::string m_instanceName;
    std::string m_title;
    std::string m_initialProperty;
    GDBusConnection* m_bus = nullptr;
    guint m_windowSignals = 0;
    guint m_propertySignals = 0;
    guint m_serviceWatch = 0;
    MessageHandler m_onMessage;
    CopyDataHandler m_onCopyData;
    PropertyHandler m_onProperty;
    AppearedHandler m_onAppeared;
};

// Ends `loop` on SIGTERM and SIGINT.
void QuitOnSignals(GMainLoop* loop);

} // namespace orv::suite
