// Requests with parameters at the edges of their types: any program may post
// any value, and none of them may upset the service.
#include "service_test_support.h"

#include <climits>

namespace orv {
namespace {

using testing_service::ConfigStandIn;
using testing_service::ServiceTest;

class EdgeValueTest : public ServiceTest {
protected:
    void SetUp() override {
        Start();
        Sync(0, 2);
        Forget();
    }
    ConfigStandIn config{host.windows};
    host::StandInWindow loading{host.windows, u"DLGLoading"};
};

constexpr std::uint64_t kEdges[] = {0,           0xFF,       0x80000000,        0xFFFFFFFF,
                                    0x100000000, 1ull << 63, 0xFFFFFFFFFFFFFFFF};

// Every message of the interface with every pair of edge values: each is
// answered, the current slot stays a slot the keyboard has, and the lighting
// of the current profile stays in range.
TEST_F(EdgeValueTest, EveryMessageTakesAnyParameters) {
    const MsgId messages[] = {WM_HID_UPLOAD,      WM_HID_RELOAD,      WM_HID_KEY_EVENT,
                              WM_HID_SET_SLOT,    WM_HID_SET_OPTION,  WM_HID_LAUNCH,
                              WM_HID_UPLOAD_SLOT, WM_HID_IGNORED_669, WM_HID_SHOW_PROGRESS,
                              WM_HID_REOPEN,      WM_HID_PLUG,        WM_HID_STATUS_NOTIFY,
                              WM_TIMER,           wnd->SyncMessage()};
    for (MsgId msg : messages) {
        for (std::uint64_t w : kEdges) {
            for (std::uint64_t l : kEdges) {
                SCOPED_TRACE(::testing::Message() << std::hex << msg << " " << w << " " << l);
                Post(msg, static_cast<WParam>(w), static_cast<LParam>(l));
                ASSERT_TRUE(host.windows.IsWnd(Main()));
                ASSERT_LE(Settings().Profile, 5);
                const LIGHT_INFO& light = Settings().Current.Light;
                ASSERT_LE(light.Effect, 20);
                ASSERT_GE(light.EffectLevel, 1);
                ASSERT_LE(light.EffectLevel, 5);
                ASSERT_LE(light.Color, 0xFFFFFFu);
            }
        }
        Forget();
        host.graphics.barPaints.clear();
        host.debug.lines.clear();
    }
}

// The temporary switch counts slots from 1; a value with no slot before it
// still saves the current slot and goes to the keyboard as the value less
// one, wrapping as 32-bit numbers do.
TEST_F(EdgeValueTest, TemporarySwitchToTheLowestValueWraps) {
    for (LParam value : {LParam{0}, LParam{INT32_MIN}, LParam{0x80000000}}) {
        SCOPED_TRACE(value);
        Forget();
        Sync(1, value);
        EXPECT_EQ(Settings().Profile, 2);
        EXPECT_EQ(wnd->SavedSlot(), 2);
        // -1, or 0x7FFFFFFF: the slot byte is FF either way.
        EXPECT_EQ(Writes(), std::vector<std::string>{"0A 03 FF 00 00 00 00 00"});
        Sync(1, -1);
        EXPECT_EQ(wnd->SavedSlot(), -1);
    }
}

} // namespace
} // namespace orv
