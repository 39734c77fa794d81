// The whole service on the in-memory platform with the simulated keyboard,
// driven by random events: every message of the suite's message interface
// with any parameters (the registered message's codes included), the
// keyboard's reports, plug changes and stray plug notices, the configuration
// program editing config.ini and the profile files, the suite's other
// windows coming and going, the program in the foreground changing, a full
// disk, and time passing so that the timers tick.
//
// The soak program draws the events from a seeded generator; the fuzz target
// of the main window draws them from its input. Both check the same
// invariants after every event.
#pragma once

#include "app/hid_app.h"
#include "app/hid_wnd.h"
#include "storage/paths.h"
#include "base/wstr.h"
#include "device/hid_library.h"
#include "device/key_tables.h"
#include "device/sim/platform_sim_env.h"
#include "device/sim/sim_keyboard.h"
#include "messaging/messages.h"
#include "platform/host/host_platform.h"
#include "storage/ini_text.h"
#include "storage/settings.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <deque>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace orv::rig {

// Where the events come from.
class Choices {
public:
    virtual ~Choices() = default;
    // `bits` (1 to 64) random bits.
    virtual std::uint64_t Bits(unsigned bits) = 0;

    // A number from 0 to n - 1 (0 when n is 0).
    virtual std::uint32_t Below(std::uint32_t n) {
        return n == 0 ? 0 : static_cast<std::uint32_t>(Bits(32) % n);
    }
    bool OneIn(std::uint32_t n) { return Below(n) == 0; }
};

class SeededChoices final : public Choices {
public:
    explicit SeededChoices(std::uint64_t seed) : m_random(seed) {}
    std::uint64_t Bits(unsigned bits) override {
        std::uint64_t v = m_random();
        return bits >= 64 ? v : v & ((std::uint64_t{1} << bits) - 1);
    }

private:
    std::mt19937_64 m_random;
};

enum class Event {
    Message,     // a message of the interface, posted or sent, any parameters
    Sync,        // the registered message with one of its codes
    KeyReport,   // an input report of the keyboard
    KeyEvent,    // a key event as the device connection posts it
    Plug,        // the keyboard plugged in or out, or pulled during the next transfers
    Notice,      // a notice of the device library with any values
    Time,        // time passes; timers tick
    ConfigEdit,  // the configuration program writes config.ini
    ProfileEdit, // the configuration program writes a profile file
    Windows,     // a window of the suite opens or closes
    Foreground,  // another program comes to the front
    Disk,        // the disk fills up or has room again
    Close,       // the service is closed and started again
    Count
};

inline const char* EventName(Event e) {
    static const char* const names[] = {
        "message",     "sync",         "key report", "key event",  "plug", "notice", "time",
        "config edit", "profile edit", "windows",    "foreground", "disk", "close"};
    return names[static_cast<int>(e)];
}

inline const std::u16string kDataDir = u"C:\\Users\\tester\\AppData\\Roaming\\Orvane\\";

class ServiceRig {
public:
    struct Options {
        // Start with an empty Profiles folder, so that the first start
        // writes no full default profiles (cheap starts for the fuzzer).
        bool emptyProfilesFolder = false;
        // Whether the keyboard is plugged in when the service starts.
        bool plugged = true;
        bool diskFaults = true;
        bool restarts = true;
    };

    explicit ServiceRig(Options options) : sim(env, options.plugged), m_options(options) {
        InstallHidLibrary(&sim);
        host.registry.CreateKey(kRegistryKeyPath);
        if (options.emptyProfilesFolder)
            std::filesystem::create_directories(host.files->HostPath(kDataDir + u"Profiles"));
        host.shell.onExecute = [this](const host::HostShell::Started& started) {
            return OnExecute(started);
        };
        host.processes.processes = {
            {100, u"game.exe"}, {200, u"osdview.exe"}, {300, u"Orvane.exe"}};
        m_counts.fill(0);
    }
    ~ServiceRig() {
        Stop();
        host.RunUntilIdle();
        InstallHidLibrary(nullptr);
    }
    ServiceRig(const ServiceRig&) = delete;
    ServiceRig& operator=(const ServiceRig&) = delete;

