// The skinned progress window and bar on the in-memory platform.
#include "platform/host/host_platform.h"
#include "skin/bar_math.h"
#include "skin/progress_dlg.h"
#include "skin/region.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

namespace orv {
namespace {

TEST(BarMath, FillWidthPositionRuleAndPointer) {
    struct Fill {
        int pos, width, expected;
    } fills[] = {{50, 600, 300}, {1, 600, 6}, {100, 600, 600}, {0, 600, 0}, {33, 599, 197}};
    for (const Fill& f : fills)
        EXPECT_EQ(FillWidth(f.pos, 0, 100, f.width), f.expected) << f.pos;

    EXPECT_EQ(PositionOrMinimum(-5, 0, 100), 0);
    EXPECT_EQ(PositionOrMinimum(150, 0, 100), 0); // not the nearer end
    EXPECT_EQ(PositionOrMinimum(100, 0, 100), 100);

    struct Pointer {
        int x, expected;
    } pointers[] = {{-40, 0}, {0, 0}, {6, 1}, {599, 99}, {600, 100}, {2000, 100}};
    for (const Pointer& p : pointers)
        EXPECT_EQ(PositionFromPointer(p.x, 0, 600, 0, 100), p.expected) << p.x;
}

// A mask as the platform's 32-bit bottom-up section holds it: 'x' marks a
// pixel of the window, anything else is pure white.
host::HostGraphics::Bitmap Mask(const std::vector<std::string>& rows) {
    host::HostGraphics::Bitmap bitmap{static_cast<int>(rows[0].size()),
                                      static_cast<int>(rows.size()),
                                      {}};
    for (const std::string& row : rows)
        for (char c : row)
            bitmap.pixels.push_back(c == 'x' ? 0x102030 : 0xFFFFFF);
    return bitmap;
}

class SkinTest : public ::testing::Test {
protected:
    std::vector<RegionRect> RegionOf(const host::HostGraphics::Bitmap& mask) {
        RegionHandle region = RegionFromMask(host.graphics.AddBitmap(mask));
        std::vector<RegionRect> area = host.graphics.Area(region);
        host.graphics.DeleteRegion(region);
        return area;
    }

