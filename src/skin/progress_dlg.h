// The loading progress window shown while a profile is written into the
// keyboard: borderless, shaped by a mask picture, drawn from skin pictures,
// with the skinned bar across it. It has no buttons and ignores Escape and
// Enter, so only its owner ends it.
#pragma once

#include "framework/bitmap.h"
#include "framework/dialog.h"
#include "skin/marker.h"

#include <cstdint>
#include <string>
#include <vector>

namespace orv {

constexpr int IDD_PROGRESS = 129;

// Dialog template 129: popup, system menu, own font "MS Shell Dlg" 8 pt,
// 316 x 183 dialog units, no caption, no controls.
const std::vector<std::uint8_t>& ProgressDialogTemplate();

// A skin picture that cannot be loaded is replaced by a plain one of this
// size and colour, so the window and its bar still show.
constexpr int kFallbackSkinWidth = 600;
constexpr int kFallbackSkinHeight = 180;
constexpr std::uint32_t kFallbackBackColor = 0x342820; // dark slate
constexpr std::uint32_t kFallbackFillColor = 0x9AB81F; // teal

class CProgressDlg : public CDialog {
public:
    CProgressDlg();
    ~CProgressDlg() override;

    // Creates the window, owned by `owner`, loading the skin on the way.
    bool Create(CWnd* owner);

    std::u16string m_strCaption;
    RegionHandle m_hRgn = 0;
    CBitmap m_bmpMask;
    CBitmap m_bmpBack;
    std::int32_t m_nWidth = 0;
    std::int32_t m_nHeight = 0;
    CDMarker m_ctlBar;

    bool PreTranslateMessage(const QueuedMsg& msg) override;

protected:
    LResult WindowProc(MsgId msg, WParam wParam, LParam lParam) override;
    bool OnInitDialog() override;

private:
    void LoadSkin();
};

// Loads a picture file into `bitmap`; returns its size, or false when the
// file cannot be read or decoded (the bitmap is then left as it was).
bool LoadSkinImage(const std::u16string& path, CBitmap& bitmap, int& width, int& height);

// The caption of the progress window from the language file in `folder`;
// empty when the file or the text is missing.
std::u16string LoadProgressCaption(const std::u16string& folder);

} // namespace orv
