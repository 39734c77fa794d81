// The report-descriptor reader: the top-level collections of real interface
// kinds with their report ids and lengths, the items that only shape others,
// and malformed bytes refused without reading past them.
#include "hid_descriptor_fixtures.h"
#include "platform/linux/hid_descriptor.h"

#include <gtest/gtest.h>

#include <string>

namespace orv::linux_ {
namespace {

using fixtures::Bytes;

struct Expected {
    std::uint16_t usagePage, usage;
    std::vector<std::uint8_t> ids;
    std::uint16_t input, output, feature;
};

struct Case {
    const char* name;
    const Bytes& bytes;
    bool usesIds;
    std::vector<Expected> collections;
};

std::optional<HidDescriptorInfo> Parse(const Bytes& bytes, std::string* error = nullptr) {
    return ParseHidDescriptor(bytes.data(), bytes.size(), error);
}

TEST(HidDescriptor, ListsEachTopLevelCollectionWithItsReportIdsAndLengths) {
    const Case cases[] = {
        {"vendor interface with report ids",
         fixtures::kVendorWithIds,
         true,
         {{0xFF00, 1, {1}, 8, 0, 0},
          {0xFF00, 2, {7, 0x0A}, 8, 8, 264},
          {0xFF00, 3, {0x0B}, 8, 8, 0},
          {0xFF00, 4, {0x0C}, 0, 8, 0},
          {0xFF00, 5, {5}, 8, 0, 0}}},
        {"vendor interface without report ids",
         fixtures::kVendorWithoutIds,
         false,
         {{0xFFA0, 1, {}, 33, 33, 0}}},
        {"boot keyboard", fixtures::kBootKeyboard, false, {{0x01, 0x06, {}, 9, 2, 0}}},
        {"mouse and consumer keys",
         fixtures::kMouseAndConsumer,
         true,
         {{0x01, 0x02, {1}, 4, 0, 0}, {0x0C, 0x01, {2}, 3, 0, 0}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string error;
        const auto info = Parse(c.bytes, &error);
        ASSERT_TRUE(info) << error;
        EXPECT_EQ(info->usesReportIds, c.usesIds);
        ASSERT_EQ(info->collections.size(), c.collections.size());
        for (std::size_t i = 0; i < c.collections.size(); ++i) {
            const HidTopCollection& got = info->collections[i];
            const Expected& want = c.collections[i];
            SCOPED_TRACE(i);
            EXPECT_EQ(got.usagePage, want.usagePage);
            EXPECT_EQ(got.usage, want.usage);
            EXPECT_EQ(got.reportIds, want.ids);
            EXPECT_EQ(got.inputLength, want.input);
            EXPECT_EQ(got.outputLength, want.output);
            EXPECT_EQ(got.featureLength, want.feature);
        }
    }
}

TEST(HidDescriptor, ItemsThatOnlyShapeOthers) {
    struct Shaping {
        const char* name;
        Bytes bytes;
        std::uint16_t usagePage, usage, input;
    };
    const Shaping cases[] = {
        {"a long item is skipped whole",
         {0x06, 0x00, 0xFF, 0xFE, 0x03, 0x10, 0xA1, 0xC0, 0x81, 0x09,
          0x01, 0xA1, 0x01, 0x75, 0x08, 0x95, 0x04, 0x81, 0x02, 0xC0},
         0xFF00,
         1,
         5},
        {"pop brings back what push kept",
         {0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01, 0x75, 0x08, 0x95,
          0x04, 0xA4, 0x75, 0x20, 0x95, 0x10, 0xB4, 0x81, 0x02, 0xC0},
         0xFF00,
         1,
         5},
        {"a four-byte usage carries its page",
         {0x05, 0x01, 0x0B, 0x02, 0x00, 0x00, 0xFF, 0xA1, 0x01, 0x75, 0x08, 0x95, 0x02, 0x81, 0x02,
          0xC0},
         0xFF00,
         2,
         3},
        {"a usage names only the next main item",
         {0x05, 0x01, 0x09, 0x06, 0x75, 0x08, 0x95, 0x01, 0x81, 0x02, 0xA1, 0x01, 0x81, 0x02, 0xC0},
         0x01,
         0,
         2},
        {"report bits are rounded up to whole bytes",
         {0x05, 0x01, 0x09, 0x02, 0xA1, 0x01, 0x75, 0x01, 0x95, 0x03, 0x81, 0x02, 0xC0},
         0x01,
         2,
         2},
    };
    for (const Shaping& c : cases) {
        SCOPED_TRACE(c.name);
        std::string error;
        const auto info = Parse(c.bytes, &error);
        ASSERT_TRUE(info) << error;
        ASSERT_EQ(info->collections.size(), 1u);
        EXPECT_EQ(info->collections[0].usagePage, c.usagePage);
        EXPECT_EQ(info->collections[0].usage, c.usage);
        EXPECT_EQ(info->collections[0].inputLength, c.input);
    }
}

TEST(HidDescriptor, MalformedDescriptorsAreRefused) {
    struct Malformed {
        const char* name;
        Bytes bytes;
    };
    Bytes deepPush(33, 0xA4);
    const Malformed cases[] = {
        {"short item cut off", {0x06, 0x00}},
        {"four-byte item cut off", {0x0B, 0x01, 0x00}},
        {"long item cut off", {0xFE, 0x05, 0x10, 0x01, 0x02}},
        {"long item without its header", {0xFE, 0x05}},
        {"end of a collection never opened", {0xC0}},
        {"one end too many", {0xA1, 0x01, 0xC0, 0xC0}},
        {"collection left open", {0x09, 0x01, 0xA1, 0x01, 0xA1, 0x00, 0xC0}},
        {"pop without push", {0xB4}},
        {"push too deep", deepPush},
        {"report id 0", {0x85, 0x00}},
        {"report id above one byte", {0x86, 0x00, 0x01}},
        {"report too long to count",
         {0x09, 0x01, 0xA1, 0x01, 0x75, 0xFF, 0x96, 0xFF, 0xFF, 0x81, 0x02, 0xC0}},
        {"largest size and count",
         {0xA1, 0x01, 0x77, 0xFF, 0xFF, 0xFF, 0xFF, 0x97, 0xFF, 0xFF, 0xFF, 0xFF, 0x81, 0x02, 0x81,
          0x02, 0xC0}},
    };
    for (const Malformed& c : cases) {
        SCOPED_TRACE(c.name);
        std::string error;
        EXPECT_FALSE(Parse(c.bytes, &error));
        EXPECT_FALSE(error.empty());
    }
}

// A descriptor cut anywhere (as a short read would leave it) is refused or
// lists only the collections it holds whole.
TEST(HidDescriptor, EveryCutOfARealDescriptorIsRefusedOrWhole) {
    const Bytes& full = fixtures::kVendorWithIds;
    const std::size_t whole = Parse(full)->collections.size();
    for (std::size_t cut = 0; cut < full.size(); ++cut) {
        const Bytes part(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(cut));
        const auto info = Parse(part);
        if (info) {
            EXPECT_LT(info->collections.size(), whole) << cut;
        }
    }
}

} // namespace
} // namespace orv::linux_
