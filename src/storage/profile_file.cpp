#include "storage/profile_file.h"

#include "base/wstr.h"
#include "storage/ini_file.h"
#include "storage/paths.h"

#include <algorithm>
#include <cstring>
#include <memory>

namespace orv {

namespace {

constexpr char16_t kNameKey[] = u"CurrentProfileName";
constexpr int kButtonsPerPart = 10;
constexpr int kButtonParts = 12; // eleven parts of ten keys, then key 110 alone

// Twelve fixed names rather than a format: the configuration program knows
// them by these spellings.
constexpr const char16_t* kButtonPartKeys[kButtonParts] = {
    u"BUTTON_INFO_PART1", u"BUTTON_INFO_PART2",  u"BUTTON_INFO_PART3",  u"BUTTON_INFO_PART4",
    u"BUTTON_INFO_PART5", u"BUTTON_INFO_PART6",  u"BUTTON_INFO_PART7",  u"BUTTON_INFO_PART8",
    u"BUTTON_INFO_PART9", u"BUTTON_INFO_PART10", u"BUTTON_INFO_PART11", u"BUTTON_INFO_PART12",
};

std::size_t ButtonPartCount(int part) {
    int first = part * kButtonsPerPart;
    return static_cast<std::size_t>(std::min(kButtonsPerPart, kKeyCount - first));
}

std::u16string LinkKey(int i) {
    return FormatW(u"LinkExe%d", i);
}
std::u16string ColorSetKey(int i) {
    return FormatW(u"LIGHT_DATA_%d", i);
}

void ReadLinks(CIniSession& ini, LINK_EXE_TABLE& links) {
    std::memset(links, 0, sizeof links);
    for (int i = 0; i < kLinkExeCount; ++i)
        SetFieldText(links[i], ini.ReadString(kProfileGroup, LinkKey(i), u""));
}

void ReadProfile(CIniSession& ini, PROFILE_DATA& profile) {
    ReadLinks(ini, profile.LinkExe);
    profile.Light.Effect = 0;
    profile.Light.EffectOption = 0;
    profile.Light.EffectLevel = 0;
    profile.Light.EffectParam = 0;
    ini.ReadStruct(kProfileGroup, u"LIGHT_INFO", &profile.Light, sizeof profile.Light);
    for (int i = 0; i < kColorSetCount; ++i)
        ini.ReadStruct(kProfileGroup, ColorSetKey(i), &profile.Colors[i], sizeof profile.Colors[i]);
    for (int part = 0; part < kButtonParts; ++part)
        ini.ReadStruct(kProfileGroup, kButtonPartKeys[part],
                       &profile.Buttons[static_cast<std::size_t>(part) * kButtonsPerPart],
                       ButtonPartCount(part) * sizeof(BUTTON_INFO));
}

} // namespace

std::u16string ProfileFilePath(std::u16string_view name, std::u16string_view folder) {
    std::u16string path = folder.empty() ? std::u16string(FieldText(g_szDataDir)) + u"Profiles\\"
                                         : std::u16string(folder);
    path += name;
    path += u".ini";
    return path;
}

void LoadProfileFile(std::u16string_view name, PROFILE_DATA& profile, std::u16string_view folder) {
    CIniSession ini{CIniFile(ProfileFilePath(name, folder))};
    ini.WriteString(kProfileGroup, kNameKey, name);
    ini.Commit();
    ReadProfile(ini, profile);
}

void ReadProfileFile(std::u16string_view name, PROFILE_DATA& profile, std::u16string_view folder) {
    CIniSession ini{CIniFile(ProfileFilePath(name, folder))};
    ReadProfile(ini, profile);
}

void SaveProfileFile(std::u16string_view name, const PROFILE_DATA& profile,
                     std::u16string_view folder) {
    CIniSession ini{CIniFile(ProfileFilePath(name, folder))};
    ini.WriteString(kProfileGroup, kNameKey, name);
    for (int i = 0; i < kLinkExeCount; ++i)
        ini.WriteString(kProfileGroup, LinkKey(i), FieldText(profile.LinkExe[i]));
    ini.WriteStruct(kProfileGroup, u"LIGHT_INFO", &profile.Light, sizeof profile.Light);
    for (int i = 0; i < kColorSetCount; ++i)
        ini.WriteStruct(kProfileGroup, ColorSetKey(i), &profile.Colors[i],
                        sizeof profile.Colors[i]);
    for (int part = 0; part < kButtonParts; ++part)
        ini.WriteStruct(kProfileGroup, kButtonPartKeys[part],
                        &profile.Buttons[static_cast<std::size_t>(part) * kButtonsPerPart],
                        ButtonPartCount(part) * sizeof(BUTTON_INFO));
    ini.Commit();
}

std::u16string ProfileFileFault(std::string_view bytes) {
    const ini::Document doc = ini::Document::Parse(bytes);
    auto record = std::make_unique<PROFILE_DATA>();
    auto check = [&](std::u16string_view key, void* data, std::size_t size) -> std::u16string {
        auto value = doc.Find(kProfileGroup, key);
        if (!value)
            return std::u16string(key) + u" is missing";
        if (!ini::DecodeStruct(*value, data, size))
            return std::u16string(key) + u" is malformed";
        return {};
    };
    bool group = false;
    for (const auto& [section, key] : doc.Keys())
        group = group || EqualsNoCase(section, kProfileGroup);
    if (!group)
        return u"it has no section GROUP";
    std::u16string fault = check(u"LIGHT_INFO", &record->Light, sizeof record->Light);
    for (int i = 0; i < kColorSetCount && fault.empty(); ++i)
        fault = check(ColorSetKey(i), &record->Colors[i], sizeof record->Colors[i]);
    for (int part = 0; part < kButtonParts && fault.empty(); ++part)
        fault = check(kButtonPartKeys[part],
                      &record->Buttons[static_cast<std::size_t>(part) * kButtonsPerPart],
                      ButtonPartCount(part) * sizeof(BUTTON_INFO));
    return fault;
}

void LoadLinkTable(std::u16string_view name, std::u16string_view folder, LINK_EXE_TABLE& links) {
    CIniSession ini{CIniFile(ProfileFilePath(name, folder))};
    ReadLinks(ini, links);
}

} // namespace orv
