// The in-memory platform of the host build: a deterministic message queue, a
// virtual clock, an in-memory registry and real files below a temporary
// folder that stands for the C: drive. Unit tests install one per test and
// drive it with "post this, run until idle, look at what happened".
#pragma once

#include "platform/host/host_codepages.h"
#include "platform/host/host_graphics.h"
#include "platform/host/host_processes.h"
#include "platform/platform.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace orv::host {

struct MessageRecord {
    WndHandle wnd; // kBroadcast for a broadcast
    MsgId msg;
    WParam wParam;
    LParam lParam;
    std::uint32_t time; // virtual milliseconds when posted or received
    std::string data;   // the bytes of a WM_COPYDATA block
};

class VirtualClock final : public IClock {
public:
    std::uint32_t TickCount() override;
    void Sleep(std::uint32_t ms) override;

    void SetNow(std::uint32_t now);
    std::vector<std::uint32_t> pauses; // every Sleep, in order

private:
    friend class HostPlatform;
    std::mutex m_lock;
    std::uint32_t m_now = 1000;
};

class HostWindowSystem final : public IWindowSystem {
public:
    explicit HostWindowSystem(VirtualClock& clock) : m_clock(clock) {}

    WndHandle CreateWnd(const WindowCreateArgs& args, IWindowTarget* target) override;
    bool DestroyWnd(WndHandle wnd) override;
    bool IsWnd(WndHandle wnd) override;
    LResult DefaultProc(WndHandle wnd, MsgId msg, WParam wParam, LParam lParam) override;
    bool PostMsg(WndHandle wnd, MsgId msg, WParam wParam, LParam lParam) override;
    LResult SendMsg(WndHandle wnd, MsgId msg, WParam wParam, LParam lParam) override;
    std::optional<LResult> SendCopyData(WndHandle wnd, WndHandle from, std::uintptr_t dataId,
                                        const void* data, std::uint32_t size,
                                        std::uint32_t timeoutMs) override;
    MsgId RegisterMsg(std::u16string_view name) override;
    WndHandle FindTopLevel(const char16_t* className, const char16_t* title) override;
    WndHandle FindChild(WndHandle parent, const char16_t* title) override;
    void SetTitle(WndHandle wnd, std::u16string_view title) override;
    std::u16string GetTitle(WndHandle wnd) override;
    bool StartTimer(WndHandle wnd, TimerId id, std::uint32_t periodMs) override;
    bool StopTimer(WndHandle wnd, TimerId id) override;
    int RunLoop() override;
    void QuitLoop(int exitCode) override;
    void SetPreTranslateHook(std::function<bool(const QueuedMsg&)> hook) override;
    WndHandle CreateDialogWnd(const std::vector<std::uint8_t>& dialogTemplate, WndHandle owner,
                              IWindowTarget* target) override;
    bool IsDialogMsg(WndHandle) override { return false; }
    WndHandle ParentOf(WndHandle wnd) override;
    bool ShowWnd(WndHandle wnd, int showCmd) override;
    bool IsVisible(WndHandle wnd) override;
    bool MoveWnd(WndHandle wnd, int x, int y, int width, int height, bool repaint) override;
    bool PlaceTopMost(WndHandle wnd, int x, int y) override;
    bool InvalidateWnd(WndHandle wnd, bool erase) override;
    bool UpdateWnd(WndHandle wnd) override;
    void CaptureMouse(WndHandle wnd) override { m_capture = wnd; }
    void ReleaseMouse() override { m_capture = kNoWindow; }
    void ClientToParent(WndHandle wnd, int& x, int& y) override;
    void ScreenSize(int& width, int& height) override;
    WndHandle ForegroundWindow() override { return foreground; }
    std::uint32_t WindowProcessId(WndHandle wnd) override;
    bool WatchForeground(WndHandle wnd, MsgId msg) override;
    void StopWatchingForeground(WndHandle wnd) override;

    // Setting `foreground` changes it silently, as a system that sends no
    // notice does; BringToFront changes it and notifies the watchers.
    WndHandle foreground = kNoWindow;
    void BringToFront(WndHandle wnd);
    std::map<WndHandle, std::uint32_t> windowProcess; // windows of other processes
    // Windows of other programs that take this long (virtual ms) to answer a
    // sent message; kNeverAnswers for one that hangs. A sender with a shorter
    // time limit gives up when it runs out, and the message is not handled.
    std::map<WndHandle, std::uint32_t> answerTimes;
    static constexpr std::uint32_t kNeverAnswers = 0xFFFFFFFF;

