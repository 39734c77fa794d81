// The host's file system where Linux would do what Windows never does (the
// contract suite, tests/contract, holds what both must do alike).
#include "platform/host/host_platform.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace orv {
namespace {

class HostFilesTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(host.files->MakeDirectory(u"C:\\t")); }
    host::HostPlatform host;
};

TEST_F(HostFilesTest, FolderRemovalNeverFollowsALink) {
    namespace fs = std::filesystem;
    ASSERT_TRUE(host.files->MakeDirectory(u"C:\\t\\target"));
    ASSERT_TRUE(host.files->CreateNew(u"C:\\t\\target\\a.ini", "a"));
    fs::create_directory_symlink(host.files->HostPath(u"C:\\t\\target"),
                                 host.files->HostPath(u"C:\\t\\link"));
    EXPECT_FALSE(host.files->RemoveFolder(u"C:\\t\\link"));
    EXPECT_TRUE(host.files->Exists(u"C:\\t\\target\\a.ini"));
}

} // namespace
} // namespace orv
