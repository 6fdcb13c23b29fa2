// LauncherState: where the launch sequencer stands in the one saver window.
#pragma once

#include <windows.h>

typedef HINSTANCE (WINAPI *ShellExecuteProc)(HWND owner, LPCSTR verb, LPCSTR file, LPCSTR parameters,
                                             LPCSTR directory, INT showCommand);

struct LauncherState {
    DWORD launchStarted = 0;            // the launch pass has begun
    DWORD launchDone = 0;               // the launch pass went through all ten entries
    DWORD lastRemainActiveWindow = 0;   // RemainActiveWindow of the last entry that launched
    ShellExecuteProc shellExecute = nullptr;   // SHELL32's, once a window may launch
};

extern LauncherState launcherState;
