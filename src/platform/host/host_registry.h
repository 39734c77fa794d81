// The user's registry in the host build: keys and values in memory, their
// names matched without regard to case as on Windows. A key exists only once
// a test creates it (the installer's part on Windows), and every successful
// write is kept in order for the tests.
#pragma once

#include "platform/registry.h"

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace orv::host {

class HostRegistry final : public IRegistry {
public:
    struct Write {
        std::u16string key;
        std::u16string name;
        bool isDword;
        std::u16string text;
        std::uint32_t dword;
    };

    bool SetString(std::u16string_view keyPath, std::u16string_view name,
                   std::u16string_view value) override;
    bool SetDword(std::u16string_view keyPath, std::u16string_view name,
                  std::uint32_t value) override;

    void CreateKey(std::u16string_view keyPath);
    bool KeyExists(std::u16string_view keyPath) const;
    // The last value written under this key and name, if any.
    const Write* Find(std::u16string_view keyPath, std::u16string_view name) const;

    std::vector<Write> writes; // successful writes, in order

private:
    std::map<std::u16string, std::map<std::u16string, Write>> m_keys; // folded names
};

} // namespace orv::host
