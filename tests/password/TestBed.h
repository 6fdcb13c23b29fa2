// The stand-in platform modules and the tests meet in the registry: the tests store the
// answer, the stand-ins record what they saw. Only the saver's one thread writes while a
// test waits, so a plain read and write is enough.
#pragma once

#include <windows.h>
#include <shlwapi.h>

const char kTestBedKey[] = "Software\\FerrowindTestBed";
const DWORD kFaultAnswer = 0xFA17;    // PASSWORD.CPL faults instead of answering
const DWORD kDialogAnswer = 0xD1A1;   // PASSWORD.CPL asks for kTypedPassword in its dialog
const char kTypedPassword[] = "secret";

inline void Put(const char* name, DWORD value)
{
    SHSetValueA(HKEY_CURRENT_USER, kTestBedKey, name, REG_DWORD, &value, sizeof value);
}

inline DWORD Get(const char* name, DWORD absent = 0)
{
    DWORD size = sizeof absent;
    SHGetValueA(HKEY_CURRENT_USER, kTestBedKey, name, nullptr, &absent, &size);
    return absent;
}

inline BOOL SaverRunning()
{
    BOOL running = FALSE;
    SystemParametersInfoA(0x0072 /* SPI_GETSCREENSAVERRUNNING */, 0, &running, 0);
    return running;
}
