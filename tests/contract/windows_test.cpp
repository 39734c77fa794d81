// The window services: lookups by title and class as the core makes them,
// posted messages in order, registered message numbers, timers and the loop.
#include "contract_backend.h"
#include "platform/platform.h"

#include <string>
#include <vector>

namespace orv::contract {
namespace {

// A window of the test that keeps what it receives.
class Recorder final : public IWindowTarget {
public:
    struct Received {
        MsgId msg;
        WParam wParam;
    };

    ~Recorder() {
        if (wnd != kNoWindow && Windows().IsWnd(wnd))
            Windows().DestroyWnd(wnd);
    }
    WndHandle Create(std::u16string title, std::u16string className = u"",
                     WndHandle parent = kNoWindow) {
        WindowCreateArgs args;
        args.title = std::move(title);
        args.className = std::move(className);
        args.parent = parent;
        args.style = parent == kNoWindow ? WS_POPUP : WS_CHILD;
        args.width = args.height = 10;
        wnd = Windows().CreateWnd(args, this);
        return wnd;
    }
    LResult OnMessage(WndHandle w, MsgId msg, WParam wParam, LParam lParam) override {
        if (msg >= WM_USER || msg == WM_TIMER)
            received.push_back({msg, wParam});
        if (msg == WM_NCDESTROY)
            wnd = kNoWindow;
        return Windows().DefaultProc(w, msg, wParam, lParam);
    }
    int Count(MsgId msg, WParam wParam) const {
        int n = 0;
        for (const Received& r : received)
            n += r.msg == msg && r.wParam == wParam ? 1 : 0;
        return n;
    }

