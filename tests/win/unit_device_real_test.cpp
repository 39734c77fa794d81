// The real HidDevice.dll from dist/ under a system without the keyboard: it
// opens and closes cleanly, leaves no thread behind, reports nothing and can
// be opened again.
#include "device/usb_driver.h"
#include "platform/win32/win32_hid_library.h"
#include "platform/win32/win32_platform.h"
#include "unit_device_support.h"

#include <gtest/gtest.h>

#include <tlhelp32.h>

#include <memory>

namespace orv {
namespace {

using namespace wintest;

int ThreadCount() {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return -1;
    THREADENTRY32 entry{};
    entry.dwSize = sizeof entry;
    int count = 0;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry))
        count += entry.th32OwnerProcessID == GetCurrentProcessId();
    CloseHandle(snapshot);
    return count;
}

// Waits a little for exited threads to leave the system's list.
bool ThreadCountReturnsTo(int expected) {
    return PumpUntil([&] { return ThreadCount() == expected; }, 2000);
}

void ORV_HID_CALL NoReports(std::uint32_t, const std::uint8_t*, std::uint32_t) {}

TEST(RealLibrary, OpensAndClosesCleanlyWithoutAKeyboard) {
    win32::InstallWin32Platform();
    auto library = win32::LoadHidLibrary(U16(DistDir() + L"HidDevice.dll"));
    RecordingWnd main;
    HID_DEVICE_FILTER filter{0x258A, 0x0090, 5, {}};
    for (std::uint32_t i = 0; i < 5; ++i)
        filter.Entries[i] = {i + 1, 0xFF00};

    // The system's device-notice service starts threads of its own on first
    // use, and they stay: rounds are counted after one round to warm it up.
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        const int before = ThreadCount();
        ASSERT_GT(before, 0);
        EXPECT_NE(library->SetFilter(&filter, 0), 0);
        EXPECT_NE(library->SetCallback(&NoReports, 0), 0);
        EXPECT_EQ(library->Open(main.GetSafeHwnd(), 0x502, 0), 0); // no keyboard present
        EXPECT_EQ(library->Open(main.GetSafeHwnd(), 0x502, 0), 0); // again, without a close
        EXPECT_GT(ThreadCount(), before);                          // it watches for arrivals
        std::uint8_t report[8] = {0x07, 0x80};
        EXPECT_EQ(library->Write(1, report, 8, 0), 0);
        EXPECT_EQ(library->Read(1, report, 8, 0), 0);
        PumpUntil([] { return false; }, 200);
        EXPECT_TRUE(main.received.empty());
        EXPECT_NE(library->Close(0), 0);
        if (round > 0) {
            EXPECT_TRUE(ThreadCountReturnsTo(before))
                << ThreadCount() << " threads, " << before << " before";
        }
    }
    EXPECT_NE(library->Close(0), 0); // closing a closed library is harmless
}

TEST(RealLibrary, ConnectionReportsTheKeyboardAbsent) {
    win32::InstallWin32Platform();
    auto library = win32::LoadHidLibrary(U16(DistDir() + L"HidDevice.dll"));
    InstallHidLibrary(library.get());
    {
        RecordingWnd main;
        CUSBDriver driver;
        driver.m_hNotifyWnd = main.GetSafeHwnd();
        EXPECT_FALSE(driver.OpenDevice());
        EXPECT_EQ(driver.SetKeyColor(0xFF, 1, 2), 1);
        driver.ReopenDevice();
        EXPECT_EQ(driver.m_bOpened, 0);
        PumpUntil([] { return false; }, 200);
        EXPECT_TRUE(main.received.empty());
        HidLibrary().Close(0);
    }
    InstallHidLibrary(nullptr);
}

} // namespace
} // namespace orv
