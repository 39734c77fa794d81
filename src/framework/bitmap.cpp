#include "framework/bitmap.h"

#include "platform/platform.h"

namespace orv {

void CBitmap::Attach(BitmapHandle bitmap) {
    if (bitmap == m_hBitmap)
        return;
    DeleteObject();
    m_hBitmap = bitmap;
}

void CBitmap::DeleteObject() {
    if (m_hBitmap != 0) {
        Graphics().DeleteBitmap(m_hBitmap);
        m_hBitmap = 0;
    }
}

} // namespace orv
