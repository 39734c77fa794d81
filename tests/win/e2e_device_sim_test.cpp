// The service's executable with the simulated keyboard beside it: it opens
// the keyboard at start, starts the library over on WM_HID_REOPEN, passes
// the keyboard's reports on from the library's thread, and runs on without
// any library at all.
#include "e2e_support.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace orv::e2e {
namespace {

constexpr UINT kReopen = 0x900;
constexpr UINT kFeNotify = 0x460;

LRESULT SimCommand(const std::string& command) {
    HWND wnd = FindWindowW(L"OrvSimKeyboard", L"OrvaneSimKeyboard");
    if (wnd == nullptr)
        return -2;
    COPYDATASTRUCT data{0x4B4D4953, static_cast<DWORD>(command.size()),
                        const_cast<char*>(command.data())};
    return SendMessageW(wnd, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data));
}

std::string ReadText(const std::wstring& path) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return {};
    std::string text;
    char buf[4096];
    DWORD got = 0;
    while (ReadFile(file, buf, sizeof buf, &got, nullptr) && got > 0)
        text.append(buf, got);
    CloseHandle(file);
    return text;
}

// The log's lines without their times.
std::vector<std::string> LogLines(const std::wstring& path) {
    std::vector<std::string> lines;
    std::string text = ReadText(path);
    std::size_t from = 0;
    for (std::size_t end; (end = text.find("\r\n", from)) != std::string::npos; from = end + 2) {
        std::string line = text.substr(from, end - from);
        lines.push_back(line.substr(line.find(' ') + 1));
    }
    return lines;
}

int Count(const std::vector<std::string>& lines, const std::string& start) {
    int n = 0;
    for (const std::string& line : lines)
        n += line.rfind(start, 0) == 0;
    return n;
}

// Stands in for the configuration program: a top-level window "Orvane" with
// a child "Orvane" that records the messages it is posted.
class ConfigWindow {
public:
    ConfigWindow() {
        WNDCLASSW wc{};
        wc.lpfnWndProc = Proc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"OrvE2eConfig";
        RegisterClassW(&wc);
        m_top = CreateWindowExW(0, wc.lpszClassName, L"Orvane", WS_POPUP, 0, 0, 1, 1, nullptr,
                                nullptr, wc.hInstance, nullptr);
        m_child = CreateWindowExW(0, wc.lpszClassName, L"Orvane", WS_CHILD, 0, 0, 1, 1, m_top,
                                  nullptr, wc.hInstance, nullptr);
        s_received.clear();
    }
    ~ConfigWindow() { DestroyWindow(m_top); }

    // Delivers messages until the child has received `msg`; its wParam, or -1.
    static long WaitFor(UINT msg, DWORD ms) {
        DWORD start = GetTickCount();
        for (;;) {
            MSG m;
            while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE))
                DispatchMessageW(&m);
            for (const MSG& r : s_received) {
                if (r.message == msg)
                    return static_cast<long>(r.wParam);
            }
            if (GetTickCount() - start >= ms)
                return -1;
            Sleep(10);
        }
    }

private:
    static LRESULT CALLBACK Proc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
        if (msg >= WM_USER && GetParent(wnd) != nullptr)
            s_received.push_back(MSG{wnd, msg, wParam, lParam, 0, {}});
        return DefWindowProcW(wnd, msg, wParam, lParam);
    }

    static inline std::vector<MSG> s_received;
    HWND m_top = nullptr;
    HWND m_child = nullptr;
};

class ServiceDevice : public ::testing::Test {
protected:
    void SetUp() override {
        StopService();
        wchar_t temp[MAX_PATH];
        DWORD n = GetTempPathW(MAX_PATH, temp);
        m_dir = std::wstring(temp, n) + L"orv_e2e_device\\";
        ASSERT_TRUE(RemoveTree(m_dir));
        ASSERT_TRUE(CreateDirectoryW(m_dir.c_str(), nullptr));
        ASSERT_TRUE(CopyFileW((DistDir() + L"OrvaneHid.exe").c_str(),
                              (m_dir + L"OrvaneHid.exe").c_str(), FALSE));
        SetEnvironmentVariableW(L"ORV_SIM_LOG", Log().c_str());
    }
    void TearDown() override {
        StopService();
        SetEnvironmentVariableW(L"ORV_SIM_LOG", nullptr);
        RemoveTree(m_dir);
    }