    // Delivers queued messages, then due timers, until neither is left.
    // Returns the number of messages delivered.
    int RunUntilIdle();
    // Lets `ms` of virtual time pass, delivering timers as they fall due.
    void AdvanceBy(std::uint32_t ms);

    // What a window looks like to the user (the host has no screen).
    struct Geometry {
        int x, y, width, height;
        bool visible;
        bool topMost;
    };
    Geometry GeometryOf(WndHandle wnd);
    WndHandle Capture() const { return m_capture; }
    int screenWidth = 1280;
    int screenHeight = 1024;

    bool TimerRunning(WndHandle wnd, TimerId id);
    bool QuitRequested() const { return m_quit; }
    int QuitCode() const { return m_quitCode; }
    std::size_t WindowCount();

    std::vector<MessageRecord> posts; // every PostMsg, in order

private:
    struct Window {
        IWindowTarget* target;
        std::u16string className;
        std::u16string title;
        WndHandle parent; // parent of a child, owner of a top-level window
        std::uint32_t style;
        Geometry geometry{};
        bool invalid = false;
        bool destroying = false;
    };
    bool IsChild(const Window& window) const;
    struct Timer {
        WndHandle wnd;
        TimerId id;
        std::uint32_t period;
        std::uint32_t due;
        std::uint64_t order;
    };
    struct Queued {
        WndHandle wnd;
        MsgId msg;
        WParam wParam;
        LParam lParam;
    };

    LResult Deliver(WndHandle wnd, MsgId msg, WParam wParam, LParam lParam);
    bool DeliverOneQueued();
    bool DeliverOneTimer();

    VirtualClock& m_clock;
    std::recursive_mutex m_lock;
    std::map<WndHandle, Window> m_windows; // ordered by creation: handles only grow
    std::vector<Queued> m_queue;
    std::vector<Timer> m_timers;
    std::map<std::u16string, MsgId> m_registered;
    std::map<WndHandle, MsgId> m_foregroundWatchers;
    WndHandle m_nextHandle = 0x20000;
    std::uint64_t m_timerOrder = 0;
    bool m_quit = false;
    int m_quitCode = 0;
    WndHandle m_capture = kNoWindow;
    std::function<bool(const QueuedMsg&)> m_preTranslate;
};

// A window of another program, as tests need them: it records every message
// it receives and otherwise gets default processing.
class StandInWindow final : public IWindowTarget {
public:
    StandInWindow(HostWindowSystem& windows, std::u16string title, std::u16string className = u"",
                  WndHandle parent = kNoWindow);
    ~StandInWindow();
    StandInWindow(const StandInWindow&) = delete;
    StandInWindow& operator=(const StandInWindow&) = delete;

    LResult OnMessage(WndHandle wnd, MsgId msg, WParam wParam, LParam lParam) override;
    WndHandle Handle() const { return m_wnd; }
    // Messages received with this number, in order.
    std::vector<MessageRecord> Received(MsgId msg) const;

    std::vector<MessageRecord> received;
    // Optional reaction; its result replaces default processing when set.
    std::function<LResult(MsgId, WParam, LParam)> onMessage;

private:
    HostWindowSystem& m_windows;
    WndHandle m_wnd = kNoWindow;
};

class HostKernel final : public IKernel {
public:
    KernelHandle CreateNamedMutex(std::u16string_view name, bool& alreadyExisted) override;
    void ReleaseMutex(KernelHandle mutex) override;
    void CloseHandle(KernelHandle handle) override;
    std::u16string ModulePath() override { return modulePath; }
    std::u16string SystemErrorText(std::uint32_t code) override; // the C library's text

    // Makes the mutex exist as if another process held it.
    void HoldElsewhere(std::u16string_view name);
    bool MutexExists(std::u16string_view name);
    std::size_t OpenHandles() const { return m_handles.size(); }

    std::u16string modulePath = u"C:\\Program Files\\Orvane\\OrvaneHid.exe";
    // Fault: the mutex cannot be created (no handle, and none existed).
    bool failMutexCreation = false;

private:
    std::map<std::u16string, int> m_mutexRefs;
    std::map<KernelHandle, std::u16string> m_handles;
    KernelHandle m_next = 0x100;
};

