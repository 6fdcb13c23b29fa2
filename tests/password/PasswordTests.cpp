// The password lock and change: in-process against a real saver window, the verifier
// replaced through hostState.verifyPassword where exact timing matters; and black-box
// runs of the module under the name Wine runs as the Windows 9x family, beside the
// stand-in PASSWORD.CPL and MPR.DLL.
#include <gtest/gtest.h>

#include <string>

#include "host/HostState.h"
#include "host/PasswordLock.h"
#include "host/SaverWindow.h"
#include "tests/password/TestBed.h"
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
        SetUsePassword(kNone);
        DeleteStoredSettings();
        hostState = HostState();
        hostState.instance = GetModuleHandleA(nullptr);
        hostState.isWin9x = 1;
    }
    void TearDown() override { SetUsePassword(kNone); }
};

const struct {
    const char* name;
    bool password, closeMeanwhile, asked;
    DWORD sinceLast, answer, result;   // sinceLast: ms from the last verification's end, modulo 2^32
} kVerifyCases[] = {
    {"no password in force", false, false, false, kNone, 0, 1},
    {"first verification", true, false, true, kNone, 0, 0},
    {"199 ms after a refusal", true, false, false, 199, 1, 0},
    {"200 ms after a refusal", true, false, true, 200, 0, 0},
    {"last tick numerically above now (wrapped)", true, false, true, 0xFFFFFF9C, 1, 1},
    {"answer 7 is kept as it is", true, false, true, 1000, 7, 7},
    {"close while the verifier runs", true, true, true, kNone, 1, 1},
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
            SetCursor(LoadCursorA(nullptr, IDC_ARROW));
            before = GetTickCount();
            last = hostState.lastVerifyTick = c.sinceLast == kNone ? kNone : before - c.sinceLast;
            result = VerifySaverPassword(saver);
            if (c.asked || GetTickCount() == before)
                break;
        }
        EXPECT_TRUE(result == c.result && hostState.closing == c.result) << c.name << ": " << result;
        EXPECT_EQ(c.asked ? 1 : 0, fake.calls) << c.name;
        EXPECT_EQ(c.asked && !c.answer, GetCursor() == nullptr) << c.name << ": cursor hidden";
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

const struct {
    const char* name;
    BOOL win9x;
    DWORD usePassword;
    bool bareModuleFirst;   // a PASSWORD.CPL without VerifyScreenSavePwd is already loaded
    int loads;
} kLoadCases[] = {
    {"password switched on", 1, 1, false, 1},          {"loaded a second time", 1, 1, false, 2},
    {"password switched off", 1, 0, false, 1},         {"no password setting", 1, kNone, false, 1},
    {"NT family", 0, 1, false, 1},                     {"module without the entry point", 1, 1, true, 1},
};

TEST_F(Password, VerifierLoadsOnlyWithThePasswordAndTellsTheSystem)
{
    for (const auto& c : kLoadCases) {
        SetUsePassword(c.usePassword);
        hostState.isWin9x = c.win9x;
        HMODULE bare = c.bareModuleFirst ? LoadLibraryA((BinaryDirectory() + "\\bare\\PASSWORD.CPL").c_str()) : nullptr;
        for (int i = 0; i < c.loads; ++i)
            LoadPasswordVerifier();
        bool verifier = c.win9x && c.usePassword == 1 && !c.bareModuleFirst;
        EXPECT_EQ(verifier, hostState.verifyPassword && hostState.passwordModule && SaverRunning()) << c.name;
        UnloadPasswordVerifier();
        EXPECT_FALSE(SaverRunning()) << c.name;
        EXPECT_TRUE(c.bareModuleFirst == (bare != nullptr) && (!bare || FreeLibrary(bare))) << c.name;
        EXPECT_EQ(nullptr, GetModuleHandleA("PASSWORD.CPL")) << c.name << ": loaded more often than freed";
    }
}

enum ChangeParent { kNoChange, kGiven, kForeground };

