// The saver window's message policy: SaverWindowProc first in the chain, DefaultSaverProc
// after the application's procedure, and the pure rules they apply.
#pragma once

#include <windows.h>

// Password-verification request from VerifySaverPassword to DefaultSaverProc.
const UINT kVerifyPasswordRequest = WM_APP;

LRESULT CALLBACK SaverWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT DefaultSaverProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// The mouse rule: the distance |dx| + |dy|, as an unsigned 32-bit sum, beyond `threshold`.
bool MouseMovedBeyond(POINT origin, POINT position, DWORD threshold);

// The power-event table for WM_POWERBROADCAST; `acLineChanged` answers for
// PBT_APMPOWERSTATUSCHANGE and is only asked for that event.
bool PowerEventEndsSaver(WPARAM event, LPARAM eventData, bool (*acLineChanged)());

// The AC line status byte of the system's power status, 255 when it cannot be read.
BYTE ReadAcLineStatus();
// Reads the AC line status, stores it as the last one seen and tells whether it changed.
bool AcLineStatusChanged();

void HideCursor();
