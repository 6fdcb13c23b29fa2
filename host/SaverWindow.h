// The saver window and the thread's message loop.
#pragma once

#include <windows.h>

extern const char kSaverClassName[];    // "WindowsScreenSaverClass"
extern const char kFullScreenTitle[];   // "Screen Saver"

// Runs the saver in `parent` (preview) or over the whole virtual screen (no parent) until
// its window is gone. Returns the quit message's wParam, or 0 when no window ran.
LONG RunSaverWindow(HWND parent);

// Steps of RunSaverWindow up to the window's creation. Returns the window, or none when
// another full-screen saver already runs (it is then brought to the foreground) or the
// window cannot be made. `anotherSaverRuns` tells the two apart.
HWND CreateSaverWindow(HWND parent, bool* anotherSaverRuns);
