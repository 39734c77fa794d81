#include "platform/host/host_kernel.h"

#include "base/wstr.h"

#include <cstring>

namespace orv::host {

KernelHandle HostKernel::CreateNamedMutex(std::u16string_view name, bool& alreadyExisted) {
    alreadyExisted = false;
    if (failMutexCreation)
        return 0;
    std::u16string key(name);
    alreadyExisted = m_mutexRefs[key] > 0;
    ++m_mutexRefs[key];
    KernelHandle handle = m_next++;
    m_handles[handle] = key;
    return handle;
}

void HostKernel::ReleaseMutex(KernelHandle) {}

void HostKernel::CloseHandle(KernelHandle handle) {
    auto it = m_handles.find(handle);
    if (it == m_handles.end())
        return;
    if (--m_mutexRefs[it->second] == 0)
        m_mutexRefs.erase(it->second);
    m_handles.erase(it);
}

void HostKernel::HoldElsewhere(std::u16string_view name) {
    ++m_mutexRefs[std::u16string(name)];
}

std::u16string HostKernel::SystemErrorText(std::uint32_t code) {
    if (code == 0)
        return {};
    return FromUtf8(std::strerror(static_cast<int>(code)));
}

bool HostKernel::MutexExists(std::u16string_view name) {
    auto it = m_mutexRefs.find(std::u16string(name));
    return it != m_mutexRefs.end() && it->second > 0;
}

// ---------------------------------------------------------------- debug

void HostDebugOutput::Write(std::u16string_view text) {
    std::lock_guard<std::mutex> guard(m_lock);
    lines.emplace_back(text);
}

} // namespace orv::host
