// Stand-in for the platform's PASSWORD.CPL: VerifyScreenSavePwd answers what the test
// stored, faults when told to, or, like the system's, shows its modal dialog owned by the
// saver window and accepts the password typed there.
#include "tests/password/TestBed.h"

namespace {

HINSTANCE module;

INT_PTR CALLBACK PasswordDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    char typed[32] = "";
    switch (message) {
    case WM_INITDIALOG:
        return TRUE;   // the focus goes to the edit box
    case WM_COMMAND:
        if (LOWORD(wParam) != IDOK)
            return FALSE;
        GetDlgItemTextA(dialog, 100, typed, sizeof typed);
        EndDialog(dialog, lstrcmpA(typed, kTypedPassword) == 0);
        return TRUE;
    }
    return FALSE;
}

}  // namespace

extern "C" __declspec(dllexport) BOOL WINAPI VerifyScreenSavePwd(HWND saver)
{
    Put("Calls", Get("Calls") + 1);
    Put("Window", HandleToULong(saver));
    Put("RunningAtCall", SaverRunning());
    volatile int* nowhere = nullptr;
    if (Get("Answer") == kFaultAnswer)
        *nowhere = 0;
    if (Get("Answer") == kDialogAnswer)
        return static_cast<BOOL>(DialogBoxParamA(module, MAKEINTRESOURCEA(1), saver, PasswordDialogProc, 0));
    return Get("Answer");
}

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, void*)
{
    module = instance;
    // After a fault the guard ends the process with this module still loaded: the last
    // word of the saver's process to the system is then read here.
    if (reason == DLL_PROCESS_DETACH)
        Put("RunningAtDetach", SaverRunning());
    return TRUE;
}
