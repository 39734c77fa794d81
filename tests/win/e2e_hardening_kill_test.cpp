// The service killed while it saves, again and again at random moments: the
// settings file and every profile file must stay whole and hold either the
// values before or after each save, and a save left half-done by a kill must
// never hide or damage data, nor stop later saves.
#include "e2e_hardening_support.h"

#include "base/wstr.h"
#include "storage/ini_text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <map>
#include <random>
#include <string>
#include <vector>

namespace orv::e2e {
namespace {

constexpr int kSlots = 6;
constexpr int kKills = 50;
constexpr int kBurst = 10; // events posted before each kill

// What the service keeps of the events below: the active slot in config.ini
// and the three lighting bytes the keyboard changes, in each profile file.
struct State {
    int slot = 0;
    std::array<std::array<std::uint8_t, 3>, kSlots> light{};
    bool operator==(const State&) const = default;
};

enum class Kind { Effect, Option, Level, Slot };
struct Event {
    Kind kind;
    int value;
};

State Apply(State state, const Event& event) {
    auto& light = state.light[state.slot];
    switch (event.kind) {
    case Kind::Effect:
        light[0] = static_cast<std::uint8_t>(event.value);
        break;
    case Kind::Option:
        light[1] = static_cast<std::uint8_t>(event.value);
        break;
    case Kind::Level:
        light[2] = static_cast<std::uint8_t>(event.value + 1);
        break;
    case Kind::Slot:
        state.slot = event.value;
        break;
    }
    return state;
}

void Send(const ServiceRun& service, const Event& event) {
    switch (event.kind) {
    case Kind::Effect:
        return service.Post(WM_HID_KEY_EVENT, event.value, kEffectEvent);
    case Kind::Option:
        return service.Post(WM_HID_KEY_EVENT, event.value, kOptionEvent);
    case Kind::Level:
        return service.Post(WM_HID_KEY_EVENT, event.value, kLevelEvent);
    case Kind::Slot:
        return service.SelectSlot(event.value);
    }
}

// An event that changes what is on disk: every save is a real replacement.
Event RandomEvent(std::mt19937& rng, const State& state) {
    for (;;) {
        Event event{};
        switch (std::uniform_int_distribution<int>(0, 7)(rng)) {
        case 0:
        case 1:
            event = {Kind::Slot, std::uniform_int_distribution<int>(0, kSlots - 1)(rng)};
            break;
        case 2:
            event = {Kind::Option, std::uniform_int_distribution<int>(0, 1)(rng)};
            break;
        case 3:
            event = {Kind::Level, std::uniform_int_distribution<int>(0, 4)(rng)};
            break;
        default:
            event = {Kind::Effect, std::uniform_int_distribution<int>(0, 9)(rng)};
            break;
        }
        if (!(Apply(state, event) == state))
            return event;
    }
}

std::string LightBytes(const std::string& value) {
    std::string bytes(24, '\0');
    if (!ini::DecodeStruct(FromUtf8(value), bytes.data(), bytes.size()))
        return {};
    return bytes;
}

// The data files as first written, against which every later look is checked.
struct Baseline {
    KeyValues config;
    std::array<KeyValues, kSlots> profiles;
    std::array<std::string, kSlots> light; // the 24 bytes of LIGHT_INFO
    State state;
};

// Reads the files the way both the configuration program and the service
// would, checks that each is whole, and gives the state they hold.
testing::AssertionResult ReadState(const Baseline& base, State& state) {
    auto config = EngineValues(ConfigPath(), ConfigKeys());
    if (!config)
        return testing::AssertionFailure() << "config.ini cannot be read";
    for (const std::string& key : ConfigKeys()) {
        if (!config->count(key))
            return testing::AssertionFailure() << "config.ini lacks " << key;
        if (key != "Setting/Profile" && config->at(key) != base.config.at(key))
            return testing::AssertionFailure() << "config.ini " << key << " = " << config->at(key);
    }
    state.slot = std::stoi(config->at("Setting/Profile"));
    ForgetCachedIni(ConfigPath());
    int platformSlot =
        static_cast<int>(GetPrivateProfileIntW(L"Setting", L"Profile", -1, ConfigPath().c_str()));
    if (platformSlot != state.slot)
        return testing::AssertionFailure() << "config.ini: Profile " << state.slot << " but "
                                           << platformSlot << " through the INI functions";

    for (int slot = 0; slot < kSlots; ++slot) {
        std::wstring path = SlotProfilePath(slot);
        auto profile = EngineValues(path, ProfileKeys());
        if (!profile)
            return testing::AssertionFailure() << "profile " << slot << " cannot be read";
        for (const std::string& key : ProfileKeys()) {
            if (!profile->count(key))
                return testing::AssertionFailure() << "profile " << slot << " lacks " << key;
            if (key != "GROUP/LIGHT_INFO" && profile->at(key) != base.profiles[slot].at(key))
                return testing::AssertionFailure()
                       << "profile " << slot << " " << key << " changed";
        }
        std::string light = LightBytes(profile->at("GROUP/LIGHT_INFO"));
        if (light.empty() || light.substr(3) != base.light[slot].substr(3))
            return testing::AssertionFailure() << "profile " << slot << " LIGHT_INFO is damaged";
        for (int i = 0; i < 3; ++i)
            state.light[slot][i] = static_cast<std::uint8_t>(light[i]);

        // The configuration program's view: the same record, and the file's
        // last value intact (a cut file would lose it).
        ForgetCachedIni(path);
        if (PlatformLightInfo(path) != light)
            return testing::AssertionFailure()
                   << "profile " << slot << ": the INI functions read another LIGHT_INFO";
        std::vector<char> last(1392);
        if (!GetPrivateProfileStructW(L"GROUP", L"BUTTON_INFO_PART12", last.data(),
                                      static_cast<UINT>(last.size()), path.c_str()))
            return testing::AssertionFailure()
                   << "profile " << slot << ": BUTTON_INFO_PART12 unreadable by the INI functions";
        ForgetCachedIni(path);
    }
    return testing::AssertionSuccess();
}

// The files a save replaces through a temporary beside them.
std::vector<std::wstring> DataFiles() {
    std::vector<std::wstring> files{ConfigPath()};
    for (int slot = 0; slot < kSlots; ++slot)
        files.push_back(SlotProfilePath(slot));
    return files;
}

class KillWhileSaving : public FreshDataTest {
protected:
    void TearDown() override { service.Kill(); }

