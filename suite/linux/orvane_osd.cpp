// orvane-osd: the suite's on-screen display on a Linux desktop. It stands
// for the window "Orvane OSD" and turns each display record the service
// sends it into a desktop notification that replaces the one before and
// goes after the record's time. While the service writes a profile into the
// keyboard, the notification shows the progress under the progress window's
// caption from the language file. Without a notification server nothing is
// shown and nothing waits. It ends when the service tells its window to go.
#include "base/wstr.h"
#include "messaging/osd_record.h"
#include "platform/linux/linux_backends.h"
#include "skin/progress_dlg.h"
#include "suite_client.h"

#include <gio/gio.h>

#include <cstring>
#include <optional>
#include <string>

namespace {

using orv::suite::SuiteClient;

constexpr char kNotifications[] = "org.freedesktop.Notifications";
constexpr char kNotificationsPath[] = "/org/freedesktop/Notifications";
// A server that does not answer at once is given up; the display record
// that waited for it is shown by the next notification, or not at all.
constexpr int kNotifyTimeoutMs = 1000;
// A progress notification outlives the pause between two steps of an upload.
constexpr int kProgressShowMs = 5000;
constexpr int kDoneShowMs = 1500;
constexpr char kDefaultCaption[] = "Writing profile\u2026";

struct Notification {
    std::string summary;
    int expireMs = 0;
    int progress = -1;  // the "value" hint, none when negative
    bool close = false; // the notification shown goes instead
};

class Display {
public:
    explicit Display(GDBusConnection* bus) : m_bus(bus) {}

    void ShowRecord(const void* data, std::size_t size) {
        // Anything but a whole record is not ours to show.
        if (size != sizeof(orv::OSD_DATA))
            return;
        orv::OSD_DATA record;
        std::memcpy(&record, data, sizeof record);
        record.Text[255] = 0;
        std::string text = orv::ToUtf8(orv::FieldText(record.Text));
        int ms = record.Param1 > 0 && record.Param1 <= 60000 ? record.Param1 : 1500;
        m_showsProgress = false;
        Show({text, ms, -1});
    }

    void ShowProgress(int value) {
        if (value <= 0) {
            // The progress window is gone. A finished upload's notification
            // goes by itself; one that stopped short goes with the window,
            // unless a display record has taken its place.
            if (m_showsProgress && m_progress < 100)
                Show({{}, 0, -1, true});
            m_showsProgress = false;
            m_progress = 0;
            return;
        }
        if (m_progress == 0)
            m_caption = Caption(); // read anew for each upload, as the window does
        m_progress = value > 100 ? 100 : value;
        m_showsProgress = true;
        Show({m_caption, m_progress == 100 ? kDoneShowMs : kProgressShowMs, m_progress});
    }

    // The notification goes with the window that showed it.
    void CloseNow() {
        if (m_id == 0)
            return;
        GVariant* reply =
            g_dbus_connection_call_sync(m_bus, kNotifications, kNotificationsPath, kNotifications,
                                        "CloseNotification", g_variant_new("(u)", m_id), nullptr,
                                        G_DBUS_CALL_FLAGS_NO_AUTO_START, 500, nullptr, nullptr);
        if (reply != nullptr)
            g_variant_unref(reply);
        m_id = 0;
    }

private:
    static std::string Caption() {
        // Beside the program, as the service has it; installed, in the data folder.
        gchar* exe = g_file_read_link("/proc/self/exe", nullptr);
        std::string folder = exe != nullptr ? exe : "";
        g_free(exe);
        folder = folder.substr(0, folder.rfind('/') + 1);
        for (const std::string& at : {folder, folder + "../share/orvane/"}) {
            std::u16string caption = orv::LoadProgressCaption(orv::FromUtf8(at));
            if (!caption.empty())
                return orv::ToUtf8(caption);
        }
        return kDefaultCaption;
    }

    // One Notify at a time: the next replaces the notification the last
    // answer named, so a fast series of records leaves one notification.
    void Show(Notification next) {
        m_waiting = std::move(next);
        if (!m_inFlight)
            SendWaiting();
    }

