// Time: a millisecond tick count and blocking pauses.
#pragma once

#include <cstdint>

namespace orv {

class IClock {
public:
    virtual ~IClock() = default;
    virtual std::uint32_t TickCount() = 0;
    // Blocks the calling thread; every fixed pause of the service goes through here.
    virtual void Sleep(std::uint32_t ms) = 0;
};

} // namespace orv