    void Restart() {
        service.Kill();
        ASSERT_TRUE(service.Start(*install));
    }

    // Posts events and waits until the files show the state they lead to;
    // the time it took.
    DWORD RunToEnd(const std::vector<Event>& events, const State& from, const Baseline& base) {
        State want = from;
        for (const Event& e : events)
            want = Apply(want, e);
        DWORD start = GetTickCount();
        for (const Event& e : events)
            Send(service, e);
        // A light look while it works, so as not to slow it down.
        auto reached = [&] {
            auto config = EngineValues(ConfigPath(), {"Setting/Profile"});
            auto profile = EngineValues(SlotProfilePath(want.slot), {"GROUP/LIGHT_INFO"});
            if (!config || !profile || !config->count("Setting/Profile") ||
                !profile->count("GROUP/LIGHT_INFO"))
                return false;
            std::string light = LightBytes(profile->at("GROUP/LIGHT_INFO"));
            return std::stoi(config->at("Setting/Profile")) == want.slot && light.size() == 24 &&
                   std::equal(want.light[want.slot].begin(), want.light[want.slot].end(),
                              reinterpret_cast<const std::uint8_t*>(light.data()));
        };
        // The quick look may match an earlier state by chance: confirm it.
        for (;;) {
            DWORD took = GetTickCount() - start;
            State seen;
            if (reached() && ReadState(base, seen) && seen == want)
                return took;
            if (took > 20000) {
                ADD_FAILURE() << "the service did not get through " << events.size() << " events";
                return took;
            }
            Sleep(2);
        }
    }

