// Stand-in for the platform's PASSWORD.CPL: VerifyScreenSavePwd answers what the test
// stored, or faults when told to.
#include "tests/password/TestBed.h"

extern "C" __declspec(dllexport) BOOL WINAPI VerifyScreenSavePwd(HWND saver)
{
    Put("Calls", Get("Calls") + 1);
    Put("Window", reinterpret_cast<DWORD>(saver));
    Put("RunningAtCall", SaverRunning());
    volatile int* nowhere = nullptr;
    if (Get("Answer") == kFaultAnswer)
        *nowhere = 0;
    return Get("Answer");
}

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, void*)
{
    // After a fault the guard ends the process with this module still loaded: the last
    // word of the saver's process to the system is then read here.
    if (reason == DLL_PROCESS_DETACH)
        Put("RunningAtDetach", SaverRunning());
    return TRUE;
}
