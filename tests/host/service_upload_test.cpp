// Writing a profile into the keyboard under the progress window.
#include "device/key_tables.h"
#include "service_test_support.h"

#include <algorithm>
#include <cstring>
#include <numeric>
#include <sstream>

namespace orv {
namespace {

using testing_service::ConfigStandIn;
using testing_service::Hex;
using testing_service::ServiceTest;

std::string Command(std::initializer_list<std::uint8_t> head) {
    std::vector<std::uint8_t> bytes(head);
    bytes.resize(8, 0);
    return Hex(bytes);
}

// The keyboard's tables as documented, written out here rather than taken
// from the service, so that a wrong entry in the service's copy shows.

// Key index:column of every key, by row.
const char* const kKeyPositionRows[kMatrixRows] = {
    "0:1 1:3 2:4 3:5 4:6 5:7 6:8 7:9 8:10 9:11 10:12 11:13 12:15 13:16 14:17 15:18 110:0",
    "16:1 17:2 18:3 19:4 20:5 21:6 22:7 23:8 24:9 25:10 26:11 27:12 28:13 29:15 30:16 31:17 "
    "32:18 33:19 34:20 35:21 36:22 108:14",
    "37:1 38:2 39:3 40:4 41:5 42:6 43:7 44:8 45:9 46:10 47:11 48:12 49:13 50:15 51:16 52:17 "
    "53:18 54:19 55:20 56:21 57:22",
    "58:1 59:2 60:3 61:4 62:5 63:6 64:7 65:8 66:9 67:10 68:11 69:12 70:15 71:19 72:20 73:21 "
    "104:13 107:22",
    "74:1 75:3 76:4 77:5 78:6 79:7 80:8 81:9 82:10 83:11 84:12 85:15 86:17 87:19 88:20 89:21 "
    "90:22 105:2 106:13 109:16",
    "91:1 92:2 93:3 94:6 95:9 96:10 97:11 98:13 99:16 100:17 101:18 102:19 103:21",
};
// Positions without a key, sent colour 0: the first column, then the gaps.
const int kKeylessPositions[] = {0,  23, 46,  69,  92,  115, 2,   19,  20,  21,  22,  60,  83, 85,
                                 86, 87, 106, 110, 119, 120, 122, 123, 127, 129, 130, 135, 137};

// clang-format off
const std::uint8_t kDefaultMatrix[kMatrixRows][kMatrixColumns] = {
    {0x00, 0x29, 0x00, 0x3A, 0x3B, 0x3C, 0x3D, 0x3E, 0x3F, 0x40, 0x41, 0x42, 0x43, 0x44, 0x00, 0x45, 0x46, 0x47, 0x48, 0x00, 0x00, 0x00, 0x00},
    {0x00, 0x35, 0x1E, 0x1F, 0x20, 0x21, 0x22, 0x23, 0x24, 0x25, 0x26, 0x27, 0x2D, 0x2E, 0x00, 0x2A, 0x49, 0x4A, 0x4B, 0x53, 0x54, 0x55, 0x56},
    {0x00, 0x2B, 0x14, 0x1A, 0x08, 0x15, 0x17, 0x1C, 0x18, 0x0C, 0x12, 0x13, 0x2F, 0x30, 0x00, 0x31, 0x4C, 0x4D, 0x4E, 0x5F, 0x60, 0x61, 0x57},
    {0x00, 0x39, 0x04, 0x16, 0x07, 0x09, 0x0A, 0x0B, 0x0D, 0x0E, 0x0F, 0x33, 0x34, 0x32, 0x00, 0x28, 0x00, 0x00, 0x00, 0x5C, 0x5D, 0x5E, 0x85},
    {0x00, 0xE1, 0x64, 0x1D, 0x1B, 0x06, 0x19, 0x05, 0x11, 0x10, 0x36, 0x37, 0x38, 0x87, 0x00, 0xE5, 0x00, 0x52, 0x00, 0x59, 0x5A, 0x5B, 0x58},
    {0x00, 0xE0, 0xE3, 0xE2, 0x00, 0x00, 0x2C, 0x00, 0x00, 0xE6, 0xAC, 0x65, 0x00, 0xE4, 0x00, 0x00, 0x50, 0x51, 0x4F, 0x62, 0x00, 0x63, 0x00},
};
// clang-format on

// Function code and key code, in row order.
const std::pair<std::int32_t, std::uint8_t> kFunctionKeyCodes[] = {
    {261, 0xF7}, {262, 0xF8}, {260, 0xF9}, {289, 0xC7}, {290, 0xC7}, {291, 0xC7}, {321, 0xC4},
    {322, 0xC5}, {323, 0xC6}, {353, 0xC4}, {354, 0xC5}, {355, 0xC6}, {384, 0xFE}, {223, 0xDF},
    {219, 0xDB}, {417, 0xCE}, {418, 0xCF}, {420, 0xD5}, {419, 0xD0}, {423, 0xD2}, {424, 0xD1},
    {421, 0xD3}, {422, 0xD4}, {452, 0xA7}, {455, 0xA5}, {453, 0xA6}, {454, 0xA8}, {449, 0xAB},
    {450, 0xAA}, {451, 0xA9}, {482, 0xDD},
};

// The matrix position of every key index, from kKeyPositionRows.
std::vector<int> DocumentedKeyPositions() {
    std::vector<int> positions(kKeyCount, -1);
    for (int row = 0; row < kMatrixRows; ++row) {
        std::istringstream pairs(kKeyPositionRows[row]);
        int key, column;
        char colon;
        while (pairs >> key >> colon >> column)
            positions.at(key) = row * kMatrixColumns + column;
    }
    return positions;
}

class UploadTest : public ServiceTest {
protected:
    void SetUp() override {
        Start();
        Sync(0, 2); // slot 2 current, saved to config.ini
    }

