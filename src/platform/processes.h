// The running processes, as one snapshot walked in order.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace orv {

struct ProcessEntry {
    std::uint32_t processId;
    std::u16string exeFile; // executable file name and extension, without a folder
};

class IProcesses {
public:
    virtual ~IProcesses() = default;
    // Takes one snapshot and calls `visit` for each entry in its order until
    // `visit` returns false. False when no snapshot could be taken or it held
    // no entry. The snapshot is released before this returns.
    virtual bool ForEachProcess(const std::function<bool(const ProcessEntry&)>& visit) = 0;
};

} // namespace orv
