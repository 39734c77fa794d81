// Pictures and drawing of the host build: bitmaps are pixel arrays, regions
// are lists of rectangles, and every paint is recorded for the tests.
#pragma once

#include "platform/graphics.h"

#include <map>
#include <string>
#include <vector>

namespace orv::host {

class HostGraphics final : public IGraphics {
public:
    struct Bitmap {
        int width = 0;
        int height = 0;
        std::vector<std::uint32_t> pixels; // top row first, 0x00RRGGBB
    };
    struct Paint {
        WndHandle wnd;
        BitmapHandle normal;
        BitmapHandle fill;
        int width, height, fillWidth;
        std::u16string caption;
    };

    // Decodes uncompressed 24- and 32-bit BMP files; anything else fails, as
    // a picture the platform cannot decode would.
    BitmapHandle DecodePicture(std::string_view bytes) override;
    BitmapHandle CreateSolidBitmap(int width, int height, std::uint32_t color) override;
    void DeleteBitmap(BitmapHandle bitmap) override;
    bool BitmapSize(BitmapHandle bitmap, int& width, int& height) override;
    bool ScanPixels32(BitmapHandle bitmap, const PixelScan& scan) override;
    RegionHandle CreateRegion(const RegionRect* rects, std::uint32_t count, std::uint32_t capacity,
                              const RegionRect& bounds) override;
    void CombineRegionOr(RegionHandle into, RegionHandle add) override;
    void DeleteRegion(RegionHandle region) override;
    bool SetWindowRegion(WndHandle wnd, RegionHandle region, bool redraw) override;
    BitmapHandle CopyBitmapRect(WndHandle wnd, BitmapHandle source, int x0, int y0, int x1,
                                int y1) override;
    void PaintBitmap(WndHandle wnd, BitmapHandle bitmap) override;
    void PaintBar(WndHandle wnd, const BarPaint& paint) override;

    BitmapHandle AddBitmap(Bitmap bitmap);
    const Bitmap* Find(BitmapHandle bitmap) const;
    std::size_t LiveBitmaps() const { return m_bitmaps.size(); }
    std::size_t LiveRegions() const { return m_regions.size(); }
    // The rectangles of a region, merged and sorted: two regions with the
    // same area give the same list.
    std::vector<RegionRect> Area(RegionHandle region) const;
    // The region a window was given (it owns it), or 0.
    RegionHandle WindowRegion(WndHandle wnd) const;

    std::vector<Paint> barPaints;
    std::vector<std::pair<WndHandle, BitmapHandle>> bitmapPaints;
    std::vector<std::uint32_t> regionRequests; // rectangles per CreateRegion

private:
    std::map<BitmapHandle, Bitmap> m_bitmaps;
    std::map<RegionHandle, std::vector<RegionRect>> m_regions;
    std::map<WndHandle, RegionHandle> m_windowRegions;
    std::uintptr_t m_next = 0x7000;
};

} // namespace orv::host
