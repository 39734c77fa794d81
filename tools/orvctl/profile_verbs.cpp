// `orvctl profile ...` and `orvctl keys`: every word is checked first, then
// the slot's profile is read, changed and saved through the service's own
// storage code, so the files stay as the configuration program reads them,
// and the running service is asked to take the edit up.
#include "profile_verbs.h"

#include "base/wstr.h"
#include "ctl_args.h"
#include "device/key_names.h"
#include "platform/platform.h"
#include "profile_slots.h"
#include "storage/ini_file.h"
#include "storage/profile_file.h"
#include "storage/profile_list.h"

#include <cstring>
#include <functional>

namespace orv::ctl {

namespace {

// The function code that starts the key's LaunchPath.
constexpr std::int32_t kLaunchFunction = 223;
constexpr int kMaxFunctionCode = 65535;
// A profile file is some 630 KB; anything far larger is not one.
constexpr std::size_t kMaxImportBytes = 16u << 20;

struct VerbHelp {
    const char* name;
    const char* form;
    const char* about;
};

constexpr VerbHelp kVerbs[] = {
    {"list", "list", "the six slots and the profile each shows"},
    {"show", "show N", "a slot's lighting, colour sets, key assignments and linked programs"},
    {"set-lighting", "set-lighting N [--effect E] [--option O] [--level L] [--color RRGGBB]",
     "the lighting: effect 0..20, option 0..2, level 1..5, colour"},
    {"set-key-color", "set-key-color N KEY|--all RRGGBB [--set S]",
     "one key's colour, or every key's, in colour set S 0..4 (default 0)"},
    {"assign", "assign N KEY default|disable|launch PATH|function CODE",
     "what a key does: its own key, nothing, start a program, or function CODE 1..65535"},
    {"link", "link N PATH", "switch to the slot when the program PATH comes to the front"},
    {"unlink", "unlink N PATH", "remove a linked program"},
    {"rename", "rename N NAME", "give the slot's profile another name (also its file's)"},
    {"export", "export N FILE", "copy the slot's profile file, byte for byte, to FILE"},
    {"import", "import N FILE", "make FILE, a profile file, the slot's profile"},
};

constexpr char kUsage[] =
    "usage: orvctl profile VERB ...\n"
    "  list                        the six slots and the profile each shows\n"
    "  show N                      lighting, colour sets, key assignments, linked programs\n"
    "  set-lighting N [--effect E] [--option O] [--level L] [--color RRGGBB]\n"
    "  set-key-color N KEY|--all RRGGBB [--set S]\n"
    "  assign N KEY default|disable|launch PATH|function CODE\n"
    "  link N PATH | unlink N PATH\n"
    "  rename N NAME\n"
    "  export N FILE | import N FILE\n"
    "N is a slot 0..5, KEY a key name (orvctl keys), E 0..20, O 0..2, L 1..5, S a colour\n"
    "set 0..4, colours RRGGBB. An edit of the service's current slot is taken up at once;\n"
    "--upload on an edit of the current slot also writes it to the keyboard.\n"
    "`orvctl profile VERB --help` tells more. Exit codes: 0 done, 1 failed, 2 a wrong\n"
    "argument (nothing written), 3 no service runs (for --upload).\n";

const VerbHelp* FindVerb(const std::string& name) {
    for (const VerbHelp& verb : kVerbs)
        if (name == verb.name)
            return &verb;
    return nullptr;
}

std::string Utf8(std::u16string_view text) {
    return ToUtf8(text);
}

std::string KeyName(int key) {
    return Utf8(g_KeyNames[key]);
}

int KeyArg(const std::string& text) {
    const int key = FindKeyByName(FromUtf8(text));
    if (key < 0)
        throw BadInput{"unknown key '" + text + "' (`orvctl keys` lists the 111 key names)"};
    return key;
}

std::u16string PathArg(const std::string& text, const char* what, std::size_t maxChars) {
    std::u16string path = TextArg(text, what);
    if (path.empty())
        throw BadInput{std::string(what) + " is empty"};
    if (path.size() > maxChars)
        throw BadInput{std::string(what) + " is longer than " + std::to_string(maxChars) +
                       " characters"};
    return path;
}

// Linked programs are INI text values, which lose blanks around them and a
// pair of quotes when read.
std::u16string LinkPathArg(const std::string& text) {
    std::u16string path = PathArg(text, "the program path", kTextChars - 1);
    if (ini::StripQuotes(path) != path || path.front() == u' ' || path.back() == u' ' ||
        path.front() == u'\t' || path.back() == u'\t')
        throw BadInput{"the program path cannot start or end with a blank or be in quotes"};
    return path;
}

std::string Describe(const BUTTON_INFO& key) {
    switch (key.AssignKind) {
    case kAssignBuiltIn:
        return {};
    case kAssignDisabled:
        return "disabled";
    case kAssignFunction:
        if (key.FunctionCode == kLaunchFunction)
            return "launch " + Utf8(FieldText(key.LaunchPath));
        return "function " + std::to_string(key.FunctionCode);
    default:
        return "kind " + std::to_string(key.AssignKind) + " function " +
               std::to_string(key.FunctionCode);
    }
}

// Who is affected by an edit: the slot the service shows, or the service
// whichever slot it shows (it keeps every slot's names and linked programs).
enum class Reach { CurrentSlot, AnySlot };

class ProfileVerbs {
public:
    ProfileVerbs(IServiceHooks& service, std::ostream& out, std::ostream& err)
        : m_service(service), m_out(out), m_err(err) {}

