#include "host/OptionalEntry.h"

FARPROC FindOptionalEntry(const char* module, const char* name)
{
    HMODULE loaded = GetModuleHandleA(module);
    if (!loaded)
        loaded = LoadLibraryA(module);
    return loaded ? GetProcAddress(loaded, name) : nullptr;
}
