// Writing the current profile into the keyboard: what goes into the key
// matrix and the macro blocks, and the order and pauses of an upload.
#include "device/upload.h"

#include "platform/platform.h"

#include <cstring>

namespace orv {

namespace {

void Report(const UploadProgress& progress, int value) {
    if (progress)
        progress(value);
}

} // namespace

bool IsMacroFunction(std::int32_t function) {
    return function >= kFirstMacroFunction && function <= kLastMacroFunction;
}

std::optional<std::uint8_t> AssignedKeyCode(const BUTTON_INFO& key) {
    const std::int32_t f = key.FunctionCode;
    for (const DEVICE_KEY_CODE& row : g_DeviceKeyCodes) {
        if (row.FunctionCode == f)
            return row.KeyCode;
    }
    if (f == kFunctionKeyInMacroData) {
        const std::uint8_t code = key.MacroData[kMacroDataKeyCodeByte];
        return code != 0 ? std::optional<std::uint8_t>(code) : std::nullopt;
    }
    if (IsMacroFunction(f) || f == kFunctionMacroCoded481 || f == kFunctionMacroCoded483 ||
        f == kFunctionMacroCoded484)
        return kKeyCodeMacro;
    if (f == kFunctionKeyCodeE8)
        return kKeyCodeE8;
    if (f == kFunctionNoKeyCode)
        return 0;
    return std::nullopt;
}

void BuildKeyMatrix(const PROFILE_DATA& profile, std::uint8_t (&matrix)[kMatrixSize]) {
    std::memcpy(matrix, g_DefaultKeyMatrix, sizeof matrix);
    for (int i = 0; i < kKeyCount; ++i) {
        const BUTTON_INFO& key = profile.Buttons[i];
        const int position = g_KeyPositions[i];
        if (position >= kMatrixSize)
            continue;
        if (key.AssignKind == kAssignFunction) {
            if (std::optional<std::uint8_t> code = AssignedKeyCode(key))
                matrix[position] = *code;
        } else if (key.AssignKind == kAssignDisabled) {
            matrix[position] = 0;
        }
    }
}

void BuildMacroBlock(const BUTTON_INFO& key, std::uint8_t (&block)[kMacroBlockSize]) {
    block[0] = key.MacroHeader0;
    block[1] = key.MacroHeader1;
    std::memcpy(block + 2, key.MacroData, sizeof key.MacroData);
}

void WriteKeyAssignments(CUSBDriver& driver, std::uint8_t slot, const PROFILE_DATA& profile,
                         const UploadProgress& progress) {
    Report(progress, 20);
    for (int i = 0; i < kKeyCount; ++i) {
        const BUTTON_INFO& key = profile.Buttons[i];
        if (!IsMacroFunction(key.FunctionCode))
            continue;
        std::uint8_t block[kMacroBlockSize];
        BuildMacroBlock(key, block);
        driver.WriteMacro(slot, block, g_KeyPositions[i]);
        Clock().Sleep(kPauseAfterMacro);
    }
    Report(progress, 40);

    std::uint8_t matrix[kMatrixSize];
    BuildKeyMatrix(profile, matrix);
    Report(progress, 50);
    driver.WriteKeyMatrix(slot, matrix);
    Report(progress, 70);
}

void WriteKeyColors(CUSBDriver& driver, std::uint8_t slot, const LIGHT_DATA& colors) {
    for (int i = 0; i < kKeyCount; ++i) {
        if (g_KeyPositions[i] != 0)
            driver.SetKeyColor(colors.KeyColor[i], slot, g_KeyPositions[i]);
    }
    // The cells without a key are sent black: the first column, then the gaps.
    for (int entry = kFirstColumnStart; entry < kKeyPositionEntries; ++entry)
        driver.SetKeyColor(0, slot, g_KeyPositions[entry]);
}

void WriteLighting(CUSBDriver& driver, std::uint8_t slot, const PROFILE_DATA& profile,
                   const UploadProgress& progress) {
    const LIGHT_INFO& light = profile.Light;
    const std::uint8_t effect = light.Effect;
    driver.SetLightEffect(slot, light.Effect);
    Clock().Sleep(kPauseAfterEffect);
    Report(progress, 80);
    if (effect == kEffectSingleColor) {
        driver.SetLightColor(light.Color, slot);
        Clock().Sleep(kPauseAfterEffectColor);
    }
    if (effect == kEffectPerKeyColors)
        WriteKeyColors(driver, slot, profile.Colors[0]);
}

void UploadProfile(CUSBDriver& driver, std::uint8_t slot, const PROFILE_DATA& profile,
                   UploadRequest request, const UploadProgress& progress) {
    if (request.prepare) {
        driver.SendCommand0F();
        Report(progress, 40);
    }
    if (slot != 0) {
        WriteKeyAssignments(driver, slot, profile, progress);
        Clock().Sleep(kPauseAfterKeyAssignments);
        Report(progress, 50);
    }
    Report(progress, 60);
    if (request.lighting || request.prepare) {
        driver.SetDeviceSlot(slot);
        Report(progress, 70);
        WriteLighting(driver, slot, profile, progress);
    }
    Report(progress, 90);
    driver.SetDeviceSlot(slot);
    Report(progress, 100);
}

void UploadSlotLighting(CUSBDriver& driver, std::uint8_t slot, const PROFILE_DATA& profile,
                        const UploadProgress& progress) {
    driver.SetDeviceSlot(slot);
    Report(progress, 50);
    WriteLighting(driver, slot, profile, progress);
    Report(progress, 100);
}

} // namespace orv