    WndHandle wnd = kNoWindow;
    std::vector<Received> received;
};

using WindowsContract = ContractTest;

// The core finds the other programs' windows by their whole title, in any
// case as the platform compares them, and the configuration program's
// child by the same title as its top-level window.
TEST_F(WindowsContract, TitleLookupsMatchTheWholeTitleAsTheCoreLooksThemUp) {
    Recorder top, child, classed;
    ASSERT_NE(top.Create(u"Orv Contract Top"), kNoWindow);
    ASSERT_NE(child.Create(u"Orv Contract Top", u"", top.wnd), kNoWindow);
    ASSERT_NE(classed.Create(u"Orv Contract Osd", u"OrvContractOsdClass"), kNoWindow);

    EXPECT_EQ(Windows().FindTopLevel(nullptr, u"Orv Contract Top"), top.wnd);
    EXPECT_EQ(Windows().FindTopLevel(nullptr, u"ORV CONTRACT TOP"), top.wnd);
    EXPECT_EQ(Windows().FindTopLevel(nullptr, u"Orv Contract"), kNoWindow);
    EXPECT_EQ(Windows().FindTopLevel(nullptr, u"Orv Contract Top "), kNoWindow);
    EXPECT_EQ(Windows().FindChild(top.wnd, u"Orv Contract Top"), child.wnd);
    EXPECT_EQ(Windows().FindChild(top.wnd, u"Orv Contract"), kNoWindow);
    EXPECT_EQ(Windows().FindChild(classed.wnd, u"Orv Contract Top"), kNoWindow);

    EXPECT_EQ(Windows().FindTopLevel(u"OrvContractOsdClass", u"Orv Contract Osd"), classed.wnd);
    EXPECT_EQ(Windows().FindTopLevel(u"OrvContractOtherClass", u"Orv Contract Osd"), kNoWindow);
    EXPECT_EQ(Windows().FindTopLevel(u"OrvContractOsdClass", nullptr), classed.wnd);

    Windows().SetTitle(classed.wnd, u"Orv Contract Renamed");
    EXPECT_EQ(Windows().GetTitle(classed.wnd), u"Orv Contract Renamed");
    EXPECT_EQ(Windows().FindTopLevel(nullptr, u"Orv Contract Osd"), kNoWindow);
    EXPECT_EQ(Windows().FindTopLevel(nullptr, u"Orv Contract Renamed"), classed.wnd);

    EXPECT_TRUE(Windows().DestroyWnd(top.wnd));
    EXPECT_FALSE(Windows().IsWnd(child.wnd));
    EXPECT_EQ(Windows().FindTopLevel(nullptr, u"Orv Contract Top"), kNoWindow);
}

// A loop ends once what was posted before the quit has been delivered, and
// a quit ends only the loop that runs: the next one runs again.
TEST_F(WindowsContract, PostedMessagesArriveInOrderBeforeTheLoopEnds) {
    Recorder window;
    ASSERT_NE(window.Create(u"Orv Contract Posts"), kNoWindow);
    for (WParam i = 1; i <= 5; ++i)
        EXPECT_TRUE(Windows().PostMsg(window.wnd, WM_USER + 7 - static_cast<MsgId>(i % 2), i, 0));
    Windows().QuitLoop(3);
    EXPECT_EQ(Windows().RunLoop(), 3);
    ASSERT_EQ(window.received.size(), 5u);
    for (WParam i = 1; i <= 5; ++i)
        EXPECT_EQ(window.received[i - 1].wParam, i);

    EXPECT_TRUE(Windows().PostMsg(window.wnd, WM_USER, 6, 0));
    Windows().QuitLoop(4);
    EXPECT_EQ(Windows().RunLoop(), 4);
    ASSERT_EQ(window.received.size(), 6u);
    EXPECT_EQ(window.received.back().wParam, 6u);

    // A window that is gone takes no post and answers nothing.
    const WndHandle gone = window.wnd;
    ASSERT_TRUE(Windows().DestroyWnd(gone));
    EXPECT_FALSE(Windows().PostMsg(gone, WM_USER, 7, 0));
    const char data[] = "record";
    EXPECT_FALSE(Windows().SendCopyData(gone, kNoWindow, 1, data, sizeof data, 100).has_value());
}

TEST_F(WindowsContract, ARegisteredNameGivesOneNumber) {
    const MsgId sync = Windows().RegisterMsg(u"ORV_CONTRACT_SYNC");
    EXPECT_GE(sync, 0xC000u);
    EXPECT_LE(sync, 0xFFFFu);
    EXPECT_EQ(Windows().RegisterMsg(u"ORV_CONTRACT_SYNC"), sync);
    const MsgId other = Windows().RegisterMsg(u"ORV_CONTRACT_OTHER");
    EXPECT_NE(other, sync);
    EXPECT_GE(other, 0xC000u);
}

// The service restarts its timers as its state changes; a restart must
// replace the running timer, never add a second one.
TEST_F(WindowsContract, RestartingATimerReplacesIt) {
    Recorder window;
    ASSERT_NE(window.Create(u"Orv Contract Timers"), kNoWindow);
    ASSERT_TRUE(Windows().StartTimer(window.wnd, 7, 60000));
    ASSERT_TRUE(Windows().StartTimer(window.wnd, 7, 100));
    ASSERT_TRUE(Windows().StartTimer(window.wnd, 7, 100));
    backend->RunFor(550);
    const int ticks = window.Count(WM_TIMER, 7);
    EXPECT_GE(ticks, 1);
    EXPECT_LE(ticks, 6);

    EXPECT_TRUE(Windows().StopTimer(window.wnd, 7));
    EXPECT_FALSE(Windows().StopTimer(window.wnd, 7));
    window.received.clear();
    backend->RunFor(250);
    EXPECT_EQ(window.Count(WM_TIMER, 7), 0);
}

// The service follows the foreground by a look at its handle, helped by a
// notice where the system sends one: a window brought to the front is the
// foreground at once, a watch is taken for a live window only, and once it
// has stopped no notice comes. (Wine sends no notice at all, not even for
// this process's windows; that a notice comes for each change is the host
// tests' part.)
TEST_F(WindowsContract, TheForegroundIsSeenAndItsWatchEndsWhenStopped) {
    constexpr MsgId kNotice = WM_USER + 16;
    Recorder watcher, first, second, gone;
    ASSERT_NE(watcher.Create(u"Orv Contract Watcher"), kNoWindow);
    ASSERT_NE(first.Create(u"Orv Contract First"), kNoWindow);
    ASSERT_NE(second.Create(u"Orv Contract Second"), kNoWindow);
    ASSERT_NE(gone.Create(u"Orv Contract Gone"), kNoWindow);
    if (!backend->BringToFront(second.wnd))
        GTEST_SKIP() << "no foreground window on this platform";
    const WndHandle goneWnd = gone.wnd;
    ASSERT_TRUE(Windows().DestroyWnd(goneWnd));
    EXPECT_FALSE(Windows().WatchForeground(goneWnd, kNotice));
    ASSERT_TRUE(Windows().WatchForeground(watcher.wnd, kNotice));
    watcher.received.clear();

    backend->BringToFront(first.wnd);
    backend->RunFor(200);
    EXPECT_EQ(Windows().ForegroundWindow(), first.wnd);
    EXPECT_LE(watcher.Count(kNotice, 0), 1);

    Windows().StopWatchingForeground(watcher.wnd);
    watcher.received.clear();
    backend->BringToFront(second.wnd);
    backend->RunFor(200);
    EXPECT_EQ(Windows().ForegroundWindow(), second.wnd);
    EXPECT_EQ(watcher.Count(kNotice, 0), 0);
}

} // namespace
} // namespace orv::contract
