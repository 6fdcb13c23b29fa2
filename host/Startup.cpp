#include "host/Startup.h"

#include <commctrl.h>

#include "host/ApplicationHooks.h"
#include "host/FaultGuard.h"
#include "host/HostState.h"
#include "host/OptionalEntry.h"
#include "host/PasswordLock.h"
#include "host/SaverWindow.h"

namespace {

const int kConfigDialogTemplate = 2003;

bool IsSeparator(char c)
{
    return c == ' ' || c == '-' || c == '/';
}

const char* SkipSpaces(const char* p)
{
    while (*p == ' ')
        ++p;
    return p;
}

bool IsWindows9xFamily()
{
    OSVERSIONINFOA version = {};
    version.dwOSVersionInfoSize = sizeof version;
    return GetVersionExA(&version) && version.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS;
}

// Only the settings dialog shows controls, so COMCTL32 is loaded for it alone; a COMCTL32
// without InitCommonControlsEx (before Internet Explorer 3) needs no initialisation.
void InitCommonControlsForDialog()
{
    typedef BOOL (WINAPI *InitCommonControlsExProc)(const INITCOMMONCONTROLSEX*);
    InitCommonControlsExProc initialise =
        OptionalEntry<InitCommonControlsExProc>("COMCTL32.DLL", "InitCommonControlsEx");
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_TAB_CLASSES};
    if (initialise)
        initialise(&controls);
}

// A window number that is missing, 0 or stale gives way to the foreground window.
HWND LiveWindowOrForeground(HWND window)
{
    return window && IsWindow(window) ? window : GetForegroundWindow();
}

LONG RunRequestedMode(const char* commandTail)
{
    ModeRequest request = ReadModeRequest(commandTail);
    switch (request.mode) {
    case SaverMode::SettingsUnowned:
        return RunConfigDialog(nullptr);
    case SaverMode::Settings:
        return RunConfigDialog(LiveWindowOrForeground(request.window));
    case SaverMode::FullScreen:
        return RunSaverWindow(nullptr);
    case SaverMode::Preview:
        if (!request.window || !IsWindow(request.window))
            return -1;
        return RunSaverWindow(request.window);
    case SaverMode::ChangePassword:
        if (!hostState.isWin9x)
            return -1;
        ChangeSaverPassword(LiveWindowOrForeground(request.window));
        return 0;
    case SaverMode::Invalid:
        break;
    }
    return -1;
}

}  // namespace

const char* FindCommandTail(const char* commandLine)
{
    const char* p = commandLine;
    if (*p == '"') {
        p = CharNextA(p);
        while (*p != '\0' && *p != '"')
            p = CharNextA(p);
        if (*p == '"')
            ++p;
    } else {
        while (static_cast<unsigned char>(*p) > 0x20)
            p = CharNextA(p);
    }
    while (*p != '\0' && static_cast<unsigned char>(*p) <= 0x20)
        p = CharNextA(p);
    return p;
}

HWND ParseWindowHandle(const char* text)
{
    UINT32 value = 0;
    for (signed char c = *text; c >= '0' && c <= '9'; c = *++text)
        value = value * 10 + static_cast<UINT32>(c - '0');
    return static_cast<HWND>(LongToHandle(static_cast<LONG>(value)));
}

ModeRequest ReadModeRequest(const char* commandTail)
{
    const char* p = commandTail;
    while (IsSeparator(*p))
        ++p;

    switch (*p) {
    case '\0':
        return {SaverMode::SettingsUnowned, nullptr};
    case 's':
    case 'S':
        return {SaverMode::FullScreen, nullptr};
    case 'p':
    case 'P':
    case 'l':
    case 'L':
        return {SaverMode::Preview, ParseWindowHandle(SkipSpaces(p + 1))};
    case 'c':
    case 'C':
        // Only a colon right after the letter makes a number count.
        return {SaverMode::Settings, p[1] == ':' ? ParseWindowHandle(p + 2) : nullptr};
    case 'a':
    case 'A':
        return {SaverMode::ChangePassword, ParseWindowHandle(SkipSpaces(p + 1))};
    default:
        return {SaverMode::Invalid, nullptr};
    }
}

LONG RunConfigDialog(HWND owner)
{
    InitCommonControlsForDialog();
    if (!ConfigDialogHook(hostState.instance))
        return 0;
    return static_cast<LONG>(DialogBoxParamA(hostState.instance, MAKEINTRESOURCEA(kConfigDialogTemplate), owner,
                                             GuardedProcedure<INT_PTR, ConfigDialogProc>, 0));
}

LONG SaverMain(HINSTANCE instance, const char* commandTail)
{
    hostState.instance = instance;
    hostState.isWin9x = IsWindows9xFamily();

    LONG result = -1;
    if (!RunUnderFaultGuard(RunRequestedMode, commandTail, &result)) {
        SetSaverRunning(0);
        return -1;
    }
    return result;
}

void HostStartup()
{
    StartHostState();
    const char* tail = FindCommandTail(GetCommandLineA());
    ExitProcess(static_cast<UINT>(SaverMain(GetModuleHandleA(nullptr), tail)));
}
