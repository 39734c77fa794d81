// The records the service keeps between runs: settings, the profile list and
// the profile of the active slot, plus the programs linked to every slot.
//
// BUTTON_INFO, LIGHT_INFO and LIGHT_DATA are written to the profile files
// byte for byte and read by the configuration program, so their layouts are
// a file format: fixed offsets, little-endian numbers, and every byte the
// service does not interpret is carried through unchanged.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace orv {

constexpr int kSlotCount = 6;           // device slots 0..5
constexpr int kKeyCount = 111;          // key indexes 0..110
constexpr int kLinkExeCount = 5;        // linked programs per profile
constexpr int kColorSetCount = 5;       // named per-key colour sets per profile
constexpr std::size_t kTextChars = 260; // path and name fields, terminator included
constexpr std::size_t kLaunchPathChars = 570;
constexpr std::size_t kLightNameChars = 50;

// BUTTON_INFO::AssignKind.
constexpr std::uint8_t kAssignBuiltIn = 0;
constexpr std::uint8_t kAssignDisabled = 1;
constexpr std::uint8_t kAssignFunction = 2;

// One key assignment.
struct BUTTON_INFO {
    std::uint8_t AssignKind; // 0 built-in, 1 disabled, 2 carries FunctionCode
    std::uint8_t Reserved1[3];
    std::int32_t FunctionCode;
    char16_t LaunchPath[kLaunchPathChars]; // bytes after the terminator are kept as is
    std::uint8_t MacroHeader1;
    std::uint8_t MacroHeader0;
    std::uint8_t Reserved2;
    std::uint8_t MacroData[240];
    std::uint8_t Reserved3;
};

// The lighting of a profile.
struct LIGHT_INFO {
    std::uint8_t Effect;       // 0..20
    std::uint8_t EffectOption; // 0..2
    std::uint8_t EffectLevel;  // 1..5
    std::uint8_t EffectParam;  // 0..5
    std::uint8_t Reserved1[4];
    std::uint32_t Color; // 0..0xFFFFFF, red in the low byte
    std::uint8_t Reserved2[12];
};

// One named per-key colour set.
struct LIGHT_DATA {
    char16_t LightName[kLightNameChars];
    std::uint32_t KeyColor[kKeyCount];
};

static_assert(sizeof(BUTTON_INFO) == 1392);
static_assert(offsetof(BUTTON_INFO, FunctionCode) == 4);
static_assert(offsetof(BUTTON_INFO, LaunchPath) == 8);
static_assert(offsetof(BUTTON_INFO, MacroHeader1) == 1148);
static_assert(offsetof(BUTTON_INFO, MacroHeader0) == 1149);
static_assert(offsetof(BUTTON_INFO, Reserved2) == 1150);
static_assert(offsetof(BUTTON_INFO, MacroData) == 1151);
static_assert(offsetof(BUTTON_INFO, Reserved3) == 1391);
static_assert(sizeof(LIGHT_INFO) == 24);
static_assert(offsetof(LIGHT_INFO, EffectParam) == 3);
static_assert(offsetof(LIGHT_INFO, Color) == 8);
static_assert(offsetof(LIGHT_INFO, Reserved2) == 12);
static_assert(sizeof(LIGHT_DATA) == 544);
static_assert(offsetof(LIGHT_DATA, KeyColor) == 100);

// The five linked programs of one profile, and those of all six slots.
using LINK_EXE_TABLE = char16_t[kLinkExeCount][kTextChars];
using SLOT_LINK_EXE = LINK_EXE_TABLE[kSlotCount];

struct PROFILE_LIST_ITEM {
    std::int32_t ProfileID; // number n of the list section "MyXlistIconInfo<n>"
    char16_t ProfileName[kTextChars];
    char16_t ProfileIconName[kTextChars];
    std::int32_t ProfileColor;
};

struct PROFILE_DATA {
    LINK_EXE_TABLE LinkExe;
    BUTTON_INFO Buttons[kKeyCount];
    LIGHT_INFO Light;
    LIGHT_DATA Colors[kColorSetCount];
};

struct SETTING_INFO {
    std::uint8_t Plug;
    std::uint8_t Profile;  // active device slot, 0..5
    std::uint8_t Language; // 101..107
    std::int32_t UI_Autorun;
    std::uint8_t OSD_Color; // 0..2
    std::int32_t OSD_Profile;
    std::int32_t OSD_Effect;
    std::uint8_t PollingRate; // 0..3
    std::uint8_t KeyMode;     // 0..1
    std::uint8_t SyncMode;    // 0..1
    PROFILE_LIST_ITEM ProfileList[kSlotCount];
    PROFILE_DATA Current;
};

// Puts text into a fixed field: cut to cap - 1 units (never between the two
// halves of a surrogate pair), terminated, the rest of the field zero.
void SetFieldText(char16_t* field, std::size_t cap, std::u16string_view text);
template <std::size_t N> void SetFieldText(char16_t (&field)[N], std::u16string_view text) {
    SetFieldText(field, N, text);
}

// Every setting to its reset state, the list entries named "Profile 0" to
// "Profile 5", and Current empty but valid.
void ResetSettings(SETTING_INFO& settings);

// Brings every setting into its range, then repairs Current for slot Profile.
void ValidateSettings(SETTING_INFO& settings);

// Current to all zero, then repaired: EffectLevel 5 and named colour sets.
void ClearProfile(SETTING_INFO& settings);

// Gives a profile the defaults of a device slot. With force the whole record
// is rebuilt; without it only what is out of range or unnamed is repaired.
void ResetProfileDefaults(PROFILE_DATA& profile, bool force, int slot);

// Repairs Current after it was read from a profile file.
void ValidateProfile(SETTING_INFO& settings);

} // namespace orv
