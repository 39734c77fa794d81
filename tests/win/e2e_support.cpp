#include "e2e_support.h"

#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <cstdlib>
#include <vector>

namespace orv::e2e {

std::wstring DistDir() {
    wchar_t buf[MAX_PATH];
    DWORD n = GetEnvironmentVariableW(L"ORV_DIST", buf, MAX_PATH);
    std::wstring dir = n > 0 && n < MAX_PATH ? std::wstring(buf, n) : L".";
    if (dir.back() != L'\\')
        dir += L'\\';
    return dir;
}

std::wstring AppDataDir() {
    wchar_t buf[MAX_PATH];
    if (SHGetFolderPathW(nullptr, CSIDL_APPDATA | CSIDL_FLAG_CREATE, nullptr, SHGFP_TYPE_CURRENT,
                         buf) != S_OK)
        return L"";
    return buf;
}

std::wstring DataDir() {
    return AppDataDir() + L"\\Orvane\\";
}

bool PathExists(const std::wstring& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool IsDirectory(const std::wstring& path) {
    DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::string ReadFileBytes(const std::wstring& path) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return {};
    std::string bytes;
    char buf[65536];
    DWORD got = 0;
    while (ReadFile(file, buf, sizeof buf, &got, nullptr) && got > 0)
        bytes.append(buf, got);
    CloseHandle(file);
    return bytes;
}

bool RemoveTree(const std::wstring& path) {
    std::wstring dir = path;
    while (!dir.empty() && dir.back() == L'\\')
        dir.pop_back();
    if (!PathExists(dir))
        return true;
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((dir + L"\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            std::wstring name = found.cFileName;
            if (name == L"." || name == L"..")
                continue;
            std::wstring child = dir + L"\\" + name;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveTree(child);
            else
                DeleteFileW(child.c_str());
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
    RemoveDirectoryW(dir.c_str());
    return !PathExists(dir);
}

std::vector<std::wstring> FilesIn(const std::wstring& dir) {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found;
    HANDLE h = FindFirstFileW((dir + L"*").c_str(), &found);
    if (h == INVALID_HANDLE_VALUE)
        return names;
    do
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            names.push_back(found.cFileName);
    while (FindNextFileW(h, &found));
    FindClose(h);
    return names;
}

std::wstring ExeDir() {
    wchar_t path[MAX_PATH];
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring dir = path;
    return dir.substr(0, dir.find_last_of(L'\\') + 1);
}

bool MakeShellLink(const std::wstring& link, const std::wstring& target) {
    IShellLinkW* shellLink = nullptr;
    IPersistFile* file = nullptr;
    bool made =
        SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                   reinterpret_cast<void**>(&shellLink))) &&
        SUCCEEDED(shellLink->SetPath(target.c_str())) &&
        SUCCEEDED(shellLink->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file))) &&
        SUCCEEDED(file->Save(link.c_str(), TRUE));
    if (file)
        file->Release();
    if (shellLink)
        shellLink->Release();
    return made;
}

Process::~Process() {
    if (m_info.hProcess != nullptr) {
        if (Running()) {
            TerminateProcess(m_info.hProcess, 99);
            WaitForSingleObject(m_info.hProcess, 5000);
        }
        CloseHandle(m_info.hProcess);
        CloseHandle(m_info.hThread);
    }
}

bool Process::Start(const std::wstring& exe, const std::wstring& args, const std::wstring& folder) {
    std::wstring command = L"\"" + exe + L"\"";
    if (!args.empty())
        command += L" " + args;
    std::vector<wchar_t> line(command.begin(), command.end());
    line.push_back(0);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    return CreateProcessW(exe.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                          folder.empty() ? nullptr : folder.c_str(), &startup, &m_info) != FALSE;
}

DWORD Process::Wait(DWORD ms) {
    if (WaitForSingleObject(m_info.hProcess, ms) != WAIT_OBJECT_0)
        return STILL_ACTIVE;
    DWORD code = 0;
    GetExitCodeProcess(m_info.hProcess, &code);
    return code;
}

bool Process::WaitIdle(DWORD ms) {
    return WaitForInputIdle(m_info.hProcess, ms) == 0;
}

bool Process::Running() {
    return WaitForSingleObject(m_info.hProcess, 0) == WAIT_TIMEOUT;
}

HWND WaitForWindow(const wchar_t* title, DWORD ms, const wchar_t* className) {
    DWORD start = GetTickCount();
    for (;;) {
        HWND wnd = FindWindowW(className, title);
        if (wnd != nullptr || GetTickCount() - start >= ms)
            return wnd;
        Sleep(20);
    }
}