    bool Start() {
        m_app = std::make_unique<CHidApp>();
        if (!m_app->InitInstance())
            return false;
        host.RunUntilIdle();
        return true;
    }
    void Stop() {
        if (m_app) {
            m_app->ExitInstance();
            m_app.reset();
        }
    }
    CHidWnd* Service() const { return m_app ? m_app->MainWindow() : nullptr; }
    WndHandle Main() const { return Service() ? Service()->GetSafeHwnd() : kNoWindow; }

    // One random event, then everything it set off.
    Event Step(Choices& c) {
        static constexpr int kWeights[] = {20, 10, 20, 8, 3, 2, 10, 4, 4, 4, 4, 1, 1};
        static_assert(std::size(kWeights) == static_cast<std::size_t>(Event::Count));
        int total = 0;
        for (int w : kWeights)
            total += w;
        int pick = static_cast<int>(c.Below(static_cast<std::uint32_t>(total)));
        int kind = 0;
        while (pick >= kWeights[kind])
            pick -= kWeights[kind++];
        const Event event = static_cast<Event>(kind);
        ++m_counts[kind];
        if (host.files->failWrites && --m_diskFullFor <= 0)
            host.files->failWrites = false;
        Run(event, c);
        host.RunUntilIdle();
        return event;
    }

    // The records the platform and the keyboard keep for tests, emptied and
    // their memory given back: a long run needs only the state.
    void Trim() {
        Release(host.windows.posts);
        Release(host.clock.pauses);
        Release(host.debug.lines);
        Release(host.shell.started);
        Release(host.registry.writes);
        Release(host.graphics.barPaints);
        Release(host.graphics.bitmapPaints);
        Release(host.graphics.regionRequests);
        sim.ClearEvents();
        for (auto* window : {&m_config, &m_configChild, &m_tray, &m_osd, &m_loading, &m_game})
            if (*window)
                Release((*window)->received);
        for (auto& window : m_suite)
            if (window)
                Release(window->received);
        m_notices.clear();
    }

    // The first broken invariant of the service's state, or "".
    std::string CheckState() {
        CHidWnd* service = Service();
        if (service == nullptr)
            return m_app ? "the service has no main window" : "";
        if (!host.windows.IsWnd(service->GetSafeHwnd()))
            return "the main window is gone";
        const SETTING_INFO& s = service->Settings();
        if (s.Profile > 5)
            return "Profile " + std::to_string(s.Profile);
        const LIGHT_INFO& light = s.Current.Light;
        if (light.Effect > 20 || light.EffectOption > 2 || light.EffectLevel < 1 ||
            light.EffectLevel > 5 || light.EffectParam > 5 || light.Color > 0xFFFFFF)
            return "lighting of Current out of range: effect " + std::to_string(light.Effect) +
                   " option " + std::to_string(light.EffectOption) + " level " +
                   std::to_string(light.EffectLevel) + " param " +
                   std::to_string(light.EffectParam) + " colour " + std::to_string(light.Color);
        for (int set = 0; set < kColorSetCount; ++set)
            if (s.Current.Colors[set].LightName[0] == 0)
                return "colour set " + std::to_string(set) + " unnamed";
        return "";
    }

