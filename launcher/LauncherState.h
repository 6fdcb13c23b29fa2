// LauncherState: where the launch sequencer stands in the one saver window.
#pragma once

#include <windows.h>

struct LauncherState {
    DWORD launchStarted = 0;            // the launch pass has begun
    DWORD launchDone = 0;               // the launch pass went through all ten entries
    DWORD lastRemainActiveWindow = 0;   // RemainActiveWindow of the last entry that launched
};

extern LauncherState launcherState;
