// A program for the launcher's tests to launch. It records how it was started and can take
// the activation for a while:   launch_probe.exe LOG [WINDOW_MS DELAY_MS] [more parameters]
// Each start writes its own LOG-<process id>.log (starts may overlap), which appears complete:
// start tick, wShowWindow, STARTF_USESHOWWINDOW (0/1), current folder, command line. With
// WINDOW_MS it then waits DELAY_MS, shows and activates a window and keeps it WINDOW_MS or until
// it is closed; the window's title becomes LOG once the activation is done.
#include <windows.h>

#include <cstdlib>
#include <string>

int main(int argc, char** argv)
{
    std::string log = std::to_string(GetTickCount()) + "\n";
    STARTUPINFOA startup = {};
    GetStartupInfoA(&startup);
    char folder[MAX_PATH] = "";
    GetCurrentDirectoryA(sizeof folder, folder);
    log += std::to_string(startup.wShowWindow) + " " + std::to_string(startup.dwFlags & STARTF_USESHOWWINDOW) +
           "\n" + folder + "\n" + GetCommandLineA() + "\n";
    std::string name = std::string(argv[1]) + "-" + std::to_string(GetCurrentProcessId());
    HANDLE file = CreateFileA((name + ".tmp").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written;
    WriteFile(file, log.data(), static_cast<DWORD>(log.size()), &written, nullptr);
    CloseHandle(file);
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
    for (DWORD since = GetTickCount(); IsWindow(window) && GetTickCount() - since < strtoul(argv[2], nullptr, 10);) {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageA(&message);
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
    return 0;
}
