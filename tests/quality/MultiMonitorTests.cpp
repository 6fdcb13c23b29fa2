#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "tests/support/TestSupport.h"

using namespace testing_support;

namespace {

struct Monitors {
    RECT bounds;
    int count;
};

BOOL CALLBACK AddMonitor(HMONITOR, HDC, LPRECT bounds, LPARAM data)
{
    Monitors* all = reinterpret_cast<Monitors*>(data);
    UnionRect(&all->bounds, &all->bounds, bounds);
    ++all->count;
    return TRUE;
}

// The full-screen window spans every monitor, also those left of the primary one.
TEST(MultiMonitor, SaverWindowCoversTheVirtualScreen)
{
    const char* layout = std::getenv("FERROWIND_BED_LAYOUT");
    const bool dualHead = layout && std::strcmp(layout, "dualhead") == 0;
    Monitors monitors = {};
    EnumDisplayMonitors(nullptr, nullptr, AddMonitor, reinterpret_cast<LPARAM>(&monitors));
    EXPECT_EQ(dualHead ? 2 : 1, monitors.count);
    const int x = GetSystemMetrics(SM_XVIRTUALSCREEN), y = GetSystemMetrics(SM_YVIRTUALSCREEN);
    if (dualHead)
        EXPECT_LT(x, 0);
    const RECT virtualScreen = {x, y, x + GetSystemMetrics(SM_CXVIRTUALSCREEN),
                                y + GetSystemMetrics(SM_CYVIRTUALSCREEN)};
    EXPECT_TRUE(EqualRect(&virtualScreen, &monitors.bounds));

    ModuleProcess module;
    ASSERT_TRUE(module.Start("/s"));
    HWND saver = WaitForSaverWindow(5000);
    ASSERT_NE(nullptr, saver);
    RECT window = {};
    GetWindowRect(saver, &window);
    EXPECT_TRUE(EqualRect(&virtualScreen, &window))
        << window.left << "," << window.top << " " << window.right << "," << window.bottom;
    EXPECT_EQ(0u, module.EndWithKeyPress(saver));
}

}  // namespace
