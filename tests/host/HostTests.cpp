// The host in this process: the command line's pure rules, then a real saver window made by
// CreateSaverWindow without its loop, so that each message's result and any WM_CLOSE it posts
// can be read at once.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <vector>

#include "host/HostState.h"
#include "host/MessagePolicy.h"
#include "host/SaverWindow.h"
#include "host/Startup.h"
#include "tests/support/TestSupport.h"

namespace {

TEST(CommandLine, TheTailFollowsTheProgramNameAndItsFirstSwitchLetterChoosesTheMode)
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
    // refused: SaverMain runs nothing and ends with -1 (this process is of the NT family: no password change).
    const struct { SaverMode mode; UINT_PTR window; std::vector<const char*> tails; bool refused; } kModes[] = {
        {SaverMode::SettingsUnowned, 0, {"", "   -//-  "}},
        {SaverMode::FullScreen, 0, {"/s", "/S", "-s", "s", " /s", "//s", "- /s", "/sx"}},
        {SaverMode::Preview, 77, {"/p 77", "/p77", "/l   77", "/P 77", "/p 4294967373", "/p77abc"}},
        {SaverMode::Preview, 0, {"/p:77", "/p", "/p\t77", "/p 4294967296", "/p \xb1" "1"}, true},
        {SaverMode::Preview, 1661992959, {"/p 99999999999999999999"}},   // 10^20 - 1 modulo 2^32
        {SaverMode::Preview, UINT_PTR(INT_PTR(-294967296)), {"/p 4000000000"}, true},   // a handle: sign-extended
        {SaverMode::Settings, 77, {"/c:77", "/C:77"}},
        {SaverMode::Settings, 0, {"/c 77", "/c77", "/c: 77", "/c"}},
        {SaverMode::ChangePassword, 77, {"/a 77", "/A77"}, true},
        {SaverMode::Invalid, 0, {"/x", "/1", "\t/s", "\x82\xa0", "/\x83s"}, true},
    };
    for (const auto& c : kModes)
        for (const char* tail : c.tails) {
            ModeRequest request = ReadModeRequest(tail);
            EXPECT_EQ(static_cast<int>(c.mode), static_cast<int>(request.mode)) << tail;
            EXPECT_EQ(c.window, reinterpret_cast<UINT_PTR>(request.window)) << tail;
            EXPECT_TRUE(!c.refused || SaverMain(GetModuleHandleA(nullptr), tail) == -1) << tail;
        }
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
                  Direct = 128, Preview = 256, Forwarded = 512, AcAsBefore = 1024, HidesCursor = 2048 };

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
    {"WM_SETCURSOR", HidesCursor, WM_SETCURSOR, 0, 0, 1, false},
    {"being shown", HidesCursor, WM_SHOWWINDOW, TRUE, 0, kDefault, false},
    {"WM_PAINT", HidesCursor, WM_PAINT, 0, 0, kDefault, false},
    {"verification request on NT", Accepts, WM_APP, 0, 0, kDefault, false},
    {"verification request, no verifier", Win9x, WM_APP, 0, 0, 1, false},
    {"verification request during verification", Win9x | InVerify | Accepts, WM_APP, 0, 0, 7, false},
    {"close refused by the verifier", Win9x | Refuses | HidesCursor, WM_CLOSE, 0, 0, 0, false},
    {"AutoPlay query, none registered", 0, kAutoPlay, 0, 0, kDefault, false},
    {"AutoPlay query with a verifier", AutoPlay | Accepts, kAutoPlay, 0, 0, 1, true},
    {"AutoPlay query without a verifier", AutoPlay, kAutoPlay, 0, 0, 0, true},
    {"AutoPlay query while closing", AutoPlay | Closing | Accepts, kAutoPlay, 0, 0, 1, true},
    {"AutoPlay query during verification", AutoPlay | InVerify, kAutoPlay, 0, 0, 0, true},
    {"preview: key press", Preview, WM_KEYDOWN, 'A', 0, kDefault, false},
    {"preview: SC_SCREENSAVE", Preview, WM_SYSCOMMAND, SC_SCREENSAVE, 0, kDefault, false},
    {"preview: context menu", Preview | Forwarded, WM_CONTEXTMENU, 0, 0, 1, false},
    {"preview: help", Preview, WM_HELP, 0, 0, 1, false},   // it carries a pointer: the platform posts none
    {"preview: WM_PAINT", Preview, WM_PAINT, 0, 0, kDefault, false},
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
        SetCursor(LoadCursorA(nullptr, IDC_ARROW));   // read back before DefWindowProcA below may set one
        LRESULT result = c.state & Direct ? DefaultSaverProc(saver, c.message, c.wParam, c.lParam)
                                          : SendMessageA(saver, c.message, c.wParam, c.lParam);
        EXPECT_EQ((c.state & HidesCursor) != 0, !GetCursor()) << c.name << ": cursor hidden";
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
    POINT at = {};
    for (int i = 0; i < 1000 && (SetCursorPos(to.x, to.y), !GetCursorPos(&at) || at.x != to.x || at.y != to.y); ++i)
        Sleep(5);
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

// Points this program's imports of `from` at `to`, through which the module's code linked in here calls.
void Rebind(void* from, void* to)
{
    auto base = reinterpret_cast<BYTE*>(GetModuleHandleA(nullptr));
    auto& table = reinterpret_cast<IMAGE_NT_HEADERS*>(base + reinterpret_cast<IMAGE_DOS_HEADER*>(base)->e_lfanew)
                      ->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IAT];
    auto slots = reinterpret_cast<void**>(base + table.VirtualAddress);
    std::replace(slots, slots + table.Size / sizeof *slots, from, to);
}

// The module asks for nothing but SM_XVIRTUALSCREEN to SM_CYVIRTUALSCREEN.
const int* virtualScreen;
int WINAPI StandInMetrics(int index) { return virtualScreen[index - SM_XVIRTUALSCREEN]; }

// Windows 95 and NT 4 report no virtual screen (a size of 0): the saver then covers the screen's
// clip box, all of the bed's one screen. The last row shows that the module reads the stand-in.
TEST(SaverWindow, CoversTheScreensClipBoxWhereTheSystemReportsNoVirtualScreen)
{
    const RECT screen = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    const struct { int reported[4]; RECT covered; } kCases[] = {
        {{7, 9, 0, 200}, screen}, {{7, 9, 300, 0}, screen}, {{7, 9, 300, 200}, {7, 9, 307, 209}}};
    const auto systemMetrics = &GetSystemMetrics;
    Rebind(reinterpret_cast<void*>(systemMetrics), reinterpret_cast<void*>(StandInMetrics));
    for (const auto& c : kCases) {
        virtualScreen = c.reported;
        HWND saver = MakeSaver(nullptr);
        RECT b = {};
        GetWindowRect(saver, &b);
        EXPECT_TRUE(EqualRect(&c.covered, &b)) << b.left << "," << b.top << " " << b.right << "," << b.bottom;
        DestroyWindow(saver);
        UnregisterClassA(kSaverClassName, GetModuleHandleA(nullptr));
    }
    Rebind(reinterpret_cast<void*>(StandInMetrics), reinterpret_cast<void*>(systemMetrics));
}

}  // namespace
