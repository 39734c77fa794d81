// orvctl (dist/tools/orvctl.exe) against the installed service on the
// simulated keyboard: status for people and scripts, the slot verbs, the
// uploads, watch, bad arguments (refused before anything is sent), the
// verbs that find no service, the low-level verbs the demo uses, and profile
// edits taken up by the running service.
#include "../common/json_reader.h"
#include "e2e_support.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace orv::e2e {
namespace {

struct Result {
    DWORD code = 0xFFFFFFFF;
    std::string out, err;
};

std::wstring Quoted(const std::wstring& arg) {
    return L"\"" + arg + L"\"";
}

HANDLE Inheritable(const std::wstring& path) {
    SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
    return CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &sa,
                       CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
}

// Starts orvctl with its output in `out` and `err`; null on failure.
HANDLE StartOrvctl(const std::vector<std::wstring>& args, const std::wstring& out,
                   const std::wstring& err) {
    std::wstring command = Quoted(DistDir() + L"tools\\orvctl.exe");
    for (const std::wstring& arg : args)
        command += L" " + Quoted(arg);
    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    si.hStdOutput = Inheritable(out);
    si.hStdError = Inheritable(err);
    PROCESS_INFORMATION pi{};
    BOOL started = CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW,
                                  nullptr, nullptr, &si, &pi);
    CloseHandle(si.hStdOutput);
    CloseHandle(si.hStdError);
    if (!started)
        return nullptr;
    CloseHandle(pi.hThread);
    return pi.hProcess;
}

std::wstring OutputFile(const wchar_t* name) {
    return ExeDir() + name;
}

Result RunOrvctl(const std::vector<std::wstring>& args) {
    Result result;
    HANDLE process = StartOrvctl(args, OutputFile(L"orvctl.out"), OutputFile(L"orvctl.err"));
    if (process == nullptr) {
        ADD_FAILURE() << "orvctl.exe did not start";
        return result;
    }
    if (WaitForSingleObject(process, 20000) == WAIT_OBJECT_0)
        GetExitCodeProcess(process, &result.code);
    else
        TerminateProcess(process, 1);
    CloseHandle(process);
    result.out = ReadFileBytes(OutputFile(L"orvctl.out"));
    result.err = ReadFileBytes(OutputFile(L"orvctl.err"));
    return result;
}

test::Json Status() {
    Result status = RunOrvctl({L"status", L"--json"});
    EXPECT_EQ(status.code, 0u) << status.err;
    test::Json json;
    EXPECT_TRUE(test::JsonReader::Parse(status.out, json)) << status.out;
    return json;
}

int StatusSlot() {
    return static_cast<int>(Status()["slot"].number);
}

const std::vector<std::vector<std::wstring>> kBadInputs = {
    {L"slot"},
    {L"slot", L"6"},
    {L"slot", L"-1"},
    {L"slot", L"2x"},
    {L"slot", L"1", L"2"},
    {L"slot", L"--temporary", L"9"},
    {L"slot", L"--soon", L"1"},
    {L"upload", L"--everything"},
    {L"upload-slot", L"06"},
    {L"reload", L"now"},
    {L"status", L"--xml"},
    {L"frobnicate"},
};

void ExpectRefused(const std::vector<std::wstring>& args) {
    Result r = RunOrvctl(args);
    EXPECT_EQ(r.code, 2u) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("orvctl"), std::string::npos);
}

using OrvctlEndToEnd = FreshDataTest;

TEST_F(OrvctlEndToEnd, WithoutAServiceTheVerbsSaySoAndBadArgumentsStillComeFirst) {
    for (const std::vector<std::wstring>& args : std::vector<std::vector<std::wstring>>{
             {L"status"}, {L"slot", L"1"}, {L"slot", L"--back"}, {L"upload"}, {L"reload"}}) {
        Result r = RunOrvctl(args);
        EXPECT_EQ(r.code, 3u);
        EXPECT_NE(r.err.find("not running"), std::string::npos) << r.err;
    }
    for (const auto& args : kBadInputs)
        ExpectRefused(args);
    // The verbs for tests are still there, as the demo calls them.
    EXPECT_EQ(RunOrvctl({L"find", L"Orvane_Hid"}).code, 1u);
    EXPECT_EQ(RunOrvctl({L"find"}).code, 2u);
    EXPECT_NE(RunOrvctl({L"--help"}).out.find("orvctl ini-get"), std::string::npos);
}

