// Kernel services and debugger output of the host build. Named mutexes live
// in this process only (a test makes one seem held by another instance), the
// module path is a setting, and error texts are the C library's, for the
// errno values the host's files report where Windows has its own codes.
// Debugger output is kept as lines for the tests.
#pragma once

#include "platform/debug.h"
#include "platform/kernel.h"

#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace orv::host {

class HostKernel final : public IKernel {
public:
    KernelHandle CreateNamedMutex(std::u16string_view name, bool& alreadyExisted) override;
    void ReleaseMutex(KernelHandle mutex) override;
    void CloseHandle(KernelHandle handle) override;
    std::u16string ModulePath() override { return modulePath; }
    std::u16string SystemErrorText(std::uint32_t code) override; // the C library's text

    // Makes the mutex exist as if another process held it.
    void HoldElsewhere(std::u16string_view name);
    bool MutexExists(std::u16string_view name);
    std::size_t OpenHandles() const { return m_handles.size(); }

    std::u16string modulePath = u"C:\\Program Files\\Orvane\\OrvaneHid.exe";
    // Fault: the mutex cannot be created (no handle, and none existed).
    bool failMutexCreation = false;

private:
    std::map<std::u16string, int> m_mutexRefs;
    std::map<KernelHandle, std::u16string> m_handles;
    KernelHandle m_next = 0x100;
};

class HostDebugOutput final : public IDebugOutput {
public:
    void Write(std::u16string_view text) override;
    std::vector<std::u16string> lines;

private:
    std::mutex m_lock;
};

} // namespace orv::host
