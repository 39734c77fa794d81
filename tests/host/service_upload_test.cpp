// Writing a profile into the keyboard under the progress window.
#include "device/key_tables.h"
#include "service_test_support.h"

#include <cstring>
#include <numeric>

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

TEST_F(UploadTest, SlotUploadUsesTheGivenSlotAndTheReloadedLighting) {
    SaveSlot2([](PROFILE_DATA& p) { p.Light.Effect = 9; });
    Forget();
    host.graphics.barPaints.clear();
    Post(WM_HID_UPLOAD_SLOT, 0x104, 0); // the low byte is the slot
    EXPECT_EQ(Writes(), (std::vector<std::string>{Command({0x0A, 0x03, 0x04}),
                                                  Command({0x0A, 0x0A, 0x04, 9})}));
    EXPECT_EQ(Bars(), (std::vector<int>{0, 20, 50, 80, 100}));
    EXPECT_EQ(loading.Received(WM_HID_UPLOAD).size(), 1u);
    EXPECT_EQ(wnd->ProgressWindow(), nullptr);
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
