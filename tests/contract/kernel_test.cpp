// The kernel services, the clock and the user's registry as the service's
// start-up uses them.
#include "contract_backend.h"
#include "platform/platform.h"

#include <string>

namespace orv::contract {
namespace {

using KernelContract = ContractTest;

// One instance of the service at a time: the second creator of the name
// learns that it exists, and once every handle is closed it is gone.
TEST_F(KernelContract, ANamedMutexTellsItsSecondCreatorThatItExists) {
    const std::u16string name = u"OrvContractMutex";
    bool existed = true;
    KernelHandle first = Kernel().CreateNamedMutex(name, existed);
    ASSERT_NE(first, 0u);
    EXPECT_FALSE(existed);
    KernelHandle second = Kernel().CreateNamedMutex(name, existed);
    ASSERT_NE(second, 0u);
    EXPECT_TRUE(existed);
    Kernel().CloseHandle(second);
    Kernel().CloseHandle(first);
    KernelHandle again = Kernel().CreateNamedMutex(name, existed);
    EXPECT_FALSE(existed);
    Kernel().CloseHandle(again);
}

TEST_F(KernelContract, APauseLetsItsTimePass) {
    const std::uint32_t before = Clock().TickCount();
    Clock().Sleep(100);
    // Some systems count ticks in steps of up to 16 ms.
    EXPECT_GE(Clock().TickCount() - before, 84u);
}

using RegistryContract = ContractTest;

TEST_F(RegistryContract, ValuesKeepTheirTypeAndContent) {
    const std::u16string key = backend->MakeRegistryKey();
    ASSERT_TRUE(Registry().SetString(key, u"FWVersion", u"V1.2 \u00E9"));
    ASSERT_TRUE(Registry().SetString(key, u"Empty", u""));
    ASSERT_TRUE(Registry().SetDword(key, u"DevicePlug", 0xFFFFFFFFu));

    auto text = backend->ReadRegistryValue(key, u"FWVersion");
    ASSERT_TRUE(text.has_value());
    EXPECT_EQ(text->kind, StoredValue::Kind::String);
    EXPECT_EQ(text->text, u"V1.2 \u00E9");
    auto empty = backend->ReadRegistryValue(key, u"Empty");
    ASSERT_TRUE(empty.has_value());
    EXPECT_EQ(empty->kind, StoredValue::Kind::String);
    EXPECT_EQ(empty->text, u"");
    auto dword = backend->ReadRegistryValue(key, u"DevicePlug");
    ASSERT_TRUE(dword.has_value());
    EXPECT_EQ(dword->kind, StoredValue::Kind::Dword);
    EXPECT_EQ(dword->dword, 0xFFFFFFFFu);

    // A value written again takes the new type.
    ASSERT_TRUE(Registry().SetDword(key, u"FWVersion", 1));
    text = backend->ReadRegistryValue(key, u"FWVersion");
    ASSERT_TRUE(text.has_value());
    EXPECT_EQ(text->kind, StoredValue::Kind::Dword);
    EXPECT_EQ(text->dword, 1u);
}

// The key is the installer's to make: without it nothing is written, and
// no write makes it.
TEST_F(RegistryContract, AMissingKeyIsNeverCreated) {
    const std::u16string missing = backend->MakeRegistryKey() + u"\\Missing";
    EXPECT_FALSE(Registry().SetString(missing, u"FWVersion", u"V1"));
    EXPECT_FALSE(Registry().SetDword(missing, u"DevicePlug", 1));
    EXPECT_FALSE(backend->ReadRegistryValue(missing, u"FWVersion").has_value());
    EXPECT_FALSE(backend->ReadRegistryValue(missing, u"DevicePlug").has_value());
}

} // namespace
} // namespace orv::contract
