#include "host/OptionalEntry.h"

// By its bare name a module comes from beside this one first, unless the system holds it as a
// known DLL (COMCTL32 is none on the NT family): a copy lying where the user saved the saver
// would run in the user's session. So a module not loaded yet is loaded from the system folder
// alone. KERNEL32, always loaded, gives its GetSystemDirectoryA at run time, so that the
// module's load-time imports stay those checked against stock Windows 95 and NT 4.
FARPROC FindOptionalEntry(const char* module, const char* name)
{
    HMODULE loaded = GetModuleHandleA(module);
    if (!loaded) {
        typedef UINT(WINAPI * GetSystemDirectoryProc)(char*, UINT);
        char path[MAX_PATH + 16];   // the folder, a backslash and one of this module's short names
        UINT length = OptionalEntry<GetSystemDirectoryProc>("KERNEL32.DLL", "GetSystemDirectoryA")(path, MAX_PATH);
        if (length - 1 >= MAX_PATH - 1)   // failed, or no room
            return nullptr;
        wsprintfA(path + length, "\\%s", module);
        loaded = LoadLibraryA(path);
    }
    return loaded ? GetProcAddress(loaded, name) : nullptr;
}
