// A long run of the whole service under random events (see service_rig.h),
// checking after every event that the state is sound, regularly that every
// file reads back through the INI engine, and at checkpoints that the
// process's memory stays flat once the run has warmed up.
//
//   orv_soak [--events N] [--seed S] [--checkpoints K]
//
// Prints the figures; the exit code is 0 when nothing was broken.
#include "soak/service_rig.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ORV_SOAK_ASAN 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define ORV_SOAK_ASAN 1
#endif

#ifdef ORV_SOAK_ASAN
#include <sanitizer/allocator_interface.h>
#else
#include <atomic>
#include <malloc.h>
#include <new>
#endif
#include <unistd.h>

#ifndef ORV_SOAK_ASAN
// Every C++ allocation of the program is counted: the blocks the service and
// the platform hold, exactly, without what the C library keeps for itself.
// (Under AddressSanitizer its allocator counts instead.)
namespace {
std::atomic<long long> g_liveBytes{0};
std::atomic<long long> g_liveBlocks{0};
} // namespace

void* operator new(std::size_t size) {
    void* block = std::malloc(size == 0 ? 1 : size);
    if (block == nullptr)
        throw std::bad_alloc();
    g_liveBytes += static_cast<long long>(malloc_usable_size(block));
    ++g_liveBlocks;
    return block;
}
void operator delete(void* block) noexcept {
    if (block == nullptr)
        return;
    g_liveBytes -= static_cast<long long>(malloc_usable_size(block));
    --g_liveBlocks;
    std::free(block);
}
void* operator new[](std::size_t size) {
    return operator new(size);
}
void operator delete[](void* block) noexcept {
    operator delete(block);
}
void operator delete(void* block, std::size_t) noexcept {
    operator delete(block);
}
void operator delete[](void* block, std::size_t) noexcept {
    operator delete(block);
}
#endif

using namespace orv;

namespace {

// Bytes held by the program's live heap blocks.
std::size_t HeapBytes() {
#ifdef ORV_SOAK_ASAN
    return __sanitizer_get_current_allocated_bytes();
#else
    return static_cast<std::size_t>(g_liveBytes.load());
#endif
}

std::size_t ResidentBytes() {
    long pages = 0, resident = 0;
    if (FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        std::fclose(f);
    }
    return static_cast<std::size_t>(resident) * static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
}

// A checkpoint's heap may differ from another's by what the service holds at
// that moment (a window of the suite, a pending reply: a few KiB); a leak of
// even a byte per event adds up to more than this over a long run.
constexpr std::size_t kHeapSlack = 16 * 1024;
constexpr int kFilesEvery = 100;

struct Checkpoint {
    long events;
    double seconds;
    std::size_t heap, resident, windows;
    std::uint32_t virtualMs;
};

long Argument(int argc, char** argv, const char* name, long fallback) {
    for (int i = 1; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], name) == 0)
            return std::strtol(argv[i + 1], nullptr, 0);
    return fallback;
}

} // namespace

int main(int argc, char** argv) {
    const long events = Argument(argc, argv, "--events", 100000);
    const long seed = Argument(argc, argv, "--seed", 1);
    const long checkpoints = std::max(2L, Argument(argc, argv, "--checkpoints", 10));
    const long every = std::max(1L, events / checkpoints);
    std::printf("soak: %ld events, seed %ld, a checkpoint every %ld events\n", events, seed, every);

    // The service's files live in memory when they can: the run is about the
    // service, not about how fast the disk flushes.
    if (std::getenv("TMPDIR") == nullptr && access("/dev/shm", W_OK) == 0)
        setenv("TMPDIR", "/dev/shm", 1);

    rig::SeededChoices choices(static_cast<std::uint64_t>(seed));
    rig::ServiceRig service({});
    if (!service.Start()) {
        std::printf("soak: the service did not start\n");
        return 1;
    }

    long stateChecks = 0, fileChecks = 0, filesRead = 0, broken = 0;
    auto report = [&](long event, const std::string& what, const std::string& problem) {
        if (problem.empty())
            return;
        ++broken;
        if (broken <= 10)
            std::printf("soak: after event %ld: %s: %s\n", event, what.c_str(), problem.c_str());
    };
    auto checkFiles = [&](long event) {
        int files = 0;
        report(event, "files", service.CheckFiles(&files));
        ++fileChecks;
        filesRead += files;
    };

    std::vector<Checkpoint> marks;
    const auto start = std::chrono::steady_clock::now();
    const std::uint32_t virtualStart = service.host.clock.TickCount();
    std::printf("%10s %9s %11s %11s %8s %12s\n", "events", "seconds", "heap KiB", "rss KiB",
                "windows", "virtual s");
    for (long event = 1; event <= events; ++event) {
        service.Step(choices);
        service.Trim();
        report(event, "state", service.CheckState());
        ++stateChecks;
        if (event % kFilesEvery == 0)
            checkFiles(event);
        if (event % every == 0 || event == events) {
            // An open progress window holds its pictures until an upload
            // ends; end it so that every checkpoint looks at the same state.
            if (CHidWnd* main = service.Service(); main && main->ProgressWindow()) {
                service.host.windows.PostMsg(main->GetSafeHwnd(), WM_HID_UPLOAD, 0, 0);
                service.host.RunUntilIdle();
                service.Trim();
            }
            Checkpoint mark{
                event,
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(),
                HeapBytes(),
                ResidentBytes(),
                service.host.windows.WindowCount(),
                service.host.clock.TickCount() - virtualStart};
            marks.push_back(mark);
            std::printf("%10ld %9.1f %11.1f %11.1f %8zu %12.0f\n", mark.events, mark.seconds,
                        mark.heap / 1024.0, mark.resident / 1024.0, mark.windows,
                        mark.virtualMs / 1000.0);
            std::fflush(stdout);
        }
    }
    checkFiles(events);

    std::printf("events by kind:");
    for (int kind = 0; kind < static_cast<int>(rig::Event::Count); ++kind)
        std::printf(" %s %llu%s", rig::EventName(static_cast<rig::Event>(kind)),
                    static_cast<unsigned long long>(service.Count(static_cast<rig::Event>(kind))),
                    kind + 1 < static_cast<int>(rig::Event::Count) ? "," : "\n");
    std::printf("invariants: state checked %ld times, files checked %ld times (%ld file reads), "
                "%ld broken\n",
                stateChecks, fileChecks, filesRead, broken);

    // Warm-up: the first fifth of the checkpoints. The rest may not hold more
    // heap than the warm-up's largest.
    const std::size_t warm = std::max<std::size_t>(1, marks.size() / 5);
    std::size_t reference = 0, later = 0;
    for (std::size_t i = 0; i < marks.size(); ++i) {
        std::size_t& peak = i < warm ? reference : later;
        peak = std::max(peak, marks[i].heap);
    }
    const long long growth = static_cast<long long>(later) - static_cast<long long>(reference);
    const bool flat = growth <= static_cast<long long>(kHeapSlack);
    std::printf("memory: heap after warm-up at most %.1f KiB, afterwards at most %.1f KiB "
                "(%+.1f KiB, allowed %+.1f KiB): %s; resident %.1f MiB at the end\n",
                reference / 1024.0, later / 1024.0, growth / 1024.0, kHeapSlack / 1024.0,
                flat ? "flat" : "GROWING", marks.back().resident / 1048576.0);
    std::printf("soak: %s in %.1f s\n", broken == 0 && flat ? "passed" : "FAILED",
                marks.back().seconds);
    return broken == 0 && flat ? 0 : 1;
}
