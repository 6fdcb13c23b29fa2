#include <gtest/gtest.h>

#include <algorithm>

#include "tests/support/TestSupport.h"

using namespace testing_support;

namespace {

// The example settings file of the documentation, imported with regedit, makes the saver
// start both of its programs.
TEST(ExampleSettings, ImportedWithRegeditLaunchesBothPrograms)
{
    DeleteStoredSettings();
    std::string file = "Z:" FERROWIND_SOURCE_DIR "/docs/ferrowind-example.reg";
    std::replace(file.begin(), file.end(), '/', '\\');
    ModuleProcess regedit;
    ASSERT_TRUE(regedit.Start("/S \"" + file + "\"", "C:\\windows\\regedit.exe"));
    ASSERT_EQ(0u, regedit.WaitForExit(20000));

    ModuleProcess saver;
    ASSERT_TRUE(saver.Start("/s"));
    HWND notepad = nullptr, wordpad = nullptr;
    EXPECT_TRUE(WaitUntil([&] {
        notepad = FindWindowA("Notepad", nullptr);
        wordpad = FindWindowA("WORDPADTOP", nullptr);
        return notepad && wordpad;
    }, 20000)) << "notepad " << notepad << ", wordpad " << wordpad;
    EXPECT_EQ(0u, saver.EndWithKeyPress(WaitForSaverWindow(1000)));
    for (HWND program : {notepad, wordpad})
        PostMessageA(program, WM_CLOSE, 0, 0);
    DeleteStoredSettings();
}

}  // namespace
