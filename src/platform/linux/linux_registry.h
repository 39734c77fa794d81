// Linux backend of the user's registry. Linux has none; the service's key
// (SOFTWARE\Orvane, with its FWVersion and DevicePlug values) is kept in
// the data folder as the file "registry.reg", one value a line in the value
// syntax of a registry export:
//     "FWVersion"="V1.02"
//     "DevicePlug"=dword:00000001
// A key is a folder the installer would make: a key of no folder is missing,
// and a write to it fails and makes nothing. The file is rewritten whole
// through a temporary, so no reader meets a part.
#pragma once

#include "platform/registry.h"

#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

namespace orv::linux_ {

struct RegistryValue {
    bool isDword = false;
    std::u16string text;
    std::uint32_t dword = 0;
};

class LinuxRegistryStore final : public IRegistry {
public:
    bool SetString(std::u16string_view keyPath, std::u16string_view name,
                   std::u16string_view value) override;
    bool SetDword(std::u16string_view keyPath, std::u16string_view name,
                  std::uint32_t value) override;

    // The folder (a core path) that holds a key's values; the service's key
    // is the data folder.
    void MapKey(std::u16string_view keyPath, std::u16string folder);
    std::optional<RegistryValue> Read(std::u16string_view keyPath, std::u16string_view name);
    // Called after every write that changed a value (the bus properties).
    std::function<void(std::u16string_view keyPath, std::u16string_view name)> onChange;

    static std::string Format(const std::map<std::u16string, RegistryValue>& values);
    static std::map<std::u16string, RegistryValue> Parse(std::string_view text);

private:
    bool Set(std::u16string_view keyPath, std::u16string_view name, const RegistryValue& value);
    // The key's folder, or empty when no folder is given for it.
    std::u16string FolderOf(std::u16string_view keyPath);

    std::recursive_mutex m_lock;
    std::map<std::u16string, std::u16string> m_folders; // folded key path -> folder
};

LinuxRegistryStore& LinuxRegistry();

} // namespace orv::linux_
