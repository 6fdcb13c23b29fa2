// The fault guard around the running mode: a structured exception that escapes the
// mode is handed to the platform's unhandled-exception filter.
#pragma once

#include <windows.h>

typedef LONG (*GuardedMode)(const char* commandTail);

// Runs mode(commandTail) and stores its result. Returns false when a fault escaped the
// mode and the platform's filter chose to let the guard handle it; the mode's frames are
// then unwound and *result is untouched.
bool RunUnderFaultGuard(GuardedMode mode, const char* commandTail, LONG* result);
