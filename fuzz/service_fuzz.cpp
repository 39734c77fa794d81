// The main window's window procedure on sequences of events: every message of
// the message interface with any wParam and lParam (the registered message's
// codes included), the keyboard's reports and plug changes, stray library
// notices, the configuration program editing the files, the suite's windows
// coming and going, a full disk and time passing. Each input runs a fresh
// service (on a fresh in-memory platform) for at most kMaxEvents events, and
// the service's state and files are checked after every one.
#include "soak/service_rig.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdio>
#include <cstdlib>
#include <unistd.h>

using namespace orv;

namespace {

constexpr int kMaxEvents = 16;

class FuzzChoices final : public rig::Choices {
public:
    explicit FuzzChoices(FuzzedDataProvider& data) : m_data(data) {}
    std::uint64_t Bits(unsigned bits) override {
        const std::uint64_t max = bits >= 64 ? ~0ull : (std::uint64_t{1} << bits) - 1;
        return m_data.ConsumeIntegralInRange<std::uint64_t>(0, max);
    }
    std::uint32_t Below(std::uint32_t n) override {
        return n == 0 ? 0 : m_data.ConsumeIntegralInRange<std::uint32_t>(0, n - 1);
    }

private:
    FuzzedDataProvider& m_data;
};

void Check(const std::string& problem, int event) {
    if (problem.empty())
        return;
    std::fprintf(stderr, "after event %d: %s\n", event, problem.c_str());
    std::abort();
}

} // namespace

// The service's files live in memory when they can: a start alone writes a
// dozen files, and flushing them to a disk would cost more than the rest.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
    if (std::getenv("TMPDIR") == nullptr && access("/dev/shm", W_OK) == 0)
        setenv("TMPDIR", "/dev/shm", 1);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider provider(data, size);
    FuzzChoices choices(provider);
    // Mostly without the keyboard at first: its arrival runs the plug
    // handling once per collection, which is most of a start's cost; a plug
    // event brings it in.
    rig::ServiceRig service({.emptyProfilesFolder = true, .plugged = choices.OneIn(4)});
    if (!service.Start())
        std::abort();
    Check(service.CheckState(), 0);
    for (int event = 1; event <= kMaxEvents && provider.remaining_bytes() > 0; ++event) {
        service.Step(choices);
        Check(service.CheckState(), event);
    }
    Check(service.CheckFiles(), kMaxEvents);
    return 0;
}
