#include "skin/progress_dlg.h"

#include "base/wstr.h"
#include "platform/platform.h"
#include "skin/region.h"

namespace orv {

const std::vector<std::uint8_t>& ProgressDialogTemplate() {
    static const std::vector<std::uint8_t> bytes = BuildDialogTemplate(
        {WS_POPUP | WS_SYSMENU | DS_SETFONT | DS_FIXEDSYS, 0, 316, 183, 8, 400, u"MS Shell Dlg"});
    return bytes;
}

bool LoadSkinImage(const std::u16string& path, CBitmap& bitmap, int& width, int& height) {
    std::string bytes;
    if (Files().ReadAll(path, bytes) != ReadResult::Ok)
        return false;
    BitmapHandle decoded = Graphics().DecodePicture(bytes);
    if (decoded == 0)
        return false;
    bitmap.Attach(decoded);
    return Graphics().BitmapSize(decoded, width, height);
}

CProgressDlg::CProgressDlg() = default;

CProgressDlg::~CProgressDlg() {
    // The bar is a child of this window; both go together.
    DestroyWindow();
}

bool CProgressDlg::Create(CWnd* owner) { return CreateIndirect(ProgressDialogTemplate(), owner); }

void CProgressDlg::LoadSkin() {
    std::u16string folder = FolderOf(Kernel().ModulePath());
    int width = 0, height = 0;
    LoadSkinImage(folder + u"skins\\updatebar_Mask.bmp", m_bmpMask, width, height);

    int backWidth = 0, backHeight = 0;
    bool haveBack = LoadSkinImage(folder + u"skins\\updatebar_n.jpg", m_bmpBack, backWidth, backHeight);
    CBitmap fill;
    int w = 0, h = 0;
    bool haveFill = LoadSkinImage(folder + u"skins\\updatebar_o.jpg", fill, w, h);

    // A missing or undecodable picture is replaced by a plain one, sized like
    // its partner when that one loaded, so the bar stays visible.
    if (!haveBack) {
        backWidth = haveFill ? w : kFallbackSkinWidth;
        backHeight = haveFill ? h : kFallbackSkinHeight;
        m_bmpBack.Attach(Graphics().CreateSolidBitmap(backWidth, backHeight, kFallbackBackColor));
    }
    if (!haveFill) {
        w = backWidth;
        h = backHeight;
        fill.Attach(Graphics().CreateSolidBitmap(w, h, kFallbackFillColor));
    }
    m_nWidth = backWidth;
    m_nHeight = backHeight;

    m_strCaption = LoadProgressCaption(folder);

    m_ctlBar.Create({0, 0, w, h}, m_strCaption, this, 0);
    m_ctlBar.SetBitmaps(m_bmpBack.Handle(), fill.Handle(), 0, 0, w, h);
    Windows().MoveWnd(m_hWnd, 0, 0, w, h, true);
}

LResult CProgressDlg::WindowProc(MsgId msg, WParam wParam, LParam lParam) {
    switch (msg) {
    case WM_CREATE: {
        if (CDialog::WindowProc(msg, wParam, lParam) == -1)
            return -1;
        LoadSkin();
        m_hRgn = RegionFromMask(m_bmpMask.Handle());
        if (m_hRgn != 0)
            Graphics().SetWindowRegion(m_hWnd, m_hRgn, true);
        SetTitle(u"TORVO_PROCESSBAR");
        return 0;
    }
    case WM_PAINT:
        Graphics().PaintBitmap(m_hWnd, m_bmpBack.Handle());
        return 0;
    case WM_ERASEBKGND:
        return 1;
    case WM_DESTROY: {
        LResult result = CDialog::WindowProc(msg, wParam, lParam);
        m_bmpMask.DeleteObject();
        m_bmpBack.DeleteObject();
        return result;
    }
    default:
        return CDialog::WindowProc(msg, wParam, lParam);
    }
}

bool CProgressDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    m_ctlBar.m_nMin = 0;
    m_ctlBar.m_nMax = 100;
    return true;
}

bool CProgressDlg::PreTranslateMessage(const QueuedMsg& msg) {
    // Nothing the user types may end the window while the keyboard is written.
    if (msg.msg == WM_KEYDOWN && (msg.wParam == VK_ESCAPE || msg.wParam == VK_RETURN))
        return true;
    return CDialog::PreTranslateMessage(msg);
}

} // namespace orv
