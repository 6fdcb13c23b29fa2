// The password lock and the password change of the Windows 9x family. On the NT family
// the platform locks the workstation itself and none of this acts.
#pragma once

#include <windows.h>

// Milliseconds after a verification ended during which a close request is refused unasked.
const DWORD kVerifyRetryInterval = 200;

void SetSaverRunning(UINT running);
void LoadPasswordVerifier();
void UnloadPasswordVerifier();
// Nonzero when the saver window may close (closing is then set), 0 when it must stay.
DWORD VerifySaverPassword(HWND saverWindow);
void ChangeSaverPassword(HWND parent);