    // Every file of the data folder read through the INI engine: each is
    // whole (UTF-16LE, as the service and the configuration program write
    // them), parses, and holds the keys the service always writes. Returns
    // the first problem, or "".
    std::string CheckFiles(int* filesChecked = nullptr) {
        std::vector<std::u16string> paths;
        if (host.files->Exists(kDataDir + u"config.ini"))
            paths.push_back(kDataDir + u"config.ini");
        std::error_code error;
        for (const auto& entry :
             std::filesystem::directory_iterator(host.files->HostPath(kDataDir), error))
            if (entry.path().extension() == ".tmp")
                return "a temporary file is left: " + entry.path().string();
        for (const auto& entry : std::filesystem::directory_iterator(
                 host.files->HostPath(kDataDir + u"Profiles"), error)) {
            if (entry.path().extension() == ".tmp")
                return "a temporary file is left: " + entry.path().string();
            if (entry.is_regular_file() && entry.path().extension() == ".ini")
                paths.push_back(kDataDir + u"Profiles\\" +
                                FromUtf8(entry.path().filename().string()));
        }
        for (const std::u16string& path : paths) {
            std::string bytes;
            if (host.files->ReadAll(path, bytes) != ReadResult::Ok)
                return "cannot read " + ToUtf8(path);
            if (bytes.size() < 2 || bytes.size() % 2 != 0 || bytes.compare(0, 2, "\xFF\xFE") != 0)
                return "not whole UTF-16LE: " + ToUtf8(path);
            const ini::Document doc = ini::Document::Parse(bytes);
            if (doc.encoding() != ini::Encoding::Utf16Le || doc.Serialize() != bytes)
                return "does not read back: " + ToUtf8(path);
            // Whatever writes config.ini first, the service writes into
            // "Setting"; every profile file starts with its name.
            const bool config = path == kDataDir + u"config.ini";
            const bool found = config ? doc.Find(u"Setting", u"Profile") ||
                                            doc.Find(u"Setting", u"Plug") ||
                                            doc.Find(u"Setting", u"FWVersion")
                                      : doc.Find(u"GROUP", u"CurrentProfileName").has_value();
            if (!found)
                return "the service's keys are missing from " + ToUtf8(path);
        }
        if (filesChecked != nullptr)
            *filesChecked = static_cast<int>(paths.size());
        return "";
    }

    std::uint64_t Count(Event e) const { return m_counts[static_cast<int>(e)]; }
    bool DiskFull() const { return host.files->failWrites; }

    host::HostPlatform host;
    sim::PlatformSimEnvironment env;
    sim::SimKeyboard sim;

private:
    template <typename T> static void Release(std::vector<T>& v) { std::vector<T>().swap(v); }

    // Values as the other programs may send them: mostly small, some at the
    // edges of their types, some anything at all.
    static std::uint64_t Value(Choices& c) {
        static constexpr std::uint64_t kEdges[] = {
            0xFF,       0x100,      0x104,      20,         110,        111,
            0x7FFFFFFF, 0x80000000, 0xFFFFFFFF, ~0ull,      1ull << 63, 0x000100DA,
            0x000100DB, 0x000100DC, 0x000100DF, 0x000400FE, 0x00010000, 0x100000000ull};
        switch (c.Below(4)) {
        case 0:
            return c.Below(8);
        case 1:
            return kEdges[c.Below(std::size(kEdges))];
        case 2:
            return c.Bits(32);
        default:
            return c.Bits(64);
        }
    }

    void Deliver(MsgId msg, WParam wParam, LParam lParam, Choices& c) {
        if (Main() == kNoWindow)
            return;
        if (c.OneIn(8))
            host.windows.SendMsg(Main(), msg, wParam, lParam);
        else
            host.windows.PostMsg(Main(), msg, wParam, lParam);
    }

    // Any parameters (drawn in order, so a seed gives the same run with
    // every compiler).
    void DeliverAny(MsgId msg, Choices& c) {
        auto wParam = static_cast<WParam>(Value(c));
        auto lParam = static_cast<LParam>(Value(c));
        Deliver(msg, wParam, lParam, c);
    }

