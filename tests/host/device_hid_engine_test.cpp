// The library for real keyboards against the modelled HID stack: replies
// that answer their request, key reports that keep flowing, bounded
// transfers, recovery after sleep, removal and a failed open, and a listing
// that is redone only when something changed.
#include "device/reports.h"
#include "hiddevice/hid_engine.h"
#include "hiddevice/model/model_stack.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <map>
#include <mutex>
#include <random>
#include <thread>
#include <vector>

namespace orv::hid {
namespace {

using model::ModelStack;
using model::PostedMessage;
using model::ReplyVia;
using Bytes = std::vector<std::uint8_t>;
using std::chrono::milliseconds;
using SteadyClock = std::chrono::steady_clock;

constexpr WndHandle kNotifyWnd = 0x1234;
constexpr MsgId kNotifyMsg = 0x502;

// What the callback was given, in order.
struct Inputs {
    std::mutex lock;
    std::vector<std::pair<std::uint32_t, Bytes>> reports;

    std::size_t Count() {
        std::lock_guard<std::mutex> guard(lock);
        return reports.size();
    }
};
Inputs* g_inputs = nullptr;

void ORV_HID_CALL Record(std::uint32_t deviceId, const std::uint8_t* report, std::uint32_t length) {
    std::lock_guard<std::mutex> guard(g_inputs->lock);
    g_inputs->reports.emplace_back(deviceId, Bytes(report, report + length));
}

HID_DEVICE_FILTER KeyboardFilter() {
    HID_DEVICE_FILTER filter{kKeyboardVendorId, kKeyboardProductId, kKeyboardCollections, {}};
    for (std::uint32_t i = 0; i < kKeyboardCollections; ++i)
        filter.Entries[i] = {kKeyboardFirstUsage + i, kKeyboardUsagePage};
    return filter;
}

template <typename Predicate>
bool WaitFor(Predicate done, milliseconds limit = milliseconds(5000)) {
    const auto end = SteadyClock::now() + limit;
    while (!done()) {
        if (SteadyClock::now() > end)
            return false;
        std::this_thread::sleep_for(milliseconds(1));
    }
    return true;
}

class HidEngineTest : public ::testing::Test {
protected:
    explicit HidEngineTest(ReplyVia via = ReplyVia::InputReports, bool plugged = true)
        : stack(via, plugged) {
        g_inputs = &inputs;
    }
    ~HidEngineTest() override {
        engine.Close(0);
        g_inputs = nullptr;
    }

    std::int32_t Open() {
        const HID_DEVICE_FILTER filter = KeyboardFilter();
        engine.SetFilter(&filter, 0);
        engine.SetCallback(Record, 0);
        return engine.Open(kNotifyWnd, kNotifyMsg, 0);
    }

    // The notices posted so far (the records they point at).
    std::vector<HID_NOTIFY_RECORD> Notices() {
        std::vector<HID_NOTIFY_RECORD> out;
        for (const PostedMessage& m : stack.Posted()) {
            EXPECT_EQ(m.wnd, kNotifyWnd);
            EXPECT_EQ(m.msg, kNotifyMsg);
            EXPECT_EQ(m.wParam, 1u);
            out.push_back(*reinterpret_cast<const HID_NOTIFY_RECORD*>(m.lParam));
        }
        return out;
    }

    int CountNotices(std::uint32_t status) {
        int n = 0;
        for (const HID_NOTIFY_RECORD& r : Notices())
            n += r.dwStatus == status ? 1 : 0;
        return n;
    }

    // The device id of the latest arrival of this usage.
    std::uint32_t IdOf(std::uint16_t usage) {
        std::uint32_t id = 0;
        for (const HID_NOTIFY_RECORD& r : Notices()) {
            if (r.dwStatus == kHidStatusArrived && (r.dwUsage >> 16) == usage)
                id = r.dwDeviceID;
        }
        return id;
    }

    // The firmware query as the command set makes it; true when its reply
    // carries this version.
    bool QueryVersion(std::uint8_t a, std::uint8_t b) {
        stack.SetVersion(a, b);
        std::uint8_t report[kCommandReportSize] = {kGroupSettings, kCmdFirmwareQuery};
        const std::uint32_t id = IdOf(kUsageCommands);
        if (engine.Write(id, report, sizeof report, 0) == 0 ||
            engine.Read(id, report, sizeof report, 0) == 0)
            return false;
        return report[0] == kGroupSettings && report[1] == kCmdFirmwareQuery && report[2] == a &&
               report[3] == b;
    }

    bool QuerySlot(std::uint8_t slot) {
        stack.SetSlot(slot);
        std::uint8_t report[kSlotQuerySize] = {kGroupSettings, kCmdSlotQuery};
        const std::uint32_t id = IdOf(kUsageCommands);
        if (engine.Write(id, report, sizeof report, 0) == 0 ||
            engine.Read(id, report, sizeof report, 0) == 0)
            return false;
        return report[1] == kCmdSlotQuery && report[2] == (slot == 0 ? 6 : slot);
    }

