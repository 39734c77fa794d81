// The keyboard's command set: exact report bytes, the collection each report
// goes to, the pauses around it, and the results.
#include "device/key_tables.h"
#include "device_test_support.h"

#include <functional>
#include <set>

namespace orv {
namespace {

using sim::SimEventKind;
using testing_device::Bytes;
using testing_device::DeviceTest;
using testing_device::Report;
using Pauses = std::vector<std::uint32_t>;

class CommandTest : public DeviceTest {
protected:
    void SetUp() override {
        Connect();
        sim.ClearEvents();
        host.clock.pauses.clear();
    }

    struct Transfer {
        std::uint16_t usage;
        Bytes bytes;
        bool operator==(const Transfer&) const = default;
    };
    std::vector<Transfer> Writes() {
        std::vector<Transfer> out;
        for (const auto& e : sim.Events(SimEventKind::Write)) {
            EXPECT_EQ(e.deviceId, sim.DeviceIdOf(e.usage));
            out.push_back({e.usage, e.bytes});
        }
        return out;
    }
};

TEST_F(CommandTest, SingleReportCommands) {
    struct Case {
        const char* name;
        std::function<int(CUSBDriver&)> run; // -1 for commands without a result
        Bytes report;
        Pauses pauses;
    };
    auto none = [](auto f) {
        return [f](CUSBDriver& d) {
            f(d);
            return -1;
        };
    };
    // clang-format off
    const Case cases[] = {
        {"polling rate 0", [](CUSBDriver& d) { return d.SetPollingRate(0); }, Report({7, 1, 0x01}), {20}},
        {"polling rate 2", [](CUSBDriver& d) { return d.SetPollingRate(2); }, Report({7, 1, 0x04}), {20}},
        {"polling rate 3", [](CUSBDriver& d) { return d.SetPollingRate(3); }, Report({7, 1, 0x08}), {20}},
        {"polling rate 7", [](CUSBDriver& d) { return d.SetPollingRate(7); }, Report({7, 1, 0x80}), {20}},
        {"polling rate 9 shifts out", [](CUSBDriver& d) { return d.SetPollingRate(9); }, Report({7, 1, 0x00}), {20}},
        {"polling rate 33 wraps", [](CUSBDriver& d) { return d.SetPollingRate(33); }, Report({7, 1, 0x02}), {20}},
        {"key mode", [](CUSBDriver& d) { return d.SetKeyMode(0x101); }, Report({7, 0x11, 0x01}), {20}},
        {"slot 3", [](CUSBDriver& d) { return d.SetDeviceSlot(3); }, Report({0x0A, 3, 3}), {20}},
        {"slot 7 passed on", [](CUSBDriver& d) { return d.SetDeviceSlot(7); }, Report({0x0A, 3, 7}), {20}},
        {"light effect", none([](CUSBDriver& d) { d.SetLightEffect(2, 19); }), Report({0x0A, 0x0A, 2, 19}), {200}},
        {"pure red", none([](CUSBDriver& d) { d.SetLightColor(0x0000FF, 1); }),
         Report({0x0A, 0x0B, 1, 4, 0xFF, 0, 0}), {200}},
        {"colour bytes in memory order", none([](CUSBDriver& d) { d.SetLightColor(0xAA332211, 5); }),
         Report({0x0A, 0x0B, 5, 4, 0x11, 0x22, 0x33}), {200}},
        {"key colour", [](CUSBDriver& d) { return d.SetKeyColor(0x00C0B0A0, 3, 137); },
         Report({0x0A, 0x0C, 3, 137, 0xA0, 0xB0, 0xC0}), {20}},
        {"command 0F", [](CUSBDriver& d) { return d.SendCommand0F(); }, Report({0x0A, 0x0F}), {200}},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        sim.ClearEvents();
        host.clock.pauses.clear();
        const int result = c.run(driver);
        EXPECT_TRUE(result == 0 || result == -1);
        EXPECT_EQ(Writes(), (std::vector<Transfer>{{2, c.report}}));
        EXPECT_EQ(host.clock.pauses, c.pauses);
        EXPECT_TRUE(sim.Events(SimEventKind::Open).empty());
    }
    EXPECT_EQ(sim.Slot(), 3); // 7 is no slot; the keyboard kept 3
}

TEST_F(CommandTest, FirmwareVersionWaitsThenWritesAndReadsTheSameCollection) {
    sim.SetVersion(1, 5);
    const std::uint32_t start = host.clock.TickCount();
    std::uint8_t a = 9, b = 9;
    EXPECT_EQ(driver.GetFirmwareVersion(a, b), 0);
    EXPECT_EQ(a, 1);
    EXPECT_EQ(b, 5);
    EXPECT_EQ(Writes(), (std::vector<Transfer>{{2, Report({7, 0x80})}}));
    EXPECT_EQ(host.clock.pauses, (Pauses{3000, 20, 20}));

    auto events = sim.Events();
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[1].kind, SimEventKind::Read);
    EXPECT_EQ(events[1].deviceId, events[0].deviceId);
    EXPECT_EQ(events[1].length, 8u);
    EXPECT_EQ(events[0].time, start + 3000);
    EXPECT_EQ(events[1].time - events[0].time, 20u);
}

TEST_F(CommandTest, FailedTransferYieldsTheRequestsOwnZeroBytes) {
    sim.SetVersion(1, 5);
    sim.FailNextTransfers(1);
    std::uint8_t a = 9, b = 9;
    EXPECT_EQ(driver.GetFirmwareVersion(a, b), 1);
    EXPECT_EQ(a, 0);
    EXPECT_EQ(b, 0);
    EXPECT_EQ(sim.Events(SimEventKind::Read).size(), 1u); // tried all the same
    EXPECT_EQ(host.clock.pauses, (Pauses{3000, 20, 20}));

    sim.SetSlot(4);
    sim.FailNextTransfers(1);
    std::uint8_t slot = 9;
    EXPECT_EQ(driver.GetDeviceSlot(slot), 1);
    EXPECT_EQ(slot, 0);

    sim.FailNextTransfers(1);
    EXPECT_EQ(driver.SetPollingRate(1), 1);
}

TEST_F(CommandTest, DeviceSlotQuery) {
    struct Case {
        std::uint8_t slot;
        bool zeroAsSix;
        std::uint8_t replyByte;
        std::uint8_t expected;
    };
    const Case cases[] = {{3, true, 3, 3}, {5, true, 5, 5}, {0, true, 6, 0}, {0, false, 0, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.slot);
        sim.ClearEvents();
        host.clock.pauses.clear();
        sim.SetSlot(c.slot);
        sim.SetSlotZeroAsSix(c.zeroAsSix);
        std::uint8_t slot = 99;
        EXPECT_EQ(driver.GetDeviceSlot(slot), 0);
        EXPECT_EQ(slot, c.expected);
        EXPECT_EQ(Writes(), (std::vector<Transfer>{{2, Report({7, 0x81}, 264)}}));
        auto reads = sim.Events(SimEventKind::Read);
        ASSERT_EQ(reads.size(), 1u);
        EXPECT_EQ(reads[0].length, 264u);
        EXPECT_EQ(reads[0].bytes[2], c.replyByte);
        EXPECT_EQ(host.clock.pauses, (Pauses{100, 20}));
    }
}

TEST_F(CommandTest, KeyMatrixGoesInTwentyThreeChunks) {
    std::uint8_t matrix[kMatrixSize];
    for (int i = 0; i < kMatrixSize; ++i)
        matrix[i] = static_cast<std::uint8_t>(0x80 + i);

    EXPECT_EQ(driver.WriteKeyMatrix(2, matrix), 0);

    std::vector<Transfer> expected = {{2, Report({0x0A, 0x04, 0x02})}};
    for (int i = 1; i <= 23; ++i) {
        Bytes chunk = {0x0B, static_cast<std::uint8_t>(i)};
        chunk.insert(chunk.end(), matrix + 6 * (i - 1), matrix + 6 * i);
        expected.push_back({3, chunk});
    }
    EXPECT_EQ(Writes(), expected);
    Pauses pauses = {200};
    pauses.insert(pauses.end(), 23, 60);
    EXPECT_EQ(host.clock.pauses, pauses);
}

TEST_F(CommandTest, MacroGoesInFortyOneChunksWithFourZeroBytesAtTheEnd) {
    std::uint8_t block[kMacroBlockSize];
    for (std::uint32_t i = 0; i < kMacroBlockSize; ++i)
        block[i] = static_cast<std::uint8_t>(i + 1);

    EXPECT_EQ(driver.WriteMacro(1, block, 137), 0);

    auto writes = Writes();
    ASSERT_EQ(writes.size(), 42u);
    EXPECT_EQ(writes[0], (Transfer{2, Report({0x0A, 0x05, 0x01, 0x8A, 0x01})}));
    for (int i = 1; i <= 40; ++i) {
        Bytes chunk = {0x0C, static_cast<std::uint8_t>(i)};
        chunk.insert(chunk.end(), block + 6 * (i - 1), block + 6 * i);
        EXPECT_EQ(writes[i], (Transfer{4, chunk})) << i;
    }
    EXPECT_EQ(writes[41], (Transfer{4, Bytes{0x0C, 0x29, 241, 242, 0, 0, 0, 0}}));
    Pauses pauses = {200};
    pauses.insert(pauses.end(), 41, 60);
    EXPECT_EQ(host.clock.pauses, pauses);
}

TEST_F(CommandTest, ChunkedWritesReportTheHeaderAndRefuseSlotZero) {
    std::uint8_t matrix[kMatrixSize] = {};
    std::uint8_t block[kMacroBlockSize] = {};

    sim.FailNextTransfers(1); // the header
    EXPECT_EQ(driver.WriteKeyMatrix(3, matrix), 1);
    EXPECT_EQ(Writes().size(), 24u); // the chunks went all the same

    sim.ClearEvents();
    host.clock.pauses.clear();
    EXPECT_EQ(driver.WriteKeyMatrix(0, matrix), 0);
    EXPECT_EQ(driver.WriteMacro(0, block, 5), 0);
    EXPECT_TRUE(Writes().empty());
    EXPECT_TRUE(host.clock.pauses.empty());

    // Slot 0 with the connection closed: it is opened first, then nothing is written.
    driver.m_bOpened = 0;
    EXPECT_EQ(driver.WriteMacro(0, block, 5), 0);
    EXPECT_EQ(sim.Events(SimEventKind::Open).size(), 1u);
    EXPECT_TRUE(Writes().empty());
}

// Every command against a keyboard that cannot be opened: the unplugged
// simulator, and no library at all.
TEST_F(DeviceTest, AbsentKeyboardFailsEveryCommandAfterOneOpenAttempt) {
    std::uint8_t matrix[kMatrixSize] = {};
    std::uint8_t block[kMacroBlockSize] = {};
    std::uint8_t a = 7, b = 7, slot = 7;
    struct Case {
        const char* name;
        std::function<int()> run; // -1 for commands without a result
        int opens;
    };
    const Case cases[] = {
        {"firmware", [&] { return driver.GetFirmwareVersion(a, b); }, 1},
        {"slot query", [&] { return driver.GetDeviceSlot(slot); }, 1},
        {"polling rate", [&] { return driver.SetPollingRate(1); }, 1},
        {"key mode", [&] { return driver.SetKeyMode(1); }, 1},
        {"set slot never opens", [&] { return driver.SetDeviceSlot(1); }, 0},
        {"light effect",
         [&] {
             driver.SetLightEffect(1, 2);
             return -1;
         },
         1},
        {"light colour",
         [&] {
             driver.SetLightColor(0xFF, 1);
             return -1;
         },
         1},
        {"key colour", [&] { return driver.SetKeyColor(0xFF, 1, 2); }, 1},
        {"command 0F", [&] { return driver.SendCommand0F(); }, 1},
        {"key matrix", [&] { return driver.WriteKeyMatrix(1, matrix); }, 1},
        {"macro", [&] { return driver.WriteMacro(1, block, 2); }, 1},
    };
    sim.Unplug();
    for (bool withLibrary : {true, false}) {
        InstallHidLibrary(withLibrary ? &sim : nullptr);
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.name) + (withLibrary ? "" : ", no library"));
            sim.ClearEvents();
            host.clock.pauses.clear();
            const int result = c.run();
            EXPECT_TRUE(result == 1 || result == -1);
            EXPECT_EQ(driver.m_bOpened, 0);
            if (withLibrary) {
                EXPECT_EQ(sim.Events(SimEventKind::Open).size(), static_cast<std::size_t>(c.opens));
            }
            EXPECT_TRUE(sim.Events(SimEventKind::Write).empty());
            EXPECT_TRUE(host.clock.pauses.empty());
        }
    }
    EXPECT_EQ(a, 7); // nothing asked, nothing stored
    EXPECT_EQ(slot, 7);
}

