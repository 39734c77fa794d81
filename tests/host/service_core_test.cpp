// The main window end to end on the in-memory platform: first start, the
// keyboard coming and going, reloads and the timers.
#include "pass_through_files.h"
#include "service_test_support.h"
#include "storage/ini_file.h"
#include "storage_test_support.h"

#include <cstring>
#include <filesystem>
#include <memory>
#include <set>

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

// The first start's ground: a data folder with config.ini (its profile list
// as the tests set it) and no profile folder.
class FirstStartTest : public UnpluggedServiceTest {
protected:
    void SetUp() override {
        Start();
        app.ExitInstance();
        for (int slot = 0; slot < 6; ++slot)
            defaults.push_back(Bytes(Profile(FormatW(u"Profile %d", slot))));
        std::filesystem::remove_all(host.files->HostPath(kDataDir + u"Profiles"));
    }
    static std::u16string Profile(std::u16string_view name) {
        return kDataDir + u"Profiles\\" + std::u16string(name) + u".ini";
    }
    std::string Bytes(const std::u16string& path) {
        std::string bytes;
        return host.files->ReadAll(path, bytes) == ReadResult::Ok ? bytes : "<missing>";
    }
    void NameSlot(int slot, std::u16string_view name) {
        CIniFile(kDataDir + u"config.ini")
            .WriteString(FormatW(u"MyXlistIconInfo%d", slot), u"ProfileName", name);
    }
    // The names in a folder.
    std::set<std::string> Entries(const std::u16string& folder) {
        std::set<std::string> names;
        std::error_code error;
        for (const auto& entry :
             std::filesystem::directory_iterator(host.files->HostPath(folder), error))
            names.insert(entry.path().filename().string());
        return names;
    }
    void StartAgain() {
        CHidApp again;
        ASSERT_TRUE(again.InitInstance());
        host.RunUntilIdle();
        again.ExitInstance();
    }

    const std::set<std::string> kDefaultNames = {"Profile 0.ini", "Profile 1.ini", "Profile 2.ini",
                                                 "Profile 3.ini", "Profile 4.ini", "Profile 5.ini"};
    std::vector<std::string> defaults; // the six default files, by slot
};

// A slot whose name can name no file never gets one. That is no first start:
// the files of the other slots keep what the user put in them.
TEST_F(FirstStartTest, ProfileNameThatNamesNoFileLeavesTheOtherProfilesAlone) {
    StartAgain();
    std::vector<std::string> users;
    for (int slot = 0; slot < 6; ++slot) {
        auto profile = std::make_unique<PROFILE_DATA>();
        ResetProfileDefaults(*profile, true, slot);
        SetFieldText(profile->LinkExe[0], FormatW(u"C:\\Games\\game%d.exe", slot));
        profile->Light.Effect = 7;
        SaveProfileFile(FormatW(u"Profile %d", slot), *profile);
        users.push_back(Bytes(Profile(FormatW(u"Profile %d", slot))));
    }
    NameSlot(0, u"Best?");

    StartAgain();
    StartAgain();
    for (int slot = 0; slot < 6; ++slot)
        EXPECT_EQ(Bytes(Profile(FormatW(u"Profile %d", slot))), users[slot]) << slot;
    EXPECT_EQ(Entries(kDataDir + u"Profiles"), kDefaultNames);
    EXPECT_FALSE(host.files->Exists(kDataDir + u"Profiles.new"));
}

// What an earlier start left in the staging folder, and what someone else put
// there, stays out of the profile folder: it gets this start's six defaults.
TEST_F(FirstStartTest, LeftoverStagingFolderIsClearedFirst) {
    const std::u16string staging = kDataDir + u"Profiles.new";
    ASSERT_TRUE(host.files->MakeDirectory(staging));
    ASSERT_TRUE(host.files->CreateNew(
        staging + u"\\Profile 2.ini",
        testing::Utf16File(u"[GROUP]\r\nCurrentProfileName=Profile 2\r\nStale=1\r\n"
                           u"[Window]\r\nx=1\r\n")));
    ASSERT_TRUE(host.files->CreateNew(staging + u"\\Profile 4.ini.tmp", "half"));
    ASSERT_TRUE(host.files->CreateNew(staging + u"\\notes.txt", "someone else's"));

    StartAgain();
    EXPECT_EQ(Entries(kDataDir + u"Profiles"), kDefaultNames);
    for (int slot = 0; slot < 6; ++slot)
        EXPECT_EQ(Bytes(Profile(FormatW(u"Profile %d", slot))), defaults[slot]) << slot;
    EXPECT_FALSE(host.files->Exists(staging));
}

