// The HidDevice.dll of the tests: the library for real keyboards (the
// engine) over the modelled HID stack, so that the service runs the real
// library's logic under Wine. A control window lets tests plug and unplug
// the keyboard, send input reports, put it to sleep and set its answers; a
// log records what it takes and sends. See docs/sim-keyboard.md.
#include "hiddevice/engine_exports.h"
#include "hiddevice/model/model_stack.h"

#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <vector>

namespace {

using orv::hid::HidEngine;
using orv::hid::model::ModelStack;
using orv::hid::model::ReplyVia;

constexpr wchar_t kControlClass[] = L"OrvModelKeyboard";
constexpr wchar_t kControlTitle[] = L"OrvaneModelKeyboard";
constexpr ULONG_PTR kControlDataId = 0x4B4D4953; // "SIMK", as the simulated keyboard's

HMODULE g_module = nullptr;
HANDLE g_ready = nullptr;

std::wstring Environment(const wchar_t* name) {
    wchar_t buf[1024];
    const DWORD n = GetEnvironmentVariableW(name, buf, 1024);
    return n > 0 && n < 1024 ? std::wstring(buf, n) : std::wstring();
}

std::string Narrow(const std::wstring& text) {
    return std::string(text.begin(), text.end()); // commands and names are ASCII
}

std::string Hex(const std::vector<std::uint8_t>& bytes) {
    std::string out;
    char part[4];
    for (std::uint8_t b : bytes) {
        std::snprintf(part, sizeof part, " %02X", b);
        out += part;
    }
    return out;
}

std::vector<std::string> Words(const std::string& text) {
    std::vector<std::string> words;
    std::string word;
    for (char c : text + ' ') {
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
            if (!word.empty())
                words.push_back(word);
            word.clear();
        } else {
            word += c;
        }
    }
    return words;
}

bool Number(const std::string& word, long max, long& value) {
    if (word.empty() || word[0] == '-' || word[0] == '+')
        return false;
    char* end = nullptr;
    value = std::strtol(word.c_str(), &end, 0);
    return end != nullptr && *end == 0 && value >= 0 && value <= max;
}

// One line per event, flushed at once so that a test in another process
// reads it while the keyboard runs: "<tick> <event>".
class Log {
public:
    void Start(const std::wstring& path) {
        std::lock_guard<std::mutex> guard(m_lock);
        m_file = path.empty() ? nullptr : _wfopen(path.c_str(), L"wb");
    }
    void Line(const std::string& text) {
        std::lock_guard<std::mutex> guard(m_lock);
        if (m_file == nullptr)
            return;
        const std::string line = std::to_string(GetTickCount()) + ' ' + text + "\r\n";
        std::fwrite(line.data(), 1, line.size(), m_file);
        std::fflush(m_file);
    }

private:
    std::mutex m_lock;
    FILE* m_file = nullptr;
};

struct Model {
    ModelStack stack{Environment(L"ORV_MODEL_REPLIES") == L"feature" ? ReplyVia::FeatureReports
                                                                     : ReplyVia::InputReports};
    HidEngine engine{stack};
    Log log;

