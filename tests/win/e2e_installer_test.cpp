// The setup program from dist/installer/ under Wine, run silently as scripts
// run it: a fresh install, an upgrade over the running service, an install
// beside a configuration suite and the uninstaller with and without the
// settings.
#include "e2e_support.h"

#include <shlobj.h>
#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace orv::e2e {
namespace {

const wchar_t* const kUninstallKey =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\OrvaneHid";
const wchar_t* const kRunKey = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const wchar_t* const kRunValue = L"OrvaneHid";
const wchar_t* const kDataKey = L"SOFTWARE\\Orvane";

// What a folder of our own holds, beside the uninstaller and its notes.
const std::vector<std::wstring> kProductFiles = {
    L"OrvaneHid.exe",          L"osdview.exe",           L"traystub.exe",
    L"HidDevice.dll",          L"Strings.xml",           L"skins\\updatebar_Mask.bmp",
    L"skins\\updatebar_n.jpg", L"skins\\updatebar_o.jpg"};

std::wstring WithoutSlash(std::wstring dir) {
    while (!dir.empty() && dir.back() == L'\\')
        dir.pop_back();
    return dir;
}

std::wstring SetupExe() {
    std::wstring dir = DistDir() + L"installer\\";
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((dir + L"OrvaneSetup-*.exe").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return L"";
    FindClose(search);
    return dir + found.cFileName;
}

std::wstring TempDir(const wchar_t* name) {
    wchar_t temp[MAX_PATH];
    DWORD n = GetTempPathW(MAX_PATH, temp);
    return std::wstring(temp, n) + name + L"\\";
}

std::wstring LocalAppDataDir() {
    wchar_t buf[MAX_PATH];
    if (SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, buf) != S_OK)
        return L"";
    return buf;
}

std::optional<std::wstring> RegString(const wchar_t* key, const wchar_t* name) {
    wchar_t value[1024];
    DWORD size = sizeof value;
    if (RegGetValueW(HKEY_CURRENT_USER, key, name, RRF_RT_REG_SZ, nullptr, value, &size) !=
        ERROR_SUCCESS)
        return std::nullopt;
    return std::wstring(value);
}

std::optional<DWORD> RegDword(const wchar_t* key, const wchar_t* name) {
    DWORD value = 0;
    DWORD size = sizeof value;
    if (RegGetValueW(HKEY_CURRENT_USER, key, name, RRF_RT_REG_DWORD, nullptr, &value, &size) !=
        ERROR_SUCCESS)
        return std::nullopt;
    return value;
}

bool KeyExists(const wchar_t* key) {
    HKEY handle;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, key, 0, KEY_READ, &handle) != ERROR_SUCCESS)
        return false;
    RegCloseKey(handle);
    return true;
}

// Every value under a key: its type and raw bytes, to compare byte for byte.
using RegSnapshot = std::map<std::wstring, std::pair<DWORD, std::string>>;

RegSnapshot ReadValues(const wchar_t* key) {
    RegSnapshot values;
    HKEY handle;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, key, 0, KEY_READ, &handle) != ERROR_SUCCESS)
        return values;
    for (DWORD i = 0;; ++i) {
        wchar_t name[256];
        DWORD nameLength = 256;
        BYTE data[4096];
        DWORD type = 0;
        DWORD size = sizeof data;
        if (RegEnumValueW(handle, i, name, &nameLength, nullptr, &type, data, &size) !=
            ERROR_SUCCESS)
            break;
        values[name] = {type, std::string(reinterpret_cast<char*>(data), size)};
    }
    RegCloseKey(handle);
    return values;
}

void SetDataValues(const wchar_t* version, DWORD plug) {
    HKEY handle;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, kDataKey, 0, nullptr, 0, KEY_WRITE, nullptr,
                              &handle, nullptr),
              ERROR_SUCCESS);
    RegSetValueExW(handle, L"FWVersion", 0, REG_SZ, reinterpret_cast<const BYTE*>(version),
                   static_cast<DWORD>((wcslen(version) + 1) * sizeof(wchar_t)));
    RegSetValueExW(handle, L"DevicePlug", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&plug),
                   sizeof plug);
    RegCloseKey(handle);
}

// Every file below a folder, by its path inside it, with its bytes.
using Tree = std::map<std::wstring, std::string>;

