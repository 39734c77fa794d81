// orvctl against the real service on a session bus of the test's own, on
// the simulated keyboard: status for people and scripts, the slot verbs,
// the uploads, watch, bad arguments (refused before anything is sent), the
// verbs that find no service, and profile edits taken up by the service.
#include "bus_support.h"
#include "common/json_reader.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <sys/stat.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

namespace orv::linux_test {
namespace {

constexpr std::uint32_t kSetSlot = 0x658;

struct Result {
    int code = -1;
    std::string out, err;
};

std::string ReadAll(int fd) {
    std::string text;
    char buf[4096];
    for (ssize_t n; (n = read(fd, buf, sizeof buf)) > 0;)
        text.append(buf, static_cast<std::size_t>(n));
    return text;
}

std::string FileBytes(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << file.rdbuf();
    return bytes.str();
}

class Orvctl : public BusTest {
protected:
    // Starts orvctl with its output in pipes; false when it cannot start.
    bool Spawn(const std::vector<std::string>& args, GPid& pid, int& out, int& err) {
        std::vector<std::string> argv{ORV_ORVCTL_PATH};
        argv.insert(argv.end(), args.begin(), args.end());
        std::vector<std::string> env = Environment();
        auto argp = Pointers(argv);
        auto envp = Pointers(env);
        GError* error = nullptr;
        if (!g_spawn_async_with_pipes(nullptr, argp.data(), envp.data(), G_SPAWN_DO_NOT_REAP_CHILD,
                                      nullptr, nullptr, &pid, nullptr, &out, &err, &error)) {
            ADD_FAILURE() << error->message;
            g_error_free(error);
            return false;
        }
        return true;
    }

