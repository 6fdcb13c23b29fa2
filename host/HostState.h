// HostState: the screen-saver host's one process-wide record.
#pragma once

#include <windows.h>
#include <imm.h>

typedef BOOL (WINAPI *VerifyScreenSavePwdProc)(HWND saverWindow);
typedef HIMC (WINAPI *ImmAssociateContextProc)(HWND window, HIMC context);

struct HostState {
    HINSTANCE instance = nullptr;
    HWND saverWindow = nullptr;
    BOOL isPreview = 0;
    DWORD closing = 0;                       // nonzero: the saver may close now
    BOOL inVerify = 0;                       // a password verification is under way
    HMODULE passwordModule = nullptr;
    VerifyScreenSavePwdProc verifyPassword = nullptr;
    UINT autoPlayMessage = 0;                // "QueryCancelAutoPlay", 9x family only
    HMODULE imeModule = nullptr;
    ImmAssociateContextProc associateContext = nullptr;
    HIMC savedImeContext = nullptr;
    BOOL isWin9x = 0;
    POINT cursorOrigin = {0, 0};             // screen coordinates
    BYTE lastAcLineStatus = 255;             // 0 off line, 1 on line, 255 unknown
    DWORD lastVerifyTick = 0xFFFFFFFF;       // end of the last verification; all ones: none yet
    DWORD mouseThreshold = 4;
};

extern HostState hostState;
