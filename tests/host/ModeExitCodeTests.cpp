#include <gtest/gtest.h>

#include <optional>
#include <tuple>

#include "tests/host/RandomTails.h"
#include "tests/support/TestSupport.h"

using namespace testing_support;

namespace {

// Waits while pumping this thread's messages: the module's windows may send to ours.
DWORD EndOf(ModuleProcess& module, DWORD milliseconds)
{
    WaitUntil([&] { return !module.Running(); }, milliseconds);
    return module.WaitForExit(0);
}

// Only a window of this process: the previous module's saver may still be on its way out.
bool PostToModuleWindow(ModuleProcess& module, const char* className, UINT message, WPARAM wParam)
{
    HWND window = FindWindowA(className, nullptr);
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    return processId == module.Id() && PostMessageA(window, message, wParam, 0);
}

// A tail that opens no window ends with -1, but the password change, which only the Windows 9x
// family runs, ends with 0.
DWORD ExitWithoutWindow(const std::string& tail)
{
    size_t letter = tail.find_first_not_of(" -/");
    bool changesPassword = letter != std::string::npos && (tail[letter] | 0x20) == 'a';
    return changesPassword && ModuleIsWin9x() ? 0 : 0xFFFFFFFF;
}

TEST(ModeExitCodes, SwitchesThatRunNothing)
{
    for (const char* tail : {"/x", "/1", "\xb1", "/p", "/p 0", "/p 4000000000", "/p:12", "/a 5", "/a"}) {
        ModuleProcess module;
        ASSERT_TRUE(module.Start(tail));
        EXPECT_EQ(ExitWithoutWindow(tail), module.WaitForExit(10000)) << "tail: " << tail;
    }
}

// A settings dialog is cancelled (it ends with 2), a saver ended by a key press (0).
TEST(ModeExitCodes, RandomTailsEndAsTheirModeAllows)
{
    DeleteStoredSettings();
    const unsigned seed = 4711;
    std::mt19937 random(seed);
    for (int i = 0; i < 25; ++i) {
        std::string tail = RandomTail(random);
        ModuleProcess module;
        ASSERT_TRUE(module.Start(tail));
        int ended = 0;
        WaitUntil([&] {
            ended = PostToModuleWindow(module, "#32770", WM_COMMAND, IDCANCEL)                   ? 1
                    : PostToModuleWindow(module, "WindowsScreenSaverClass", WM_KEYDOWN, 'A') ? 2 : 0;
            return ended || !module.Running();
        }, 10000);
        const DWORD kExitCodes[] = {ExitWithoutWindow(tail), 2, 0};
        EXPECT_EQ(kExitCodes[ended], EndOf(module, 10000))
            << "seed " << seed << ", case " << i << ": " << testing::PrintToString(tail);
    }
}

TEST(FullScreenSaver, CoversTheVirtualScreenTopmostAndStaysTheOnlyOne)
{
    // The one entry starts a short-lived program and leaves it active, so the saver stops
    // pulling itself forward and only the second start can bring it back.
    DeleteStoredSettings();
    StoreText("Settings0Verb", "open");
    StoreText("Settings0File", BinaryDirectory() + "\\host_blackbox_tests.exe");
    StoreText("Settings0Parameters", "--gtest_list_tests");
    StoreNumber("Settings0ShowCmd", SW_HIDE);
    StoreNumber("Settings0RemainActiveWindow", 1);
    ModuleProcess first;
    ASSERT_TRUE(first.Start("/s"));
    HWND saver = WaitForSaverWindow(5000);
    ASSERT_TRUE(saver && WaitUntil([&] { return IsWindowVisible(saver); }, 5000));   // its creation is over
    RECT bounds;
    GetWindowRect(saver, &bounds);
    EXPECT_EQ(std::make_tuple(0L, 0L, 1024L, 768L), std::make_tuple(bounds.left, bounds.top, bounds.right, bounds.bottom));
    EXPECT_EQ(0x96000000, GetWindowLongA(saver, GWL_STYLE));
    EXPECT_EQ(WS_EX_TOPMOST, GetWindowLongA(saver, GWL_EXSTYLE));
    EXPECT_EQ(0, SendMessageA(saver, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("Other")));
    EXPECT_EQ(saver, FindSaverWindow());   // by its class and its unchanged title

    ASSERT_TRUE(WaitUntil([&] { return GetForegroundWindow() == saver; }, 5000));
    HWND other = CreateWindowExA(0, "STATIC", "", WS_POPUP | WS_VISIBLE, 0, 0, 50, 50, nullptr, nullptr, nullptr, nullptr);
    SetForegroundWindow(other);
    ASSERT_TRUE(WaitUntil([&] { return GetForegroundWindow() == other; }, 5000));
    ModuleProcess second;
    ASSERT_TRUE(second.Start("/s"));
    EXPECT_EQ(0u, EndOf(second, 10000));
    EXPECT_TRUE(WaitUntil([&] { return GetForegroundWindow() == saver; }, 5000));
    EXPECT_TRUE(first.Running());
    PostMessageA(saver, WM_KEYDOWN, 'A', 0);
    EXPECT_EQ(0u, EndOf(first, 10000));
    DeleteStoredSettings();
}

TEST(PreviewSaver, FillsItsParentNeverTakesTheForegroundAndEndsWithIt)
{
    HWND parent = CreateWindowExA(0, "STATIC", "", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 40, 30, 330, 250, nullptr, nullptr,
                                  nullptr, nullptr);
    SetForegroundWindow(parent);
    ModuleProcess module;
    ASSERT_TRUE(module.Start("/p " + std::to_string(reinterpret_cast<UINT_PTR>(parent))));
    HWND preview = nullptr;
    ASSERT_TRUE(WaitUntil([&] { return (preview = FindWindowExA(parent, nullptr, "WindowsScreenSaverClass", "Preview")); },
                          5000));
    RECT outer, inner;
    GetClientRect(parent, &outer);
    GetWindowRect(preview, &inner);
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&inner), 2);
    EXPECT_TRUE(EqualRect(&outer, &inner));
    PumpMessages(300);
    EXPECT_EQ(parent, GetForegroundWindow());
    DestroyWindow(parent);
    EXPECT_EQ(0u, EndOf(module, 10000));
}

