#include "host/FaultGuard.h"

// GCC has no __try on i686, so the guard links its own registration record into the
// thread's exception chain at FS:[0]. When the platform's filter says the fault is ours,
// the handler unwinds the frames above the record and jumps back into the guard.

namespace {

struct GuardFrame {
    EXCEPTION_REGISTRATION_RECORD record;   // must stay first: the handler finds the frame by it
    void* resumePoint[5];                   // __builtin_setjmp buffer
};

EXCEPTION_REGISTRATION_RECORD* ChainHead()
{
    EXCEPTION_REGISTRATION_RECORD* head;
    __asm__ volatile("movl %%fs:0, %0" : "=r"(head));
    return head;
}

void SetChainHead(EXCEPTION_REGISTRATION_RECORD* head)
{
    __asm__ volatile("movl %0, %%fs:0" : : "r"(head) : "memory");
}

// RtlUnwind on the NT family returns from a context it captured with EBX, ESI and EDI
// cleared; only ESP comes back as it was. The call is made from here, where the caller's
// registers are saved around it, so the handler finds its own values intact afterwards.
__attribute__((naked)) void __cdecl UnwindToFrame(void* /*frame*/, EXCEPTION_RECORD* /*exception*/)
{
    __asm__(
        "pushl %ebp\n\t"
        "pushl %ebx\n\t"
        "pushl %esi\n\t"
        "pushl %edi\n\t"
        "pushl $0\n\t"          // return value
        "pushl 28(%esp)\n\t"    // the exception
        "pushl $0\n\t"          // target instruction: back here
        "pushl 32(%esp)\n\t"    // the frame
        "call *__imp__RtlUnwind@16\n\t"
        "popl %edi\n\t"
        "popl %esi\n\t"
        "popl %ebx\n\t"
        "popl %ebp\n\t"
        "ret");
}

void ResumeGuard(EXCEPTION_RECORD* exception, void* establisherFrame, void*)
{
    GuardFrame* frame = static_cast<GuardFrame*>(establisherFrame);
    UnwindToFrame(establisherFrame, exception);
    __builtin_longjmp(frame->resumePoint, 1);
}

EXCEPTION_DISPOSITION __cdecl GuardHandler(EXCEPTION_RECORD* exception, void* establisherFrame, CONTEXT* context,
                                           void* dispatch)
{
    return AnswerFault(exception, establisherFrame, context, dispatch, ResumeGuard);
}

}  // namespace

void LinkProcedureGuard(EXCEPTION_REGISTRATION_RECORD* record)
{
    record->Next = ChainHead();
    record->Handler = reinterpret_cast<PEXCEPTION_ROUTINE>(ProcedureGuardHandler);
    SetChainHead(record);
}

void UnlinkProcedureGuard(EXCEPTION_REGISTRATION_RECORD* record)
{
    SetChainHead(record->Next);
}

__attribute__((noinline)) bool RunUnderFaultGuard(GuardedMode mode, const char* commandTail, LONG* result)
{
    volatile GuardFrame frame;
    frame.record.Next = ChainHead();
    frame.record.Handler = reinterpret_cast<PEXCEPTION_ROUTINE>(GuardHandler);

    if (__builtin_setjmp(const_cast<void**>(frame.resumePoint))) {
        // Back from the handler: RtlUnwind left our record at the head of the chain.
        SetChainHead(frame.record.Next);
        return false;
    }

    SetChainHead(const_cast<EXCEPTION_REGISTRATION_RECORD*>(&frame.record));
    *result = mode(commandTail);
    SetChainHead(frame.record.Next);
    return true;
}
