// The record handed to the on-screen display program in one WM_COPYDATA.
#pragma once

#include <cstddef>
#include <cstdint>

namespace orv {

struct OSD_DATA {
    char16_t Text[256];     // the text to show, zero-terminated
    std::int32_t Param0;    // 0
    std::int32_t Param1;    // 1500: how long the text stays, in milliseconds
    std::int32_t Param2;    // 0
    std::uint32_t TextColor; // red in the low byte
    std::int32_t Param4;    // 40: text height in pixels
    char16_t FontName[256]; // "Arial"
};

static_assert(sizeof(OSD_DATA) == 1044, "the display program expects 1044 bytes");
static_assert(offsetof(OSD_DATA, Param0) == 512);
static_assert(offsetof(OSD_DATA, Param1) == 516);
static_assert(offsetof(OSD_DATA, Param2) == 520);
static_assert(offsetof(OSD_DATA, TextColor) == 524);
static_assert(offsetof(OSD_DATA, Param4) == 528);
static_assert(offsetof(OSD_DATA, FontName) == 532);

} // namespace orv
