// What the keyboard reports: special keys, held functions, the launch lock,
// and the changes the keyboard makes itself.
#include "device/key_tables.h"
#include "service_test_support.h"

namespace orv {
namespace {

using testing_service::ConfigStandIn;
using testing_service::ServiceTest;
using Casts = std::vector<std::pair<WParam, LParam>>;

constexpr int kKey20 = 28; // the matrix position of key index 20
constexpr int kPlainLetter = 0x04;

class KeyTest : public ServiceTest {
protected:
    void SetUp() override {
        Start();
        Forget();
    }
    void Assign(int key, std::int32_t function) {
        Settings().Current.Buttons[key].AssignKind = 2;
        Settings().Current.Buttons[key].FunctionCode = function;
    }
    std::vector<host::MessageRecord> Launches() {
        std::vector<host::MessageRecord> out;
        for (const auto& r : host.windows.posts)
            if (r.wnd == Main() && r.msg == WM_HID_LAUNCH)
                out.push_back(r);
        return out;
    }

    ConfigStandIn config{host.windows};
};

TEST_F(KeyTest, DispatcherTable) {
    Settings().SyncMode = 1;
    struct Case {
        std::int32_t function;
        Casts onPress;
        Casts onRelease;
    } cases[] = {
        // 257 to 259 make the keyboard's slot current on press, and announce it.
        {257, {{0, 3}}, {}},
        {258, {{0, 3}}, {}},
        {259, {{0, 3}}, {}},
        {263, {{10, 0}}, {}},
        {268, {{10, 5}}, {}},
        {289, {{2, 0}}, {{2, -1}}},
        {291, {{2, 2}}, {{2, -1}}},
        {400, {{11, 1}}, {{11, 0}}},
        {401, {{12, 0}}, {}},
        {404, {{12, 3}}, {}},
        {405, {{12, 5}}, {}},
        {406, {{12, 4}}, {}},
        {407, {{12, 6}}, {}},
        {223, {}, {}},
        {1000, {}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.function);
        Sync(0, 1);
        sim.SetSlot(3); // where the keyboard went by itself
        Assign(20, c.function);
        Forget();
        KeyEvent(kPlainLetter, kKey20, 1);
        EXPECT_EQ(Broadcasts(), c.onPress);
        EXPECT_EQ(Launches().size(), c.function == 223 ? 1u : 0u);
        const bool readsSlot = c.function >= 257 && c.function <= 259;
        EXPECT_EQ(Settings().Profile, readsSlot ? 3 : 1);
        Assign(20, c.function); // the keyboard's slot brought its own profile
        Forget();
        KeyEvent(kPlainLetter, kKey20, 0);
        EXPECT_EQ(Broadcasts(), c.onRelease);
        EXPECT_TRUE(Launches().empty());
        EXPECT_TRUE(Writes().empty());
    }
}

TEST_F(KeyTest, LaunchKeyPostsItsIndexAndTheLauncherStartsItsPath) {
    Assign(20, 223);
    SetFieldText(Settings().Current.Buttons[20].LaunchPath, u"C:\\Games\\run.exe");
    KeyEvent(kPlainLetter, kKey20, 1);
    ASSERT_EQ(Launches().size(), 1u);
    EXPECT_EQ(Launches()[0].wParam, 0u);
    EXPECT_EQ(Launches()[0].lParam, 20);
    ASSERT_EQ(host.shell.started.size(), 2u); // the tray-icon program, then the key's
    EXPECT_EQ(host.shell.started[1].file, u"C:\\Games\\run.exe");

    // Requests that name no key start nothing.
    for (auto [w, l] :
         std::vector<std::pair<WParam, LParam>>{{1, 20}, {0, 111}, {0, -1}, {0, 1 << 20}})
        EXPECT_EQ(host.windows.SendMsg(Main(), WM_HID_LAUNCH, w, l), 1);
    EXPECT_EQ(host.shell.started.size(), 2u);
}

TEST_F(KeyTest, LaunchLockLetsOneStartThrough) {
    Assign(20, 384);
    KeyEvent(0xFE, kKey20, 1); // 384's key code traces back to 384
    KeyEvent(0xFE, kKey20, 1);
    EXPECT_EQ(Launches().size(), 1u);
    EXPECT_TRUE(wnd->LaunchLocked());
    host.AdvanceBy(500);
    EXPECT_FALSE(wnd->LaunchLocked());
    EXPECT_FALSE(host.windows.TimerRunning(Main(), IDT_LAUNCH_LOCK));
    KeyEvent(0xFE, kKey20, 1);
    EXPECT_EQ(Launches().size(), 2u);
}

TEST_F(KeyTest, HeldFunctionIsAnnouncedThenReleasedOnTheNextEvent) {
    constexpr int kKey21 = 29; // the matrix position of key index 21
    struct Case {
        std::int32_t function;
        int keyCode;    // the code that traces back to it
        int releasedBy; // the position of the key whose event ends the hold
    } cases[] = {
        {353, 0xC4, kKey20},
        {354, 0xC5, kKey20},
        {355, 0xC6, kKey20},
        {353, 0xC4, kKey21}, // another key of that kind ends it without its own function
    };
    sim.SetSlot(0);
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.function << " released at " << c.releasedBy);
        Forget();
        Assign(20, c.function);
        Assign(21, 355);
        KeyEvent(c.keyCode, kKey20, 1);
        EXPECT_EQ(wnd->HeldFunction(), c.function);
        EXPECT_EQ(Broadcasts(), (Casts{{2, c.function - 353}}));
        KeyEvent(c.releasedBy == kKey20 ? c.keyCode : 0xC6, c.releasedBy,
                 c.releasedBy == kKey20 ? 0 : 1);
        EXPECT_EQ(wnd->HeldFunction(), 0);
        EXPECT_EQ(Broadcasts(), (Casts{{2, c.function - 353}, {2, -1}}));
        // Each event read the keyboard's slot first: two slot queries.
        int queries = 0;
        for (const std::string& w : Writes())
            queries += w.rfind("07 81", 0) == 0;
        EXPECT_EQ(queries, 2);
    }
}

