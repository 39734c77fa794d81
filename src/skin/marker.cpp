#include "skin/marker.h"

#include "platform/platform.h"
#include "skin/bar_math.h"

namespace orv {

bool CDMarker::Create(const RegionRect& rect, std::u16string_view caption, CWnd* parent,
                      std::uint32_t id) {
    m_nID = id;
    m_bDragging = 0;
    m_nMin = 0;
    m_nMax = 10;
    m_nPos = 0;
    m_strCaption = std::u16string(caption);
    m_rect = rect;
    m_pParent = parent;
    return CreateEx(0, nullptr, u"", WS_CHILD | WS_VISIBLE | WS_TABSTOP, rect.left, rect.top,
                    rect.right - rect.left, rect.bottom - rect.top,
                    parent != nullptr ? parent->GetSafeHwnd() : kNoWindow, id);
}

void CDMarker::CopyBitmapRect(CBitmap& target, WndHandle wnd, BitmapHandle source, int x0, int y0,
                              int x1, int y1) {
    if (source == 0)
        return;
    target.Attach(Graphics().CopyBitmapRect(wnd, source, x0, y0, x1, y1));
}

void CDMarker::SetBitmaps(BitmapHandle normal, BitmapHandle fill, int x0, int y0, int x1,
                          int y1) {
    CopyBitmapRect(m_bmpNormal, m_hWnd, normal, x0, y0, x1, y1);
    CopyBitmapRect(m_bmpFill, m_hWnd, fill, x0, y0, x1, y1);
}

void CDMarker::SetPos(int value) {
    m_nPos = PositionOrMinimum(value, m_nMin, m_nMax);
    // The caller does not return to the message loop while it works, so the
    // bar is painted here and now.
    Invalidate(true);
    UpdateWindow();
}

LResult CDMarker::WindowProc(MsgId msg, WParam wParam, LParam lParam) {
    switch (msg) {
    case WM_PAINT:
        OnPaint();
        return 0;
    case WM_LBUTTONDOWN:
        Windows().CaptureMouse(m_hWnd);
        m_bDragging = 1;
        break;
    case WM_MOUSEMOVE:
        if (m_bDragging) {
            FollowPointer(lParam);
            Invalidate(true);
        }
        break;
    case WM_LBUTTONUP: {
        m_bDragging = 0;
        FollowPointer(lParam);
        LResult result = CWnd::WindowProc(msg, wParam, lParam);
        Windows().ReleaseMouse();
        Invalidate(true);
        return result;
    }
    case WM_CAPTURECHANGED:
        // Losing the capture does not end a drag: moves over the bar keep
        // moving it until the button comes up or the focus goes.
        if (m_bDragging == 1) {
            Windows().ReleaseMouse();
            Invalidate(true);
        }
        break;
    case WM_KILLFOCUS: {
        LResult result = CWnd::WindowProc(msg, wParam, lParam);
        m_bDragging = 0;
        Invalidate(true);
        return result;
    }
    default:
        break;
    }
    return CWnd::WindowProc(msg, wParam, lParam);
}

void CDMarker::OnPaint() {
    int w = m_rect.right - m_rect.left;
    int h = m_rect.bottom - m_rect.top;
    BarPaint paint{m_bmpNormal.Handle(),
                   m_bmpFill.Handle(),
                   w,
                   h,
                   FillWidth(m_nPos, m_nMin, m_nMax, w),
                   m_strCaption};
    Graphics().PaintBar(m_hWnd, paint);
}

void CDMarker::FollowPointer(LParam point) {
    // Client coordinates come as two signed 16-bit halves.
    int x = static_cast<std::int16_t>(point & 0xFFFF);
    int y = static_cast<std::int16_t>((point >> 16) & 0xFFFF);
    Windows().ClientToParent(m_hWnd, x, y);
    m_nPos = PositionFromPointer(x, m_rect.left, m_rect.right, m_nMin, m_nMax);
}

} // namespace orv
