#include "platform/host/host_platform.h"

#include "base/wstr.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace orv::host {

// ---------------------------------------------------------------- clock

std::uint32_t VirtualClock::TickCount() {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_now;
}

void VirtualClock::Sleep(std::uint32_t ms) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_now += ms;
    pauses.push_back(ms);
}

void VirtualClock::SetNow(std::uint32_t now) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_now = now;
}

// ---------------------------------------------------------------- windows

namespace {

// Window titles and class names are matched as the platform matches them:
// without regard to case.
bool NameMatches(const char16_t* wanted, const std::u16string& actual) {
    return wanted == nullptr || EqualsNoCase(wanted, actual);
}

std::u16string FoldedName(std::u16string_view name) {
    std::u16string folded(name);
    for (char16_t& c : folded)
        c = FoldCase(c);
    return folded;
}

} // namespace

WndHandle HostWindowSystem::CreateWnd(const WindowCreateArgs& args, IWindowTarget* target) {
    WndHandle wnd;
    {
        std::lock_guard<std::recursive_mutex> guard(m_lock);
        if (args.parent != kNoWindow && m_windows.count(args.parent) == 0)
            return kNoWindow;
        wnd = m_nextHandle;
        m_nextHandle += 2;
        Window window{target, args.className, args.title, args.parent, args.style};
        window.geometry = {args.x, args.y, args.width, args.height, (args.style & WS_VISIBLE) != 0,
                           false};
        m_windows[wnd] = window;
    }
    if (Deliver(wnd, WM_CREATE, 0, 0) == -1) {
        DestroyWnd(wnd);
        return kNoWindow;
    }
    return wnd;
}

bool HostWindowSystem::DestroyWnd(WndHandle wnd) {
    std::vector<WndHandle> children;
    {
        std::lock_guard<std::recursive_mutex> guard(m_lock);
        auto it = m_windows.find(wnd);
        if (it == m_windows.end() || it->second.destroying)
            return false;
        it->second.destroying = true;
    }
    Deliver(wnd, WM_DESTROY, 0, 0);
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
    m_foregroundWatchers.erase(wnd);
    m_timers.erase(std::remove_if(m_timers.begin(), m_timers.end(),
                                  [wnd](const Timer& t) { return t.wnd == wnd; }),
                   m_timers.end());
    return true;
}

bool HostWindowSystem::IsWnd(WndHandle wnd) {
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    return m_windows.count(wnd) != 0;
}

LResult HostWindowSystem::DefaultProc(WndHandle wnd, MsgId msg, WParam, LParam) {
    if (msg == WM_CLOSE)
        DestroyWnd(wnd);
    return 0;
}

bool HostWindowSystem::PostMsg(WndHandle wnd, MsgId msg, WParam wParam, LParam lParam) {
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    if (wnd == kBroadcast) {
        posts.push_back({wnd, msg, wParam, lParam, m_clock.TickCount(), {}});
        for (const auto& [handle, window] : m_windows) {
            if (!IsChild(window))
                m_queue.push_back({handle, msg, wParam, lParam});
        }
        return true;
    }
    if (m_windows.count(wnd) == 0)
        return false;
    posts.push_back({wnd, msg, wParam, lParam, m_clock.TickCount(), {}});
    m_queue.push_back({wnd, msg, wParam, lParam});
    return true;
}

LResult HostWindowSystem::SendMsg(WndHandle wnd, MsgId msg, WParam wParam, LParam lParam) {
    return Deliver(wnd, msg, wParam, lParam);
}

std::optional<LResult> HostWindowSystem::SendCopyData(WndHandle wnd, WndHandle from,
                                                      std::uintptr_t dataId, const void* data,
                                                      std::uint32_t size, std::uint32_t timeoutMs) {
    auto slow = answerTimes.find(wnd);
    std::uint32_t answerMs = slow == answerTimes.end() ? 0 : slow->second;
    // The sender's wait is time that passes, not a pause of its own.
    m_clock.SetNow(m_clock.TickCount() + std::min(answerMs, timeoutMs));
    if (answerMs > timeoutMs)
        return std::nullopt;
    // The receiver gets its own copy, as it would across processes.
    std::string copy(static_cast<const char*>(data), size);
    CopyDataBlock block{dataId, size, copy.data()};
    return Deliver(wnd, WM_COPYDATA, from, reinterpret_cast<LParam>(&block));
}

