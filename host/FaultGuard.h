// The fault guards: a structured exception that escapes the running mode, or the saver
// window's or the settings dialog's procedure, is handed to the platform's unhandled-exception
// filter.
#pragma once

#include <windows.h>

typedef LONG (*GuardedMode)(const char* commandTail);

// Runs mode(commandTail) and stores its result. Returns false when a fault escaped the
// mode and the platform's filter chose to let the guard handle it; the mode's frames are
// then unwound and *result is untouched.
bool RunUnderFaultGuard(GuardedMode mode, const char* commandTail, LONG* result);

// What the guards' handlers share: unwinding passes are passed over; otherwise the platform's
// filter is asked, and on EXCEPTION_EXECUTE_HANDLER `takeOver` ends the fault's course (it does
// not return). Any other answer goes back to the platform as the filter gave it.
typedef void (*FaultTakeOver)(EXCEPTION_RECORD* exception, void* establisherFrame, void* dispatch);
EXCEPTION_DISPOSITION AnswerFault(EXCEPTION_RECORD* exception, void* establisherFrame, CONTEXT* context,
                                  void* dispatch, FaultTakeOver takeOver);

// The procedure guard's handler: when the filter lets it handle a fault, the saver-running flag
// is cleared and the process ends with -1 right there. Nothing is unwound: between the fault and
// the guard there may lie a call-back of the system, which no handler may unwind across.
extern "C" EXCEPTION_DISPOSITION ProcedureGuardHandler(EXCEPTION_RECORD* exception, void* establisherFrame,
                                                       CONTEXT* context, void* dispatch);

#ifndef _WIN64
// Links `record`, in the caller's frame, at the head of the thread's exception chain with the
// procedure guard's handler; unlinking puts back the head it found.
void LinkProcedureGuard(EXCEPTION_REGISTRATION_RECORD* record);
void UnlinkProcedureGuard(EXCEPTION_REGISTRATION_RECORD* record);
#endif

// The entry through which the system calls `procedure`. The system delivers many messages by a
// call-back into the module (a new window's first messages, messages sent from another thread,
// a dialog's messages while it is built), where the mode guard's frame is out of reach; so the
// entry's own frame carries the procedure guard, whichever way the message came.
template <typename Result, Result (CALLBACK* procedure)(HWND, UINT, WPARAM, LPARAM)>
Result CALLBACK GuardedProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
#ifdef _WIN64
    // The platform finds the handler through this function's unwind data. An instruction
    // between the call and the epilogue: no handler is called for a frame whose return address
    // lies in its epilogue.
    __asm__(".seh_handler ProcedureGuardHandler, @except");
    Result result = procedure(window, message, wParam, lParam);
    __asm__ volatile("nop" : "+r"(result));
#else
    EXCEPTION_REGISTRATION_RECORD record;
    LinkProcedureGuard(&record);
    Result result = procedure(window, message, wParam, lParam);
    UnlinkProcedureGuard(&record);
#endif
    return result;
}
