// Per-app switching on an X display, end to end: the service on the
// simulated keyboard, programs with X windows on a virtual display under a
// real window manager, brought to the front as a task bar does it. A linked
// program in front switches the slot soon after the change, not at the
// watcher's next 2000 ms tick; a flick through programs switches only for
// the one left in front; a program that no profile links switches nothing.
// Without a display, per-app switching is off and the service runs on.
#include "bus_support.h"
#include "x_desk.h"

#include <algorithm>
#include <cstdlib>

namespace orv::linux_test {
namespace {

constexpr std::uint32_t kTick = 2000;

std::vector<int> SlotsSince(const std::string& log, std::size_t from) {
    std::vector<int> slots;
    for (const SlotCommand& command : SlotCommands(log, from))
        slots.push_back(command.slot);
    return slots;
}

class ForegroundSwitch : public BusTest {
protected:
    void SetUp() override {
        BusTest::SetUp();
        ASSERT_FALSE(HasFatalFailure());
        std::string error;
        ASSERT_TRUE(desk.Start(error)) << error;
        setenv("DISPLAY", desk.Name().c_str(), 1);
        Start();
        ASSERT_FALSE(HasFatalFailure());
        ASSERT_EQ(Property("PerAppSwitching"), "true");
        // The programs come up (each takes the front as it opens) before any
        // is linked, and the desk is in front when the links are read: slot 0
        // is current at the start of each test. None has an extension, as
        // most programs here do not.
        const std::string bin = root + "/bin";
        deskWindow = desk.StartProgram(ORV_X_PROGRAM, bin, "desk");
        race = desk.StartProgram(ORV_X_PROGRAM, bin, "race");
        kart = desk.StartProgram(ORV_X_PROGRAM, bin, "kart");
        ASSERT_TRUE(deskWindow != 0 && race != 0 && kart != 0) << "the programs did not start";
        ASSERT_NE(desk.Activate(deskWindow), 0u);
        // race is linked by a path it does not run from, in other case, and
        // also in a higher slot, which loses; kart by its bare name.
        for (auto [slot, link] : {std::pair{2, "/usr/games/Race"}, {4, "kart"}, {5, "RACE"}})
            ASSERT_TRUE(
                SetLinkExe(dataFolder + "/Profiles/Profile " + std::to_string(slot) + ".ini", link))
                << "slot " << slot;
        CallOk("Reload", nullptr);
        // The call returns once the reload is posted; a change before it is
        // handled would count as the foreground the links were read with.
        Pump(500);
    }
    void TearDown() override {
        BusTest::TearDown();
        unsetenv("DISPLAY");
    }

    // The first slot command for `slot` from line `from` of the log, waiting
    // at most `ms`: its time, or 0.
    std::uint32_t WaitForSlotCommand(std::size_t from, int slot, int ms) {
        std::uint32_t at = 0;
        WaitFor(
            [&] {
                for (const SlotCommand& command : SlotCommands(simLog, from)) {
                    if (command.slot == slot) {
                        at = command.time;
                        return true;
                    }
                }
                return false;
            },
            ms);
        return at;
    }

    XDesk desk;
    std::uint32_t deskWindow = 0, race = 0, kart = 0;
};

TEST_F(ForegroundSwitch, LinkedProgramInFrontSwitchesWellBeforeTheNextTick) {
    // The tick alone takes 0 to 2000 ms, the look at the foreground between
    // ticks 100 to 350 ms; the change notice about the settle's 50 ms.
    std::vector<std::uint32_t> latencies;
    for (int i = 0; i < 6; ++i) {
        const std::uint32_t program = i % 2 == 0 ? race : kart;
        const int slot = i % 2 == 0 ? 2 : 4;
        std::size_t from = LineCount(simLog);
        std::uint32_t changed = desk.Activate(program);
        ASSERT_NE(changed, 0u) << "change " << i << ": not active";
        std::uint32_t commanded = WaitForSlotCommand(from, slot, 3 * kTick);
        ASSERT_NE(commanded, 0u) << "change " << i << ": no command for slot " << slot;
        EXPECT_LT(commanded - changed, 800u) << "change " << i;
        EXPECT_EQ(SlotsSince(simLog, from), std::vector<int>{slot}) << "change " << i;
        latencies.push_back(commanded - changed);
        Pump(150 + 70 * i); // the next change at another point of the look's period
    }
    std::sort(latencies.begin(), latencies.end());
    // Half of them under 250 ms happens by the look alone once in 30 runs.
    EXPECT_LT(latencies[latencies.size() / 2], 250u) << "the change notice is not followed";
}

TEST_F(ForegroundSwitch, AFlickSwitchesOnlyForTheProgramLeftInFront) {
    // Where the tick falls: with kart in front and its slot current, a slot
    // chosen elsewhere is undone by the next tick, and only by it.
    std::size_t from = LineCount(simLog);
    ASSERT_NE(desk.Activate(kart), 0u);
    ASSERT_NE(WaitForSlotCommand(from, 4, 3 * kTick), 0u);
    from = LineCount(simLog);
    CallOk("SelectSlot", g_variant_new("(y)", 0));
    ASSERT_NE(WaitForSlotCommand(from, 0, kTick), 0u);
    std::uint32_t tick = WaitForSlotCommand(from, 4, kTick + 500);
    ASSERT_NE(tick, 0u) << "the tick did not undo the slot change";

    // The desk (linked nowhere) in front, slot 0 current again.
    ASSERT_NE(desk.Activate(deskWindow), 0u);
    from = LineCount(simLog);
    CallOk("SelectSlot", g_variant_new("(y)", 0));
    ASSERT_NE(WaitForSlotCommand(from, 0, kTick), 0u);

    // Half-way between two ticks, race and then kart come to the front
    // within the settle.
    std::uint32_t flick = tick + kTick / 2;
    while (static_cast<std::int32_t>(flick - NowMs()) < 100)
        flick += kTick;
    Pump(static_cast<int>(flick - NowMs()));
    from = LineCount(simLog);
    ASSERT_NE(desk.Activate(race), 0u);
    ASSERT_NE(desk.Activate(kart), 0u);
    // Past the next tick, which finds kart's slot current.
    Pump(static_cast<int>(kTick));
    EXPECT_EQ(SlotsSince(simLog, from), std::vector<int>{4});
}

TEST_F(ForegroundSwitch, AProgramLinkedNowhereSwitchesNothing) {
    std::size_t from = LineCount(simLog);
    ASSERT_NE(desk.Activate(race), 0u);
    ASSERT_NE(WaitForSlotCommand(from, 2, 3 * kTick), 0u);
    from = LineCount(simLog);
    ASSERT_NE(desk.Activate(deskWindow), 0u);
    Pump(static_cast<int>(kTick + 500)); // a tick included
    EXPECT_EQ(SlotsSince(simLog, from), std::vector<int>{});
    EXPECT_EQ(Property("Slot"), "2");
}

using NoDisplay = BusTest;

TEST_F(NoDisplay, PerAppSwitchingIsOffAndTheServiceRuns) {
    unsetenv("DISPLAY");
    Start();
    EXPECT_EQ(Property("PerAppSwitching"), "false");
    CallOk("SelectSlot", g_variant_new("(y)", 3));
    EXPECT_TRUE(WaitFor([&] { return Property("Slot") == "3"; }));
}

} // namespace
} // namespace orv::linux_test
