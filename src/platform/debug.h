// Debugger output, the service's only diagnostic channel.
#pragma once

#include <string_view>

namespace orv {

class IDebugOutput {
public:
    virtual ~IDebugOutput() = default;
    virtual void Write(std::u16string_view text) = 0;
};

} // namespace orv
