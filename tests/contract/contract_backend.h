// The contract suite of the ports: what the core relies on from every
// backend, written against the ports alone (Files(), Windows(), Kernel(),
// Registry(), Clock()). Each backend joins by supplying MakeBackend in a
// backend_<name>.cpp of its own, linked with the cases into one test program.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace orv::contract {

// A registry value as stored, read past the port (which only writes).
struct StoredValue {
    enum class Kind { String, Dword, Other } kind;
    std::u16string text;
    std::uint32_t dword = 0;
};

// The few steps the ports have no call for, which a test needs to set up or
// to look behind them. The backend's platform is the current one for the
// life of the object, and what it made for the test goes with it.
class Backend {
public:
    virtual ~Backend() = default;
    // An empty folder for the test, ending in a separator.
    virtual std::u16string Scratch() = 0;
    // Lets `ms` of the platform's time pass on the calling thread, with its
    // queued messages and due timers delivered; 0 delivers what is there.
    virtual void RunFor(std::uint32_t ms) = 0;
    // A key below the current-user root that exists for the test, as the
    // installer makes the service's key.
    virtual std::u16string MakeRegistryKey() = 0;
    virtual std::optional<StoredValue> ReadRegistryValue(std::u16string_view key,
                                                         std::u16string_view name) = 0;
    // Brings a window of the test to the front, as the user would; false
    // for a platform without a foreground window.
    virtual bool BringToFront(std::uintptr_t wnd) = 0;
};

std::unique_ptr<Backend> MakeBackend();

class ContractTest : public ::testing::Test {
protected:
    void SetUp() override { backend = MakeBackend(); }
    void TearDown() override { backend.reset(); }

    std::unique_ptr<Backend> backend;
};

} // namespace orv::contract
