// What every build of the device-access library shares: which collections a
// filter asks for, and notice records that never move or change.
#include "device/hid_contract.h"
#include "device/sim/sim_keyboard.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

namespace orv {
namespace {

TEST(HidFilter, MatchesOnlyWhatItNames) {
    const HID_DEVICE_FILTER keyboard{0x258A, 0x0090, 2, {{1, 0xFF00}, {2, 0xFF00}, {3, 0xFF00}}};
    HID_DEVICE_FILTER all10{0x258A, 0x0090, 0xFFFFFFFF, {}};
    all10.Entries[9] = {7, 0x0001};
    const HID_DEVICE_FILTER zeros{0, 0, 1, {{0, 0}}};
    const HID_DEVICE_FILTER wideVendor{0x1258A, 0x0090, 1, {{1, 0xFF00}}};

    struct Case {
        const char* what;
        const HID_DEVICE_FILTER& filter;
        HidCollectionIdentity collection;
        bool matches;
    };
    const Case cases[] = {
        {"first entry", keyboard, {0x258A, 0x0090, 0xFF00, 1}, true},
        {"second entry", keyboard, {0x258A, 0x0090, 0xFF00, 2}, true},
        {"entry past the count", keyboard, {0x258A, 0x0090, 0xFF00, 3}, false},
        {"other vendor", keyboard, {0x258B, 0x0090, 0xFF00, 1}, false},
        {"other product", keyboard, {0x258A, 0x0091, 0xFF00, 1}, false},
        {"other page", keyboard, {0x258A, 0x0090, 0xFF01, 1}, false},
        {"usage named on another page only", keyboard, {0x258A, 0x0090, 0x0001, 2}, false},
        {"usage not named", keyboard, {0x258A, 0x0090, 0xFF00, 6}, false},
        {"a huge count reads ten entries", all10, {0x258A, 0x0090, 0x0001, 7}, true},
        {"unused entries are not zero wildcards", all10, {0x258A, 0x0090, 0xFF00, 1}, false},
        {"zero fields are not wildcards", zeros, {0x258A, 0x0090, 0xFF00, 1}, false},
        {"zero fields match zero", zeros, {0, 0, 0, 0}, true},
        {"the all-zero reset matches nothing", HID_DEVICE_FILTER{}, {0, 0, 0, 0}, false},
        {"high bits of an id count", wideVendor, {0x258A, 0x0090, 0xFF00, 1}, false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(HidFilterMatches(c.filter, c.collection), c.matches) << c.what;
}

TEST(HidNotices, ARecordKeepsItsPlaceAndContentsWhileOthersAreAdded) {
    CHidNoticeStore store;
    const HID_NOTIFY_RECORD* first = store.Notice(kHidStatusArrived, 0x0102, 2, 0xFF00);
    ASSERT_NE(first, nullptr);
    const HID_NOTIFY_RECORD expected{kHidStatusArrived, 0x0102, 0x00020000, 0xFF00};

    // Far more than any ring would hold, every one distinct.
    std::vector<const HID_NOTIFY_RECORD*> others;
    for (std::uint32_t id = 1; id <= 0xFFFF; ++id) {
        for (std::uint32_t status : {kHidStatusRemoved, kHidStatusArrived})
            others.push_back(store.Notice(status, id, 1 + id % 5, 0xFF00));
    }
    EXPECT_EQ(std::memcmp(first, &expected, sizeof expected), 0);
    EXPECT_EQ(store.Notice(kHidStatusArrived, 0x0102, 2, 0xFF00), first);
    EXPECT_EQ(others[2 * (0x0500 - 1) + 1]->dwDeviceID, 0x0500u);

    // Asking again for notices already given adds nothing.
    const std::size_t size = store.Size();
    for (std::uint32_t id = 1; id <= 0xFFFF; ++id)
        store.Notice(kHidStatusRemoved, id, 1 + id % 5, 0xFF00);
    EXPECT_EQ(store.Size(), size);
    // Only a difference in contents makes a new record.
    EXPECT_NE(store.Notice(kHidStatusRemoved, 0x0102, 2, 0xFF00), first);
    EXPECT_NE(store.Notice(kHidStatusArrived, 0x0102, 2, 0xFF01), first);
}

TEST(HidNotices, TwoThreadsShareOneRecordPerNotice) {
    CHidNoticeStore store;
    constexpr std::uint32_t kIds = 2000;
    std::vector<const HID_NOTIFY_RECORD*> seen[2];
    auto run = [&](int which) {
        // The two threads walk the same notices in opposite orders.
        for (std::uint32_t i = 0; i < kIds; ++i) {
            const std::uint32_t id = which == 0 ? 1 + i : kIds - i;
            seen[which].push_back(store.Notice(kHidStatusArrived, id, 3, 0xFF00));
        }
    };
    std::thread other(run, 1);
    run(0);
    other.join();

    EXPECT_EQ(store.Size(), kIds);
    for (std::uint32_t i = 0; i < kIds; ++i) {
        const HID_NOTIFY_RECORD* mine = seen[0][i];
        EXPECT_EQ(mine, seen[1][kIds - 1 - i]);
        EXPECT_EQ(mine->dwDeviceID, 1 + i);
        EXPECT_EQ(mine->dwUsage, 0x00030000u);
    }
}

// The simulated keyboard's notices, as its notification window would keep
// them: only the addresses, read long after they were posted.
class PostedNotices final : public sim::ISimEnvironment {
public:
    std::uint32_t Now() override { return 0; }
    bool Post(WndHandle, MsgId, WParam, LParam lParam) override {
        records.push_back(reinterpret_cast<const HID_NOTIFY_RECORD*>(lParam));
        return true;
    }
    std::vector<const HID_NOTIFY_RECORD*> records;
};

TEST(HidNotices, SimulatedKeyboardNoticesOutliveEveryLaterPlugIn) {
    PostedNotices posted;
    sim::SimKeyboard keyboard(posted);
    const HID_DEVICE_FILTER filter{
        sim::SimKeyboard::kVendorId,
        sim::SimKeyboard::kProductId,
        5,
        {{1, 0xFF00}, {2, 0xFF00}, {3, 0xFF00}, {4, 0xFF00}, {5, 0xFF00}}};
    keyboard.SetFilter(&filter, 0);
    ASSERT_EQ(keyboard.Open(0x1234, 0x502, 0), 1);
    ASSERT_EQ(posted.records.size(), 5u);
    const HID_NOTIFY_RECORD* firstArrival = posted.records[1];
    const HID_NOTIFY_RECORD before = *firstArrival;

    const std::size_t records = HidNotices().Size();
    // Each plug-in gives new device ids until their count wraps after 255.
    for (int i = 0; i < 600; ++i) {
        keyboard.Unplug();
        keyboard.Plug();
    }

    EXPECT_EQ(std::memcmp(firstArrival, &before, sizeof before), 0);
    EXPECT_EQ(firstArrival->dwStatus, kHidStatusArrived);
    EXPECT_EQ(firstArrival->dwDeviceID, 0x0102u);
    EXPECT_EQ(firstArrival->dwUsage, 0x00020000u);
    EXPECT_EQ(firstArrival->dwUsagePage, 0xFF00u);
    // Days of plugging in and out add no record.
    EXPECT_EQ(HidNotices().Size(), records);
    EXPECT_EQ(posted.records.size(), 5u + 600 * 10);
}

// A close waits for a report already on its way to the callback, so that
// nothing is called after it returns.
std::atomic<bool> g_inCallback{false};
std::atomic<bool> g_releaseCallback{false};

void ORV_HID_CALL SlowCallback(std::uint32_t, const std::uint8_t*, std::uint32_t) {
    g_inCallback = true;
    while (!g_releaseCallback)
        std::this_thread::yield();
}

TEST(HidCallback, SimulatedCloseWaitsForTheOneInProgress) {
    PostedNotices posted;
    sim::SimKeyboard keyboard(posted);
    const HID_DEVICE_FILTER filter{
        sim::SimKeyboard::kVendorId, sim::SimKeyboard::kProductId, 1, {{1, 0xFF00}}};
    keyboard.SetFilter(&filter, 0);
    keyboard.SetCallback(&SlowCallback, 0);
    keyboard.Open(0x1234, 0x502, 0);

    std::thread sender([&] { keyboard.SendInputReport(1, std::vector<std::uint8_t>(9, 0)); });
    while (!g_inCallback)
        std::this_thread::yield();
    std::atomic<bool> closed{false};
    std::thread closer([&] {
        keyboard.Close(0);
        closed = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(closed);
    g_releaseCallback = true;
    sender.join();
    closer.join();
    EXPECT_TRUE(closed);
    EXPECT_FALSE(keyboard.SendInputReport(1, std::vector<std::uint8_t>(9, 0)));
}

} // namespace
} // namespace orv