class HostDebugOutput final : public IDebugOutput {
public:
    void Write(std::u16string_view text) override;
    std::vector<std::u16string> lines;

private:
    std::mutex m_lock;
};

// Real files below a temporary folder. "C:\a\b" is <root>/C/a/b; paths
// without a drive letter are refused, as relative paths have no place here,
// and so are the names Windows refuses, which Linux would take.
class HostFileSystem final : public IFileSystem {
public:
    explicit HostFileSystem(std::string root) : m_root(std::move(root)) {}

    bool Exists(std::u16string_view path) override;
    bool IsDirectory(std::u16string_view path) override;
    bool MakeDirectory(std::u16string_view path) override;
    bool TouchFile(std::u16string_view path) override;
    ReadResult ReadAll(std::u16string_view path, std::string& bytes) override;
    bool CreateNew(std::u16string_view path, std::string_view bytes) override;
    bool ReplaceContent(std::u16string_view path, std::string_view bytes) override;
    bool MoveEntry(std::u16string_view from, std::u16string_view to) override;
    bool RemoveFolder(std::u16string_view path) override;
    ReadResult ReadAllUpTo(std::u16string_view path, std::size_t maxBytes, std::string& bytes,
                           std::uint32_t& error) override; // errno values

    // The host path of a platform path; empty when it cannot be mapped. Names
    // Windows refuses are mapped all the same, for tests that look behind
    // the platform; the operations refuse them.
    std::string HostPath(std::u16string_view path) const;
    // Whether Windows refuses the path's names (see files.h).
    static bool RefusedName(std::u16string_view path);
    const std::string& Root() const { return m_root; }

    // Faults: every write fails (a full disk or a read-only folder).
    bool failWrites = false;

private:
    // The host path of a path the operations accept; empty otherwise.
    std::string Usable(std::u16string_view path) const;

    std::string m_root;
};

class HostRegistry final : public IRegistry {
public:
    struct Write {
        std::u16string key;
        std::u16string name;
        bool isDword;
        std::u16string text;
        std::uint32_t dword;
    };

    bool SetString(std::u16string_view keyPath, std::u16string_view name,
                   std::u16string_view value) override;
    bool SetDword(std::u16string_view keyPath, std::u16string_view name,
                  std::uint32_t value) override;

    void CreateKey(std::u16string_view keyPath);
    bool KeyExists(std::u16string_view keyPath) const;
    // The last value written under this key and name, if any.
    const Write* Find(std::u16string_view keyPath, std::u16string_view name) const;

    std::vector<Write> writes; // successful writes, in order

private:
    std::map<std::u16string, std::map<std::u16string, Write>> m_keys; // folded names
};

class HostShell final : public IShell {
public:
    struct Started {
        std::u16string verb; // empty for the default verb
        std::u16string file;
        std::u16string params;
        int showCmd;
    };

    std::u16string AppDataFolder() override { return appData; }
    bool Execute(const char16_t* verb, std::u16string_view file, std::u16string_view params,
                 int showCmd) override;

    bool ResolveShellLink(std::u16string_view link, std::u16string& target) override;

    std::u16string appData = u"C:\\Users\\tester\\AppData\\Roaming";
    std::vector<Started> started;
    std::map<std::u16string, std::u16string> shellLinks; // shortcut -> target
    // Decides whether a start succeeds, and may create the program's windows.
    std::function<bool(const Started&)> onExecute;
};

// All host backends together, installed as the current platform for the
// lifetime of the object.
class HostPlatform {
public:
    HostPlatform();
    ~HostPlatform();
    HostPlatform(const HostPlatform&) = delete;
    HostPlatform& operator=(const HostPlatform&) = delete;

    int RunUntilIdle() { return windows.RunUntilIdle(); }
    void AdvanceBy(std::uint32_t ms) { windows.AdvanceBy(ms); }

    VirtualClock clock;
    HostWindowSystem windows{clock};
    HostKernel kernel;
    HostDebugOutput debug;
    std::unique_ptr<HostFileSystem> files;
    HostRegistry registry;
    HostShell shell;
    HostGraphics graphics;
    HostProcesses processes;
    HostInstaller installer;
    HostCodePages codepages;

private:
    Platform m_previous;
};

} // namespace orv::host
