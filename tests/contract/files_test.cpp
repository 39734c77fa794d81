// The file services: whole files only, names that are refused, moves that
// never overwrite, size limits that fail, and folders removed with their files.
#include "contract_backend.h"
#include "platform/platform.h"

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

namespace orv::contract {
namespace {

std::string Narrow(std::u16string_view text) {
    return std::string(text.begin(), text.end());
}

class FilesContract : public ContractTest {
protected:
    void SetUp() override {
        ContractTest::SetUp();
        dir = backend->Scratch();
    }

    std::string Read(const std::u16string& path) {
        std::string bytes;
        EXPECT_EQ(Files().ReadAll(path, bytes), ReadResult::Ok) << Narrow(path);
        return bytes;
    }

    std::u16string dir;
};

// Names the platform refuses: none of them can name a file or a folder. A
// ':' is not among them: Wine takes it as part of the name, while NTFS opens
// a stream of the file named by what comes before it, so the two differ.
TEST_F(FilesContract, RefusedNamesNameNothingAndOddOnesNameFiles) {
    for (const char16_t* name : {u"Best?.ini", u"Be*st.ini", u"Be|st.ini", u"Be<st.ini",
                                 u"Be>st.ini", u"Be\"st.ini", u"Be\x01st.ini", u"Be\x1Fst.ini"}) {
        SCOPED_TRACE(Narrow(name));
        const std::u16string path = dir + name;
        EXPECT_FALSE(Files().CreateNew(path, "x"));
        EXPECT_FALSE(Files().TouchFile(path));
        EXPECT_FALSE(Files().ReplaceContent(path, "x"));
        EXPECT_FALSE(Files().MakeDirectory(path));
        EXPECT_FALSE(Files().Exists(path));
        std::string bytes;
        EXPECT_EQ(Files().ReadAll(path, bytes), ReadResult::Failed);
    }
    for (const char16_t* name :
         {u"Best!.ini", u"Be st;#&%.ini", u"Be[s]t{}.ini", u"\u041F\u0440\u043E\u0444.ini"}) {
        SCOPED_TRACE(Narrow(name));
        EXPECT_TRUE(Files().CreateNew(dir + name, "x"));
        EXPECT_EQ(Read(dir + name), "x");
    }
}

TEST_F(FilesContract, CreateNewNeverTakesAnExistingName) {
    const std::u16string file = dir + u"a.ini";
    ASSERT_TRUE(Files().CreateNew(file, "first"));
    EXPECT_FALSE(Files().CreateNew(file, "second"));
    EXPECT_EQ(Read(file), "first");
    ASSERT_TRUE(Files().MakeDirectory(dir + u"folder"));
    EXPECT_FALSE(Files().CreateNew(dir + u"folder", "x"));
    EXPECT_TRUE(Files().IsDirectory(dir + u"folder"));
}

// The configuration program and the user name files in any case; the
// service must find them and never make a second one.
TEST_F(FilesContract, NamesMatchWithoutRegardToCase) {
    ASSERT_TRUE(Files().MakeDirectory(dir + u"Profiles"));
    ASSERT_TRUE(Files().CreateNew(dir + u"Profiles\\Profile 1.ini", "one"));
    EXPECT_TRUE(Files().IsDirectory(dir + u"PROFILES"));
    EXPECT_TRUE(Files().Exists(dir + u"profiles\\PROFILE 1.INI"));
    EXPECT_EQ(Read(dir + u"PROFILES\\profile 1.ini"), "one");
    EXPECT_FALSE(Files().CreateNew(dir + u"profiles\\PROFILE 1.ini", "two"));
    EXPECT_FALSE(Files().MakeDirectory(dir + u"PROFILES"));
    EXPECT_TRUE(Files().ReplaceContent(dir + u"profiles\\profile 1.INI", "three"));
    EXPECT_EQ(Read(dir + u"Profiles\\Profile 1.ini"), "three");
}

// Another program reading while the service writes sees no file, the old
// bytes or the new ones, never a part: the service's files are read by the
// configuration program at any moment. A reader that never lets go of the
// file can make the Windows backend write it in place after a while rather
// than drop the write (docs/file-formats.md), so while files are replaced
// this one pauses between reads.
TEST_F(FilesContract, AReaderNeverSeesAPartOfANewOrReplacedFile) {
    constexpr int kNewFiles = 120;
    constexpr int kReplaces = 20;
    const std::string first(1 << 19, 'a');
    const std::string second(3 << 17, 'b');
    std::atomic<int> current{0};
    std::atomic<bool> replacing{false};
    std::atomic<bool> done{false};
    auto name = [&](int i) {
        const std::string digits = std::to_string(i);
        return dir + u"f" + std::u16string(digits.begin(), digits.end()) + u".ini";
    };
    std::vector<std::string> seen; // what was read that was neither
    std::thread reader([&] {
        std::string bytes;
        while (!done) {
            ReadResult result = Files().ReadAll(name(current.load()), bytes);
            if (result == ReadResult::Failed)
                seen.emplace_back("failed");
            else if (result == ReadResult::Ok && bytes != first && bytes != second)
                seen.push_back(std::to_string(bytes.size()) + " bytes");
            if (replacing)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
    for (int i = 0; i < kNewFiles; ++i) {
        current = i;
        EXPECT_TRUE(Files().CreateNew(name(i), first));
    }
    replacing = true;
    for (int i = 0; i < kReplaces; ++i)
        EXPECT_TRUE(Files().ReplaceContent(name(kNewFiles - 1), i % 2 == 0 ? second : first));
    done = true;
    reader.join();
    EXPECT_EQ(seen.size(), 0u) << (seen.empty() ? "" : seen.front());
    EXPECT_EQ(Read(name(0)), first);
}

TEST_F(FilesContract, MovingOntoAnExistingNameIsRefused) {
    ASSERT_TRUE(Files().CreateNew(dir + u"from.ini", "from"));
    ASSERT_TRUE(Files().CreateNew(dir + u"to.ini", "to"));
    ASSERT_TRUE(Files().MakeDirectory(dir + u"folder"));
    EXPECT_FALSE(Files().MoveEntry(dir + u"from.ini", dir + u"to.ini"));
    EXPECT_FALSE(Files().MoveEntry(dir + u"from.ini", dir + u"folder"));
    EXPECT_EQ(Read(dir + u"from.ini"), "from");
    EXPECT_EQ(Read(dir + u"to.ini"), "to");

    // A folder moves with what it holds.
    ASSERT_TRUE(Files().CreateNew(dir + u"folder\\a.ini", "a"));
    EXPECT_TRUE(Files().MoveEntry(dir + u"folder", dir + u"moved"));
    EXPECT_FALSE(Files().Exists(dir + u"folder"));
    EXPECT_EQ(Read(dir + u"moved\\a.ini"), "a");
}

TEST_F(FilesContract, AFileOverTheLimitFailsWithAnErrorCode) {
    const std::u16string file = dir + u"big.xml";
    ASSERT_TRUE(Files().CreateNew(file, std::string(1000, 'x')));
    std::string bytes = "stale";
    std::uint32_t error = 1;
    EXPECT_EQ(Files().ReadAllUpTo(file, 1000, bytes, error), ReadResult::Ok);
    EXPECT_EQ(bytes.size(), 1000u);
    EXPECT_EQ(error, 0u);

    EXPECT_EQ(Files().ReadAllUpTo(file, 999, bytes, error), ReadResult::Failed);
    EXPECT_TRUE(bytes.empty());
    EXPECT_NE(error, 0u);

    EXPECT_EQ(Files().ReadAllUpTo(dir + u"missing.xml", 999, bytes, error), ReadResult::NotFound);
    ASSERT_TRUE(Files().MakeDirectory(dir + u"folder"));
    EXPECT_EQ(Files().ReadAllUpTo(dir + u"folder", 999, bytes, error), ReadResult::Failed);
}

// The service's INI engine writes through ReplaceChecked: it must never
// overwrite what another program wrote since the service read the file,
// unless forced.
TEST_F(FilesContract, ACheckedReplaceWritesOnlyOverWhatWasRead) {
    const std::u16string file = dir + u"c.ini";
    ASSERT_TRUE(Files().CreateNew(file, "read"));
    std::string replaced = "stale";
    EXPECT_EQ(Files().ReplaceChecked(file, "other", "ours", false, replaced),
              ReplaceOutcome::Changed);
    EXPECT_EQ(Read(file), "read");
    EXPECT_EQ(Files().ReplaceChecked(file, "read", "ours", false, replaced), ReplaceOutcome::Done);
    EXPECT_TRUE(replaced.empty());
    EXPECT_EQ(Read(file), "ours");
    EXPECT_EQ(Files().ReplaceChecked(file, "other", "forced", true, replaced),
              ReplaceOutcome::Done);
    EXPECT_EQ(Read(file), "forced");
    EXPECT_EQ(Files().ReplaceChecked(dir + u"missing.ini", "", "x", false, replaced),
              ReplaceOutcome::Changed);
    EXPECT_FALSE(Files().Exists(dir + u"missing.ini"));
}

// A folder goes with its files, and only when it holds no other folder.
TEST_F(FilesContract, AFolderIsRemovedWithItsFilesOnly) {
    const std::u16string flat = dir + u"flat";
    ASSERT_TRUE(Files().MakeDirectory(flat));
    ASSERT_TRUE(Files().CreateNew(flat + u"\\a.ini", "a"));
    ASSERT_TRUE(Files().CreateNew(flat + u"\\a.ini.tmp", "b"));
    EXPECT_TRUE(Files().RemoveFolder(flat));
    EXPECT_FALSE(Files().Exists(flat));

    const std::u16string empty = dir + u"empty";
    ASSERT_TRUE(Files().MakeDirectory(empty));
    EXPECT_TRUE(Files().RemoveFolder(empty));
    EXPECT_FALSE(Files().Exists(empty));

    const std::u16string nested = dir + u"nested";
    ASSERT_TRUE(Files().MakeDirectory(nested));
    ASSERT_TRUE(Files().CreateNew(nested + u"\\a.ini", "a"));
    ASSERT_TRUE(Files().MakeDirectory(nested + u"\\inner"));
    EXPECT_FALSE(Files().RemoveFolder(nested));
    EXPECT_TRUE(Files().Exists(nested + u"\\a.ini"));
    EXPECT_TRUE(Files().IsDirectory(nested + u"\\inner"));

    const std::u16string file = dir + u"file.ini";
    ASSERT_TRUE(Files().CreateNew(file, "f"));
    EXPECT_FALSE(Files().RemoveFolder(file));
    EXPECT_TRUE(Files().Exists(file));
    EXPECT_FALSE(Files().RemoveFolder(dir + u"missing"));
}

} // namespace
} // namespace orv::contract
