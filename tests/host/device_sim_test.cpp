// The simulated keyboard's own contract, which the Windows tests and the demo
// rely on: its control commands, its log lines, and its respect of the filter.
#include "device_test_support.h"

#include <string>

namespace orv {
namespace {

using sim::SimEventKind;
using testing_device::DeviceTest;

TEST_F(DeviceTest, SimulatorControlCommands) {
    Connect();
    struct Case {
        const char* command;
        long result;
    };
    const Case cases[] = {
        {"version 2 0x0B", 0},
        {"get version", 0x020B},
        {"slot 5", 0},
        {"get slot", 5},
        {"  slot   0 ", 0},
        {"sixforzero off", 0},
        {"fail 2", 0},
        {"get opened", 1},
        {"report 1 08 2c 01 04 00 00 00 00 00", 1},
        {"unplug", 0},
        {"get plugged", 0},
        {"report 1 08 2C 01 04", 0}, // unplugged: nowhere to go
        {"plug", 0},
        {"get plugged", 1},
        // Refused:
        {"", -1},
        {"slot 6", -1},
        {"slot -1", -1},
        {"version 256 0", -1},
        {"report 1 8 2C", -1},
        {"report 1 GG", -1},
        {"report 1", -1},
        {"sixforzero maybe", -1},
        {"get colour", -1},
        {"jump", -1},
    };
    for (const Case& c : cases)
        EXPECT_EQ(sim::RunSimCommand(sim, c.command), c.result) << c.command;

    host.RunUntilIdle();
    int arrivals = 0;
    for (const auto& plug : Plugs())
        arrivals += plug.lParam == 1;
    EXPECT_EQ(arrivals, 10); // plugged in twice
    std::uint8_t slot = 9;
    EXPECT_EQ(driver.GetDeviceSlot(slot), 1); // two failures pending: write and read
    EXPECT_EQ(driver.GetDeviceSlot(slot), 0);
    EXPECT_EQ(slot, 0);
    EXPECT_EQ(sim.Events(SimEventKind::Read).back().bytes[2], 0); // "sixforzero off"
}

TEST_F(DeviceTest, SimulatorLogLines) {
    Connect();
    sim.ClearEvents();
    driver.SetLightColor(0x0000FF, 1);
    sim.SendInputReport(2, {0x08, 0x2C, 0x01});
    sim.Unplug();

    std::vector<std::string> lines;
    for (const auto& e : sim.Events())
        lines.push_back(sim::FormatSimEvent(e));
    ASSERT_EQ(lines.size(), 8u);
    EXPECT_EQ(
        lines[0],
        "1000 write id=0102 usage=2 len=8 result=1 report=light-color : 0A 0B 01 04 FF 00 00 00");
    EXPECT_EQ(lines[1], "1200 input id=0102 usage=2 len=3 result=1 : 08 2C 01");
    EXPECT_EQ(lines[2], "1200 unplug");
    EXPECT_EQ(lines[3], "1200 remove id=0101 usage=1 page=FF00");
}

// Every report the service writes is named in the log by its first two
// bytes (a chunk by its first alone); bytes the keyboard does not know get
// no name, so the log never claims more than it knows.
TEST(SimulatorLog, NamesEveryReportByItsLeadingBytes) {
    struct Case {
        std::vector<std::uint8_t> bytes;
        const char* named; // the text between "result=1" and " : "
    };
    const Case cases[] = {
        {{0x07, 0x80}, " report=firmware-query"},
        {{0x07, 0x81}, " report=slot-query"},
        {{0x07, 0x01, 0x04}, " report=polling-rate"},
        {{0x07, 0x11, 0x01}, " report=key-mode"},
        {{0x0A, 0x03, 0x02}, " report=select-slot"},
        {{0x0A, 0x04, 0x02}, " report=key-matrix-header"},
        {{0x0A, 0x05, 0x02, 0x8A, 0x01}, " report=macro-header"},
        {{0x0A, 0x0A, 0x02, 0x13}, " report=light-effect"},
        {{0x0A, 0x0B, 0x02, 0x04}, " report=light-color"},
        {{0x0A, 0x0C, 0x02, 0x01}, " report=key-color"},
        {{0x0A, 0x0F}, " report=prepare-upload"},
        {{0x0B, 0x17}, " report=key-matrix-chunk"},
        {{0x0C, 0x29}, " report=macro-chunk"},
        {{0x0A, 0x06}, ""},
        {{0x07, 0x02}, ""},
        {{0x08, 0x2C, 0x01}, ""},
        {{0x0A}, ""},
    };
    for (const Case& c : cases) {
        sim::SimEvent event(SimEventKind::Write);
        event.result = 1;
        event.length = static_cast<std::uint32_t>(c.bytes.size());
        event.bytes = c.bytes;
        const std::string line = sim::FormatSimEvent(event);
        const std::size_t from = line.find("result=1") + 8;
        EXPECT_EQ(line.substr(from, line.find(" : ") - from), c.named) << line;
    }
}

TEST_F(DeviceTest, SimulatorOffersOnlyTheFilteredCollections) {
    HID_DEVICE_FILTER two{sim::SimKeyboard::kVendorId, 0x0090, 1, {{2, 0xFF00}}};
    sim.SetFilter(&two, 0);
    EXPECT_EQ(sim.Open(main.Handle(), WM_HID_MONITOR, 0), 1);
    EXPECT_EQ(sim.Events(SimEventKind::Arrive).size(), 1u);
    std::uint8_t report[8] = {7, 1, 1};
    EXPECT_EQ(sim.Write(sim.DeviceIdOf(3), report, 8, 0), 0);
    EXPECT_EQ(sim.Write(sim.DeviceIdOf(2), report, 8, 0), 1);

    HID_DEVICE_FILTER none{};
    sim.SetFilter(&none, 0);
    EXPECT_EQ(sim.Open(main.Handle(), WM_HID_MONITOR, 0), 0);
    EXPECT_EQ(sim.Events(SimEventKind::Arrive).size(), 1u);
    EXPECT_EQ(sim.Write(sim.DeviceIdOf(2), report, 8, 0), 0);
}

} // namespace
} // namespace orv
