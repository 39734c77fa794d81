// Linux backend of the clock: the monotonic clock, which no change of the
// wall-clock time moves, in milliseconds that wrap as a 32-bit tick count.
#include "platform/linux/linux_backends.h"

#include <cerrno>
#include <ctime>

namespace orv::linux_ {

namespace {

class MonotonicClock final : public IClock {
public:
    std::uint32_t TickCount() override {
        timespec now{};
        clock_gettime(CLOCK_MONOTONIC, &now);
        return static_cast<std::uint32_t>(static_cast<std::uint64_t>(now.tv_sec) * 1000u +
                                          static_cast<std::uint64_t>(now.tv_nsec) / 1000000u);
    }
    void Sleep(std::uint32_t ms) override {
        timespec left{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L};
        // A signal (SIGTERM is handled in the loop) must not cut the pause short.
        while (nanosleep(&left, &left) != 0 && errno == EINTR) {
        }
    }
};

} // namespace

IClock& LinuxClock() {
    static MonotonicClock clock;
    return clock;
}

} // namespace orv::linux_
