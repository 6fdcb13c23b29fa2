// The baseline for the benchmarks: the least a full-screen saver does, built the module's way
// (no C runtime). One topmost black pop-up over the virtual screen that ends on a key press;
// "/timer" adds a 100 ms timer.
#include <windows.h>

static LRESULT CALLBACK BareProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_KEYDOWN)
        DestroyWindow(window);
    else if (message == WM_DESTROY)
        PostQuitMessage(0);
    return DefWindowProcA(window, message, wParam, lParam);
}

extern "C" void WinMainCRTStartup()
{
    HINSTANCE instance = GetModuleHandleA(nullptr);
    static WNDCLASSA bareClass;
    bareClass.lpfnWndProc = BareProc;
    bareClass.hInstance = instance;
    bareClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    bareClass.lpszClassName = "BareSaver";
    RegisterClassA(&bareClass);
    HWND window = CreateWindowExA(WS_EX_TOPMOST, "BareSaver", "Bare", WS_POPUP | WS_VISIBLE,
                                  GetSystemMetrics(SM_XVIRTUALSCREEN), GetSystemMetrics(SM_YVIRTUALSCREEN),
                                  GetSystemMetrics(SM_CXVIRTUALSCREEN), GetSystemMetrics(SM_CYVIRTUALSCREEN),
                                  nullptr, nullptr, instance, nullptr);
    SetForegroundWindow(window);
    const char* commandLine = GetCommandLineA();
    if (lstrcmpA(commandLine + lstrlenA(commandLine) - 6, "/timer") == 0)
        SetTimer(window, 1, 100, nullptr);
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    ExitProcess(0);
}
