// The device library's callback thread posts into the running loop: every
// message arrives, in the order posted, and a quit posted behind them ends
// the loop only once they are delivered.
#include "platform/linux/linux_platform.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace orv::linux_ {
namespace {

class Counter final : public IWindowTarget {
public:
    LResult OnMessage(WndHandle, MsgId msg, WParam wParam, LParam) override {
        if (msg == WM_USER)
            received.push_back(wParam);
        return 0;
    }
    std::vector<WParam> received;
};

TEST(LinuxWindowsThreads, PostsFromAnotherThreadArriveInOrderBeforeTheQuit) {
    InstallLinuxPlatform();
    Counter counter;
    WindowCreateArgs args;
    args.title = u"Orv Thread Test";
    args.style = WS_POPUP;
    const WndHandle wnd = Windows().CreateWnd(args, &counter);
    ASSERT_NE(wnd, kNoWindow);

    constexpr WParam kPosts = 5000;
    std::thread poster([&] {
        for (WParam i = 0; i < kPosts; ++i)
            Windows().PostMsg(wnd, WM_USER, i, 0);
        Windows().QuitLoop(9);
    });
    EXPECT_EQ(Windows().RunLoop(), 9);
    poster.join();
    ASSERT_EQ(counter.received.size(), kPosts);
    for (WParam i = 0; i < kPosts; ++i)
        ASSERT_EQ(counter.received[i], i);
    Windows().DestroyWnd(wnd);
}

} // namespace
} // namespace orv::linux_
