// The configuration program's requests, slot switching and the foreground
// watcher.
#include "messaging/foreground_settle.h"
#include "messaging/osd_record.h"
#include "service_test_support.h"

#include <numeric>

namespace orv {
namespace {

using testing_service::ConfigStandIn;
using testing_service::kDataDir;
using testing_service::ServiceTest;

std::string SlotCommand(int slot) {
    char text[32];
    std::snprintf(text, sizeof text, "0A 03 %02X 00 00 00 00 00", slot & 0xFF);
    return text;
}

class MessageTest : public ServiceTest {
protected:
    void SetUp() override {
        Start();
        Forget();
    }
    std::string ConfigText() { return FileText(kDataDir + u"config.ini"); }
    ConfigStandIn config{host.windows};
};

TEST_F(MessageTest, EveryRequestIsAnsweredWithOne) {
    for (MsgId msg : {WM_HID_RELOAD, WM_HID_SET_SLOT, WM_HID_SET_OPTION, WM_HID_IGNORED_669,
                      WM_HID_REOPEN, WM_HID_KEY_EVENT, WM_HID_LAUNCH, WM_HID_UPLOAD,
                      WM_HID_UPLOAD_SLOT, WM_HID_SHOW_PROGRESS, WM_HID_PLUG})
        EXPECT_EQ(host.windows.SendMsg(Main(), msg, 0, 0), 1) << msg;
}

TEST_F(MessageTest, SetSlotKeepsOnlySlotsTheKeyboardHas) {
    Post(WM_HID_SET_SLOT, 4, 0);
    EXPECT_EQ(Settings().Profile, 4);
    EXPECT_NE(ConfigText().find("Profile=0\r\n"), std::string::npos); // not saved
    EXPECT_TRUE(config.child.Received(WM_HID_SET_SLOT).empty());      // nobody told

    Post(WM_HID_SET_SLOT, 9, 0);
    EXPECT_EQ(Settings().Profile, 4);
    EXPECT_EQ(Writes(), (std::vector<std::string>{SlotCommand(4), SlotCommand(9)}));
    // A lighting change now saves into the right profile, not past the list.
    Post(WM_HID_KEY_EVENT, 7, 0x000100DF);
    auto saved = std::make_unique<PROFILE_DATA>();
    LoadProfileFile(u"Profile 4", *saved);
    EXPECT_EQ(saved->Light.Effect, 7);
}

TEST_F(MessageTest, SetOptionStoresAndSendsButDoesNotSave) {
    Post(WM_HID_SET_OPTION, 0, 2);
    Post(WM_HID_SET_OPTION, 1, 1);
    EXPECT_EQ(Settings().PollingRate, 2);
    EXPECT_EQ(Settings().KeyMode, 1);
    EXPECT_EQ(Writes(),
              (std::vector<std::string>{"07 01 04 00 00 00 00 00", "07 11 01 00 00 00 00 00"}));
    EXPECT_NE(ConfigText().find("PollingRate=0\r\n"), std::string::npos);
}

TEST_F(MessageTest, SyncCodeZeroSelectsThenTellsTheKeyboard) {
    Sync(0, 3);
    EXPECT_EQ(Settings().Profile, 3);
    EXPECT_NE(ConfigText().find("Profile=3\r\n"), std::string::npos);
    ASSERT_EQ(config.child.Received(WM_HID_SET_SLOT).size(), 1u);
    EXPECT_EQ(config.child.Received(WM_HID_SET_SLOT)[0].lParam, 3);

    config.child.received.clear();
    Sync(20, 3); // the current slot: no reload, no notice, the keyboard told anyway
    EXPECT_TRUE(config.child.received.empty());
    Sync(0, 7); // no such slot: the service keeps its own
    EXPECT_EQ(Settings().Profile, 3);
    for (WParam other : {2, 10, 11, 12})
        Sync(other, 1);
    EXPECT_EQ(Settings().Profile, 3);
    EXPECT_EQ(Writes(), (std::vector<std::string>{SlotCommand(3), SlotCommand(3), SlotCommand(7)}));
}

TEST_F(MessageTest, TemporarySwitchAndReturn) {
    Sync(0, 1);
    Forget();
    Sync(1, 3);
    EXPECT_EQ(Settings().Profile, 2);
    EXPECT_EQ(wnd->SavedSlot(), 1);
    Sync(1, 5);
    EXPECT_EQ(Settings().Profile, 4);
    EXPECT_EQ(wnd->SavedSlot(), 1); // the first saved slot is kept
    Sync(1, 0xFFFFFFFF);            // -1 as a 32-bit value
    EXPECT_EQ(Settings().Profile, 1);
    EXPECT_EQ(wnd->SavedSlot(), -1);
    Sync(1, -1); // nothing saved: nothing at all
    EXPECT_EQ(Writes(), (std::vector<std::string>{SlotCommand(2), SlotCommand(4), SlotCommand(1)}));

    Sync(1, 0); // target -1: no switch, but the slot is saved and the keyboard told
    EXPECT_EQ(Settings().Profile, 1);
    EXPECT_EQ(wnd->SavedSlot(), 1);
    EXPECT_EQ(Writes().back(), SlotCommand(0xFF));

    sim.Unplug(); // any plug change forgets the saved slot
    host.RunUntilIdle();
    EXPECT_EQ(wnd->SavedSlot(), -1);
}

TEST_F(MessageTest, SelectSlotShowsTheSlotAndRepairsItsProfile) {
    host::StandInWindow osd(host.windows, u"Orvane OSD", u"On Screen Display");
    Settings().OSD_Profile = 1;
    auto profile = std::make_unique<PROFILE_DATA>();
    ResetProfileDefaults(*profile, true, 5);
    profile->Light.Effect = 25;
    profile->Light.EffectLevel = 0;
    SaveProfileFile(u"Profile 5", *profile);

    Sync(0, 5);
    Sync(0, 0);
    Sync(0, 0); // the current slot again: nothing shown
    auto shown = osd.Received(WM_COPYDATA);
    ASSERT_EQ(shown.size(), 2u);
    auto text = [](const host::MessageRecord& r) {
        return std::u16string(FieldText(reinterpret_cast<const OSD_DATA*>(r.data.data())->Text));
    };
    EXPECT_EQ(text(shown[0]), u"Profile 5");
    EXPECT_EQ(text(shown[1]), u"PC Mode");

    Sync(0, 5);
    EXPECT_EQ(Settings().Current.Light.Effect, 5);
    EXPECT_EQ(Settings().Current.Light.EffectLevel, 5);
}

TEST_F(MessageTest, HungDisplayHoldsUpASlotChangeForOneSecondOnly) {
    Settings().OSD_Profile = 1;
    auto profile = std::make_unique<PROFILE_DATA>();
    ResetProfileDefaults(*profile, true, 3);
    profile->Light.Effect = 9;
    SaveProfileFile(u"Profile 3", *profile);
    auto hung =
        std::make_unique<host::StandInWindow>(host.windows, u"Orvane OSD", u"On Screen Display");
    host.windows.answerTimes[hung->Handle()] = host::HostWindowSystem::kNeverAnswers;

    host.clock.pauses.clear();
    std::uint32_t before = host.clock.TickCount();
    Sync(0, 3);
    // Beside the slot command's own pauses, one second of waiting for the display.
    std::uint32_t paused = std::accumulate(host.clock.pauses.begin(), host.clock.pauses.end(), 0u);
    EXPECT_EQ(host.clock.TickCount() - before - paused, 1000u);
    EXPECT_EQ(Settings().Profile, 3);
    EXPECT_NE(ConfigText().find("Profile=3\r\n"), std::string::npos);
    EXPECT_EQ(Settings().Current.Light.Effect, 9); // the slot's profile was loaded
    EXPECT_EQ(Writes(), std::vector<std::string>{SlotCommand(3)});
    EXPECT_EQ(config.child.Received(WM_HID_SET_SLOT).size(), 1u);
    EXPECT_TRUE(hung->Received(WM_COPYDATA).empty());

    // Once a working display is back it shows the next change.
    hung.reset();
    host::StandInWindow osd(host.windows, u"Orvane OSD", u"On Screen Display");
    Sync(0, 4);
    ASSERT_EQ(osd.Received(WM_COPYDATA).size(), 1u);
    EXPECT_EQ(
        FieldText(
            reinterpret_cast<const OSD_DATA*>(osd.Received(WM_COPYDATA)[0].data.data())->Text),
        u"Profile 4");
}

TEST_F(MessageTest, ConfigurationWindowWithoutItsChildGetsOnlyPlugNotices) {
    host::HostPlatform* p = &host;
    config.child.received.clear();
    p->windows.DestroyWnd(config.child.Handle());
    Sync(0, 2);
    EXPECT_EQ(Settings().Profile, 2);
    sim.Unplug();
    host.RunUntilIdle();
    EXPECT_EQ(config.top.Received(WM_HID_SET_SLOT).size(), 0u);
    EXPECT_EQ(config.top.Received(WM_HID_PLUG).back().wParam, 0u);
}

class WatcherTest : public MessageTest {
protected:
    void SetUp() override {
        LinkSlot(3, 0, u"D:\\Games\\game.exe");
        LinkSlot(1, 4, u"C:\\Other\\GAME.EXE");
        LinkSlot(2, 0, u"C:\\Suite\\osdview.exe");
        MessageTest::SetUp();
        host.windows.foreground = config.top.Handle();
        host.windows.windowProcess[config.top.Handle()] = 42;
        host.processes.processes = {{4, u"System"}, {42, u"game.exe"}, {43, u"osdview.exe"}};
    }
    // A link written into a slot's profile file before the service reads it.
    void LinkSlot(int slot, int link, std::u16string path) {
        CopyToField(g_szDataDir, kDataDir);
        host.files->MakeDirectory(u"C:\\Users\\tester\\AppData\\Roaming\\Orvane");
        host.files->MakeDirectory(kDataDir + u"Profiles");
        auto profile = std::make_unique<PROFILE_DATA>();
        std::u16string name = FormatW(u"Profile %d", slot);
        LoadProfileFile(name, *profile);
        SetFieldText(profile->LinkExe[link], path);
        SaveProfileFile(name, *profile);
    }
};

TEST_F(WatcherTest, LowestLinkedSlotWinsWithoutRegardToCase) {
    host.AdvanceBy(2000);
    EXPECT_EQ(Settings().Profile, 1);
    EXPECT_EQ(Writes(), std::vector<std::string>{SlotCommand(1)});
    host.AdvanceBy(4000); // the slot is current: nothing more is sent
    EXPECT_EQ(Writes().size(), 1u);

    Sync(0, 4); // switched elsewhere: undone within one period
    host.AdvanceBy(2000);
    EXPECT_EQ(Settings().Profile, 1);
    EXPECT_EQ(host.processes.snapshotsTaken, host.processes.snapshotsReleased);
}

TEST_F(WatcherTest, IgnoredProgramsEmptyLinksAndNoKeyboard) {
    host.windows.windowProcess[config.top.Handle()] = 43; // osdview.exe, linked by slot 2
    host.AdvanceBy(2000);
    EXPECT_EQ(Settings().Profile, 0);

    host.processes.processes = {{42, u""}}; // an empty name never matches an empty link
    host.windows.windowProcess[config.top.Handle()] = 42;
    host.AdvanceBy(2000);
    EXPECT_EQ(Settings().Profile, 0);

    host.processes.processes = {{42, u"game.exe"}};
    sim.Unplug();
    host.RunUntilIdle();
    host.AdvanceBy(10000); // no ticks while the keyboard is away
    EXPECT_EQ(Settings().Profile, 0);
    EXPECT_TRUE(Writes().empty());
    EXPECT_EQ(host.processes.snapshotsTaken, host.processes.snapshotsReleased);
}

// Foreground changes between ticks: each program has a window of its own,
// and the change comes either with the platform's notice or silently (found
// only by the look).
class ForegroundChangeTest : public WatcherTest {
protected:
    void SetUp() override {
        LinkSlot(4, 1, u"C:\\Race\\race.exe");
        WatcherTest::SetUp();
        host.processes.processes = {{4, u"System"},
                                    {42, u"game.exe"},
                                    {43, u"osdview.exe"},
                                    {44, u"race.exe"},
                                    {45, u"desk.exe"}};
        for (auto [window, process] : {std::pair{&desk, 45u}, {&game, 42u}, {&race, 44u}})
            host.windows.windowProcess[window->Handle()] = process;
        // The desk (linked nowhere) is in front when the keyboard comes: the
        // tick starts now, and the first change comes before it.
        host.windows.foreground = desk.Handle();
        sim.Unplug();
        host.RunUntilIdle();
        sim.Plug();
        host.RunUntilIdle();
        Forget();
        host.processes.snapshotsTaken = host.processes.snapshotsReleased = 0;
    }
    void Bring(const host::StandInWindow& window, bool notice) {
        if (notice)
            host.windows.BringToFront(window.Handle());
        else
            host.windows.foreground = window.Handle();
    }
    static constexpr std::uint32_t kSettle = CForegroundSettle::kSettleMs;
    static constexpr std::uint32_t kLook = CForegroundSettle::kLookMs;
    host::StandInWindow desk{host.windows, u"Desk"};
    host::StandInWindow game{host.windows, u"Game"};
    host::StandInWindow race{host.windows, u"Race"};
};

TEST_F(ForegroundChangeTest, LinkedProgramInFrontSwitchesAfterTheSettleWellBeforeTheTick) {
    for (bool notice : {true, false}) {
        SCOPED_TRACE(notice ? "with the notice" : "found by the look");
        Bring(race, notice);
        // The notice is handled at once; without it the next look (each
        // kLook from the plug-in, which was just now) finds the change.
        const std::uint32_t seen = notice ? 0 : kLook;
        host.AdvanceBy(seen + kSettle - 1);
        EXPECT_TRUE(Writes().empty());
        host.AdvanceBy(1);
        EXPECT_EQ(Writes(), std::vector<std::string>{SlotCommand(4)});
        EXPECT_EQ(Settings().Profile, 4);
        // The tick finds the slot current: nothing more, as before.
        host.AdvanceBy(4000);
        EXPECT_EQ(Writes().size(), 1u);
        EXPECT_EQ(host.processes.snapshotsTaken, host.processes.snapshotsReleased);

        // Back to the start for the second round: the keyboard again.
        Bring(desk, notice);
        Post(WM_HID_SET_SLOT, 0, 0);
        sim.Unplug();
        host.RunUntilIdle();
        sim.Plug();
        host.RunUntilIdle();
        Forget();
    }
}

TEST_F(ForegroundChangeTest, AFlickSwitchesOnlyForTheWindowLeftInFront) {
    struct Case {
        const char* name;
        bool notice;
        std::uint32_t first;  // ms from the plug-in to the first window
        std::uint32_t second; // ms from the first window to the second
        bool backToDesk;      // the second window is the desk again
    };
    const Case cases[] = {
        {"through game to race, with notices", true, 10, kSettle / 2, false},
        // The look sees the game just before it leaves; the settle finds
        // race in front instead and waits for race a whole settle more.
        {"through game to race, found by the look", false, kLook - 10, kSettle / 2, false},
        {"game for a moment, with notices", true, 10, kSettle - 1, true},
        {"game for a moment, found by the look", false, kLook - 10, kSettle / 2, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        host.AdvanceBy(c.first);
        Bring(game, c.notice);
        host.AdvanceBy(c.second);
        Bring(c.backToDesk ? desk : race, c.notice);
        host.AdvanceBy(1500); // still before the tick
        EXPECT_EQ(Writes(), c.backToDesk ? std::vector<std::string>{}
                                         : std::vector<std::string>{SlotCommand(4)});
        EXPECT_EQ(Settings().Profile, c.backToDesk ? 0 : 4);

        Bring(desk, c.notice);
        Post(WM_HID_SET_SLOT, 0, 0);
        sim.Unplug();
        host.RunUntilIdle();
        sim.Plug();
        host.RunUntilIdle();
        Forget();
    }
}

TEST_F(ForegroundChangeTest, TheDisplayAndWindowsWithoutAProgramAreSettledButSwitchNothing) {
    host::StandInWindow display(host.windows, u"Orvane OSD", u"On Screen Display");
    host.windows.windowProcess[display.Handle()] = 43; // osdview.exe, linked by slot 2
    host::StandInWindow gone(host.windows, u"Gone");   // its process has ended
    host.windows.windowProcess[gone.Handle()] = 99;
    for (const host::StandInWindow* window : {&display, &gone}) {
        host.windows.BringToFront(window->Handle());
        host.AdvanceBy(kSettle);
    }
    host.windows.BringToFront(kNoWindow);
    host.AdvanceBy(1000);
    EXPECT_TRUE(Writes().empty());
    EXPECT_EQ(host.processes.snapshotsTaken, 2); // one per settled window, none for no window
    EXPECT_EQ(host.processes.snapshotsTaken, host.processes.snapshotsReleased);
}

TEST_F(MessageTest, WithoutLinksNothingButTheTickLooksAtTheForeground) {
    host::StandInWindow game(host.windows, u"Game");
    host.windows.windowProcess[game.Handle()] = 42;
    host.processes.processes = {{42, u"game.exe"}};
    sim.Unplug();
    host.RunUntilIdle();
    sim.Plug();
    host.RunUntilIdle();
    host.processes.snapshotsTaken = 0;
    EXPECT_FALSE(host.windows.TimerRunning(Main(), IDT_FOREGROUND_LOOK));
    host.windows.BringToFront(game.Handle());
    host.AdvanceBy(1999);
    EXPECT_EQ(host.processes.snapshotsTaken, 0);
    host.AdvanceBy(1); // the tick, unchanged
    EXPECT_EQ(host.processes.snapshotsTaken, 1);

    // A link read on reload starts the look; the keyboard's removal stops it.
    auto profile = std::make_unique<PROFILE_DATA>();
    LoadProfileFile(u"Profile 5", *profile);
    SetFieldText(profile->LinkExe[0], u"C:\\game.exe");
    SaveProfileFile(u"Profile 5", *profile);
    Post(WM_HID_RELOAD, 0, 0);
    EXPECT_TRUE(host.windows.TimerRunning(Main(), IDT_FOREGROUND_LOOK));
    sim.Unplug();
    host.RunUntilIdle();
    EXPECT_FALSE(host.windows.TimerRunning(Main(), IDT_FOREGROUND_LOOK));
    host::StandInWindow other(host.windows, u"Other");
    host.windows.BringToFront(other.Handle());
    host.windows.BringToFront(game.Handle());
    host.AdvanceBy(5000);
    EXPECT_EQ(Settings().Profile, 0);
    EXPECT_EQ(host.processes.snapshotsTaken, 1);
}

} // namespace
} // namespace orv
