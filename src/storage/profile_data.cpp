#include "storage/profile_data.h"

#include "base/wstr.h"

#include <cstring>
#include <string_view>

namespace orv {

namespace {

struct SlotLighting {
    std::uint8_t effect;
    std::uint8_t option;
    std::uint32_t color;
};

constexpr SlotLighting kSlotLighting[kSlotCount] = {
    {5, 1, 0xFFFFFF}, {6, 1, 0x0000FF}, {6, 0, 0xFF0000},
    {6, 1, 0x00FF00}, {6, 1, 0x00FFFF}, {6, 1, 0xFF00FF},
};

// Per-key colour presets, one palette code per key index; '-' leaves the key
// as it is. Slots 0 and 1 have none.
constexpr std::string_view kSlotPresets[kSlotCount] = {
    {},
    {},
    "0444440040"
    "0000000444"
    "4000000000"
    "0000000444"
    "4400000000"
    "0000000000"
    "0000000000"
    "0000044444"
    "4000000000"
    "0000000000"
    "000000111-"
    "-",
    "5555555555"
    "5555555666"
    "0665555555"
    "5555555666"
    "6655555655"
    "5555555555"
    "6666555555"
    "6555555666"
    "5555555555"
    "5555655555"
    "555555555-"
    "-",
    "8888787787"
    "7777777777"
    "7777777777"
    "7777777880"
    "8787777777"
    "7777777770"
    "0077777777"
    "7777777777"
    "7777877777"
    "7777877777"
    "777777777-"
    "-",
    "9900000000"
    "0009999AA9"
    "999999999A"
    "9999999AA0"
    "AAA999AA99"
    "9999999990"
    "00A9-9999A"
    "99999AAAA9"
    "9A99999999"
    "9099099909"
    "999999999-"
    "-",
};

constexpr bool PresetsCoverEveryKey() {
    for (std::string_view preset : kSlotPresets)
        if (!preset.empty() && preset.size() != kKeyCount)
            return false;
    return true;
}
static_assert(PresetsCoverEveryKey());

// The colour of a palette code; false for '-' (key left unchanged).
bool PaletteColor(char code, std::uint32_t& color) {
    switch (code) {
    case '0':
        color = 0xFFFFFF;
        return true;
    case '1':
        color = 0x0000FF;
        return true;
    case '4':
        color = 0x00FF00;
        return true;
    case '5':
        color = 0x00D7FF;
        return true;
    case '6':
        color = 0xEEE471;
        return true;
    case '7':
        color = 0x34FF00;
        return true;
    case '8':
        color = 0x19668D;
        return true;
    case '9':
        color = 0x0066FF;
        return true;
    case 'A':
        color = 0xFFDD00;
        return true;
    default:
        return false;
    }
}

void ApplyPreset(LIGHT_DATA& set, int slot) {
    if (slot < 0 || slot >= kSlotCount)
        return;
    std::string_view preset = kSlotPresets[slot];
    for (std::size_t key = 0; key < preset.size(); ++key) {
        std::uint32_t color;
        if (PaletteColor(preset[key], color))
            set.KeyColor[key] = color;
    }
}

void ResetColorSet(LIGHT_DATA& set, int index) {
    std::memset(set.LightName, 0, sizeof set.LightName);
    CopyToField(set.LightName, index == 0 ? u"DEFAULT" : u"NEW");
    std::memset(set.KeyColor, 0, sizeof set.KeyColor);
}

bool Unnamed(const LIGHT_DATA& set) {
    return set.LightName[0] == 0;
}

} // namespace

void SetFieldText(char16_t* field, std::size_t cap, std::u16string_view text) {
    if (cap == 0)
        return;
    std::size_t n = text.size() < cap - 1 ? text.size() : cap - 1;
    if (n < text.size() && n > 0 && text[n - 1] >= 0xD800 && text[n - 1] <= 0xDBFF)
        --n;
    std::memset(field, 0, cap * sizeof(char16_t));
    std::memcpy(field, text.data(), n * sizeof(char16_t));
}

void ResetProfileDefaults(PROFILE_DATA& profile, bool force, int slot) {
    const SlotLighting& lighting = kSlotLighting[slot >= 0 && slot < kSlotCount ? slot : 0];
    if (force)
        std::memset(&profile, 0, sizeof profile);
    LIGHT_INFO& light = profile.Light;
    if (force || light.Effect > 20)
        light.Effect = lighting.effect;
    if (force || light.EffectOption > 2)
        light.EffectOption = lighting.option;
    if (force || light.EffectLevel < 1 || light.EffectLevel > 5)
        light.EffectLevel = 5;
    if (force || light.EffectParam > 5)
        light.EffectParam = 0;
    if (force || light.Color > 0xFFFFFF)
        light.Color = lighting.color;
    // The preset belongs to colour set 0 and is only laid down when that set
    // is rebuilt; a set the user has named keeps its own colours.
    for (int s = 0; s < kColorSetCount; ++s) {
        if (force || Unnamed(profile.Colors[s])) {
            ResetColorSet(profile.Colors[s], s);
            if (s == 0)
                ApplyPreset(profile.Colors[0], slot);
        }
    }
}

void ValidateProfile(SETTING_INFO& settings) {
    LIGHT_INFO& light = settings.Current.Light;
    if (light.Effect > 20)
        light.Effect = 5;
    if (light.EffectOption > 2)
        light.EffectOption = 1;
    if (light.EffectLevel < 1 || light.EffectLevel > 5)
        light.EffectLevel = 5;
    if (light.EffectParam > 5)
        light.EffectParam = 0;
    if (light.Color > 0xFFFFFF)
        light.Color = 0xFFFFFF;
    for (int s = 0; s < kColorSetCount; ++s)
        if (Unnamed(settings.Current.Colors[s]))
            ResetColorSet(settings.Current.Colors[s], s);
}

void ClearProfile(SETTING_INFO& settings) {
    std::memset(&settings.Current, 0, sizeof settings.Current);
    ValidateProfile(settings);
}

void ValidateSettings(SETTING_INFO& settings) {
    if (settings.Profile > 5)
        settings.Profile = 1;
    if (settings.Language < 101 || settings.Language > 107)
        settings.Language = 101;
    if (settings.UI_Autorun < 0 || settings.UI_Autorun > 1)
        settings.UI_Autorun = 1;
    if (settings.OSD_Color > 2)
        settings.OSD_Color = 0;
    if (settings.OSD_Profile < 0 || settings.OSD_Profile > 1)
        settings.OSD_Profile = 1;
    if (settings.OSD_Effect < 0 || settings.OSD_Effect > 1)
        settings.OSD_Effect = 1;
    if (settings.PollingRate > 3)
        settings.PollingRate = 3;
    if (settings.KeyMode > 1)
        settings.KeyMode = 0;
    if (settings.SyncMode > 1)
        settings.SyncMode = 0;
    ResetProfileDefaults(settings.Current, false, settings.Profile);
}

void ResetSettings(SETTING_INFO& settings) {
    std::memset(&settings, 0, sizeof settings);
    ValidateSettings(settings);
    for (int i = 0; i < kSlotCount; ++i) {
        settings.ProfileList[i].ProfileID = i;
        CopyToField(settings.ProfileList[i].ProfileName, FormatW(u"Profile %d", i));
    }
}

} // namespace orv
