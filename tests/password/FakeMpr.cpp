// Stand-in for the platform's MPR.DLL: records for which window the password change was
// asked, when it was asked as the platform's own screen saver change.
#include "tests/password/TestBed.h"

extern "C" __declspec(dllexport) DWORD WINAPI PwdChangePasswordA(LPCSTR provider, HWND parent, DWORD reserved1,
                                                                 DWORD reserved2)
{
    if (lstrcmpA(provider, "SCRSAVE") == 0 && reserved1 == 0 && reserved2 == 0)
        Put("ChangeParent", HandleToULong(parent));
    return 1;
}
