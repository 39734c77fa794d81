// What the foreground benchmarks of every platform share: the spread of
// pauses between changes and how a run's figures are printed.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <vector>

namespace orv::bench {

// The pause before the next change, at any point of the tick's period (and
// the look's): 0.1 to 2.1 s, spread evenly from `seed`, which it moves on.
inline std::uint32_t NextPauseMs(std::uint32_t& seed) {
    seed = seed * 1103515245u + 12345u;
    return 100 + (seed >> 16) % 2000;
}

// Median and worst of one run's change-to-command times.
inline void PrintLatencies(const char* what, std::vector<long> ms) {
    if (ms.empty()) {
        std::printf("%s: the run did not get through\n", what);
        return;
    }
    std::sort(ms.begin(), ms.end());
    std::printf("%s: median %ld ms, worst %ld ms (%zu changes)\n", what, ms[ms.size() / 2],
                ms.back(), ms.size());
}

} // namespace orv::bench
