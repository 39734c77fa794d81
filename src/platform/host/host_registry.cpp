#include "platform/host/host_registry.h"

#include "base/wstr.h"

namespace orv::host {

namespace {

std::u16string FoldedName(std::u16string_view name) {
    std::u16string folded(name);
    for (char16_t& c : folded)
        c = FoldCase(c);
    return folded;
}

} // namespace

bool HostRegistry::SetString(std::u16string_view keyPath, std::u16string_view name,
                             std::u16string_view value) {
    auto key = m_keys.find(FoldedName(keyPath));
    if (key == m_keys.end())
        return false;
    Write write{std::u16string(keyPath), std::u16string(name), false, std::u16string(value), 0};
    key->second[FoldedName(name)] = write;
    writes.push_back(write);
    return true;
}

bool HostRegistry::SetDword(std::u16string_view keyPath, std::u16string_view name,
                            std::uint32_t value) {
    auto key = m_keys.find(FoldedName(keyPath));
    if (key == m_keys.end())
        return false;
    Write write{std::u16string(keyPath), std::u16string(name), true, {}, value};
    key->second[FoldedName(name)] = write;
    writes.push_back(write);
    return true;
}

void HostRegistry::CreateKey(std::u16string_view keyPath) {
    m_keys[FoldedName(keyPath)];
}

bool HostRegistry::KeyExists(std::u16string_view keyPath) const {
    return m_keys.count(FoldedName(keyPath)) != 0;
}

const HostRegistry::Write* HostRegistry::Find(std::u16string_view keyPath,
                                              std::u16string_view name) const {
    auto key = m_keys.find(FoldedName(keyPath));
    if (key == m_keys.end())
        return nullptr;
    auto value = key->second.find(FoldedName(name));
    return value == key->second.end() ? nullptr : &value->second;
}

} // namespace orv::host
