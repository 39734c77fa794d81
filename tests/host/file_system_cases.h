// What the host's file system and Windows (run under Wine) must do alike, so
// that the service's handling of it can be tested on the host: names that
// cannot name a file (a profile name is used as a file name unchanged), and
// the removal of a folder.
#pragma once

#include "platform/files.h"

#include <gtest/gtest.h>

#include <string>

namespace orv::testing {

// Names the platform refuses: none of them can name a file or a folder. A
// ':' is not among them: Wine takes it as part of the name, while NTFS opens
// a stream of the file named by what comes before it, so the two differ.
inline const char16_t* const kRefusedFileNames[] = {
    u"Best?.ini", u"Be*st.ini",  u"Be|st.ini",    u"Be<st.ini",
    u"Be>st.ini", u"Be\"st.ini", u"Be\x01st.ini", u"Be\x1Fst.ini",
};

// Names that look odd and still name files.
inline const char16_t* const kAcceptedFileNames[] = {
    u"Best!.ini",
    u"Be st;#&%.ini",
    u"Be[s]t{}.ini",
    u"\u041F\u0440\u043E\u0444.ini",
};

// Every operation on a refused name fails without creating anything, and
// reads fail rather than find nothing; accepted names take a whole file.
// `folder` ends in a separator.
inline void ExpectFileNamesAsOnWindows(IFileSystem& files, const std::u16string& folder) {
    for (const char16_t* name : kRefusedFileNames) {
        SCOPED_TRACE(std::string(name, name + std::char_traits<char16_t>::length(name)));
        const std::u16string path = folder + name;
        EXPECT_FALSE(files.CreateNew(path, "x"));
        EXPECT_FALSE(files.TouchFile(path));
        EXPECT_FALSE(files.ReplaceContent(path, "x"));
        EXPECT_FALSE(files.MakeDirectory(path));
        EXPECT_FALSE(files.Exists(path));
        std::string bytes;
        EXPECT_EQ(files.ReadAll(path, bytes), ReadResult::Failed);
    }
    for (const char16_t* name : kAcceptedFileNames) {
        const std::u16string path = folder + name;
        EXPECT_TRUE(files.CreateNew(path, "x"));
        std::string bytes;
        EXPECT_EQ(files.ReadAll(path, bytes), ReadResult::Ok);
        EXPECT_EQ(bytes, "x");
    }
}

// A folder goes with its files, and only when it holds no other folder.
// `folder` ends in a separator.
inline void ExpectFolderRemovalAsOnWindows(IFileSystem& files, const std::u16string& folder) {
    const std::u16string flat = folder + u"flat";
    ASSERT_TRUE(files.MakeDirectory(flat));
    ASSERT_TRUE(files.CreateNew(flat + u"\\a.ini", "a"));
    ASSERT_TRUE(files.CreateNew(flat + u"\\a.ini.tmp", "b"));
    EXPECT_TRUE(files.RemoveFolder(flat));
    EXPECT_FALSE(files.Exists(flat));

    const std::u16string empty = folder + u"empty";
    ASSERT_TRUE(files.MakeDirectory(empty));
    EXPECT_TRUE(files.RemoveFolder(empty));
    EXPECT_FALSE(files.Exists(empty));

    const std::u16string nested = folder + u"nested";
    ASSERT_TRUE(files.MakeDirectory(nested));
    ASSERT_TRUE(files.CreateNew(nested + u"\\a.ini", "a"));
    ASSERT_TRUE(files.MakeDirectory(nested + u"\\inner"));
    EXPECT_FALSE(files.RemoveFolder(nested));
    EXPECT_TRUE(files.Exists(nested + u"\\a.ini"));
    EXPECT_TRUE(files.IsDirectory(nested + u"\\inner"));

    const std::u16string file = folder + u"file.ini";
    ASSERT_TRUE(files.CreateNew(file, "f"));
    EXPECT_FALSE(files.RemoveFolder(file));
    EXPECT_TRUE(files.Exists(file));
    EXPECT_FALSE(files.RemoveFolder(folder + u"missing"));
}

} // namespace orv::testing
