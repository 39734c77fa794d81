// orvctl: the product's command-line tool. Its verbs reach the running
// service the way the suite's own programs do (through the platform's
// service link) and edit the profiles through the service's storage code.
// Every argument is checked before anything is sent or written, so a
// script that gets exit code 2 knows nothing happened.
#include "profile_slots.h"
#include "profile_verbs.h"
#include "service_link.h"

#include "base/wstr.h"
#include "messaging/messages.h"
#include "platform/platform.h"
#include "storage/paths.h"
#include "storage/profile_data.h"

#include <chrono>
#include <cstdio>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace orv::ctl {
namespace {

using Args = std::vector<std::string>;

struct Verb {
    const char* name;
    const char* synopsis;
    const char* help;
    int (*run)(const Args& args);
};

int BadInput(const std::string& verb, const std::string& what) {
    std::cerr << "orvctl " << verb << ": " << what << "\n";
    return kExitBadInput;
}

int NoService() {
    std::cerr << "orvctl: the Orvane service is not running\n";
    return kExitNoService;
}

// A slot as typed: one decimal digit 0..5, nothing else ("2x", "-1" and " 1" are refused).
bool ParseSlot(const std::string& text, int& slot) {
    if (text.size() != 1 || text[0] < '0' || text[0] >= '0' + kSlotCount)
        return false;
    slot = text[0] - '0';
    return true;
}

// What came of a request to the service, told once here for every verb.
int Sent(ExitCode code) {
    return code == kExitNoService ? NoService() : code;
}

int BadSlot(const std::string& verb, const std::string& text) {
    return BadInput(verb, "'" + text + "' is not a slot (slots are 0 to 5)");
}

// The profile names the six slots show, as the service takes them from
// config.ini; nothing is written, even where the service would complete the
// list on its next load.
std::vector<std::string> SlotProfileNames() {
    std::vector<std::string> names;
    for (int slot = 0; slot < kSlotCount; ++slot)
        names.push_back(ToUtf8(ReadSlotProfile(slot).name));
    return names;
}

std::string Trimmed(const std::string& text) {
    std::size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos)
        return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

std::string JsonString(const std::string& text) {
    std::string out = "\"";
    for (unsigned char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
            out += escaped;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

void PrintStatusJson(const ServiceState& state, const std::vector<std::string>& names) {
    std::ostringstream out;
    out << "{\"running\": true, \"plugged\": " << (state.plugged ? "true" : "false")
        << ", \"firmware\": " << JsonString(Trimmed(state.firmware)) << ", \"slot\": " << state.slot
        << ", \"profile\": " << JsonString(names[static_cast<std::size_t>(state.slot)])
        << ", \"profiles\": [";
    for (std::size_t slot = 0; slot < names.size(); ++slot)
        out << (slot ? ", " : "") << "{\"slot\": " << slot
            << ", \"name\": " << JsonString(names[slot]) << "}";
    out << "]}\n";
    std::cout << out.str();
}

void PrintStatusText(const ServiceState& state, const std::vector<std::string>& names) {
    std::string firmware = Trimmed(state.firmware);
    std::cout << "service   running\n"
              << "keyboard  " << (state.plugged ? "plugged in" : "not plugged in");
    if (!firmware.empty())
        std::cout << ", firmware " << firmware;
    std::cout << "\nslot      " << state.slot << " (" << names[static_cast<std::size_t>(state.slot)]
              << ")\nprofiles\n";
    for (std::size_t slot = 0; slot < names.size(); ++slot)
        std::cout << (static_cast<int>(slot) == state.slot ? "  * " : "    ") << slot << "  "
                  << names[slot] << "\n";
}

int RunStatus(const Args& args) {
    bool json = false;
    for (const std::string& arg : args) {
        if (arg == "--json")
            json = true;
        else
            return BadInput("status", "unknown argument '" + arg + "' (allowed: --json)");
    }
    ServiceState state;
    if (!OpenServiceLink()->ReadState(state))
        return NoService();
    std::vector<std::string> names = SlotProfileNames();
    if (json)
        PrintStatusJson(state, names);
    else
        PrintStatusText(state, names);
    return kExitOk;
}

int RunSlot(const Args& args) {
    constexpr char kForms[] = " (use: slot N, slot --temporary N, slot --back; N is 0 to 5)";
    int slot = 0;
    if (args.size() == 1 && args[0] == "--back")
        return Sent(OpenServiceLink()->ReturnSlot());
    if (args.size() == 2 && args[0] == "--temporary") {
        if (!ParseSlot(args[1], slot))
            return BadSlot("slot", args[1]);
        return Sent(OpenServiceLink()->TemporarySlot(slot));
    }
    if (args.size() == 1 && args[0].rfind("--", 0) != 0) {
        if (!ParseSlot(args[0], slot))
            return BadSlot("slot", args[0]);
        return Sent(OpenServiceLink()->SelectSlot(slot));
    }
    if (args.empty())
        return BadInput("slot", std::string("which slot?") + kForms);
    for (const std::string& arg : args) {
        if (arg.rfind("--", 0) == 0 && arg != "--temporary" && arg != "--back")
            return BadInput("slot", "unknown option '" + arg + "'" + kForms);
    }
    return BadInput("slot", std::string("wrong arguments") + kForms);
}

int RunUpload(const Args& args) {
    bool lighting = false;
    for (const std::string& arg : args) {
        if (arg == "--lighting")
            lighting = true;
        else
            return BadInput("upload", "unknown argument '" + arg + "' (allowed: --lighting)");
    }
    return Sent(OpenServiceLink()->Upload(lighting));
}

int RunUploadSlot(const Args& args) {
    if (args.size() != 1)
        return BadInput("upload-slot", "needs exactly one slot, 0 to 5");
    int slot = 0;
    if (!ParseSlot(args[0], slot))
        return BadSlot("upload-slot", args[0]);
    // The service writes the lighting of its current profile into the slot
    // it is asked to, so the slot is made current first, as the
    // configuration program does; otherwise another profile's lighting would
    // land in it.
    std::unique_ptr<IServiceLink> link = OpenServiceLink();
    if (int rc = Sent(link->SelectSlot(slot)); rc != kExitOk)
        return rc;
    ServiceState state;
    for (int waited = 0; !(link->ReadState(state) && state.slot == slot); waited += 50) {
        if (waited >= 5000) {
            std::cerr << "orvctl upload-slot: the service did not make slot " << slot
                      << " current; nothing was written to the keyboard\n";
            return kExitFailed;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return Sent(link->UploadSlot(slot));
}

int RunReload(const Args& args) {
    if (!args.empty())
        return BadInput("reload", "takes no arguments, got '" + args[0] + "'");
    return Sent(OpenServiceLink()->Reload());
}

// Names of the messages the service posts to the suite's windows.
std::string MessageName(std::uint32_t msg) {
    struct Named {
        MsgId value;
        const char* name;
    };
    static constexpr Named kNames[] = {
        {WM_DESTROY, "WM_DESTROY"},
        {WM_CLOSE, "WM_CLOSE"},
        {WM_COPYDATA, "WM_COPYDATA"},
        {WM_HID_FE_NOTIFY, "WM_HID_FE_NOTIFY"},
        {WM_HID_UPLOAD, "WM_HID_UPLOAD"},
        {WM_HID_SET_SLOT, "WM_HID_SET_SLOT"},
        {WM_HID_LIGHT_EFFECT, "WM_HID_LIGHT_EFFECT"},
        {WM_HID_LIGHT_OPTION, "WM_HID_LIGHT_OPTION"},
        {WM_HID_LIGHT_LEVEL, "WM_HID_LIGHT_LEVEL"},
        {WM_HID_PLUG, "WM_HID_PLUG"},
        {WM_HID_STATUS_NOTIFY, "WM_HID_STATUS_NOTIFY"},
    };
    for (const Named& n : kNames) {
        if (n.value == msg)
            return n.name;
    }
    char number[16];
    std::snprintf(number, sizeof number, "0x%X", static_cast<unsigned>(msg));
    return number;
}

const char* SyncCodeName(std::uint64_t code) {
    switch (code) {
    case kSyncSelectSlot:
    case kSyncSelectSlotToo:
        return "select-slot";
    case kSyncTemporarySwitch:
        return "temporary-switch";
    case kSyncHeldFunction:
        return "held-function";
    case kSyncPickSlot:
        return "pick-slot";
    case kSyncHoldKey:
        return "hold-key";
    case kSyncMode:
        return "mode";
    default:
        return "other";
    }
}

std::string FormatEvent(const WatchEvent& e) {
    switch (e.kind) {
    case WatchEvent::kServiceUp:
        return "service running";
    case WatchEvent::kServiceDown:
        return "service stopped";
    case WatchEvent::kSlot:
        return "slot " + std::to_string(e.value);
    case WatchEvent::kPlugged:
        return std::string("plugged ") + (e.value != 0 ? "yes" : "no");
    case WatchEvent::kFirmware:
        return "firmware " + (Trimmed(e.text).empty() ? std::string("unknown") : Trimmed(e.text));
    case WatchEvent::kProgress:
        return "upload-progress " + std::to_string(e.value);
    case WatchEvent::kSync:
        return "broadcast QUIV_DEV_SYNC code " + std::to_string(e.code) + " (" +
               SyncCodeName(e.code) + ") value " + std::to_string(e.value);
    case WatchEvent::kMessage:
        return "message " + e.text + " " + MessageName(e.msg) + " wparam " +
               std::to_string(e.wParam) + " lparam " + std::to_string(e.lParam);
    }
    return {};
}

int RunWatch(const Args& args) {
    if (!args.empty())
        return BadInput("watch", "takes no arguments, got '" + args[0] + "'");
    // The service may tell the same state again (each collection's plug
    // handling stores it); only changes are printed, until it restarts.
    std::map<WatchEvent::Kind, std::string> shown;
    return OpenServiceLink()->Watch([&shown](const WatchEvent& e) {
        std::string line = FormatEvent(e);
        bool isState = e.kind == WatchEvent::kSlot || e.kind == WatchEvent::kPlugged ||
                       e.kind == WatchEvent::kFirmware;
        if (e.kind == WatchEvent::kServiceUp || e.kind == WatchEvent::kServiceDown)
            shown.clear();
        if (isState) {
            auto last = shown.find(e.kind);
            if (last != shown.end() && last->second == line)
                return;
            shown[e.kind] = line;
        }
        // Flushed line by line for a script that reads as it happens.
        std::cout << line << std::endl;
    });
}

// A profile edit asks the running service through the same link.
class LinkHooks : public IServiceHooks {
public:
    int CurrentSlot() override {
        ServiceState state;
        return m_link->ReadState(state) ? state.slot : -1;
    }
    bool Reload() override { return m_link->Reload() == kExitOk; }
    bool UploadCurrent() override { return m_link->Upload(true) == kExitOk; }

private:
    std::unique_ptr<IServiceLink> m_link = OpenServiceLink();
};

int RunProfile(const Args& args) {
    LinkHooks hooks;
    return RunProfileVerb(args, hooks, std::cout, std::cerr);
}

int RunKeys(const Args& args) {
    return RunKeysVerb(args, std::cout, std::cerr);
}

const Verb kVerbs[] = {
    {"status", "status [--json]",
     "Shows whether the keyboard is plugged in, its firmware version, the current slot\n"
     "and its profile, and the profiles of the six slots. --json prints one object:\n"
     "  {\"running\": true, \"plugged\": BOOL, \"firmware\": STRING, \"slot\": 0-5,\n"
     "   \"profile\": STRING, \"profiles\": [{\"slot\": 0-5, \"name\": STRING}, ...6]}\n",
     RunStatus},
    {"slot", "slot N | slot --temporary N | slot --back",
     "Selects slot N (0 to 5) as the configuration program does. --temporary switches\n"
     "to N for a while (the slot before the first temporary switch is remembered);\n"
     "--back returns to the remembered slot.\n",
     RunSlot},
    {"upload", "upload [--lighting]",
     "Writes the current slot's profile to the keyboard (macros, keys, and with\n"
     "--lighting the lighting too), after reloading everything from disk.\n",
     RunUpload},
    {"upload-slot", "upload-slot N",
     "Makes slot N (0 to 5) current, as `slot N` does, and writes its lighting to the\n"
     "keyboard.\n",
     RunUploadSlot},
    {"reload", "reload",
     "Makes the service read its settings and profiles again; nothing is written to\n"
     "the keyboard.\n",
     RunReload},
    {"watch", "watch",
     "Prints what the service tells the suite as it happens, one line each, until\n"
     "interrupted: slot and plug changes, firmware version, broadcasts with their codes\n"
     "(and on Linux the messages to the suite's windows and the upload progress).\n",
     RunWatch},
    {"profile", "profile ...", nullptr, RunProfile},
    {"keys", "keys ...", "Lists the key names the profile verbs accept.\n", RunKeys},
};

void PrintUsage(std::ostream& out) {
    out << "Usage: orvctl VERB [ARGUMENTS]   (orvctl VERB --help for one verb)\n\nVerbs:\n";
    for (const Verb& verb : kVerbs)
        out << "  orvctl " << verb.synopsis << "\n";
    out << "\n" << ProfileUsage();
    const char* platform = PlatformVerbsUsage();
    if (platform[0] != '\0')
        out << "\nVerbs for tests:\n" << platform;
    out << "\nExit codes: 0 done, 1 failed, 2 bad arguments (nothing was sent or written),\n"
           "3 the service is not running.\n";
}

int PrintVerbHelp(const Verb& verb) {
    if (verb.help == nullptr) {
        std::cout << ProfileUsage();
    } else {
        std::cout << "Usage: orvctl " << verb.synopsis << "\n\n" << verb.help;
    }
    return kExitOk;
}

bool WantsHelp(const Args& args) {
    return args.size() == 1 && (args[0] == "--help" || args[0] == "-h");
}

} // namespace

bool UseDataFolder() {
    std::u16string appData = Shell().AppDataFolder();
    if (appData.empty() || appData.size() + 8 >= kPathCapacity)
        return false;
    CopyToField(g_szDataDir, appData + u"\\Orvane\\");
    return true;
}

int Main(const std::vector<std::string>& args) {
    if (args.empty() || args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
        if (args.size() == 2) {
            for (const Verb& verb : kVerbs) {
                if (args[1] == verb.name)
                    return PrintVerbHelp(verb);
            }
        }
        PrintUsage(args.empty() ? std::cerr : std::cout);
        return args.empty() ? kExitBadInput : kExitOk;
    }
    const std::string& name = args[0];
    Args rest(args.begin() + 1, args.end());
    for (const Verb& verb : kVerbs) {
        if (name != verb.name)
            continue;
        // The profile verbs have --help of their own, one per sub-verb.
        if (WantsHelp(rest) && verb.run != RunProfile && verb.run != RunKeys)
            return PrintVerbHelp(verb);
        if (!UseDataFolder()) {
            std::cerr << "orvctl: this system gives no folder for application data\n";
            return kExitFailed;
        }
        return verb.run(rest);
    }
    int platform = RunPlatformVerb(name, rest);
    if (platform != kVerbUnknown)
        return platform;
    std::cerr << "orvctl: unknown verb '" << name << "' (orvctl --help lists them)\n";
    return kExitBadInput;
}

} // namespace orv::ctl
