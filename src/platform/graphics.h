// Pictures and drawing: decoding skin pictures, reading their pixels, window
// regions, and the few compositions the skinned windows paint.
#pragma once

#include "platform/types.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace orv {

using BitmapHandle = std::uintptr_t; // 0 = none
using RegionHandle = std::uintptr_t; // 0 = none

// One rectangle of region data, laid out as the platform's RECT.
struct RegionRect {
    std::int32_t left, top, right, bottom;
    bool operator==(const RegionRect&) const = default;
};
static_assert(sizeof(RegionRect) == 16);

// What one paint of the skinned bar draws: the normal picture over the whole
// bar, the fill picture over the left `fillWidth` pixels, and the caption.
struct BarPaint {
    BitmapHandle normal;
    BitmapHandle fill;
    int width;
    int height;
    int fillWidth;
    std::u16string_view caption;
};

class IGraphics {
public:
    virtual ~IGraphics() = default;

    // Decodes the bytes of a picture file (BMP, JPEG, ...) into a bitmap the
    // caller owns; 0 when they cannot be decoded.
    virtual BitmapHandle DecodePicture(std::string_view bytes) = 0;
    virtual BitmapHandle CreateSolidBitmap(int width, int height, std::uint32_t color) = 0;
    virtual void DeleteBitmap(BitmapHandle bitmap) = 0;
    virtual bool BitmapSize(BitmapHandle bitmap, int& width, int& height) = 0;
    // Makes a 32-bit copy of the bitmap as a bottom-up device-independent
    // section (`stride` bytes per row, the picture's last row first, blue,
    // green, red, unused) and lets `scan` read it before it is freed.
    using PixelScan =
        std::function<void(const std::uint8_t* bits, int width, int height, int stride)>;
    virtual bool ScanPixels32(BitmapHandle bitmap, const PixelScan& scan) = 0;

    // A region from `count` rectangles held in a buffer with room for
    // `capacity`; 0 on failure.
    virtual RegionHandle CreateRegion(const RegionRect* rects, std::uint32_t count,
                                      std::uint32_t capacity, const RegionRect& bounds) = 0;
    // into = into OR add.
    virtual void CombineRegionOr(RegionHandle into, RegionHandle add) = 0;
    virtual void DeleteRegion(RegionHandle region) = 0;
    // The window owns the region afterwards.
    virtual bool SetWindowRegion(WndHandle wnd, RegionHandle region, bool redraw) = 0;

    // A new bitmap, compatible with the window's display, holding the
    // rectangle (x0, y0)-(x1, y1) of `source`.
    virtual BitmapHandle CopyBitmapRect(WndHandle wnd, BitmapHandle source, int x0, int y0, int x1,
                                        int y1) = 0;
    // WM_PAINT of a window that shows one bitmap over its client area.
    virtual void PaintBitmap(WndHandle wnd, BitmapHandle bitmap) = 0;
    // WM_PAINT of the skinned bar: composed off screen, copied in one go.
    virtual void PaintBar(WndHandle wnd, const BarPaint& paint) = 0;
};

} // namespace orv
