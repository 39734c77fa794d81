// The service when the keyboard or its library lets it down: the cable pulled
// in the middle of an upload, no device library at all, or one that refuses
// to open.
#include "device/key_tables.h"
#include "service_test_support.h"

#include <numeric>

namespace orv {
namespace {

using testing_service::ConfigStandIn;
using testing_service::kDataDir;
using testing_service::ServiceTest;

std::uint32_t Total(const std::vector<std::uint32_t>& pauses) {
    return std::accumulate(pauses.begin(), pauses.end(), 0u);
}

class PulledOutTest : public ServiceTest {
protected:
    void SetUp() override {
        Start();
        Sync(0, 2);
        // Two macros, the key matrix and per-key colours: 249 transfers.
        auto profile = std::make_unique<PROFILE_DATA>();
        ResetProfileDefaults(*profile, true, 2);
        profile->Buttons[5].FunctionCode = 600;
        profile->Buttons[20].FunctionCode = 700;
        profile->Light.Effect = 19;
        SaveProfileFile(u"Profile 2", *profile);
    }

    // A full upload under its progress window; the bar positions it painted.
    std::vector<int> Upload() {
        Post(WM_HID_SHOW_PROGRESS, 0, 0);
        host.graphics.barPaints.clear();
        Forget();
        Post(WM_HID_UPLOAD, 1, 1);
        std::vector<int> bars;
        for (const auto& paint : host.graphics.barPaints)
            bars.push_back(paint.fillWidth * 100 / paint.width);
        return bars;
    }

    ConfigStandIn config{host.windows};
    host::StandInWindow loading{host.windows, u"DLGLoading"};
};

// Wherever the cable is pulled, the upload runs to its end in the same fixed
// time, the transfers after the pull fail, and the removal is handled once the
// upload has let the queue run.
TEST_F(PulledOutTest, UploadEndsWheneverTheKeyboardIsPulledOut) {
    Upload();
    const std::size_t transfers = Writes().size();
    const std::uint32_t fullTime = Total(host.clock.pauses);
    ASSERT_EQ(transfers, 1u + 2 * 42 + 24 + 1 + 1 + 137 + 1);

    struct Case {
        const char* where;
        int after;
    } cases[] = {{"first report", 0},
                 {"first macro", 3},
                 {"key matrix", 100},
                 {"colours", 200},
                 {"last report", 248}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.where);
        sim.Plug();
        host.RunUntilIdle();
        ASSERT_TRUE(host.windows.TimerRunning(Main(), IDT_APP_WATCH));
        const std::size_t told = loading.Received(WM_HID_UPLOAD).size();

        sim.UnplugAfterTransfers(c.after);
        std::vector<int> bars = Upload();

        std::vector<sim::SimEvent> writes = sim.Events(sim::SimEventKind::Write);
        ASSERT_EQ(writes.size(), transfers);
        for (std::size_t i = 0; i < writes.size(); ++i)
            ASSERT_EQ(writes[i].result, i < static_cast<std::size_t>(c.after) ? 1 : 0) << i;
        EXPECT_EQ(Total(host.clock.pauses), fullTime);
        ASSERT_FALSE(bars.empty());
        EXPECT_EQ(bars.back(), 100);
        EXPECT_EQ(loading.Received(WM_HID_UPLOAD).size(), told + 1);
        EXPECT_EQ(wnd->ProgressWindow(), nullptr);

        // The removal came after the upload, through the queue.
        EXPECT_EQ(config.top.Received(WM_HID_PLUG).back().wParam, 0u);
        EXPECT_FALSE(host.windows.TimerRunning(Main(), IDT_APP_WATCH));
        EXPECT_EQ(wnd->Driver().m_bOpened, 0);
        EXPECT_NE(FileText(kDataDir + u"config.ini").find("Plug=0\r\n"), std::string::npos);
    }
}

// With the keyboard gone, every command tries one open and gives up at once:
// the next upload takes no longer than its own pauses.
TEST_F(PulledOutTest, UploadAfterTheRemovalTriesEachCommandOnce) {
    sim.Unplug();
    host.RunUntilIdle();
    std::vector<int> bars = Upload();
    EXPECT_TRUE(Writes().empty());
    // One open per command that opens: 0F, two macros, the matrix, the effect
    // and 137 colours; the two slot commands do not try.
    EXPECT_EQ(sim.Events(sim::SimEventKind::Open).size(), 1u + 2 + 1 + 1 + 137);
    // Only the upload's own pauses: after each macro, after the assignments,
    // after the effect.
    EXPECT_EQ(host.clock.pauses, (std::vector<std::uint32_t>{100, 100, 200, 100}));
    EXPECT_EQ(bars.back(), 100);
    EXPECT_EQ(loading.Received(WM_HID_UPLOAD).size(), 1u);

    // The keyboard comes back: the next upload writes everything again.
    sim.Plug();
    host.RunUntilIdle();
    Upload();
    EXPECT_EQ(Writes().size(), 1u + 2 * 42 + 24 + 1 + 1 + 137 + 1);
}

// A library that is there but will not open the keyboard.
class RefusingLibrary final : public IHidLibrary {
public:
    std::int32_t SetFilter(const HID_DEVICE_FILTER*, std::uint32_t) override { return 1; }
    std::int32_t SetCallback(HidInputCallback, std::uint32_t) override { return 1; }
    std::int32_t Open(WndHandle, MsgId, std::uint32_t) override {
        ++opens;
        return 0;
    }
    std::int32_t Close(std::uint32_t) override { return 1; }
    std::int32_t Write(std::uint32_t, std::uint8_t*, std::uint32_t, std::uint32_t) override {
        ++transfers;
        return 0;
    }
    std::int32_t Read(std::uint32_t, std::uint8_t*, std::uint32_t, std::uint32_t) override {
        ++transfers;
        return 0;
    }
    int opens = 0;
    int transfers = 0;
};

class UnusableLibraryTest : public ServiceTest, public ::testing::WithParamInterface<bool> {
protected:
    UnusableLibraryTest() { InstallHidLibrary(GetParam() ? &refusing : nullptr); }
    void TearDown() override { app.ExitInstance(); }

