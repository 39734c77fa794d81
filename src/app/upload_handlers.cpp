// The main window's side of an upload: the progress window, the reload, and
// the word to "DLGLoading" when it is done. What is written is device/upload.
#include "app/hid_wnd.h"
#include "device/upload.h"
#include "messaging/messages.h"
#include "platform/platform.h"

namespace orv {

void CHidWnd::SetBar(int value) {
    if (m_pProgressDlg)
        m_pProgressDlg->m_ctlBar.SetPos(value);
}

UploadProgress CHidWnd::BarProgress() {
    return [this](int value) { SetBar(value); };
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

LResult CHidWnd::OnUploadSlot(WParam wParam) {
    auto slot = static_cast<std::uint8_t>(wParam & 0xFF);
    ShowProgressWindow();
    SetBar(20);
    ReloadAll();
    UploadSlotLighting(m_Driver, slot, m_Settings.Current, BarProgress());
    FinishUpload();
    return 1;
}

LResult CHidWnd::OnUpload(WParam wParam, LParam lParam) {
    ReloadAll();
    SetBar(20);
    UploadRequest request;
    request.lighting = wParam != 0;
    request.prepare = lParam != 0;
    UploadProfile(m_Driver, m_Settings.Profile, m_Settings.Current, request, BarProgress());
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

} // namespace orv
