// Kernel services: the named mutex, the module path and system error texts.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace orv {

using KernelHandle = std::uintptr_t; // 0 = none

class IKernel {
public:
    virtual ~IKernel() = default;

    // Creates or opens a named mutex without taking ownership. Returns 0 on
    // failure; `alreadyExisted` tells whether another holder had created it.
    virtual KernelHandle CreateNamedMutex(std::u16string_view name, bool& alreadyExisted) = 0;
    virtual void ReleaseMutex(KernelHandle mutex) = 0;
    virtual void CloseHandle(KernelHandle handle) = 0;

    // Full path of the running executable (may exceed any fixed buffer).
    virtual std::u16string ModulePath() = 0;

    // The platform's message for an error code of a failed platform call (as
    // the file services report it), empty when the platform has no text.
    virtual std::u16string SystemErrorText(std::uint32_t code) = 0;
};

} // namespace orv
