// The host platform in the contract suite.
#include "contract_backend.h"
#include "platform/host/host_platform.h"

namespace orv::contract {
namespace {

class HostBackend final : public Backend {
public:
    std::u16string Scratch() override {
        if (!m_host.files->IsDirectory(kScratch))
            m_host.files->MakeDirectory(kScratch);
        return std::u16string(kScratch) + u"\\";
    }
    void RunFor(std::uint32_t ms) override { m_host.AdvanceBy(ms); }
    std::u16string MakeRegistryKey() override {
        m_host.registry.CreateKey(kKey);
        return kKey;
    }
    std::optional<StoredValue> ReadRegistryValue(std::u16string_view key,
                                                 std::u16string_view name) override {
        const host::HostRegistry::Write* value = m_host.registry.Find(key, name);
        if (value == nullptr)
            return std::nullopt;
        if (value->isDword)
            return StoredValue{StoredValue::Kind::Dword, {}, value->dword};
        return StoredValue{StoredValue::Kind::String, value->text, 0};
    }

    bool BringToFront(std::uintptr_t wnd) override {
        m_host.windows.BringToFront(wnd);
        return true;
    }

private:
    static constexpr const char16_t* kScratch = u"C:\\contract";
    static constexpr const char16_t* kKey = u"Software\\Orvane\\Contract";
    host::HostPlatform m_host;
};

} // namespace

std::unique_ptr<Backend> MakeBackend() {
    return std::make_unique<HostBackend>();
}

} // namespace orv::contract
