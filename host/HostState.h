// HostState: the screen-saver host's one process-wide record.
#pragma once

#include <windows.h>
#include <imm.h>

typedef BOOL (WINAPI *VerifyScreenSavePwdProc)(HWND saverWindow);
typedef HIMC (WINAPI *ImmAssociateContextProc)(HWND window, HIMC context);

// Zero when the image is loaded; StartHostState gives it its starting values.
struct HostState {
    HINSTANCE instance;
    HWND saverWindow;
    BOOL isPreview;
    DWORD closing;                      // nonzero: the saver may close now
    BOOL inVerify;                      // a password verification is under way
    HMODULE passwordModule;
    VerifyScreenSavePwdProc verifyPassword;
    UINT autoPlayMessage;               // "QueryCancelAutoPlay", 9x family only
    HMODULE imeModule;
    ImmAssociateContextProc associateContext;
    HIMC savedImeContext;
    BOOL isWin9x;
    POINT cursorOrigin;                 // screen coordinates
    BYTE lastAcLineStatus;              // 0 off line, 1 on line, 255 unknown
    DWORD lastVerifyTick;               // end of the last verification; all ones: none yet
    DWORD mouseThreshold;
};

extern HostState hostState;

// Sets every field to its value at process start: zero, but for the AC line status (255,
// unknown), the last verification tick (none yet) and the mouse threshold (4). The record
// is set at run time rather than stored with these values: an initialised record would
// cost the module a file section of its own, a twentieth of its size.
void StartHostState();