    ModelStack stack;
    EngineLimits limits{200, 5, 1};
    HidEngine engine{stack, limits};
    Inputs inputs;
};

class HidEngineReplies : public HidEngineTest, public ::testing::WithParamInterface<ReplyVia> {
protected:
    HidEngineReplies() : HidEngineTest(GetParam()) {}
};

// Key reports arrive on the command collection between each query and its
// reply, and on another collection at the same time; every query gets its
// own answer and every key report reaches the callback once, in order.
TEST_P(HidEngineReplies, EveryQueryGetsItsOwnReplyAndNoKeyReportIsLost) {
    std::mt19937 random(15);
    std::mutex sentLock;
    std::map<std::uint16_t, std::vector<Bytes>> sent; // by usage
    std::uint32_t sequence = 0;
    auto sendKey = [&](std::uint16_t usage) {
        // At a keyboard's pace: the system buffers only so many reports.
        ASSERT_TRUE(WaitFor([&] { return inputs.Count() + 16 > sequence; }));
        // A key report (08 position pressed code) with a serial number behind it.
        Bytes report = {0x08,
                        static_cast<std::uint8_t>(random() % 138),
                        1,
                        0x04,
                        static_cast<std::uint8_t>(sequence),
                        static_cast<std::uint8_t>(sequence >> 8),
                        static_cast<std::uint8_t>(sequence >> 16),
                        0,
                        0};
        ++sequence;
        std::lock_guard<std::mutex> guard(sentLock);
        ASSERT_TRUE(stack.SendInput(usage, report));
        sent[usage].push_back(report);
    };
    stack.SetBeforeReply([&](std::uint16_t) {
        for (int n = static_cast<int>(random() % 4); n > 0; --n)
            sendKey(random() % 2 == 0 ? kUsageCommands : kKeyboardFirstUsage);
    });
    ASSERT_EQ(Open(), 1);

    constexpr int kQueries = 10000;
    for (int i = 0; i < kQueries; ++i) {
        const bool ok = i % 2 == 0 ? QueryVersion(static_cast<std::uint8_t>(i),
                                                  static_cast<std::uint8_t>(i >> 8))
                                   : QuerySlot(static_cast<std::uint8_t>(i % 6));
        ASSERT_TRUE(ok) << "query " << i;
    }

    std::size_t total = sent[kUsageCommands].size() + sent[kKeyboardFirstUsage].size();
    ASSERT_TRUE(WaitFor([&] { return inputs.Count() >= total; }));
    std::this_thread::sleep_for(milliseconds(20)); // nothing more is on its way
    std::map<std::uint32_t, std::vector<Bytes>> got;
    for (const auto& [id, bytes] : inputs.reports) {
        ASSERT_NE(bytes[0], kGroupSettings) << "a reply reached the callback";
        got[id].push_back(bytes);
    }
    EXPECT_EQ(got[IdOf(kUsageCommands)], sent[kUsageCommands]);
    EXPECT_EQ(got[IdOf(kKeyboardFirstUsage)], sent[kKeyboardFirstUsage]);
    EXPECT_EQ(inputs.Count(), total);

    // The 264-byte slot query goes whole where the collection takes it, and
    // without its zero tail where only 9-byte reports go.
    const std::size_t expected = GetParam() == ReplyVia::FeatureReports ? kSlotQuerySize : 9;
    EXPECT_EQ(stack.Written(kUsageCommands).back().size(), expected);
}

INSTANTIATE_TEST_SUITE_P(Variants, HidEngineReplies,
                         ::testing::Values(ReplyVia::InputReports, ReplyVia::FeatureReports),
                         [](const auto& info) {
                             return info.param == ReplyVia::InputReports ? "InputReports"
                                                                         : "FeatureReports";
                         });

// Every handle goes stale as after sleep: the keyboard answers the next
// query, key reports flow again, and nothing is reported as left or come.
TEST_F(HidEngineTest, StaleHandlesAfterResumeAreOpenedAgain) {
    ASSERT_EQ(Open(), 1);
    const std::size_t notices = stack.Posted().size();
    for (int cycle = 0; cycle < 100; ++cycle) {
        const int opens = stack.Opens();
        stack.Resume();
        ASSERT_TRUE(QueryVersion(static_cast<std::uint8_t>(cycle), 7)) << "cycle " << cycle;
        // Every reader has its collection open again.
        ASSERT_TRUE(WaitFor([&] { return stack.Opens() == opens + 5; })) << "cycle " << cycle;
        const std::size_t before = inputs.Count();
        ASSERT_TRUE(stack.SendInput(kKeyboardFirstUsage, {0x08, 5, 1, 0x04}));
        ASSERT_TRUE(WaitFor([&] { return inputs.Count() == before + 1; })) << "cycle " << cycle;
    }
    EXPECT_EQ(stack.Posted().size(), notices);
}

// The keyboard is pulled out while every reader waits and a query waits for
// its reply: the query gives up at once, each collection is reported gone
// once, and the keyboard plugged in again comes back under new ids.
TEST_F(HidEngineTest, RemovalDuringReadsIsReportedOnce) {
    ASSERT_EQ(Open(), 1);
    stack.AnswerQueries(false);
    const std::uint32_t id = IdOf(kUsageCommands);
    std::uint8_t query[kCommandReportSize] = {kGroupSettings, kCmdFirmwareQuery};
    ASSERT_EQ(engine.Write(id, query, sizeof query, 0), 1);
    std::int32_t read = -1;
    SteadyClock::duration waited{};
    std::thread reader([&] {
        const auto start = SteadyClock::now();
        read = engine.Read(id, query, sizeof query, 0);
        waited = SteadyClock::now() - start;
    });
    std::this_thread::sleep_for(milliseconds(20));
    stack.Unplug();
    reader.join();
    EXPECT_EQ(read, 0);
    EXPECT_LT(waited, milliseconds(limits.transferMs));
    ASSERT_TRUE(WaitFor([&] { return CountNotices(kHidStatusRemoved) == 5; }));
    std::this_thread::sleep_for(milliseconds(20)); // no second report of it
    EXPECT_EQ(CountNotices(kHidStatusRemoved), 5);
    EXPECT_EQ(engine.Write(id, query, sizeof query, 0), 0);

    stack.AnswerQueries(true);
    stack.Plug();
    ASSERT_TRUE(WaitFor([&] { return CountNotices(kHidStatusArrived) == 10; }));
    EXPECT_NE(IdOf(kUsageCommands), id);
    EXPECT_TRUE(QueryVersion(2, 3));
}

// A write that never completes and a query that is never answered both
// fail within the limit (a read after a failed write does not wait at all),
// and the collection works afterwards.
TEST_F(HidEngineTest, TransfersEndWithinTheirLimit) {
    ASSERT_EQ(Open(), 1);
    const std::uint32_t id = IdOf(kUsageCommands);
    struct Case {
        const char* name;
        bool hang;
        bool answer;
    };
    for (const Case& c :
         {Case{"write never completes", true, true}, Case{"query never answered", false, false}}) {
        stack.HangWrites(c.hang);
        stack.AnswerQueries(c.answer);
        std::uint8_t report[kCommandReportSize] = {kGroupSettings, kCmdFirmwareQuery};
        const auto start = SteadyClock::now();
        EXPECT_EQ(engine.Write(id, report, sizeof report, 0), c.hang ? 0 : 1) << c.name;
        const auto written = SteadyClock::now();
        EXPECT_EQ(engine.Read(id, report, sizeof report, 0), 0) << c.name;
        const auto end = SteadyClock::now();
        EXPECT_GE(end - start, milliseconds(limits.transferMs)) << c.name;
        EXPECT_LT(end - start, milliseconds(limits.transferMs + 150)) << c.name;
        if (c.hang) {
            EXPECT_LT(end - written, milliseconds(50)) << c.name;
        }
        stack.HangWrites(false);
        stack.AnswerQueries(true);
        EXPECT_TRUE(QueryVersion(4, 5)) << c.name;
    }
}

// A collection whose open fails is tried again and reported when it opens;
// with every open failing the library says so, and still brings them in.
TEST_F(HidEngineTest, FailedOpensAreTriedAgain) {
    for (int failures : {1, 5}) {
        SCOPED_TRACE(failures);
        engine.Close(0);
        stack.FailOpens(failures);
        const int arrivals = CountNotices(kHidStatusArrived);
        EXPECT_EQ(Open(), failures < 5 ? 1 : 0);
        ASSERT_TRUE(WaitFor([&] { return CountNotices(kHidStatusArrived) == arrivals + 5; }));
        std::this_thread::sleep_for(milliseconds(20)); // each reported once
        EXPECT_EQ(CountNotices(kHidStatusArrived), arrivals + 5);
        EXPECT_TRUE(QueryVersion(1, 2));
    }
    EXPECT_EQ(CountNotices(kHidStatusRemoved), 0);
}

class HidEngineNoKeyboard : public HidEngineTest {
protected:
    HidEngineNoKeyboard() : HidEngineTest(ReplyVia::InputReports, false) {}
};

// With no keyboard, opening again and again lists the collections once; a
// device change lists them again and brings the keyboard in; after a close
// the next open lists again.
TEST_F(HidEngineNoKeyboard, CollectionsAreListedOnlyAfterAChange) {
    for (int i = 0; i < 100; ++i)
        ASSERT_EQ(Open(), 0);
    EXPECT_EQ(stack.Enumerations(), 1);
    EXPECT_EQ(engine.Write(1, nullptr, 0, 0), 0);

    stack.Plug();
    ASSERT_TRUE(WaitFor([&] { return CountNotices(kHidStatusArrived) == 5; }));
    EXPECT_EQ(stack.Enumerations(), 2);
    EXPECT_EQ(Open(), 1);
    EXPECT_EQ(stack.Enumerations(), 2);

    engine.Close(0);
    EXPECT_EQ(Open(), 1);
    EXPECT_EQ(stack.Enumerations(), 3);

    engine.SetListingCache(false);
    engine.Close(0);
    stack.Unplug();
    for (int i = 0; i < 10; ++i)
        Open();
    EXPECT_EQ(stack.Enumerations(), 13);
}

} // namespace
} // namespace orv::hid
