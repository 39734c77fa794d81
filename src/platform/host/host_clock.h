// The host build's clock: virtual milliseconds that move only when the
// service pauses or a test lets time pass. Unlike Windows no real time goes
// by, so a pause costs nothing and every run sees the same ticks.
#pragma once

#include "platform/clock.h"

#include <cstdint>
#include <mutex>
#include <vector>

namespace orv::host {

class VirtualClock final : public IClock {
public:
    std::uint32_t TickCount() override;
    void Sleep(std::uint32_t ms) override;

    void SetNow(std::uint32_t now);
    std::vector<std::uint32_t> pauses; // every Sleep, in order

private:
    friend class HostPlatform;
    std::mutex m_lock;
    std::uint32_t m_now = 1000;
};

} // namespace orv::host
