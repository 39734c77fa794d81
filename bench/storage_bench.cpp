// Profile storage on the host: loading a full slot profile the way a slot
// change does, and saving it the way a lighting change does.
// Targets: load under 5 ms, save under 50 ms.
#include "storage/paths.h"
#include "base/wstr.h"
#include "platform/host/host_platform.h"
#include "storage/profile_data.h"
#include "storage/profile_file.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <memory>

namespace orv {
namespace {

constexpr char16_t kName[] = u"Bench";

// The platform, the data folder and one saved full profile: every key
// assigned, all five colour sets and links filled.
struct Setup {
    Setup() {
        std::u16string data = host.shell.appData + u"\\Orvane\\";
        host.files->MakeDirectory(data);
        host.files->MakeDirectory(data + u"Profiles");
        CopyToField(g_szDataDir, data);
        std::memset(settings.get(), 0, sizeof *settings);
        PROFILE_DATA& p = settings->Current;
        auto* bytes = reinterpret_cast<unsigned char*>(p.Buttons);
        for (std::size_t i = 0; i < sizeof p.Buttons; ++i)
            bytes[i] = static_cast<unsigned char>(i * 31 + 7);
        for (int key = 0; key < kKeyCount; ++key)
            CopyToField(p.Buttons[key].LaunchPath, FormatW(u"C:\\Tools\\tool%d.exe", key));
        for (int s = 0; s < kColorSetCount; ++s) {
            CopyToField(p.Colors[s].LightName, FormatW(u"Set %d", s));
            for (int key = 0; key < kKeyCount; ++key)
                p.Colors[s].KeyColor[key] =
                    static_cast<std::uint32_t>(key * 0x010203 + s) & 0xFFFFFF;
        }
        for (int i = 0; i < kLinkExeCount; ++i)
            CopyToField(p.LinkExe[i], FormatW(u"C:\\Program Files\\Game %d\\game.exe", i));
        p.Light.Effect = 19;
        p.Light.EffectLevel = 3;
        SaveProfileFile(kName, p);
    }
    host::HostPlatform host;
    std::unique_ptr<SETTING_INFO> settings = std::make_unique<SETTING_INFO>();
};

Setup& Shared() {
    static Setup setup;
    return setup;
}

void BM_SlotLoad(benchmark::State& state) {
    SETTING_INFO& settings = *Shared().settings;
    for (auto _ : state) {
        ClearProfile(settings);
        LoadProfileFile(kName, settings.Current);
        ValidateProfile(settings);
        benchmark::DoNotOptimize(settings.Current.Buttons[110].FunctionCode);
    }
}
BENCHMARK(BM_SlotLoad)->Unit(benchmark::kMillisecond);

// Every save carries a change, as after the keyboard changed the lighting:
// a save of an unchanged profile would find nothing to write.
void BM_SlotSave(benchmark::State& state) {
    SETTING_INFO& settings = *Shared().settings;
    ClearProfile(settings);
    LoadProfileFile(kName, settings.Current);
    ValidateProfile(settings);
    for (auto _ : state) {
        settings.Current.Light.EffectLevel = settings.Current.Light.EffectLevel % 5 + 1;
        SaveProfileFile(kName, settings.Current);
    }
}
BENCHMARK(BM_SlotSave)->Unit(benchmark::kMillisecond);

} // namespace
} // namespace orv
