#include "platform/host/host_registry.h"

#include "base/wstr.h"

namespace orv::host {

bool HostRegistry::SetString(std::u16string_view keyPath, std::u16string_view name,
                             std::u16string_view value) {
    auto key = m_keys.find(FoldedCopy(keyPath));
    if (key == m_keys.end())
        return false;
    Write write{std::u16string(keyPath), std::u16string(name), false, std::u16string(value), 0};
    key->second[FoldedCopy(name)] = write;
    writes.push_back(write);
    return true;
}

bool HostRegistry::SetDword(std::u16string_view keyPath, std::u16string_view name,
                            std::uint32_t value) {
    auto key = m_keys.find(FoldedCopy(keyPath));
    if (key == m_keys.end())
        return false;
    Write write{std::u16string(keyPath), std::u16string(name), true, {}, value};
    key->second[FoldedCopy(name)] = write;
    writes.push_back(write);
    return true;
}

void HostRegistry::CreateKey(std::u16string_view keyPath) {
    m_keys[FoldedCopy(keyPath)];
}

bool HostRegistry::KeyExists(std::u16string_view keyPath) const {
    return m_keys.count(FoldedCopy(keyPath)) != 0;
}

const HostRegistry::Write* HostRegistry::Find(std::u16string_view keyPath,
                                              std::u16string_view name) const {
    auto key = m_keys.find(FoldedCopy(keyPath));
    if (key == m_keys.end())
        return nullptr;
    auto value = key->second.find(FoldedCopy(name));
    return value == key->second.end() ? nullptr : &value->second;
}

} // namespace orv::host
