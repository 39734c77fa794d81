// The HID stack over hidraw nodes, on a fake udev whose nodes are socket
// pairs: what is listed and what the keyboard's filter finds there, reports
// routed to their collection by id, byte 0 on nodes without ids, reads that
// end on Cancel, a limit or removal, and the library's logic on top of it all
// seeing the keyboard arrive, answer, send and leave.
#include "device/hid_contract.h"
#include "device/reports.h"
#include "fake_hidraw_source.h"
#include "hid_descriptor_fixtures.h"
#include "hiddevice/hid_engine.h"
#include "platform/linux/hidraw_stack.h"
#include "platform/linux/udev_hidraw_source.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <mutex>
#include <set>
#include <thread>

namespace orv::linux_ {
namespace {

using Bytes = std::vector<std::uint8_t>;
using hid::CollectionInfo;
using hid::IHidHandle;
using hid::IoStatus;
using std::chrono::milliseconds;
using SteadyClock = std::chrono::steady_clock;

const std::string kBootNode = "/dev/hidraw0";
const std::string kMouseNode = "/dev/hidraw1";
const std::string kVendorNode = "/dev/hidraw2";
const std::string kOtherNode = "/dev/hidraw3";
const std::string kBrokenNode = "/dev/hidraw4";

HidrawNode Node(const std::string& devnode, std::uint16_t vendor, std::uint16_t product,
                const Bytes& descriptor) {
    return {devnode, vendor, product, descriptor};
}

HidrawNode KeyboardVendorNode() {
    return Node(kVendorNode, kKeyboardVendorId, kKeyboardProductId, fixtures::kVendorWithIds);
}

// The keyboard's three interfaces, another maker's vendor device and a node
// whose descriptor is cut short.
void PlugEverything(FakeHidrawSource& source) {
    source.Add(Node(kBootNode, kKeyboardVendorId, kKeyboardProductId, fixtures::kBootKeyboard));
    source.Add(
        Node(kMouseNode, kKeyboardVendorId, kKeyboardProductId, fixtures::kMouseAndConsumer));
    source.Add(KeyboardVendorNode());
    source.Add(Node(kOtherNode, 0x1234, 0x5678, fixtures::kVendorWithoutIds));
    source.Add(Node(kBrokenNode, kKeyboardVendorId, kKeyboardProductId, {0x09, 0x01, 0xA1, 0x01}));
}

HID_DEVICE_FILTER KeyboardFilter() {
    HID_DEVICE_FILTER filter{kKeyboardVendorId, kKeyboardProductId, kKeyboardCollections, {}};
    for (std::uint32_t i = 0; i < kKeyboardCollections; ++i)
        filter.Entries[i] = {kKeyboardFirstUsage + i, kKeyboardUsagePage};
    return filter;
}

std::u16string PathOf(const std::string& devnode, const char* collection) {
    const std::string path = devnode + "#" + collection;
    return {path.begin(), path.end()};
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

class HidrawStackTest : public ::testing::Test {
protected:
    FakeHidrawSource source;
    HidrawStack stack{source, [](WndHandle, MsgId, WParam, LParam) { return true; }};

    std::unique_ptr<IHidHandle> Open(const std::string& devnode, const char* collection) {
        return stack.Open(PathOf(devnode, collection));
    }

    // A read that gives up after a short while.
    static IoStatus ReadSoon(IHidHandle& handle, Bytes& report, std::size_t length = 64) {
        report.assign(length, 0xEE);
        std::size_t got = 0;
        const IoStatus status = handle.Read(report.data(), report.size(), got, 50);
        report.resize(got);
        return status;
    }
};

TEST_F(HidrawStackTest, ListsEveryCollectionAndTheKeyboardsFilterFindsItsFive) {
    PlugEverything(source);
    const std::vector<CollectionInfo> listed = stack.Enumerate();
    // 1 boot keyboard, 2 on the mouse node, 5 vendor ones, 1 of the other
    // maker; the broken node shows nothing.
    ASSERT_EQ(listed.size(), 9u);

    const HID_DEVICE_FILTER filter = KeyboardFilter();
    std::set<std::u16string> matched;
    for (const CollectionInfo& info : listed) {
        if (HidFilterMatches(filter, {info.vendorId, info.productId, info.usagePage, info.usage}))
            matched.insert(info.path);
    }
    const std::set<std::u16string> keyboards = {
        PathOf(kVendorNode, "ff00:0001"), PathOf(kVendorNode, "ff00:0002"),
        PathOf(kVendorNode, "ff00:0003"), PathOf(kVendorNode, "ff00:0004"),
        PathOf(kVendorNode, "ff00:0005")};
    EXPECT_EQ(matched, keyboards);

    const auto commands = std::find_if(listed.begin(), listed.end(), [](const CollectionInfo& c) {
        return c.path == PathOf(kVendorNode, "ff00:0002");
    });
    ASSERT_NE(commands, listed.end());
    EXPECT_EQ(commands->inputLength, 8);
    EXPECT_EQ(commands->outputLength, 8);
    EXPECT_EQ(commands->featureLength, 264);
}

// Two collections with the same usages on one node are still two paths.
TEST_F(HidrawStackTest, CollectionsAlikeOnOneNodeHaveTheirOwnPaths) {
    const Bytes one = {0x85, 0x01, 0x75, 0x08, 0x95, 0x02, 0x81, 0x02, 0xC0};
    Bytes twice = {0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01};
    twice.insert(twice.end(), one.begin(), one.end());
    twice.insert(twice.end(), {0x09, 0x01, 0xA1, 0x01, 0x85, 0x02, 0x81, 0x02, 0xC0});
    source.Add(Node(kVendorNode, kKeyboardVendorId, kKeyboardProductId, twice));
    const std::vector<CollectionInfo> listed = stack.Enumerate();
    ASSERT_EQ(listed.size(), 2u);
    EXPECT_EQ(listed[0].path, PathOf(kVendorNode, "ff00:0001"));
    EXPECT_EQ(listed[1].path, PathOf(kVendorNode, "ff00:0001.2"));
    EXPECT_NE(Open(kVendorNode, "ff00:0001.2"), nullptr);
}

TEST_F(HidrawStackTest, InputReportsReachOnlyTheCollectionOfTheirId) {
    PlugEverything(source);
    stack.Enumerate();
    auto commands = Open(kVendorNode, "ff00:0002"); // ids 7 and 0x0A
    auto matrix = Open(kVendorNode, "ff00:0003");   // id 0x0B
    ASSERT_TRUE(commands && matrix);

    source.Send(kVendorNode, {0x0B, 1, 2, 3, 4, 5, 6, 7});
    source.Send(kVendorNode, {0x33, 9, 9}); // an id of no collection: nobody's
    source.Send(kVendorNode, {0x07, 0x80, 1, 2, 0, 0, 0, 0});

    Bytes report;
    ASSERT_EQ(ReadSoon(*matrix, report), IoStatus::Done);
    EXPECT_EQ(report, (Bytes{0x0B, 1, 2, 3, 4, 5, 6, 7}));
    EXPECT_EQ(ReadSoon(*matrix, report), IoStatus::TimedOut);

    ASSERT_EQ(ReadSoon(*commands, report), IoStatus::Done);
    EXPECT_EQ(report, (Bytes{0x07, 0x80, 1, 2, 0, 0, 0, 0}));
    EXPECT_EQ(ReadSoon(*commands, report), IoStatus::TimedOut);

    // Cut to the reader's length.
    source.Send(kVendorNode, {0x0B, 1, 2, 3, 4, 5, 6, 7});
    ASSERT_EQ(ReadSoon(*matrix, report, 3), IoStatus::Done);
    EXPECT_EQ(report, (Bytes{0x0B, 1, 2}));
}

TEST_F(HidrawStackTest, ANodeWithoutIdsHasByteZeroAddedOnInputAndKeptOnOutput) {
    PlugEverything(source);
    stack.Enumerate();
    auto other = Open(kOtherNode, "ffa0:0001");
    ASSERT_TRUE(other);

    source.Send(kOtherNode, {0x11, 0x22, 0x33});
    Bytes report;
    ASSERT_EQ(ReadSoon(*other, report), IoStatus::Done);
    EXPECT_EQ(report, (Bytes{0x00, 0x11, 0x22, 0x33}));

    // The kernel drops the leading 0 of such a node itself.
    const Bytes out = {0x00, 0xA1, 0xA2};
    ASSERT_EQ(other->Write(out.data(), out.size(), 300), IoStatus::Done);
    EXPECT_EQ(source.Written(kOtherNode), std::vector<Bytes>{out});
}

TEST_F(HidrawStackTest, ReadsEndOnCancelOnTheirLimitAndWhenTheNodeGoes) {
    PlugEverything(source);
    stack.Enumerate();
    auto commands = Open(kVendorNode, "ff00:0002");
    auto matrix = Open(kVendorNode, "ff00:0003");
    ASSERT_TRUE(commands && matrix);

    // A reader waiting without limit is woken by Cancel, and stays cancelled.
    auto blocked = std::async(std::launch::async, [&] {
        Bytes buffer(8);
        std::size_t got = 0;
        return commands->Read(buffer.data(), buffer.size(), got, hid::kNoTimeLimit);
    });
    EXPECT_EQ(blocked.wait_for(milliseconds(50)), std::future_status::timeout);
    commands->Cancel();
    ASSERT_EQ(blocked.wait_for(milliseconds(2000)), std::future_status::ready);
    EXPECT_EQ(blocked.get(), IoStatus::Cancelled);
    Bytes report;
    EXPECT_EQ(ReadSoon(*commands, report), IoStatus::Cancelled);
    const Bytes query = {0x07, 0x80, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(commands->Write(query.data(), query.size(), 300), IoStatus::Cancelled);

    // The limit.
    const auto start = SteadyClock::now();
    EXPECT_EQ(ReadSoon(*matrix, report), IoStatus::TimedOut);
    EXPECT_GE(SteadyClock::now() - start, milliseconds(45));

    // Removal ends a waiting read, and every transfer after it fails.
    auto waiting = std::async(std::launch::async, [&] {
        Bytes buffer(8);
        std::size_t got = 0;
        return matrix->Read(buffer.data(), buffer.size(), got, hid::kNoTimeLimit);
    });
    EXPECT_EQ(waiting.wait_for(milliseconds(50)), std::future_status::timeout);
    source.Remove(kVendorNode);
    ASSERT_EQ(waiting.wait_for(milliseconds(2000)), std::future_status::ready);
    EXPECT_EQ(waiting.get(), IoStatus::NotConnected);
    EXPECT_NE(matrix->Write(query.data(), query.size(), 300), IoStatus::Done);
    EXPECT_EQ(stack.Open(PathOf(kVendorNode, "ff00:0003")), nullptr);
}

// A device that takes no more reports holds a write up for no longer than its
// limit, and one still waiting ends when the handle closes.
TEST_F(HidrawStackTest, AWriteTheNodeDoesNotTakeEndsWithItsLimit) {
    PlugEverything(source);
    stack.Enumerate();
    auto commands = Open(kVendorNode, "ff00:0002");
    ASSERT_TRUE(commands);
    const Bytes report = {0x0A, 0x03, 1, 0, 0, 0, 0, 0};
    int written = 0;
    IoStatus status = IoStatus::Done;
    while (status == IoStatus::Done && written < 100000) {
        status = commands->Write(report.data(), report.size(), 20);
        written += status == IoStatus::Done ? 1 : 0;
    }
    ASSERT_EQ(status, IoStatus::TimedOut) << written << " reports went";
    const auto start = SteadyClock::now();
    EXPECT_EQ(commands->Write(report.data(), report.size(), 20), IoStatus::TimedOut);
    EXPECT_LT(SteadyClock::now() - start, milliseconds(500));
    commands.reset();
    EXPECT_EQ(source.Written(kVendorNode).size(), static_cast<std::size_t>(written));
}

// A file that is no hidraw node has no feature reports: the calls say so
// rather than handing back the buffer untouched as a report.
TEST_F(HidrawStackTest, FeatureCallsThatTheFileRefusesFail) {
    PlugEverything(source);
    stack.Enumerate();
    auto commands = Open(kVendorNode, "ff00:0002");
    ASSERT_TRUE(commands);
    Bytes feature(264, 0);
    feature[0] = 0x07;
    EXPECT_EQ(commands->GetFeature(feature.data(), feature.size()), IoStatus::Failed);
    EXPECT_EQ(commands->SetFeature(feature.data(), feature.size()), IoStatus::Failed);
    EXPECT_EQ(commands->GetFeature(feature.data(), 0), IoStatus::Failed);
}

TEST_F(HidrawStackTest, OpenFailsForUnknownPathsAndRefusedNodes) {
    PlugEverything(source);
    stack.Enumerate();
    EXPECT_EQ(stack.Open(u"/dev/hidraw2"), nullptr);
    EXPECT_EQ(Open(kVendorNode, "ff00:0009"), nullptr);
    EXPECT_EQ(Open(kBrokenNode, "ff00:0001"), nullptr);
    source.RefuseOpens(true);
    EXPECT_EQ(Open(kVendorNode, "ff00:0001"), nullptr);
    source.RefuseOpens(false);
    EXPECT_NE(Open(kVendorNode, "ff00:0001"), nullptr);
}

// The system's own source: what it lists is whole, and watching starts and
// stops at once (a stop that hung would hang every close of the library).
TEST(UdevHidrawSource, ListsWholeNodesAndStopsWatchingAtOnce) {
    auto source = MakeUdevHidrawSource();
    for (const HidrawNode& node : source->Nodes()) {
        EXPECT_FALSE(node.devnode.empty());
        EXPECT_FALSE(node.descriptor.empty()) << node.devnode;
    }
    std::atomic<int> changes{0};
    const auto start = SteadyClock::now();
    source->Watch([&] { ++changes; });
    source->Watch([&] { ++changes; });
    source->Watch({});
    EXPECT_LT(SteadyClock::now() - start, milliseconds(1000));
    EXPECT_EQ(source->OpenNode("/nonexistent/hidraw0"), -1);
}

// ------------------------------------------------------------ with the engine

constexpr WndHandle kNotifyWnd = 0x4321;
constexpr MsgId kNotifyMsg = 0x502;

struct Inputs {
    std::mutex lock;
    std::vector<std::pair<std::uint32_t, Bytes>> reports;
};
Inputs* g_inputs = nullptr;

void ORV_HID_CALL Record(std::uint32_t deviceId, const std::uint8_t* report, std::uint32_t length) {
    std::lock_guard<std::mutex> guard(g_inputs->lock);
    g_inputs->reports.emplace_back(deviceId, Bytes(report, report + length));
}

class HidrawEngineTest : public ::testing::Test {
protected:
    HidrawEngineTest() { g_inputs = &inputs; }
    ~HidrawEngineTest() override {
        engine.Close(0);
        g_inputs = nullptr;
    }

    std::int32_t Open() {
        const HID_DEVICE_FILTER filter = KeyboardFilter();
        engine.SetFilter(&filter, 0);
        engine.SetCallback(Record, 0);
        return engine.Open(kNotifyWnd, kNotifyMsg, 0);
    }

    std::vector<HID_NOTIFY_RECORD> Notices() {
        std::lock_guard<std::mutex> guard(m_postLock);
        return m_notices;
    }

    int Count(std::uint32_t status) {
        int n = 0;
        for (const HID_NOTIFY_RECORD& r : Notices())
            n += r.dwStatus == status ? 1 : 0;
        return n;
    }

    std::uint32_t IdOf(std::uint16_t usage) {
        std::uint32_t id = 0;
        for (const HID_NOTIFY_RECORD& r : Notices()) {
            if (r.dwStatus == kHidStatusArrived && (r.dwUsage >> 16) == usage)
                id = r.dwDeviceID;
        }
        return id;
    }

    std::size_t InputCount() {
        std::lock_guard<std::mutex> guard(inputs.lock);
        return inputs.reports.size();
    }

    FakeHidrawSource source;
    HidrawStack stack{source, [this](WndHandle wnd, MsgId msg, WParam wParam, LParam lParam) {
                          std::lock_guard<std::mutex> guard(m_postLock);
                          EXPECT_EQ(wnd, kNotifyWnd);
                          EXPECT_EQ(msg, kNotifyMsg);
                          EXPECT_EQ(wParam, 1u);
                          m_notices.push_back(*reinterpret_cast<const HID_NOTIFY_RECORD*>(lParam));
                          return true;
                      }};
    hid::HidEngine engine{stack};
    Inputs inputs;

private:
    std::mutex m_postLock;
    std::vector<HID_NOTIFY_RECORD> m_notices;
};

TEST_F(HidrawEngineTest, PluggingAndPullingTheKeyboardReachTheNotices) {
    EXPECT_EQ(Open(), 0); // nothing plugged in yet
    PlugEverything(source);
    ASSERT_TRUE(WaitFor([&] { return Count(kHidStatusArrived) == 5; }));
    std::set<std::uint32_t> usages;
    for (const HID_NOTIFY_RECORD& r : Notices()) {
        EXPECT_EQ(r.dwUsagePage, kKeyboardUsagePage);
        usages.insert(r.dwUsage >> 16);
    }
    EXPECT_EQ(usages, (std::set<std::uint32_t>{1, 2, 3, 4, 5}));
    EXPECT_EQ(source.OpenFiles(kVendorNode), 5u); // one file per collection

    source.Remove(kVendorNode);
    ASSERT_TRUE(WaitFor([&] { return Count(kHidStatusRemoved) == 5; }));

    source.Add(KeyboardVendorNode());
    ASSERT_TRUE(WaitFor([&] { return Count(kHidStatusArrived) == 10; }));
    // Another node coming or going leaves the keyboard alone.
    source.Remove(kMouseNode);
    std::this_thread::sleep_for(milliseconds(50));
    EXPECT_EQ(Count(kHidStatusRemoved), 5);
}

TEST_F(HidrawEngineTest, TheKeyboardAnswersItsQueryAndItsOwnReportsReachTheCallback) {
    PlugEverything(source);
    ASSERT_EQ(Open(), 1);
    ASSERT_EQ(Count(kHidStatusArrived), 5);
    const std::uint32_t commands = IdOf(kUsageCommands);

    std::uint8_t query[kCommandReportSize] = {kGroupSettings, kCmdFirmwareQuery};
    ASSERT_EQ(engine.Write(commands, query, sizeof query, 0), 1);
    EXPECT_EQ(source.Written(kVendorNode), std::vector<Bytes>{Bytes(query, query + sizeof query)});
    source.Send(kVendorNode, {kGroupSettings, kCmdFirmwareQuery, 1, 2, 0, 0, 0, 0});
    std::uint8_t reply[kCommandReportSize] = {};
    ASSERT_EQ(engine.Read(commands, reply, sizeof reply, 0), 1);
    EXPECT_EQ(Bytes(reply, reply + 4), (Bytes{kGroupSettings, kCmdFirmwareQuery, 1, 2}));

    source.Send(kVendorNode, {0x05, 0x10, 0x20, 0, 0, 0, 0, 0});
    ASSERT_TRUE(WaitFor([&] { return InputCount() == 1; }));
    std::lock_guard<std::mutex> guard(inputs.lock);
    EXPECT_EQ(inputs.reports[0].first, IdOf(5));
    EXPECT_EQ(inputs.reports[0].second, (Bytes{0x05, 0x10, 0x20, 0, 0, 0, 0, 0}));
}

} // namespace
} // namespace orv::linux_
