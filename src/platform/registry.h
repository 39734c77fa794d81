// The user's registry (the current-user root).
#pragma once

#include <cstdint>
#include <string_view>

namespace orv {

class IRegistry {
public:
    virtual ~IRegistry() = default;
    // Each call opens an existing key below the current-user root for reading
    // and writing, sets one value and closes the key. A missing key is never
    // created: the call then writes nothing and returns false.
    virtual bool SetString(std::u16string_view keyPath, std::u16string_view name,
                           std::u16string_view value) = 0;
    virtual bool SetDword(std::u16string_view keyPath, std::u16string_view name,
                          std::uint32_t value) = 0;
};

} // namespace orv
