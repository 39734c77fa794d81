// The hidden main window of the service: it holds the whole state and
// receives every request, notification and timer.
//
// Its handlers are thin and live in app/, one file per topic: start-up,
// reload, timers and plug handling in hid_wnd.cpp, the message interface in
// message_handlers.cpp, slot changes in switching.cpp, the upload in
// upload_handlers.cpp, the key events in key_handlers.cpp. The rules they
// carry out belong to the subsystems: device/upload, device/key_events,
// messaging/slot_switching, messaging/foreground_watcher.
#pragma once

#include "device/upload.h"
#include "device/usb_driver.h"
#include "framework/wnd.h"
#include "messaging/foreground_settle.h"
#include "messaging/messages.h"
#include "skin/progress_dlg.h"
#include "storage/profile_data.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace orv {

class CHidWnd : public CWnd {
public:
    CHidWnd();
    ~CHidWnd() override;

    MsgId SyncMessage() const { return m_uSyncMsg; }
    CUSBDriver& Driver() { return m_Driver; }
    const SETTING_INFO& Settings() const { return m_Settings; }
    SETTING_INFO& Settings() { return m_Settings; }
    const SLOT_LINK_EXE& LinkTable() const { return SlotLinkExe; }
    std::int32_t SavedSlot() const { return m_nSavedSlot; }
    std::int32_t HeldFunction() const { return m_nHeldFunction; }
    bool LaunchLocked() const { return m_bLaunchLock; }
    CProgressDlg* ProgressWindow() const { return m_pProgressDlg.get(); }

    // Reloads settings and profiles from disk; nothing is written to the keyboard.
    void ReloadAll();
    // Makes `slot` current (0..5, anything else is ignored): saved, announced,
    // shown, and its profile loaded. The same slot again reloads only with force.
    void SelectSlot(std::int32_t slot, bool force);
    // One look at the program in the foreground.
    void WatchForegroundApp();

protected:
    LResult WindowProc(MsgId msg, WParam wParam, LParam lParam) override;

private:
    // Start-up, timers, plug handling.
    int OnCreate();
    void OnDestroy();
    void OnTimer(TimerId id);
    LResult OnPowerBroadcast(WParam event, LParam data);
    void OnResumed();
    LResult OnPlugChanged(LParam plugged);
    bool NotifyPlugState(int state);
    void WriteFirstStartProfiles();
    // The default profile of every slot into `folder` (empty: the profile
    // folder); with `missingOnly`, only where the slot has no file.
    void WriteDefaultProfiles(std::u16string_view folder, bool missingOnly);

    // The message interface.
    // Handles the suite's registered message; false when the message needs
    // no further processing.
    bool OnSyncMessage(WParam code, LParam value);
    // The temporary switch; false when there was nothing to return to.
    bool OnTemporarySwitch(std::int32_t value);
    LResult OnSetSlot(WParam wParam);
    LResult OnSetOption(WParam wParam, LParam lParam);
    void Broadcast(WParam code, LParam value);

    // Starting a key's program.
    LResult OnLaunchProgram(WParam wParam, LParam lParam);

    // Uploads.
    LResult OnShowProgress();
    LResult OnUpload(WParam wParam, LParam lParam);
    LResult OnUploadSlot(WParam wParam);
    void ShowProgressWindow();
    void SetBar(int value);
    // SetBar, for the upload sequences.
    UploadProgress BarProgress();
    void FinishUpload();

    // Key events.
    LResult OnKeyEvent(WParam wParam, LParam lParam);
    void DispatchKeyFunction(int position, bool pressed);
    void OnLightingEvent(MsgId notice, LParam value);
    void SelectKeyboardSlot(bool announce);

    std::unique_ptr<CProgressDlg> m_pProgressDlg;
    std::uint32_t m_uSyncMsg = 0;
    bool m_bLaunchLock = false;
    CUSBDriver m_Driver;
    SETTING_INFO m_Settings;
    SLOT_LINK_EXE SlotLinkExe;
    std::int32_t m_nHeldFunction = 0;
    std::int32_t m_nSavedSlot = -1;
    // Runs the watcher soon after the foreground changes, besides its tick.
    CForegroundSettle m_ForegroundSettle{IDT_FOREGROUND_SETTLE, IDT_FOREGROUND_LOOK,
                                         WM_HID_FOREGROUND};
};

} // namespace orv
