// The Windows file system beside the host's: the names it refuses and the
// removal of a folder behave as the host tests take them to.
#include "../host/file_system_cases.h"
#include "e2e_support.h"
#include "platform/platform.h"
#include "platform/win32/wide.h"
#include "platform/win32/win32_platform.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

namespace orv {
namespace {

using win32::U16;

class PlatformFilesOnWindows : public ::testing::Test {
protected:
    void SetUp() override {
        win32::InstallWin32Platform();
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        dir = std::wstring(temp) + L"orv-files-" + std::to_wstring(GetCurrentProcessId()) + L"\\";
        ASSERT_TRUE(CreateDirectoryW(dir.c_str(), nullptr));
    }
    void TearDown() override { e2e::RemoveTree(dir); }

    std::wstring dir;
};

TEST_F(PlatformFilesOnWindows, RefusesTheNamesTheHostRefuses) {
    testing::ExpectFileNamesAsOnWindows(Files(), U16(dir));
}

TEST_F(PlatformFilesOnWindows, RemovesAFolderWithItsFilesOnly) {
    testing::ExpectFolderRemovalAsOnWindows(Files(), U16(dir));
}

} // namespace
} // namespace orv
