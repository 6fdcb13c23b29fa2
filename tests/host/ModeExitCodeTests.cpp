#include <gtest/gtest.h>

#include "tests/support/TestSupport.h"

using namespace testing_support;

namespace {

struct ExitCase {
    const char* tail;
    DWORD exitCode;
};

// Switches that end at once, without a window to close.
const ExitCase kImmediateExits[] = {
    {"/x", 0xFFFFFFFF},
    {"/1", 0xFFFFFFFF},
    {"\xb1", 0xFFFFFFFF},
    {"/p", 0xFFFFFFFF},
    {"/p 0", 0xFFFFFFFF},
    {"/p 4000000000", 0xFFFFFFFF},
    {"/p:12", 0xFFFFFFFF},
    {"/a 5", 0xFFFFFFFF},
    {"/a", 0xFFFFFFFF},
};

TEST(ModeExitCodes, SwitchesThatRunNothing)
{
    for (const ExitCase& c : kImmediateExits) {
        ModuleProcess module;
        ASSERT_TRUE(module.Start(c.tail));
        EXPECT_EQ(c.exitCode, module.WaitForExit(10000)) << "tail: " << c.tail;
    }
}

TEST(ModeExitCodes, FullScreenEndsWithZeroAfterAKeyPress)
{
    ModuleProcess module;
    ASSERT_TRUE(module.Start("/s"));
    HWND saver = WaitForSaverWindow(5000);
    ASSERT_NE(nullptr, saver);
    PostMessageA(saver, WM_KEYDOWN, 'A', 0);
    EXPECT_EQ(0u, module.WaitForExit(5000));
}

}  // namespace
