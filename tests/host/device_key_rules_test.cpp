// The key-event rules on their own, at the edges of every function range,
// where an off-by-one would send a broadcast for a neighbouring code.
#include "device/key_events.h"

#include <gtest/gtest.h>

namespace orv {
namespace {

TEST(KeyRules, FunctionRangesEndWhereTheyShould) {
    struct Case {
        std::int32_t function;
        bool pressed;
        KeyAction action;
        WParam code;
        LParam value;
    } cases[] = {
        {222, true, KeyAction::None, 0, 0},
        {223, true, KeyAction::Launch, 0, 0},
        {223, false, KeyAction::None, 0, 0},
        {256, true, KeyAction::None, 0, 0},
        {257, true, KeyAction::AnnounceKeyboardSlot, 0, 0},
        {259, true, KeyAction::AnnounceKeyboardSlot, 0, 0},
        {260, true, KeyAction::None, 0, 0}, // only as a key code
        {262, true, KeyAction::None, 0, 0},
        {263, true, KeyAction::Broadcast, 10, 0},
        {268, true, KeyAction::Broadcast, 10, 5},
        {268, false, KeyAction::None, 0, 0},
        {269, true, KeyAction::None, 0, 0},
        {288, true, KeyAction::None, 0, 0},
        {289, true, KeyAction::Broadcast, 2, 0},
        {291, false, KeyAction::Broadcast, 2, -1},
        {292, true, KeyAction::None, 0, 0},
        {352, true, KeyAction::None, 0, 0},
        {353, false, KeyAction::HoldAndBroadcast, 2, 0},
        {355, true, KeyAction::HoldAndBroadcast, 2, 2},
        {356, true, KeyAction::None, 0, 0},
        {384, true, KeyAction::LaunchOncePerLock, 0, 0},
        {384, false, KeyAction::None, 0, 0},
        {399, true, KeyAction::None, 0, 0},
        {400, false, KeyAction::Broadcast, 11, 0},
        {407, true, KeyAction::Broadcast, 12, 6},
        {407, false, KeyAction::None, 0, 0},
        {408, true, KeyAction::None, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.function << (c.pressed ? " pressed" : " released"));
        const KeyFunctionAction got = ActionOfKeyFunction(c.function, c.pressed);
        EXPECT_EQ(got.action, c.action);
        if (c.action == KeyAction::Broadcast || c.action == KeyAction::HoldAndBroadcast) {
            EXPECT_EQ(got.code, c.code);
            EXPECT_EQ(got.value, c.value);
        }
    }
}

TEST(KeyRules, KeyCodesRouteByTheLastFunctionSharingThem) {
    struct Case {
        int keyCode;
        bool pressed;
        KeyRoute route;
    } cases[] = {
        {0x04, true, KeyRoute::Dispatch},             // a plain letter: the key's own function
        {0xFE, true, KeyRoute::Dispatch},             // 384
        {0xC4, false, KeyRoute::EndHeldOrDispatch},   // 321 and 353 share it: 353 counts
        {0xC6, true, KeyRoute::EndHeldOrDispatch},    // 323, the first that reads the slot
        {0xC7, true, KeyRoute::None},                 // 289..291
        {0xF9, true, KeyRoute::AnnounceKeyboardSlot}, // 260
        {0xF9, false, KeyRoute::None},
        {0xF7, true, KeyRoute::None},              // 261
        {0xDD, true, KeyRoute::EndHeldOrDispatch}, // 482
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.keyCode << (c.pressed ? " pressed" : ""));
        EXPECT_EQ(RouteKeyCode(c.keyCode, c.pressed), c.route);
    }
}

TEST(KeyRules, EventsOutOfRangeDoNothing) {
    struct Case {
        LParam lParam;
        WParam wParam;
        KeyEventStep step;
        int value;
    } cases[] = {
        {0x000100DF, 9, KeyEventStep::LightEffect, 9},
        {0x000100DF, 10, KeyEventStep::None, 0},
        {0x000100DB, 1, KeyEventStep::LightOption, 1},
        {0x000100DB, 2, KeyEventStep::None, 0},
        {0x000100DC, 4, KeyEventStep::LightLevel, 5},
        {0x000100DC, 5, KeyEventStep::None, 0},
        {0x000100DA, 6, KeyEventStep::KeyboardSlot, 0},
        {0x000400FE, 0, KeyEventStep::ControlSlot, -1},
        {0x000300FE, 3, KeyEventStep::None, 0},
        {0x00010014, 0x1E, KeyEventStep::Key, 0x1E},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.lParam << " " << c.wParam);
        const KeyEventRule rule = ClassifyKeyEvent(DecodeKeyEvent(c.wParam, c.lParam));
        EXPECT_EQ(rule.step, c.step);
        if (c.step != KeyEventStep::None) {
            EXPECT_EQ(rule.value, c.value);
        }
    }
}

} // namespace
} // namespace orv
