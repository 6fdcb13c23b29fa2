#include "host/PasswordLock.h"

#include "host/HostState.h"
#include "host/MessagePolicy.h"

namespace {

typedef DWORD (WINAPI *PwdChangePasswordProc)(LPCSTR provider, HWND parent, DWORD reserved1, DWORD reserved2);

const DWORD kNoVerificationYet = 0xFFFFFFFF;

// The user's "password protected" setting. The cell starts at 0, so a value shorter than
// four bytes leaves the bytes it does not fill at 0.
bool PasswordSwitchedOn()
{
    HKEY desktop;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, "Control Panel\\Desktop", 0, KEY_QUERY_VALUE, &desktop) != ERROR_SUCCESS)
        return false;
    DWORD usePassword = 0;
    DWORD size = sizeof usePassword;
    LONG read = RegQueryValueExA(desktop, "ScreenSaveUsePassword", nullptr, nullptr,
                                 reinterpret_cast<BYTE*>(&usePassword), &size);
    RegCloseKey(desktop);
    return read == ERROR_SUCCESS && usePassword != 0;
}

void DropPendingTimerMessages(HWND saverWindow)
{
    MSG dropped;
    for (int i = 0; i < 2; ++i)
        PeekMessageA(&dropped, saverWindow, WM_TIMER, WM_TIMER, PM_REMOVE | PM_NOYIELD);
}

}  // namespace

void SetSaverRunning(UINT running)
{
    if (!hostState.isWin9x)
        return;
    UINT previous;
    SystemParametersInfoA(SPI_SCREENSAVERRUNNING, running, &previous, 0);
}

void LoadPasswordVerifier()
{
    if (!hostState.isWin9x)
        return;
    if (hostState.passwordModule)
        UnloadPasswordVerifier();
    if (!PasswordSwitchedOn())
        return;

    hostState.passwordModule = LoadLibraryA("PASSWORD.CPL");
    if (!hostState.passwordModule)
        return;
    hostState.verifyPassword = reinterpret_cast<VerifyScreenSavePwdProc>(
        reinterpret_cast<void*>(GetProcAddress(hostState.passwordModule, "VerifyScreenSavePwd")));
    if (hostState.verifyPassword)
        SetSaverRunning(1);
    else
        UnloadPasswordVerifier();
}

void UnloadPasswordVerifier()
{
    if (!hostState.isWin9x || !hostState.passwordModule)
        return;
    FreeLibrary(hostState.passwordModule);
    hostState.passwordModule = nullptr;
    if (hostState.verifyPassword) {
        hostState.verifyPassword = nullptr;
        SetSaverRunning(0);
    }
}

DWORD VerifySaverPassword(HWND saverWindow)
{
    if (hostState.inVerify)
        return 0;
    if (!hostState.verifyPassword) {
        hostState.closing = 1;
        return 1;
    }

    DWORD now = GetTickCount();
    if (hostState.lastVerifyTick != kNoVerificationYet && now - hostState.lastVerifyTick < kVerifyRetryInterval)
        return 0;

    hostState.inVerify = 1;
    DropPendingTimerMessages(saverWindow);
    LRESULT verdict = SendMessageA(saverWindow, kVerifyPasswordRequest, 0, 0);
    hostState.closing = static_cast<DWORD>(verdict);
    hostState.inVerify = 0;
    if (!verdict)
        HideCursor();
    hostState.lastVerifyTick = GetTickCount();
    return hostState.closing;
}

void ChangeSaverPassword(HWND parent)
{
    HMODULE mpr = LoadLibraryA("MPR.DLL");
    if (!mpr)
        return;
    PwdChangePasswordProc changePassword = reinterpret_cast<PwdChangePasswordProc>(
        reinterpret_cast<void*>(GetProcAddress(mpr, "PwdChangePasswordA")));
    if (changePassword)
        changePassword("SCRSAVE", parent, 0, 0);
    FreeLibrary(mpr);
}
