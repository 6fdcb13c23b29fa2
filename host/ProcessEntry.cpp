// The module links no C runtime: the process starts here, and the two memory routines
// that the compiler may call for copies and zero fills are these.
#include <cstddef>

#include "host/Startup.h"

extern "C" void WinMainCRTStartup()
{
    HostStartup();
}

extern "C" void* memset(void* destination, int value, size_t count)
{
    void* start = destination;
    __asm__ volatile("rep stosb" : "+D"(destination), "+c"(count) : "a"(value) : "memory");
    return start;
}

extern "C" void* memcpy(void* destination, const void* source, size_t count)
{
    void* start = destination;
    __asm__ volatile("rep movsb" : "+D"(destination), "+S"(source), "+c"(count) : : "memory");
    return start;
}