    RefusingLibrary refusing;
    ConfigStandIn config{host.windows};
    host::StandInWindow loading{host.windows, u"DLGLoading"};
};

// Without a usable library the service still starts, keeps its settings and
// profiles, answers every request and finishes every upload; only the
// keyboard is never reached.
TEST_P(UnusableLibraryTest, ServiceRunsOnWithoutTheKeyboard) {
    Start();
    EXPECT_TRUE(host.shell.started.empty()); // no tray-icon program without a keyboard

    Sync(0, 3);
    EXPECT_EQ(Settings().Profile, 3);
    Post(WM_HID_RELOAD, 0, 0);
    EXPECT_EQ(Settings().Profile, 3); // it was saved
    Post(WM_HID_SHOW_PROGRESS, 0, 0);
    Post(WM_HID_UPLOAD, 1, 1);
    Post(WM_HID_UPLOAD_SLOT, 4, 0);
    EXPECT_EQ(loading.Received(WM_HID_UPLOAD).size(), 2u);
    EXPECT_EQ(wnd->ProgressWindow(), nullptr);
    Post(WM_HID_SET_SLOT, 1, 0);
    Post(WM_HID_SET_OPTION, 0, 2);
    KeyEvent(7, 0xDF, 1); // the keyboard's own effect change is kept all the same
    Post(WM_HID_REOPEN, 0, 0);
    Post(WM_HID_PLUG, 0, 1); // a stray plug notice: there is nothing to ask
    host.AdvanceBy(5000);

    auto saved = std::make_unique<PROFILE_DATA>();
    LoadProfileFile(u"Profile 1", *saved);
    EXPECT_EQ(saved->Light.Effect, 7);
    EXPECT_EQ(host.registry.Find(kRegistryKeyPath, u"FWVersion")->text, u" ");
    std::uint8_t a = 9, b = 9, slot = 9;
    EXPECT_EQ(wnd->Driver().GetFirmwareVersion(a, b), kCommandFailed);
    EXPECT_EQ(wnd->Driver().GetDeviceSlot(slot), kCommandFailed);
    EXPECT_EQ(wnd->Driver().SetPollingRate(1), kCommandFailed);
    EXPECT_EQ(wnd->Driver().SetDeviceSlot(1), kCommandFailed);
    EXPECT_EQ(wnd->Driver().SendCommand0F(), kCommandFailed);
    EXPECT_EQ(wnd->Driver().m_bOpened, 0);
    EXPECT_EQ(refusing.transfers, 0);
    if (GetParam()) {
        EXPECT_GT(refusing.opens, 10);
    }
}

INSTANTIATE_TEST_SUITE_P(, UnusableLibraryTest, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return info.param ? "LibraryRefusesToOpen" : "NoLibrary";
                         });

} // namespace
} // namespace orv
