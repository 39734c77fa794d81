// The keyboard's key matrix: where each key sits, the key code each position
// produces by default, and the key codes that stand for key functions.
#pragma once

#include "storage/profile_data.h"

#include <cstdint>

namespace orv {

constexpr int kMatrixRows = 6;
constexpr int kMatrixColumns = 23;
constexpr int kMatrixSize = kMatrixRows * kMatrixColumns; // 138 positions

// g_KeyPositions: entries 0..110 are the matrix positions of the keys (key
// index 110 sits at position 0). The entries after them name positions that
// carry no key and are only ever sent colour 0: the first column of each row,
// then the gap cells.
constexpr int kFirstColumnEntries = 6;
constexpr int kGapEntries = 21;
constexpr int kFirstColumnStart = kKeyCount;
constexpr int kGapStart = kFirstColumnStart + kFirstColumnEntries;
constexpr int kKeyPositionEntries = kGapStart + kGapEntries; // 138
extern const std::uint8_t g_KeyPositions[kKeyPositionEntries];

// The key code (a USB HID keyboard usage id, or 0 for none) of every position,
// in position order.
extern const std::uint8_t g_DefaultKeyMatrix[kMatrixSize];

struct DEVICE_KEY_CODE {
    std::int32_t FunctionCode;
    std::uint8_t KeyCode;
};
constexpr int kDeviceKeyCodeRows = 31;
// Uploads take the first row of a function code; key reports are traced back
// through the last row of a key code (several functions share one code).
extern const DEVICE_KEY_CODE g_DeviceKeyCodes[kDeviceKeyCodeRows];

// Key codes used in the uploaded matrix besides the table above.
constexpr std::uint8_t kKeyCodeMacro = 0xCD;
constexpr std::uint8_t kKeyCodeE8 = 0xE8;

// Function codes the upload treats apart from the table above.
constexpr std::int32_t kFirstMacroFunction = 512; // 512..65535: a macro of its own
constexpr std::int32_t kLastMacroFunction = 65535;
constexpr std::int32_t kFunctionKeyInMacroData = 465; // the key code is MacroData's third byte
constexpr int kMacroDataKeyCodeByte = 2;
constexpr std::int32_t kFunctionKeyCodeE8 = 466;     // gets kKeyCodeE8
constexpr std::int32_t kFunctionNoKeyCode = 467;     // gets 0
constexpr std::int32_t kFunctionMacroCoded481 = 481; // these three get kKeyCodeMacro
constexpr std::int32_t kFunctionMacroCoded483 = 483;
constexpr std::int32_t kFunctionMacroCoded484 = 484;
// The first key index (0..110) at a matrix position, or kNoKeyIndex.
constexpr int kNoKeyIndex = 0xFF;
int FindKeyIndex(int position);

// Key reports with this code (row 5, column 10 by default) are dropped.
constexpr std::uint8_t kKeyCodeIgnored = 0xAC;

} // namespace orv
