// The size baseline: a minimal GUI program, built the module's way (no C runtime).
#include <windows.h>

extern "C" void WinMainCRTStartup()
{
    HWND window = CreateWindowExA(WS_EX_TOPMOST, "STATIC", "", WS_POPUP | WS_VISIBLE, 0, 0, 100, 100, nullptr,
                                  nullptr, GetModuleHandleA(nullptr), nullptr);
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0)
        DispatchMessageA(&message);
    ExitProcess(window != nullptr);
}
