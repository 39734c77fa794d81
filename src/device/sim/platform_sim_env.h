// The simulated keyboard's environment on the installed platform: its clock
// and its window services. This is what the host tests give it.
#pragma once

#include "device/sim/sim_keyboard.h"
#include "platform/platform.h"

namespace orv::sim {

class PlatformSimEnvironment final : public ISimEnvironment {
public:
    std::uint32_t Now() override { return Clock().TickCount(); }
    bool Post(WndHandle wnd, MsgId msg, WParam wParam, LParam lParam) override {
        return Windows().PostMsg(wnd, msg, wParam, lParam);
    }
};

} // namespace orv::sim