    void AddSimulatedKeyboard() {
        ASSERT_TRUE(CopyFileW((DistDir() + L"sim\\HidDevice.dll").c_str(),
                              (m_dir + L"HidDevice.dll").c_str(), FALSE));
    }
    std::wstring Log() const { return m_dir + L"sim.log"; }
    // Waits until the log holds `count` lines beginning with `start`.
    bool WaitForLog(const std::string& start, int count, DWORD ms = 10000) {
        DWORD begin = GetTickCount();
        while (Count(LogLines(Log()), start) < count) {
            if (GetTickCount() - begin >= ms)
                return false;
            Sleep(20);
        }
        return true;
    }

    std::wstring m_dir;
};

TEST_F(ServiceDevice, OpensTheKeyboardAtStartAndStartsOverOnRequest) {
    AddSimulatedKeyboard();
    Process service;
    ASSERT_TRUE(service.Start(m_dir + L"OrvaneHid.exe"));
    HWND main = WaitForWindow(L"Orvane_Hid", 10000);
    ASSERT_NE(main, nullptr);
    ASSERT_TRUE(WaitForLog("arrive", 5));

    const std::string filter =
        "filter vid=258A pid=0090 count=5 1:FF00 2:FF00 3:FF00 4:FF00 5:FF00";
    std::vector<std::string> lines = LogLines(Log());
    ASSERT_EQ(lines.size(), 8u);
    EXPECT_EQ(lines[0], filter);
    EXPECT_EQ(lines[1], "callback set");
    EXPECT_EQ(lines[2].substr(0, 9), "open wnd=");
    EXPECT_EQ(lines[2].substr(17), " msg=0502 result=1");
    EXPECT_EQ(lines[3], "arrive id=0101 usage=1 page=FF00");
    EXPECT_EQ(lines[7], "arrive id=0105 usage=5 page=FF00");

    PostMessageW(main, kReopen, 0, 0);
    ASSERT_TRUE(WaitForLog("arrive", 10));
    lines = LogLines(Log());
    const std::vector<std::string> reopen(lines.begin() + 8, lines.begin() + 14);
    const std::vector<std::string> expected = {"filter vid=0000 pid=0000 count=0",
                                               "callback none",
                                               "close",
                                               filter,
                                               "callback set",
                                               lines[2]};
    EXPECT_EQ(reopen, expected);

    // A report from the keyboard reaches the configuration program.
    ConfigWindow config;
    EXPECT_EQ(SimCommand("report 1 08 FE 06 00 00 00 00 00 00"), 1);
    EXPECT_EQ(ConfigWindow::WaitFor(kFeNotify, 5000), 1);

    EXPECT_EQ(SimCommand("unplug"), 0);
    EXPECT_TRUE(WaitForLog("remove", 5));
    EXPECT_TRUE(service.Running());

    // The library is left open; the service still ends cleanly.
    PostMessageW(main, WM_CLOSE, 0, 0);
    EXPECT_EQ(service.Wait(5000), 0u);
}

TEST_F(ServiceDevice, RunsOnWithoutTheLibrary) {
    Process service;
    ASSERT_TRUE(service.Start(m_dir + L"OrvaneHid.exe"));
    HWND main = WaitForWindow(L"Orvane_Hid", 10000);
    ASSERT_NE(main, nullptr);
    PostMessageW(main, kReopen, 0, 0);
    Sleep(300);
    EXPECT_TRUE(service.Running());
    PostMessageW(main, WM_CLOSE, 0, 0);
    EXPECT_EQ(service.Wait(5000), 0u);
}

} // namespace
} // namespace orv::e2e
