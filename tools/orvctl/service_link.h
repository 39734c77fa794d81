// How orvctl reaches the running service: one narrow interface, one backend
// per platform (window messages, the registry and config.ini on Windows;
// the session bus on Linux), so the verbs themselves are written once.
#pragma once

#include "profile_verbs.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace orv::ctl {

// What the service shows of itself.
struct ServiceState {
    bool plugged = false;
    std::string firmware; // as stored; " " after a removal, empty before any plug change
    int slot = 0;         // 0..5
};

// Something the service told the suite, as watch prints it.
struct WatchEvent {
    enum Kind { kServiceUp, kServiceDown, kSlot, kPlugged, kFirmware, kProgress, kSync, kMessage };
    Kind kind = kSlot;
    std::int64_t value = 0; // slot, plug state, progress, sync value (lParam)
    std::uint64_t code = 0; // sync code (wParam)
    std::string text;       // firmware version; the window of a message
    std::uint32_t msg = 0;  // message number
    std::uint64_t wParam = 0;
    std::int64_t lParam = 0;
};

class IServiceLink {
public:
    virtual ~IServiceLink() = default;
    // False (and `state` untouched) when no service runs.
    virtual bool ReadState(ServiceState& state) = 0;
    // What the configuration program broadcasts: select slot 0..5, switch
    // to it for a while, and go back to the slot before the first switch.
    virtual ExitCode SelectSlot(int slot) = 0;
    virtual ExitCode TemporarySlot(int slot) = 0;
    virtual ExitCode ReturnSlot() = 0;
    virtual ExitCode Upload(bool lighting) = 0;
    virtual ExitCode UploadSlot(int slot) = 0;
    virtual ExitCode Reload() = 0;
    // Reports what the service tells the suite until the user interrupts
    // (SIGINT, SIGTERM, Ctrl+C); kExitFailed when it cannot listen at all.
    virtual ExitCode Watch(const std::function<void(const WatchEvent&)>& onEvent) = 0;
};

std::unique_ptr<IServiceLink> OpenServiceLink();

// The data folder as the service names it (application data + "\Orvane\"),
// set for the storage code without creating anything; false when the
// platform has no application-data folder.
bool UseDataFolder();

// The verbs only one platform has: on Windows the low-level message driver
// the demo and the end-to-end tests use. kVerbUnknown when `verb` is none.
inline constexpr int kVerbUnknown = -1;
int RunPlatformVerb(const std::string& verb, const std::vector<std::string>& args);
// Their lines for --help; empty when the platform has none.
const char* PlatformVerbsUsage();

// The portable program: `args` are the words after the program name, in UTF-8.
int Main(const std::vector<std::string>& args);

} // namespace orv::ctl
