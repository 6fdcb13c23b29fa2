// Stand-in for the platform's MPR.DLL: records the window a screen-saver password change was asked
// for. Its copies stand for a PASSWORD.CPL without VerifyScreenSavePwd and for system DLLs that the
// module must not take from beside itself: each load is recorded under the file's name.
#include "tests/password/TestBed.h"

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, void*)
{
    char path[MAX_PATH];
    if (reason == DLL_PROCESS_ATTACH && GetModuleFileNameA(instance, path, sizeof path))
        Put(PathFindFileNameA(path), 1);
    return TRUE;
}

extern "C" __declspec(dllexport) DWORD WINAPI PwdChangePasswordA(LPCSTR provider, HWND parent, DWORD reserved1,
                                                                 DWORD reserved2)
{
    if (lstrcmpA(provider, "SCRSAVE") == 0 && reserved1 == 0 && reserved2 == 0)
        Put("ChangeParent", HandleToULong(parent));
    return 1;
}
