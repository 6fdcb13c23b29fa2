// Stand-in for the platform's MPR.DLL: records how the password change was asked for.
#include "tests/password/TestBed.h"

extern "C" __declspec(dllexport) DWORD WINAPI PwdChangePasswordA(LPCSTR provider, HWND parent, DWORD reserved1,
                                                                 DWORD reserved2)
{
    char call[1024];
    int length = wsprintfA(call, "%.200s %lu %lu %lu", provider, reinterpret_cast<DWORD>(parent), reserved1, reserved2);
    SHSetValueA(HKEY_CURRENT_USER, kTestBedKey, "ChangeCall", REG_SZ, call, length + 1);
    return 1;
}
