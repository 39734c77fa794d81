// Windows backend of the clock: the system tick count and real pauses.
#include "platform/win32/win32_backends.h"

#include <windows.h>

namespace orv::win32 {

namespace {

class Win32SystemClock final : public IClock {
public:
    std::uint32_t TickCount() override { return GetTickCount(); }
    void Sleep(std::uint32_t ms) override { ::Sleep(ms); }
};

} // namespace

IClock& Win32Clock() {
    static Win32SystemClock clock;
    return clock;
}

} // namespace orv::win32
