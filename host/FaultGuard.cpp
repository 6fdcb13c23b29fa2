#include "host/FaultGuard.h"

#include "host/PasswordLock.h"

namespace {

void EndProcess(EXCEPTION_RECORD*, void*, void*)
{
    SetSaverRunning(0);
    ExitProcess(static_cast<UINT>(-1));
}

}  // namespace

EXCEPTION_DISPOSITION AnswerFault(EXCEPTION_RECORD* exception, void* establisherFrame, CONTEXT* context,
                                  void* dispatch, FaultTakeOver takeOver)
{
    if (exception->ExceptionFlags & (EXCEPTION_UNWINDING | EXCEPTION_EXIT_UNWIND))
        return ExceptionContinueSearch;

    EXCEPTION_POINTERS pointers = {exception, context};
    LONG answer = UnhandledExceptionFilter(&pointers);
    if (answer == EXCEPTION_EXECUTE_HANDLER)
        takeOver(exception, establisherFrame, dispatch);
    return answer == EXCEPTION_CONTINUE_EXECUTION ? ExceptionContinueExecution : ExceptionContinueSearch;
}

extern "C" EXCEPTION_DISPOSITION ProcedureGuardHandler(EXCEPTION_RECORD* exception, void* establisherFrame,
                                                       CONTEXT* context, void* dispatch)
{
    return AnswerFault(exception, establisherFrame, context, dispatch, EndProcess);
}
