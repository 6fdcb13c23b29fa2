#include "host/MessagePolicy.h"

#include "host/ApplicationHooks.h"
#include "host/HostState.h"
#include "host/OptionalEntry.h"
#include "host/PasswordLock.h"

namespace {

const WPARAM kResumeEvents[] = {PBT_APMRESUMECRITICAL, PBT_APMRESUMESUSPEND, PBT_APMRESUMESTANDBY,
                                PBT_APMRESUMEAUTOMATIC};

void PostClose(HWND window)
{
    PostMessageA(window, WM_CLOSE, 0, 0);
}

// --- SaverWindowProc's handlers -------------------------------------------------------

void DetachInputContext(HWND window)
{
    hostState.imeModule = GetModuleHandleA("IMM32.DLL");
    if (hostState.imeModule)
        hostState.associateContext = reinterpret_cast<ImmAssociateContextProc>(
            reinterpret_cast<void*>(GetProcAddress(hostState.imeModule, "ImmAssociateContext")));
    if (hostState.associateContext)
        hostState.savedImeContext = hostState.associateContext(window, nullptr);
}

void RestoreInputContext(HWND window)
{
    if (hostState.imeModule && hostState.associateContext && hostState.savedImeContext)
        hostState.associateContext(window, hostState.savedImeContext);
}

// A failed read keeps the previous origin.
void RebaseCursorOrigin()
{
    POINT position;
    if (GetCursorPos(&position))
        hostState.cursorOrigin = position;
}

void HideCursorUnlessPreview()
{
    if (!hostState.isPreview)
        HideCursor();
}

LRESULT OnCreate(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    DetachInputContext(window);
    RebaseCursorOrigin();
    HideCursorUnlessPreview();
    return LauncherSaverProc(window, message, wParam, lParam);
}

LRESULT OnDestroy(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    RestoreInputContext(window);
    PostQuitMessage(0);
    return LauncherSaverProc(window, message, wParam, lParam);
}

LRESULT OnPaint(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (hostState.closing)
        return DefWindowProcA(window, message, wParam, lParam);
    HideCursorUnlessPreview();
    return LauncherSaverProc(window, message, wParam, lParam);
}

LRESULT OnHelpRequest(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (!hostState.isPreview)
        return LauncherSaverProc(window, message, wParam, lParam);
    HWND parent = GetParent(window);
    if (parent && IsWindow(parent))
        PostMessageA(parent, message, reinterpret_cast<WPARAM>(parent), lParam);
    return 1;
}

LRESULT OnInput(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (hostState.closing)
        return DefWindowProcA(window, message, wParam, lParam);
    return LauncherSaverProc(window, message, wParam, lParam);
}

LRESULT OnSysCommand(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (!hostState.isPreview) {
        switch (wParam) {
        case SC_NEXTWINDOW:
        case SC_PREVWINDOW:
        case SC_SCREENSAVE:
            return 0;
        case SC_MONITORPOWER:
            PostClose(window);
            break;
        }
    }
    return LauncherSaverProc(window, message, wParam, lParam);
}

LRESULT OnTimer(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (hostState.closing)
        return 0;
    Sleep(0);
    return LauncherSaverProc(window, message, wParam, lParam);
}

// --- DefaultSaverProc's rules ---------------------------------------------------------

// The common ending: the AutoPlay answer, or the platform default.
LRESULT FinishMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (hostState.autoPlayMessage && message == hostState.autoPlayMessage) {
        PostClose(window);
        return hostState.verifyPassword ? 1 : 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

LRESULT OnCloseRequest(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (!hostState.isWin9x || VerifySaverPassword(window))
        return FinishMessage(window, message, wParam, lParam);
    RebaseCursorOrigin();
    return 0;
}

LRESULT OnVerifyPasswordRequest(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (!hostState.isWin9x)
        return FinishMessage(window, message, wParam, lParam);
    if (!hostState.verifyPassword)
        return 1;
    return hostState.verifyPassword(window);
}

void ApplyMouseRule(HWND window)
{
    POINT position;
    if (!GetCursorPos(&position))
        return;
    if (MouseMovedBeyond(hostState.cursorOrigin, position, hostState.mouseThreshold)) {
        PostClose(window);
        hostState.cursorOrigin = position;
    }
}

// The policy table for a saver that runs full screen, may not close yet and verifies nothing.
LRESULT ApplyPolicy(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_SHOWWINDOW:
        if (wParam)
            HideCursor();
        break;
    case WM_ACTIVATEAPP:
        if (!wParam)
            PostClose(window);
        break;
    case WM_SETCURSOR:
        HideCursor();
        return 1;
    case WM_POWER:
        if (wParam == PWR_CRITICALRESUME)
            PostClose(window);
        break;
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
        PostClose(window);
        break;
    case WM_MOUSEMOVE:
        ApplyMouseRule(window);
        break;
    case WM_POWERBROADCAST:
        if (PowerEventEndsSaver(wParam, lParam, AcLineStatusChanged))
            PostClose(window);
        break;
    }
    return FinishMessage(window, message, wParam, lParam);
}

}  // namespace