void ReadTreeInto(const std::wstring& dir, const std::wstring& prefix, Tree& tree) {
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((dir + prefix + L"*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return;
    do {
        std::wstring name = found.cFileName;
        if (name == L"." || name == L"..")
            continue;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            ReadTreeInto(dir, prefix + name + L"\\", tree);
        else
            tree[prefix + name] = ReadFileBytes(dir + prefix + name);
    } while (FindNextFileW(search, &found));
    FindClose(search);
}

Tree ReadTree(const std::wstring& dir) {
    Tree tree;
    ReadTreeInto(dir, L"", tree);
    return tree;
}

std::string Narrow(const std::wstring& text) {
    return std::string(text.begin(), text.end());
}

// Byte-for-byte comparisons that name what differs instead of printing the
// bytes of programs.
testing::AssertionResult SameTree(const Tree& actual, const Tree& expected) {
    std::string differences;
    for (const auto& [name, bytes] : expected) {
        auto found = actual.find(name);
        if (found == actual.end())
            differences += " missing " + Narrow(name) + ";";
        else if (found->second != bytes)
            differences += " changed " + Narrow(name) + " (" + std::to_string(bytes.size()) +
                           " -> " + std::to_string(found->second.size()) + " bytes);";
    }
    for (const auto& entry : actual) {
        if (expected.count(entry.first) == 0)
            differences += " new " + Narrow(entry.first) + ";";
    }
    if (differences.empty())
        return testing::AssertionSuccess();
    return testing::AssertionFailure() << "files differ:" << differences;
}

testing::AssertionResult SameFile(const std::wstring& actual, const std::wstring& expected) {
    std::string a = ReadFileBytes(actual);
    std::string b = ReadFileBytes(expected);
    if (!b.empty() && a == b)
        return testing::AssertionSuccess();
    return testing::AssertionFailure() << Narrow(actual) << " (" << a.size() << " bytes) is not "
                                       << Narrow(expected) << " (" << b.size() << " bytes)";
}

bool WriteBytes(const std::wstring& path, const std::string& bytes) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    bool ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
              written == bytes.size();
    CloseHandle(file);
    return ok;
}

std::vector<DWORD> ServiceProcesses() {
    std::vector<DWORD> ids;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return ids;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot, &entry); more;
         more = Process32NextW(snapshot, &entry)) {
        if (_wcsicmp(entry.szExeFile, L"OrvaneHid.exe") == 0)
            ids.push_back(entry.th32ProcessID);
    }
    CloseHandle(snapshot);
    return ids;
}

DWORD WindowProcessId(const wchar_t* title) {
    HWND wnd = FindWindowW(nullptr, title);
    DWORD pid = 0;
    if (wnd != nullptr)
        GetWindowThreadProcessId(wnd, &pid);
    return pid;
}

// The executable of the program that owns a top-level window.
std::wstring WindowProgram(const wchar_t* title) {
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, WindowProcessId(title));
    if (process == nullptr)
        return L"";
    wchar_t path[MAX_PATH];
    DWORD size = MAX_PATH;
    BOOL ok = QueryFullProcessImageNameW(process, 0, path, &size);
    CloseHandle(process);
    return ok ? std::wstring(path, size) : L"";
}

bool SamePath(const std::wstring& a, const std::wstring& b) {
    return _wcsicmp(a.c_str(), b.c_str()) == 0;
}

// One string of a file's version resource, e.g. "FileVersion".
std::wstring VersionString(const std::wstring& path, const wchar_t* name) {
    DWORD ignored = 0;
    DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
    if (size == 0)
        return L"";
    std::vector<char> block(size);
    if (!GetFileVersionInfoW(path.c_str(), 0, size, block.data()))
        return L"";
    wchar_t* value = nullptr;
    UINT length = 0;
    std::wstring query = std::wstring(L"\\StringFileInfo\\040904B0\\") + name;
    if (!VerQueryValueW(block.data(), query.c_str(), reinterpret_cast<void**>(&value), &length) ||
        length == 0)
        return L"";
    return value;
}

DWORD RunSetup(const std::wstring& args) {
    Process setup;
    if (!setup.Start(SetupExe(), args))
        return 9999;
    return setup.Wait(60000);
}

DWORD InstallInto(const std::wstring& dir) {
    return RunSetup(L"/S /D=" + WithoutSlash(dir));
}