// A staging folder that cannot be cleared is left alone; the defaults go
// straight into a new profile folder.
TEST_F(FirstStartTest, StagingFolderThatCannotBeClearedIsLeftAlone) {
    const std::u16string staging = kDataDir + u"Profiles.new";
    ASSERT_TRUE(host.files->MakeDirectory(staging));
    ASSERT_TRUE(host.files->MakeDirectory(staging + u"\\theirs"));
    ASSERT_TRUE(host.files->CreateNew(staging + u"\\notes.txt", "someone else's"));

    StartAgain();
    EXPECT_EQ(Entries(kDataDir + u"Profiles"), kDefaultNames);
    EXPECT_EQ(Entries(staging), (std::set<std::string>{"notes.txt", "theirs"}));
}

// A first start that cannot write every default (a slot whose name can name
// no file) still ends with the profile folder in place and no staging folder
// left, and the next start is no first start.
TEST_F(FirstStartTest, FirstStartThatCannotWriteEveryDefaultLeavesNoStagingFolder) {
    NameSlot(3, u"Be|st");
    StartAgain();
    std::set<std::string> written = kDefaultNames;
    written.erase("Profile 3.ini");
    EXPECT_EQ(Entries(kDataDir + u"Profiles"), written);
    EXPECT_FALSE(host.files->Exists(kDataDir + u"Profiles.new"));
    for (int slot : {0, 1, 2, 4, 5})
        EXPECT_EQ(Bytes(Profile(FormatW(u"Profile %d", slot))), defaults[slot]) << slot;

    SaveProfileFile(u"Profile 4", *std::make_unique<PROFILE_DATA>());
    const std::string edited = Bytes(Profile(u"Profile 4"));
    StartAgain();
    EXPECT_EQ(Bytes(Profile(u"Profile 4")), edited);
    EXPECT_FALSE(host.files->Exists(kDataDir + u"Profiles.new"));
}

// The file system of a start during which the configuration program creates
// the profile folder with a file of its own, just before the staging folder
// would take that name.
class ProfilesAppearBeforeTheMove final : public testing::PassThroughFiles {
public:
    using PassThroughFiles::PassThroughFiles;
    bool MoveEntry(std::u16string_view from, std::u16string_view to) override {
        m_inner.MakeDirectory(to);
        m_inner.CreateNew(std::u16string(to) + u"\\Profile 1.ini", "theirs");
        return m_inner.MoveEntry(from, to);
    }
};

TEST_F(FirstStartTest, ProfileFolderThatAppearsMeanwhileGetsOnlyTheMissingDefaults) {
    ProfilesAppearBeforeTheMove files(*host.files);
    Platform installed = CurrentPlatform();
    installed.files = &files;
    InstallPlatform(installed);
    StartAgain();
    installed.files = host.files.get();
    InstallPlatform(installed);

    EXPECT_EQ(Entries(kDataDir + u"Profiles"), kDefaultNames);
    EXPECT_EQ(Bytes(Profile(u"Profile 1")), "theirs");
    for (int slot : {0, 2, 3, 4, 5})
        EXPECT_EQ(Bytes(Profile(FormatW(u"Profile %d", slot))), defaults[slot]) << slot;
    EXPECT_FALSE(host.files->Exists(kDataDir + u"Profiles.new"));
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

// The current slot's profile is loaded again on a plug-in only when the
// keyboard answers the slot query; the rest of the plug handling runs either way.
TEST_F(PlugTest, CurrentSlotIsReloadedOnlyWhenTheSlotQueryIsAnswered) {
    Start();
    sim.SetVersion(2, 7);
    for (bool answered : {true, false}) {
        SCOPED_TRACE(answered);
        sim.Unplug();
        host.RunUntilIdle();
        sim.SetAnswersSlotQuery(answered);
        Settings().Current.Light.Effect = 42; // in memory only
        config.top.received.clear();
        sim.Plug();
        host.RunUntilIdle();
        EXPECT_EQ(Settings().Current.Light.Effect == 42, !answered);
        EXPECT_EQ(config.top.Received(WM_HID_PLUG).size(), 5u);
        EXPECT_TRUE(host.windows.TimerRunning(Main(), IDT_APP_WATCH));
        EXPECT_NE(FileText(kDataDir + u"config.ini").find("FWVersion=27\r\n"), std::string::npos);
        EXPECT_NE(FileText(kDataDir + u"config.ini").find("Plug=1\r\n"), std::string::npos);
    }
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