void HideCursor()
{
    SetCursor(nullptr);
}

bool MouseMovedBeyond(POINT origin, POINT position, DWORD threshold)
{
    DWORD dx = position.x >= origin.x ? DWORD(position.x) - DWORD(origin.x) : DWORD(origin.x) - DWORD(position.x);
    DWORD dy = position.y >= origin.y ? DWORD(position.y) - DWORD(origin.y) : DWORD(origin.y) - DWORD(position.y);
    return dx + dy > threshold;
}

bool PowerEventEndsSaver(WPARAM event, LPARAM eventData, bool (*acLineChanged)())
{
    for (WPARAM resume : kResumeEvents)
        if (event == resume)
            return !(eventData & PBTF_APMRESUMEFROMFAILURE);
    if (event == PBT_APMPOWERSTATUSCHANGE)
        return acLineChanged();
    return true;
}

// Windows NT 4 has no GetSystemPowerStatus; its absence reads as an unknown status.
BYTE ReadAcLineStatus()
{
    typedef BOOL (WINAPI *GetSystemPowerStatusProc)(SYSTEM_POWER_STATUS*);
    GetSystemPowerStatusProc getPowerStatus =
        OptionalEntry<GetSystemPowerStatusProc>("KERNEL32.DLL", "GetSystemPowerStatus");
    SYSTEM_POWER_STATUS power;
    return getPowerStatus && getPowerStatus(&power) ? power.ACLineStatus : 255;
}

bool AcLineStatusChanged()
{
    BYTE status = ReadAcLineStatus();
    bool changed = status != hostState.lastAcLineStatus;
    hostState.lastAcLineStatus = status;
    return changed;
}

LRESULT CALLBACK SaverWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CREATE:
        return OnCreate(window, message, wParam, lParam);
    case WM_DESTROY:
        return OnDestroy(window, message, wParam, lParam);
    case WM_SETTEXT:
        return 0;
    case WM_PAINT:
        return OnPaint(window, message, wParam, lParam);
    case WM_HELP:
    case WM_CONTEXTMENU:
        return OnHelpRequest(window, message, wParam, lParam);
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
    case WM_MOUSEMOVE:
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
        return OnInput(window, message, wParam, lParam);
    case WM_SYSCOMMAND:
        return OnSysCommand(window, message, wParam, lParam);
    case WM_TIMER:
        return OnTimer(window, message, wParam, lParam);
    default:
        return LauncherSaverProc(window, message, wParam, lParam);
    }
}

LRESULT DefaultSaverProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (hostState.isPreview || hostState.closing)
        return FinishMessage(window, message, wParam, lParam);
    if (message == WM_CLOSE)
        return OnCloseRequest(window, message, wParam, lParam);
    if (message == kVerifyPasswordRequest)
        return OnVerifyPasswordRequest(window, message, wParam, lParam);
    if (hostState.inVerify)
        return FinishMessage(window, message, wParam, lParam);
    return ApplyPolicy(window, message, wParam, lParam);
}
