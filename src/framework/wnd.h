// Window base class: owns one window of the window services and routes its
// messages to the virtual WindowProc.
#pragma once

#include "platform/window.h"

#include <string>

namespace orv {

class CWnd : public IWindowTarget {
public:
    CWnd() = default;
    CWnd(const CWnd&) = delete;
    CWnd& operator=(const CWnd&) = delete;
    // Destroys the window if it still exists.
    virtual ~CWnd();

    bool CreateEx(std::uint32_t exStyle, const char16_t* className, const char16_t* title,
                  std::uint32_t style, int x, int y, int width, int height, WndHandle parent,
                  std::uintptr_t childId);
    bool DestroyWindow();

    WndHandle GetSafeHwnd() const { return m_hWnd; }
    // The object that owns a window of this process, or null.
    static CWnd* FromHandle(WndHandle wnd);

    // Gives the window a look at a message of its own or of a descendant
    // before it is dispatched; true swallows it.
    virtual bool PreTranslateMessage(const QueuedMsg& msg);

    bool PostMsg(MsgId msg, WParam wParam, LParam lParam);
    bool SetTimer(TimerId id, std::uint32_t periodMs);
    bool KillTimer(TimerId id);
    void SetTitle(std::u16string_view title);
    bool ShowWindow(int showCmd);
    bool Invalidate(bool erase = true);
    bool UpdateWindow();

    LResult OnMessage(WndHandle wnd, MsgId msg, WParam wParam, LParam lParam) final;

protected:
    // Handles one message; derived classes handle theirs and pass the rest on
    // to this base, which gives them the platform's default processing.
    virtual LResult WindowProc(MsgId msg, WParam wParam, LParam lParam);
    // Default processing of the message being handled.
    LResult Default(MsgId msg, WParam wParam, LParam lParam);

    WndHandle m_hWnd = kNoWindow;
};

} // namespace orv
