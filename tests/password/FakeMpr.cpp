// Stand-in for the platform's MPR.DLL: records the window a screen-saver password change was asked
// for. Its copies stand for a PASSWORD.CPL without VerifyScreenSavePwd and for system DLLs that the
// module must take from the system folder alone: each load is recorded under the file's path.
#define WIN32_LEAN_AND_MEAN   // without SHELL32's declarations: a copy of this module stands for it
#include "tests/password/TestBed.h"

#include <string>

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, void*)
{
    char path[MAX_PATH];
    if (reason == DLL_PROCESS_ATTACH && GetModuleFileNameA(instance, path, sizeof path))
        Put(path, 1);
    return TRUE;
}

extern "C" __declspec(dllexport) DWORD WINAPI PwdChangePasswordA(LPCSTR provider, HWND parent, DWORD reserved1,
                                                                 DWORD reserved2)
{
    if (lstrcmpA(provider, "SCRSAVE") == 0 && reserved1 == 0 && reserved2 == 0)
        Put("ChangeParent", HandleToULong(parent));
    return 1;
}

// As SHELL32's: records the verb and starts the program. For the verb "prompt" it first runs a
// modal loop on the caller's thread for 3 s, as the shell's prompt for a downloaded file does; a
// quit message ends it, posted again, and the launch with it (access denied, 5).
extern "C" __declspec(dllexport) UINT_PTR WINAPI ShellExecuteA(HWND, LPCSTR verb, LPCSTR file, LPCSTR parameters,
                                                              LPCSTR, INT show)
{
    Put(verb, 1);
    MSG message;
    for (DWORD start = GetTickCount(); !lstrcmpA(verb, "prompt") && GetTickCount() - start < 3000; Sleep(5))
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE))
            if (message.message != WM_QUIT)
                DispatchMessageA(&message);
            else
                return PostQuitMessage(static_cast<int>(message.wParam)), 5;
    return WinExec(("\"" + std::string(file) + "\" " + parameters).c_str(), show);
}