bool StartCommand(const std::wstring& command) {
    std::vector<wchar_t> line(command.begin(), command.end());
    line.push_back(0);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &info))
        return false;
    WaitForSingleObject(info.hProcess, 30000);
    CloseHandle(info.hProcess);
    CloseHandle(info.hThread);
    return true;
}

// The uninstaller copies itself away and returns at once, so these wait for
// its last step: the entry leaving the list of installed programs.
bool WaitForEntryGone() {
    return Eventually([] { return !KeyExists(kUninstallKey); }, 60000);
}

// The quiet uninstall command, as the list of installed programs runs it.
bool Uninstall(const std::wstring& switches = L"") {
    std::optional<std::wstring> quiet = RegString(kUninstallKey, L"QuietUninstallString");
    return quiet && StartCommand(*quiet + switches) && WaitForEntryGone();
}

HWND FindChildByText(HWND parent, const wchar_t* text) {
    struct Search {
        const wchar_t* text;
        HWND found;
    } search{text, nullptr};
    EnumChildWindows(
        parent,
        [](HWND wnd, LPARAM param) -> BOOL {
            auto* s = reinterpret_cast<Search*>(param);
            wchar_t caption[256];
            if (GetWindowTextW(wnd, caption, 256) > 0 && wcscmp(caption, s->text) == 0) {
                s->found = wnd;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// The uninstaller's pages, as a user goes through them: tick the box that
// removes the settings and profiles, then press Uninstall.
bool UninstallByHandRemovingData() {
    std::optional<std::wstring> command = RegString(kUninstallKey, L"UninstallString");
    if (!command || !StartCommand(*command))
        return false;
    HWND wizard = WaitForWindow(L"Orvane keyboard service Uninstall", 10000);
    HWND box = nullptr;
    if (wizard == nullptr || !Eventually([&] {
            return (box = FindChildByText(wizard, L"&Remove my settings and profiles as well")) !=
                   nullptr;
        }))
        return false;
    SendMessageW(box, BM_SETCHECK, BST_CHECKED, 0);
    HWND next = GetDlgItem(wizard, IDOK);
    PostMessageW(wizard, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(next));
    bool done = WaitForEntryGone();
    // The last page's button is Close; its caption now says "Completed".
    DWORD pid = 0;
    GetWindowThreadProcessId(wizard, &pid);
    HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, pid);
    Sleep(500);
    PostMessageW(wizard, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(next));
    if (process != nullptr) {
        if (WaitForSingleObject(process, 5000) != WAIT_OBJECT_0) {
            TerminateProcess(process, 99);
            done = false;
        }
        CloseHandle(process);
    }
    return done;
}

// First start done: the last default profile is written (the window exists
// while the defaults are still being written).
bool WaitForFirstStart() {
    bool done = Eventually([] { return PathExists(DataDir() + L"Profiles\\Profile 5.ini"); });
    Sleep(500);
    return done;
}

void CloseCompanions() {
    CloseProgram(L"Orvane_TrayIcon", WM_CLOSE, 5000);
    CloseProgram(L"Orvane OSD", WM_DESTROY, 5000);
}

void ForgetInstallation() {
    RegDeleteTreeW(HKEY_CURRENT_USER, kUninstallKey);
    RegDeleteKeyValueW(HKEY_CURRENT_USER, kRunKey, kRunValue);
    RegDeleteTreeW(HKEY_CURRENT_USER, kDataKey);
}

class Installer : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(SetupExe().empty()) << "no OrvaneSetup-*.exe in dist\\installer";
        StopService();
        CloseCompanions();
        ForgetInstallation();
        ASSERT_TRUE(RemoveTree(DataDir()));
        ASSERT_TRUE(RemoveTree(m_dir));
        ASSERT_TRUE(RemoveTree(DefaultDir()));
        // The simulated keyboard logs outside the folders whose bytes are compared.
        SetEnvironmentVariableW(L"ORV_SIM_LOG",
                                (TempDir(L"orv_installer_sim") + L"sim.log").c_str());
        CreateDirectoryW(TempDir(L"orv_installer_sim").c_str(), nullptr);
    }

    void TearDown() override {
        StopService();
        CloseCompanions();
        ForgetInstallation();
        RemoveTree(m_dir);
        RemoveTree(DefaultDir());
        RemoveTree(TempDir(L"orv_installer_sim"));
        SetEnvironmentVariableW(L"ORV_SIM_LOG", nullptr);
        SetEnvironmentVariableW(L"ORV_SIM_START", nullptr);
    }

    static std::wstring DefaultDir() { return LocalAppDataDir() + L"\\Programs\\Orvane\\"; }

    // After an install or upgrade into `dir`: one service, the installed one.
    void ExpectOneServiceFrom(const std::wstring& dir) {
        ASSERT_NE(FindWindowW(nullptr, L"Orvane_Hid"), nullptr) << "setup ends once it runs";
        EXPECT_TRUE(SamePath(WindowProgram(L"Orvane_Hid"), dir + L"OrvaneHid.exe"))
            << WindowProgram(L"Orvane_Hid");
        // A second start (Run key, a second Exec) would end at once; give it
        // the time to show up before counting.
        Sleep(1000);
        EXPECT_EQ(CountWindows(L"Orvane_Hid"), 1);
        EXPECT_EQ(ServiceProcesses().size(), 1u);
    }

    // What uninstalling leaves behind, whatever happens to the data.
    void ExpectUninstalled(const std::wstring& dir) {
        EXPECT_TRUE(WaitForNoWindow(L"Orvane_Hid", 10000));
        EXPECT_FALSE(PathExists(dir)) << "the folder held only what setup put there";
        EXPECT_FALSE(RegString(kRunKey, kRunValue).has_value());
        EXPECT_FALSE(KeyExists(kUninstallKey));
    }

    std::wstring m_dir = TempDir(L"orv_installer");
};

TEST_F(Installer, FreshInstallStartsTheServiceNowAndAtSignInAndListsIt) {
    ASSERT_EQ(RunSetup(L"/S"), 0u);
    const std::wstring dir = DefaultDir();
    ExpectOneServiceFrom(dir);
    EXPECT_EQ(RegString(kRunKey, kRunValue), L"\"" + dir + L"OrvaneHid.exe\"");

    for (const std::wstring& file : kProductFiles)
        EXPECT_TRUE(SameFile(dir + file, DistDir() + file));
    EXPECT_FALSE(PathExists(dir + L"tools")) << "the test and demo tools are not shipped";
    EXPECT_TRUE(PathExists(dir + L"OrvaneHid-uninstall.exe"));

    const std::wstring uninstaller = L"\"" + dir + L"OrvaneHid-uninstall.exe\"";
    const std::wstring version(ORV_PRODUCT_VERSION,
                               ORV_PRODUCT_VERSION + strlen(ORV_PRODUCT_VERSION));
    EXPECT_EQ(RegString(kUninstallKey, L"DisplayName"), L"Orvane keyboard service");
    EXPECT_EQ(RegString(kUninstallKey, L"DisplayVersion"), version);
    EXPECT_EQ(RegString(kUninstallKey, L"InstallLocation"), WithoutSlash(dir));
    EXPECT_EQ(RegString(kUninstallKey, L"UninstallString"), uninstaller);
    EXPECT_EQ(RegString(kUninstallKey, L"QuietUninstallString"), uninstaller + L" /S");
    EXPECT_EQ(RegString(kUninstallKey, L"DisplayIcon"), L"\"" + dir + L"OrvaneHid.exe\"");
    EXPECT_EQ(RegDword(kUninstallKey, L"NoModify"), 1u);
    EXPECT_EQ(RegDword(kUninstallKey, L"NoRepair"), 1u);
    // The product's files, rounded up to whole kilobytes each.
    EXPECT_GT(RegDword(kUninstallKey, L"EstimatedSize").value_or(0), 100u);

    // One version everywhere: the programs' resources, setup's and the list.
    for (const wchar_t* program :
         {L"OrvaneHid.exe", L"osdview.exe", L"traystub.exe", L"HidDevice.dll"}) {
        EXPECT_EQ(VersionString(dir + program, L"FileVersion"), version) << program;
        EXPECT_EQ(VersionString(dir + program, L"ProductName"), L"Orvane keyboard service");
    }
    EXPECT_EQ(VersionString(SetupExe(), L"ProductVersion"), version);
}

TEST_F(Installer, UpgradeOverTheRunningServiceKeepsDataAndRegistryByteForByte) {
    ASSERT_EQ(InstallInto(m_dir), 0u);
    ASSERT_NE(WaitForWindow(L"Orvane_Hid", 10000), nullptr);
    ASSERT_TRUE(WaitForFirstStart());
    const DWORD before = WindowProcessId(L"Orvane_Hid");
    // A companion running from the folder: its file can only be replaced
    // once it has ended.
    Process tray;
    ASSERT_TRUE(tray.Start(m_dir + L"traystub.exe"));
    ASSERT_NE(WaitForWindow(L"Orvane_TrayIcon", 10000), nullptr);
    // A file of an older version, and data of the user's own that no first
    // start would write.
    ASSERT_TRUE(WriteBytes(m_dir + L"Strings.xml", "<older/>"));
    ASSERT_TRUE(WriteBytes(DataDir() + L"notes.bin", std::string("\xFF\xFE\0\r\n\x80", 6)));
    SetDataValues(L"42", 1);
    const Tree data = ReadTree(DataDir());
    const RegSnapshot values = ReadValues(kDataKey);
    ASSERT_EQ(values.size(), 2u);

    ASSERT_EQ(InstallInto(m_dir), 0u);
    ExpectOneServiceFrom(m_dir);
    EXPECT_NE(WindowProcessId(L"Orvane_Hid"), before) << "the running service was not replaced";
    EXPECT_FALSE(tray.Running());
    for (const std::wstring& file : kProductFiles)
        EXPECT_TRUE(SameFile(m_dir + file, DistDir() + file));
    EXPECT_TRUE(SameTree(ReadTree(DataDir()), data));
    EXPECT_EQ(ReadValues(kDataKey), values);
    EXPECT_EQ(RegString(kUninstallKey, L"InstallLocation"), WithoutSlash(m_dir));
}

TEST_F(Installer, InstallingIntoAnotherFolderMovesTheInstallation) {
    ASSERT_EQ(InstallInto(DefaultDir()), 0u);
    ASSERT_NE(WaitForWindow(L"Orvane_Hid", 10000), nullptr);
    ASSERT_TRUE(WaitForFirstStart());
    const Tree data = ReadTree(DataDir());

    ASSERT_EQ(InstallInto(m_dir), 0u);
    ExpectOneServiceFrom(m_dir);
    EXPECT_FALSE(PathExists(DefaultDir())) << "one installation per user";
    EXPECT_EQ(RegString(kUninstallKey, L"InstallLocation"), WithoutSlash(m_dir));
    EXPECT_EQ(RegString(kRunKey, kRunValue), L"\"" + m_dir + L"OrvaneHid.exe\"");
    EXPECT_TRUE(SameTree(ReadTree(DataDir()), data));
}

TEST_F(Installer, WaitsForAServiceThatIsStillStarting) {
    // A service between taking its single-instance mutex and showing its
    // window: setup must neither start a second one nor write over it.
    HANDLE mutex = CreateMutexW(nullptr, TRUE, L"Orvane_Hid_MUTEX");
    ASSERT_NE(mutex, nullptr);
    Process setup;
    ASSERT_TRUE(setup.Start(SetupExe(), L"/S /D=" + WithoutSlash(m_dir)));
    Sleep(1500);
    EXPECT_TRUE(setup.Running());
    EXPECT_FALSE(PathExists(m_dir + L"OrvaneHid.exe"));
    ReleaseMutex(mutex);
    CloseHandle(mutex);

    EXPECT_EQ(setup.Wait(60000), 0u);
    ExpectOneServiceFrom(m_dir);
}

// A stand-in of an installed suite: its own service (distinct bytes, still a
// working program), its keyboard library (the simulated keyboard), its
// language file, skins and sibling programs.
Tree MakeSuite(const std::wstring& dir) {
    CreateDirectoryW(dir.c_str(), nullptr);
    CreateDirectoryW((dir + L"skins").c_str(), nullptr);
    WriteBytes(dir + L"OrvaneHid.exe",
               ReadFileBytes(DistDir() + L"OrvaneHid.exe") + "the suite's own service");
    CopyFileW((DistDir() + L"sim\\HidDevice.dll").c_str(), (dir + L"HidDevice.dll").c_str(), FALSE);
    WriteBytes(dir + L"Strings.xml",
               "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<Strings><Suite/></Strings>\r\n");
    for (const wchar_t* skin : {L"updatebar_Mask.bmp", L"updatebar_n.jpg", L"updatebar_o.jpg"})
        CopyFileW((DistDir() + L"skins\\" + skin).c_str(), (dir + L"skins\\" + skin).c_str(),
                  FALSE);
    WriteBytes(dir + L"skins\\suite_only.png", "suite skin");
    for (const wchar_t* program : {L"osdview.exe", L"traystub.exe"})
        CopyFileW((DistDir() + program).c_str(), (dir + program).c_str(), FALSE);
    WriteBytes(dir + L"OrvaneConfig.exe", "the configuration program");
    return ReadTree(dir);
}

TEST_F(Installer, BesideASuiteOnlyTheServiceIsReplacedAndUninstallPutsTheSuiteBack) {
    const Tree suite = MakeSuite(m_dir);
    ASSERT_EQ(suite.size(), 10u);
    // The keyboard stays out: its plug notices would hold every service here
    // for 15 s and write the data while the test compares it.
    SetEnvironmentVariableW(L"ORV_SIM_START", L"unplug");
    // The suite's service runs.
    Process original;
    ASSERT_TRUE(original.Start(m_dir + L"OrvaneHid.exe"));
    ASSERT_NE(WaitForWindow(L"Orvane_Hid", 10000), nullptr);
    ASSERT_TRUE(WaitForFirstStart());
    SetDataValues(L"10", 1);

    ASSERT_EQ(InstallInto(m_dir), 0u);
    EXPECT_FALSE(original.Running());
    ExpectOneServiceFrom(m_dir);
    // Ours, on the suite's keyboard library.
    EXPECT_TRUE(Eventually([] { return SimCommand("get opened") == 1; }));
    Tree expected = suite;
    expected[L"OrvaneHid.exe"] = ReadFileBytes(DistDir() + L"OrvaneHid.exe");
    expected[L"OrvaneHid-originals\\OrvaneHid.exe"] = suite.at(L"OrvaneHid.exe");
    auto installed = [&] {
        Tree tree = ReadTree(m_dir);
        EXPECT_EQ(tree.erase(L"OrvaneHid-uninstall.exe"), 1u);
        EXPECT_EQ(tree.erase(L"OrvaneHid-install.ini"), 1u);
        return tree;
    };
    EXPECT_TRUE(SameTree(installed(), expected));

    // Again over the running service: an upgrade in the same place, which
    // keeps the suite's original aside rather than taking ours for it.
    const Tree data = ReadTree(DataDir());
    const RegSnapshot values = ReadValues(kDataKey);
    ASSERT_EQ(InstallInto(m_dir), 0u);
    ExpectOneServiceFrom(m_dir);
    EXPECT_TRUE(SameTree(installed(), expected));
    EXPECT_TRUE(SameTree(ReadTree(DataDir()), data));
    EXPECT_EQ(ReadValues(kDataKey), values);

    ASSERT_TRUE(Uninstall());
    EXPECT_TRUE(SameTree(ReadTree(m_dir), suite));
    EXPECT_FALSE(RegString(kRunKey, kRunValue).has_value());
    EXPECT_FALSE(KeyExists(kUninstallKey));
    EXPECT_TRUE(SameTree(ReadTree(DataDir()), data));
    // The suite's own service takes over again.
    ASSERT_NE(WaitForWindow(L"Orvane_Hid", 10000), nullptr);
    EXPECT_TRUE(ReadFileBytes(WindowProgram(L"Orvane_Hid")) == suite.at(L"OrvaneHid.exe"));
}

TEST_F(Installer, UninstallKeepsTheSettingsUnlessAskedToRemoveThem) {
    struct Case {
        const char* how;
        bool (*uninstall)();
        bool dataStays;
    };
    const Case cases[] = {
        {"silent", [] { return Uninstall(); }, true},
        {"silent with /REMOVEDATA", [] { return Uninstall(L" /REMOVEDATA"); }, false},
        {"by hand, box ticked", UninstallByHandRemovingData, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.how);
        ASSERT_EQ(InstallInto(m_dir), 0u);
        ASSERT_NE(WaitForWindow(L"Orvane_Hid", 10000), nullptr);
        ASSERT_TRUE(WaitForFirstStart());
        SetDataValues(L"15", 1);
        const Tree data = ReadTree(DataDir());
        const RegSnapshot values = ReadValues(kDataKey);

        ASSERT_TRUE(c.uninstall());
        ExpectUninstalled(m_dir);
        if (c.dataStays) {
            EXPECT_TRUE(SameTree(ReadTree(DataDir()), data));
            EXPECT_EQ(ReadValues(kDataKey), values);
        } else {
            EXPECT_FALSE(PathExists(DataDir()));
            EXPECT_FALSE(KeyExists(kDataKey));
        }
    }
}

} // namespace
} // namespace orv::e2e