MsgId HostWindowSystem::RegisterMsg(std::u16string_view name) {
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    std::u16string key = FoldedName(name);
    auto it = m_registered.find(key);
    if (it != m_registered.end())
        return it->second;
    MsgId id = 0xC000 + static_cast<MsgId>(m_registered.size());
    m_registered[key] = id;
    return id;
}

WndHandle HostWindowSystem::FindTopLevel(const char16_t* className, const char16_t* title) {
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    for (const auto& [handle, window] : m_windows) {
        if (!IsChild(window) && !window.destroying && NameMatches(className, window.className) &&
            NameMatches(title, window.title))
            return handle;
    }
    return kNoWindow;
}

WndHandle HostWindowSystem::FindChild(WndHandle parent, const char16_t* title) {
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    for (const auto& [handle, window] : m_windows) {
        if (IsChild(window) && window.parent == parent && !window.destroying &&
            NameMatches(title, window.title))
            return handle;
    }
    return kNoWindow;
}

void HostWindowSystem::SetTitle(WndHandle wnd, std::u16string_view title) {
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    auto it = m_windows.find(wnd);
    if (it != m_windows.end())
        it->second.title = std::u16string(title);
}

std::u16string HostWindowSystem::GetTitle(WndHandle wnd) {
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    auto it = m_windows.find(wnd);
    return it == m_windows.end() ? std::u16string() : it->second.title;
}

bool HostWindowSystem::StartTimer(WndHandle wnd, TimerId id, std::uint32_t periodMs) {
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    if (m_windows.count(wnd) == 0)
        return false;
    std::uint32_t due = m_clock.TickCount() + periodMs;
    for (Timer& timer : m_timers) {
        if (timer.wnd == wnd && timer.id == id) {
            timer.period = periodMs;
            timer.due = due;
            return true;
        }
    }
    m_timers.push_back({wnd, id, periodMs, due, m_timerOrder++});
    return true;
}

bool HostWindowSystem::StopTimer(WndHandle wnd, TimerId id) {
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    auto it = std::find_if(m_timers.begin(), m_timers.end(),
                           [&](const Timer& t) { return t.wnd == wnd && t.id == id; });
    if (it == m_timers.end())
        return false;
    m_timers.erase(it);
    return true;
}

bool HostWindowSystem::TimerRunning(WndHandle wnd, TimerId id) {
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    return std::any_of(m_timers.begin(), m_timers.end(),
                       [&](const Timer& t) { return t.wnd == wnd && t.id == id; });
}

std::size_t HostWindowSystem::WindowCount() {
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    return m_windows.size();
}

int HostWindowSystem::RunLoop() {
    while (!m_quit && RunUntilIdle() > 0) {
    }
    return m_quitCode;
}

void HostWindowSystem::QuitLoop(int exitCode) {
    m_quit = true;
    m_quitCode = exitCode;
}

bool HostWindowSystem::IsChild(const Window& window) const {
    return (window.style & WS_CHILD) != 0;
}

void HostWindowSystem::SetPreTranslateHook(std::function<bool(const QueuedMsg&)> hook) {
    m_preTranslate = std::move(hook);
}

