// The library for real keyboards against the modelled HID stack:
//  - a command with no keyboard present, through the device connection as
//    the service issues it (the connection opens the library first), with
//    the listing kept between device changes and, as the baseline, listed
//    again at every open as the library used to;
//  - a query's round trip (write, reply, read), with the reply coming as an
//    input report through the reader thread or through the feature report.
#include "device/reports.h"
#include "device/usb_driver.h"
#include "hiddevice/hid_engine.h"
#include "hiddevice/model/model_stack.h"
#include "platform/host/host_platform.h"

#include <benchmark/benchmark.h>

namespace orv {
namespace {

using hid::HidEngine;
using hid::model::ModelStack;
using hid::model::ReplyVia;

HID_DEVICE_FILTER KeyboardFilter() {
    HID_DEVICE_FILTER filter{kKeyboardVendorId, kKeyboardProductId, kKeyboardCollections, {}};
    for (std::uint32_t i = 0; i < kKeyboardCollections; ++i)
        filter.Entries[i] = {kKeyboardFirstUsage + i, kKeyboardUsagePage};
    return filter;
}

void BM_CommandWithoutKeyboard(benchmark::State& state) {
    host::HostPlatform host;
    ModelStack stack(ReplyVia::InputReports, false);
    HidEngine engine(stack);
    engine.SetListingCache(state.range(0) != 0);
    InstallHidLibrary(&engine);
    {
        CUSBDriver driver;
        for (auto _ : state) {
            const int result = driver.SetPollingRate(3);
            benchmark::DoNotOptimize(result);
        }
        state.counters["listings"] = static_cast<double>(stack.Enumerations());
    }
    InstallHidLibrary(nullptr);
    engine.Close(0);
}
BENCHMARK(BM_CommandWithoutKeyboard)->ArgName("cached")->Arg(1)->Arg(0);

void BM_QueryRoundTrip(benchmark::State& state) {
    const ReplyVia via = state.range(0) != 0 ? ReplyVia::FeatureReports : ReplyVia::InputReports;
    ModelStack stack(via);
    HidEngine engine(stack);
    const HID_DEVICE_FILTER filter = KeyboardFilter();
    engine.SetFilter(&filter, 0);
    engine.Open(0x1234, 0x502, 0);
    std::uint32_t id = 0;
    for (const auto& posted : stack.Posted()) {
        const auto* record = reinterpret_cast<const HID_NOTIFY_RECORD*>(posted.lParam);
        if ((record->dwUsage >> 16) == kUsageCommands)
            id = record->dwDeviceID;
    }
    std::uint8_t report[kCommandReportSize];
    for (auto _ : state) {
        report[0] = kGroupSettings;
        report[1] = kCmdFirmwareQuery;
        const bool ok = engine.Write(id, report, sizeof report, 0) != 0 &&
                        engine.Read(id, report, sizeof report, 0) != 0;
        if (!ok)
            state.SkipWithError("the query went unanswered");
    }
    engine.Close(0);
}
BENCHMARK(BM_QueryRoundTrip)->ArgName("feature")->Arg(0)->Arg(1)->UseRealTime();

} // namespace
} // namespace orv
