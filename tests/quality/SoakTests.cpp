#include <gtest/gtest.h>

#include "tests/support/TestSupport.h"

using namespace testing_support;

namespace {

struct ObjectCounts {
    DWORD handles, gdi, user;
};

ObjectCounts CountObjects(HANDLE process)
{
    ObjectCounts counts = {0, GetGuiResources(process, GR_GDIOBJECTS), GetGuiResources(process, GR_USEROBJECTS)};
    GetProcessHandleCount(process, &counts.handles);
    return counts;
}

// A saver guarding the screen for a minute while another window takes the activation four
// times a second: it takes it back every time, keeps answering, and holds no more objects.
TEST(Soak, GuardingAMinuteAgainstAnActivationThief)
{
    DeleteStoredSettings();
    ModuleProcess saver;
    ASSERT_TRUE(saver.Start("/s"));
    HWND saverWindow = WaitForSaverWindow(5000);
    ASSERT_NE(nullptr, saverWindow);
    HWND thief = CreateWindowExA(0, "STATIC", "thief", WS_POPUP | WS_VISIBLE, 10, 10, 100, 100, nullptr, nullptr,
                                 nullptr, nullptr);
    PumpMessages(500);
    ObjectCounts before = CountObjects(saver.Handle());

    unsigned rounds = 0, takenBack = 0;
    for (DWORD start = GetTickCount(); GetTickCount() - start < 60000; ++rounds) {
        SetForegroundWindow(thief);
        if (WaitUntil([&] { return GetForegroundWindow() == saverWindow; }, 240))
            ++takenBack;
        PumpMessages(250 - (GetTickCount() - start) % 250);
        DWORD_PTR answer;
        ASSERT_TRUE(SendMessageTimeoutA(saverWindow, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 1000, &answer))
            << "saver stopped answering in round " << rounds;
    }
    ObjectCounts after = CountObjects(saver.Handle());
    EXPECT_EQ(rounds, takenBack);
    EXPECT_LE(after.handles, before.handles);
    EXPECT_LE(after.gdi, before.gdi);
    EXPECT_LE(after.user, before.user);
    printf("%u rounds; handles %lu -> %lu, GDI %lu -> %lu, USER %lu -> %lu\n", rounds, before.handles,
           after.handles, before.gdi, after.gdi, before.user, after.user);

    EXPECT_EQ(0u, saver.EndWithKeyPress(saverWindow));
    DestroyWindow(thief);
}

}  // namespace
