// A guard around the scan of a mapped view. The compiler has no structured
// exception handling, so a vectored handler catches a fault inside the view
// on a guarded thread and resumes that thread in a function that jumps back
// to where the scan began. The scan holds no resources of its own, so
// nothing is left behind by skipping its frames.
#include "engine/scan/FaultGuard.h"
#include "engine/scan/LineScanner.h"

// Each scanning thread's guard while it scans a view, NULL otherwise, in a
// thread-local slot that the handler reads on the faulting thread.
static DWORD GuardSlot = TLS_OUT_OF_INDEXES;
static INIT_ONCE GuardSetUp = INIT_ONCE_STATIC_INIT;

static void __attribute__((noinline, noreturn)) LeaveFaultedScan()
{
    FaultGuard* guard = (FaultGuard*)TlsGetValue(GuardSlot);
    __builtin_longjmp(guard->jump, 1);
}

static LONG CALLBACK CatchViewFault(EXCEPTION_POINTERS* exception)
{
    const EXCEPTION_RECORD* record = exception->ExceptionRecord;
    FaultGuard* guard = (FaultGuard*)TlsGetValue(GuardSlot);
    if (!guard)
        return EXCEPTION_CONTINUE_SEARCH;
    if (record->ExceptionCode != EXCEPTION_ACCESS_VIOLATION && record->ExceptionCode != EXCEPTION_IN_PAGE_ERROR)
        return EXCEPTION_CONTINUE_SEARCH;
    // Any other fault is a fault of the program and must not be hidden.
    const BYTE* address = record->NumberParameters >= 2 ? (const BYTE*)record->ExceptionInformation[1] : NULL;
    if (address < guard->start || address >= guard->end)
        return EXCEPTION_CONTINUE_SEARCH;
    // Resume as if LeaveFaultedScan had been called at the fault, on an
    // aligned stack below the faulting frame.
    CONTEXT* context = exception->ContextRecord;
    context->Rsp = (context->Rsp & ~(DWORD64)15) - 8;
    context->Rip = (DWORD64)LeaveFaultedScan;
    return EXCEPTION_CONTINUE_EXECUTION;
}

static BOOL CALLBACK SetUpGuards(INIT_ONCE*, void*, void**)
{
    GuardSlot = TlsAlloc();
    return GuardSlot != TLS_OUT_OF_INDEXES && AddVectoredExceptionHandler(1, CatchViewFault) != NULL;
}

// Split from ScanMappedView so that what lives across the jump is only what
// this frame saved in memory.
static void __attribute__((noinline)) GuardedScan(const BYTE* view, ULONGLONG size, FileReport* report,
                                                  const SearchRequest* request, ScanWorkspace* workspace)
{
    FaultGuard* guard = &workspace->guard;
    if (__builtin_setjmp(guard->jump)) {
        TlsSetValue(GuardSlot, NULL);
        return;
    }
    guard->start = view;
    guard->end = view + size;
    TlsSetValue(GuardSlot, guard);
    ScanBytes(view, size, report, request, workspace);
    TlsSetValue(GuardSlot, NULL);
}

void ScanMappedView(const BYTE* view, ULONGLONG size, FileReport* report, const SearchRequest* request,
                    ScanWorkspace* workspace)
{
    // Without a guard a fault in the view would end the program: not scanned.
    if (!InitOnceExecuteOnce(&GuardSetUp, SetUpGuards, NULL, NULL))
        return;
    GuardedScan(view, size, report, request, workspace);
}
