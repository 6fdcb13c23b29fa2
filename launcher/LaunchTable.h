// LaunchTable: the ten programs the saver launches, in memory.
#pragma once

#include <windows.h>

const unsigned kLaunchEntryCount = 10;
const unsigned kLaunchTextSize = MAX_PATH;   // each string: at most 259 bytes and its zero

struct LaunchEntry {
    char Verb[kLaunchTextSize];
    char File[kLaunchTextSize];
    char Parameters[kLaunchTextSize];
    char Directory[kLaunchTextSize];
    INT32 ShowCmd;
    INT32 WaitActiveWindow;     // flag: wait until the launched program takes the activation
    INT32 RemainActiveWindow;   // flag: leave the launched program active
};

struct LaunchTable {
    LaunchEntry entries[kLaunchEntryCount];
};

extern LaunchTable launchTable;