    int Run(const VerbHelp& verb, const std::vector<std::string>& args);

private:
    int List(const std::vector<std::string>& args);
    int Show(const std::vector<std::string>& args);
    int SetLighting(const std::vector<std::string>& args);
    int SetKeyColor(const std::vector<std::string>& args);
    int Assign(const std::vector<std::string>& args);
    int Link(const std::vector<std::string>& args, bool add);
    int Rename(const std::vector<std::string>& args);
    int Export(const std::vector<std::string>& args);
    int Import(const std::vector<std::string>& args);

    using Change = std::function<void(PROFILE_DATA&)>;
    int Edit(int slot, bool upload, Reach reach, const Change& change);
    // Nonzero (and the line said) when the edit may not go ahead.
    int CheckService(int slot, bool upload);
    int TellService(int slot, bool upload, Reach reach);
    int Failed(const std::string& line) {
        m_err << "orvctl profile " << m_verb << ": " << line << '\n';
        return kExitFailed;
    }
    std::u16string ProfilesFolder() const { return m_dataDir + u"Profiles"; }

    IServiceHooks& m_service;
    std::ostream& m_out;
    std::ostream& m_err;
    std::string m_verb;
    std::u16string m_dataDir;
    int m_current = -1; // the service's slot, read once per verb
};

int ProfileVerbs::Run(const VerbHelp& verb, const std::vector<std::string>& args) {
    m_verb = verb.name;
    try {
        if (!FindDataFolder(m_dataDir) || !Files().IsDirectory(m_dataDir))
            return Failed("there is no data folder " + Utf8(m_dataDir) +
                          " (the service makes it when it first starts)");
        const std::string name = verb.name;
        if (name == "list")
            return List(args);
        if (name == "show")
            return Show(args);
        if (name == "set-lighting")
            return SetLighting(args);
        if (name == "set-key-color")
            return SetKeyColor(args);
        if (name == "assign")
            return Assign(args);
        if (name == "link" || name == "unlink")
            return Link(args, name == "link");
        if (name == "rename")
            return Rename(args);
        if (name == "export")
            return Export(args);
        return Import(args);
    } catch (const BadInput& bad) {
        m_err << "orvctl profile " << m_verb << ": " << bad.line << '\n';
        return kExitBadInput;
    }
}

int ProfileVerbs::List(const std::vector<std::string>& args) {
    VerbArgs a = SplitArgs(args, 1, {}, {});
    ExpectWords(a, 0, "no arguments: list");
    m_current = m_service.CurrentSlot();
    for (int slot = 0; slot < kSlotCount; ++slot) {
        SlotProfile profile = ReadSlotProfile(slot);
        m_out << "slot " << slot << ": " << Utf8(profile.name);
        if (slot == m_current)
            m_out << "  (current)";
        if (!Files().Exists(ProfileFilePath(profile.name)))
            m_out << "  (no file)";
        m_out << '\n';
    }
    return kExitOk;
}

int ProfileVerbs::Show(const std::vector<std::string>& args) {
    VerbArgs a = SplitArgs(args, 1, {}, {});
    ExpectWords(a, 1, "show N");
    const int slot = SlotArg(a.words[0]);
    SlotProfile slotProfile = ReadSlotProfile(slot);
    const std::u16string path = ProfileFilePath(slotProfile.name);
    auto profile = ReadProfile(slotProfile.name);

    m_out << "slot " << slot << ": " << Utf8(slotProfile.name) << '\n';
    m_out << "file: " << Utf8(path) << (Files().Exists(path) ? "" : "  (missing)") << '\n';
    const LIGHT_INFO& light = profile->Light;
    m_out << "lighting: effect " << int(light.Effect) << " option " << int(light.EffectOption)
          << " level " << int(light.EffectLevel) << " color " << ColorText(light.Color) << '\n';
    for (int s = 0; s < kColorSetCount; ++s) {
        const LIGHT_DATA& set = profile->Colors[s];
        m_out << "color set " << s << " \"" << Utf8(FieldText(set.LightName)) << "\":";
        for (int key = 0; key < kKeyCount; ++key)
            m_out << ' ' << KeyName(key) << '=' << ColorText(set.KeyColor[key]);
        m_out << '\n';
    }
    int assigned = 0;
    for (int key = 0; key < kKeyCount; ++key) {
        std::string what = Describe(profile->Buttons[key]);
        if (what.empty())
            continue;
        ++assigned;
        m_out << "key " << KeyName(key) << ": " << what << '\n';
    }
    if (assigned == 0)
        m_out << "keys: all default\n";
    for (int i = 0; i < kLinkExeCount; ++i) {
        std::u16string_view link = FieldText(profile->LinkExe[i]);
        if (!link.empty())
            m_out << "link " << i << ": " << Utf8(link) << '\n';
    }
    return kExitOk;
}

int ProfileVerbs::SetLighting(const std::vector<std::string>& args) {
    VerbArgs a = SplitArgs(args, 1, {"--effect", "--option", "--level", "--color"}, {"--upload"});
    ExpectWords(a, 1, "set-lighting N [--effect E] [--option O] [--level L] [--color RRGGBB]");
    const int slot = SlotArg(a.words[0]);
    if (a.options.empty())
        throw BadInput{"nothing to set: give --effect, --option, --level or --color"};
    auto number = [&](const char* option, const char* what, int lo, int hi) {
        auto it = a.options.find(option);
        return it == a.options.end() ? -1 : NumberArg(it->second, what, lo, hi);
    };
    const int effect = number("--effect", "effect", 0, 20);
    const int option = number("--option", "option", 0, 2);
    const int level = number("--level", "level", 1, 5);
    const bool hasColor = a.options.count("--color") != 0;
    const std::uint32_t color = hasColor ? ColorArg(a.options["--color"]) : 0;
    return Edit(slot, a.Has("--upload"), Reach::CurrentSlot, [&](PROFILE_DATA& profile) {
        LIGHT_INFO& light = profile.Light;
        if (effect >= 0)
            light.Effect = static_cast<std::uint8_t>(effect);
        if (option >= 0)
            light.EffectOption = static_cast<std::uint8_t>(option);
        if (level >= 0)
            light.EffectLevel = static_cast<std::uint8_t>(level);
        if (hasColor)
            light.Color = color;
    });
}

int ProfileVerbs::SetKeyColor(const std::vector<std::string>& args) {
    VerbArgs a = SplitArgs(args, 1, {"--set"}, {"--all", "--upload"});
    const bool all = a.Has("--all");
    ExpectWords(a, all ? 2 : 3,
                all ? "set-key-color N --all RRGGBB [--set S]"
                    : "set-key-color N KEY RRGGBB [--set S]");
    const int slot = SlotArg(a.words[0]);
    const int key = all ? -1 : KeyArg(a.words[1]);
    const std::uint32_t color = ColorArg(a.words.back());
    const int set = a.Has("--set") ? NumberArg(a.options["--set"], "colour set", 0, 4) : 0;
    return Edit(slot, a.Has("--upload"), Reach::CurrentSlot, [&](PROFILE_DATA& profile) {
        std::uint32_t(&colors)[kKeyCount] = profile.Colors[set].KeyColor;
        for (int k = 0; k < kKeyCount; ++k)
            if (all || k == key)
                colors[k] = color;
    });
}

int ProfileVerbs::Assign(const std::vector<std::string>& args) {
    VerbArgs a = SplitArgs(args, 1, {}, {"--upload"});
    if (a.words.size() < 3)
        throw BadInput{"expected assign N KEY default|disable|launch PATH|function CODE"};
    const int slot = SlotArg(a.words[0]);
    const int key = KeyArg(a.words[1]);
    const std::string& kind = a.words[2];
    BUTTON_INFO change{};
    std::u16string launchPath;
    if (kind == "default" || kind == "disable") {
        ExpectWords(a, 3, ("assign N KEY " + kind).c_str());
        change.AssignKind = kind == "default" ? kAssignBuiltIn : kAssignDisabled;
    } else if (kind == "launch") {
        ExpectWords(a, 4, "assign N KEY launch PATH");
        launchPath = PathArg(a.words[3], "the program path", kLaunchPathChars - 1);
        change.AssignKind = kAssignFunction;
        change.FunctionCode = kLaunchFunction;
    } else if (kind == "function") {
        ExpectWords(a, 4, "assign N KEY function CODE");
        change.AssignKind = kAssignFunction;
        change.FunctionCode = NumberArg(a.words[3], "function code", 1, kMaxFunctionCode);
    } else {
        throw BadInput{"unknown assignment '" + kind +
                       "' (allowed: default, disable, launch PATH, function CODE)"};
    }
    return Edit(slot, a.Has("--upload"), Reach::CurrentSlot, [&](PROFILE_DATA& profile) {
        BUTTON_INFO& button = profile.Buttons[key];
        button.AssignKind = change.AssignKind;
        button.FunctionCode = change.FunctionCode;
        // A function keeps the path it may have; the others have none.
        if (kind != "function")
            SetFieldText(button.LaunchPath, launchPath);
    });
}

int ProfileVerbs::Link(const std::vector<std::string>& args, bool add) {
    VerbArgs a = SplitArgs(args, 1, {}, {"--upload"});
    ExpectWords(a, 2, add ? "link N PATH" : "unlink N PATH");
    const int slot = SlotArg(a.words[0]);
    const std::u16string path = LinkPathArg(a.words[1]);
    return Edit(slot, a.Has("--upload"), Reach::AnySlot, [&](PROFILE_DATA& profile) {
        int found = -1, empty = -1;
        for (int i = kLinkExeCount - 1; i >= 0; --i) {
            std::u16string_view link = FieldText(profile.LinkExe[i]);
            // The service matches linked programs without regard to case.
            if (!link.empty() && EqualsNoCase(link, path))
                found = i;
            if (link.empty())
                empty = i;
        }
        if (add && found < 0 && empty < 0)
            throw BadInput{"slot " + std::to_string(slot) + " links " +
                           std::to_string(kLinkExeCount) + " programs already (the most)"};
        if (!add && found < 0)
            throw BadInput{"slot " + std::to_string(slot) + " does not link " + a.words[1]};
        if (add && found < 0)
            SetFieldText(profile.LinkExe[empty], path);
        if (!add)
            SetFieldText(profile.LinkExe[found], u"");
    });
}

int ProfileVerbs::Rename(const std::vector<std::string>& args) {
    VerbArgs a = SplitArgs(args, 1, {}, {"--upload"});
    ExpectWords(a, 2, "rename N NAME");
    const int slot = SlotArg(a.words[0]);
    const std::u16string name = TextArg(a.words[1], "the name");
    if (std::string fault = NameFault(name); !fault.empty())
        throw BadInput{fault};
    const SlotProfile old = ReadSlotProfile(slot);
    if (name == old.name)
        return kExitOk;
    const int record = old.record >= 0 ? old.record : slot;
    for (int other = 0; other < kSlotCount; ++other) {
        SlotProfile profile = ReadSlotProfile(other);
        const int otherRecord = profile.record >= 0 ? profile.record : other;
        if (otherRecord != record && EqualsNoCase(profile.name, name))
            throw BadInput{"slot " + std::to_string(other) + " has a profile named " + a.words[1] +
                           " already"};
    }
    const std::u16string from = ProfileFilePath(old.name), to = ProfileFilePath(name);
    const bool caseOnly = EqualsNoCase(old.name, name);
    if (!caseOnly && Files().Exists(to))
        throw BadInput{"a profile file " + Utf8(to) + " exists already"};
    if (int rc = CheckService(slot, a.Has("--upload")); rc != kExitOk)
        return rc;

    // The file takes its new name first: the profile's keys, lighting and
    // links go with it in one step, and the list then names it. (The file
    // services match names without regard to case, so a change of case
    // alone needs no move.)
    if (!caseOnly && Files().Exists(from) && !Files().MoveEntry(from, to))
        return Failed("could not rename " + Utf8(from) + " to " + Utf8(to));
    auto item = std::make_unique<PROFILE_LIST_ITEM>();
    ReadListItem(record, *item);
    SetFieldText(item->ProfileName, name);
    if (old.record < 0)
        WriteSlotMapping(slot, record);
    WriteListItem(record, *item);
    if (ReadSlotProfile(slot).name != name)
        return Failed("could not write the new name into " + Utf8(m_dataDir) + "config.ini");
    m_out << "slot " << slot << ": renamed to " << a.words[1] << '\n';
    return TellService(slot, a.Has("--upload"), Reach::AnySlot);
}

int ProfileVerbs::Export(const std::vector<std::string>& args) {
    VerbArgs a = SplitArgs(args, 1, {}, {});
    ExpectWords(a, 2, "export N FILE");
    const int slot = SlotArg(a.words[0]);
    const std::u16string target = FileArg(a.words[1]);
    if (Files().IsDirectory(target))
        throw BadInput{a.words[1] + " is a folder; name the file to write"};
    const std::u16string source = ProfileFilePath(ReadSlotProfile(slot).name);
    std::string bytes;
    if (Files().ReadAll(source, bytes) != ReadResult::Ok)
        return Failed("cannot read the profile file " + Utf8(source));
    std::string written;
    if (!Files().ReplaceContent(target, bytes) ||
        Files().ReadAll(target, written) != ReadResult::Ok || written != bytes)
        return Failed("could not write " + Utf8(target));
    m_out << "slot " << slot << ": exported to " << Utf8(target) << '\n';
    return kExitOk;
}

int ProfileVerbs::Import(const std::vector<std::string>& args) {
    VerbArgs a = SplitArgs(args, 1, {}, {"--upload"});
    ExpectWords(a, 2, "import N FILE");
    const int slot = SlotArg(a.words[0]);
    const std::u16string source = FileArg(a.words[1]);
    std::string bytes;
    std::uint32_t error = 0;
    if (Files().ReadAllUpTo(source, kMaxImportBytes, bytes, error) != ReadResult::Ok)
        throw BadInput{"cannot read " + a.words[1] + " (a profile file, at most 16 MB)"};
    if (std::u16string fault = ProfileFileFault(bytes); !fault.empty())
        throw BadInput{a.words[1] + " is not a profile file: " + Utf8(fault)};
    if (int rc = CheckService(slot, a.Has("--upload")); rc != kExitOk)
        return rc;
    if (!Files().IsDirectory(ProfilesFolder()))
        return Failed("there is no profile folder " + Utf8(ProfilesFolder()) +
                      " (the service makes it when it first starts)");
    const std::u16string target = ProfileFilePath(ReadSlotProfile(slot).name);
    std::string written;
    if (!Files().ReplaceContent(target, bytes) ||
        Files().ReadAll(target, written) != ReadResult::Ok || written != bytes)
        return Failed("could not write " + Utf8(target));
    m_out << "slot " << slot << ": imported " << Utf8(source) << '\n';
    return TellService(slot, a.Has("--upload"), Reach::AnySlot);
}

int ProfileVerbs::CheckService(int slot, bool upload) {
    m_current = m_service.CurrentSlot();
    if (upload && m_current < 0) {
        m_err << "orvctl profile " << m_verb
              << ": no service runs to upload the slot; nothing was written\n";
        return kExitNoService;
    }
    // The service writes only its current slot into the keyboard; writing
    // another would put the current profile's keys and lighting into it.
    if (upload && slot != m_current) {
        m_err << "orvctl profile " << m_verb << ": --upload writes the current slot, which is "
              << m_current << ", not " << slot << " (make it current first: orvctl slot " << slot
              << "); nothing was written\n";
        return kExitBadInput;
    }
    return kExitOk;
}

int ProfileVerbs::Edit(int slot, bool upload, Reach reach, const Change& change) {
    const SlotProfile slotProfile = ReadSlotProfile(slot);
    auto profile = ReadProfile(slotProfile.name);
    change(*profile); // may still find the words wrong for this profile
    if (int rc = CheckService(slot, upload); rc != kExitOk)
        return rc;
    if (!Files().IsDirectory(ProfilesFolder()))
        return Failed("there is no profile folder " + Utf8(ProfilesFolder()) +
                      " (the service makes it when it first starts)");
    SaveProfileFile(slotProfile.name, *profile);
    auto saved = ReadProfile(slotProfile.name);
    if (std::memcmp(saved.get(), profile.get(), sizeof *profile) != 0)
        return Failed("could not write " + Utf8(ProfileFilePath(slotProfile.name)));
    m_out << "slot " << slot << ": " << Utf8(slotProfile.name) << " saved\n";
    return TellService(slot, upload, reach);
}

int ProfileVerbs::TellService(int slot, bool upload, Reach reach) {
    int rc = kExitOk;
    const bool reload = m_current >= 0 && (m_current == slot || reach == Reach::AnySlot);
    if (reload && !m_service.Reload())
        rc = Failed("saved, but the service did not reload its profiles");
    if (upload && !m_service.UploadCurrent())
        rc = Failed("saved, but the service did not upload slot " + std::to_string(slot));
    return rc;
}

} // namespace

int RunProfileVerb(const std::vector<std::string>& args, IServiceHooks& service, std::ostream& out,
                   std::ostream& err) {
    if (args.empty()) {
        err << ProfileUsage();
        return kExitBadInput;
    }
    if (args[0] == "--help" || args[0] == "help") {
        out << ProfileUsage();
        return kExitOk;
    }
    const VerbHelp* verb = FindVerb(args[0]);
    if (verb == nullptr) {
        std::string names;
        for (const VerbHelp& v : kVerbs)
            names += (names.empty() ? "" : ", ") + std::string(v.name);
        err << "orvctl profile: unknown verb '" << args[0] << "' (verbs: " << names << ")\n";
        return kExitBadInput;
    }
    for (const std::string& word : args) {
        if (word == "--help") {
            out << "usage: orvctl profile " << verb->form << "\n  " << verb->about << '\n';
            return kExitOk;
        }
    }
    ProfileVerbs verbs(service, out, err);
    return verbs.Run(*verb, args);
}

int RunKeysVerb(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    if (!args.empty() && args[0] == "--help") {
        out << "usage: orvctl keys\n  the 111 key names, in key index order (matched without "
               "case)\n";
        return kExitOk;
    }
    if (!args.empty()) {
        err << "orvctl keys: takes no arguments\n";
        return kExitBadInput;
    }
    for (const char16_t* name : g_KeyNames)
        out << Utf8(name) << '\n';
    return kExitOk;
}

const char* ProfileUsage() {
    return kUsage;
}

} // namespace orv::ctl