    std::unique_ptr<SimInstall> install;
    ServiceRun service;
    std::map<std::wstring, std::string> seenTemps; // the temporaries seen so far
};

TEST_F(KillWhileSaving, FiftyKillsLeaveEveryFileWholeWithOldOrNewValues) {
    // Unplugged: no plug handling with its firmware wait holds up the queue.
    install = std::make_unique<SimInstall>("unplug");
    ASSERT_TRUE(service.Start(*install));
    Baseline base;
    auto config = EngineValues(ConfigPath(), ConfigKeys());
    ASSERT_TRUE(config && config->size() == ConfigKeys().size());
    base.config = *config;
    for (int slot = 0; slot < kSlots; ++slot) {
        auto profile = EngineValues(SlotProfilePath(slot), ProfileKeys());
        ASSERT_TRUE(profile && profile->size() == ProfileKeys().size()) << "profile " << slot;
        base.profiles[slot] = *profile;
        base.light[slot] = LightBytes(profile->at("GROUP/LIGHT_INFO"));
        ASSERT_EQ(base.light[slot].size(), 24u);
    }
    ASSERT_TRUE(ReadState(base, base.state));

    unsigned seed = GetTickCount();
    std::printf("random seed %u\n", seed);
    std::mt19937 rng(seed);
    State state = base.state;

    // How long a burst takes when left alone (the quickest of a few, the
    // first runs being slower): kills fall anywhere in it.
    std::vector<Event> burst;
    DWORD span = 0;
    for (int run = 0; run < 3; ++run) {
        // The files must reach the burst's end state only once it is all
        // saved: a burst that passes through its end state earlier (or starts
        // there) would let the timing stop while saves are still queued.
        State end;
        bool endSeenBefore = true;
        while (endSeenBefore) {
            burst.clear();
            std::vector<State> passed{state};
            for (int i = 0; i < kBurst; ++i) {
                burst.push_back(RandomEvent(rng, passed.back()));
                passed.push_back(Apply(passed.back(), burst.back()));
            }
            end = passed.back();
            endSeenBefore = std::find(passed.begin(), passed.end() - 1, end) != passed.end() - 1;
        }
        DWORD took = RunToEnd(burst, state, base);
        span = run == 0 ? took : std::min(span, took);
        state = end;
    }
    std::printf("%d events saved in %lu ms\n", kBurst, span);

    int tempWhole = 0, tempPartial = 0, betweenSaves = 0, afterAll = 0, staleLeft = 0;
    for (int kill = 0; kill < kKills; ++kill) {
        SCOPED_TRACE("kill " + std::to_string(kill));
        std::vector<State> states{state};
        burst.clear();
        for (int i = 0; i < kBurst; ++i) {
            burst.push_back(RandomEvent(rng, states.back()));
            states.push_back(Apply(states.back(), burst.back()));
        }
        for (const Event& e : burst)
            Send(service, e);
        Sleep(std::uniform_int_distribution<DWORD>(0, span)(rng));
        service.Kill();

        // Every file whole, and all of them together as after some number of
        // the events: each event changes one file, and no file is half-saved.
        State seen;
        ASSERT_TRUE(ReadState(base, seen));
        std::size_t done = 0;
        while (done < states.size() && !(states[done] == seen))
            ++done;
        ASSERT_LT(done, states.size()) << "the files hold a state that no run of saves gives";

        // A temporary left by this kill (not one left earlier): how far its
        // save had got. Saves here keep the length of the file.
        int temps = 0;
        for (const std::wstring& file : DataFiles()) {
            std::wstring temp = file + L".tmp";
            std::string bytes = PathExists(temp) ? ReadFileBytes(temp) : std::string();
            bool fresh = PathExists(temp) && (!seenTemps.count(temp) || seenTemps[temp] != bytes);
            seenTemps[temp] = bytes;
            if (!fresh)
                continue;
            ++temps;
            bool isConfig = file == ConfigPath();
            auto values = EngineValues(temp, isConfig ? ConfigKeys() : ProfileKeys());
            std::size_t wanted = isConfig ? ConfigKeys().size() : ProfileKeys().size();
            bool whole =
                values && values->size() == wanted && bytes.size() == ReadFileBytes(file).size();
            (whole ? tempWhole : tempPartial)++;
        }
        if (temps == 0)
            (done + 1 == states.size() ? afterAll : betweenSaves)++;
        state = states[done];
        ASSERT_NO_FATAL_FAILURE(Restart());
    }

    // Saves after the kills replace whatever temporaries were left behind:
    // touch every file once more.
    for (const std::wstring& file : DataFiles())
        staleLeft += PathExists(file + L".tmp") ? 1 : 0;
    std::vector<Event> last;
    State end2 = state;
    for (int slot = 0; slot < kSlots; ++slot) {
        int target = (state.slot + 1 + slot) % kSlots;
        last.push_back({Kind::Slot, target});
        end2 = Apply(end2, last.back());
        int effect = (end2.light[target][0] + 1) % 10;
        last.push_back({Kind::Effect, effect});
        end2 = Apply(end2, last.back());
    }
    RunToEnd(last, state, base);
    for (const std::wstring& file : DataFiles()) {
        EXPECT_FALSE(PathExists(file + L".tmp"));
        EXPECT_FALSE(PathExists(file + L".prev"));
    }

    std::printf("%d kills: %d while a temporary file was being written, %d with it written but "
                "not yet in place, %d between saves, %d after the last save; %d temporaries "
                "left, all replaced by later saves\n",
                kKills, tempPartial, tempWhole, betweenSaves, afterAll, staleLeft);
}

// The first start writes config.ini and six default profiles; a kill in the
// middle of it must not leave a start that thinks the work done.
TEST_F(KillWhileSaving, KillsDuringTheFirstStartLeaveItToBeDoneAgain) {
    constexpr int kFirstStartKills = 10;
    install = std::make_unique<SimInstall>("unplug");
    DWORD start = GetTickCount();
    ASSERT_TRUE(service.Start(*install));
    DWORD span = GetTickCount() - start;
    auto config = EngineValues(ConfigPath(), ConfigKeys());
    ASSERT_TRUE(config && config->size() == ConfigKeys().size());
    std::array<KeyValues, kSlots> profiles;
    for (int slot = 0; slot < kSlots; ++slot) {
        auto profile = EngineValues(SlotProfilePath(slot), ProfileKeys());
        ASSERT_TRUE(profile && profile->size() == ProfileKeys().size()) << "profile " << slot;
        profiles[slot] = *profile;
    }
    service.Kill();
    std::printf("a first start takes %lu ms\n", span);

    unsigned seed = GetTickCount();
    std::printf("random seed %u\n", seed);
    std::mt19937 rng(seed);
    std::string stages; // how far each killed start had got
    for (int kill = 0; kill < kFirstStartKills; ++kill) {
        SCOPED_TRACE("kill " + std::to_string(kill));
        ASSERT_TRUE(RemoveTree(DataDir()));
        ASSERT_TRUE(service.Launch(*install));
        Sleep(std::uniform_int_distribution<DWORD>(0, span)(rng));
        service.Kill();
        if (!PathExists(ConfigPath())) {
            stages += " none";
        } else if (PathExists(DataDir() + L"Profiles")) {
            stages += " all";
        } else {
            int staged = 0;
            for (int slot = 0; slot < kSlots; ++slot)
                staged += PathExists(DataDir() + L"Profiles.new\\Profile " + std::to_wstring(slot) +
                                     L".ini");
            stages += " config+" + std::to_string(staged);
        }

        ASSERT_TRUE(service.Start(*install));
        EXPECT_EQ(EngineValues(ConfigPath(), ConfigKeys()), config);
        for (int slot = 0; slot < kSlots; ++slot)
            EXPECT_EQ(EngineValues(SlotProfilePath(slot), ProfileKeys()), profiles[slot])
                << "profile " << slot;
        service.Kill();
    }
    std::printf("written when killed (config.ini + default profiles):%s\n", stages.c_str());
}

} // namespace
} // namespace orv::e2e
