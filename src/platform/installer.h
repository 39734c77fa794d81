// The system installer's shortcut queries.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace orv {

class IInstaller {
public:
    virtual ~IInstaller() = default;
    static constexpr std::uint32_t kFunctionFailed = 1627; // not an installer shortcut

    // Product code, feature and component of an installer shortcut; returns
    // the installer's result code (0 on success). When the installer cannot
    // be reached at all the result is kFunctionFailed.
    virtual std::uint32_t GetShortcutTarget(std::u16string_view shortcut, std::u16string& product,
                                            std::u16string& feature, std::u16string& component) = 0;
    // The installed path of a component of a product (at most 259 units);
    // returns the installer's state code.
    virtual std::int32_t GetComponentPath(std::u16string_view product,
                                          std::u16string_view component, std::u16string& path) = 0;
};

} // namespace orv