bool WaitForNoWindow(const wchar_t* title, DWORD ms) {
    DWORD start = GetTickCount();
    while (FindWindowW(nullptr, title) != nullptr) {
        if (GetTickCount() - start >= ms)
            return false;
        Sleep(20);
    }
    return true;
}

int CountWindows(const wchar_t* title) {
    struct Search {
        const wchar_t* title;
        int count;
    } search{title, 0};
    EnumWindows(
        [](HWND wnd, LPARAM param) -> BOOL {
            auto* s = reinterpret_cast<Search*>(param);
            wchar_t text[256];
            if (GetWindowTextW(wnd, text, 256) > 0 && wcscmp(text, s->title) == 0)
                ++s->count;
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.count;
}

// Asks the program that owns this top-level window to end (`msg`), waiting
// for its process and ending it forcibly after `ms`: a leftover program would
// hold on to the test's output.
void CloseProgram(const wchar_t* title, UINT msg, DWORD ms) {
    HWND wnd = FindWindowW(nullptr, title);
    if (wnd == nullptr)
        return;
    DWORD pid = 0;
    GetWindowThreadProcessId(wnd, &pid);
    HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, pid);
    PostMessageW(wnd, msg, 0, 0);
    if (process != nullptr) {
        if (WaitForSingleObject(process, ms) != WAIT_OBJECT_0)
            TerminateProcess(process, 99);
        CloseHandle(process);
    }
}

void StopService(DWORD ms) {
    CloseProgram(L"Orvane_Hid", WM_CLOSE, ms);
}

std::vector<std::string> ReadLines(const std::wstring& path) {
    std::vector<std::string> lines;
    std::string text = ReadFileBytes(path);
    std::size_t from = 0;
    for (std::size_t end; (end = text.find('\n', from)) != std::string::npos; from = end + 1) {
        std::size_t length = end - from;
        if (length > 0 && text[end - 1] == '\r')
            --length;
        lines.push_back(text.substr(from, length));
    }
    return lines;
}

int CountPrefixed(const std::vector<std::string>& lines, const std::string& prefix) {
    int n = 0;
    for (const std::string& line : lines)
        n += line.rfind(prefix, 0) == 0;
    return n;
}

int CountContaining(const std::vector<std::string>& lines, const std::string& part) {
    int n = 0;
    for (const std::string& line : lines)
        n += line.find(part) != std::string::npos;
    return n;
}

bool WaitForLines(const std::wstring& path, int wanted, DWORD ms,
                  int (*count)(const std::vector<std::string>&, const std::string&),
                  const std::string& text) {
    DWORD start = GetTickCount();
    while (count(ReadLines(path), text) < wanted) {
        if (GetTickCount() - start >= ms)
            return false;
        Sleep(20);
    }
    return true;
}

LRESULT SimCommand(const std::string& command) {
    HWND wnd = FindWindowW(L"OrvSimKeyboard", L"OrvaneSimKeyboard");
    if (wnd == nullptr)
        return -2;
    COPYDATASTRUCT data{0x4B4D4953, static_cast<DWORD>(command.size()),
                        const_cast<char*>(command.data())};
    return SendMessageW(wnd, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data));
}

LRESULT ModelCommand(const std::string& command) {
    HWND wnd = FindWindowW(L"OrvModelKeyboard", L"OrvaneModelKeyboard");
    if (wnd == nullptr)
        return -2;
    COPYDATASTRUCT data{0x4B4D4953, static_cast<DWORD>(command.size()),
                        const_cast<char*>(command.data())};
    return SendMessageW(wnd, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data));
}

std::wstring ModelLibrary() {
    return ExeDir() + L"model\\HidDevice.dll";
}