// A closed connection opens the library before writing; the collections it
// reports reach the list only when their notices are handled, so the first
// command goes to no collection.
TEST_F(DeviceTest, CommandOpensAClosedConnectionFirst) {
    driver.m_hNotifyWnd = main.Handle();
    EXPECT_EQ(driver.SetPollingRate(1), 1);
    EXPECT_EQ(sim.Events(SimEventKind::Open).size(), 1u);
    EXPECT_EQ(driver.m_bOpened, 1);
    host.RunUntilIdle();
    EXPECT_EQ(Plugs().size(), 5u);
    EXPECT_EQ(driver.SetPollingRate(1), 0);
    EXPECT_EQ(sim.Events(SimEventKind::Open).size(), 1u);
}

TEST(KeyTables, CellsWithoutAKeyAreBlankInTheDefaultMatrix) {
    std::set<int> keys;
    for (int i = 0; i < kKeyCount; ++i) {
        ASSERT_LT(g_KeyPositions[i], kMatrixSize) << i;
        EXPECT_TRUE(keys.insert(g_KeyPositions[i]).second) << "key " << i << " shares a cell";
    }
    EXPECT_EQ(g_KeyPositions[110], 0);
    for (int i = kFirstColumnStart; i < kKeyPositionEntries; ++i) {
        const int p = g_KeyPositions[i];
        ASSERT_LT(p, kMatrixSize);
        EXPECT_EQ(g_DefaultKeyMatrix[p], 0) << "position " << p;
        if (i < kGapStart)
            EXPECT_EQ(p % kMatrixColumns, 0) << "position " << p;
        else
            EXPECT_EQ(keys.count(p), 0u) << "gap " << p << " holds a key";
    }
    EXPECT_EQ(g_DefaultKeyMatrix[5 * kMatrixColumns + 10], kKeyCodeIgnored);
}

} // namespace
} // namespace orv