TEST_F(OrvctlEndToEnd, StatusSlotsUploadsAndWatchAgainstTheService) {
    SimInstall install;
    Process service;
    ASSERT_NE(install.StartService(service), nullptr);
    HANDLE watch =
        StartOrvctl({L"watch"}, install.Dir() + L"watch.out", install.Dir() + L"watch.err");
    ASSERT_NE(watch, nullptr);
    ASSERT_TRUE(Eventually([] { return Status()["plugged"].boolean; }, 40000));
    ASSERT_TRUE(
        install.WaitForLog("read", 10, 60000)); // the start-up queries of all five collections

    test::Json status = Status();
    EXPECT_TRUE(status["running"].boolean);
    EXPECT_EQ(status["firmware"].text, "10");
    EXPECT_EQ(status["slot"].number, 0);
    ASSERT_EQ(status["profiles"].items.size(), 6u);
    EXPECT_EQ(status["profiles"].items[4]["name"].text, "Profile 4");

    // Refused arguments change nothing while the service runs.
    std::string config = ReadFileBytes(DataDir() + L"config.ini");
    std::size_t logged = install.LogSize();
    for (const auto& args : kBadInputs)
        ExpectRefused(args);
    Sleep(500);
    EXPECT_EQ(ReadFileBytes(DataDir() + L"config.ini"), config);
    EXPECT_EQ(install.LogSize(), logged);

    EXPECT_EQ(RunOrvctl({L"slot", L"3"}).code, 0u);
    EXPECT_TRUE(Eventually([] { return StatusSlot() == 3; }));
    EXPECT_EQ(Status()["profile"].text, "Profile 3");
    EXPECT_EQ(RunOrvctl({L"slot", L"--temporary", L"5"}).code, 0u);
    EXPECT_TRUE(Eventually([] { return StatusSlot() == 5; }));
    EXPECT_EQ(RunOrvctl({L"slot", L"--back"}).code, 0u);
    EXPECT_TRUE(Eventually([] { return StatusSlot() == 3; }));

    std::size_t before = install.LogSize();
    EXPECT_EQ(RunOrvctl({L"upload-slot", L"2"}).code, 0u);
    EXPECT_EQ(StatusSlot(), 2); // made current first, so that its own lighting is written
    EXPECT_NE(install.WaitForSlotCommand(before, 2, 20000), 0u);
    EXPECT_EQ(RunOrvctl({L"reload"}).code, 0u);
    before = install.LogSize();
    EXPECT_EQ(RunOrvctl({L"upload", L"--lighting"}).code, 0u);
    EXPECT_TRUE(Eventually([&] { return install.LogSize() > before + 10; }, 20000));

    std::vector<std::string> expected = {
        "service running", "plugged yes",
        "firmware 10",     "broadcast QUIV_DEV_SYNC code 0 (select-slot) value 3",
        "slot 3",          "broadcast QUIV_DEV_SYNC code 1 (temporary-switch) value 6",
        "slot 5",          "broadcast QUIV_DEV_SYNC code 1 (temporary-switch) value -1",
    };
    std::wstring watched = install.Dir() + L"watch.out";
    for (const std::string& line : expected)
        EXPECT_TRUE(Eventually([&] { return CountContaining(ReadLines(watched), line) > 0; }))
            << line << "\n"
            << ReadFileBytes(watched);
    EXPECT_EQ(CountContaining(ReadLines(watched), "plugged yes"), 1) << ReadFileBytes(watched);
    TerminateProcess(watch, 0);
    CloseHandle(watch);
    StopService();
}

TEST_F(OrvctlEndToEnd, ProfileEditsAreTakenUpByTheRunningService) {
    SimInstall install;
    Process service;
    ASSERT_NE(install.StartService(service), nullptr);
    ASSERT_TRUE(Eventually([] { return Status()["plugged"].boolean; }, 40000));
    ASSERT_TRUE(install.WaitForLog("read", 10, 60000));

    // Esc of the current slot starts a program from now on, without the
    // service being started again; the keyboard reports such a key with
    // the key code 0xFE (Esc is at matrix position 1).
    const std::wstring started = install.Dir() + L"started.txt";
    const std::wstring program = install.Dir() + L"probe.cmd";
    const std::string script = "@echo started> \"" + std::string(started.begin(), started.end()) +
                               "\"\r\n";
    HANDLE file = CreateFileW(program.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    WriteFile(file, script.data(), static_cast<DWORD>(script.size()), &written, nullptr);
    CloseHandle(file);
    Result assigned = RunOrvctl({L"profile", L"assign", L"0", L"Esc", L"launch", program});
    ASSERT_EQ(assigned.code, 0u) << assigned.err;
    EXPECT_EQ(SimCommand("report 1 08 01 01 FE 00 00 00 00 00"), 1);
    EXPECT_TRUE(Eventually([&] { return PathExists(started); }, 15000))
        << "the service still has the key it had before the edit";

    // A name lives in the service's list for every slot, not only the current one.
    EXPECT_EQ(RunOrvctl({L"profile", L"rename", L"4", L"Night drive"}).code, 0u);
    EXPECT_EQ(Status()["profiles"].items[4]["name"].text, "Night drive");
    // The configuration program finds it where it keeps it: slot 4's record
    // of the list, by the platform's own INI functions.
    const std::wstring config = DataDir() + L"config.ini";
    const UINT record = GetPrivateProfileIntW(L"ProfileData", L"Mode_5", 4, config.c_str());
    wchar_t name[32] = L"";
    GetPrivateProfileStringW((L"MyXlistIconInfo" + std::to_wstring(record)).c_str(),
                             L"ProfileName", L"", name, 32, config.c_str());
    EXPECT_STREQ(name, L"Night drive");

    // --upload writes the edited slot to the keyboard when it is the current
    // one, and is refused for another before anything is written.
    std::size_t before = install.LogSize();
    EXPECT_EQ(
        RunOrvctl({L"profile", L"set-lighting", L"0", L"--effect", L"7", L"--upload"}).code, 0u);
    EXPECT_TRUE(Eventually(
        [&] {
            const std::vector<std::string> lines = install.LogLines();
            return CountContaining({lines.begin() + static_cast<std::ptrdiff_t>(before), lines.end()},
                                   ": 0A 0A 00 07") > 0;
        },
        30000));
    const std::wstring slot3 = DataDir() + L"Profiles\\Profile 3.ini";
    const std::string slot3Bytes = ReadFileBytes(slot3);
    Result other = RunOrvctl({L"profile", L"set-lighting", L"3", L"--effect", L"7", L"--upload"});
    EXPECT_EQ(other.code, 2u);
    EXPECT_NE(other.err.find("which is 0, not 3"), std::string::npos) << other.err;
    EXPECT_EQ(ReadFileBytes(slot3), slot3Bytes);
    EXPECT_EQ(StatusSlot(), 0);
    StopService();
}

} // namespace
} // namespace orv::e2e
