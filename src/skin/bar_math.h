// The arithmetic of the skinned bar: how far it is filled and where the
// pointer puts it. Integer arithmetic, divisions truncating toward zero.
#pragma once

namespace orv {

// Pixels filled for `pos` in [min, max] on a bar `width` pixels wide.
inline int FillWidth(int pos, int min, int max, int width) {
    return static_cast<int>(static_cast<long long>(pos - min) * width / (max - min));
}

// A value inside the range stays; anything outside falls back to the minimum
// (not to the nearer end).
inline int PositionOrMinimum(int value, int min, int max) {
    return value >= min && value <= max ? value : min;
}

// The position for a pointer at `x` (parent client coordinates) over a bar
// spanning [left, right).
inline int PositionFromPointer(int x, int left, int right, int min, int max) {
    if (x < left)
        x = left;
    long long pos = min + static_cast<long long>(max - min) * (x - left) / (right - left);
    if (pos < min)
        pos = min;
    if (pos > max)
        pos = max;
    return static_cast<int>(pos);
}

} // namespace orv
