// The suite's Linux programs with the service, end to end: the on-screen
// display as desktop notifications (slot changes, upload progress, the
// display switched off, no notification server at all) and the tray item's
// tooltip. The service starts both programs itself, from beside it.
#include "bus_support.h"
#include "desktop_support.h"

#include <filesystem>
#include <fstream>

namespace orv::linux_test {
namespace {

constexpr std::uint32_t kClose = 0x10;
constexpr char kOsdName[] = "org.orvane.Osd";
constexpr char kTrayName[] = "org.orvane.Tray";

class Desktop : public BusTest {
protected:
    // The configuration program's switch for the display, as config.ini holds it.
    void WriteOsdSetting(bool on) {
        std::filesystem::create_directories(dataFolder);
        std::ofstream ini(dataFolder + "/config.ini", std::ios::binary);
        ini << "\xEF\xBB\xBF[Setting]\r\nOSD_Profile=" << (on ? 1 : 0) << "\r\n";
    }
    void SelectSlot(int slot) {
        CallOk("SelectSlot", g_variant_new("(y)", static_cast<guchar>(slot)));
        ASSERT_TRUE(WaitFor([&] { return Property("Slot") == std::to_string(slot); }));
    }
    // The first slot change starts the display.
    void StartDisplay() {
        SelectSlot(1);
        ASSERT_TRUE(WaitFor([&] { return NameOwned(kOsdName); }, 10000))
            << "the service never started orvane-osd";
    }
    NotificationServer server;
};

TEST_F(Desktop, EachSlotChangeReplacesTheNotificationAndUploadsShowProgress) {
    ASSERT_TRUE(server.Own(bus));
    WriteOsdSetting(true);
    Start();
    // The first change starts the display, and is shown too.
    const std::pair<int, const char*> changes[] = {
        {1, "Profile 1"}, {2, "Profile 2"}, {0, "PC Mode"}, {5, "Profile 5"}};
    std::uint32_t previous = 0;
    for (std::size_t i = 0; i < std::size(changes); ++i) {
        SelectSlot(changes[i].first);
        ASSERT_TRUE(WaitFor([&] { return server.notes.size() == i + 1; }, 5000)) << i;
        const Notify& note = server.notes.back();
        EXPECT_EQ(note.summary, changes[i].second);
        EXPECT_EQ(note.app, "Orvane");
        EXPECT_EQ(note.expireMs, 1500);
        EXPECT_EQ(note.value, -1);
        EXPECT_EQ(note.replaces, previous) << note.summary;
        previous = note.id;
    }
    Pump(300);
    EXPECT_EQ(server.notes.size(), std::size(changes)) << "one notification per change";

    // An upload of the current slot: the progress, 0..100, under the
    // progress window's caption, in the same notification.
    server.notes.clear();
    CallOk("UploadSlot", g_variant_new("(y)", 5));
    ASSERT_TRUE(WaitFor([&] { return HasChange("UploadProgress", "100"); }));
    ASSERT_TRUE(
        WaitFor([&] { return !server.notes.empty() && server.notes.back().value == 100; }, 5000));
    int last = 0;
    for (const Notify& note : server.notes) {
        EXPECT_EQ(note.summary, "Writing profile\u2026");
        EXPECT_GT(note.value, 0);
        EXPECT_GE(note.value, last);
        EXPECT_EQ(note.replaces, previous);
        last = note.value;
    }
    // The finished upload's notification goes by itself, as a record's does.
    EXPECT_EQ(server.notes.back().expireMs, 1500);
    Pump(300);
    EXPECT_TRUE(server.closed.empty());

    // The service ends: the display is told and goes too.
    CallOk("Post", g_variant_new("(utx)", kClose, guint64{0}, gint64{0}));
    EXPECT_EQ(WaitForExit(), 0);
    EXPECT_TRUE(WaitFor([&] { return !NameOwned(kOsdName); }, 5000));
}

TEST_F(Desktop, NoNotificationWhenTheDisplayIsSwitchedOff) {
    ASSERT_TRUE(server.Own(bus));
    WriteOsdSetting(false);
    Start();
    for (int slot : {1, 2, 0})
        SelectSlot(slot);
    Pump(1500);
    EXPECT_TRUE(server.notes.empty());
    EXPECT_FALSE(NameOwned(kOsdName));
}

// Without a notification server, or with one that never answers, and
// without a tray host, the programs stay quiet and keep following the
// service, which goes on answering.
class WithoutDesktop : public Desktop, public ::testing::WithParamInterface<bool> {};

TEST_P(WithoutDesktop, NothingWaits) {
    SilentServer silent;
    if (GetParam()) {
        ASSERT_TRUE(silent.Own(bus));
    }
    WriteOsdSetting(true);
    Start();
    StartDisplay();
    for (int slot : {2, 3, 4}) {
        gint64 before = g_get_monotonic_time();
        SelectSlot(slot);
        EXPECT_LT(g_get_monotonic_time() - before, 1000 * 1000) << slot;
    }
    CallOk("UploadSlot", g_variant_new("(y)", 4));
    EXPECT_TRUE(WaitFor([&] { return HasChange("UploadProgress", "100"); }));
    EXPECT_EQ(Property("Slot"), "4");
    EXPECT_TRUE(NameOwned(kTrayName));
    if (GetParam()) {
        EXPECT_GE(silent.calls, 1);
    }

    // The display still takes the service's word to end.
    CallOk("Post", g_variant_new("(utx)", kClose, guint64{0}, gint64{0}));
    EXPECT_EQ(WaitForExit(), 0);
    EXPECT_TRUE(WaitFor([&] { return !NameOwned(kOsdName); }, 3000));
}

INSTANTIATE_TEST_SUITE_P(NoServerOrSilentServer, WithoutDesktop, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "SilentServer" : "NoServer"; });

std::string ToolTip(GDBusConnection* bus, const std::string& item) {
    GVariant* reply = g_dbus_connection_call_sync(
        bus, item.c_str(), "/StatusNotifierItem", "org.freedesktop.DBus.Properties", "Get",
        g_variant_new("(ss)", "org.kde.StatusNotifierItem", "ToolTip"), G_VARIANT_TYPE("(v)"),
        G_DBUS_CALL_FLAGS_NONE, 2000, nullptr, nullptr);
    if (reply == nullptr)
        return "<none>";
    GVariant* tip = nullptr;
    g_variant_get(reply, "(v)", &tip);
    const gchar* title = "";
    g_variant_get_child(tip, 2, "&s", &title);
    std::string out = title;
    g_variant_unref(tip);
    g_variant_unref(reply);
    return out;
}

TEST_F(Desktop, TrayToolTipFollowsThePlug) {
    TrayWatcher watcher;
    ASSERT_TRUE(watcher.Own(bus));
    Start();
    ASSERT_TRUE(WaitFor([&] { return !watcher.items.empty(); }, 10000))
        << "orvane-tray never registered its item";
    const std::string item = watcher.items.front();
    auto tipIs = [&](const char* text) {
        return WaitFor([&] { return ToolTip(bus, item) == text; }, 10000);
    };
    EXPECT_TRUE(tipIs("Orvane keyboard: connected"));
    SimOk("Unplug", nullptr);
    EXPECT_TRUE(tipIs("Orvane keyboard: not connected"));
    SimOk("Plug", nullptr);
    EXPECT_TRUE(tipIs("Orvane keyboard: connected"));

    // A tray host that restarts is given the item again.
    watcher.items.clear();
    ASSERT_TRUE(g_dbus_connection_call_sync(bus, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                                            "org.freedesktop.DBus", "ReleaseName",
                                            g_variant_new("(s)", "org.kde.StatusNotifierWatcher"),
                                            nullptr, G_DBUS_CALL_FLAGS_NONE, -1, nullptr, nullptr));
    Pump(200);
    ASSERT_TRUE(OwnName(bus, "org.kde.StatusNotifierWatcher"));
    EXPECT_TRUE(WaitFor([&] { return watcher.items.size() == 1; }, 5000));
}

} // namespace
} // namespace orv::linux_test
