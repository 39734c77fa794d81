// The device connection: opening, the list of the keyboard's collections,
// plug notices, the reset, and the input reports.
#include "app/hid_app.h"
#include "app/hid_wnd.h"
#include "base/wstr.h"
#include "device_test_support.h"

#include <cstdio>
#include <memory>
#include <string>

namespace orv {
namespace {

using sim::SimEventKind;
using testing_device::Bytes;
using testing_device::DeviceTest;
using testing_device::Report;

constexpr std::uint32_t kPage = 0xFF00;

std::uint32_t UsageWord(std::uint16_t usage) {
    return static_cast<std::uint32_t>(usage) << 16;
}

// A log line without its time.
std::string Line(const sim::SimEvent& event) {
    std::string line = sim::FormatSimEvent(event);
    return line.substr(line.find(' ') + 1);
}

TEST_F(DeviceTest, OpenGivesTheFilterAndListsFiveCollectionsInArrivalOrder) {
    Connect();

    auto filters = sim.Events(SimEventKind::Filter);
    ASSERT_EQ(filters.size(), 1u);
    EXPECT_EQ(Line(filters[0]),
              "filter vid=258A pid=0090 count=5 1:FF00 2:FF00 3:FF00 4:FF00 5:FF00");
    auto opens = sim.Events(SimEventKind::Open);
    ASSERT_EQ(opens.size(), 1u);
    EXPECT_EQ(opens[0].wnd, driver.GetSafeHwnd());
    EXPECT_EQ(opens[0].msg, WM_HID_MONITOR);

    ASSERT_EQ(driver.m_DeviceList.size(), 5u);
    std::uint16_t usage = 1;
    for (const _DEVICE_STATE& state : driver.m_DeviceList) {
        EXPECT_EQ(state.dwStatus, 1u);
        EXPECT_EQ(state.dwDeviceID, sim.DeviceIdOf(usage));
        EXPECT_EQ(state.dwUsage >> 16, usage);
        EXPECT_EQ(state.dwUsagePage & 0xFFFF, kPage);
        ++usage;
    }
    EXPECT_EQ(driver.m_bOpened, 1);
    auto plugs = Plugs();
    ASSERT_EQ(plugs.size(), 5u);
    for (const auto& plug : plugs) {
        EXPECT_EQ(plug.wParam, 0u);
        EXPECT_EQ(plug.lParam, 1);
    }
    ASSERT_EQ(host.debug.lines.size(), 5u);
    EXPECT_EQ(host.debug.lines[0], u"MONITOROPEN:dwDeviceID=101,usage:0x1,uagePage:0xff00\n");
}

TEST_F(DeviceTest, RepeatedArrivalOverwritesItsRecordAndPostsNothing) {
    Connect();
    driver.m_bOpened = 0; // must stay untouched by an overwrite
    const std::size_t plugs = Plugs().size();

    EXPECT_EQ(Notify(1, 0xABCD0777, UsageWord(2) | 0x1234, 0x5678FF00), 1);
    host.RunUntilIdle();

    ASSERT_EQ(driver.m_DeviceList.size(), 5u);
    const _DEVICE_STATE& second = *std::next(driver.m_DeviceList.begin());
    EXPECT_EQ(second.dwDeviceID, 0xABCD0777u); // all four words copied whole
    EXPECT_EQ(second.dwUsage, UsageWord(2) | 0x1234);
    EXPECT_EQ(second.dwUsagePage, 0x5678FF00u);
    EXPECT_EQ(driver.GetDeviceIdByUsage(2), 0x0777);
    EXPECT_EQ(Plugs().size(), plugs);
    EXPECT_EQ(driver.m_bOpened, 0);
}

TEST_F(DeviceTest, UnplugPostsOneRemovalNoticeWhenTheLastCollectionLeaves) {
    Connect();
    sim.Unplug();
    host.RunUntilIdle();

    auto plugs = Plugs();
    ASSERT_EQ(plugs.size(), 6u);
    EXPECT_EQ(plugs[5].wParam, 0u);
    EXPECT_EQ(plugs[5].lParam, 0);
    EXPECT_TRUE(driver.m_DeviceList.empty());
    EXPECT_EQ(driver.m_bOpened, 0);
    EXPECT_EQ(host.debug.lines.back(), u"MONITORCLOSE:dwDeviceID=105,usage:0x5,uagePage:0xff00\n");

    // Plugged in again: five new collections, five more notices.
    sim.Plug();
    host.RunUntilIdle();
    EXPECT_EQ(Plugs().size(), 11u);
    EXPECT_EQ(driver.GetDeviceIdByUsage(3), sim.DeviceIdOf(3));
    EXPECT_EQ(driver.m_bOpened, 1);
}

TEST_F(DeviceTest, RemovalTakesOffTheRecordOfTheCollectionThatLeft) {
    Connect();
    const std::uint32_t id2 = sim.DeviceIdOf(2);
    const std::uint32_t id5 = sim.DeviceIdOf(5);

    Notify(0, id2, UsageWord(2), kPage);
    ASSERT_EQ(driver.m_DeviceList.size(), 4u);
    EXPECT_EQ(driver.GetDeviceIdByUsage(3), sim.DeviceIdOf(3));
    EXPECT_EQ(driver.GetDeviceIdByUsage(2), id5); // gone: the last record's id

    // An unknown id with a known usage takes that usage's record off.
    Notify(0, 0x999, UsageWord(3), kPage);
    EXPECT_EQ(driver.GetDeviceIdByUsage(4), sim.DeviceIdOf(4));
    EXPECT_NE(driver.GetDeviceIdByUsage(3), sim.DeviceIdOf(3));
    EXPECT_EQ(driver.m_DeviceList.size(), 3u);
    host.RunUntilIdle();
    EXPECT_EQ(Plugs().size(), 5u); // not empty yet: no removal notice

    // Emptied while already marked closed: nothing more to announce.
    driver.m_bOpened = 0;
    for (std::uint16_t usage : {1, 4, 5})
        Notify(0, sim.DeviceIdOf(usage), UsageWord(usage), kPage);
    host.RunUntilIdle();
    EXPECT_TRUE(driver.m_DeviceList.empty());
    EXPECT_EQ(Plugs().size(), 5u);
}

TEST_F(DeviceTest, RemovalWithAnEmptyListPostsTheRemovalNoticeEveryTime) {
    driver.m_hNotifyWnd = main.Handle();
    Notify(0, 1, UsageWord(1), kPage);
    Notify(0, 1, UsageWord(1), kPage);
    host.RunUntilIdle();
    auto plugs = Plugs();
    ASSERT_EQ(plugs.size(), 2u);
    EXPECT_EQ(plugs[1].lParam, 0);
    EXPECT_EQ(driver.m_bOpened, 0);
}

TEST_F(DeviceTest, NoticesOtherThanArrivalAndRemovalAreIgnored) {
    driver.m_hNotifyWnd = main.Handle();
    EXPECT_EQ(Notify(1, 1, UsageWord(1), kPage, /*wParam=*/0), 0);
    EXPECT_EQ(Notify(2, 1, UsageWord(1), kPage), 0);
    EXPECT_EQ(host.windows.SendMsg(driver.GetSafeHwnd(), WM_HID_MONITOR, 1, 0), 0);
    host.RunUntilIdle();
    EXPECT_TRUE(driver.m_DeviceList.empty());
    EXPECT_TRUE(Plugs().empty());
    EXPECT_TRUE(host.debug.lines.empty());
}

TEST_F(DeviceTest, DeviceIdByUsageFallsBackToTheLastRecord) {
    EXPECT_EQ(driver.GetDeviceIdByUsage(2), 0); // empty list

    Notify(1, 0x10020, UsageWord(2), 0xFF01); // usage 2, but another page
    Notify(1, 0x30, UsageWord(3) | 0xFFFF, 0xABCDFF00);
    Notify(1, 0x40, UsageWord(4), kPage);
    EXPECT_EQ(driver.GetDeviceIdByUsage(3), 0x30); // low bits of the words ignored
    EXPECT_EQ(driver.GetDeviceIdByUsage(2), 0x40); // page does not match
    EXPECT_EQ(driver.GetDeviceIdByUsage(9), 0x40);
}

// The reset, from the main window's point of view: it opens the keyboard as
// it is created, and WM_HID_REOPEN starts the library over.
TEST_F(DeviceTest, MainWindowOpensTheKeyboardAndReopensOnRequest) {
    CHidApp app;
    ASSERT_TRUE(app.InitInstance());
    CUSBDriver& connection = app.MainWindow()->Driver();
    const WndHandle mainWnd = app.MainWindow()->GetSafeHwnd();
    EXPECT_EQ(connection.m_hNotifyWnd, mainWnd);
    host.RunUntilIdle();
    auto plugsToMain = [&] {
        int n = 0;
        for (const auto& post : host.windows.posts)
            n += post.wnd == mainWnd && post.msg == WM_HID_PLUG && post.lParam == 1;
        return n;
    };
    EXPECT_EQ(plugsToMain(), 5);
    EXPECT_EQ(connection.m_DeviceList.size(), 5u);

    sim.ClearEvents();
    host.windows.PostMsg(mainWnd, WM_HID_REOPEN, 0, 0);
    host.RunUntilIdle();

    std::vector<std::string> calls;
    for (const auto& e : sim.Events())
        calls.push_back(Line(e).substr(0, 12));
    const std::vector<std::string> expected = {"filter vid=0", "callback non", "close",
                                               "filter vid=2", "callback set", "open wnd=000",
                                               "arrive id=01", "arrive id=01", "arrive id=01",
                                               "arrive id=01", "arrive id=01"};
    EXPECT_EQ(calls, expected);
    auto zero = sim.Events(SimEventKind::Filter)[0].bytes;
    EXPECT_EQ(zero, Bytes(sizeof(HID_DEVICE_FILTER), 0));
    // The collections came back into their records: the list keeps five and
    // nothing new is announced.
    EXPECT_EQ(connection.m_DeviceList.size(), 5u);
    EXPECT_EQ(connection.m_bOpened, 1);
    EXPECT_EQ(plugsToMain(), 5);
    app.ExitInstance();
}

// Input reports: which message each report posts, to whom, in order.
TEST_F(DeviceTest, InputReportsBecomeMessages) {
    host::StandInWindow configTop(host.windows, u"Orvane");
    host::StandInWindow config(host.windows, u"Orvane", u"", configTop.Handle());
    Connect();

    enum Target { Main, Config };
    struct Post {
        Target to;
        MsgId msg;
        WParam wParam;
        LParam lParam;
    };
    struct Case {
        const char* name;
        Bytes report;
        std::vector<Post> posts;
    };
    const Case cases[] = {
        {"key press",
         Report({0x08, 0x2C, 0x01, 0x04}, 9),
         {{Main, WM_HID_KEY_EVENT, 0x04, 0x0001002C}}},
        {"key release",
         Report({0x08, 0x2C, 0x00, 0x04}, 9),
         {{Main, WM_HID_KEY_EVENT, 0x04, 0x0000002C}}},
        {"FE 06", Report({0x08, 0xFE, 0x06}, 9), {{Config, WM_HID_FE_NOTIFY, 1, 0}}},
        {"FE 05", Report({0x08, 0xFE, 0x05}, 9), {{Config, WM_HID_FE_NOTIFY, 0, 0}}},
        {"FE 04 is a key report",
         Report({0x08, 0xFE, 0x04, 0x02}, 9),
         {{Main, WM_HID_KEY_EVENT, 0x02, 0x000400FE}}},
        {"key code AC dropped", Report({0x08, 0x10, 0x01, 0xAC}, 9), {}},
        {"status 1",
         Report({0x08, 0x00, 0x07, 0x00, 0x03, 0xD6, 0x01, 0x00, 0x00}),
         {{Main, WM_HID_STATUS_NOTIFY, 1, 0}}},
        {"status 0, first byte not examined",
         Report({0x55, 0x00, 0x07, 0x00, 0x03, 0xD6, 0x00}, 9),
         {{Main, WM_HID_STATUS_NOTIFY, 0, 0}}},
        {"status 2 falls to the key report",
         Report({0x08, 0x00, 0x07, 0x00, 0x03, 0xD6, 0x02, 0x00, 0x00}),
         {{Main, WM_HID_KEY_EVENT, 0x00, 0x00070000}}},
        {"slot event", Report({0x0D, 0x03, 0x04}, 9), {{Main, WM_HID_KEY_EVENT, 4, 0x000100DA}}},
        {"0D 05 event",
         Report({0x0D, 0x05, 0x00, 0x07}, 9),
         {{Main, WM_HID_KEY_EVENT, 0xDE, 0x00010007}}},
        {"effect event, then the key report",
         Report({0x08, 0x05, 0x01, 0x01, 0x09}, 9),
         {{Main, WM_HID_KEY_EVENT, 0x09, 0x000100DF}, {Main, WM_HID_KEY_EVENT, 0x01, 0x00010005}}},
        {"option event",
         Report({0x0A, 0x02, 0x0C, 0x01}, 9),
         {{Main, WM_HID_KEY_EVENT, 0x01, 0x000100DB}}},
        {"level event",
         Report({0x0A, 0x00, 0x01, 0x07, 0x03}, 9),
         {{Main, WM_HID_KEY_EVENT, 0x03, 0x000100DC}}},
        {"nothing matches", Report({0x0A, 0x01, 0x02, 0x03}, 9), {}},
        // Short reports: only the bytes that are there are looked at.
        {"short slot event",
         Report({0x0D, 0x03, 0x02}, 3),
         {{Main, WM_HID_KEY_EVENT, 2, 0x000100DA}}},
        {"short key report", Report({0x08, 0x10, 0x01}, 3), {}},
        {"status without its last byte",
         Report({0x08, 0x00, 0x07, 0x00, 0x03, 0xD6, 0x01, 0x00}, 8),
         {{Main, WM_HID_KEY_EVENT, 0x00, 0x00070000}}},
        {"empty report", Bytes{}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        host.windows.posts.clear();
        ASSERT_EQ(sim.SendInputReport(1, c.report), true);
        ASSERT_EQ(host.windows.posts.size(), c.posts.size());
        for (std::size_t i = 0; i < c.posts.size(); ++i) {
            const auto& got = host.windows.posts[i];
            EXPECT_EQ(got.wnd, c.posts[i].to == Main ? main.Handle() : config.Handle());
            EXPECT_EQ(got.msg, c.posts[i].msg);
            EXPECT_EQ(got.wParam, c.posts[i].wParam);
            EXPECT_EQ(got.lParam, c.posts[i].lParam);
        }
    }
}

TEST_F(DeviceTest, InputReportWritesTwoDebugLines) {
    Connect();
    host.debug.lines.clear();
    const Bytes report = Report({0x08, 0xFE, 0x06, 0x00, 0x00, 0x00, 0x00, 0x00, 0x7F});
    driver.OnInputReport(report.data(), 0x102, 9);
    const Bytes shortReport = Report({0x0D, 0x03}, 2);
    driver.OnInputReport(shortReport.data(), 0x102, 2);

    ASSERT_EQ(host.debug.lines.size(), 4u);
    char address[32];
    std::snprintf(address, sizeof address, "%lx", reinterpret_cast<unsigned long>(report.data()));
    EXPECT_EQ(host.debug.lines[0], u"ID:0x102,pBuffer=0x" + Widen(address) + u" , Length=0x9\n");
    EXPECT_EQ(host.debug.lines[1], u"08 fe 06 00 00 00 00 00\n");
    EXPECT_EQ(host.debug.lines[3], u"0d 03\n");
}

TEST_F(DeviceTest, ReportsWithoutTheirWindowsAreDropped) {
    Connect();
    driver.m_hNotifyWnd = kNoWindow; // and no configuration window exists
    host.windows.posts.clear();
    sim.SendInputReport(1, Report({0x08, 0x2C, 0x01, 0x04}, 9));
    sim.SendInputReport(1, Report({0x08, 0xFE, 0x06}, 9));
    EXPECT_TRUE(host.windows.posts.empty());
}

TEST_F(DeviceTest, CallbackAfterTheConnectionIsGoneDoesNothing) {
    auto connection = std::make_unique<CUSBDriver>();
    EXPECT_EQ(g_pUSBDriver, connection.get());
    connection->m_hNotifyWnd = main.Handle();
    connection.reset();
    EXPECT_EQ(g_pUSBDriver, nullptr);

    const Bytes report = Report({0x08, 0x2C, 0x01, 0x04}, 9);
    CUSBDriver::InputReportCallback(0x101, report.data(), 9);
    EXPECT_TRUE(host.windows.posts.empty());
    EXPECT_TRUE(host.debug.lines.empty());
}

} // namespace
} // namespace orv
