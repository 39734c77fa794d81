// The outline of a skinned window, made from a mask picture: every pixel that
// is not pure white belongs to the window.
#pragma once

#include "platform/graphics.h"

#include <cstdint>
#include <functional>
#include <vector>

namespace orv {

// Walks a bottom-up 32-bit pixel buffer from the picture's top row down and
// reports each run of non-white pixels of a row as a one-row rectangle.
void FindMaskRuns(const std::uint8_t* bits, int width, int height, int stride,
                  const std::function<void(const RegionRect&)>& run);

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
