// The password lock and change: in this process against a real saver window, the verifier replaced through
// hostState.verifyPassword where timing matters; then the Windows 98 copy beside stand-in PASSWORD.CPL and MPR.DLL.
#include <gtest/gtest.h>

#include "host/HostState.h"
#include "host/PasswordLock.h"
#include "host/SaverWindow.h"
#include "tests/support/TestSupport.h"

using namespace testing_support;

namespace {

const DWORD kNone = 0xFFFFFFFF;   // no password setting; no verification yet; not recorded

struct { BOOL answer; int calls; DWORD endTick; bool closeMeanwhile; LRESULT closeResult; } fake;

BOOL WINAPI FakeVerify(HWND saver)
{
    if (++fake.calls == 1 && fake.closeMeanwhile)   // as the verifier's own dialog would dispatch it
        fake.closeResult = SendMessageA(saver, WM_CLOSE, 0, 0);
    Sleep(20);   // the end of a verification lies after its start
    fake.endTick = GetTickCount();
    return fake.answer;
}

// The platform's password switch; the stand-ins' records start empty.
void SetUsePassword(DWORD value)
{
    SHDeleteKeyA(HKEY_CURRENT_USER, kTestBedKey);
    if (value == kNone)
        SHDeleteValueA(HKEY_CURRENT_USER, "Control Panel\\Desktop", "ScreenSaveUsePassword");
    else
        SHSetValueA(HKEY_CURRENT_USER, "Control Panel\\Desktop", "ScreenSaveUsePassword", REG_DWORD, &value, 4);
}

struct Password : ::testing::Test {
    void SetUp() override
    {
        StartHostState();
        hostState.instance = GetModuleHandleA(nullptr);
        hostState.isWin9x = 1;
    }
};

// sinceLast: ms from the last verification's end, modulo 2^32.
const struct { const char* name; bool password, closeMeanwhile, asked; DWORD sinceLast, answer, result; }
kVerifyCases[] = {
    {"no password in force", false, false, false, kNone, 0, 1},
    {"199 ms after a refusal", true, false, false, 199, 1, 0},
    {"200 ms after a refusal", true, false, true, 200, 0, 0},
    {"last tick numerically above now (wrapped)", true, false, true, 0xFFFFFF9C, 1, 1},
    {"answer 7 is kept as it is", true, false, true, 1000, 7, 7},
    {"close while the verifier runs, first verification", true, true, true, kNone, 1, 1},
};

TEST_F(Password, VerifierIsAskedAtMostOncePer200Ms)
{
    bool anotherSaverRuns;
    HWND saver = CreateSaverWindow(nullptr, &anotherSaverRuns);
    ASSERT_NE(nullptr, saver);
    for (const auto& c : kVerifyCases) {
        DWORD before = 0, last = 0, result = 0;
        for (int attempt = 0; attempt < 5; ++attempt) {   // again when the tick moved meanwhile
            hostState.closing = 0;
            hostState.verifyPassword = c.password ? FakeVerify : nullptr;
            fake = {BOOL(c.answer), 0, 0, c.closeMeanwhile, -1};
            before = GetTickCount();
            last = hostState.lastVerifyTick = c.sinceLast == kNone ? kNone : before - c.sinceLast;
            result = VerifySaverPassword(saver);
            if (c.asked || GetTickCount() == before)
                break;
        }
        EXPECT_TRUE(result == c.result && hostState.closing == c.result) << c.name << ": " << result;
        EXPECT_EQ(c.asked ? 1 : 0, fake.calls) << c.name;
        DWORD sinceEnd = hostState.lastVerifyTick - (c.asked ? fake.endTick : last);
        EXPECT_LT(sinceEnd, c.asked ? 1000u : 1u) << c.name << ": tick of the verification's end";
        EXPECT_TRUE(fake.closeResult == (c.closeMeanwhile ? 0 : -1) && IsWindow(saver) && !hostState.inVerify)
            << c.name;
    }
    // A refused close measures the mouse afresh from where the cursor is.
    hostState.closing = 0;
    hostState.cursorOrigin = {-5000, -5000};
    EXPECT_EQ(0, SendMessageA(saver, WM_CLOSE, 0, 0));
    POINT cursor;
    GetCursorPos(&cursor);
    EXPECT_TRUE(IsWindow(saver) && cursor.x == hostState.cursorOrigin.x && cursor.y == hostState.cursorOrigin.y);
}

// bareModuleFirst: a PASSWORD.CPL without VerifyScreenSavePwd is already loaded.
const struct { const char* name; BOOL win9x; DWORD usePassword; bool bareModuleFirst; } kLoadCases[] = {
    {"password switched on", 1, 1, false},
    {"password switched off", 1, 0, false},
    {"NT family", 0, 1, false},
    {"module without the entry point", 1, 1, true},
};

TEST_F(Password, VerifierLoadsOnlyWithThePasswordAndTellsTheSystem)
{
    for (const auto& c : kLoadCases) {
        SetUsePassword(c.usePassword);
        hostState.isWin9x = c.win9x;
        HMODULE bare = c.bareModuleFirst ? LoadLibraryA((BinaryDirectory() + "\\bare\\PASSWORD.CPL").c_str()) : nullptr;
        LoadPasswordVerifier();
        LoadPasswordVerifier();   // a second load replaces the first
        bool verifier = c.win9x && c.usePassword == 1 && !c.bareModuleFirst;
        EXPECT_EQ(verifier, hostState.verifyPassword && hostState.passwordModule && SaverRunning()) << c.name;
        UnloadPasswordVerifier();
        EXPECT_FALSE(SaverRunning()) << c.name;
        EXPECT_TRUE(c.bareModuleFirst == (bare != nullptr) && (!bare || FreeLibrary(bare))) << c.name;
        EXPECT_EQ(nullptr, GetModuleHandleA("PASSWORD.CPL")) << c.name << ": loaded more often than freed";
    }
}

// The password change asks MPR.DLL for the window given after /a, or for the foreground window
// when that number names none. A fault in the verifier ends the saver with -1, and the system
// has been told that no saver runs.
TEST_F(Password, ModuleRuns)
{
    HWND given = GetDesktopWindow();   // live, and never the foreground window
    HWND front = MakeWindow();
    const struct { std::string tail; DWORD exitCode, changeParent; } kRuns[] = {
        {"/s", 0xFFFFFFFF, kNone},
        {"/a " + std::to_string(HandleToULong(given)), 0, HandleToULong(given)},
        {"/a 4000000000", 0, HandleToULong(front)},
    };
    for (const auto& c : kRuns) {
        SetForegroundWindow(front);
        ASSERT_TRUE(WaitUntil([&] { return GetForegroundWindow() == front; }, 5000)) << c.tail;
        SetUsePassword(c.tail == "/s" ? 1 : kNone);
        Put("Answer", kFaultAnswer);
        ModuleProcess module;
        ASSERT_TRUE(module.Start(c.tail, BinaryDirectory() + "\\Ferrowind98.scr"));
        HWND saver = c.tail == "/s" ? WaitForSaverWindow() : nullptr;
        if (c.tail == "/s")   // a key press asks the faulting verifier
            ASSERT_TRUE(saver && PostMessageA(saver, WM_KEYDOWN, VK_SPACE, 0));
        EXPECT_EQ(c.exitCode, module.WaitForExit(10000)) << c.tail;
        EXPECT_EQ(c.changeParent, Get("ChangeParent", kNone)) << c.tail;
        if (saver)
            EXPECT_TRUE(Get("Calls") == 1 && Get("Window") == HandleToULong(saver) && Get("RunningAtCall") == TRUE &&
                        Get("RunningAtDetach", kNone) == 0);
    }
}

// The system's verifier shows a modal dialog owned by the saver window, and its loop still
// brings the saver's ticks. Keys typed there must all reach it, and nothing may be launched
// while it is up: whether the key press came before the first tick or while the launcher
// guards. The password typed is right, so the saver then ends, and tells the system so.
TEST_F(Password, TheVerifierDialogKeepsTheKeyboardAndNothingStartsMeanwhile)
{
    for (bool beforeFirstTick : {true, false}) {
        SCOPED_TRACE(beforeFirstTick ? "key press before the first tick" : "key press while guarding");
        ResetBed();
        SetUsePassword(1);
        Put("Answer", kDialogAnswer);
        StoreLaunch(0, "pw", "", 0, 0);
        ModuleProcess module;
        HWND saver = module.StartSaver(BinaryDirectory() + "\\Ferrowind98.scr");
        ASSERT_NE(nullptr, saver);
        // Held while the key is queued: a queued key comes before the timer's first tick.
        HANDLE thread = OpenThread(THREAD_SUSPEND_RESUME, FALSE, GetWindowThreadProcessId(saver, nullptr));
        if (beforeFirstTick)
            SuspendThread(thread);
        else
            ASSERT_TRUE(WaitUntil([] { return ProbeStarts().count("pw"); }, 10000));
        PostMessageA(saver, WM_KEYDOWN, VK_SPACE, 0);
        ResumeThread(thread);
        CloseHandle(thread);
        HWND dialog = nullptr;
        ASSERT_TRUE(WaitUntil([&] { return IsWindowVisible(dialog = FindWindowA("#32770", "Password")) != FALSE; },
                              10000));
        for (const char* key = "SECRET"; *key; ++key) {   // slower than the ticks
            keybd_event(*key, 0, 0, 0), keybd_event(*key, 0, KEYEVENTF_KEYUP, 0);
            PumpMessages(150);
        }
        char typed[32] = "";
        SendDlgItemMessageA(dialog, 100, WM_GETTEXT, sizeof typed, reinterpret_cast<LPARAM>(typed));
        EXPECT_STREQ(kTypedPassword, typed);
        EXPECT_EQ(dialog, GetForegroundWindow());
        keybd_event(VK_RETURN, 0, 0, 0), keybd_event(VK_RETURN, 0, KEYEVENTF_KEYUP, 0);
        EXPECT_EQ(0u, module.WaitForExit(10000));
        // Nothing can start once the saver has ended: its launches, and their logs, are all in.
        ASSERT_TRUE(WaitUntil([] { return !ProbeRuns(); }, 10000));
        EXPECT_EQ(beforeFirstTick ? 0u : 1u, ProbeStarts()["pw"].size()) << "launched while the verifier's dialog was up";
    }
    // Read once, after the saver has ended: under Wine a process keeps the value it read first.
    EXPECT_FALSE(SaverRunning()) << "the saver ended and left the system told that it runs";
}

}  // namespace
