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

bool PostToModuleWindow(ModuleProcess& module, const char* className, UINT message, WPARAM wParam)
{
    HWND window = FindWindowA(className, nullptr);
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    return window && processId == module.Id() && PostMessageA(window, message, wParam, 0);
}

struct ExitCase {
    const char* tail;
    DWORD onNt, onWin9x;
};

// Switches that end at once, without a window to close; the password change runs only on
// the Windows 9x family.
const ExitCase kImmediateExits[] = {
    {"/x", 0xFFFFFFFF, 0xFFFFFFFF},
    {"/1", 0xFFFFFFFF, 0xFFFFFFFF},
    {"\xb1", 0xFFFFFFFF, 0xFFFFFFFF},
    {"/p", 0xFFFFFFFF, 0xFFFFFFFF},
    {"/p 0", 0xFFFFFFFF, 0xFFFFFFFF},
    {"/p 4000000000", 0xFFFFFFFF, 0xFFFFFFFF},
    {"/p:12", 0xFFFFFFFF, 0xFFFFFFFF},
    {"/a 5", 0xFFFFFFFF, 0},
    {"/a", 0xFFFFFFFF, 0},
};

TEST(ModeExitCodes, SwitchesThatRunNothing)
{
    for (const ExitCase& c : kImmediateExits) {
        ModuleProcess module;
        ASSERT_TRUE(module.Start(c.tail));
        EXPECT_EQ(ModuleIsWin9x() ? c.onWin9x : c.onNt, module.WaitForExit(10000)) << "tail: " << c.tail;
    }
}

// A settings dialog is cancelled (it ends with 2), a saver ended by a key press (0); a tail
// that runs neither ends with -1.
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
            ended = PostToModuleWindow(module, "#32770", WM_COMMAND, IDCANCEL)                  ? 1
                    : PostToModuleWindow(module, "WindowsScreenSaverClass", WM_KEYDOWN, 'A') ? 2 : 0;
            return ended || !module.Running();
        }, 10000);
        size_t letter = tail.find_first_not_of(" -/");
        bool changesPassword = ModuleIsWin9x() && letter != std::string::npos && (tail[letter] | 0x20) == 'a';
        const DWORD kExitCodes[] = {changesPassword ? 0u : 0xFFFFFFFF, 2, 0};
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
    char title[64];
    EXPECT_EQ(0, SendMessageA(saver, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("Other")));
    GetWindowTextA(saver, title, sizeof title);
    EXPECT_STREQ("Screen Saver", title);

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
    GetClientRect(preview, &inner);
    POINT corner = {0, 0};
    MapWindowPoints(preview, parent, &corner, 1);
    EXPECT_EQ(std::make_tuple(outer.right, outer.bottom, 0L, 0L),
              std::make_tuple(inner.right, inner.bottom, corner.x, corner.y));
    PumpMessages(300);
    EXPECT_EQ(parent, GetForegroundWindow());
    DestroyWindow(parent);
    EXPECT_EQ(0u, EndOf(module, 10000));
}

struct InputCase { const char* name; UINT message; WPARAM wParam; LPARAM lParam; bool ends; };

// Those that must not end the saver come first and go to one saver; each ending one gets its own.
const InputCase kInputs[] = {
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
    for (const InputCase& c : kInputs) {
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
