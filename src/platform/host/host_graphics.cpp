#include "platform/host/host_graphics.h"

#include <algorithm>
#include <set>
#include <utility>

namespace orv::host {

namespace {

std::uint32_t Read32(std::string_view b, std::size_t at) {
    return static_cast<std::uint8_t>(b[at]) | static_cast<std::uint8_t>(b[at + 1]) << 8 |
           static_cast<std::uint8_t>(b[at + 2]) << 16 |
           static_cast<std::uint32_t>(static_cast<std::uint8_t>(b[at + 3])) << 24;
}

std::uint16_t Read16(std::string_view b, std::size_t at) {
    return static_cast<std::uint16_t>(static_cast<std::uint8_t>(b[at]) |
                                      static_cast<std::uint8_t>(b[at + 1]) << 8);
}

} // namespace

BitmapHandle HostGraphics::DecodePicture(std::string_view bytes) {
    if (bytes.size() < 54 || bytes[0] != 'B' || bytes[1] != 'M')
        return 0;
    std::uint32_t offset = Read32(bytes, 10);
    auto width = static_cast<std::int32_t>(Read32(bytes, 18));
    auto height = static_cast<std::int32_t>(Read32(bytes, 22));
    std::uint16_t bits = Read16(bytes, 28);
    std::uint32_t compression = Read32(bytes, 30);
    if (width <= 0 || height == 0 || (bits != 24 && bits != 32) || compression != 0)
        return 0;
    bool bottomUp = height > 0;
    int rows = bottomUp ? height : -height;
    std::size_t stride = ((static_cast<std::size_t>(width) * bits + 31) / 32) * 4;
    if (offset > bytes.size() || (bytes.size() - offset) / stride < static_cast<std::size_t>(rows))
        return 0;
    Bitmap bitmap{width, rows, std::vector<std::uint32_t>(static_cast<std::size_t>(width) * rows)};
    for (int y = 0; y < rows; ++y) {
        std::size_t row = offset + stride * static_cast<std::size_t>(bottomUp ? rows - 1 - y : y);
        for (int x = 0; x < width; ++x) {
            std::size_t p = row + static_cast<std::size_t>(x) * (bits / 8);
            std::uint32_t b = static_cast<std::uint8_t>(bytes[p]);
            std::uint32_t g = static_cast<std::uint8_t>(bytes[p + 1]);
            std::uint32_t r = static_cast<std::uint8_t>(bytes[p + 2]);
            bitmap.pixels[static_cast<std::size_t>(y) * width + x] = r << 16 | g << 8 | b;
        }
    }
    return AddBitmap(std::move(bitmap));
}

BitmapHandle HostGraphics::CreateSolidBitmap(int width, int height, std::uint32_t color) {
    if (width <= 0 || height <= 0)
        return 0;
    // Colour values keep red in the low byte; pixels keep it in the high one.
    std::uint32_t pixel = (color & 0xFF) << 16 | (color & 0xFF00) | (color >> 16 & 0xFF);
    return AddBitmap({width, height,
                      std::vector<std::uint32_t>(static_cast<std::size_t>(width) * height, pixel)});
}

void HostGraphics::DeleteBitmap(BitmapHandle bitmap) {
    m_bitmaps.erase(bitmap);
}

bool HostGraphics::BitmapSize(BitmapHandle bitmap, int& width, int& height) {
    const Bitmap* found = Find(bitmap);
    if (found == nullptr)
        return false;
    width = found->width;
    height = found->height;
    return true;
}

bool HostGraphics::ScanPixels32(BitmapHandle bitmap, const PixelScan& scan) {
    const Bitmap* found = Find(bitmap);
    if (found == nullptr)
        return false;
    int width = found->width;
    int height = found->height;
    int stride = width * 4;
    std::vector<std::uint8_t> bits(static_cast<std::size_t>(stride) * height, 0);
    for (int y = 0; y < height; ++y) {
        std::uint8_t* row = bits.data() + static_cast<std::size_t>(height - 1 - y) * stride;
        for (int x = 0; x < width; ++x) {
            std::uint32_t pixel = found->pixels[static_cast<std::size_t>(y) * width + x];
            std::uint8_t* at = row + static_cast<std::size_t>(x) * 4;
            at[0] = static_cast<std::uint8_t>(pixel);
            at[1] = static_cast<std::uint8_t>(pixel >> 8);
            at[2] = static_cast<std::uint8_t>(pixel >> 16);
        }
    }
    scan(bits.data(), width, height, stride);
    return true;
}

RegionHandle HostGraphics::CreateRegion(const RegionRect* rects, std::uint32_t count, std::uint32_t,
                                        const RegionRect&) {
    RegionHandle region = m_next++;
    m_regions[region].assign(rects, rects + count);
    regionRequests.push_back(count);
    return region;
}

void HostGraphics::CombineRegionOr(RegionHandle into, RegionHandle add) {
    auto a = m_regions.find(into);
    auto b = m_regions.find(add);
    if (a != m_regions.end() && b != m_regions.end())
        a->second.insert(a->second.end(), b->second.begin(), b->second.end());
}

void HostGraphics::DeleteRegion(RegionHandle region) {
    m_regions.erase(region);
}

bool HostGraphics::SetWindowRegion(WndHandle wnd, RegionHandle region, bool) {
    auto old = m_windowRegions.find(wnd);
    if (old != m_windowRegions.end())
        m_regions.erase(old->second);
    m_windowRegions[wnd] = region;
    return true;
}

BitmapHandle HostGraphics::CopyBitmapRect(WndHandle, BitmapHandle source, int x0, int y0, int x1,
                                          int y1) {
    const Bitmap* found = Find(source);
    if (found == nullptr || x1 <= x0 || y1 <= y0)
        return 0;
    Bitmap copy{x1 - x0, y1 - y0,
                std::vector<std::uint32_t>(static_cast<std::size_t>(x1 - x0) * (y1 - y0), 0)};
    for (int y = y0; y < y1 && y < found->height; ++y)
        for (int x = x0; x < x1 && x < found->width; ++x)
            copy.pixels[static_cast<std::size_t>(y - y0) * copy.width + (x - x0)] =
                found->pixels[static_cast<std::size_t>(y) * found->width + x];
    return AddBitmap(std::move(copy));
}

void HostGraphics::PaintBitmap(WndHandle wnd, BitmapHandle bitmap) {
    bitmapPaints.emplace_back(wnd, bitmap);
}

void HostGraphics::PaintBar(WndHandle wnd, const BarPaint& paint) {
    barPaints.push_back({wnd, paint.normal, paint.fill, paint.width, paint.height, paint.fillWidth,
                         std::u16string(paint.caption)});
}

BitmapHandle HostGraphics::AddBitmap(Bitmap bitmap) {
    BitmapHandle handle = m_next++;
    m_bitmaps[handle] = std::move(bitmap);
    return handle;
}

const HostGraphics::Bitmap* HostGraphics::Find(BitmapHandle bitmap) const {
    auto it = m_bitmaps.find(bitmap);
    return it == m_bitmaps.end() ? nullptr : &it->second;
}

std::vector<RegionRect> HostGraphics::Area(RegionHandle region) const {
    auto it = m_regions.find(region);
    if (it == m_regions.end())
        return {};
    // One-pixel cells make any two descriptions of the same area equal.
    std::set<std::pair<int, int>> cells;
    for (const RegionRect& r : it->second)
        for (int y = r.top; y < r.bottom; ++y)
            for (int x = r.left; x < r.right; ++x)
                cells.insert({y, x});
    std::vector<RegionRect> rows;
    for (auto cell = cells.begin(); cell != cells.end();) {
        auto [y, x] = *cell;
        int end = x + 1;
        ++cell;
        while (cell != cells.end() && cell->first == y && cell->second == end) {
            ++end;
            ++cell;
        }
        rows.push_back({x, y, end, y + 1});
    }
    return rows;
}

RegionHandle HostGraphics::WindowRegion(WndHandle wnd) const {
    auto it = m_windowRegions.find(wnd);
    return it == m_windowRegions.end() ? 0 : it->second;
}

} // namespace orv::host
