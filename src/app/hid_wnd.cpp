#include "app/hid_wnd.h"

#include "base/wstr.h"
#include "messaging/foreground_watcher.h"
#include "messaging/messages.h"
#include "messaging/osd.h"
#include "platform/platform.h"
#include "storage/paths.h"
#include "storage/profile_file.h"
#include "storage/settings.h"

namespace orv {

namespace {

// Windows of the suite that are closed whenever the keyboard comes or goes.
constexpr const char16_t* kClosedOnPlugChange[] = {u"Launch_Program", u"BelmicMacro",
                                                   u"BELMIC_SingleKey_Dlg", u"ManageProfile"};

} // namespace

CHidWnd::CHidWnd() : m_Settings{}, SlotLinkExe{} {}

CHidWnd::~CHidWnd() = default;

LResult CHidWnd::WindowProc(MsgId msg, WParam wParam, LParam lParam) {
    if (msg == WM_HID_REOPEN)
        m_Driver.ReopenDevice();
    if (m_uSyncMsg != 0 && msg == m_uSyncMsg && !OnSyncMessage(wParam, lParam))
        return 1;

    switch (msg) {
    case WM_CREATE:
        return OnCreate();
    case WM_DESTROY:
        OnDestroy();
        return Default(msg, wParam, lParam);
    case WM_TIMER:
        OnTimer(wParam);
        return Default(msg, wParam, lParam);
    case WM_HID_FOREGROUND:
        m_ForegroundSettle.OnNotice();
        return 1;
    case WM_POWERBROADCAST:
        return OnPowerBroadcast(wParam, lParam);
    case WM_HID_PLUG:
        return OnPlugChanged(lParam);
    case WM_HID_RELOAD:
        ReloadAll();
        return 1;
    case WM_HID_UPLOAD:
        return OnUpload(wParam, lParam);
    case WM_HID_UPLOAD_SLOT:
        return OnUploadSlot(wParam);
    case WM_HID_SHOW_PROGRESS:
        return OnShowProgress();
    case WM_HID_KEY_EVENT:
        return OnKeyEvent(wParam, lParam);
    case WM_HID_LAUNCH:
        return OnLaunchProgram(wParam, lParam);
    case WM_HID_SET_SLOT:
        return OnSetSlot(wParam);
    case WM_HID_SET_OPTION:
        return OnSetOption(wParam, lParam);
    case WM_HID_IGNORED_669:
    case WM_HID_REOPEN:
        return 1;
    default:
        return CWnd::WindowProc(msg, wParam, lParam);
    }
}

int CHidWnd::OnCreate() {
    if (CWnd::WindowProc(WM_CREATE, 0, 0) == -1)
        return -1;
    m_uSyncMsg = Windows().RegisterMsg(kSyncMessageName);
    m_Driver.m_hNotifyWnd = m_hWnd;
    if (m_Driver.OpenDevice())
        StartTrayIconProgram();
    ReloadAll();
    // Only a data folder without a profile folder is a first start. A current
    // profile whose file is missing (a name no file can have, say) is none:
    // the defaults would go over the other slots' files at every start.
    if (!Files().Exists(std::u16string(FieldText(g_szDataDir)) + u"Profiles")) {
        WriteFirstStartProfiles();
        // Current was loaded before the defaults existed: the keyboard's next
        // lighting change would save that empty profile over them.
        SelectSlot(m_Settings.Profile, true);
    }
    return 0;
}

void CHidWnd::WriteDefaultProfiles(std::u16string_view folder, bool missingOnly) {
    auto scratch = std::make_unique<PROFILE_DATA>();
    for (int slot = 0; slot < kSlotCount; ++slot) {
        std::u16string_view name = FieldText(m_Settings.ProfileList[slot].ProfileName);
        if (missingOnly && Files().Exists(ProfileFilePath(name, folder)))
            continue;
        ResetProfileDefaults(*scratch, true, slot);
        SaveProfileFile(name, *scratch, folder);
    }
}

void CHidWnd::WriteFirstStartProfiles() {
    // The profile folder appears with the defaults in it at once: a start cut
    // short half-way leaves only the staging folder. Whatever that holds, of
    // an earlier start or of anyone else, goes before the defaults are
    // written into it again, so the profile folder receives this start's
    // files and nothing else.
    const std::u16string data(FieldText(g_szDataDir));
    const std::u16string folder = data + u"Profiles";
    const std::u16string staging = data + u"Profiles.new";
    const bool cleared = !Files().Exists(staging) || Files().RemoveFolder(staging);
    if (cleared && Files().MakeDirectory(staging)) {
        WriteDefaultProfiles(staging + u"\\", false);
        if (Files().MoveEntry(staging, folder))
            return;
        Files().RemoveFolder(staging);
    }
    // No staging folder, or the profile folder appeared meanwhile: the
    // defaults go straight in, and only where a slot has no file yet.
    EnsureDataFolder(u"\\Orvane\\Profiles\\");
    WriteDefaultProfiles({}, true);
}

void CHidWnd::ReloadAll() {
    ResetSettings(m_Settings);
    if (!SettingsFileExists())
        SaveSettings(m_Settings);
    LoadSettings(m_Settings);
    ValidateSettings(m_Settings);
    SelectSlot(m_Settings.Profile, true);
    for (int slot = 0; slot < kSlotCount; ++slot)
        LoadLinkTable(FieldText(m_Settings.ProfileList[slot].ProfileName), {}, SlotLinkExe[slot]);
    m_ForegroundSettle.SetLinked(AnyLinkedProgram(SlotLinkExe));
}

void CHidWnd::OnTimer(TimerId id) {
    // The tick, or a foreground window that has settled.
    if (id == IDT_APP_WATCH || m_ForegroundSettle.OnTimer(id)) {
        WatchForegroundApp();
    } else if (id == IDT_LAUNCH_LOCK) {
        m_bLaunchLock = false;
        KillTimer(IDT_LAUNCH_LOCK);
    } else if (id == IDT_RESUME_SETTLE) {
        KillTimer(IDT_RESUME_SETTLE);
        OnResumed();
    }
}

LResult CHidWnd::OnPowerBroadcast(WParam event, LParam data) {
    if (event != PBT_APMRESUMEAUTOMATIC && event != PBT_APMRESUMESUSPEND)
        return Default(WM_POWERBROADCAST, event, data);
    // Both events may come for one resume; the settle starts again with each,
    // so the connection is started over once, when the system has found its
    // devices again.
    SetTimer(IDT_RESUME_SETTLE, kResumeSettleMs);
    return 1; // TRUE: the event is handled
}

// A keyboard that slept may have lost its state, and the library's handles
// may have gone stale: the connection starts over as on WM_HID_REOPEN. When
// the keyboard was known before, its collections come back as the same
// records and post no plug notice, so the plug handling (version, slot) is
// asked for here; a keyboard that left during the sleep posts its own.
void CHidWnd::OnResumed() {
    const bool known = !m_Driver.m_DeviceList.empty();
    m_Driver.ReopenDevice();
    if (known && m_Driver.m_bOpened != 0)
        Windows().PostMsg(m_hWnd, WM_HID_PLUG, 0, 1);
}

LResult CHidWnd::OnPlugChanged(LParam plugged) {
    m_nSavedSlot = -1;               // a temporary switch does not survive a plug change
    std::u16string version(1, u' '); // no version known: a single space, never empty
    if (plugged != 0) {
        std::uint8_t a = 0, b = 0;
        m_Driver.GetFirmwareVersion(a, b);
        // A keyboard that could not be asked at all has no version to show.
        if (m_Driver.m_bOpened != 0)
            version = FormatW(u"%d%d", a, b);
        std::uint8_t slot = 0;
        if (m_Driver.GetDeviceSlot(slot) == kCommandDone)
            SelectSlot(m_Settings.Profile, true);
        NotifyPlugState(static_cast<int>(plugged));
        SetTimer(IDT_APP_WATCH, 2000);
        m_ForegroundSettle.Start(m_hWnd, AnyLinkedProgram(SlotLinkExe));
    } else {
        KillTimer(IDT_APP_WATCH);
        m_ForegroundSettle.Stop();
        NotifyPlugState(0);
    }
    WndHandle tray = Windows().FindTopLevel(nullptr, kTrayIconTitle);
    if (tray != kNoWindow)
        Windows().PostMsg(tray, WM_HID_PLUG, static_cast<WParam>(plugged), 0);
    SaveFirmwareVersion(version);
    WriteRegistryFirmwareVersion(version);
    m_Settings.Plug = plugged != 0 ? 1 : 0;
    SavePlugState(m_Settings.Plug);
    return 1;
}

bool CHidWnd::NotifyPlugState(int state) {
    WndHandle config = Windows().FindTopLevel(nullptr, kConfigWindowTitle);
    if (config != kNoWindow)
        Windows().PostMsg(config, WM_HID_PLUG, static_cast<WParam>(state), 0);
    for (const char16_t* title : kClosedOnPlugChange) {
        WndHandle wnd = Windows().FindTopLevel(nullptr, title);
        if (wnd != kNoWindow)
            Windows().PostMsg(wnd, WM_CLOSE, 0, 0);
    }
    return config != kNoWindow;
}

void CHidWnd::OnDestroy() {
    WndHandle osd = Windows().FindTopLevel(nullptr, kOsdWindowTitle);
    if (osd != kNoWindow)
        Windows().PostMsg(osd, WM_DESTROY, 0, 0);
    KillTimer(IDT_APP_WATCH);
    m_ForegroundSettle.Stop();
}

} // namespace orv