WndHandle HostWindowSystem::CreateDialogWnd(const std::vector<std::uint8_t>& dialogTemplate,
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

WndHandle HostWindowSystem::ParentOf(WndHandle wnd) {
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    auto it = m_windows.find(wnd);
    return it == m_windows.end() ? kNoWindow : it->second.parent;
}

bool HostWindowSystem::ShowWnd(WndHandle wnd, int showCmd) {
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    auto it = m_windows.find(wnd);
    if (it == m_windows.end())
        return false;
    it->second.geometry.visible = showCmd != SW_HIDE;
    return true;
}

bool HostWindowSystem::IsVisible(WndHandle wnd) {
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    auto it = m_windows.find(wnd);
    return it != m_windows.end() && it->second.geometry.visible;
}

bool HostWindowSystem::MoveWnd(WndHandle wnd, int x, int y, int width, int height, bool) {
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

bool HostWindowSystem::PlaceTopMost(WndHandle wnd, int x, int y) {
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    auto it = m_windows.find(wnd);
    if (it == m_windows.end())
        return false;
    it->second.geometry.x = x;
    it->second.geometry.y = y;
    it->second.geometry.topMost = true;
    return true;
}

bool HostWindowSystem::InvalidateWnd(WndHandle wnd, bool) {
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    auto it = m_windows.find(wnd);
    if (it == m_windows.end())
        return false;
    it->second.invalid = true;
    return true;
}

bool HostWindowSystem::UpdateWnd(WndHandle wnd) {
    {
        std::lock_guard<std::recursive_mutex> guard(m_lock);
        auto it = m_windows.find(wnd);
        if (it == m_windows.end() || !it->second.invalid)
            return it != m_windows.end();
        it->second.invalid = false;
    }
    Deliver(wnd, WM_PAINT, 0, 0);
    return true;
}

void HostWindowSystem::ClientToParent(WndHandle wnd, int& x, int& y) {
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    auto it = m_windows.find(wnd);
    if (it != m_windows.end() && IsChild(it->second)) {
        x += it->second.geometry.x;
        y += it->second.geometry.y;
    }
}

void HostWindowSystem::ScreenSize(int& width, int& height) {
    width = screenWidth;
    height = screenHeight;
}

std::uint32_t HostWindowSystem::WindowProcessId(WndHandle wnd) {
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    auto it = windowProcess.find(wnd);
    return it == windowProcess.end() ? 0 : it->second;
}

bool HostWindowSystem::WatchForeground(WndHandle wnd, MsgId msg) {
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    if (m_windows.count(wnd) == 0)
        return false;
    m_foregroundWatchers[wnd] = msg;
    return true;
}

void HostWindowSystem::StopWatchingForeground(WndHandle wnd) {
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    m_foregroundWatchers.erase(wnd);
}

void HostWindowSystem::BringToFront(WndHandle wnd) {
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    if (wnd == foreground)
        return; // Windows sends no event when the foreground stays
    foreground = wnd;
    for (const auto& [watcher, msg] : m_foregroundWatchers)
        PostMsg(watcher, msg, 0, 0);
}

HostWindowSystem::Geometry HostWindowSystem::GeometryOf(WndHandle wnd) {
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    auto it = m_windows.find(wnd);
    return it == m_windows.end() ? Geometry{} : it->second.geometry;
}

LResult HostWindowSystem::Deliver(WndHandle wnd, MsgId msg, WParam wParam, LParam lParam) {
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

bool HostWindowSystem::DeliverOneQueued() {
    Queued next;
    {
        std::lock_guard<std::recursive_mutex> guard(m_lock);
        if (m_queue.empty())
            return false;
        next = m_queue.front();
        m_queue.erase(m_queue.begin());
    }
    if (m_preTranslate && m_preTranslate({next.wnd, next.msg, next.wParam, next.lParam}))
        return true;
    Deliver(next.wnd, next.msg, next.wParam, next.lParam);
    return true;
}

bool HostWindowSystem::DeliverOneTimer() {
    WndHandle wnd;
    TimerId id;
    {
        std::lock_guard<std::recursive_mutex> guard(m_lock);
        std::uint32_t now = m_clock.TickCount();
        Timer* first = nullptr;
        for (Timer& timer : m_timers) {
            if (static_cast<std::int32_t>(now - timer.due) < 0)
                continue;
            if (first == nullptr || static_cast<std::int32_t>(timer.due - first->due) < 0 ||
                (timer.due == first->due && timer.order < first->order))
                first = &timer;
        }
        if (first == nullptr)
            return false;
        first->due = now + first->period;
        wnd = first->wnd;
        id = first->id;
    }
    Deliver(wnd, WM_TIMER, id, 0);
    return true;
}

int HostWindowSystem::RunUntilIdle() {
    int delivered = 0;
    for (;;) {
        if (DeliverOneQueued() || DeliverOneTimer()) {
            ++delivered;
            continue;
        }
        return delivered;
    }
}

void HostWindowSystem::AdvanceBy(std::uint32_t ms) {
    std::uint32_t end = m_clock.TickCount() + ms;
    for (;;) {
        RunUntilIdle();
        std::uint32_t now = m_clock.TickCount();
        bool found = false;
        std::uint32_t next = 0;
        {
            std::lock_guard<std::recursive_mutex> guard(m_lock);
            for (const Timer& timer : m_timers) {
                if (!found || static_cast<std::int32_t>(timer.due - next) < 0) {
                    next = timer.due;
                    found = true;
                }
            }
        }
        if (found && static_cast<std::int32_t>(next - end) <= 0 &&
            static_cast<std::int32_t>(next - now) > 0) {
            m_clock.SetNow(next);
            continue;
        }
        if (static_cast<std::int32_t>(end - now) > 0)
            m_clock.SetNow(end);
        RunUntilIdle();
        return;
    }
}

// ---------------------------------------------------------------- stand-ins

StandInWindow::StandInWindow(HostWindowSystem& windows, std::u16string title,
                             std::u16string className, WndHandle parent)
    : m_windows(windows) {
    WindowCreateArgs args;
    args.title = std::move(title);
    args.className = std::move(className);
    args.parent = parent;
    args.style = parent == kNoWindow ? WS_POPUP : WS_CHILD;
    m_wnd = m_windows.CreateWnd(args, this);
}

StandInWindow::~StandInWindow() {
    if (m_wnd != kNoWindow)
        m_windows.DestroyWnd(m_wnd);
}

LResult StandInWindow::OnMessage(WndHandle wnd, MsgId msg, WParam wParam, LParam lParam) {
    MessageRecord record{wnd, msg, wParam, lParam, 0, {}};
    if (msg == WM_COPYDATA && lParam != 0) {
        const auto* block = reinterpret_cast<const CopyDataBlock*>(lParam);
        record.data.assign(static_cast<const char*>(block->lpData), block->cbData);
    }
    received.push_back(std::move(record));
    if (msg == WM_NCDESTROY)
        m_wnd = kNoWindow;
    if (onMessage)
        return onMessage(msg, wParam, lParam);
    return m_windows.DefaultProc(wnd, msg, wParam, lParam);
}

std::vector<MessageRecord> StandInWindow::Received(MsgId msg) const {
    std::vector<MessageRecord> out;
    for (const MessageRecord& record : received) {
        if (record.msg == msg)
            out.push_back(record);
    }
    return out;
}

// ---------------------------------------------------------------- kernel

KernelHandle HostKernel::CreateNamedMutex(std::u16string_view name, bool& alreadyExisted) {
    alreadyExisted = false;
    if (failMutexCreation)
        return 0;
    std::u16string key(name);
    alreadyExisted = m_mutexRefs[key] > 0;
    ++m_mutexRefs[key];
    KernelHandle handle = m_next++;
    m_handles[handle] = key;
    return handle;
}

void HostKernel::ReleaseMutex(KernelHandle) {}

void HostKernel::CloseHandle(KernelHandle handle) {
    auto it = m_handles.find(handle);
    if (it == m_handles.end())
        return;
    if (--m_mutexRefs[it->second] == 0)
        m_mutexRefs.erase(it->second);
    m_handles.erase(it);
}

void HostKernel::HoldElsewhere(std::u16string_view name) {
    ++m_mutexRefs[std::u16string(name)];
}

std::u16string HostKernel::SystemErrorText(std::uint32_t code) {
    if (code == 0)
        return {};
    return FromUtf8(std::strerror(static_cast<int>(code)));
}

bool HostKernel::MutexExists(std::u16string_view name) {
    auto it = m_mutexRefs.find(std::u16string(name));
    return it != m_mutexRefs.end() && it->second > 0;
}

// ---------------------------------------------------------------- debug

void HostDebugOutput::Write(std::u16string_view text) {
    std::lock_guard<std::mutex> guard(m_lock);
    lines.emplace_back(text);
}

// ---------------------------------------------------------------- files

std::string HostFileSystem::HostPath(std::u16string_view path) const {
    if (path.size() < 2 || path[1] != u':')
        return {};
    char16_t drive = FoldCase(path[0]);
    if (drive < u'A' || drive > u'Z')
        return {};
    std::u16string rest(path.substr(2));
    std::replace(rest.begin(), rest.end(), u'\\', u'/');
    return m_root + "/" + static_cast<char>(drive) + ToUtf8(rest);
}

bool HostFileSystem::RefusedName(std::u16string_view path) {
    // ':' past the drive is no refused name: Wine takes it as part of the
    // name (NTFS as the start of a stream's name).
    for (char16_t c : path) {
        if (c < 0x20 || c == u'?' || c == u'*' || c == u'|' || c == u'<' || c == u'>' || c == u'"')
            return true;
    }
    return false;
}

std::string HostFileSystem::Usable(std::u16string_view path) const {
    return RefusedName(path) ? std::string() : HostPath(path);
}

bool HostFileSystem::Exists(std::u16string_view path) {
    std::string p = Usable(path);
    struct stat st;
    return !p.empty() && ::stat(p.c_str(), &st) == 0;
}

bool HostFileSystem::IsDirectory(std::u16string_view path) {
    std::string p = Usable(path);
    struct stat st;
    return !p.empty() && ::stat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool HostFileSystem::MakeDirectory(std::u16string_view path) {
    std::string p = Usable(path);
    if (p.empty() || failWrites)
        return false;
    return ::mkdir(p.c_str(), 0755) == 0;
}

bool HostFileSystem::TouchFile(std::u16string_view path) {
    std::string p = Usable(path);
    if (p.empty() || (failWrites && !Exists(path)))
        return false;
    // A path ending in a separator names a folder, never a file.
    if (p.back() == '/')
        return false;
    int fd = ::open(p.c_str(), O_RDWR | O_CREAT, 0644);
    if (fd < 0)
        return false;
    ::close(fd);
    return true;
}

ReadResult HostFileSystem::ReadAll(std::u16string_view path, std::string& bytes) {
    bytes.clear();
    if (RefusedName(path))
        return ReadResult::Failed;
    std::string p = Usable(path);
    if (p.empty())
        return ReadResult::NotFound;
    int fd = ::open(p.c_str(), O_RDONLY);
    if (fd < 0)
        return errno == ENOENT || errno == ENOTDIR ? ReadResult::NotFound : ReadResult::Failed;
    struct stat st;
    if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
        ::close(fd);
        return ReadResult::Failed;
    }
    char buf[65536];
    for (;;) {
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0) {
            ::close(fd);
            return ReadResult::Failed;
        }
        if (n == 0)
            break;
        bytes.append(buf, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return ReadResult::Ok;
}

ReadResult HostFileSystem::ReadAllUpTo(std::u16string_view path, std::size_t maxBytes,
                                       std::string& bytes, std::uint32_t& error) {
    bytes.clear();
    error = 0;
    if (RefusedName(path)) {
        error = EINVAL;
        return ReadResult::Failed;
    }
    std::string p = Usable(path);
    if (p.empty()) {
        error = ENOENT;
        return ReadResult::NotFound;
    }
    int fd = ::open(p.c_str(), O_RDONLY);
    if (fd < 0) {
        error = static_cast<std::uint32_t>(errno);
        return errno == ENOENT || errno == ENOTDIR ? ReadResult::NotFound : ReadResult::Failed;
    }
    auto fail = [&](int code) {
        error = static_cast<std::uint32_t>(code);
        bytes.clear();
        ::close(fd);
        return ReadResult::Failed;
    };
    struct stat st;
    if (::fstat(fd, &st) != 0)
        return fail(errno);
    if (S_ISDIR(st.st_mode))
        return fail(EISDIR);
    if (static_cast<std::uint64_t>(st.st_size) > maxBytes)
        return fail(EFBIG);
    bytes.reserve(static_cast<std::size_t>(st.st_size));
    char buf[65536];
    for (;;) {
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return fail(errno);
        }
        if (n == 0)
            break;
        if (bytes.size() + static_cast<std::size_t>(n) > maxBytes)
            return fail(EFBIG);
        bytes.append(buf, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return ReadResult::Ok;
}

namespace {

bool WriteFully(int fd, std::string_view bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return ::fsync(fd) == 0;
}

} // namespace

bool HostFileSystem::CreateNew(std::u16string_view path, std::string_view bytes) {
    std::string p = Usable(path);
    if (p.empty() || failWrites)
        return false;
    int fd = ::open(p.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644);
    if (fd < 0)
        return false;
    bool ok = WriteFully(fd, bytes);
    ::close(fd);
    if (!ok)
        ::unlink(p.c_str());
    return ok;
}

bool HostFileSystem::ReplaceContent(std::u16string_view path, std::string_view bytes) {
    std::string p = Usable(path);
    if (p.empty() || failWrites)
        return false;
    std::string temp = p + ".tmp";
    int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0)
        return false;
    bool ok = WriteFully(fd, bytes);
    ::close(fd);
    if (!ok || ::rename(temp.c_str(), p.c_str()) != 0) {
        ::unlink(temp.c_str());
        return false;
    }
    // The new name is on disk only once its folder is.
    std::string folder = p.substr(0, p.rfind('/'));
    int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return true;
}

bool HostFileSystem::MoveEntry(std::u16string_view from, std::u16string_view to) {
    std::string a = Usable(from), b = Usable(to);
    if (a.empty() || b.empty() || failWrites)
        return false;
    return ::renameat2(AT_FDCWD, a.c_str(), AT_FDCWD, b.c_str(), RENAME_NOREPLACE) == 0;
}

bool HostFileSystem::RemoveFolder(std::u16string_view path) {
    std::string p = Usable(path);
    struct stat st;
    if (p.empty() || failWrites || ::lstat(p.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        return false;
    // Every entry is looked at before any goes: a folder inside keeps them all.
    std::vector<std::string> files;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(p, error)) {
        if (entry.is_directory(error) && !entry.is_symlink(error))
            return false;
        files.push_back(entry.path().string());
    }
    if (error)
        return false;
    for (const std::string& file : files)
        ::unlink(file.c_str());
    return ::rmdir(p.c_str()) == 0;
}

// ---------------------------------------------------------------- registry

bool HostRegistry::SetString(std::u16string_view keyPath, std::u16string_view name,
                             std::u16string_view value) {
    auto key = m_keys.find(FoldedName(keyPath));
    if (key == m_keys.end())
        return false;
    Write write{std::u16string(keyPath), std::u16string(name), false, std::u16string(value), 0};
    key->second[FoldedName(name)] = write;
    writes.push_back(write);
    return true;
}

bool HostRegistry::SetDword(std::u16string_view keyPath, std::u16string_view name,
                            std::uint32_t value) {
    auto key = m_keys.find(FoldedName(keyPath));
    if (key == m_keys.end())
        return false;
    Write write{std::u16string(keyPath), std::u16string(name), true, {}, value};
    key->second[FoldedName(name)] = write;
    writes.push_back(write);
    return true;
}

void HostRegistry::CreateKey(std::u16string_view keyPath) {
    m_keys[FoldedName(keyPath)];
}

bool HostRegistry::KeyExists(std::u16string_view keyPath) const {
    return m_keys.count(FoldedName(keyPath)) != 0;
}

const HostRegistry::Write* HostRegistry::Find(std::u16string_view keyPath,
                                              std::u16string_view name) const {
    auto key = m_keys.find(FoldedName(keyPath));
    if (key == m_keys.end())
        return nullptr;
    auto value = key->second.find(FoldedName(name));
    return value == key->second.end() ? nullptr : &value->second;
}

// ---------------------------------------------------------------- shell

bool HostShell::Execute(const char16_t* verb, std::u16string_view file, std::u16string_view params,
                        int showCmd) {
    Started start{verb ? verb : u"", std::u16string(file), std::u16string(params), showCmd};
    started.push_back(start);
    return onExecute ? onExecute(start) : true;
}

bool HostShell::ResolveShellLink(std::u16string_view link, std::u16string& target) {
    auto it = shellLinks.find(std::u16string(link));
    if (it == shellLinks.end())
        return false;
    target = it->second;
    return true;
}

// ---------------------------------------------------------------- platform

namespace {

std::string MakeTempRoot() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/orv-host-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr)
        throw std::runtime_error("cannot create a temporary folder");
    return pattern;
}

} // namespace

HostPlatform::HostPlatform() : files(std::make_unique<HostFileSystem>(MakeTempRoot())) {
    m_previous = CurrentPlatform();
    // The shell creates the application-data folder on request; so does this.
    std::filesystem::create_directories(files->HostPath(shell.appData));
    std::filesystem::create_directories(files->HostPath(FolderOf(kernel.modulePath)));
    Platform platform;
    platform.windows = &windows;
    platform.kernel = &kernel;
    platform.clock = &clock;
    platform.debug = &debug;
    platform.files = files.get();
    platform.registry = &registry;
    platform.shell = &shell;
    platform.graphics = &graphics;
    platform.processes = &processes;
    platform.installer = &installer;
    platform.codepages = &codepages;
    InstallPlatform(platform);
}

HostPlatform::~HostPlatform() {
    InstallPlatform(m_previous);
    std::error_code ignored;
    std::filesystem::remove_all(files->Root(), ignored);
}

} // namespace orv::host
