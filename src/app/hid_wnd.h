// The hidden main window of the service: it holds the whole state and
// receives every request, notification and timer.
#pragma once

#include "device/usb_driver.h"
#include "framework/wnd.h"

#include <cstdint>

namespace orv {

class CHidWnd : public CWnd {
public:
    CHidWnd();
    ~CHidWnd() override;

    MsgId SyncMessage() const { return m_uSyncMsg; }
    CUSBDriver& Driver() { return m_Driver; }

protected:
    LResult WindowProc(MsgId msg, WParam wParam, LParam lParam) override;

private:
    int OnCreate();
    void OnDestroy();
    void OnTimer(TimerId id);

    std::uint32_t m_uSyncMsg = 0;
    bool m_bLaunchLock = false;
    CUSBDriver m_Driver;
    std::int32_t m_nHeldFunction = 0;
    std::int32_t m_nSavedSlot = -1;
};

} // namespace orv
