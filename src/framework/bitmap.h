// A bitmap owned by one object: deleted when replaced or destroyed.
#pragma once

#include "platform/graphics.h"

namespace orv {

class CBitmap {
public:
    CBitmap() = default;
    ~CBitmap() { DeleteObject(); }
    CBitmap(const CBitmap&) = delete;
    CBitmap& operator=(const CBitmap&) = delete;

    // Takes ownership of `bitmap`, deleting the one held before.
    void Attach(BitmapHandle bitmap);
    void DeleteObject();
    BitmapHandle Handle() const { return m_hBitmap; }
    bool Empty() const { return m_hBitmap == 0; }

private:
    BitmapHandle m_hBitmap = 0;
};

} // namespace orv
