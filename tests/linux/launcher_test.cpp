// Starting a key's program on Linux: an executable or a desktop entry starts
// detached from the service (a session of its own, adopted by init, none of
// the service's descriptors, standard input from /dev/null); an empty path,
// a missing file and a file that is neither start nothing and say so.
#include "platform/linux/linux_backends.h"

#include <gio/gio.h>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace orv::linux_test {
namespace {

namespace fs = std::filesystem;

// A descriptor of the service's that a started program must not have.
constexpr int kLeakedFd = 42;

class Launcher : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/orv-launch-XXXXXX";
        ASSERT_NE(g_mkdtemp(pattern), nullptr);
        root = pattern;
        report = root + "/started";
        // The started program tells what it is: its /proc stat line, its
        // descriptors and its standard input.
        WriteFile(root + "/probe",
                  "#!/bin/sh\n"
                  "{ cat /proc/$$/stat; ls /proc/$$/fd | tr '\\n' ' '; echo;"
                  "  readlink /proc/$$/fd/0; } > \"" +
                      report +
                      ".tmp\"\n"
                      "mv \"" +
                      report + ".tmp\" \"" + report + "\"\n",
                  0755);
        int fd = ::open("/dev/null", O_RDONLY); // without O_CLOEXEC, as a careless library might
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::dup2(fd, kLeakedFd), kLeakedFd);
        ::close(fd);
    }
    void TearDown() override {
        ::close(kLeakedFd);
        std::error_code error;
        fs::remove_all(root, error);
    }
    static void WriteFile(const std::string& path, const std::string& text, int mode) {
        std::ofstream(path, std::ios::binary) << text;
        ::chmod(path.c_str(), static_cast<mode_t>(mode));
    }
    bool Execute(const std::string& path) {
        return linux_::LinuxShell().Execute(u"open", std::u16string(path.begin(), path.end()), u"",
                                            1);
    }
    // The probe's report, empty when it has not come within two seconds.
    std::string Report() {
        for (int i = 0; i < 200 && !fs::exists(report); ++i)
            g_usleep(10000);
        std::ifstream in(report);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

    std::string root;
    std::string report;
};

struct Started {
    long pid = 0, ppid = 0, session = 0;
    std::string fds, input;
};

Started Parse(const std::string& text) {
    Started out;
    std::istringstream lines(text);
    std::string stat;
    std::getline(lines, stat);
    std::getline(lines, out.fds);
    std::getline(lines, out.input);
    // pid (comm) state ppid pgrp session ...
    std::istringstream fields(stat.substr(stat.rfind(')') + 2));
    std::string state;
    long group = 0;
    fields >> state >> out.ppid >> group >> out.session;
    out.pid = std::stol(stat);
    return out;
}

class LauncherStarts : public Launcher, public ::testing::WithParamInterface<bool> {};

TEST_P(LauncherStarts, DetachedFromTheService) {
    std::string path = root + "/probe";
    if (GetParam()) {
        path = root + "/probe.desktop";
        WriteFile(path, "[Desktop Entry]\nType=Application\nName=Probe\nExec=" + root + "/probe\n",
                  0644);
    }
    ASSERT_TRUE(Execute(path));
    const std::string text = Report();
    ASSERT_FALSE(text.empty()) << "the program never ran";
    Started started = Parse(text);
    EXPECT_EQ(started.session, started.pid) << "a session of its own";
    EXPECT_NE(started.ppid, static_cast<long>(::getpid())) << "not the service's child";
    EXPECT_EQ((" " + started.fds).find(" " + std::to_string(kLeakedFd) + " "), std::string::npos)
        << started.fds;
    EXPECT_EQ(started.input, "/dev/null");
}

INSTANTIATE_TEST_SUITE_P(ExecutableOrDesktopEntry, LauncherStarts, ::testing::Bool(),
                         [](const auto& info) {
                             return info.param ? "DesktopEntry" : "Executable";
                         });

TEST_F(Launcher, StartsNothingForWhatIsNoProgram) {
    WriteFile(root + "/notes.txt", "not a program\n", 0644);
    WriteFile(root + "/broken.desktop", "[Desktop Entry]\nType=Application\nName=X\n", 0644);
    WriteFile(root + "/gone.desktop",
              "[Desktop Entry]\nType=Application\nName=X\nTryExec=" + root +
                  "/nothing\nExec=" + root + "/probe\n",
              0644);
    fs::create_directories(root + "/folder");
    for (const std::string& path :
         {std::string(), root + "/missing", root + "/missing.desktop", root + "/notes.txt",
          root + "/folder", root + "/broken.desktop", root + "/gone.desktop", std::string("probe")})
        EXPECT_FALSE(Execute(path)) << "'" << path << "'";
    g_usleep(300000);
    EXPECT_FALSE(fs::exists(report));
}

} // namespace
} // namespace orv::linux_test
