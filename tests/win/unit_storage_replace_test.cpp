// How the Windows backend puts new files in place: whole or not at all, only
// over what the writer last read, and without leaving its temporary names.
#include "platform/platform.h"
#include "platform/win32/wide.h"
#include "platform/win32/win32_platform.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

namespace orv {
namespace {

using win32::U16;

class FilesOnWindows : public ::testing::Test {
protected:
    void SetUp() override {
        win32::InstallWin32Platform();
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        dir = std::wstring(temp) + L"orv-replace-" + std::to_wstring(GetCurrentProcessId()) + L"\\";
        ASSERT_TRUE(CreateDirectoryW(dir.c_str(), nullptr));
        path = dir + L"config.ini";
    }
    void TearDown() override {
        for (const wchar_t* name : {L"config.ini", L"config.ini.tmp", L"config.ini.prev"})
            DeleteFileW((dir + name).c_str());
        RemoveDirectoryW((dir + L"moved").c_str());
        RemoveDirectoryW((dir + L"staged").c_str());
        RemoveDirectoryW(dir.c_str());
    }
    std::string Content() {
        std::string bytes;
        return Files().ReadAll(U16(path), bytes) == ReadResult::Ok ? bytes : "<missing>";
    }
    // Nothing of a write is left beside the file.
    void ExpectNoLeftovers() {
        EXPECT_FALSE(Files().Exists(U16(path + L".tmp")));
        EXPECT_FALSE(Files().Exists(U16(path + L".prev")));
    }

    std::wstring dir, path;
};

TEST_F(FilesOnWindows, ANewFileIsCreatedWholeAndNeverOverAnother) {
    EXPECT_TRUE(Files().CreateNew(U16(path), "first"));
    EXPECT_FALSE(Files().CreateNew(U16(path), "second"));
    EXPECT_EQ(Content(), "first");
    ExpectNoLeftovers();
}

TEST_F(FilesOnWindows, AFileIsReplacedOnlyOverWhatTheWriterRead) {
    ASSERT_TRUE(Files().CreateNew(U16(path), "theirs"));
    std::string replaced = "?";
    // Made from an older read: another program has written since.
    EXPECT_EQ(Files().ReplaceChecked(U16(path), "older", "ours", false, replaced),
              ReplaceOutcome::Changed);
    EXPECT_EQ(Content(), "theirs");
    EXPECT_FALSE(Files().Exists(U16(path + L".tmp")));
    // Made from what it holds; nothing slipped in.
    EXPECT_EQ(Files().ReplaceChecked(U16(path), "theirs", "ours", false, replaced),
              ReplaceOutcome::Done);
    EXPECT_EQ(Content(), "ours");
    EXPECT_EQ(replaced, "");
    // Forced, it goes in anyway and tells what it put out.
    EXPECT_EQ(Files().ReplaceChecked(U16(path), "older", "again", true, replaced),
              ReplaceOutcome::Done);
    EXPECT_EQ(Content(), "again");
    EXPECT_EQ(replaced, "ours");
    ExpectNoLeftovers();
}

TEST_F(FilesOnWindows, AFileHeldOpenIsWrittenInPlaceAfterAWhile) {
    ASSERT_TRUE(Files().CreateNew(U16(path), "theirs"));
    HANDLE held = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    std::string replaced;
    EXPECT_EQ(Files().ReplaceChecked(U16(path), "theirs", "ours", false, replaced),
              ReplaceOutcome::Done);
    CloseHandle(held);
    EXPECT_EQ(Content(), "ours");
    // The second name of the held file could not go while it was held; the
    // next write takes it away.
    EXPECT_EQ(Files().ReplaceChecked(U16(path), "ours", "next", false, replaced),
              ReplaceOutcome::Done);
    EXPECT_EQ(replaced, "");
    ExpectNoLeftovers();
}

TEST_F(FilesOnWindows, AFolderMovesOnlyToAFreeName) {
    ASSERT_TRUE(CreateDirectoryW((dir + L"staged").c_str(), nullptr));
    EXPECT_TRUE(Files().MoveEntry(U16(dir + L"staged"), U16(dir + L"moved")));
    EXPECT_TRUE(Files().IsDirectory(U16(dir + L"moved")));
    ASSERT_TRUE(CreateDirectoryW((dir + L"staged").c_str(), nullptr));
    EXPECT_FALSE(Files().MoveEntry(U16(dir + L"staged"), U16(dir + L"moved")));
    EXPECT_TRUE(Files().IsDirectory(U16(dir + L"staged")));
}

} // namespace
} // namespace orv
