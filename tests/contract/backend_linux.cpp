// The Linux backends in the contract suite, on a scratch folder of their own.
#include "base/wstr.h"
#include "contract_backend.h"
#include "platform/linux/linux_platform.h"

#include <filesystem>
#include <glib.h>

namespace orv::contract {
namespace {

class LinuxBackend final : public Backend {
public:
    LinuxBackend() {
        linux_::InstallLinuxPlatform();
        char pattern[] = "/tmp/orv-contract-XXXXXX";
        if (g_mkdtemp(pattern) != nullptr)
            m_root = pattern;
    }
    ~LinuxBackend() override {
        std::error_code error;
        if (!m_root.empty())
            std::filesystem::remove_all(m_root, error);
    }

    std::u16string Scratch() override {
        std::filesystem::create_directories(m_root + "/scratch");
        return FromUtf8(m_root) + u"/scratch/";
    }
    void RunFor(std::uint32_t ms) override { linux_::LinuxWindows().Pump(ms); }
    std::u16string MakeRegistryKey() override {
        std::filesystem::create_directories(m_root + "/key");
        linux_::LinuxRegistry().MapKey(kKey, FromUtf8(m_root) + u"/key");
        linux_::LinuxRegistry().MapKey(std::u16string(kKey) + u"\\Missing",
                                       FromUtf8(m_root) + u"/key/missing");
        return kKey;
    }
    std::optional<StoredValue> ReadRegistryValue(std::u16string_view key,
                                                 std::u16string_view name) override {
        auto value = linux_::LinuxRegistry().Read(key, name);
        if (!value)
            return std::nullopt;
        if (value->isDword)
            return StoredValue{StoredValue::Kind::Dword, {}, value->dword};
        return StoredValue{StoredValue::Kind::String, value->text, 0};
    }
    bool BringToFront(std::uintptr_t) override { return false; }

private:
    static constexpr const char16_t* kKey = u"Software\\Orvane\\Contract";
    std::string m_root;
};

} // namespace

std::unique_ptr<Backend> MakeBackend() {
    return std::make_unique<LinuxBackend>();
}

} // namespace orv::contract
