#include "platform/common/inproc_windows.h"

#include "base/wstr.h"

#include <vector>

namespace orv::inproc {

namespace {

// Window titles and class names are matched as the platform matches them:
// without regard to case.
bool NameMatches(const char16_t* wanted, const std::u16string& actual) {
    return wanted == nullptr || EqualsNoCase(wanted, actual);
}

} // namespace

WndHandle InProcessWindows::AddWindow(Window window) {
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    if (window.parent != kNoWindow && m_windows.count(window.parent) == 0)
        return kNoWindow;
    WndHandle wnd = m_nextHandle;
    m_nextHandle += 2;
    m_windows[wnd] = std::move(window);
    return wnd;
}

WndHandle InProcessWindows::CreateWnd(const WindowCreateArgs& args, IWindowTarget* target) {
    Window window;
    window.target = target;
    window.className = args.className;
    window.title = args.title;
    window.parent = args.parent;
    window.style = args.style;
    window.geometry = {args.x, args.y, args.width, args.height, (args.style & WS_VISIBLE) != 0,
                       false};
    WndHandle wnd = AddWindow(std::move(window));
    if (wnd == kNoWindow)
        return kNoWindow;
    if (Deliver(wnd, WM_CREATE, 0, 0) == -1) {
        DestroyWnd(wnd);
        return kNoWindow;
    }
    return wnd;
}

bool InProcessWindows::DestroyWnd(WndHandle wnd) {
    {
        std::lock_guard<std::recursive_mutex> guard(m_lock);
        auto it = m_windows.find(wnd);
        if (it == m_windows.end() || it->second.destroying)
            return false;
        it->second.destroying = true;
    }
    Deliver(wnd, WM_DESTROY, 0, 0);
    std::vector<WndHandle> children;
    {
        std::lock_guard<std::recursive_mutex> guard(m_lock);
        for (const auto& [handle, window] : m_windows) {
            if (window.parent == wnd)
                children.push_back(handle);
        }
    }
    for (WndHandle child : children)
        DestroyWnd(child);
    Deliver(wnd, WM_NCDESTROY, 0, 0);
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    m_windows.erase(wnd);
    ForgetWindow(wnd);
    return true;
}

bool InProcessWindows::IsWnd(WndHandle wnd) {
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    return m_windows.count(wnd) != 0;
}

LResult InProcessWindows::DefaultProc(WndHandle wnd, MsgId msg, WParam, LParam) {
    if (msg == WM_CLOSE)
        DestroyWnd(wnd);
    return 0;
}

MsgId InProcessWindows::RegisterMsg(std::u16string_view name) {
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    if (name.empty())
        return 0;
    std::u16string key = FoldedCopy(name);
    auto it = m_registered.find(key);
    if (it != m_registered.end())
        return it->second;
    MsgId id = 0xC000 + static_cast<MsgId>(m_registered.size());
    m_registered[key] = id;
    return id;
}

WndHandle InProcessWindows::FindTopLevel(const char16_t* className, const char16_t* title) {
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    for (const auto& [handle, window] : m_windows) {
        if (!IsChild(window) && !window.destroying &&
            (window.anyClass || NameMatches(className, window.className)) &&
            NameMatches(title, window.title))
            return handle;
    }
    return kNoWindow;
}

WndHandle InProcessWindows::FindChild(WndHandle parent, const char16_t* title) {
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    for (const auto& [handle, window] : m_windows) {
        if (IsChild(window) && window.parent == parent && !window.destroying &&
            NameMatches(title, window.title))
            return handle;
    }
    return kNoWindow;
}

void InProcessWindows::SetTitle(WndHandle wnd, std::u16string_view title) {
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    auto it = m_windows.find(wnd);
    if (it != m_windows.end())
        it->second.title = std::u16string(title);
}

std::u16string InProcessWindows::GetTitle(WndHandle wnd) {
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    auto it = m_windows.find(wnd);
    return it == m_windows.end() ? std::u16string() : it->second.title;
}

void InProcessWindows::SetPreTranslateHook(std::function<bool(const QueuedMsg&)> hook) {
    m_preTranslate = std::move(hook);
}

WndHandle InProcessWindows::CreateDialogWnd(const std::vector<std::uint8_t>& dialogTemplate,
                                            WndHandle owner, IWindowTarget* target) {
    WindowCreateArgs args;
    // The style sits at offset 12 of an extended template.
    if (dialogTemplate.size() >= 16)
        args.style = static_cast<std::uint32_t>(dialogTemplate[12]) |
                     static_cast<std::uint32_t>(dialogTemplate[13]) << 8 |
                     static_cast<std::uint32_t>(dialogTemplate[14]) << 16 |
                     static_cast<std::uint32_t>(dialogTemplate[15]) << 24;
    args.className = u"#32770";
    args.parent = owner;
    WndHandle wnd = CreateWnd(args, target);
    if (wnd != kNoWindow)
        Deliver(wnd, WM_INITDIALOG, 0, 0);
    return wnd;
}

WndHandle InProcessWindows::ParentOf(WndHandle wnd) {
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    auto it = m_windows.find(wnd);
    return it == m_windows.end() ? kNoWindow : it->second.parent;
}

bool InProcessWindows::ShowWnd(WndHandle wnd, int showCmd) {
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    auto it = m_windows.find(wnd);
    if (it == m_windows.end())
        return false;
    it->second.geometry.visible = showCmd != SW_HIDE;
    return true;
}

bool InProcessWindows::MoveWnd(WndHandle wnd, int x, int y, int width, int height, bool) {
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    auto it = m_windows.find(wnd);
    if (it == m_windows.end())
        return false;
    Geometry& g = it->second.geometry;
    g.x = x;
    g.y = y;
    g.width = width;
    g.height = height;
    return true;
}

bool InProcessWindows::PlaceTopMost(WndHandle wnd, int x, int y) {
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    auto it = m_windows.find(wnd);
    if (it == m_windows.end())
        return false;
    it->second.geometry.x = x;
    it->second.geometry.y = y;
    it->second.geometry.topMost = true;
    return true;
}

bool InProcessWindows::InvalidateWnd(WndHandle wnd, bool) {
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    auto it = m_windows.find(wnd);
    if (it == m_windows.end())
        return false;
    it->second.invalid = true;
    return true;
}

void InProcessWindows::ClientToParent(WndHandle wnd, int& x, int& y) {
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    auto it = m_windows.find(wnd);
    if (it != m_windows.end() && IsChild(it->second)) {
        x += it->second.geometry.x;
        y += it->second.geometry.y;
    }
}

Geometry InProcessWindows::GeometryOf(WndHandle wnd) {
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    auto it = m_windows.find(wnd);
    return it == m_windows.end() ? Geometry{} : it->second.geometry;
}

std::size_t InProcessWindows::WindowCount() {
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    return m_windows.size();
}

LResult InProcessWindows::Deliver(WndHandle wnd, MsgId msg, WParam wParam, LParam lParam) {
    IWindowTarget* target;
    {
        std::lock_guard<std::recursive_mutex> guard(m_lock);
        auto it = m_windows.find(wnd);
        if (it == m_windows.end())
            return 0;
        target = it->second.target;
    }
    if (target == nullptr)
        return DefaultProc(wnd, msg, wParam, lParam);
    return target->OnMessage(wnd, msg, wParam, lParam);
}

} // namespace orv::inproc
