// Writing the current profile into the keyboard on request of the
// configuration program, under the progress window.
#include "app/hid_wnd.h"
#include "device/key_tables.h"
#include "messaging/messages.h"
#include "platform/platform.h"

#include <algorithm>
#include <cstring>
#include <optional>

namespace orv {

namespace {

constexpr std::uint8_t kEffectSingleColor = 16;
constexpr std::uint8_t kEffectPerKeyColors = 19;

bool IsMacroFunction(std::int32_t f) {
    return f >= 512 && f <= 65535;
}

// The key code an assigned function puts into the uploaded matrix, if any.
std::optional<std::uint8_t> AssignedKeyCode(const BUTTON_INFO& key) {
    const std::int32_t f = key.FunctionCode;
    for (const DEVICE_KEY_CODE& row : g_DeviceKeyCodes) {
        if (row.FunctionCode == f)
            return row.KeyCode;
    }
    if (f == 465)
        return key.MacroData[2] != 0 ? std::optional<std::uint8_t>(key.MacroData[2]) : std::nullopt;
    if (IsMacroFunction(f) || f == 481 || f == 483 || f == 484)
        return kKeyCodeMacro;
    if (f == 466)
        return kKeyCode466;
    if (f == 467)
        return 0;
    return std::nullopt;
}

} // namespace

void CHidWnd::SetBar(int value) {
    if (m_pProgressDlg)
        m_pProgressDlg->m_ctlBar.SetPos(value);
}

void CHidWnd::ShowProgressWindow() {
    int screenWidth = 0, screenHeight = 0;
    Windows().ScreenSize(screenWidth, screenHeight);
    // A window replaced before its upload ran would stay on screen for good,
    // top-most and with nothing to close it; it goes now.
    m_pProgressDlg.reset();
    m_pProgressDlg = std::make_unique<CProgressDlg>();
    if (!m_pProgressDlg->Create(this)) {
        m_pProgressDlg.reset();
        return;
    }
    Windows().PlaceTopMost(m_pProgressDlg->GetSafeHwnd(),
                           (screenWidth - m_pProgressDlg->m_nWidth) / 2,
                           (screenHeight - m_pProgressDlg->m_nHeight) / 2);
    m_pProgressDlg->SetTitle(u"PelkStrivaneProgressbar");
    SetBar(0);
    m_pProgressDlg->ShowWindow(SW_SHOW);
}

LResult CHidWnd::OnShowProgress() {
    ShowProgressWindow();
    return 1;
}

void CHidWnd::WriteLighting(std::uint8_t slot) {
    const LIGHT_INFO& light = m_Settings.Current.Light;
    std::uint8_t effect = light.Effect;
    m_Driver.SetLightEffect(slot, light.Effect);
    Clock().Sleep(100);
    SetBar(80);
    if (effect == kEffectSingleColor) {
        m_Driver.SetLightColor(light.Color, slot);
        Clock().Sleep(200);
    }
    if (effect == kEffectPerKeyColors)
        WriteKeyColors(slot);
}

LResult CHidWnd::OnUploadSlot(WParam wParam) {
    auto slot = static_cast<std::uint8_t>(wParam & 0xFF);
    ShowProgressWindow();
    SetBar(20);
    ReloadAll();
    m_Driver.SetDeviceSlot(slot);
    SetBar(50);
    WriteLighting(slot);
    SetBar(100);
    FinishUpload();
    return 1;
}

LResult CHidWnd::OnUpload(WParam wParam, LParam lParam) {
    ReloadAll();
    SetBar(20);
    std::uint8_t slot = m_Settings.Profile;
    if (lParam != 0) {
        m_Driver.SendCommand0F();
        SetBar(40);
    }
    if (slot != 0) {
        WriteKeyAssignments(slot, m_Settings.Current);
        Clock().Sleep(200);
        SetBar(50);
    }
    SetBar(60);
    if (wParam != 0 || lParam != 0) {
        m_Driver.SetDeviceSlot(slot);
        SetBar(70);
        WriteLighting(slot);
    }
    SetBar(90);
    m_Driver.SetDeviceSlot(slot);
    SetBar(100);
    FinishUpload();
    return 1;
}

void CHidWnd::FinishUpload() {
    WndHandle loading = Windows().FindTopLevel(nullptr, kLoadingWindowTitle);
    if (loading != kNoWindow)
        Windows().PostMsg(loading, WM_HID_UPLOAD, 0, 0);
    if (m_pProgressDlg) {
        // Hidden first, so it never flickers; then freed, so that many
        // uploads leave nothing behind.
        m_pProgressDlg->ShowWindow(SW_HIDE);
        m_pProgressDlg.reset();
    }
}

void CHidWnd::WriteKeyAssignments(std::uint8_t slot, const PROFILE_DATA& profile) {
    std::uint8_t matrix[kMatrixSize];
    std::memcpy(matrix, g_DefaultKeyMatrix, sizeof matrix);
    SetBar(20);

    for (int i = 0; i < kKeyCount; ++i) {
        const BUTTON_INFO& key = profile.Buttons[i];
        if (!IsMacroFunction(key.FunctionCode))
            continue;
        std::uint8_t block[kMacroBlockSize];
        block[0] = key.MacroHeader0;
        block[1] = key.MacroHeader1;
        std::memcpy(block + 2, key.MacroData, sizeof key.MacroData);
        m_Driver.WriteMacro(slot, block, g_KeyPositions[i]);
        Clock().Sleep(100);
    }
    SetBar(40);

    for (int i = 0; i < kKeyCount; ++i) {
        const BUTTON_INFO& key = profile.Buttons[i];
        int position = g_KeyPositions[i];
        if (position >= kMatrixSize)
            continue;
        if (key.AssignKind == 2) {
            if (std::optional<std::uint8_t> code = AssignedKeyCode(key))
                matrix[position] = *code;
        } else if (key.AssignKind == 1) {
            matrix[position] = 0;
        }
    }
    SetBar(50);
    m_Driver.WriteKeyMatrix(slot, matrix);
    SetBar(70);
}

void CHidWnd::WriteKeyColors(std::uint8_t slot) {
    const LIGHT_DATA& colors = m_Settings.Current.Colors[0];
    for (int i = 0; i < kKeyCount; ++i) {
        if (g_KeyPositions[i] != 0)
            m_Driver.SetKeyColor(colors.KeyColor[i], slot, g_KeyPositions[i]);
    }
    // The cells without a key are sent black: the first column, then the gaps.
    for (int entry = kFirstColumnStart; entry < kKeyPositionEntries; ++entry)
        m_Driver.SetKeyColor(0, slot, g_KeyPositions[entry]);
}

} // namespace orv
