// Windows backend of pictures and drawing: GDI bitmaps and regions, and
// pictures decoded by the system's picture object.
#include "platform/win32/wide.h"
#include "platform/win32/win32_backends.h"

#include <windows.h>
#include <ocidl.h>
#include <olectl.h>

#include <cstring>

namespace orv::win32 {

namespace {

HWND H(WndHandle wnd) {
    return reinterpret_cast<HWND>(wnd);
}
HBITMAP B(BitmapHandle bitmap) {
    return reinterpret_cast<HBITMAP>(bitmap);
}
HRGN R(RegionHandle region) {
    return reinterpret_cast<HRGN>(region);
}

class GdiGraphics final : public IGraphics {
public:
    BitmapHandle DecodePicture(std::string_view bytes) override {
        if (bytes.empty())
            return 0;
        HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, bytes.size());
        if (block == nullptr)
            return 0;
        void* data = GlobalLock(block);
        if (data == nullptr) {
            GlobalFree(block);
            return 0;
        }
        std::memcpy(data, bytes.data(), bytes.size());
        GlobalUnlock(block);
        IStream* stream = nullptr;
        // The stream frees the block when it is released.
        if (CreateStreamOnHGlobal(block, TRUE, &stream) != S_OK) {
            GlobalFree(block);
            return 0;
        }
        IPicture* picture = nullptr;
        HRESULT hr = OleLoadPicture(stream, static_cast<LONG>(bytes.size()), FALSE, IID_IPicture,
                                    reinterpret_cast<void**>(&picture));
        stream->Release();
        if (FAILED(hr) || picture == nullptr)
            return 0;
        OLE_HANDLE handle = 0;
        HBITMAP copy = nullptr;
        SHORT type = PICTYPE_UNINITIALIZED;
        // The picture object owns its bitmap and deletes it when released, so
        // the caller gets a copy of its own.
        if (picture->get_Type(&type) == S_OK && type == PICTYPE_BITMAP &&
            picture->get_Handle(&handle) == S_OK && handle != 0)
            copy = static_cast<HBITMAP>(
                CopyImage(reinterpret_cast<HBITMAP>(static_cast<UINT_PTR>(handle)), IMAGE_BITMAP, 0,
                          0, LR_CREATEDIBSECTION));
        picture->Release();
        return reinterpret_cast<BitmapHandle>(copy);
    }

    BitmapHandle CreateSolidBitmap(int width, int height, std::uint32_t color) override {
        HDC screen = GetDC(nullptr);
        HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
        HDC dc = CreateCompatibleDC(screen);
        ReleaseDC(nullptr, screen);
        if (bitmap == nullptr || dc == nullptr) {
            if (dc != nullptr)
                DeleteDC(dc);
            if (bitmap != nullptr)
                DeleteObject(bitmap);
            return 0;
        }
        HGDIOBJ old = SelectObject(dc, bitmap);
        HBRUSH brush = CreateSolidBrush(color & 0xFFFFFF);
        RECT rect{0, 0, width, height};
        FillRect(dc, &rect, brush);
        DeleteObject(brush);
        SelectObject(dc, old);
        DeleteDC(dc);
        return reinterpret_cast<BitmapHandle>(bitmap);
    }

    void DeleteBitmap(BitmapHandle bitmap) override {
        if (bitmap != 0)
            DeleteObject(B(bitmap));
    }

    bool BitmapSize(BitmapHandle bitmap, int& width, int& height) override {
        BITMAP info{};
        if (bitmap == 0 || GetObjectW(B(bitmap), sizeof info, &info) == 0)
            return false;
        width = info.bmWidth;
        height = info.bmHeight;
        return true;
    }

    bool ScanPixels32(BitmapHandle bitmap, const PixelScan& scan) override {
        int width = 0, height = 0;
        if (!BitmapSize(bitmap, width, height) || width <= 0 || height <= 0)
            return false;
        HDC sectionDc = CreateCompatibleDC(nullptr);
        if (sectionDc == nullptr)
            return false;
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = width;
        info.bmiHeader.biHeight = height; // bottom-up
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        void* sectionBits = nullptr;
        HBITMAP section =
            CreateDIBSection(sectionDc, &info, DIB_RGB_COLORS, &sectionBits, nullptr, 0);
        if (section == nullptr) {
            DeleteDC(sectionDc);
            return false;
        }
        HGDIOBJ oldSection = SelectObject(sectionDc, section);
        bool ok = false;
        if (HDC maskDc = CreateCompatibleDC(sectionDc)) {
            HGDIOBJ oldMask = SelectObject(maskDc, B(bitmap));
            BitBlt(sectionDc, 0, 0, width, height, maskDc, 0, 0, SRCCOPY);
            GdiFlush();
            BITMAP described{};
            GetObjectW(section, sizeof described, &described);
            int stride = (described.bmWidthBytes + 3) & ~3;
            scan(static_cast<const std::uint8_t*>(sectionBits), width, height, stride);
            SelectObject(maskDc, oldMask);
            DeleteDC(maskDc);
            ok = true;
        }
        SelectObject(sectionDc, oldSection);
        DeleteObject(section);
        DeleteDC(sectionDc);
        return ok;
    }