    void Run(Event event, Choices& c) {
        switch (event) {
        case Event::Message: {
            static constexpr MsgId kMessages[] = {
                WM_HID_UPLOAD,        WM_HID_RELOAD,    WM_HID_KEY_EVENT,    WM_HID_SET_SLOT,
                WM_HID_SET_OPTION,    WM_HID_LAUNCH,    WM_HID_UPLOAD_SLOT,  WM_HID_IGNORED_669,
                WM_HID_SHOW_PROGRESS, WM_HID_REOPEN,    WM_HID_PLUG,         WM_HID_STATUS_NOTIFY,
                WM_HID_MONITOR,       WM_HID_FE_NOTIFY, WM_HID_LIGHT_EFFECT, WM_HID_LIGHT_OPTION,
                WM_HID_LIGHT_LEVEL,   WM_TIMER,         WM_POWERBROADCAST};
            MsgId msg = kMessages[c.Below(std::size(kMessages))];
            if (msg == WM_TIMER && c.OneIn(2))
                Deliver(msg, c.OneIn(2) ? IDT_APP_WATCH : IDT_LAUNCH_LOCK, 0, c);
            else
                DeliverAny(msg, c);
            break;
        }
        case Event::Sync: {
            static constexpr WParam kCodes[] = {0, 1, 1, 2, 10, 11, 12, 20};
            WParam code = c.OneIn(8) ? static_cast<WParam>(Value(c)) : kCodes[c.Below(8)];
            LParam value;
            if (code == 1 && !c.OneIn(4))
                value = c.OneIn(3) ? -1 : static_cast<LParam>(1 + c.Below(6));
            else if (!c.OneIn(4))
                value = static_cast<LParam>(c.Below(7));
            else
                value = static_cast<LParam>(Value(c));
            if (CHidWnd* service = Service())
                Deliver(service->SyncMessage(), code, value, c);
            break;
        }
        case Event::KeyReport: {
            auto usage = static_cast<std::uint16_t>(1 + c.Below(5));
            sim.SendInputReport(usage, Report(c));
            break;
        }
        case Event::KeyEvent: {
            static constexpr int kCodes[] = {0xDA, 0xDB, 0xDC, 0xDF, 0xFE};
            int code = c.OneIn(2) ? kCodes[c.Below(5)] : static_cast<int>(c.Below(138));
            WParam value = c.OneIn(2) ? KeyCode(c) : c.Below(8);
            LParam flag = c.Below(5);
            if (c.OneIn(8))
                DeliverAny(WM_HID_KEY_EVENT, c);
            else
                Deliver(WM_HID_KEY_EVENT, value, (flag << 16) + code, c);
            break;
        }
        case Event::Plug:
            if (c.OneIn(4))
                sim.UnplugAfterTransfers(static_cast<int>(c.Below(300)));
            else if (sim.Plugged())
                sim.Unplug();
            else
                sim.Plug();
            break;
        case Event::Notice: {
            if (Service() == nullptr)
                break;
            HID_NOTIFY_RECORD& notice = m_notices.emplace_back();
            notice.dwStatus = c.Below(3);
            notice.dwDeviceID = c.OneIn(2)
                                    ? sim.DeviceIdOf(static_cast<std::uint16_t>(1 + c.Below(5)))
                                    : static_cast<std::uint32_t>(c.Bits(32));
            notice.dwUsage =
                c.OneIn(4) ? static_cast<std::uint32_t>(c.Bits(32)) : (1 + c.Below(6)) << 16;
            notice.dwUsagePage = c.OneIn(4) ? static_cast<std::uint32_t>(c.Bits(32)) : 0xFF00;
            host.windows.PostMsg(Service()->Driver().GetSafeHwnd(), WM_HID_MONITOR,
                                 c.OneIn(8) ? c.Below(3) : 1, reinterpret_cast<LParam>(&notice));
            break;
        }
        case Event::Time:
            host.AdvanceBy(c.OneIn(4) ? 500 + c.Below(2) : c.Below(6000));
            break;
        case Event::ConfigEdit:
            EditConfig(c);
            break;
        case Event::ProfileEdit:
            EditProfile(c);
            break;
        case Event::Windows:
            ToggleWindow(c);
            break;
        case Event::Foreground: {
            WndHandle candidates[] = {kNoWindow, m_game ? m_game->Handle() : kNoWindow,
                                      m_config ? m_config->Handle() : kNoWindow,
                                      m_osd ? m_osd->Handle() : kNoWindow};
            host.windows.foreground = candidates[c.Below(4)];
            break;
        }
        case Event::Disk:
            // The disk fills up and gets room again some events later.
            if (m_options.diskFaults && !host.files->failWrites) {
                host.files->failWrites = true;
                m_diskFullFor = 1 + static_cast<int>(c.Below(20));
            }
            break;
        case Event::Close:
            if (!m_options.restarts || Main() == kNoWindow)
                break;
            host.windows.PostMsg(Main(), WM_CLOSE, 0, 0);
            host.RunUntilIdle();
            Stop();
            Start();
            break;
        case Event::Count:
            break;
        }
    }

