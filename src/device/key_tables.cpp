#include "device/key_tables.h"

namespace orv {

namespace {
constexpr std::uint8_t Pos(int row, int column) {
    return static_cast<std::uint8_t>(row * kMatrixColumns + column);
}
} // namespace

// clang-format off
const std::uint8_t g_KeyPositions[kKeyPositionEntries] = {
    // Row 0: keys 0..15.
    Pos(0, 1), Pos(0, 3), Pos(0, 4), Pos(0, 5), Pos(0, 6), Pos(0, 7), Pos(0, 8), Pos(0, 9),
    Pos(0, 10), Pos(0, 11), Pos(0, 12), Pos(0, 13), Pos(0, 15), Pos(0, 16), Pos(0, 17), Pos(0, 18),
    // Row 1: keys 16..36.
    Pos(1, 1), Pos(1, 2), Pos(1, 3), Pos(1, 4), Pos(1, 5), Pos(1, 6), Pos(1, 7), Pos(1, 8),
    Pos(1, 9), Pos(1, 10), Pos(1, 11), Pos(1, 12), Pos(1, 13), Pos(1, 15), Pos(1, 16), Pos(1, 17),
    Pos(1, 18), Pos(1, 19), Pos(1, 20), Pos(1, 21), Pos(1, 22),
    // Row 2: keys 37..57.
    Pos(2, 1), Pos(2, 2), Pos(2, 3), Pos(2, 4), Pos(2, 5), Pos(2, 6), Pos(2, 7), Pos(2, 8),
    Pos(2, 9), Pos(2, 10), Pos(2, 11), Pos(2, 12), Pos(2, 13), Pos(2, 15), Pos(2, 16), Pos(2, 17),
    Pos(2, 18), Pos(2, 19), Pos(2, 20), Pos(2, 21), Pos(2, 22),
    // Row 3: keys 58..73.
    Pos(3, 1), Pos(3, 2), Pos(3, 3), Pos(3, 4), Pos(3, 5), Pos(3, 6), Pos(3, 7), Pos(3, 8),
    Pos(3, 9), Pos(3, 10), Pos(3, 11), Pos(3, 12), Pos(3, 15), Pos(3, 19), Pos(3, 20), Pos(3, 21),
    // Row 4: keys 74..90.
    Pos(4, 1), Pos(4, 3), Pos(4, 4), Pos(4, 5), Pos(4, 6), Pos(4, 7), Pos(4, 8), Pos(4, 9),
    Pos(4, 10), Pos(4, 11), Pos(4, 12), Pos(4, 15), Pos(4, 17), Pos(4, 19), Pos(4, 20), Pos(4, 21),
    Pos(4, 22),
    // Row 5: keys 91..103.
    Pos(5, 1), Pos(5, 2), Pos(5, 3), Pos(5, 6), Pos(5, 9), Pos(5, 10), Pos(5, 11), Pos(5, 13),
    Pos(5, 16), Pos(5, 17), Pos(5, 18), Pos(5, 19), Pos(5, 21),
    // Keys 104..110, spread over the rows.
    Pos(3, 13), Pos(4, 2), Pos(4, 13), Pos(3, 22), Pos(1, 14), Pos(4, 16), Pos(0, 0),
    // First column of every row.
    0, 23, 46, 69, 92, 115,
    // Gap cells.
    2, 19, 20, 21, 22, 60, 83, 85, 86, 87, 106, 110, 119, 120, 122, 123, 127, 129, 130, 135, 137,
};

const std::uint8_t g_DefaultKeyMatrix[kMatrixSize] = {
    // Row 0
    0x00, 0x29, 0x00, 0x3A, 0x3B, 0x3C, 0x3D, 0x3E, 0x3F, 0x40, 0x41, 0x42, 0x43, 0x44, 0x00, 0x45,
    0x46, 0x47, 0x48, 0x00, 0x00, 0x00, 0x00,
    // Row 1
    0x00, 0x35, 0x1E, 0x1F, 0x20, 0x21, 0x22, 0x23, 0x24, 0x25, 0x26, 0x27, 0x2D, 0x2E, 0x00, 0x2A,
    0x49, 0x4A, 0x4B, 0x53, 0x54, 0x55, 0x56,
    // Row 2
    0x00, 0x2B, 0x14, 0x1A, 0x08, 0x15, 0x17, 0x1C, 0x18, 0x0C, 0x12, 0x13, 0x2F, 0x30, 0x00, 0x31,
    0x4C, 0x4D, 0x4E, 0x5F, 0x60, 0x61, 0x57,
    // Row 3
    0x00, 0x39, 0x04, 0x16, 0x07, 0x09, 0x0A, 0x0B, 0x0D, 0x0E, 0x0F, 0x33, 0x34, 0x32, 0x00, 0x28,
    0x00, 0x00, 0x00, 0x5C, 0x5D, 0x5E, 0x85,
    // Row 4
    0x00, 0xE1, 0x64, 0x1D, 0x1B, 0x06, 0x19, 0x05, 0x11, 0x10, 0x36, 0x37, 0x38, 0x87, 0x00, 0xE5,
    0x00, 0x52, 0x00, 0x59, 0x5A, 0x5B, 0x58,
    // Row 5
    0x00, 0xE0, 0xE3, 0xE2, 0x00, 0x00, 0x2C, 0x00, 0x00, 0xE6, 0xAC, 0x65, 0x00, 0xE4, 0x00, 0x00,
    0x50, 0x51, 0x4F, 0x62, 0x00, 0x63, 0x00,
};

const DEVICE_KEY_CODE g_DeviceKeyCodes[kDeviceKeyCodeRows] = {
    {261, 0xF7}, {262, 0xF8}, {260, 0xF9}, {289, 0xC7}, {290, 0xC7}, {291, 0xC7}, {321, 0xC4},
    {322, 0xC5}, {323, 0xC6}, {353, 0xC4}, {354, 0xC5}, {355, 0xC6}, {384, 0xFE}, {223, 0xDF},
    {219, 0xDB}, {417, 0xCE}, {418, 0xCF}, {420, 0xD5}, {419, 0xD0}, {423, 0xD2}, {424, 0xD1},
    {421, 0xD3}, {422, 0xD4}, {452, 0xA7}, {455, 0xA5}, {453, 0xA6}, {454, 0xA8}, {449, 0xAB},
    {450, 0xAA}, {451, 0xA9}, {482, 0xDD},
};
// clang-format on

int FindKeyIndex(int position) {
    for (int i = 0; i < kKeyCount; ++i) {
        if (g_KeyPositions[i] == position)
            return i;
    }
    return kNoKeyIndex;
}

} // namespace orv
