// The HidDevice.dll of the tests: the library for real keyboards (the
// engine) over the modelled HID stack, so that the service runs the real
// library's logic under Wine. A control window lets tests plug and unplug
// the keyboard, send input reports, put it to sleep and set its answers; a
// log records what it takes and sends. See docs/sim-keyboard.md.
#include "device/sim/command_words.h"
#include "hiddevice/control/control_channel.h"
#include "hiddevice/engine_exports.h"
#include "hiddevice/model/model_stack.h"

#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <vector>

namespace {

using orv::hid::HidEngine;
using orv::sim::CommandNumber;
using orv::sim::CommandWords;
using orv::hid::model::ModelStack;
using orv::hid::model::ReplyVia;

constexpr wchar_t kControlClass[] = L"OrvModelKeyboard";
constexpr wchar_t kControlTitle[] = L"OrvaneModelKeyboard";
constexpr ULONG_PTR kControlDataId = 0x4B4D4953; // "SIMK", as the simulated keyboard's

std::string Hex(const std::vector<std::uint8_t>& bytes) {
    std::string out;
    char part[4];
    for (std::uint8_t b : bytes) {
        std::snprintf(part, sizeof part, " %02X", b);
        out += part;
    }
    return out;
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
    ModelStack stack{orv::hid::EnvironmentText(L"ORV_MODEL_REPLIES") == L"feature"
                         ? ReplyVia::FeatureReports
                         : ReplyVia::InputReports};
    HidEngine engine{stack};
    Log log;

    // plug | unplug | report <usage> <hex bytes> | version <a> <b> | slot <s>
    // | resume | hang on|off | failopen <count> | answer on|off | get slot|plugged
    long Run(const std::string& command) {
        const std::vector<std::string> w = CommandWords(command);
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
        if (w[0] == "report" && w.size() >= 3 && CommandNumber(w[1], 0xFFFF, a)) {
            std::vector<std::uint8_t> report;
            for (std::size_t i = 2; i < w.size(); ++i) {
                if (w[i].size() != 2 || !CommandNumber("0x" + w[i], 0xFF, b))
                    return -1;
                report.push_back(static_cast<std::uint8_t>(b));
            }
            const bool sent = stack.SendInput(static_cast<std::uint16_t>(a), report);
            log.Line("input usage=" + std::to_string(a) + " result=" + (sent ? "1" : "0") + " :" +
                     Hex(report));
            return sent ? 1 : 0;
        }
        if (w[0] == "version" && w.size() == 3 && CommandNumber(w[1], 0xFF, a) &&
            CommandNumber(w[2], 0xFF, b)) {
            stack.SetVersion(static_cast<std::uint8_t>(a), static_cast<std::uint8_t>(b));
            return 0;
        }
        if (w[0] == "slot" && w.size() == 2 && CommandNumber(w[1], 5, a)) {
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
        if (w[0] == "failopen" && w.size() == 2 && CommandNumber(w[1], 1000, a)) {
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

long RunCommand(const std::string& command) {
    return g_model->Run(command);
}

void StartModel() {
    g_model = new Model;
    g_model->log.Start(orv::hid::EnvironmentText(L"ORV_SIM_LOG"));
    g_model->stack.onPost = [](const orv::hid::model::PostedMessage& m) {
        PostMessageW(reinterpret_cast<HWND>(m.wnd), m.msg, m.wParam, m.lParam);
    };
    g_model->stack.SetOnTake([](std::uint16_t usage, const std::vector<std::uint8_t>& bytes) {
        g_model->log.Line("write usage=" + std::to_string(usage) +
                          " len=" + std::to_string(bytes.size()) + " :" + Hex(bytes));
    });
    // Commands to run before the library is first used, separated by ';'.
    orv::hid::RunStartCommands(L"ORV_SIM_START", RunCommand);
}

} // namespace

namespace orv::hid {

// Every entry waits until the control window exists, so that a test can
// reach it as soon as any entry point has returned.
HidEngine& DllEngine() {
    WaitForControlChannel();
    return g_model->engine;
}

} // namespace orv::hid

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, void*) {
    if (reason == DLL_PROCESS_ATTACH) {
        DisableThreadLibraryCalls(instance);
        StartModel();
        orv::hid::StartControlChannel(instance,
                                      {kControlClass, kControlTitle, kControlDataId, RunCommand});
    }
    return TRUE;
}
