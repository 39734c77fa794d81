// Start-up and single instance of the service on the in-memory platform.
#include "app/hid_app.h"
#include "app/hid_wnd.h"
#include "storage/paths.h"
#include "base/wstr.h"
#include "messaging/messages.h"
#include "platform/host/host_platform.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace orv {
namespace {

class StartupTest : public ::testing::Test {
protected:
    bool DataFolderExists() { return host.files.get()->IsDirectory(DataDir()); }
    std::u16string DataDir() { return host.shell.appData + u"\\Orvane\\"; }
    WndHandle MainWindow() { return host.windows.FindTopLevel(nullptr, kMainWindowTitle); }

    host::HostPlatform host;
};

TEST_F(StartupTest, FirstStartCreatesDataFolderAndHiddenMainWindow) {
    CHidApp app;
    ASSERT_TRUE(app.InitInstance());

    EXPECT_TRUE(DataFolderExists());
    EXPECT_EQ(std::u16string(g_szExeDir), u"C:\\Program Files\\Orvane\\");
    EXPECT_EQ(std::u16string(g_szDataDir), DataDir());
    WndHandle wnd = MainWindow();
    ASSERT_NE(wnd, kNoWindow);
    EXPECT_EQ(wnd, app.MainWindow()->GetSafeHwnd());
    EXPECT_TRUE(host.kernel.MutexExists(kInstanceMutexName));
    EXPECT_EQ(app.ExitInstance(), 0);
}

TEST_F(StartupTest, SecondInstanceEndsAtOnceAndCreatesNothing) {
    host.kernel.HoldElsewhere(kInstanceMutexName);
    CHidApp app;

    EXPECT_EQ(app.Run(), 0);

    EXPECT_FALSE(DataFolderExists());
    EXPECT_EQ(host.windows.WindowCount(), 0u);
    EXPECT_EQ(host.kernel.OpenHandles(), 0u);
    EXPECT_TRUE(host.kernel.MutexExists(kInstanceMutexName)); // the first keeps it
}

// Without the mutex nothing keeps a second instance out: start-up ends as
// for one, and says why.
TEST_F(StartupTest, MutexThatCannotBeCreatedEndsStartUp) {
    host.kernel.failMutexCreation = true;
    CHidApp app;

    EXPECT_EQ(app.Run(), 0);

    EXPECT_FALSE(DataFolderExists());
    EXPECT_EQ(host.windows.WindowCount(), 0u);
    EXPECT_EQ(host.debug.lines, std::vector<std::u16string>{u"instance mutex not created\n"});
}

TEST_F(StartupTest, ClosingTheMainWindowEndsTheLoopAndReleasesTheMutex) {
    {
        CHidApp app;
        ASSERT_TRUE(app.InitInstance());
        host.windows.PostMsg(MainWindow(), WM_CLOSE, 0, 0);
        EXPECT_EQ(host.windows.RunLoop(), 0);
        EXPECT_TRUE(host.windows.QuitRequested());
        EXPECT_EQ(MainWindow(), kNoWindow);
        EXPECT_EQ(app.ExitInstance(), 0);
    }
    EXPECT_FALSE(host.kernel.MutexExists(kInstanceMutexName));

    CHidApp again;
    EXPECT_TRUE(again.InitInstance());
    again.ExitInstance();
}

TEST_F(StartupTest, DestroyingMainWindowTellsTheOnScreenDisplayToClose) {
    host::StandInWindow osd(host.windows, kOsdWindowTitle, kOsdWindowClass);
    CHidApp app;
    ASSERT_TRUE(app.InitInstance());
    host.windows.DestroyWnd(MainWindow());
    host.RunUntilIdle();
    EXPECT_EQ(osd.Received(WM_DESTROY).size(), 1u);
    app.ExitInstance();
}

// Start-up ends cleanly, releasing the mutex and creating nothing, when the
// folders the service needs cannot be named.
TEST_F(StartupTest, UnusableFoldersEndStartUp) {
    struct Case {
        const char* name;
        std::u16string appData;
        std::u16string modulePath;
    };
    const std::u16string longName(250, u'x');
    const Case cases[] = {
        {"no application-data folder", u"", u"C:\\Orvane\\OrvaneHid.exe"},
        {"data folder path over 259 units", u"C:\\" + longName, u"C:\\Orvane\\OrvaneHid.exe"},
        {"executable path over 259 units", u"C:\\Users\\a",
         u"C:\\" + longName + u"\\OrvaneHid.exe"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        host::HostPlatform fresh;
        fresh.shell.appData = c.appData;
        fresh.kernel.modulePath = c.modulePath;
        CHidApp app;
        EXPECT_EQ(app.Run(), 1);
        EXPECT_EQ(fresh.windows.WindowCount(), 0u);
        EXPECT_FALSE(fresh.kernel.MutexExists(kInstanceMutexName));
        EXPECT_FALSE(fresh.files->Exists(c.appData + u"\\Orvane"));
    }
}

TEST_F(StartupTest, LongestFittingDataFolderIsAccepted) {
    // 259 units with the suffix: exactly what the fixed buffers hold.
    host.shell.appData = u"C:\\" + std::u16string(259 - 3 - 8, u'd');
    CHidApp app;
    ASSERT_TRUE(app.InitInstance());
    EXPECT_EQ(BoundedLength(g_szDataDir, kPathCapacity), 259u);
    EXPECT_EQ(g_szDataDir[258], u'\\');
    app.ExitInstance();
}

TEST_F(StartupTest, DataFolderThatCannotBeCreatedStillStarts) {
    host.files->failWrites = true;
    CHidApp app;
    ASSERT_TRUE(app.InitInstance());
    EXPECT_FALSE(DataFolderExists());
    EXPECT_EQ(std::u16string(g_szDataDir), DataDir());
    EXPECT_NE(MainWindow(), kNoWindow);
    app.ExitInstance();
}

TEST_F(StartupTest, EnsureDataFolderCreatesEveryLevel) {
    std::u16string path = EnsureDataFolder(u"\\Orvane\\Profiles\\");
    EXPECT_EQ(path, host.shell.appData + u"\\Orvane\\Profiles\\");
    EXPECT_TRUE(host.files->IsDirectory(host.shell.appData + u"\\Orvane\\Profiles"));
    EXPECT_TRUE(host.debug.lines.empty());
}

} // namespace
} // namespace orv