    host::HostPlatform host;
};

TEST_F(SkinTest, RegionFromMaskRuns) {
    EXPECT_TRUE(RegionOf(Mask({"...", "..."})).empty());
    EXPECT_EQ(host.graphics.regionRequests, std::vector<std::uint32_t>{0}); // empty, not none

    EXPECT_EQ(RegionOf(Mask({"xxxx", "xxxx", "xxxx"})),
              (std::vector<RegionRect>{{0, 0, 4, 1}, {0, 1, 4, 2}, {0, 2, 4, 3}}));
    EXPECT_EQ(RegionOf(Mask({"....", "..x.", "...."})),
              (std::vector<RegionRect>{{2, 1, 3, 2}}));
    EXPECT_EQ(RegionOf(Mask({"xx.xx.x", ".x..x.."})),
              (std::vector<RegionRect>{{0, 0, 2, 1}, {3, 0, 5, 1}, {6, 0, 7, 1}, {1, 1, 2, 2},
                                       {4, 1, 5, 2}}));
    EXPECT_EQ(RegionFromMask(0), 0u);
}

TEST_F(SkinTest, ManyRunsAreFlushedInPartsThatAddUpToTheSameArea) {
    // 60 rows of 50 one-pixel runs: 3,000 rectangles.
    std::vector<std::string> rows(60, std::string(50, ' '));
    std::set<std::pair<int, int>> expected;
    for (int y = 0; y < 60; ++y)
        for (int x = 0; x < 100; x += 2) {
            rows[y].resize(100, '.');
            rows[y][x] = 'x';
            rows[y][x + 1] = '.';
            expected.insert({y, x});
        }
    std::vector<RegionRect> area = RegionOf(Mask(rows));

    EXPECT_EQ(host.graphics.regionRequests, (std::vector<std::uint32_t>{2000, 1000}));
    std::set<std::pair<int, int>> cells;
    for (const RegionRect& r : area)
        for (int x = r.left; x < r.right; ++x)
            cells.insert({r.top, x});
    EXPECT_EQ(cells, expected);
}

std::string Bmp24(int width, int height, std::uint32_t rgb, int hole = -1) {
    int stride = (width * 3 + 3) & ~3;
    std::string bytes(54 + static_cast<std::size_t>(stride) * height, '\0');
    auto put32 = [&](std::size_t at, std::uint32_t v) {
        for (int i = 0; i < 4; ++i)
            bytes[at + i] = static_cast<char>(v >> (8 * i));
    };
    bytes[0] = 'B';
    bytes[1] = 'M';
    put32(2, static_cast<std::uint32_t>(bytes.size()));
    put32(10, 54);
    put32(14, 40);
    put32(18, static_cast<std::uint32_t>(width));
    put32(22, static_cast<std::uint32_t>(height));
    bytes[26] = 1;
    bytes[28] = 24;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            std::uint32_t c = x == hole ? 0xFFFFFF : rgb;
            std::size_t p = 54 + static_cast<std::size_t>(y) * stride + x * 3;
            bytes[p] = static_cast<char>(c);
            bytes[p + 1] = static_cast<char>(c >> 8);
            bytes[p + 2] = static_cast<char>(c >> 16);
        }
    return bytes;
}

class ProgressWindowTest : public SkinTest {
protected:
    void WriteSkin(const std::u16string& name, const std::string& bytes) {
        host.files->MakeDirectory(u"C:\\Program Files\\Orvane\\skins");
        ASSERT_TRUE(host.files->ReplaceContent(u"C:\\Program Files\\Orvane\\skins\\" + name, bytes));
    }
    host::StandInWindow owner{host.windows, u"Orvane_Hid"};
};

TEST_F(ProgressWindowTest, SkinGivesSizeOutlineTitleAndBarRange) {
    // Column 0 of the mask is white: the window's outline leaves it out.
    WriteSkin(u"updatebar_Mask.bmp", Bmp24(8, 4, 0x000000, 0));
    WriteSkin(u"updatebar_n.jpg", Bmp24(10, 5, 0x202020)); // background: placement size
    WriteSkin(u"updatebar_o.jpg", Bmp24(8, 4, 0x00A0A0));  // fill: window and bar size
    CProgressDlg dlg;
    ASSERT_TRUE(dlg.Create(nullptr));
    WndHandle wnd = dlg.GetSafeHwnd();

    EXPECT_EQ(host.windows.GetTitle(wnd), u"TORVO_PROCESSBAR");
    auto geometry = host.windows.GeometryOf(wnd);
    EXPECT_EQ(geometry.width, 8);
    EXPECT_EQ(geometry.height, 4);
    EXPECT_EQ(dlg.m_nWidth, 10);
    EXPECT_EQ(dlg.m_nHeight, 5);
    std::vector<RegionRect> outline = host.graphics.Area(host.graphics.WindowRegion(wnd));
    ASSERT_EQ(outline.size(), 4u);
    EXPECT_EQ(outline[0], (RegionRect{1, 0, 8, 1}));
    EXPECT_EQ(dlg.m_ctlBar.m_nMin, 0);
    EXPECT_EQ(dlg.m_ctlBar.m_nMax, 100);

    dlg.m_ctlBar.SetPos(50); // painted at once, without the message loop
    ASSERT_FALSE(host.graphics.barPaints.empty());
    EXPECT_EQ(host.graphics.barPaints.back().fillWidth, 4);
    EXPECT_EQ(host.graphics.barPaints.back().width, 8);
    dlg.m_ctlBar.SetPos(150);
    EXPECT_EQ(dlg.m_ctlBar.GetPos(), 0);
    EXPECT_EQ(host.graphics.barPaints.back().fillWidth, 0);
}

TEST_F(ProgressWindowTest, CaptionComesFromTheLanguageFileBesideTheProgram) {
    {
        CProgressDlg dlg;
        ASSERT_TRUE(dlg.Create(nullptr));
        EXPECT_EQ(dlg.m_strCaption, u""); // no language file: no caption
    }
    ASSERT_TRUE(host.files->ReplaceContent(
        u"C:\\Program Files\\Orvane\\Strings.xml",
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?><S><TRAYICON><LOADING>Writing &amp; "
        "checking\xE2\x80\xA6</LOADING></TRAYICON></S>"));
    CProgressDlg dlg;
    ASSERT_TRUE(dlg.Create(nullptr));
    EXPECT_EQ(dlg.m_strCaption, u"Writing & checking\u2026");
    dlg.m_ctlBar.SetPos(10);
    EXPECT_EQ(host.graphics.barPaints.back().caption, dlg.m_strCaption);
}

TEST_F(ProgressWindowTest, MissingSkinStillShowsAPlainBarAndNothingLeaks) {
    for (int i = 0; i < 50; ++i) {
        CProgressDlg dlg;
        ASSERT_TRUE(dlg.Create(nullptr));
        EXPECT_EQ(host.windows.GeometryOf(dlg.GetSafeHwnd()).width, kFallbackSkinWidth);
        EXPECT_EQ(dlg.m_nHeight, kFallbackSkinHeight);
        EXPECT_EQ(host.graphics.WindowRegion(dlg.GetSafeHwnd()), 0u); // rectangular
        dlg.m_ctlBar.SetPos(100);
        EXPECT_EQ(host.graphics.barPaints.back().fillWidth, kFallbackSkinWidth);
        EXPECT_NE(host.graphics.barPaints.back().fill, 0u);
    }
    EXPECT_EQ(host.graphics.LiveBitmaps(), 0u);
    EXPECT_EQ(host.windows.WindowCount(), 1u); // the owner stand-in only
}

TEST_F(ProgressWindowTest, DraggingTheBarFollowsThePointer) {
    CProgressDlg dlg;
    ASSERT_TRUE(dlg.Create(nullptr));
    WndHandle bar = dlg.m_ctlBar.GetSafeHwnd();
    auto point = [](int x, int y) { return static_cast<LParam>((y << 16) | (x & 0xFFFF)); };

    host.windows.SendMsg(bar, WM_LBUTTONDOWN, 1, point(10, 10));
    EXPECT_EQ(host.windows.Capture(), bar);
    host.windows.SendMsg(bar, WM_MOUSEMOVE, 1, point(300, 10));
    EXPECT_EQ(dlg.m_ctlBar.GetPos(), 50);
    host.windows.SendMsg(bar, WM_LBUTTONUP, 0, point(599, 10));
    EXPECT_EQ(dlg.m_ctlBar.GetPos(), 99);
    EXPECT_EQ(host.windows.Capture(), kNoWindow);
    host.windows.SendMsg(bar, WM_MOUSEMOVE, 0, point(100, 10)); // no drag: no change
    EXPECT_EQ(dlg.m_ctlBar.GetPos(), 99);
    host.windows.SendMsg(bar, WM_LBUTTONUP, 0, point(-30, 10));
    EXPECT_EQ(dlg.m_ctlBar.GetPos(), 0);
}

} // namespace
} // namespace orv
