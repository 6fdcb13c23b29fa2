// Start-up and mode dispatch: from the command line to the running mode and its result.
#pragma once

#include <windows.h>

enum class SaverMode {
    SettingsUnowned, // an empty tail: the dialog has no owner
    Settings,        // "c": owned by the window named after "c:", or the foreground window
    FullScreen,      // "s"
    Preview,         // "p" or "l"
    ChangePassword,  // "a"
    Invalid,         // any other first byte
};

// What the command tail asks for. `window` is the number read after the switch, or 0
// when the switch reads none (or none stood there).
struct ModeRequest {
    SaverMode mode;
    HWND window;
};

[[noreturn]] void HostStartup();
LONG SaverMain(HINSTANCE instance, const char* commandTail);

// The tail of a command line after the program name and the blanks behind it.
const char* FindCommandTail(const char* commandLine);
// Decimal digits at `text`, wrapping modulo 2^32; 0 when there are none. The 32-bit number
// becomes a handle by sign extension, as 64-bit Windows shares handles with 32-bit processes.
HWND ParseWindowHandle(const char* text);
ModeRequest ReadModeRequest(const char* commandTail);
LONG RunConfigDialog(HWND owner);
