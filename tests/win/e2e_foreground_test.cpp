// A linked program that comes to the front switches the keyboard's slot
// soon after, not at the watcher's next tick; a flick through programs
// switches only for the one left in front. Wine delivers no foreground
// event, so what is tested here is the look at the foreground window
// between ticks.
#include "e2e_support.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace orv::e2e {
namespace {

constexpr UINT WM_HID_RELOAD = 0x651;
constexpr UINT WM_HID_SET_SLOT = 0x658;
constexpr DWORD kTick = 2000;

class ForegroundSwitch : public FreshDataTest {
protected:
    void SetUp() override {
        FreshDataTest::SetUp();
        ASSERT_FALSE(HasFatalFailure());
        install.emplace();
        main = install->StartService(service);
        ASSERT_NE(main, nullptr);
        ASSERT_TRUE(install->WaitForLog("read id=0102 usage=2 len=264", 5, 30000));
        // The programs come up (each takes the front as it opens) before
        // any is linked, and the desk is in front when the links are read:
        // slot 0 is current at the start of each test.
        ASSERT_TRUE(desk.Start(install->Dir(), L"desk.exe", L"Orv e2e desk"));
        ASSERT_TRUE(race.Start(install->Dir(), L"race.exe", L"Orv e2e race"));
        ASSERT_TRUE(kart.Start(install->Dir(), L"kart.exe", L"Orv e2e kart"));
        ASSERT_NE(desk.BringToFront(), 0u);
        // Slot 2 links race.exe and slot 4 kart.exe, both in folders they do not run from.
        for (auto [slot, link] : {std::pair{2, L"D:\\Games\\Race.exe"}, {4, L"E:\\kart.exe"}}) {
            std::wstring profile =
                DataDir() + L"Profiles\\Profile " + std::to_wstring(slot) + L".ini";
            ASSERT_TRUE(WritePrivateProfileStringW(L"GROUP", L"LinkExe0", link, profile.c_str()));
        }
        SendMessageW(main, WM_HID_RELOAD, 0, 0);
    }

    std::optional<SimInstall> install;
    Process service;
    HWND main = nullptr;
    // Declared after the install: they end before the folder they run from is removed.
    ShownProgram desk, race, kart;
};

TEST_F(ForegroundSwitch, LinkedProgramInFrontSwitchesWellBeforeTheNextTick) {
    // The tick alone takes 0 to 2000 ms, evenly spread: six changes in a row
    // all answered within 800 ms would happen by chance once in 250 runs.
    for (int i = 0; i < 6; ++i) {
        ShownProgram& program = i % 2 == 0 ? race : kart;
        const int slot = i % 2 == 0 ? 2 : 4;
        std::size_t from = install->LogSize();
        DWORD changed = program.BringToFront();
        ASSERT_NE(changed, 0u);
        DWORD commanded = install->WaitForSlotCommand(from, slot, 3 * kTick);
        ASSERT_NE(commanded, 0u) << "change " << i << ": no command for slot " << slot
                                 << "; in front now: "
                                 << (GetForegroundWindow() == program.Handle()) << "; log:\n"
                                 << ReadFileBytes(install->Log());
        EXPECT_LT(static_cast<LONG>(commanded - changed), 800) << "change " << i;
        EXPECT_EQ(install->SlotCommandsSince(from), std::vector<int>{slot});
        Sleep(150 + 70 * i); // the next change at another point of the look's period
    }
}

TEST_F(ForegroundSwitch, AFlickSwitchesOnlyForTheProgramLeftInFront) {
    // Where the tick falls: with kart in front and its slot current, a slot
    // chosen elsewhere is undone by the next tick (and only by it; the
    // foreground has not changed).
    std::size_t from = install->LogSize();
    ASSERT_NE(kart.BringToFront(), 0u);
    ASSERT_NE(install->WaitForSlotCommand(from, 4, 3 * kTick), 0u);
    from = install->LogSize();
    PostMessageW(main, WM_HID_SET_SLOT, 0, 0);
    ASSERT_NE(install->WaitForSlotCommand(from, 0, kTick), 0u);
    DWORD tick = install->WaitForSlotCommand(from, 4, kTick + 500);
    ASSERT_NE(tick, 0u) << "the tick did not undo the slot change";

    // The desk (linked nowhere) in front, slot 0 current again.
    ASSERT_NE(desk.BringToFront(), 0u);
    from = install->LogSize();
    PostMessageW(main, WM_HID_SET_SLOT, 0, 0);
    ASSERT_NE(install->WaitForSlotCommand(from, 0, kTick), 0u);

    // Half-way between two ticks, race and then kart come to the front
    // within the settle.
    DWORD flick = tick + kTick / 2;
    while (static_cast<LONG>(flick - GetTickCount()) < 100)
        flick += kTick;
    Sleep(flick - GetTickCount());
    from = install->LogSize();
    ASSERT_NE(race.BringToFront(), 0u);
    Sleep(10);
    ASSERT_NE(kart.BringToFront(), 0u);
    // Past the next tick, which finds kart's slot current.
    Sleep(kTick);
    EXPECT_EQ(install->SlotCommandsSince(from), std::vector<int>{4});
}

} // namespace
} // namespace orv::e2e
