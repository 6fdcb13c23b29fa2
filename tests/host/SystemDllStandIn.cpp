// Stand-in for a system DLL that a copy lying beside the module could replace: loading it is
// what matters, so it records in the test bed, under its own file name, that it was loaded.
#include "tests/password/TestBed.h"

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, void*)
{
    char path[MAX_PATH];
    if (reason == DLL_PROCESS_ATTACH && GetModuleFileNameA(instance, path, sizeof path))
        Put(PathFindFileNameA(path), 1);
    return TRUE;
}
