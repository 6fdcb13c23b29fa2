// The host in this process: the command line's pure rules, then a real saver window made by
// CreateSaverWindow without its loop, so that each message's result and any WM_CLOSE it posts
// can be read at once.
#include <gtest/gtest.h>

#include <climits>
#include <vector>

#include "host/HostState.h"
#include "host/MessagePolicy.h"
#include "host/SaverWindow.h"
#include "host/Startup.h"

namespace {

TEST(CommandLine, TheTailFollowsTheProgramNameAndItsBlanks)
{
    const char* const kCases[][2] = {
        {"saver.scr /s", "/s"}, {"saver.scr \t\x01 /p\t5", "/p\t5"}, {"\"C:\\Program Files\\F.scr\"/p 12", "/p 12"},
        {"\"C:\\unterminated /s", ""}, {"\"\" /s", "/s"}, {"saver.scr", ""},
        {"\"C:\\\x83t\x83@\\.scr\" /s", "/s"},
        {"\"a\x82\" /s\" /p 5", "/p 5"},   // 0x82 0x22 is one character: its second byte closes nothing
        {"saver\x82 /s", ""},                // nor does 0x82 0x20 end the program name
        {"\"saver.scr\x82", ""},             // a lead byte at the very end
    };
    for (const auto& c : kCases)
        EXPECT_STREQ(c[1], FindCommandTail(c[0])) << c[0];
}

TEST(CommandLine, TheFirstSwitchLetterChoosesTheModeAndItsWindowNumber)
{
    const struct { SaverMode mode; UINT_PTR window; std::vector<const char*> tails; } kCases[] = {
        {SaverMode::SettingsUnowned, 0, {"", "   -//-  "}},
        {SaverMode::FullScreen, 0, {"/s", "/S", "-s", "s", " /s", "//s", "- /s", "/sx"}},
        {SaverMode::Preview, 77, {"/p 77", "/p77", "/l   77", "/P 77", "/p 4294967373", "/p77abc"}},
        {SaverMode::Preview, 0, {"/p:77", "/p", "/p\t77", "/p 4294967296", "/p \xb1" "1"}},
        {SaverMode::Preview, 1661992959, {"/p 99999999999999999999"}},   // 10^20 - 1 modulo 2^32
        {SaverMode::Preview, UINT_PTR(INT_PTR(-294967296)), {"/p 4000000000"}},   // a handle: sign-extended
        {SaverMode::Settings, 77, {"/c:77", "/C:77"}},
        {SaverMode::Settings, 0, {"/c 77", "/c77", "/c: 77", "/c"}},
        {SaverMode::ChangePassword, 77, {"/a 77", "/A77"}},
        {SaverMode::Invalid, 0, {"/x", "/1", "\t/s", "\x82\xa0", "/\x83s"}},
    };
    for (const auto& c : kCases)
        for (const char* tail : c.tails) {
            ModeRequest request = ReadModeRequest(tail);
            EXPECT_EQ(static_cast<int>(c.mode), static_cast<int>(request.mode)) << tail;
            EXPECT_EQ(c.window, reinterpret_cast<UINT_PTR>(request.window)) << tail;
        }
}

// Only the password change differs by family; this process is of the NT family.
TEST(CommandLine, SwitchesThatRunNothingEndWithMinusOne)
{
    for (const char* tail : {"/x", "/1", "\xb1", "/p", "/p 0", "/p 4000000000", "/p:12", "/a 5"})
        EXPECT_EQ(-1, SaverMain(GetModuleHandleA(nullptr), tail)) << tail;
}

HWND MakeSaver(HWND parent)
{
    StartHostState();
    hostState.instance = GetModuleHandleA(nullptr);
    bool anotherSaverRuns;
    return CreateSaverWindow(parent, &anotherSaverRuns);
}

bool TakeClose(HWND saver)
{
    MSG message;
    return PeekMessageA(&message, saver, WM_CLOSE, WM_CLOSE, PM_REMOVE) != 0;
}

BOOL WINAPI AcceptPassword(HWND) { return 7; }
BOOL WINAPI RefusePassword(HWND) { return 0; }

const UINT kAutoPlay = 0xC321;     // stands for the registered "QueryCancelAutoPlay"
const LRESULT kDefault = 0x7E57;   // DefWindowProcA's answer for the same values
enum : unsigned { Win9x = 1, Closing = 2, InVerify = 4, Accepts = 8, Refuses = 16, AutoPlay = 32, AcChanged = 64,
                  Direct = 128, Preview = 256, Forwarded = 512, AcAsBefore = 1024 };

const struct { const char* name; unsigned state; UINT message; WPARAM wParam; LPARAM lParam; LRESULT result;
               bool closes; } kMessages[] = {
    {"key press", 0, WM_KEYDOWN, 'A', 1, kDefault, true},
    {"Alt key press", 0, WM_SYSKEYDOWN, 'A', 0x20000001, kDefault, true},
    {"left button", 0, WM_LBUTTONDOWN, MK_LBUTTON, 0, kDefault, true},
    {"right button", 0, WM_RBUTTONDOWN, MK_RBUTTON, 0, kDefault, true},
    {"middle button", 0, WM_MBUTTONDOWN, MK_MBUTTON, 0, kDefault, true},
    {"key up", 0, WM_KEYUP, 'A', LPARAM(0xC0000001), kDefault, false},
    {"double-click", 0, WM_LBUTTONDBLCLK, MK_LBUTTON, 0, kDefault, false},
    {"extra button", 0, WM_XBUTTONDOWN, XBUTTON1 << 16, 0, kDefault, false},
    {"SC_SCREENSAVE", 0, WM_SYSCOMMAND, SC_SCREENSAVE, 0, 0, false},
    {"SC_NEXTWINDOW", 0, WM_SYSCOMMAND, SC_NEXTWINDOW, 0, 0, false},
    {"SC_MONITORPOWER", 0, WM_SYSCOMMAND, SC_MONITORPOWER, 2, kDefault, true},
    {"SC_MONITORPOWER with low bits, another command", 0, WM_SYSCOMMAND, SC_MONITORPOWER | 1, 2, kDefault, false},
    {"suspend", 0, WM_POWERBROADCAST, PBT_APMSUSPEND, 0, kDefault, true},
    {"suspend query", 0, WM_POWERBROADCAST, PBT_APMQUERYSUSPEND, 0, kDefault, true},
    {"low battery", 0, WM_POWERBROADCAST, PBT_APMBATTERYLOW, 0, kDefault, true},
    {"event 19", 0, WM_POWERBROADCAST, 19, 1, kDefault, true},
    {"resume", 0, WM_POWERBROADCAST, PBT_APMRESUMESUSPEND, 0, kDefault, true},
    {"critical resume", 0, WM_POWERBROADCAST, PBT_APMRESUMECRITICAL, 0, kDefault, true},
    {"resume after a failure", 0, WM_POWERBROADCAST, PBT_APMRESUMESUSPEND, PBTF_APMRESUMEFROMFAILURE, kDefault, false},
    {"automatic resume after a failure", 0, WM_POWERBROADCAST, PBT_APMRESUMEAUTOMATIC, 1, kDefault, false},
    {"AC line status as read at start", 0, WM_POWERBROADCAST, PBT_APMPOWERSTATUSCHANGE, 0, kDefault, false},
    {"AC line status as before", AcAsBefore, WM_POWERBROADCAST, PBT_APMPOWERSTATUSCHANGE, 0, kDefault, false},
    {"AC line status changed", AcChanged, WM_POWERBROADCAST, PBT_APMPOWERSTATUSCHANGE, 0, kDefault, true},
    {"WM_POWER critical resume", 0, WM_POWER, PWR_CRITICALRESUME, 0, kDefault, true},
    {"WM_POWER suspend request", 0, WM_POWER, PWR_SUSPENDREQUEST, 0, kDefault, false},
    {"key press while closing", Closing, WM_KEYDOWN, 'A', 0, kDefault, false},
    {"key press during verification", InVerify, WM_SYSKEYDOWN, 'A', 0, kDefault, false},
    {"activation lost, through the launcher", 0, WM_ACTIVATEAPP, 0, 0, kDefault, false},
    {"activation lost, default policy alone", Direct, WM_ACTIVATEAPP, 0, 0, kDefault, true},
    {"WM_SETCURSOR", 0, WM_SETCURSOR, 0, 0, 1, false},
    {"verification request on NT", Accepts, WM_APP, 0, 0, kDefault, false},
    {"verification request, no verifier", Win9x, WM_APP, 0, 0, 1, false},
    {"verification request during verification", Win9x | InVerify | Accepts, WM_APP, 0, 0, 7, false},
    {"close refused by the verifier", Win9x | Refuses, WM_CLOSE, 0, 0, 0, false},
    {"AutoPlay query, none registered", 0, kAutoPlay, 0, 0, kDefault, false},
    {"AutoPlay query with a verifier", AutoPlay | Accepts, kAutoPlay, 0, 0, 1, true},
    {"AutoPlay query without a verifier", AutoPlay, kAutoPlay, 0, 0, 0, true},
    {"AutoPlay query while closing", AutoPlay | Closing | Accepts, kAutoPlay, 0, 0, 1, true},
    {"AutoPlay query during verification", AutoPlay | InVerify, kAutoPlay, 0, 0, 0, true},
    {"preview: key press", Preview, WM_KEYDOWN, 'A', 0, kDefault, false},
    {"preview: SC_SCREENSAVE", Preview, WM_SYSCOMMAND, SC_SCREENSAVE, 0, kDefault, false},
    {"preview: context menu", Preview | Forwarded, WM_CONTEXTMENU, 0, 0, 1, false},
    {"preview: help", Preview, WM_HELP, 0, 0, 1, false},   // it carries a pointer: the platform posts none
    {"preview: AutoPlay query", Preview | AutoPlay | Accepts, kAutoPlay, 0, 0, 1, true},
};

// Set when DefWindowProcA acts on a system command: Wine, as Windows, calls the CBT hook then.
bool handedOver;
LRESULT CALLBACK SeeSystemCommand(int code, WPARAM wParam, LPARAM lParam)
{
    handedOver |= code == HCBT_SYSCOMMAND;
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

void SendEachMessage(bool preview)
{
    HWND parent = preview ? CreateWindowExA(0, "STATIC", "", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 300, 200,
                                            nullptr, nullptr, nullptr, nullptr) : nullptr;
    HWND saver = MakeSaver(parent);
    ASSERT_NE(nullptr, saver);
    HHOOK hook = SetWindowsHookExA(WH_CBT, SeeSystemCommand, nullptr, GetCurrentThreadId());
    SYSTEM_POWER_STATUS power = {255};
    GetSystemPowerStatus(&power);
    for (const auto& c : kMessages) {
        if (!(c.state & Preview) != !preview)
            continue;
        hostState.isWin9x = c.state & Win9x;
        hostState.closing = c.state & Closing;
        hostState.inVerify = c.state & InVerify;
        hostState.verifyPassword = c.state & Accepts ? AcceptPassword : c.state & Refuses ? RefusePassword : nullptr;
        hostState.autoPlayMessage = c.state & AutoPlay ? kAutoPlay : 0;
        if (c.state & (AcAsBefore | AcChanged))
            hostState.lastAcLineStatus = c.state & AcChanged ? 77 : power.ACLineStatus;
        handedOver = false;
        LRESULT result = c.state & Direct ? DefaultSaverProc(saver, c.message, c.wParam, c.lParam)
                                          : SendMessageA(saver, c.message, c.wParam, c.lParam);
        MSG posted;
        bool forwarded = parent && PeekMessageA(&posted, parent, c.message, c.message, PM_REMOVE) &&
                         posted.wParam == reinterpret_cast<WPARAM>(parent);
        EXPECT_EQ(c.message == WM_SYSCOMMAND && c.result == kDefault, handedOver) << c.name;
        EXPECT_EQ(c.result == kDefault ? DefWindowProcA(saver, c.message, c.wParam, c.lParam) : c.result, result)
            << c.name;
        EXPECT_EQ(c.closes, TakeClose(saver)) << c.name;
        EXPECT_EQ((c.state & Forwarded) != 0, forwarded) << c.name;
    }
    UnhookWindowsHookEx(hook);
}

TEST(SaverPolicy, FullScreenMessagesInEachState) { SendEachMessage(false); }
TEST(SaverPolicy, PreviewMessages) { SendEachMessage(true); }

// The platform may report the new position a little later; a full-screen window of an earlier
// test's process may still hold the pointer for a moment.
bool MoveCursor(POINT to)
{
    ClipCursor(nullptr);
    SetCursorPos(to.x, to.y);
    POINT at = {};
    for (int i = 0; i < 1000 && (!GetCursorPos(&at) || at.x != to.x || at.y != to.y); ++i)
        Sleep(5), SetCursorPos(to.x, to.y);
    return at.x == to.x && at.y == to.y;
}

TEST(SaverPolicy, SmallMouseMovesAddUpUntilTheyPassFourPixels)
{
    ASSERT_TRUE(MoveCursor({500, 400}));
    HWND saver = MakeSaver(nullptr);
    ASSERT_NE(nullptr, saver);
    const struct { POINT to; bool closes; } kMoves[] = {
        {{504, 400}, false}, {{500, 396}, false}, {{498, 398}, false}, {{505, 400}, true},
        {{508, 400}, false}, {{511, 400}, true}, {{514, 402}, true}, {{514, 402}, false},
    };
    for (const auto& move : kMoves) {
        ASSERT_TRUE(MoveCursor(move.to));
        SendMessageA(saver, WM_MOUSEMOVE, 0, MAKELPARAM(900, 700));   // its own coordinates do not count
        EXPECT_EQ(move.closes, TakeClose(saver)) << move.to.x << "," << move.to.y;
    }
    EXPECT_TRUE(MouseMovedBeyond({INT_MIN, 0}, {INT_MAX, 0}, 4));    // 2^32 - 1
    EXPECT_FALSE(MouseMovedBeyond({INT_MIN, 0}, {INT_MAX, 1}, 4));   // 2^32 wraps to 0
}

// The fault must come from a window procedure reached from DispatchMessageA: the platform
// swallows faults inside timer procedures themselves.
BOOL WINAPI FaultingVerifier(HWND)
{
    volatile int* volatile nowhere = nullptr;
    return *nowhere;
}

void CALLBACK RequestVerification(HWND, UINT, UINT_PTR timer, DWORD)
{
    KillTimer(nullptr, timer);
    hostState.isWin9x = 1;
    hostState.verifyPassword = FaultingVerifier;
    PostMessageA(hostState.saverWindow, WM_APP, 0, 0);
}

TEST(FaultGuard, AFaultInTheSaverWindowEndsTheModeWithMinusOne)
{
    StartHostState();
    ASSERT_NE(0u, SetTimer(nullptr, 0, 200, RequestVerification));
    EXPECT_EQ(-1, SaverMain(GetModuleHandleA(nullptr), "/s"));
}

}  // namespace