    // The profile of slot 2 as the configuration program would have saved it.
    void SaveSlot2(const std::function<void(PROFILE_DATA&)>& edit) {
        auto profile = std::make_unique<PROFILE_DATA>();
        ResetProfileDefaults(*profile, true, 2);
        edit(*profile);
        SaveProfileFile(u"Profile 2", *profile);
    }

    // The bar positions painted, in order (the fallback skin is 600 wide).
    std::vector<int> Bars() {
        std::vector<int> out;
        for (const auto& paint : host.graphics.barPaints)
            out.push_back(paint.fillWidth * 100 / paint.width);
        return out;
    }

    host::StandInWindow loading{host.windows, u"DLGLoading"};
};

TEST_F(UploadTest, FullUploadWritesMacrosMatrixSlotEffectAndColoursInOrder) {
    SaveSlot2([](PROFILE_DATA& p) {
        p.Buttons[5].FunctionCode = 600; // a macro whatever its kind
        p.Buttons[5].MacroHeader0 = 0xA0;
        p.Buttons[5].MacroHeader1 = 0xA1;
        p.Buttons[5].MacroData[0] = 0xB0;
        p.Buttons[5].MacroData[239] = 0xBF;
        p.Buttons[20] = {};
        p.Buttons[20].AssignKind = 2;
        p.Buttons[20].FunctionCode = 512;
        p.Buttons[0].AssignKind = 1; // disabled
        p.Buttons[1].AssignKind = 2;
        p.Buttons[1].FunctionCode = 290;
        p.Buttons[37].AssignKind = 2;
        p.Buttons[37].FunctionCode = 353;
        p.Buttons[2].AssignKind = 2;
        p.Buttons[2].FunctionCode = 465;
        p.Buttons[2].MacroData[2] = 0x04;
        p.Buttons[3].AssignKind = 2;
        p.Buttons[3].FunctionCode = 465; // third macro byte 0: default code
        p.Light.Effect = 19;
        for (std::uint32_t& c : p.Colors[0].KeyColor)
            c = 0x0000FF;
        p.Colors[0].KeyColor[0] = 0x332211;
    });
    Post(WM_HID_SHOW_PROGRESS, 0, 0);
    ASSERT_NE(wnd->ProgressWindow(), nullptr);
    Forget();
    host.graphics.barPaints.clear();
    Post(WM_HID_UPLOAD, 0, 1);

    std::vector<std::string> w = Writes();
    ASSERT_EQ(w.size(), 1u + 42 + 42 + 24 + 1 + 1 + 137 + 1);
    EXPECT_EQ(w[0], Command({0x0A, 0x0F}));
    EXPECT_EQ(w[1], Command({0x0A, 0x05, 0x02, 7 + 1, 0x01})); // key 5 sits at position 7
    EXPECT_EQ(w[2], Command({0x0C, 0x01, 0xA0, 0xA1, 0xB0, 0x00, 0x00, 0x00}));
    EXPECT_EQ(w[42], Command({0x0C, 0x29, 0x00, 0xBF}));         // bytes 240, 241 and four zeros
    EXPECT_EQ(w[43], Command({0x0A, 0x05, 0x02, 28 + 1, 0x01})); // key 20 at position 28
    EXPECT_EQ(w[85], Command({0x0A, 0x04, 0x02}));

    std::uint8_t expected[kMatrixSize];
    std::memcpy(expected, g_DefaultKeyMatrix, sizeof expected);
    expected[1] = 0x00;  // key 0 disabled
    expected[3] = 0xC7;  // key 1: 290
    expected[4] = 0x04;  // key 2: 465 with its key code
    expected[28] = 0xCD; // key 20: a macro
    expected[47] = 0xC4; // key 37: 353
    std::vector<std::uint8_t> expectedMatrix(expected, expected + kMatrixSize);
    for (int chunk = 1; chunk <= 23; ++chunk) {
        std::vector<std::uint8_t> bytes = {0x0B, static_cast<std::uint8_t>(chunk)};
        bytes.insert(bytes.end(), expectedMatrix.begin() + 6 * (chunk - 1),
                     expectedMatrix.begin() + 6 * chunk);
        EXPECT_EQ(w[85 + chunk], Hex(bytes)) << chunk;
    }
    EXPECT_EQ(w[109], Command({0x0A, 0x03, 0x02}));
    EXPECT_EQ(w[110], Command({0x0A, 0x0A, 0x02, 19}));
    EXPECT_EQ(w[111], Command({0x0A, 0x0C, 0x02, 0x01, 0x11, 0x22, 0x33})); // key 0, position 1
    EXPECT_EQ(w[111 + 110], Command({0x0A, 0x0C, 0x02, 0x00})); // first column, position 0
    EXPECT_EQ(w[111 + 136], Command({0x0A, 0x0C, 0x02, 137}));  // the last gap
    EXPECT_EQ(w.back(), Command({0x0A, 0x03, 0x02}));

    EXPECT_EQ(Bars(), (std::vector<int>{20, 40, 20, 40, 50, 70, 50, 60, 70, 80, 90, 100}));
    // 0F 200; two macros 2 x (200 + 41 x 60 + 100); matrix 200 + 23 x 60; 200 after the
    // assignments; slot 20; effect 200 + 100; 137 colours x 20; slot 20.
    const auto& pauses = host.clock.pauses;
    EXPECT_EQ(std::accumulate(pauses.begin(), pauses.end(), 0u), 10580u);
    EXPECT_EQ(loading.Received(WM_HID_UPLOAD).size(), 1u);
    EXPECT_EQ(wnd->ProgressWindow(), nullptr);
}

// The matrix and the colour reports follow the documented tables: first with
// every key on its default code, then with keys 0 to 30 taking the functions
// of the key-code rows in order; every key has a colour of its own.
TEST_F(UploadTest, MatrixAndColoursFollowTheDocumentedTables) {
    const std::vector<int> positions = DocumentedKeyPositions();
    ASSERT_EQ(std::count(positions.begin(), positions.end(), -1), 0);
    for (bool assigned : {false, true}) {
        SCOPED_TRACE(assigned ? "functions assigned" : "default codes");
        SaveSlot2([assigned](PROFILE_DATA& p) {
            for (int key = 0; key < kKeyCount; ++key) {
                p.Buttons[key] = {};
                p.Colors[0].KeyColor[key] = static_cast<std::uint32_t>(key + 1); // red
            }
            for (int row = 0; assigned && row < kDeviceKeyCodeRows; ++row) {
                p.Buttons[row].AssignKind = 2;
                p.Buttons[row].FunctionCode = kFunctionKeyCodes[row].first;
            }
            p.Light.Effect = 19;
        });
        Forget();
        Post(WM_HID_UPLOAD, 1, 0);

        std::vector<std::uint8_t> matrix(&kDefaultMatrix[0][0],
                                         &kDefaultMatrix[0][0] + kMatrixSize);
        for (int row = 0; assigned && row < kDeviceKeyCodeRows; ++row)
            matrix[positions[row]] = kFunctionKeyCodes[row].second;
        std::vector<std::string> expected = {Command({0x0A, 0x04, 0x02})};
        for (int chunk = 1; chunk <= 23; ++chunk) {
            std::vector<std::uint8_t> bytes = {0x0B, static_cast<std::uint8_t>(chunk)};
            bytes.insert(bytes.end(), matrix.begin() + 6 * (chunk - 1), matrix.begin() + 6 * chunk);
            expected.push_back(Hex(bytes));
        }
        expected.push_back(Command({0x0A, 0x03, 0x02}));
        expected.push_back(Command({0x0A, 0x0A, 0x02, 19}));
        for (int key = 0; key < kKeyCount; ++key) {
            if (positions[key] != 0)
                expected.push_back(
                    Command({0x0A, 0x0C, 0x02, static_cast<std::uint8_t>(positions[key]),
                             static_cast<std::uint8_t>(key + 1)}));
        }
        for (int position : kKeylessPositions)
            expected.push_back(Command({0x0A, 0x0C, 0x02, static_cast<std::uint8_t>(position)}));
        expected.push_back(Command({0x0A, 0x03, 0x02}));
        EXPECT_EQ(Writes(), expected);
    }
}

TEST_F(UploadTest, SlotZeroWithoutFlagsOnlySelectsTheSlot) {
    Sync(0, 0);
    Post(WM_HID_SHOW_PROGRESS, 0, 0);
    Forget();
    host.graphics.barPaints.clear();
    Post(WM_HID_UPLOAD, 0, 0);
    EXPECT_EQ(Writes(), std::vector<std::string>{Command({0x0A, 0x03, 0x00})});
    EXPECT_EQ(Bars(), (std::vector<int>{20, 60, 90, 100}));
    EXPECT_EQ(loading.Received(WM_HID_UPLOAD).size(), 1u);
}

TEST_F(UploadTest, SingleColourEffectSendsTheColour) {
    SaveSlot2([](PROFILE_DATA& p) {
        p.Light.Effect = 16;
        p.Light.Color = 0x0000FF; // pure red
    });
    Forget();
    Post(WM_HID_UPLOAD, 1, 0); // no progress window: runs all the same
    std::vector<std::string> w = Writes();
    ASSERT_GE(w.size(), 4u);
    EXPECT_EQ(w[w.size() - 4], Command({0x0A, 0x03, 0x02}));
    EXPECT_EQ(w[w.size() - 3], Command({0x0A, 0x0A, 0x02, 16}));
    EXPECT_EQ(w[w.size() - 2], Command({0x0A, 0x0B, 0x02, 0x04, 0xFF, 0x00, 0x00}));
    EXPECT_EQ(w.back(), Command({0x0A, 0x03, 0x02}));
    EXPECT_TRUE(host.graphics.barPaints.empty());
}

// The slot given, the lighting of the profile current after the reload:
// effect 16 sends its colour, 19 the colour of every key.
TEST_F(UploadTest, SlotUploadUsesTheGivenSlotAndTheReloadedLighting) {
    const std::vector<std::string> slotAndEffect9 = {Command({0x0A, 0x03, 0x04}),
                                                     Command({0x0A, 0x0A, 0x04, 9})};
    struct Case {
        std::uint8_t effect;
        std::vector<std::string> first; // the reports from the start
        std::size_t reports;
        std::uint32_t pauses; // in all, ms
    } cases[] = {
        {9, slotAndEffect9, 2, 20 + 200 + 100},
        {16,
         {Command({0x0A, 0x03, 0x04}), Command({0x0A, 0x0A, 0x04, 16}),
          Command({0x0A, 0x0B, 0x04, 0x04, 0x33, 0x22, 0x11})},
         3,
         20 + 200 + 100 + 200 + 200},
        {19,
         {Command({0x0A, 0x03, 0x04}), Command({0x0A, 0x0A, 0x04, 19}),
          Command({0x0A, 0x0C, 0x04, 1, 0x01, 0x02, 0x03})}, // key 0 at position 1
         2 + 137,
         20 + 200 + 100 + 137 * 20},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.effect);
        SaveSlot2([&](PROFILE_DATA& p) {
            p.Light.Effect = c.effect;
            p.Light.Color = 0x112233;
            p.Colors[0].KeyColor[0] = 0x030201;
        });
        Forget();
        host.graphics.barPaints.clear();
        Post(WM_HID_UPLOAD_SLOT, 0x104, 0); // the low byte is the slot
        std::vector<std::string> w = Writes();
        ASSERT_EQ(w.size(), c.reports);
        EXPECT_EQ(std::vector<std::string>(w.begin(), w.begin() + c.first.size()), c.first);
        const auto& pauses = host.clock.pauses;
        EXPECT_EQ(std::accumulate(pauses.begin(), pauses.end(), 0u), c.pauses);
        EXPECT_EQ(Bars(), (std::vector<int>{0, 20, 50, 80, 100}));
        EXPECT_EQ(loading.Received(WM_HID_UPLOAD).size(), 1u);
        loading.received.clear();
        EXPECT_EQ(wnd->ProgressWindow(), nullptr);
    }
}

TEST_F(UploadTest, ProgressWindowIsCentredTopMostAndReplacedWindowsGo) {
    host.windows.screenWidth = 1920;
    host.windows.screenHeight = 1081;
    Post(WM_HID_SHOW_PROGRESS, 0, 0);
    WndHandle first = wnd->ProgressWindow()->GetSafeHwnd();
    auto g = host.windows.GeometryOf(first);
    EXPECT_EQ(g.x, (1920 - 600) / 2);
    EXPECT_EQ(g.y, (1081 - 180) / 2);
    EXPECT_TRUE(g.topMost);
    EXPECT_TRUE(g.visible);
    EXPECT_EQ(host.windows.GetTitle(first), u"PelkStrivaneProgressbar");

    Post(WM_HID_SHOW_PROGRESS, 0, 0);
    EXPECT_FALSE(host.windows.IsWnd(first)); // not left on screen for good
    std::size_t windows = host.windows.WindowCount();
    for (int i = 0; i < 20; ++i) {
        Post(WM_HID_SHOW_PROGRESS, 0, 0);
        Post(WM_HID_UPLOAD, 0, 0);
    }
    EXPECT_EQ(host.windows.WindowCount(), windows - 2); // the dialog and its bar are gone
}

} // namespace
} // namespace orv
