// The saver window's procedures in this process: a real window made by CreateSaverWindow,
// without its loop, so each message's result and any WM_CLOSE it posts can be read at once.
#include <gtest/gtest.h>

#include <climits>

#include "host/HostState.h"
#include "host/MessagePolicy.h"
#include "host/SaverWindow.h"
#include "host/Startup.h"

namespace {

const UINT kAutoPlay = 0xC321;     // stands for the registered "QueryCancelAutoPlay"
const LRESULT kDefault = 0x7E57;   // the answer DefWindowProcA gives for the same values

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

enum : unsigned { Win9x = 1, Closing = 2, InVerify = 4, Accepts = 8, Refuses = 16, AutoPlay = 32, AcChanged = 64,
                  Direct = 128, Preview = 256, Forwarded = 512 };

struct PolicyCase { const char* name; unsigned state; UINT message; WPARAM wParam; LRESULT result; bool closes; };

const PolicyCase kPolicyCases[] = {
    {"key press while closing", Closing, WM_KEYDOWN, 'A', kDefault, false},
    {"Alt key press during verification", InVerify, WM_SYSKEYDOWN, 'A', kDefault, false},
    {"AC line changed", AcChanged, WM_POWERBROADCAST, PBT_APMPOWERSTATUSCHANGE, kDefault, true},
    {"activation lost, through the launcher", 0, WM_ACTIVATEAPP, 0, kDefault, false},
    {"activation lost, default policy alone", Direct, WM_ACTIVATEAPP, 0, kDefault, true},
    {"WM_SETCURSOR", 0, WM_SETCURSOR, 0, 1, false}, {"verification request on NT", Accepts, WM_APP, 0, kDefault, false},
    {"verification request, no verifier", Win9x, WM_APP, 0, 1, false},
    {"verification request during verification", Win9x | InVerify | Accepts, WM_APP, 0, 7, false},
    {"close refused by the verifier", Win9x | Refuses, WM_CLOSE, 0, 0, false},
    {"AutoPlay query, none registered", 0, kAutoPlay, 0, kDefault, false},
    {"AutoPlay query with a verifier", AutoPlay | Accepts, kAutoPlay, 0, 1, true},
    {"AutoPlay query without a verifier", AutoPlay, kAutoPlay, 0, 0, true},
    {"AutoPlay query while closing", AutoPlay | Closing | Accepts, kAutoPlay, 0, 1, true},
    {"AutoPlay query during verification", AutoPlay | InVerify, kAutoPlay, 0, 0, true},
    {"preview: key press", Preview, WM_KEYDOWN, 'A', kDefault, false},
    {"preview: context menu", Preview | Forwarded, WM_CONTEXTMENU, 0, 1, false},
    {"preview: help", Preview, WM_HELP, 0, 1, false},   // it carries a pointer: the platform posts none
    {"preview: AutoPlay query", Preview | AutoPlay | Accepts, kAutoPlay, 0, 1, true},
};

void RunPolicyCases(bool preview)
{
    HWND parent = preview ? CreateWindowExA(0, "STATIC", "", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 300, 200, nullptr,
                                            nullptr, nullptr, nullptr) : nullptr;
    HWND saver = MakeSaver(parent);
    ASSERT_NE(nullptr, saver);
    for (const PolicyCase& c : kPolicyCases) {
        if (!(c.state & Preview) != !preview)
            continue;
        hostState.isWin9x = c.state & Win9x;
        hostState.closing = c.state & Closing;
        hostState.inVerify = c.state & InVerify;
        hostState.verifyPassword = c.state & Accepts ? AcceptPassword : c.state & Refuses ? RefusePassword : nullptr;
        hostState.autoPlayMessage = c.state & AutoPlay ? kAutoPlay : 0;
        hostState.lastAcLineStatus = c.state & AcChanged ? 77 : ReadAcLineStatus();
        LRESULT result = c.state & Direct ? DefaultSaverProc(saver, c.message, c.wParam, 0)
                                          : SendMessageA(saver, c.message, c.wParam, 0);
        MSG posted;
        bool forwarded = parent && PeekMessageA(&posted, parent, c.message, c.message, PM_REMOVE) &&
                         posted.wParam == reinterpret_cast<WPARAM>(parent);
        EXPECT_EQ(c.result == kDefault ? DefWindowProcA(saver, c.message, c.wParam, 0) : c.result, result) << c.name;
        EXPECT_EQ(c.closes, TakeClose(saver)) << c.name;
        EXPECT_EQ((c.state & Forwarded) != 0, forwarded) << c.name;
    }
}

TEST(SaverPolicy, FullScreenMessagesByState) { RunPolicyCases(false); }
TEST(SaverPolicy, PreviewMessages) { RunPolicyCases(true); }

// The platform may report the new position a little later.
bool MoveCursor(POINT to)
{
    SetCursorPos(to.x, to.y);
    POINT at = {};
    for (int i = 0; i < 400 && (!GetCursorPos(&at) || at.x != to.x || at.y != to.y); ++i)
        Sleep(5);
    return at.x == to.x && at.y == to.y;
}

TEST(SaverPolicy, MouseMovesAddUpUntilTheyPassFourPixels)
{
    ASSERT_TRUE(MoveCursor({500, 400}));
    HWND saver = MakeSaver(nullptr);
    ASSERT_NE(nullptr, saver);
    // Small moves add up against the same origin until one passes 4 pixels and moves the origin.
    const struct { POINT to; bool closes; } kMoves[] = {
        {{504, 400}, false}, {{500, 396}, false}, {{498, 398}, false}, {{505, 400}, true},
        {{508, 400}, false}, {{511, 400}, true}, {{514, 402}, true}, {{514, 402}, false},
    };
    for (const auto& move : kMoves) {
        std::string name = std::to_string(move.to.x) + "," + std::to_string(move.to.y);
        ASSERT_TRUE(MoveCursor(move.to)) << name;
        SendMessageA(saver, WM_MOUSEMOVE, 0, MAKELPARAM(900, 700));   // its own coordinates do not count
        EXPECT_EQ(move.closes, TakeClose(saver)) << name;
    }
}

TEST(MouseMovedBeyond, TheDistanceSumWrapsAt32Bits)
{
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
    ASSERT_NE(0u, SetTimer(nullptr, 0, 200, RequestVerification));
    EXPECT_EQ(-1, SaverMain(GetModuleHandleA(nullptr), "/s"));
}

}  // namespace