    Result Run(const std::vector<std::string>& args) {
        Result result;
        GPid pid = 0;
        int out = -1, err = -1;
        if (!Spawn(args, pid, out, err))
            return result;
        int status = 0;
        if (WaitFor([&] { return waitpid(pid, &status, WNOHANG) == pid; }, 15000)) {
            result.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        } else {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
        result.out = ReadAll(out);
        result.err = ReadAll(err);
        close(out);
        close(err);
        g_spawn_close_pid(pid);
        return result;
    }

    // `orvctl status --json`, parsed.
    test::Json Status() {
        Result status = Run({"status", "--json"});
        EXPECT_EQ(status.code, 0) << status.err;
        test::Json json;
        EXPECT_TRUE(test::JsonReader::Parse(status.out, json)) << status.out;
        return json;
    }

    // The keyboard's report for a press of the key at matrix position
    // `position` that carries a program (the key code such a key is given).
    void PressLaunchKey(std::uint8_t position) {
        const std::uint8_t bytes[] = {0x08, position, 0x01, 0xFE, 0, 0, 0, 0, 0};
        SimOk("Report", g_variant_new("(y@ay)", 1,
                                      g_variant_new_fixed_array(G_VARIANT_TYPE_BYTE, bytes,
                                                                sizeof bytes, 1)));
    }

    void RunOk(const std::vector<std::string>& args) {
        Result r = Run(args);
        EXPECT_EQ(r.code, 0) << args[0] << ": " << r.err;
        EXPECT_EQ(r.err, "");
    }
};

// Bad arguments, each refused with one line naming what is wrong, exit 2.
const std::vector<std::vector<std::string>> kBadInputs = {
    {"slot"},
    {"slot", "6"},
    {"slot", "-1"},
    {"slot", "2x"},
    {"slot", ""},
    {"slot", "1", "2"},
    {"slot", "--temporary"},
    {"slot", "--temporary", "9"},
    {"slot", "--back", "1"},
    {"slot", "--soon", "1"},
    {"upload", "--everything"},
    {"upload-slot"},
    {"upload-slot", "06"},
    {"reload", "now"},
    {"status", "--xml"},
    {"watch", "--all"},
    {"frobnicate"},
    {},
};

void ExpectRefused(const Result& r, const std::vector<std::string>& args) {
    std::string what = args.empty() ? "(none)" : args[0] + (args.size() > 1 ? " " + args[1] : "");
    EXPECT_EQ(r.code, 2) << what;
    EXPECT_EQ(r.out, "") << what;
    EXPECT_NE(r.err.find("orvctl"), std::string::npos) << what;
    if (!args.empty()) { // the usage text, for no verb at all, is longer than a line
        EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << what << ": " << r.err;
    }
}

TEST_F(Orvctl, WithoutAServiceTheVerbsSaySoAndBadArgumentsStillComeFirst) {
    for (const std::vector<std::string>& args :
         std::vector<std::vector<std::string>>{{"status"},
                                               {"status", "--json"},
                                               {"slot", "1"},
                                               {"slot", "--temporary", "1"},
                                               {"slot", "--back"},
                                               {"upload"},
                                               {"upload-slot", "1"},
                                               {"reload"}}) {
        Result r = Run(args);
        EXPECT_EQ(r.code, 3) << args[0];
        EXPECT_NE(r.err.find("not running"), std::string::npos) << r.err;
    }
    for (const auto& args : kBadInputs)
        ExpectRefused(Run(args), args);

    Result help = Run({"--help"});
    EXPECT_EQ(help.code, 0);
    for (const char* verb :
         {"status", "slot", "upload", "upload-slot", "reload", "watch", "profile"})
        EXPECT_NE(help.out.find(std::string("orvctl ") + verb), std::string::npos) << verb;
    Result slotHelp = Run({"slot", "--help"});
    EXPECT_EQ(slotHelp.code, 0);
    EXPECT_NE(slotHelp.out.find("--temporary"), std::string::npos);
}

TEST_F(Orvctl, BadArgumentsSendNothingToARunningService) {
    Start();
    CallOk("RegisterWindow", g_variant_new("(s)", "Orvane/Orvane"));
    Pump(500);
    std::string config = FileBytes(dataFolder + "/config.ini");
    std::size_t seen = signals.size();
    int writes = LogLines("write");
    for (const auto& args : kBadInputs)
        ExpectRefused(Run(args), args);
    Pump(1000);
    EXPECT_EQ(signals.size(), seen);
    EXPECT_EQ(LogLines("write"), writes);
    EXPECT_EQ(FileBytes(dataFolder + "/config.ini"), config);
    EXPECT_EQ(Property("Slot"), "0");
}

// A profile name the configuration program allows that JSON must escape.
constexpr char kAwkwardName[] = "Fast \"\xC3\x98\"\tone\\two";

TEST_F(Orvctl, StatusSlotsUploadsAndWatch) {
    std::filesystem::create_directories(dataFolder);
    std::ofstream(dataFolder + "/config.ini", std::ios::binary)
        << "\xEF\xBB\xBF[Setting]\r\nProfile=0\r\n[ProfileData]\r\nMode_2=7\r\n"
        << "[MyXlistIconInfo7]\r\nProfileName=" << kAwkwardName << "\r\n";
    Start();
    ASSERT_TRUE(WaitFor([&] { return Property("Plugged") == "true"; }));
    // The configuration program's child window, to see the notices watch reports.
    CallOk("RegisterWindow", g_variant_new("(s)", "Orvane/Orvane"));

    GPid watch = 0;
    int watchOut = -1, watchErr = -1;
    ASSERT_TRUE(Spawn({"watch"}, watch, watchOut, watchErr));
    // Ended however the test ends.
    std::unique_ptr<GPid, void (*)(GPid*)> watchGuard(&watch, [](GPid* pid) {
        if (*pid != 0 && kill(*pid, SIGKILL) == 0)
            waitpid(*pid, nullptr, 0);
    });
    fcntl(watchOut, F_SETFL, O_NONBLOCK);
    std::string watched;
    auto watchSaw = [&](const std::string& line) {
        return WaitFor(
            [&] {
                watched += ReadAll(watchOut);
                return watched.find(line + "\n") != std::string::npos;
            },
            10000);
    };
    ASSERT_TRUE(watchSaw("service running")) << watched;

    test::Json status = Status();
    EXPECT_TRUE(status["running"].boolean);
    EXPECT_EQ(status["plugged"].type, test::Json::kBool);
    EXPECT_TRUE(status["plugged"].boolean);
    EXPECT_EQ(status["firmware"].text, "10");
    EXPECT_EQ(status["slot"].number, 0);
    EXPECT_EQ(status["profile"].text, "Profile 0");
    ASSERT_EQ(status["profiles"].items.size(), 6u);
    for (int slot = 0; slot < 6; ++slot) {
        const test::Json& entry = status["profiles"].items[static_cast<std::size_t>(slot)];
        EXPECT_EQ(entry["slot"].number, slot);
        EXPECT_EQ(entry["name"].text, slot == 1 ? kAwkwardName : "Profile " + std::to_string(slot));
    }
    Result text = Run({"status"});
    EXPECT_EQ(text.code, 0);
    EXPECT_NE(text.out.find("plugged in, firmware 10"), std::string::npos) << text.out;

    RunOk({"slot", "3"});
    ASSERT_TRUE(WaitFor([&] { return Property("Slot") == "3"; }));
    EXPECT_EQ(Status()["profile"].text, "Profile 3");
    RunOk({"slot", "--temporary", "5"});
    ASSERT_TRUE(WaitFor([&] { return Property("Slot") == "5"; }));
    RunOk({"slot", "--back"});
    ASSERT_TRUE(WaitFor([&] { return Property("Slot") == "3"; }));

    int writes = LogLines("write");
    RunOk({"upload", "--lighting"});
    EXPECT_TRUE(WaitFor([&] { return LogLines("write") > writes; }));
    RunOk({"upload-slot", "2"}); // made current first, so that its own lighting is written
    EXPECT_EQ(Property("Slot"), "2");
    EXPECT_TRUE(WaitFor([&] { return HasChange("UploadProgress", "100"); }, 40000));
    RunOk({"reload"});

    EXPECT_TRUE(watchSaw("broadcast QUIV_DEV_SYNC code 0 (select-slot) value 3")) << watched;
    EXPECT_TRUE(watchSaw("message Orvane/Orvane WM_HID_SET_SLOT wparam 0 lparam 3")) << watched;
    EXPECT_TRUE(watchSaw("broadcast QUIV_DEV_SYNC code 1 (temporary-switch) value 6"));
    EXPECT_TRUE(watchSaw("slot 5"));
    EXPECT_TRUE(watchSaw("broadcast QUIV_DEV_SYNC code 1 (temporary-switch) value -1"));
    EXPECT_TRUE(watchSaw("upload-progress 100")) << watched;
    // Each state is told once, however often the service stores it again.
    EXPECT_EQ(watched.find("plugged yes\n"), watched.rfind("plugged yes\n")) << watched;

    ASSERT_EQ(kill(watch, SIGINT), 0);
    int status_ = 0;
    ASSERT_TRUE(WaitFor([&] { return waitpid(watch, &status_, WNOHANG) == watch; }, 5000));
    EXPECT_TRUE(WIFEXITED(status_) && WEXITSTATUS(status_) == 0);
    g_spawn_close_pid(watch);
    watch = 0;
    close(watchOut);
    close(watchErr);
}

TEST_F(Orvctl, ProfileEditsAreTakenUpByTheRunningService) {
    Start();
    ASSERT_TRUE(WaitFor([&] { return Property("Plugged") == "true"; }));
    const std::string started = root + "/started";
    const std::string program = root + "/probe";
    std::ofstream(program, std::ios::binary) << "#!/bin/sh\ntouch \"" << started << "\"\n";
    ASSERT_EQ(chmod(program.c_str(), 0755), 0);

    // Esc (matrix position 1) of the current slot starts a program from now
    // on, without the service being started again.
    RunOk({"profile", "assign", "0", "Esc", "launch", program});
    PressLaunchKey(1);
    EXPECT_TRUE(WaitFor([&] { return std::filesystem::exists(started); }, 10000))
        << "the service still has the key it had before the edit";

    // A name lives in the service's list for every slot, not only the current one.
    RunOk({"profile", "rename", "4", "Night drive"});
    EXPECT_EQ(Status()["profiles"].items[4]["name"].text, "Night drive");

    // --upload writes the edited slot to the keyboard when it is the current
    // one, and is refused for another before anything is written.
    int effects = LogLines("0A 0A 00 07");
    RunOk({"profile", "set-lighting", "0", "--effect", "7", "--upload"});
    EXPECT_TRUE(WaitFor([&] { return LogLines("0A 0A 00 07") > effects; }, 40000));
    const std::string slot3 = FileBytes(dataFolder + "/Profiles/Profile 3.ini");
    Result other = Run({"profile", "set-lighting", "3", "--effect", "7", "--upload"});
    EXPECT_EQ(other.code, 2);
    EXPECT_NE(other.err.find("which is 0, not 3"), std::string::npos) << other.err;
    EXPECT_EQ(FileBytes(dataFolder + "/Profiles/Profile 3.ini"), slot3);
    EXPECT_EQ(Status()["slot"].number, 0);
}

} // namespace
} // namespace orv::linux_test
