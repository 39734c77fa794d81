// A commit against another program that writes the same file at the worst
// moments: after the commit's last look, and without pause. Whatever that
// program wrote ends up in the file beside the commit's own writes.
#include "pass_through_files.h"
#include "storage/ini_file.h"
#include "storage_test_support.h"

#include <functional>
#include <string>

namespace orv {
namespace {

// The host's files, with another program writing at the switch of a commit.
class RacingFiles final : public testing::PassThroughFiles {
public:
    using PassThroughFiles::PassThroughFiles;

    // What the other program does to the file at a switch; false: nothing.
    std::function<bool(std::u16string_view path, bool force)> writeAtSwitch;
    // When set, that write lands after the last look, just before the switch
    // (which the backend then notices); otherwise before the look.
    bool afterLook = false;
    int switches = 0, forced = 0;

    ReplaceOutcome ReplaceChecked(std::u16string_view path, std::string_view expected,
                                  std::string_view bytes, bool force,
                                  std::string& replaced) override {
        ++switches;
        forced += force ? 1 : 0;
        replaced.clear();
        bool wrote = writeAtSwitch && writeAtSwitch(path, force);
        std::string now;
        m_inner.ReadAll(path, now);
        if (wrote && !afterLook && !force)
            return ReplaceOutcome::Changed;
        if (!m_inner.ReplaceContent(path, bytes))
            return ReplaceOutcome::Failed;
        if (now != expected)
            replaced = now;
        return ReplaceOutcome::Done;
    }
};

class SharedWritesTest : public testing::StorageTest {
protected:
    SharedWritesTest() {
        Platform platform = CurrentPlatform();
        platform.files = &racing;
        InstallPlatform(platform);
    }
    ~SharedWritesTest() override {
        Platform platform = CurrentPlatform();
        platform.files = host.files.get();
        InstallPlatform(platform);
    }

    // The other program adds key `k<n>` to its section and sets `last` to n,
    // as the platform's writer would: the whole file rewritten.
    bool TheirWrite(int n) {
        std::string bytes;
        files().ReadAll(path, bytes);
        ini::Document doc = ini::Document::Parse(bytes);
        doc.Set(u"Theirs", FormatW(u"k%d", n), FormatW(u"%d", n));
        doc.Set(u"Theirs", u"last", FormatW(u"%d", n)); // a key they change again and again
        return files().ReplaceContent(path, doc.Serialize());
    }

    RacingFiles racing{*host.files};
    const std::u16string path = testing::kDataDir + u"config.ini";
};

TEST_F(SharedWritesTest, AWriteAfterTheLastLookIsTakenBackIn) {
    PutText(path, u"[Setting]\r\nProfile=0\r\nLanguage=101\r\n");
    racing.afterLook = true;
    racing.writeAtSwitch = [&](std::u16string_view, bool) {
        if (racing.switches > 1)
            return false;
        PutText(path, u"[Setting]\r\nProfile=0\r\nLanguage=104\r\n[Theirs]\r\nk=v\r\n");
        return true;
    };
    CIniSession session{CIniFile(path)};
    session.WriteInt(u"Setting", u"Profile", 3);
    session.WriteInt(u"Setting", u"KeyMode", 1);
    EXPECT_TRUE(session.Commit());
    EXPECT_EQ(racing.switches, 2); // once more, with their keys
    EXPECT_EQ(Text(path),
              u"[Setting]\r\nProfile=3\r\nLanguage=104\r\nKeyMode=1\r\n[Theirs]\r\nk=v\r\n");
}

TEST_F(SharedWritesTest, TheirLaterValueWinsOverTheOneTakenBackIn) {
    PutText(path, u"[Setting]\r\nProfile=0\r\n");
    // Their first write slips in after the look and is taken back in; their
    // second, of the same key, comes before the next look.
    racing.writeAtSwitch = [&](std::u16string_view, bool) {
        racing.afterLook = racing.switches == 1;
        return racing.switches <= 2 && TheirWrite(racing.switches);
    };
    EXPECT_EQ(CIniFile(path).WriteInt(u"Setting", u"Profile", 4), 1);
    EXPECT_EQ(racing.switches, 3);
    EXPECT_EQ(Text(path), u"[Setting]\r\nProfile=4\r\n[Theirs]\r\nk2=2\r\nlast=2\r\nk1=1\r\n");
}

TEST_F(SharedWritesTest, AProgramThatNeverPausesLosesNothingAndTheCommitEnds) {
    PutText(path, u"[Setting]\r\nProfile=0\r\n");
    for (bool afterLook : {false, true}) {
        SCOPED_TRACE(afterLook ? "after the look" : "before the look");
        racing.afterLook = afterLook;
        racing.switches = racing.forced = 0;
        int base = afterLook ? 200 : 100;
        int written = 0;
        racing.writeAtSwitch = [&](std::u16string_view, bool force) {
            // It stops at last, or the commit would have to give up merging.
            if (written == 60 || (force && !afterLook))
                return false;
            return TheirWrite(base + ++written);
        };
        EXPECT_EQ(CIniFile(path).WriteInt(u"Setting", u"Profile", base), 1);
        EXPECT_EQ(CIniFile(path).ReadInt(u"Setting", u"Profile", -1), base);
        EXPECT_EQ(CIniFile(path).ReadInt(u"Theirs", u"last", -1), base + written);
        for (int n = base + 1; n <= base + written; ++n)
            EXPECT_EQ(CIniFile(path).ReadInt(u"Theirs", FormatW(u"k%d", n), -1), n);
        // Before the look, the commit waits for a quiet moment a while and
        // then switches regardless.
        if (!afterLook) {
            EXPECT_GT(racing.forced, 0);
        }
    }
}

} // namespace
} // namespace orv