const struct {
    const char* name;
    const char* tail;   // "#": a live window's number
    bool win9x;
    DWORD usePassword, answer, calls, exitCode;   // STILL_ACTIVE: the saver stays
    ChangeParent changeParent;
    int autoPlay;   // the answer expected to the AutoPlay query sent to the saver; -1: post WM_CLOSE
} kRuns[] = {
    {"verifier refuses", "/s", true, 1, 0, 1, STILL_ACTIVE, kNoChange, -1},
    {"verifier answers 7", "/s", true, 1, 7, 1, 0, kNoChange, -1},
    {"verifier faults", "/s", true, 1, kFaultAnswer, 1, 0xFFFFFFFF, kNoChange, -1},
    {"no password setting", "/s", true, kNone, 0, 0, 0, kNoChange, -1},
    {"NT family has no password lock", "/s", false, 1, 0, 0, 0, kNoChange, -1},
    {"AutoPlay under a password", "/s", true, 1, 0, 1, STILL_ACTIVE, kNoChange, 1},
    {"AutoPlay without a password", "/s", true, kNone, 0, 0, 0, kNoChange, 0},
    {"change for a live window", "/a #", true, kNone, 0, 0, 0, kGiven, -1},
    {"change, number right after", "-A#", true, kNone, 0, 0, 0, kGiven, -1},
    {"change for a stale number", "/a 4000000000", true, kNone, 0, 0, 0, kForeground, -1},
    {"change for window 0", "/a 0", true, kNone, 0, 0, 0, kForeground, -1},
    {"change without a number", "/a", true, kNone, 0, 0, 0, kForeground, -1},
    {"NT family has no password change", "/a #", false, kNone, 0, 0, 0xFFFFFFFF, kNoChange, -1},
};

TEST_F(Password, ModuleRuns)
{
    HWND given = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 9, 9, nullptr, nullptr, nullptr, nullptr);
    HWND front = CreateWindowExA(0, "STATIC", "", WS_POPUP | WS_VISIBLE, 0, 0, 9, 9, nullptr, nullptr, nullptr,
                                 nullptr);
    for (const auto& c : kRuns) {
        SetForegroundWindow(front);
        ASSERT_TRUE(WaitUntil([&] { return GetForegroundWindow() == front; }, 5000)) << c.name;
        SetUsePassword(c.usePassword);
        Put("Answer", c.answer);
        std::string tail = c.tail, givenNumber = std::to_string(HandleToULong(given));
        if (tail.back() == '#')
            tail.replace(tail.size() - 1, 1, givenNumber);
        ModuleProcess module;
        ASSERT_TRUE(module.Start(tail, c.win9x ? BinaryDirectory() + "\\Ferrowind98.scr" : ModulePath())) << c.name;
        HWND window = tail == "/s" ? WaitForSaverWindow(10000) : nullptr;
        ASSERT_TRUE(window || tail != "/s") << c.name;
        if (window && c.autoPlay < 0)
            PostMessageA(window, WM_CLOSE, 0, 0);
        else if (window)
            EXPECT_EQ(c.autoPlay, SendMessageA(window, RegisterWindowMessageA("QueryCancelAutoPlay"), 0, 0)) << c.name;
        WaitUntil([&] { return Get("Calls") >= c.calls; }, 10000);
        EXPECT_EQ(c.exitCode, module.WaitForExit(c.exitCode == STILL_ACTIVE ? 500 : 10000)) << c.name;
        EXPECT_EQ(c.calls, Get("Calls")) << c.name;
        if (c.calls)
            EXPECT_TRUE(Get("Window") == HandleToULong(window) && Get("RunningAtCall") == TRUE) << c.name;
        if (c.answer == kFaultAnswer)
            EXPECT_EQ(0u, Get("RunningAtDetach", kNone)) << c.name << ": the system still thinks a saver runs";
        char call[64] = "";
        DWORD size = sizeof call;
        SHGetValueA(HKEY_CURRENT_USER, kTestBedKey, "ChangeCall", nullptr, call, &size);
        std::string parent = c.changeParent == kGiven ? givenNumber : std::to_string(HandleToULong(front));
        EXPECT_EQ(c.changeParent == kNoChange ? "" : "SCRSAVE " + parent + " 0 0", std::string(call)) << c.name;
    }
}

}  // namespace