    // A key code: one that stands for a key function, or any.
    static WParam KeyCode(Choices& c) {
        return c.OneIn(2) ? g_DeviceKeyCodes[c.Below(kDeviceKeyCodeRows)].KeyCode : c.Below(256);
    }

    // Key reports, the keyboard's events and status reports, and junk.
    static std::vector<std::uint8_t> Report(Choices& c) {
        std::vector<std::uint8_t> r;
        auto byte = [&] { return static_cast<std::uint8_t>(c.Bits(8)); };
        switch (c.Below(5)) {
        case 0: // a key: position, flag, key code
            r = {8, static_cast<std::uint8_t>(c.Below(138)), static_cast<std::uint8_t>(c.Below(3)),
                 static_cast<std::uint8_t>(KeyCode(c))};
            break;
        case 1: // the keyboard's own events
            r = {0x0D, static_cast<std::uint8_t>(c.OneIn(2) ? 3 : 5), byte(), byte()};
            break;
        case 2: // effect, option, level and slot events
            r = {8, static_cast<std::uint8_t>(c.OneIn(2) ? 2 : byte()),
                 static_cast<std::uint8_t>(c.OneIn(2) ? 1 : 0x0C),
                 static_cast<std::uint8_t>(c.OneIn(2) ? 1 : 7),
                 static_cast<std::uint8_t>(c.Below(12))};
            break;
        case 3: // status and state reports
            r = c.OneIn(2)
                    ? std::vector<std::uint8_t>{8,
                                                0,
                                                7,
                                                0,
                                                3,
                                                0xD6,
                                                static_cast<std::uint8_t>(c.Below(3)),
                                                0,
                                                0}
                    : std::vector<std::uint8_t>{8, 0xFE, static_cast<std::uint8_t>(5 + c.Below(2))};
            break;
        default:
            r.resize(c.Below(17));
            for (std::uint8_t& b : r)
                b = byte();
            return r;
        }
        r.resize(c.OneIn(4) ? c.Below(12) : std::max<std::size_t>(8, r.size()), 0);
        return r;
    }

    // Text the configuration program writes: numbers of every kind and a few
    // words. It never holds a path separator: profile names become file names.
    static std::u16string Text(Choices& c) {
        switch (c.Below(6)) {
        case 0:
            return FormatW(u"%d", static_cast<int>(c.Below(8)));
        case 1:
            return FormatW(u"%d", static_cast<int>(static_cast<std::int32_t>(Value(c))));
        case 2:
            return u"";
        case 3:
            return u"\"" + FormatW(u"%d", static_cast<int>(c.Below(300))) + u"\"";
        case 4: {
            static const char16_t* const kWords[] = {u"abc",       u"  7  ",         u"0x10", u"-1",
                                                     u"Profile 9", u"\u00e9t\u00e9", u"1e3"};
            return kWords[c.Below(std::size(kWords))];
        }
        default:
            return u"Game " + FormatW(u"%d", static_cast<int>(c.Below(3)));
        }
    }

    // Profile names: each becomes a file, so there are only a few of them.
    static std::u16string Name(Choices& c) {
        static const char16_t* const kNames[] = {u"",          u"  7  ",     u"Game 0",
                                                 u"Game 1",    u"Profile 9", u"\u00e9t\u00e9",
                                                 u"Profile 0", u"Profile 3"};
        return kNames[c.Below(std::size(kNames))];
    }

    // The configuration program's edits of a file the service made go through
    // the INI engine, as its own INI functions would: the file keeps its form
    // and its other keys.
    bool Edit(const std::u16string& path, std::u16string_view section, std::u16string_view key,
              std::u16string_view value) {
        if (host.files->failWrites)
            return false;
        std::string bytes;
        if (host.files->ReadAll(path, bytes) != ReadResult::Ok)
            return false; // it writes into the files the service made
        ini::Document doc = ini::Document::Parse(bytes);
        doc.Set(section, key, value);
        return host.files->ReplaceContent(path, doc.Serialize());
    }

