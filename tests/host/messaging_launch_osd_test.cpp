// Starting programs for keys, and the two small display programs.
#include "storage/paths.h"
#include "base/wstr.h"
#include "messaging/launcher.h"
#include "messaging/messages.h"
#include "messaging/osd.h"
#include "platform/host/host_platform.h"

#include <gtest/gtest.h>

#include <cstring>

namespace orv {
namespace {

class LaunchTest : public ::testing::Test {
protected:
    void SetUp() override {
        host.files->MakeDirectory(u"C:\\Games");
        host.files->ReplaceContent(u"C:\\Games\\run.exe", "MZ");
        host.shell.shellLinks[u"C:\\Links\\run.lnk"] = u"C:\\Games\\run.exe";
        host.shell.shellLinks[u"C:\\Links\\old.lnk"] = u"C:\\Games (x86)\\run.exe";
        host.shell.shellLinks[u"C:\\Links\\gone.lnk"] = u"C:\\Gone (x86)\\x (x86).exe";
        host.installer.shortcuts[u"C:\\Links\\suite.lnk"] = {0, u"{P}", u"F", u"{C}"};
        host.installer.componentPaths[{u"{P}", u"{C}"}] = u"C:\\Suite\\suite.exe";
        host.installer.shortcuts[u"C:\\Links\\broken.lnk"] = {1603, u"", u"", u""};
        host.installer.shortcuts[u"C:\\Links\\nopath.lnk"] = {0, u"{Q}", u"F", u"{D}"};
    }
    host::HostPlatform host;
};

TEST_F(LaunchTest, StartsWhatThePathNames) {
    struct Case {
        std::u16string stored, started;
    } cases[] = {
        {u"C:\\Games\\run.exe", u"C:\\Games\\run.exe"},       // a program, as stored
        {u"C:\\Docs\\notes.txt", u"C:\\Docs\\notes.txt"},     // a document, as stored
        {u"C:\\Links\\run.lnk", u"C:\\Games\\run.exe"},       // a shell shortcut's target
        {u"C:\\Links\\old.lnk", u"C:\\Games\\run.exe"},       // " (x86)" dropped when missing
        {u"C:\\Links\\gone.lnk", u"C:\\Gone\\x.exe"},         // every occurrence, unchecked
        {u"C:\\Links\\suite.lnk", u"C:\\Suite\\suite.exe"},   // an installer shortcut
        {u"C:\\Links\\broken.lnk", u"C:\\Links\\broken.lnk"}, // installer error: as stored
        {u"C:\\Links\\nopath.lnk", u"C:\\Links\\nopath.lnk"}, // no installed path: as stored
    };
    for (const Case& c : cases) {
        host.shell.started.clear();
        LaunchPath(c.stored);
        ASSERT_EQ(host.shell.started.size(), 1u) << ToUtf8(c.stored);
        EXPECT_EQ(host.shell.started[0].file, c.started) << ToUtf8(c.stored);
        EXPECT_EQ(host.shell.started[0].verb, u"open");
        EXPECT_EQ(host.shell.started[0].showCmd, SW_SHOWNORMAL);
        EXPECT_EQ(host.clock.pauses.back(), 5u);
    }
    host.shell.started.clear();
    LaunchPath(u"");
    EXPECT_TRUE(host.shell.started.empty());
}

TEST(OsdRecord, BytesForEachColourScheme) {
    struct Case {
        std::uint8_t osdColor;
        std::uint32_t textColor;
    } cases[] = {{0, 0x000000FF}, {1, 0x000055FF}, {2, 0x0000FF00}, {7, 0x000000FF}};
    for (const Case& c : cases) {
        OSD_DATA record = MakeOsdRecord(u"Profile 3", c.osdColor);
        unsigned char bytes[sizeof record];
        std::memcpy(bytes, &record, sizeof record);
        auto word = [&](std::size_t at) {
            return bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 |
                   static_cast<std::uint32_t>(bytes[at + 3]) << 24;
        };
        EXPECT_EQ(bytes[0], 'P');
        EXPECT_EQ(bytes[16], '3');
        EXPECT_EQ(bytes[18] | bytes[19], 0); // terminator, then zeros
        EXPECT_EQ(word(508), 0u);
        EXPECT_EQ(word(512), 0u);
        EXPECT_EQ(word(516), 1500u);
        EXPECT_EQ(word(520), 0u);
        EXPECT_EQ(word(524), c.textColor);
        EXPECT_EQ(word(528), 40u);
        EXPECT_EQ(bytes[532], 'A');
        EXPECT_EQ(bytes[540], 'l');
        EXPECT_EQ(bytes[542] | bytes[543], 0);
        EXPECT_EQ(bytes[1043], 0);
    }
    OSD_DATA longText = MakeOsdRecord(std::u16string(400, u'x'), 0);
    EXPECT_EQ(longText.Text[254], u'x');
    EXPECT_EQ(longText.Text[255], 0); // cut to 255 characters
}

class OsdTest : public ::testing::Test {
protected:
    host::HostPlatform host;
};

TEST_F(OsdTest, RunningDisplayGetsOneRecordAndNothingIsStarted) {
    host::StandInWindow osd(host.windows, kOsdWindowTitle, kOsdWindowClass);
    ShowOsd(u"PC Mode", 1);
    auto got = osd.Received(WM_COPYDATA);
    ASSERT_EQ(got.size(), 1u);
    ASSERT_EQ(got[0].data.size(), sizeof(OSD_DATA));
    OSD_DATA record;
    std::memcpy(&record, got[0].data.data(), sizeof record);
    EXPECT_EQ(FieldText(record.Text), u"PC Mode");
    EXPECT_EQ(record.TextColor, 0x000055FFu);
    EXPECT_TRUE(host.shell.started.empty());
    EXPECT_TRUE(host.clock.pauses.empty());
}

TEST_F(OsdTest, DisplayHasOneSecondToTakeTheRecord) {
    struct Case {
        std::uint32_t answerMs;
        std::size_t handled;
        std::uint32_t waited;
    } cases[] = {
        {0, 1, 0},
        {1000, 1, 1000},
        {1001, 0, 1000},
        {host::HostWindowSystem::kNeverAnswers, 0, 1000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.answerMs);
        host::StandInWindow osd(host.windows, kOsdWindowTitle, kOsdWindowClass);
        host.windows.answerTimes[osd.Handle()] = c.answerMs;
        std::uint32_t before = host.clock.TickCount();
        ShowOsd(u"Profile 1", 0);
        EXPECT_EQ(osd.Received(WM_COPYDATA).size(), c.handled);
        EXPECT_EQ(host.clock.TickCount() - before, c.waited);
        EXPECT_TRUE(host.shell.started.empty());
    }
}

TEST_F(OsdTest, AbsentDisplayIsStartedFiveTimesThenGivenUp) {
    host::StandInWindow wrongClass(host.windows, kOsdWindowTitle, u"Other");
    ShowOsd(u"Profile 2", 0);
    ASSERT_EQ(host.shell.started.size(), 5u);
    for (const auto& start : host.shell.started) {
        EXPECT_EQ(start.file, u"C:\\Program Files\\Orvane\\osdview.exe");
        EXPECT_EQ(start.verb, u""); // the default verb
        EXPECT_EQ(start.showCmd, SW_SHOWNORMAL);
    }
    EXPECT_EQ(host.clock.pauses, (std::vector<std::uint32_t>(5, 500)));
    EXPECT_TRUE(wrongClass.Received(WM_COPYDATA).empty());
}

TEST_F(OsdTest, DisplayThatComesUpOnTheSecondStartIsUsed) {
    std::unique_ptr<host::StandInWindow> osd;
    host.shell.onExecute = [&](const host::HostShell::Started&) {
        if (host.shell.started.size() == 2)
            osd = std::make_unique<host::StandInWindow>(host.windows, kOsdWindowTitle,
                                                        kOsdWindowClass);
        return true;
    };
    ShowOsd(u"Profile 5", 2);
    EXPECT_EQ(host.shell.started.size(), 2u);
    ASSERT_TRUE(osd);
    EXPECT_EQ(osd->Received(WM_COPYDATA).size(), 1u);
}

TEST_F(OsdTest, TrayIconProgramStartsOnlyWhenItsWindowIsMissing) {
    CopyToField(g_szExeDir, u"C:\\Program Files\\Orvane\\");
    StartTrayIconProgram();
    ASSERT_EQ(host.shell.started.size(), 1u);
    EXPECT_EQ(host.shell.started[0].file, u"C:\\Program Files\\Orvane\\traystub.exe");
    EXPECT_EQ(host.shell.started[0].verb, u"open");
    EXPECT_EQ(host.shell.started[0].showCmd, SW_SHOW);

    host::StandInWindow tray(host.windows, kTrayIconTitle);
    StartTrayIconProgram();
    EXPECT_EQ(host.shell.started.size(), 1u);
}

} // namespace
} // namespace orv
