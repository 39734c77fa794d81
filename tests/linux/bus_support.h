// A service of the tests' own: orvane-hid started on the session bus of the
// test (each test program runs under dbus-run-session), with a data folder
// and a runtime folder of its own, and every signal of its object kept.
#pragma once

#include <gio/gio.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace orv::linux_test {

// An argv or envp for a program to start: the strings' own data, ended by a
// null; valid while `strings` is unchanged.
std::vector<char*> Pointers(std::vector<std::string>& strings);

struct Signal {
    std::string member;
    // Message and CopyData
    std::string window;
    std::uint32_t msg = 0;
    std::uint64_t wParam = 0;
    std::int64_t lParam = 0;
    std::string data;
    // PropertiesChanged: the property and its new value as GVariant text
    std::string property;
    std::string value;
};

class BusTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Starts the service and waits until it owns its name and, on the
    // simulated keyboard, has handled the arrival of all five collections
    // (each one queries the keyboard, pauses included: some 15 s).
    void Start(const std::vector<std::string>& args = {"--simulated-keyboard"});
    // Starts another orvane-hid and gives its exit code, or -1 when it runs
    // on past `timeoutMs`.
    int RunOnce(const std::vector<std::string>& args, std::string* output = nullptr,
                int timeoutMs = 5000);
    // Waits for the service to end; its exit code, or -1 on a timeout.
    int WaitForExit(int timeoutMs = 30000);
    // How many lines of the simulated keyboard's log hold `text`.
    int LogLines(const std::string& text) const;
    bool NameOwned(const char* name = "org.orvane.Hid");

    // Calls a method of the service; null (with the error's name in `error`) on failure.
    GVariant* Call(const char* method, GVariant* params, std::string* error = nullptr,
                   const char* path = "/org/orvane/Hid", const char* iface = "org.orvane.Hid1");
    void CallOk(const char* method, GVariant* params);
    void SimOk(const char* method, GVariant* params);
    // A property as GVariant text ("3", "true", "'V1.0'").
    std::string Property(const char* name);

    // Runs the test's main context until `done` holds; false after `timeoutMs`.
    bool WaitFor(const std::function<bool()>& done, int timeoutMs = 30000);
    // Lets `ms` pass with signals taken in.
    void Pump(int ms);
    bool HasMessage(const std::string& window, std::uint32_t msg, std::uint64_t wParam,
                    std::int64_t lParam) const;
    bool HasChange(const std::string& property, const std::string& value) const;
    bool WaitForMessage(const std::string& window, std::uint32_t msg, std::uint64_t wParam,
                        std::int64_t lParam) {
        return WaitFor([&] { return HasMessage(window, msg, wParam, lParam); });
    }

    std::string root;       // everything of the test
    std::string dataFolder; // the service's data folder
    std::string simLog;     // the simulated keyboard's traffic
    GDBusConnection* bus = nullptr;
    std::vector<Signal> signals;
    GPid service = 0;

    // The environment of the programs a test starts: its own data and runtime folders.
    std::vector<std::string> Environment() const;

private:
    guint m_subscription = 0;
};

} // namespace orv::linux_test
