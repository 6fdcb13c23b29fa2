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

}  // namespace

extern "C" __attribute__((used)) EXCEPTION_DISPOSITION GuardHandler(EXCEPTION_RECORD* exception,
                                                                    void* establisherFrame, CONTEXT* context,
                                                                    DISPATCHER_CONTEXT* dispatch)
{
    if (exception->ExceptionFlags & (EXCEPTION_UNWINDING | EXCEPTION_EXIT_UNWIND))
        return ExceptionContinueSearch;

    EXCEPTION_POINTERS pointers = {exception, context};
    LONG answer = UnhandledExceptionFilter(&pointers);
    if (answer == EXCEPTION_EXECUTE_HANDLER) {
        // In the guard's frame the unwound instruction pointer is the return address of its
        // call of RunMode; the integer return register gets false.
        RtlUnwindEx(establisherFrame, reinterpret_cast<void*>(dispatch->ControlPc), exception, nullptr,
                    dispatch->ContextRecord, dispatch->HistoryTable);
    }
    return answer == EXCEPTION_CONTINUE_EXECUTION ? ExceptionContinueExecution : ExceptionContinueSearch;
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
