// The main window end to end on the in-memory platform: first start, the
// keyboard coming and going, reloads and the timers.
#include "service_test_support.h"

#include <cstring>
#include <filesystem>
#include <memory>

namespace orv {
namespace {

using namespace std::string_literals;

using testing_service::ConfigStandIn;
using testing_service::kDataDir;
using testing_service::ServiceTest;

class UnpluggedServiceTest : public ServiceTest {
protected:
    UnpluggedServiceTest() : ServiceTest(false) {}
};

TEST_F(UnpluggedServiceTest, FirstStartWritesSettingsAndSixDefaultProfiles) {
    Start();
    std::string config = FileText(kDataDir + u"config.ini");
    EXPECT_NE(
        config.find("[Setting]\r\nProfile=0\r\nKeyMode=0\r\nPollingRate=0\r\nLanguage=101\r\n"),
        std::string::npos)
        << config;
    EXPECT_EQ(config.find("Plug="), std::string::npos); // only after a plug change
    for (int slot = 0; slot < 6; ++slot) {
        std::u16string name = FormatW(u"Profile %d", slot);
        std::string profile = FileText(kDataDir + u"Profiles\\" + name + u".ini");
        EXPECT_NE(profile.find("CurrentProfileName=Profile " + std::to_string(slot)),
                  std::string::npos);
        EXPECT_NE(profile.find("BUTTON_INFO_PART12="), std::string::npos) << slot;
    }
    // Current is the active slot's default profile just written, not the
    // empty one loaded before it existed: a lighting change saved from it
    // keeps the slot's colours.
    auto defaults = std::make_unique<PROFILE_DATA>();
    ResetProfileDefaults(*defaults, true, 0);
    EXPECT_EQ(std::memcmp(&Settings().Current, defaults.get(), sizeof *defaults), 0);
    // Nothing opened, so no tray-icon program and no watcher.
    EXPECT_TRUE(host.shell.started.empty());
    EXPECT_FALSE(host.windows.TimerRunning(Main(), IDT_APP_WATCH));
}

TEST_F(UnpluggedServiceTest, MissingCurrentProfileIsRecreatedWithOnlyItsName) {
    Start();
    app.ExitInstance();
    std::u16string slot3 = kDataDir + u"Profiles\\Profile 3.ini";
    std::string before = FileText(slot3);
    ASSERT_EQ(std::remove(host.files->HostPath(kDataDir + u"Profiles\\Profile 0.ini").c_str()), 0);

    CHidApp again;
    ASSERT_TRUE(again.InitInstance());
    std::string recreated = FileText(kDataDir + u"Profiles\\Profile 0.ini");
    EXPECT_EQ(recreated, "[GROUP]\r\nCurrentProfileName=Profile 0\r\n");
    EXPECT_EQ(FileText(slot3), before); // no defaults written over the others
    again.ExitInstance();
}

TEST_F(UnpluggedServiceTest, FirstStartCutShortIsDoneAgainWhole) {
    Start();
    app.ExitInstance();
    std::vector<std::string> defaults;
    for (int slot = 0; slot < 6; ++slot)
        defaults.push_back(FileText(kDataDir + FormatW(u"Profiles\\Profile %d.ini", slot)));
    // What a start killed while writing the defaults leaves: the files so far
    // in a folder that has not yet become the profile folder.
    namespace fs = std::filesystem;
    fs::path profiles = host.files->HostPath(kDataDir + u"Profiles");
    fs::path staging = host.files->HostPath(kDataDir + u"Profiles.new");
    fs::rename(profiles, staging);
    fs::remove(staging / "Profile 4.ini");
    fs::remove(staging / "Profile 5.ini");

    CHidApp again;
    ASSERT_TRUE(again.InitInstance());
    for (int slot = 0; slot < 6; ++slot)
        EXPECT_EQ(FileText(kDataDir + FormatW(u"Profiles\\Profile %d.ini", slot)), defaults[slot])
            << slot;
    EXPECT_FALSE(fs::exists(staging));
    again.ExitInstance();
}

class PlugTest : public ServiceTest {
protected:
    ConfigStandIn config{host.windows};
    host::StandInWindow tray{host.windows, u"Orvane_TrayIcon"};
    host::StandInWindow macro{host.windows, u"BelmicMacro"};
    host::StandInWindow manage{host.windows, u"ManageProfile"};
};

TEST_F(PlugTest, EachCollectionRunsTheWholePlugHandling) {
    Start();
    auto plugs = config.top.Received(WM_HID_PLUG);
    ASSERT_EQ(plugs.size(), 5u);
    for (const auto& plug : plugs) {
        EXPECT_EQ(plug.wParam, 1u);
        EXPECT_EQ(plug.lParam, 0);
    }
    EXPECT_EQ(tray.Received(WM_HID_PLUG).size(), 5u);
    EXPECT_TRUE(config.child.Received(WM_HID_PLUG).empty());
    EXPECT_EQ(macro.Received(WM_CLOSE).size(), 1u);
    EXPECT_EQ(manage.Received(WM_CLOSE).size(), 1u);

    // Each plug notice asks for the version (3 s first) and for the slot.
    std::vector<std::uint32_t> once = {3000, 20, 20, 100, 20};
    std::vector<std::uint32_t> expected;
    for (int i = 0; i < 5; ++i)
        expected.insert(expected.end(), once.begin(), once.end());
    EXPECT_EQ(host.clock.pauses, expected);

    std::string settings = FileText(kDataDir + u"config.ini");
    EXPECT_NE(settings.find("FWVersion=10\r\n"), std::string::npos) << settings;
    EXPECT_NE(settings.find("Plug=1\r\n"), std::string::npos);
    EXPECT_EQ(host.registry.Find(kRegistryKeyPath, u"FWVersion")->text, u"10");
    EXPECT_EQ(host.registry.Find(kRegistryKeyPath, u"DevicePlug")->dword, 1u);
    EXPECT_TRUE(host.windows.TimerRunning(Main(), IDT_APP_WATCH));
    EXPECT_TRUE(host.shell.started.empty()); // the tray-icon program runs already
}

TEST_F(PlugTest, RemovalTellsEveryoneOnceAndStopsTheWatcher) {
    Start();
    sim.SetVersion(2, 7);
    host.registry.writes.clear();
    sim.Unplug();
    host.RunUntilIdle();

    auto plugs = config.top.Received(WM_HID_PLUG);
    ASSERT_EQ(plugs.size(), 6u);
    EXPECT_EQ(plugs.back().wParam, 0u);
    EXPECT_EQ(tray.Received(WM_HID_PLUG).back().wParam, 0u);
    EXPECT_FALSE(host.windows.TimerRunning(Main(), IDT_APP_WATCH));
    std::string settings = FileText(kDataDir + u"config.ini");
    EXPECT_NE(settings.find("FWVersion= \r\n"), std::string::npos) << settings;
    EXPECT_NE(settings.find("Plug=0\r\n"), std::string::npos);
    ASSERT_EQ(host.registry.writes.size(), 2u);
    EXPECT_EQ(host.registry.writes[0].name, u"FWVersion");
    EXPECT_EQ(host.registry.writes[0].text, u" ");
    EXPECT_EQ(host.registry.writes[1].name, u"DevicePlug");
    EXPECT_EQ(host.registry.writes[1].dword, 0u);

    sim.Plug();
    host.RunUntilIdle();
    EXPECT_NE(FileText(kDataDir + u"config.ini").find("FWVersion=27\r\n"), std::string::npos);
    EXPECT_TRUE(host.windows.TimerRunning(Main(), IDT_APP_WATCH));
}

TEST_F(ServiceTest, TrayIconProgramStartsWhenTheKeyboardOpensAtStartUp) {
    Start();
    ASSERT_EQ(host.shell.started.size(), 1u);
    EXPECT_EQ(host.shell.started[0].file, u"C:\\Program Files\\Orvane\\traystub.exe");
}

TEST_F(ServiceTest, RegistryKeyMissingStillUpdatesTheSettingsFile) {
    Start();
    // A registry without the key: nothing may be written there.
    host::HostRegistry bare;
    Platform installed = CurrentPlatform();
    installed.registry = &bare;
    InstallPlatform(installed);
    sim.Unplug();
    host.RunUntilIdle();
    EXPECT_TRUE(bare.writes.empty());
    EXPECT_FALSE(bare.KeyExists(kRegistryKeyPath));
    EXPECT_NE(FileText(kDataDir + u"config.ini").find("Plug=0\r\n"), std::string::npos);
    installed.registry = &host.registry;
    InstallPlatform(installed);
}

TEST_F(ServiceTest, ReloadRereadsEverythingWithoutWritingToTheKeyboard) {
    Start();
    ASSERT_TRUE(host.files->ReplaceContent(
        kDataDir + u"config.ini",
        "\xFF\xFE[\0S\0e\0t\0t\0i\0n\0g\0]\0\r\0\n\0P\0r\0o\0f\0i\0l\0e\0=\0003\0\r\0\n\0"
        "S\0y\0n\0c\0M\0o\0d\0e\0=\0001\0\r\0\n\0"s));
    Forget();
    Post(WM_HID_RELOAD, 0, 0);
    EXPECT_EQ(Settings().Profile, 3);
    EXPECT_EQ(Settings().SyncMode, 1);
    EXPECT_TRUE(Writes().empty());
}

TEST_F(ServiceTest, LaunchLockTimerTicksOnce) {
    Start();
    host.windows.StartTimer(Main(), IDT_LAUNCH_LOCK, 500);
    host.AdvanceBy(499);
    EXPECT_TRUE(host.windows.TimerRunning(Main(), IDT_LAUNCH_LOCK));
    host.AdvanceBy(1);
    EXPECT_FALSE(host.windows.TimerRunning(Main(), IDT_LAUNCH_LOCK));
}

} // namespace
} // namespace orv
