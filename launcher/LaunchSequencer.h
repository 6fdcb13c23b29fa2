// The launch sequencer: LauncherSaverProc, the application procedure of the saver window.
#pragma once

#include <windows.h>

const UINT_PTR kLaunchTimerId = 1;
const UINT kLaunchTimerPeriod = 100;         // milliseconds
const LONG kMinimumLaunchWidth = 640;
const LONG kMinimumLaunchHeight = 480;
const DWORD kActivationPollInterval = 100;   // milliseconds
// A launched program that never takes the activation must not hold the saver (and the
// user, whose input waits in the queue) behind its black window for good.
const DWORD kActivationWaitLimit = 20000;    // milliseconds

// Whether a client rectangle is large enough for the launcher to open its settings and launch.
bool PassesSizeTest(const RECT& client);
// Polls until `window` is no longer both the active and the foreground window, or until
// `limit` milliseconds have passed, serving the messages other threads send meanwhile. True
// when the activation left.
bool WaitForActivationToLeave(HWND window, DWORD limit);
