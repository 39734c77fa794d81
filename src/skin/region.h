// The outline of a skinned window, made from a mask picture: every pixel that
// is not pure white belongs to the window.
#pragma once

#include "platform/graphics.h"

#include <cstdint>
#include <vector>

namespace orv {

// Walks a bottom-up 32-bit pixel buffer from the picture's top row down and
// reports each run of non-white pixels of a row as a one-row rectangle.
template <typename RunSink>
void FindMaskRuns(const std::uint8_t* bits, int width, int height, int stride, RunSink&& run) {
    for (int y = 0; y < height; ++y) {
        // Bottom-up: the picture's top row is the last row in memory.
        const std::uint8_t* row = bits + static_cast<std::size_t>(height - 1 - y) * stride;
        auto white = [row](int x) {
            const std::uint8_t* p = row + static_cast<std::size_t>(x) * 4;
            return (p[0] & p[1] & p[2]) == 0xFF;
        };
        for (int x = 0; x < width; ++x) {
            if (white(x))
                continue;
            int x0 = x;
            while (x < width && !white(x))
                ++x;
            run(RegionRect{x0, y, x, y + 1});
        }
    }
}

// Collects rectangles in a buffer that grows by 100 at a time and turns them
// into a region every 2,000 rectangles, so that no single region request
// grows without bound; the partial regions are combined with OR.
class RegionAccumulator {
public:
    static constexpr std::uint32_t kGrowth = 100;
    static constexpr std::uint32_t kFlushAt = 2000;

    void Add(const RegionRect& rect);
    // Turns what is left into the last part; returns the whole region (0 when
    // nothing was added or a request failed). The caller owns it.
    RegionHandle Finish();

private:
    void Flush();
    static RegionRect EmptyBounds() { return {0x7FFFFFFF, 0x7FFFFFFF, 0, 0}; }

    std::vector<RegionRect> m_buffer; // size() is the buffer's room
    std::uint32_t m_count = 0;
    RegionRect m_bounds = EmptyBounds();
    RegionHandle m_result = 0;
    bool m_failed = false;
};

// The region of the mask's non-white pixels, or 0 without a mask or when the
// pixels cannot be read. The caller owns the region.
RegionHandle RegionFromMask(BitmapHandle mask);

} // namespace orv