TEST_F(KeyTest, KeyCodesOfTheKeyboardsOwnFunctions) {
    Settings().SyncMode = 1;
    sim.SetSlot(3);
    KeyEvent(0xC7, kKey20, 1); // 291: nothing either way
    KeyEvent(0xC7, kKey20, 0);
    EXPECT_TRUE(Writes().empty());
    EXPECT_TRUE(Broadcasts().empty());

    KeyEvent(0xF9, kKey20, 0); // 260 released: nothing
    EXPECT_TRUE(Writes().empty());
    KeyEvent(0xF9, kKey20, 1); // 260 pressed: the keyboard's slot becomes current
    EXPECT_EQ(Settings().Profile, 3);
    Casts casts = Broadcasts();
    ASSERT_FALSE(casts.empty());
    EXPECT_EQ(casts[0], (std::pair<WParam, LParam>{0, 3}));

    Forget();
    KeyEvent(0x55, 2, 1); // a gap cell with a code of no function
    EXPECT_TRUE(Writes().empty());
    EXPECT_TRUE(Broadcasts().empty());
}

TEST_F(KeyTest, LightingEventsChangeTheProfileAndTellTheConfigurationProgram) {
    struct Case {
        int event, v;
        MsgId notice;
        LParam noticed;
    } cases[] = {{0xDF, 9, WM_HID_LIGHT_EFFECT, 9},
                 {0xDB, 1, WM_HID_LIGHT_OPTION, 1},
                 {0xDC, 4, WM_HID_LIGHT_LEVEL, 5},
                 {0xDC, 0, WM_HID_LIGHT_LEVEL, 1}};
    for (const Case& c : cases) {
        config.child.received.clear();
        Post(WM_HID_KEY_EVENT, c.v, 0x00010000 + c.event);
        auto got = config.child.Received(c.notice);
        ASSERT_EQ(got.size(), 1u) << c.event;
        EXPECT_EQ(got[0].wParam, Settings().Profile);
        EXPECT_EQ(got[0].lParam, c.noticed);
    }
    const LIGHT_INFO& light = Settings().Current.Light;
    EXPECT_EQ(light.Effect, 9);
    EXPECT_EQ(light.EffectOption, 1);
    EXPECT_EQ(light.EffectLevel, 1);

    // The change is in the profile file at once.
    auto saved = std::make_unique<PROFILE_DATA>();
    LoadProfileFile(u"Profile 0", *saved);
    EXPECT_EQ(saved->Light.Effect, 9);
    EXPECT_EQ(saved->Light.EffectLevel, 1);

    config.child.received.clear();
    for (auto [event, v] : std::vector<std::pair<int, int>>{{0xDF, 10}, {0xDB, 2}, {0xDC, 5}})
        Post(WM_HID_KEY_EVENT, v, 0x00010000 + event);
    EXPECT_TRUE(config.child.received.empty());
    EXPECT_EQ(light.Effect, 9);
}

TEST_F(KeyTest, SlotEventsOfTheKeyboard) {
    Settings().SyncMode = 1;
    Sync(0, 2);
    Forget();
    Post(WM_HID_KEY_EVENT, 6, 0x000100DA); // 6 stands for slot 0
    EXPECT_EQ(Settings().Profile, 0);
    EXPECT_EQ(Broadcasts(), (Casts{{0, 0}}));
    // Our own broadcast comes back and tells the keyboard once more.
    EXPECT_EQ(Writes(), std::vector<std::string>{"0A 03 00 00 00 00 00 00"});

    Post(WM_HID_KEY_EVENT, 3, 0x000400FE); // control event: slot + 1
    EXPECT_EQ(Settings().Profile, 2);
    Post(WM_HID_KEY_EVENT, 0, 0x000400FE); // slot -1: nothing
    Post(WM_HID_KEY_EVENT, 3, 0x000100FE); // another flag: nothing
    EXPECT_EQ(Settings().Profile, 2);
}

} // namespace
} // namespace orv
