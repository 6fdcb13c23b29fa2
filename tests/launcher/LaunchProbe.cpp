// A program for the launcher's tests to launch. It records how it was started and can take
// the activation for a while:   launch_probe.exe LOG [WINDOW_MS DELAY_MS] [more parameters]
// Each start writes its own LOG-<process id>.log (starts may overlap), which appears complete:
// start tick, wShowWindow, current folder, command line, a line each. With WINDOW_MS it then
// waits DELAY_MS, shows and activates a window and keeps it WINDOW_MS; the window's title
// becomes LOG once the activation is done.
#include <windows.h>

#include <cstdlib>
#include <fstream>
#include <string>

int main(int argc, char** argv)
{
    STARTUPINFOA startup = {};
    GetStartupInfoA(&startup);
    char folder[MAX_PATH] = "";
    GetCurrentDirectoryA(sizeof folder, folder);
    std::string name = std::string(argv[1]) + "-" + std::to_string(GetCurrentProcessId());
    std::ofstream(name + ".tmp") << GetTickCount() << "\n" << startup.wShowWindow << "\n" << folder << "\n"
                                 << GetCommandLineA() << "\n";
    MoveFileA((name + ".tmp").c_str(), (name + ".log").c_str());
    if (argc < 4)
        return 0;
    Sleep(strtoul(argv[3], nullptr, 10));
    // Shown without the activation, then activated in one step: a saver that polls for the
    // activation must not see it leave and come back.
    HWND window = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 200, 100, nullptr, nullptr, nullptr, nullptr);
    ShowWindow(window, SW_SHOWNA);
    SetForegroundWindow(window);
    SetWindowTextA(window, argv[1]);
    // A thread timer: it still ends the wait if the window goes first.
    SetTimer(nullptr, 0, strtoul(argv[2], nullptr, 10), nullptr);
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) && message.message != WM_TIMER)
        DispatchMessageA(&message);
    return 0;
}
