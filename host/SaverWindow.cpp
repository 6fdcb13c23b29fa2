#include "host/SaverWindow.h"

#include "host/FaultGuard.h"
#include "host/HostState.h"
#include "host/MessagePolicy.h"
#include "host/PasswordLock.h"

const char kSaverClassName[] = "WindowsScreenSaverClass";
const char kFullScreenTitle[] = "Screen Saver";

namespace {

const char kPreviewTitle[] = "Preview";
const int kClassIconResource = 100;
const UINT kSaverClassStyle = CS_VREDRAW | CS_HREDRAW | CS_DBLCLKS | CS_OWNDC;
const DWORD kPreviewStyle = WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN;
const DWORD kFullScreenStyle = WS_POPUP | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN;

struct WindowPlacement {
    DWORD exStyle;
    DWORD style;
    const char* title;
    RECT bounds;   // left, top, width in right, height in bottom
};

WindowPlacement PreviewPlacement(HWND parent)
{
    RECT client = {};
    GetClientRect(parent, &client);
    return {0, kPreviewStyle, kPreviewTitle, {0, 0, client.right, client.bottom}};
}

// The virtual screen; a system that reports no virtual-screen size gets the clip box of
// the screen's device context.
RECT VirtualScreenBounds()
{
    RECT bounds = {GetSystemMetrics(SM_XVIRTUALSCREEN), GetSystemMetrics(SM_YVIRTUALSCREEN),
                   GetSystemMetrics(SM_CXVIRTUALSCREEN), GetSystemMetrics(SM_CYVIRTUALSCREEN)};
    if (bounds.right == 0 || bounds.bottom == 0) {
        RECT clip = {};
        HDC screen = GetDC(nullptr);
        GetClipBox(screen, &clip);
        ReleaseDC(nullptr, screen);
        bounds = {clip.left, clip.top, clip.right - clip.left, clip.bottom - clip.top};
    }
    return bounds;
}

bool BringRunningSaverForward()
{
    HWND running = FindWindowA(kSaverClassName, kFullScreenTitle);
    if (!running || !IsWindow(running))
        return false;
    SetForegroundWindow(running);
    return true;
}

LONG RunMessageLoop()
{
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return static_cast<LONG>(message.wParam);
}

}  // namespace

HWND CreateSaverWindow(HWND parent, bool* anotherSaverRuns)
{
    *anotherSaverRuns = false;

    WNDCLASSA saverClass = {};
    saverClass.style = kSaverClassStyle;
    saverClass.lpfnWndProc = GuardedProcedure<LRESULT, SaverWindowProc>;
    saverClass.hInstance = hostState.instance;
    saverClass.hIcon = LoadIconA(hostState.instance, MAKEINTRESOURCEA(kClassIconResource));
    saverClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    saverClass.lpszClassName = kSaverClassName;

    WindowPlacement placement;
    if (parent) {
        placement = PreviewPlacement(parent);
        hostState.isPreview = 1;
    } else {
        placement = {WS_EX_TOPMOST, kFullScreenStyle, kFullScreenTitle, VirtualScreenBounds()};
        if (BringRunningSaverForward()) {
            *anotherSaverRuns = true;
            return nullptr;
        }
        hostState.lastAcLineStatus = ReadAcLineStatus();
        LoadPasswordVerifier();
    }

    hostState.autoPlayMessage = hostState.isWin9x ? RegisterWindowMessageA("QueryCancelAutoPlay") : 0;

    if (RegisterClassA(&saverClass)) {
        hostState.saverWindow = CreateWindowExA(placement.exStyle, kSaverClassName, placement.title, placement.style,
                                                placement.bounds.left, placement.bounds.top, placement.bounds.right,
                                                placement.bounds.bottom, parent, nullptr, hostState.instance, nullptr);
    }
    return hostState.saverWindow;
}

LONG RunSaverWindow(HWND parent)
{
    bool anotherSaverRuns;
    HWND window = CreateSaverWindow(parent, &anotherSaverRuns);
    if (anotherSaverRuns)
        return 0;

    LONG result = 0;
    if (window) {
        if (!hostState.isPreview)
            SetForegroundWindow(window);
        result = RunMessageLoop();
    }
    UnloadPasswordVerifier();
    return result;
}
