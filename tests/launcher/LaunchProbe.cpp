// A program for the launcher's tests to launch:  launch_probe.exe LOG [WINDOW_MS DELAY_MS] [more]
// Each start writes its own LOG-<process id>.log (starts may overlap), complete when it appears, a
// line each: start tick; system-clock ms of its creation (the launch, before Wine started it);
// wShowWindow; current folder; command line. With WINDOW_MS it first waits DELAY_MS, then
// activates a window, kept WINDOW_MS and titled LOG after the log.
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
    ULARGE_INTEGER created;   // the FILETIME, in 100 ns
    FILETIME unused;
    GetProcessTimes(GetCurrentProcess(), reinterpret_cast<FILETIME*>(&created), &unused, &unused, &unused);
    HWND window = nullptr;
    if (argc >= 4) {
        Sleep(strtoul(argv[3], nullptr, 10));
        // Shown, then activated in one step: a polling saver must not see the activation leave and return.
        window = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 200, 100, nullptr, nullptr, nullptr, nullptr);
        ShowWindow(window, SW_SHOWNA);
        SetForegroundWindow(window);
    }
    std::string name = std::string(argv[1]) + "-" + std::to_string(GetCurrentProcessId());
    std::ofstream(name + ".tmp") << GetTickCount() << "\n" << DWORD(created.QuadPart / 10000)
                                 << "\n" << startup.wShowWindow << "\n" << folder << "\n" << GetCommandLineA() << "\n";
    MoveFileA((name + ".tmp").c_str(), (name + ".log").c_str());
    if (!window)
        return 0;
    SetWindowTextA(window, argv[1]);
    // A thread timer: it still ends the wait if the window goes first.
    SetTimer(nullptr, 0, strtoul(argv[2], nullptr, 10), nullptr);
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) && message.message != WM_TIMER)
        DispatchMessageA(&message);
    return 0;
}