    void SendWaiting() {
        if (!m_waiting)
            return;
        Notification n = std::move(*m_waiting);
        m_waiting.reset();
        if (n.close) {
            if (m_id == 0)
                return;
            m_inFlight = true;
            g_dbus_connection_call(m_bus, kNotifications, kNotificationsPath, kNotifications,
                                   "CloseNotification", g_variant_new("(u)", m_id), nullptr,
                                   G_DBUS_CALL_FLAGS_NO_AUTO_START, kNotifyTimeoutMs, nullptr,
                                   &Display::OnClosed, this);
            m_id = 0;
            return;
        }
        GVariantBuilder hints;
        g_variant_builder_init(&hints, G_VARIANT_TYPE("a{sv}"));
        g_variant_builder_add(&hints, "{sv}", "transient", g_variant_new_boolean(TRUE));
        g_variant_builder_add(&hints, "{sv}", "category", g_variant_new_string("device"));
        if (n.progress >= 0)
            g_variant_builder_add(&hints, "{sv}", "value", g_variant_new_int32(n.progress));
        m_inFlight = true;
        g_dbus_connection_call(m_bus, kNotifications, kNotificationsPath, kNotifications, "Notify",
                               g_variant_new("(susssasa{sv}i)", "Orvane", m_id, "input-keyboard",
                                             n.summary.c_str(), "", nullptr, &hints, n.expireMs),
                               G_VARIANT_TYPE("(u)"), G_DBUS_CALL_FLAGS_NONE, kNotifyTimeoutMs,
                               nullptr, &Display::OnNotified, this);
    }

    static void OnNotified(GObject* source, GAsyncResult* result, gpointer self) {
        auto* display = static_cast<Display*>(self);
        GVariant* reply = g_dbus_connection_call_finish(G_DBUS_CONNECTION(source), result, nullptr);
        if (reply != nullptr) {
            g_variant_get(reply, "(u)", &display->m_id);
            g_variant_unref(reply);
        }
        display->m_inFlight = false;
        display->SendWaiting();
    }

    static void OnClosed(GObject* source, GAsyncResult* result, gpointer self) {
        auto* display = static_cast<Display*>(self);
        GVariant* reply = g_dbus_connection_call_finish(G_DBUS_CONNECTION(source), result, nullptr);
        if (reply != nullptr)
            g_variant_unref(reply);
        display->m_inFlight = false;
        display->SendWaiting();
    }

    GDBusConnection* m_bus;
    guint32 m_id = 0; // the notification shown last, 0 for none
    bool m_inFlight = false;
    std::optional<Notification> m_waiting;
    bool m_showsProgress = false;
    int m_progress = 0;
    std::string m_caption;
};

// The language file is read with the service's own reader, which needs the
// file services and the code pages alone.
void InstallFileServices() {
    orv::Platform platform;
    platform.kernel = &orv::linux_::LinuxKernel();
    platform.debug = &orv::linux_::LinuxDebug();
    platform.files = &orv::linux_::LinuxFiles();
    platform.codepages = &orv::linux_::LinuxCodePages();
    orv::InstallPlatform(platform);
}

} // namespace

int main() {
    g_set_prgname("orvane-osd");
    InstallFileServices();
    SuiteClient client("org.orvane.Osd", "Orvane OSD");
    if (int opened = client.Open())
        return opened < 0 ? 0 : 1; // another instance shows the records
    GMainLoop* loop = g_main_loop_new(nullptr, FALSE);
    Display display(client.Bus());
    client.OnCopyData(
        [&](std::uint64_t, const void* data, std::size_t size) { display.ShowRecord(data, size); });
    client.OnMessage([&](std::uint32_t msg, std::uint64_t, std::int64_t) {
        // WM_DESTROY is what the service posts to end us; WM_CLOSE would
        // destroy the window on Windows too.
        if (msg == orv::suite::kWmDestroy || msg == orv::suite::kWmClose)
            g_main_loop_quit(loop);
    });
    client.OnProperty([&](const char* name, GVariant* value) {
        if (g_strcmp0(name, "UploadProgress") == 0 &&
            g_variant_is_of_type(value, G_VARIANT_TYPE_BYTE))
            display.ShowProgress(g_variant_get_byte(value));
    });
    orv::suite::QuitOnSignals(loop);
    g_main_loop_run(loop);
    display.CloseNow();
    g_main_loop_unref(loop);
    return 0;
}