    // plug | unplug | report <usage> <hex bytes> | version <a> <b> | slot <s>
    // | resume | hang on|off | failopen <count> | answer on|off | get slot|plugged
    long Run(const std::string& command) {
        const std::vector<std::string> w = Words(command);
        long a = 0, b = 0;
        if (w.empty())
            return -1;
        if (w[0] == "plug" && w.size() == 1) {
            log.Line("plug");
            stack.Plug();
            return 0;
        }
        if (w[0] == "unplug" && w.size() == 1) {
            log.Line("unplug");
            stack.Unplug();
            return 0;
        }
        if (w[0] == "resume" && w.size() == 1) {
            log.Line("resume");
            stack.Resume();
            return 0;
        }
        if (w[0] == "report" && w.size() >= 3 && Number(w[1], 0xFFFF, a)) {
            std::vector<std::uint8_t> report;
            for (std::size_t i = 2; i < w.size(); ++i) {
                if (w[i].size() != 2 || !Number("0x" + w[i], 0xFF, b))
                    return -1;
                report.push_back(static_cast<std::uint8_t>(b));
            }
            const bool sent = stack.SendInput(static_cast<std::uint16_t>(a), report);
            log.Line("input usage=" + std::to_string(a) + " result=" + (sent ? "1" : "0") + " :" +
                     Hex(report));
            return sent ? 1 : 0;
        }
        if (w[0] == "version" && w.size() == 3 && Number(w[1], 0xFF, a) && Number(w[2], 0xFF, b)) {
            stack.SetVersion(static_cast<std::uint8_t>(a), static_cast<std::uint8_t>(b));
            return 0;
        }
        if (w[0] == "slot" && w.size() == 2 && Number(w[1], 5, a)) {
            stack.SetSlot(static_cast<std::uint8_t>(a));
            return 0;
        }
        if ((w[0] == "hang" || w[0] == "answer") && w.size() == 2 &&
            (w[1] == "on" || w[1] == "off")) {
            if (w[0] == "hang")
                stack.HangWrites(w[1] == "on");
            else
                stack.AnswerQueries(w[1] == "on");
            return 0;
        }
        if (w[0] == "failopen" && w.size() == 2 && Number(w[1], 1000, a)) {
            stack.FailOpens(static_cast<int>(a));
            return 0;
        }
        if (w[0] == "get" && w.size() == 2 && w[1] == "slot")
            return stack.Slot();
        if (w[0] == "get" && w.size() == 2 && w[1] == "plugged")
            return stack.Plugged() ? 1 : 0;
        return -1;
    }
};

Model* g_model = nullptr;

void StartModel() {
    g_model = new Model;
    g_model->log.Start(Environment(L"ORV_SIM_LOG"));
    g_model->stack.onPost = [](const orv::hid::model::PostedMessage& m) {
        PostMessageW(reinterpret_cast<HWND>(m.wnd), m.msg, m.wParam, m.lParam);
    };
    g_model->stack.SetOnTake([](std::uint16_t usage, const std::vector<std::uint8_t>& bytes) {
        g_model->log.Line("write usage=" + std::to_string(usage) +
                          " len=" + std::to_string(bytes.size()) + " :" + Hex(bytes));
    });
    // Commands to run before the library is first used, separated by ';'.
    const std::string start = Narrow(Environment(L"ORV_SIM_START"));
    std::size_t from = 0;
    while (from <= start.size()) {
        std::size_t end = start.find(';', from);
        if (end == std::string::npos)
            end = start.size();
        const std::string command = start.substr(from, end - from);
        if (command.find_first_not_of(' ') != std::string::npos)
            g_model->Run(command);
        from = end + 1;
    }
}

LRESULT CALLBACK ControlProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_COPYDATA) {
        const auto* data = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
        if (data == nullptr || data->dwData != kControlDataId || data->lpData == nullptr)
            return -1;
        std::string command(static_cast<const char*>(data->lpData), data->cbData);
        while (!command.empty() && command.back() == '\0')
            command.pop_back();
        return g_model->Run(command);
    }
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

DWORD WINAPI ControlThread(void*) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = ControlProc;
    wc.hInstance = g_module;
    wc.lpszClassName = kControlClass;
    RegisterClassExW(&wc);
    HWND wnd = CreateWindowExW(0, kControlClass, kControlTitle, WS_POPUP, 0, 0, 1, 1, nullptr,
                               nullptr, g_module, nullptr);
    SetEvent(g_ready);
    if (wnd == nullptr)
        return 1;
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0)
        DispatchMessageW(&msg);
    return 0;
}

} // namespace

namespace orv::hid {

// Every entry waits until the control window exists, so that a test can
// reach it as soon as any entry point has returned.
HidEngine& DllEngine() {
    static std::once_flag once;
    std::call_once(once, [] { WaitForSingleObject(g_ready, 5000); });
    return g_model->engine;
}

} // namespace orv::hid

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, void*) {
    if (reason == DLL_PROCESS_ATTACH) {
        g_module = instance;
        DisableThreadLibraryCalls(instance);
        g_ready = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        StartModel();
        // The thread runs once the loader is done; nothing here waits for it.
        HANDLE thread = CreateThread(nullptr, 0, ControlThread, nullptr, 0, nullptr);
        if (thread != nullptr)
            CloseHandle(thread);
        else
            SetEvent(g_ready);
    }
    return TRUE;
}