    RegionHandle CreateRegion(const RegionRect* rects, std::uint32_t count, std::uint32_t capacity,
                              const RegionRect& bounds) override {
        if (capacity < count)
            capacity = count;
        std::vector<std::uint8_t> block(sizeof(RGNDATAHEADER) + sizeof(RECT) * capacity);
        auto* data = reinterpret_cast<RGNDATA*>(block.data());
        data->rdh.dwSize = sizeof(RGNDATAHEADER);
        data->rdh.iType = RDH_RECTANGLES;
        data->rdh.nCount = count;
        data->rdh.nRgnSize = 0;
        data->rdh.rcBound = {bounds.left, bounds.top, bounds.right, bounds.bottom};
        std::memcpy(data->Buffer, rects, sizeof(RECT) * count);
        return reinterpret_cast<RegionHandle>(
            ExtCreateRegion(nullptr, static_cast<DWORD>(block.size()), data));
    }

    void CombineRegionOr(RegionHandle into, RegionHandle add) override {
        CombineRgn(R(into), R(into), R(add), RGN_OR);
    }

    void DeleteRegion(RegionHandle region) override {
        if (region != 0)
            DeleteObject(R(region));
    }

    bool SetWindowRegion(WndHandle wnd, RegionHandle region, bool redraw) override {
        return SetWindowRgn(H(wnd), R(region), redraw) != 0;
    }

    BitmapHandle CopyBitmapRect(WndHandle wnd, BitmapHandle source, int x0, int y0, int x1,
                                int y1) override {
        HDC dc = GetDC(H(wnd));
        HBITMAP target = CreateCompatibleBitmap(dc, x1 - x0, y1 - y0);
        HDC targetDc = CreateCompatibleDC(dc);
        HDC sourceDc = CreateCompatibleDC(dc);
        HGDIOBJ oldTarget = SelectObject(targetDc, target);
        HGDIOBJ oldSource = SelectObject(sourceDc, B(source));
        StretchBlt(targetDc, 0, 0, x1 - x0, y1 - y0, sourceDc, x0, y0, x1 - x0, y1 - y0, SRCCOPY);
        SelectObject(sourceDc, oldSource);
        SelectObject(targetDc, oldTarget);
        DeleteDC(sourceDc);
        DeleteDC(targetDc);
        ReleaseDC(H(wnd), dc);
        return reinterpret_cast<BitmapHandle>(target);
    }

    void PaintBitmap(WndHandle wnd, BitmapHandle bitmap) override {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(H(wnd), &ps);
        RECT client;
        GetClientRect(H(wnd), &client);
        HDC memory = CreateCompatibleDC(dc);
        HGDIOBJ old = SelectObject(memory, B(bitmap));
        BitBlt(dc, client.left, client.top, client.right - client.left, client.bottom - client.top,
               memory, 0, 0, SRCCOPY);
        SelectObject(memory, old);
        DeleteDC(memory);
        EndPaint(H(wnd), &ps);
    }

    void PaintBar(WndHandle wnd, const BarPaint& paint) override {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(H(wnd), &ps);
        const int w = paint.width;
        const int h = paint.height;
        HDC pictures = CreateCompatibleDC(dc);
        HGDIOBJ oldPicture = SelectObject(pictures, B(paint.normal));
        HDC canvasDc = CreateCompatibleDC(dc);
        HBITMAP canvas = CreateCompatibleBitmap(dc, w, h);
        HGDIOBJ oldCanvas = SelectObject(canvasDc, canvas);
        HFONT font = CreateFontW(38, 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                                 OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                                 FF_SWISS | DEFAULT_PITCH, L"Arial");
        HGDIOBJ oldFont = SelectObject(canvasDc, font);
        SetTextColor(canvasDc, RGB(210, 210, 210));

        BitBlt(canvasDc, 0, 0, w, h, pictures, 0, 0, SRCCOPY);
        SelectObject(pictures, B(paint.fill));
        BitBlt(canvasDc, 0, 0, paint.fillWidth, h, pictures, 0, 0, SRCCOPY);
        SetBkMode(canvasDc, TRANSPARENT);
        if (!paint.caption.empty()) {
            RECT text{175, 60, 575, 105};
            std::wstring caption = W(paint.caption);
            DrawTextW(canvasDc, caption.c_str(), static_cast<int>(caption.size()), &text,
                      DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX | DT_END_ELLIPSIS);
        }
        BitBlt(dc, 0, 0, w, h, canvasDc, 0, 0, SRCCOPY);

        SelectObject(canvasDc, oldFont);
        SelectObject(canvasDc, oldCanvas);
        SelectObject(pictures, oldPicture);
        DeleteDC(canvasDc);
        DeleteDC(pictures);
        DeleteObject(canvas);
        DeleteObject(font);
        EndPaint(H(wnd), &ps);
    }
};

} // namespace

IGraphics& Win32Graphics() {
    static GdiGraphics graphics;
    return graphics;
}

} // namespace orv::win32
