// Sleep and resume: a while after the system resumes, the service starts
// the keyboard's connection over and runs its plug handling again.
#include "service_test_support.h"

namespace orv::testing_service {
namespace {

class ResumeTest : public ServiceTest {
protected:
    int Closes() { return static_cast<int>(sim.Events(sim::SimEventKind::Close).size()); }
    int Plugs() {
        int n = 0;
        for (const host::MessageRecord& r : host.windows.posts)
            n += r.wnd == Main() && r.msg == WM_HID_PLUG && r.lParam == 1 ? 1 : 0;
        return n;
    }
};

TEST_F(ResumeTest, ResumeStartsTheConnectionOverAfterTheSettle) {
    struct Case {
        const char* name;
        std::vector<WParam> events;
        int resets;
    };
    const Case cases[] = {
        {"resumed by itself", {PBT_APMRESUMEAUTOMATIC}, 1},
        {"resumed by the user", {PBT_APMRESUMESUSPEND}, 1},
        {"both, as Windows sends them", {PBT_APMRESUMEAUTOMATIC, PBT_APMRESUMESUSPEND}, 1},
        {"going to sleep", {0x0004 /* PBT_APMSUSPEND */}, 0},
    };
    Start();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Forget();
        for (WParam event : c.events) {
            const LResult result = host.windows.SendMsg(Main(), WM_POWERBROADCAST, event, 0);
            if (c.resets > 0) {
                EXPECT_EQ(result, 1);
            }
        }
        host.AdvanceBy(kResumeSettleMs - 1);
        EXPECT_EQ(Closes(), 0); // the system is still finding its devices
        host.AdvanceBy(1);
        host.RunUntilIdle();
        EXPECT_EQ(Closes(), c.resets);
        EXPECT_EQ(Plugs(), c.resets);
        EXPECT_FALSE(host.windows.TimerRunning(Main(), IDT_RESUME_SETTLE));
    }
}

// The plug handling runs as at a plug-in: the keyboard is asked for its
// version and its slot, and the suite hears that the keyboard is there.
TEST_F(ResumeTest, ThePlugHandlingRunsAgainAfterResume) {
    ConfigStandIn config(host.windows);
    Start();
    Sync(0, 3); // the configuration program selects slot 3
    Forget();
    const std::size_t plugs = config.top.Received(WM_HID_PLUG).size();
    host.windows.SendMsg(Main(), WM_POWERBROADCAST, PBT_APMRESUMEAUTOMATIC, 0);
    host.AdvanceBy(kResumeSettleMs);
    host.RunUntilIdle();
    const std::vector<std::string> writes = Writes();
    ASSERT_EQ(writes.size(), 2u);
    EXPECT_EQ(writes[0].substr(0, 5), "07 80");
    EXPECT_EQ(writes[1].substr(0, 5), "07 81");
    ASSERT_EQ(config.top.Received(WM_HID_PLUG).size(), plugs + 1);
    EXPECT_EQ(config.top.Received(WM_HID_PLUG).back().wParam, 1u);
    EXPECT_EQ(Settings().Profile, 3);
}

} // namespace
} // namespace orv::testing_service
