// The service on the session bus, end to end on the simulated keyboard:
// start and single instance, the methods and what they make the service
// do, the properties and their change signals, the clients' windows, and
// the two ways to end it.
#include "bus_support.h"

#include <csignal>
#include <filesystem>

namespace orv::linux_test {
namespace {

namespace fs = std::filesystem;

constexpr std::uint32_t kClose = 0x10;
constexpr std::uint32_t kDestroy = 0x02;
constexpr std::uint32_t kPlug = 0x5401;
constexpr std::uint32_t kSetSlot = 0x658;
constexpr std::uint32_t kUpload = 0x650;

// The service's first sync broadcast tells the registered number, which
// every program gets from the same name.
std::uint32_t SyncMessage(const std::vector<Signal>& signals) {
    for (const Signal& s : signals) {
        if (s.member == "Message" && s.window == "*" && s.msg >= 0xC000)
            return s.msg;
    }
    return 0;
}

using ServiceStart = BusTest;

TEST_F(ServiceStart, FirstStartMakesTheDataFolderAndASecondStartEndsAtOnce) {
    Start();
    ASSERT_TRUE(WaitFor([&] { return Property("Plugged") == "true"; }));
    EXPECT_TRUE(fs::is_regular_file(dataFolder + "/config.ini"));
    EXPECT_TRUE(fs::is_directory(dataFolder + "/Profiles"));
    EXPECT_TRUE(fs::is_regular_file(dataFolder + "/registry.reg"));
    EXPECT_NE(Property("FirmwareVersion"), "''");

    EXPECT_EQ(RunOnce({"--simulated-keyboard"}), 0);
    EXPECT_TRUE(NameOwned());
    EXPECT_EQ(Property("Plugged"), "true"); // the first one still serves
}

TEST_F(ServiceStart, CommandLine) {
    std::string out;
    EXPECT_EQ(RunOnce({"--version"}, &out), 0);
    EXPECT_EQ(out.rfind("orvane-hid ", 0), 0u) << out;
    out.clear();
    EXPECT_EQ(RunOnce({"--help"}, &out), 0);
    EXPECT_NE(out.find("--simulated-keyboard"), std::string::npos);
    EXPECT_EQ(RunOnce({"--no-such-option"}), 2);
    EXPECT_EQ(RunOnce({"--sim-log", root + "/x.log"}), 2);
    EXPECT_FALSE(NameOwned());
}

// SIGTERM ends the service through the main window's destroy handling, as
// WM_CLOSE does: the display is told, and the name is given up.
class Ending : public BusTest, public ::testing::WithParamInterface<bool> {};

TEST_P(Ending, RunsTheMainWindowsDestroyHandling) {
    Start();
    CallOk("RegisterWindow", g_variant_new("(s)", "Orvane OSD"));
    if (GetParam())
        ASSERT_EQ(kill(service, SIGTERM), 0);
    else
        CallOk("Post", g_variant_new("(utx)", kClose, guint64{0}, gint64{0}));
    EXPECT_EQ(WaitForExit(), 0);
    Pump(100);
    EXPECT_TRUE(HasMessage("Orvane OSD", kDestroy, 0, 0));
    EXPECT_FALSE(NameOwned());
}

INSTANTIATE_TEST_SUITE_P(SigtermOrClose, Ending, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "Sigterm" : "WmClose"; });

using Keyboard = BusTest;

// Plugging in and out is told to the registered windows and shown in the
// properties, the firmware version read anew at each plug-in.
TEST_F(Keyboard, PlugChangesReachTheWindowsAndTheProperties) {
    Start();
    ASSERT_TRUE(WaitFor([&] { return Property("Plugged") == "true"; }));
    CallOk("RegisterWindow", g_variant_new("(s)", "Orvane"));
    CallOk("RegisterWindow", g_variant_new("(s)", "Orvane_TrayIcon"));
    const std::string before = Property("FirmwareVersion");

    SimOk("Unplug", nullptr);
    EXPECT_TRUE(WaitForMessage("Orvane", kPlug, 0, 0));
    EXPECT_TRUE(WaitForMessage("Orvane_TrayIcon", kPlug, 0, 0));
    EXPECT_TRUE(WaitFor([&] { return HasChange("Plugged", "false"); }));
    EXPECT_EQ(Property("Plugged"), "false");

    SimOk("SetVersion", g_variant_new("(yy)", 2, 7));
    SimOk("Plug", nullptr);
    EXPECT_TRUE(WaitForMessage("Orvane", kPlug, 1, 0));
    EXPECT_TRUE(WaitFor([&] { return HasChange("Plugged", "true"); }));
    ASSERT_TRUE(WaitFor([&] { return Property("FirmwareVersion") != before; }));
    const std::string now = Property("FirmwareVersion");
    EXPECT_TRUE(WaitFor([&] { return HasChange("FirmwareVersion", now); }));
}

// Each convenience method posts what the configuration program would, and
// the service answers as it does on Windows.
TEST_F(Keyboard, MethodsPostWhatTheConfigurationProgramWould) {
    Start();
    ASSERT_TRUE(WaitFor([&] { return Property("Plugged") == "true"; }));
    CallOk("RegisterWindow", g_variant_new("(s)", "Orvane/Orvane"));
    CallOk("RegisterWindow", g_variant_new("(s)", "DLGLoading"));

    CallOk("SelectSlot", g_variant_new("(y)", 3));
    EXPECT_TRUE(WaitForMessage("Orvane/Orvane", kSetSlot, 0, 3));
    EXPECT_TRUE(WaitFor([&] { return HasChange("Slot", "3"); }));
    EXPECT_EQ(Property("Slot"), "3");
    const std::uint32_t sync = SyncMessage(signals);
    EXPECT_NE(sync, 0u) << "the selection is broadcast";

    CallOk("Sync", g_variant_new("(ux)", 0u, gint64{1}));
    EXPECT_TRUE(WaitFor([&] { return Property("Slot") == "1"; }));
    EXPECT_TRUE(WaitForMessage("*", sync, 0, 1));

    CallOk("Post", g_variant_new("(utx)", kSetSlot, guint64{4}, gint64{0}));
    EXPECT_TRUE(WaitFor([&] { return Property("Slot") == "4"; }));

    signals.clear();
    CallOk("UploadSlot", g_variant_new("(y)", 2));
    EXPECT_TRUE(WaitForMessage("DLGLoading", kUpload, 0, 0));
    EXPECT_TRUE(WaitFor([&] { return HasChange("UploadProgress", "100"); }));
    signals.clear();
    CallOk("Upload", g_variant_new("(b)", TRUE));
    EXPECT_TRUE(WaitForMessage("DLGLoading", kUpload, 0, 0));
    CallOk("Reload", nullptr);

    for (const char* method : {"SelectSlot", "UploadSlot"}) {
        std::string error;
        EXPECT_EQ(Call(method, g_variant_new("(y)", 6), &error), nullptr) << method;
        EXPECT_EQ(error, "org.orvane.Hid1.Error.InvalidArgs") << method;
    }
}

// A client's window is looked up by its title until the client unregisters
// it or leaves the bus. ("Launch_Program" is closed at every plug change;
// the tray's title is taken by orvane-tray, which the service starts.)
TEST_F(Keyboard, ClientsWindowsAreFoundUntilUnregisteredOrGone) {
    Start();
    ASSERT_TRUE(WaitFor([&] { return Property("Plugged") == "true"; }));
    GError* error = nullptr;
    gchar* address = g_dbus_address_get_for_bus_sync(G_BUS_TYPE_SESSION, nullptr, &error);
    ASSERT_NE(address, nullptr);
    GDBusConnection* other = g_dbus_connection_new_for_address_sync(
        address,
        static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                          G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
        nullptr, nullptr, &error);
    g_free(address);
    ASSERT_NE(other, nullptr);
    GVariant* reply =
        g_dbus_connection_call_sync(other, "org.orvane.Hid", "/org/orvane/Hid", "org.orvane.Hid1",
                                    "RegisterWindow", g_variant_new("(s)", "Launch_Program"),
                                    nullptr, G_DBUS_CALL_FLAGS_NONE, 5000, nullptr, &error);
    ASSERT_NE(reply, nullptr);
    g_variant_unref(reply);
    CallOk("RegisterWindow", g_variant_new("(s)", "Orvane"));

    SimOk("Unplug", nullptr);
    EXPECT_TRUE(WaitForMessage("Orvane", kPlug, 0, 0));
    EXPECT_TRUE(WaitForMessage("Launch_Program", kClose, 0, 0));

    CallOk("UnregisterWindow", g_variant_new("(s)", "Orvane"));
    g_dbus_connection_close_sync(other, nullptr, nullptr);
    g_object_unref(other);
    Pump(200);
    signals.clear();
    SimOk("Plug", nullptr);
    ASSERT_TRUE(WaitFor([&] { return HasChange("Plugged", "true"); }));
    Pump(300);
    for (const Signal& s : signals)
        EXPECT_NE(s.member + s.window, "MessageLaunch_Program");
    EXPECT_FALSE(HasMessage("Orvane", kPlug, 1, 0));

    std::string name;
    EXPECT_EQ(Call("UnregisterWindow", g_variant_new("(s)", "Orvane"), &name), nullptr);
    EXPECT_EQ(name, "org.orvane.Hid1.Error.InvalidArgs");
    EXPECT_EQ(Call("RegisterWindow", g_variant_new("(s)", ""), &name), nullptr);
    EXPECT_EQ(Call("RegisterWindow", g_variant_new("(s)", "a/b/c"), &name), nullptr);
}

} // namespace
} // namespace orv::linux_test
