#include "skin/region.h"

#include "platform/platform.h"

#include <algorithm>

namespace orv {

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
    RegionAccumulator region;
    bool scanned = Graphics().ScanPixels32(
        mask, [&region](const std::uint8_t* bits, int width, int height, int stride) {
            FindMaskRuns(bits, width, height, stride,
                         [&region](const RegionRect& rect) { region.Add(rect); });
        });
    return scanned ? region.Finish() : 0;
}

} // namespace orv
