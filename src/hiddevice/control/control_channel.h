// The control channel of the tests' libraries (the simulated keyboard and
// the modelled stack): a window owned by the library's own thread that runs
// the commands other processes send it as WM_COPYDATA, and the commands an
// environment variable names for the moment the library is loaded.
#pragma once

#include <windows.h>

#include <string>

namespace orv::hid {

// Runs one command; its result is the answer to WM_COPYDATA (-1 for an
// unknown or malformed command).
using ControlHandler = long (*)(const std::string& command);

struct ControlChannel {
    const wchar_t* className;
    const wchar_t* title;
    ULONG_PTR dataId; // the dwData a command must carry
    ControlHandler run;
};

// From DllMain: starts the thread that owns the control window. Nothing here
// waits for it; the thread runs once the loader is done.
void StartControlChannel(HMODULE module, const ControlChannel& channel);
// Waits (once, at most 5 s) until the control window exists, so that a test
// reaches the channel as soon as any entry point has returned.
void WaitForControlChannel();

// Runs the ';'-separated commands of an environment variable, in order.
void RunStartCommands(const wchar_t* variable, ControlHandler run);

std::wstring EnvironmentText(const wchar_t* name);
std::string Utf8(const std::wstring& text);
std::wstring FromUtf8(const std::string& text);

} // namespace orv::hid
