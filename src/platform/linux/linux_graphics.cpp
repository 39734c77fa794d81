// Linux backend of pictures and drawing. Nothing is drawn on Linux: the
// service's only visible window, the progress window, shows its bar as the
// UploadProgress property instead. Bitmaps keep their size alone, so the
// windows lay themselves out as on Windows; pictures are not decoded (the
// progress window falls back to plain bitmaps), regions are empty handles
// and paints do nothing.
#include "platform/linux/linux_backends.h"

#include <map>
#include <mutex>
#include <set>

namespace orv::linux_ {

namespace {

class UndrawnGraphics final : public IGraphics {
public:
    BitmapHandle DecodePicture(std::string_view) override { return 0; }
    BitmapHandle CreateSolidBitmap(int width, int height, std::uint32_t) override {
        if (width <= 0 || height <= 0)
            return 0;
        std::lock_guard<std::mutex> guard(m_lock);
        BitmapHandle bitmap = m_next++;
        m_bitmaps[bitmap] = {width, height};
        return bitmap;
    }
    void DeleteBitmap(BitmapHandle bitmap) override {
        std::lock_guard<std::mutex> guard(m_lock);
        m_bitmaps.erase(bitmap);
    }
    bool BitmapSize(BitmapHandle bitmap, int& width, int& height) override {
        std::lock_guard<std::mutex> guard(m_lock);
        auto it = m_bitmaps.find(bitmap);
        if (it == m_bitmaps.end())
            return false;
        width = it->second.width;
        height = it->second.height;
        return true;
    }
    bool ScanPixels32(BitmapHandle, const PixelScan&) override { return false; }
    RegionHandle CreateRegion(const RegionRect*, std::uint32_t, std::uint32_t,
                              const RegionRect&) override {
        std::lock_guard<std::mutex> guard(m_lock);
        RegionHandle region = m_next++;
        m_regions.insert(region);
        return region;
    }
    void CombineRegionOr(RegionHandle, RegionHandle) override {}
    void DeleteRegion(RegionHandle region) override {
        std::lock_guard<std::mutex> guard(m_lock);
        m_regions.erase(region);
    }
    bool SetWindowRegion(WndHandle wnd, RegionHandle region, bool) override {
        // The window owns it, and with nothing drawn it has no use for it.
        DeleteRegion(region);
        return Windows().IsWnd(wnd);
    }
    BitmapHandle CopyBitmapRect(WndHandle, BitmapHandle, int x0, int y0, int x1, int y1) override {
        return CreateSolidBitmap(x1 - x0, y1 - y0, 0);
    }
    void PaintBitmap(WndHandle, BitmapHandle) override {}
    void PaintBar(WndHandle, const BarPaint&) override {}

private:
    struct Size {
        int width, height;
    };
    std::mutex m_lock;
    std::map<BitmapHandle, Size> m_bitmaps;
    std::set<RegionHandle> m_regions;
    std::uintptr_t m_next = 0x7000;
};

} // namespace

IGraphics& LinuxGraphics() {
    static UndrawnGraphics graphics;
    return graphics;
}

} // namespace orv::linux_
