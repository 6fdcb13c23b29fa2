// Entry points that a stock Windows 95 or NT 4 may lack, or that only one mode needs, are
// reached at run time by module and entry-point name: a static import of a missing one
// would keep the loader from starting the module at all.
#pragma once

#include <windows.h>

// The entry point `name` of `module`, loading the module from the system folder when the
// process does not have it yet; none when either is missing. A module loaded here stays for
// the life of the process.
FARPROC FindOptionalEntry(const char* module, const char* name);

template <typename Function>
Function OptionalEntry(const char* module, const char* name)
{
    return reinterpret_cast<Function>(reinterpret_cast<void*>(FindOptionalEntry(module, name)));
}