    void EditConfig(Choices& c) {
        const std::u16string path = kDataDir + u"config.ini";
        static const char16_t* const kSettings[] = {
            u"Profile",     u"KeyMode",    u"PollingRate", u"Language", u"OSD_Color",
            u"OSD_Profile", u"OSD_Effect", u"UI_Autorun",  u"SyncMode", u"Plug"};
        switch (c.Below(6)) {
        case 0:
        case 1: {
            const char16_t* key = kSettings[c.Below(std::size(kSettings))];
            Edit(path, u"Setting", key, Text(c));
            break;
        }
        case 2: {
            std::u16string key = FormatW(u"Mode_%d", static_cast<int>(c.Below(7)));
            Edit(path, u"ProfileData", key,
                 c.OneIn(2) ? FormatW(u"%d", static_cast<int>(c.Below(8))) : Text(c));
            break;
        }
        case 3: {
            std::u16string section = FormatW(u"MyXlistIconInfo%d", static_cast<int>(c.Below(8)));
            if (c.OneIn(2))
                Edit(path, section, u"ProfileName", Name(c));
            else
                Edit(path, section, u"ProfileColor", Text(c));
            break;
        }
        case 4:
            Edit(path, u"Window", u"Left", Text(c)); // a section of its own
            break;
        default:
            if (c.OneIn(8) && !host.files->failWrites)
                std::filesystem::remove(host.files->HostPath(path));
            break;
        }
        if (Main() != kNoWindow && c.OneIn(2))
            host.windows.PostMsg(Main(), WM_HID_RELOAD, 0, 0);
    }

    void EditProfile(Choices& c) {
        const std::u16string name = c.OneIn(4)
                                        ? u"Game " + FormatW(u"%d", static_cast<int>(c.Below(3)))
                                        : FormatW(u"Profile %d", static_cast<int>(c.Below(6)));
        const std::u16string path = kDataDir + u"Profiles\\" + name + u".ini";
        switch (c.Below(6)) {
        case 0: {
            static const char16_t* const kLinks[] = {u"", u"game.exe", u"C:\\Games\\GAME.EXE",
                                                     u"osdview.exe", u"other.exe"};
            std::u16string key = FormatW(u"LinkExe%d", static_cast<int>(c.Below(5)));
            Edit(path, u"GROUP", key, kLinks[c.Below(std::size(kLinks))]);
            break;
        }
        case 1: {
            LIGHT_INFO light{};
            light.Effect = static_cast<std::uint8_t>(c.OneIn(2) ? c.Below(22) : c.Bits(8));
            light.EffectOption = static_cast<std::uint8_t>(c.Below(4));
            light.EffectLevel = static_cast<std::uint8_t>(c.Below(7));
            light.EffectParam = static_cast<std::uint8_t>(c.Below(7));
            light.Color = static_cast<std::uint32_t>(c.OneIn(2) ? c.Bits(24) : c.Bits(32));
            Edit(path, u"GROUP", u"LIGHT_INFO",
                 c.OneIn(8) ? Text(c) : ini::EncodeStruct(&light, sizeof light));
            break;
        }
        case 2: {
            // Ten keys with functions the service acts on.
            static constexpr std::int32_t kFunctions[] = {0,   223, 257, 258, 259, 260, 263, 268,
                                                          289, 291, 353, 355, 384, 400, 401, 405,
                                                          406, 407, 465, 466, 467, 481, 512, 600};
            auto keys = std::make_unique<BUTTON_INFO[]>(10);
            std::memset(keys.get(), 0, 10 * sizeof(BUTTON_INFO));
            for (int i = 0; i < 10; ++i) {
                keys[i].AssignKind = static_cast<std::uint8_t>(c.Below(3));
                keys[i].FunctionCode = c.OneIn(8) ? static_cast<std::int32_t>(c.Bits(32))
                                                  : kFunctions[c.Below(std::size(kFunctions))];
                keys[i].MacroData[2] = static_cast<std::uint8_t>(c.Below(3));
                if (c.OneIn(4))
                    CopyToField(keys[i].LaunchPath, u"C:\\Games\\game.exe");
            }
            int part = 1 + static_cast<int>(c.Below(11));
            Edit(path, u"GROUP", FormatW(u"BUTTON_INFO_PART%d", part),
                 ini::EncodeStruct(keys.get(), 10 * sizeof(BUTTON_INFO)));
            break;
        }
        case 3:
            Edit(path, u"GROUP", u"Theirs", Text(c));
            break;
        case 4: {
            auto set = std::make_unique<LIGHT_DATA>();
            std::memset(set.get(), 0, sizeof *set);
            if (!c.OneIn(4))
                CopyToField(set->LightName, u"Mine");
            for (std::uint32_t& colour : set->KeyColor)
                colour = static_cast<std::uint32_t>(c.Bits(24));
            Edit(path, u"GROUP", FormatW(u"LIGHT_DATA_%d", static_cast<int>(c.Below(5))),
                 ini::EncodeStruct(set.get(), sizeof *set));
            break;
        }
        default:
            if (c.OneIn(4) && !host.files->failWrites)
                std::filesystem::remove(host.files->HostPath(path));
            break;
        }
        if (Main() != kNoWindow && c.OneIn(2)) {
            MsgId msg = c.OneIn(2) ? WM_HID_RELOAD : WM_HID_UPLOAD;
            WParam wParam = c.Below(2);
            host.windows.PostMsg(Main(), msg, wParam, c.Below(2));
        }
    }