namespace {

bool CopyTree(const std::wstring& from, const std::wstring& to) {
    CreateDirectoryW(to.c_str(), nullptr);
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((from + L"\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return false;
    bool ok = true;
    do {
        std::wstring name = found.cFileName;
        if (name == L"." || name == L"..")
            continue;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            ok = CopyTree(from + L"\\" + name, to + L"\\" + name) && ok;
        else
            ok = CopyFileW((from + L"\\" + name).c_str(), (to + L"\\" + name).c_str(), FALSE) && ok;
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return ok;
}

} // namespace

SimInstall::SimInstall(const std::string& simStart, const std::wstring& library) {
    wchar_t temp[MAX_PATH];
    DWORD n = GetTempPathW(MAX_PATH, temp);
    m_dir = std::wstring(temp, n) + L"orv_e2e_install\\";
    RemoveTree(m_dir);
    CreateDirectoryW(m_dir.c_str(), nullptr);
    for (const wchar_t* file : {L"OrvaneHid.exe", L"osdview.exe", L"traystub.exe", L"Strings.xml"})
        CopyFileW((DistDir() + file).c_str(), (m_dir + file).c_str(), FALSE);
    CopyTree(DistDir() + L"skins", m_dir + L"skins");
    const std::wstring dll = library.empty() ? DistDir() + L"sim\\HidDevice.dll" : library;
    CopyFileW(dll.c_str(), (m_dir + L"HidDevice.dll").c_str(), FALSE);
    SetEnvironmentVariableW(L"ORV_SIM_LOG", Log().c_str());
    std::wstring start(simStart.begin(), simStart.end());
    SetEnvironmentVariableW(L"ORV_SIM_START", simStart.empty() ? nullptr : start.c_str());
}

HWND SimInstall::StartService(Process& service) const {
    if (!service.Start(Exe()))
        return nullptr;
    return WaitForWindow(L"Orvane_Hid", 10000);
}

SimInstall::~SimInstall() {
    StopService();
    CloseProgram(L"Orvane_TrayIcon", WM_CLOSE, 5000);
    CloseProgram(L"Orvane OSD", WM_DESTROY, 5000);
    SetEnvironmentVariableW(L"ORV_SIM_LOG", nullptr);
    SetEnvironmentVariableW(L"ORV_SIM_START", nullptr);
    RemoveTree(m_dir);
}

std::vector<std::string> SimInstall::LogLines() const {
    std::vector<std::string> lines;
    for (const std::string& line : ReadLines(Log()))
        lines.push_back(line.substr(line.find(' ') + 1));
    return lines;
}

bool SimInstall::WaitForLog(const std::string& prefix, int count, DWORD ms) const {
    DWORD start = GetTickCount();
    while (CountPrefixed(LogLines(), prefix) < count) {
        if (GetTickCount() - start >= ms)
            return false;
        Sleep(20);
    }
    return true;
}

namespace {

// The slot of a slot command line ("<time> write ... : 0A 03 <slot> ..."), or -1.
int SlotOfCommand(const std::string& line) {
    std::size_t at = line.find(" : 0A 03 ");
    if (at == std::string::npos)
        return -1;
    return static_cast<int>(std::strtol(line.c_str() + at + 9, nullptr, 16));
}

} // namespace

DWORD SimInstall::WaitForSlotCommand(std::size_t from, int slot, DWORD ms) const {
    DWORD start = GetTickCount();
    for (;;) {
        std::vector<std::string> lines = ReadLines(Log());
        for (std::size_t i = from; i < lines.size(); ++i) {
            if (SlotOfCommand(lines[i]) == slot)
                return static_cast<DWORD>(std::strtoul(lines[i].c_str(), nullptr, 10));
        }
        if (GetTickCount() - start >= ms)
            return 0;
        Sleep(5);
    }
}

std::vector<int> SimInstall::SlotCommandsSince(std::size_t from) const {
    std::vector<int> slots;
    std::vector<std::string> lines = ReadLines(Log());
    for (std::size_t i = from; i < lines.size(); ++i) {
        if (int slot = SlotOfCommand(lines[i]); slot >= 0)
            slots.push_back(slot);
    }
    return slots;
}

bool ShownProgram::Start(const std::wstring& dir, const std::wstring& exeName,
                         const wchar_t* title) {
    std::wstring exe = dir + exeName;
    if (!CopyFileW((DistDir() + L"tools\\standin.exe").c_str(), exe.c_str(), FALSE))
        return false;
    std::wstring log = dir + exeName + L".log";
    if (!m_process.Start(exe, L"\"" + log + L"\" --shown \"" + title + L"\""))
        return false;
    m_wnd = WaitForWindow(title, 10000);
    // A new visible window activates itself; that must be over before a test
    // brings another window to the front, or it may take the front back.
    Eventually([&] { return GetForegroundWindow() == m_wnd; }, 1000);
    return m_wnd != nullptr;
}

DWORD ShownProgram::BringToFront() const {
    // The window's own thread takes the activation, a moment later; one that
    // is still busy activating another window may miss it, so it is asked
    // again. The time returned is that of the request that held.
    for (int attempt = 0; attempt < 5; ++attempt) {
        DWORD before = GetTickCount();
        SetForegroundWindow(m_wnd);
        if (Eventually([&] { return GetForegroundWindow() == m_wnd; }, 400))
            return before;
    }
    return 0;
}

} // namespace orv::e2e
