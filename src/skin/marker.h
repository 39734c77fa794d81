// The skinned progress bar: a child window that draws the normal picture over
// its whole area, the fill picture over a left part proportional to the
// position, and a caption over both. The mouse can drag the position.
#pragma once

#include "framework/bitmap.h"
#include "framework/wnd.h"

#include <cstdint>
#include <string>

namespace orv {

class CDMarker : public CWnd {
public:
    bool Create(const RegionRect& rect, std::u16string_view caption, CWnd* parent,
                std::uint32_t id);
    // Copies the rectangle (x0, y0)-(x1, y1) of both pictures at the bar's size.
    void SetBitmaps(BitmapHandle normal, BitmapHandle fill, int x0, int y0, int x1, int y1);
    // A value outside [m_nMin, m_nMax] sets the minimum; the bar repaints at once.
    void SetPos(int value);
    int GetPos() const { return m_nPos; }

    std::int32_t m_nMin = 0;
    std::int32_t m_nMax = 10;

protected:
    LResult WindowProc(MsgId msg, WParam wParam, LParam lParam) override;

private:
    void OnPaint();
    void FollowPointer(LParam point);
    static void CopyBitmapRect(CBitmap& target, WndHandle wnd, BitmapHandle source, int x0,
                               int y0, int x1, int y1);

    std::uint32_t m_nID = 0;
    CBitmap m_bmpNormal;
    CBitmap m_bmpFill;
    std::int32_t m_bDragging = 0;
    RegionRect m_rect{};
    CWnd* m_pParent = nullptr;
    std::int32_t m_nPos = 0;
    std::u16string m_strCaption;
};

} // namespace orv
