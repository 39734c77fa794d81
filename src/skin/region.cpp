#include "skin/region.h"

#include "platform/platform.h"

#include <algorithm>

namespace orv {

void FindMaskRuns(const std::uint8_t* bits, int width, int height, int stride,
                  const std::function<void(const RegionRect&)>& run) {
    for (int y = 0; y < height; ++y) {
        // Bottom-up: the picture's top row is the last row in memory.
        const std::uint8_t* row = bits + static_cast<std::size_t>(height - 1 - y) * stride;
        for (int x = 0; x < width; ++x) {
            const std::uint8_t* pixel = row + x * 4;
            if (pixel[0] == 0xFF && pixel[1] == 0xFF && pixel[2] == 0xFF)
                continue;
            int x0 = x;
            while (x < width) {
                const std::uint8_t* p = row + x * 4;
                if (p[0] == 0xFF && p[1] == 0xFF && p[2] == 0xFF)
                    break;
                ++x;
            }
            run({x0, y, x, y + 1});
        }
    }
}

void RegionAccumulator::Add(const RegionRect& rect) {
    if (m_count == m_buffer.size())
        m_buffer.resize(m_buffer.size() + kGrowth);
    m_buffer[m_count++] = rect;
    m_bounds.left = std::min(m_bounds.left, rect.left);
    m_bounds.top = std::min(m_bounds.top, rect.top);
    m_bounds.right = std::max(m_bounds.right, rect.right);
    m_bounds.bottom = std::max(m_bounds.bottom, rect.bottom);
    if (m_count == kFlushAt)
        Flush();
}

void RegionAccumulator::Flush() {
    RegionHandle part = Graphics().CreateRegion(m_buffer.data(), m_count,
                                                static_cast<std::uint32_t>(m_buffer.size()),
                                                m_bounds);
    if (part == 0) {
        m_failed = true;
    } else if (m_result == 0) {
        m_result = part;
    } else {
        Graphics().CombineRegionOr(m_result, part);
        Graphics().DeleteRegion(part);
    }
    m_count = 0;
    m_bounds = EmptyBounds();
}

RegionHandle RegionAccumulator::Finish() {
    if (m_count > 0 || m_result == 0)
        Flush();
    if (m_failed && m_result != 0) {
        // A window shaped by part of its mask would be worse than a plain one.
        Graphics().DeleteRegion(m_result);
        m_result = 0;
    }
    RegionHandle result = m_result;
    m_result = 0;
    return result;
}

RegionHandle RegionFromMask(BitmapHandle mask) {
    if (mask == 0)
        return 0;
    std::vector<std::uint8_t> bits;
    int width = 0, height = 0, stride = 0;
    if (!Graphics().CopyPixels32(mask, bits, width, height, stride))
        return 0;
    RegionAccumulator region;
    FindMaskRuns(bits.data(), width, height, stride,
                 [&region](const RegionRect& rect) { region.Add(rect); });
    return region.Finish();
}

} // namespace orv
