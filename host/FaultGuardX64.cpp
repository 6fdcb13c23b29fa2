#include "host/FaultGuard.h"

// On x86-64 the platform finds a frame's exception handler through the unwind data of its
// function, not through a chain on the thread. The guard's function names GuardHandler as its
// handler. When the platform's filter says the fault is ours, the handler unwinds every frame
// above the guard and resumes the guard right behind its call of RunMode, as though that call
// had returned false.

namespace {

__attribute__((noinline)) bool RunMode(GuardedMode mode, const char* commandTail, LONG* result)
{
    *result = mode(commandTail);
    return true;
}

// In the guard's frame the unwound instruction pointer is the return address of its call of
// RunMode; the integer return register gets false.
void ResumeGuard(EXCEPTION_RECORD* exception, void* establisherFrame, void* dispatch)
{
    DISPATCHER_CONTEXT* guard = static_cast<DISPATCHER_CONTEXT*>(dispatch);
    RtlUnwindEx(establisherFrame, reinterpret_cast<void*>(guard->ControlPc), exception, nullptr,
                guard->ContextRecord, guard->HistoryTable);
}

}  // namespace

extern "C" __attribute__((used)) EXCEPTION_DISPOSITION GuardHandler(EXCEPTION_RECORD* exception,
                                                                    void* establisherFrame, CONTEXT* context,
                                                                    DISPATCHER_CONTEXT* dispatch)
{
    return AnswerFault(exception, establisherFrame, context, dispatch, ResumeGuard);
}

__attribute__((noinline)) bool RunUnderFaultGuard(GuardedMode mode, const char* commandTail, LONG* result)
{
    __asm__(".seh_handler GuardHandler, @except");
    bool ran = RunMode(mode, commandTail, result);
    // No tail call: this frame must stay below the mode's. And an instruction between the call
    // and the epilogue: the platform calls no handler of a frame whose return address lies in
    // its epilogue.
    __asm__ volatile("nop" : "+r"(ran));
    return ran;
}