    // A window that is closed (by the service's WM_CLOSE, say) is forgotten.
    static void Forget(std::unique_ptr<host::StandInWindow>& window) {
        if (window && window->Handle() == kNoWindow)
            window.reset();
    }
    void Toggle(std::unique_ptr<host::StandInWindow>& window, const char16_t* title,
                const char16_t* className = u"") {
        Forget(window);
        if (window)
            window.reset();
        else
            window = std::make_unique<host::StandInWindow>(host.windows, title, className);
    }

    void ToggleWindow(Choices& c) {
        static const char16_t* const kSuite[] = {u"Launch_Program", u"BelmicMacro",
                                                 u"BELMIC_SingleKey_Dlg", u"ManageProfile"};
        switch (c.Below(6)) {
        case 0:
            Forget(m_configChild);
            Forget(m_config);
            if (m_config) {
                m_configChild.reset();
                m_config.reset();
            } else {
                m_config = std::make_unique<host::StandInWindow>(host.windows, u"Orvane");
                if (!c.OneIn(4))
                    m_configChild = std::make_unique<host::StandInWindow>(host.windows, u"Orvane",
                                                                          u"", m_config->Handle());
            }
            break;
        case 1:
            Toggle(m_tray, u"Orvane_TrayIcon");
            break;
        case 2:
            Toggle(m_osd, u"Orvane OSD", u"On Screen Display");
            break;
        case 3:
            Toggle(m_loading, u"DLGLoading");
            break;
        case 4: {
            std::uint32_t i = c.Below(4);
            Toggle(m_suite[i], kSuite[i]);
            break;
        }
        default:
            if (m_game)
                host.windows.windowProcess.erase(m_game->Handle());
            Toggle(m_game, u"The Game");
            if (m_game)
                host.windows.windowProcess[m_game->Handle()] = 100;
            break;
        }
    }

    // The service starts the on-screen display and the tray-icon program;
    // they come up as their windows.
    bool OnExecute(const host::HostShell::Started& started) {
        std::u16string file = FileNameOf(started.file);
        Forget(m_osd);
        Forget(m_tray);
        if (EqualsNoCase(file, u"osdview.exe") && !m_osd)
            m_osd = std::make_unique<host::StandInWindow>(host.windows, u"Orvane OSD",
                                                          u"On Screen Display");
        else if (EqualsNoCase(file, u"traystub.exe") && !m_tray)
            m_tray = std::make_unique<host::StandInWindow>(host.windows, u"Orvane_TrayIcon");
        return true;
    }

    Options m_options;
    std::unique_ptr<CHidApp> m_app;
    std::unique_ptr<host::StandInWindow> m_config, m_configChild, m_tray, m_osd, m_loading, m_game;
    std::array<std::unique_ptr<host::StandInWindow>, 4> m_suite;
    std::deque<HID_NOTIFY_RECORD> m_notices; // read when their notices are handled
    int m_diskFullFor = 0;                   // events until the disk has room again
    std::array<std::uint64_t, static_cast<std::size_t>(Event::Count)> m_counts{};
};

} // namespace orv::rig