// Those that must not end the saver come first and go to one saver; each ending one gets its own.
const struct { const char* name; UINT message; WPARAM wParam; LPARAM lParam; bool ends; } kInputs[] = {
    {"key up", WM_KEYUP, 'A', LPARAM(0xC0000001), false}, {"character", WM_CHAR, 'a', 1, false},
    {"left button up", WM_LBUTTONUP, 0, 0, false}, {"left double-click", WM_LBUTTONDBLCLK, MK_LBUTTON, 0, false},
    {"right double-click", WM_RBUTTONDBLCLK, MK_RBUTTON, 0, false}, {"wheel", WM_MOUSEWHEEL, 120 << 16, 0, false},
    {"extra button", WM_XBUTTONDOWN, XBUTTON1 << 16, 0, false}, {"SC_SCREENSAVE", WM_SYSCOMMAND, SC_SCREENSAVE, 0, false},
    {"resume after a failure", WM_POWERBROADCAST, PBT_APMRESUMESUSPEND, PBTF_APMRESUMEFROMFAILURE, false},
    {"AC line status as before", WM_POWERBROADCAST, PBT_APMPOWERSTATUSCHANGE, 0, false},
    {"automatic resume after a failure", WM_POWERBROADCAST, PBT_APMRESUMEAUTOMATIC, PBTF_APMRESUMEFROMFAILURE, false},
    {"WM_POWER suspend request", WM_POWER, PWR_SUSPENDREQUEST, 0, false},
    {"key press", WM_KEYDOWN, 'A', 1, true}, {"Alt key press", WM_SYSKEYDOWN, 'A', 0x20000001, true},
    {"left button", WM_LBUTTONDOWN, MK_LBUTTON, 0, true}, {"right button", WM_RBUTTONDOWN, MK_RBUTTON, 0, true},
    {"middle button", WM_MBUTTONDOWN, MK_MBUTTON, 0, true}, {"SC_MONITORPOWER", WM_SYSCOMMAND, SC_MONITORPOWER, 2, true},
    {"suspend", WM_POWERBROADCAST, PBT_APMSUSPEND, 0, true}, {"query", WM_POWERBROADCAST, PBT_APMQUERYSUSPEND, 0, true},
    {"resume", WM_POWERBROADCAST, PBT_APMRESUMESUSPEND, 0, true}, {"low battery", WM_POWERBROADCAST, 9, 0, true},
    {"critical resume", WM_POWERBROADCAST, PBT_APMRESUMECRITICAL, 0, true}, {"event 19", WM_POWERBROADCAST, 19, 1, true},
    {"WM_POWER critical resume", WM_POWER, PWR_CRITICALRESUME, 0, true},
};

TEST(FullScreenSaver, InputThatEndsItAndInputThatDoesNot)
{
    DeleteStoredSettings();
    std::optional<ModuleProcess> module;
    HWND saver = nullptr;
    for (const auto& c : kInputs) {
        if (!module || !module->Running()) {
            module.emplace();
            ASSERT_TRUE(module->Start("/s"));
            ASSERT_NE(nullptr, saver = WaitForSaverWindow(5000));
        }
        PostMessageA(saver, c.message, c.wParam, c.lParam);
        EXPECT_EQ(c.ends ? 0u : STILL_ACTIVE, EndOf(*module, c.ends ? 10000 : 300)) << c.name;
    }
}

}  // namespace
