#include "launcher/LaunchSequencer.h"

#include "host/ApplicationHooks.h"
#include "host/HostState.h"
#include "host/MessagePolicy.h"
#include "host/OptionalEntry.h"
#include "launcher/LaunchTable.h"
#include "launcher/LauncherState.h"
#include "launcher/SettingsKey.h"

LauncherState launcherState;

namespace {

bool ClientPassesSizeTest(HWND window, RECT* client)
{
    GetClientRect(window, client);
    return PassesSizeTest(*client);
}

void BringToTop(HWND window)
{
    SetWindowPos(window, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
}

void Reactivate(HWND window)
{
    SetActiveWindow(window);
    SetForegroundWindow(window);
    BringToTop(window);
}

bool HoldsActivation(HWND window)
{
    return GetActiveWindow() == window && GetForegroundWindow() == window;
}

// SHELL32 costs the start of every saver; it is loaded once the window may launch, while
// the timer runs towards the first tick.
void LoadShellExecute()
{
    if (!launcherState.shellExecute)
        launcherState.shellExecute = OptionalEntry<ShellExecuteProc>("SHELL32.DLL", "ShellExecuteA");
}

bool Launch(const LaunchEntry& entry)
{
    if (!launcherState.shellExecute)
        return false;
    HINSTANCE result = launcherState.shellExecute(nullptr, entry.Verb, entry.File, entry.Parameters,
                                                  entry.Directory, entry.ShowCmd);
    return static_cast<INT32>(reinterpret_cast<INT_PTR>(result)) > 32;
}

// One entry's launch, wait and re-activation. False once the saver window is gone, and with it
// the saver: the shell's launch may run a modal loop of its own (a security prompt, a DDE
// conversation) that dispatches the user's input and the close it brings, and the wait serves
// other threads' messages, a close among them. A pass that went on would start programs after
// the user has come back.
bool RunLaunchStep(HWND window, const LaunchEntry& entry)
{
    if (!Launch(entry))
        return IsWindow(window);
    if (entry.WaitActiveWindow)
        WaitForActivationToLeave(window, kActivationWaitLimit);   // over at once without the window
    if (!IsWindow(window))
        return false;
    if (!entry.RemainActiveWindow)
        Reactivate(window);
    launcherState.lastRemainActiveWindow = static_cast<DWORD>(entry.RemainActiveWindow);
    return true;
}

void RunLaunchPass(HWND window)
{
    launcherState.launchStarted = 1;
    for (const LaunchEntry& entry : launchTable.entries)
        if (entry.Verb[0] && entry.File[0] && !RunLaunchStep(window, entry))
            return;
    launcherState.launchDone = 1;
}

// --- the message handlers -------------------------------------------------------------

void OnCreate(HWND window)
{
    RECT client;
    if (!ClientPassesSizeTest(window, &client))
        return;
    if (!OpenSettingsKey()) {
        SendMessageA(window, WM_CLOSE, 0, 0);
        return;
    }
    LoadLaunchTable();
    launcherState = LauncherState();
    BringToTop(window);
}

void OnDestroy(HWND window)
{
    CloseSettingsKey();
    KillTimer(window, kLaunchTimerId);
}

void OnEraseBackground(HWND window)
{
    HDC dc = GetDC(window);
    RECT client;
    GetClientRect(window, &client);
    FillRect(dc, &client, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    ReleaseDC(window, dc);
    if (PassesSizeTest(client)) {
        SetTimer(window, kLaunchTimerId, kLaunchTimerPeriod, nullptr);
        LoadShellExecute();
    }
}

// While the password verifier's dialog is up, its modal loop still brings the ticks here: a
// launch or a re-activation then would take the keyboard from the dialog and lock the user
// out, so the tick waits until the verification is over.
void OnTick(HWND window)
{
    if (hostState.inVerify)
        return;
    if (!launcherState.launchStarted)
        RunLaunchPass(window);
    if (launcherState.launchDone && !launcherState.lastRemainActiveWindow && !HoldsActivation(window))
        Reactivate(window);
}

}  // namespace

bool PassesSizeTest(const RECT& client)
{
    return client.right >= kMinimumLaunchWidth && client.bottom >= kMinimumLaunchHeight;
}

bool WaitForActivationToLeave(HWND window, DWORD limit)
{
    DWORD start = GetTickCount();
    while (HoldsActivation(window)) {
        if (GetTickCount() - start >= limit)   // unsigned: right across the tick count's wrap
            return false;
        // Another thread's SendMessage reaches this thread only while it retrieves messages: a
        // launched program that sends to every top-level window before it shows its own would
        // hang on the saver it is to take the activation from. The peek removes nothing, so
        // input and posted messages stay queued for after the pass, and no tick starts another.
        MsgWaitForMultipleObjects(0, nullptr, FALSE, kActivationPollInterval, QS_SENDMESSAGE);
        MSG message;
        PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE);
    }
    return true;
}

LRESULT CALLBACK LauncherSaverProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CREATE:
        OnCreate(window);
        break;
    case WM_DESTROY:
        OnDestroy(window);
        break;
    case WM_ACTIVATE:
    case WM_ACTIVATEAPP:
    case WM_NCACTIVATE:
        // Losing the activation to a launched program must never end the saver.
        return DefWindowProcA(window, message, wParam, lParam);
    case WM_ERASEBKGND:
        OnEraseBackground(window);
        break;
    case WM_TIMER:
        OnTick(window);
        break;
    }
    return DefaultSaverProc(window, message, wParam, lParam);
}
