// A guard around the scan of a mapped view. The compiler has no structured
// exception handling, so a vectored handler catches a fault inside the view
// on the guarded thread and resumes that thread in a function that jumps
// back to where the scan began. The scan holds no resources of its own, so
// nothing is left behind by skipping its frames.
#include "engine/FaultGuard.h"
#include "engine/LineScan.h"

// The guard, set and cleared by the worker around one scan.
static void* GuardJump[5];  // __builtin_setjmp's buffer: frame, resume address, stack
static const BYTE* volatile GuardStart;
static const BYTE* volatile GuardEnd;
static volatile DWORD GuardThread;
static char SavedNeedle[NEEDLE_BYTES];

static void __attribute__((noinline, noreturn)) LeaveFaultedScan()
{
    __builtin_longjmp(GuardJump, 1);
}

static LONG CALLBACK CatchViewFault(EXCEPTION_POINTERS* exception)
{
    const EXCEPTION_RECORD* record = exception->ExceptionRecord;
    if (GuardThread != GetCurrentThreadId())
        return EXCEPTION_CONTINUE_SEARCH;
    if (record->ExceptionCode != EXCEPTION_ACCESS_VIOLATION && record->ExceptionCode != EXCEPTION_IN_PAGE_ERROR)
        return EXCEPTION_CONTINUE_SEARCH;
    // Any other fault is a fault of the program and must not be hidden.
    const BYTE* address = record->NumberParameters >= 2 ? (const BYTE*)record->ExceptionInformation[1] : NULL;
    if (address < GuardStart || address >= GuardEnd)
        return EXCEPTION_CONTINUE_SEARCH;
    // Resume as if LeaveFaultedScan had been called at the fault, on an
    // aligned stack below the faulting frame.
    CONTEXT* context = exception->ContextRecord;
    context->Rsp = (context->Rsp & ~(DWORD64)15) - 8;
    context->Rip = (DWORD64)LeaveFaultedScan;
    return EXCEPTION_CONTINUE_EXECUTION;
}

// Split from ScanMappedView so that what lives across the jump is only what
// this frame saved in memory.
static BOOL __attribute__((noinline)) GuardedScan(const BYTE* view, ULONGLONG size, ReportName* name,
                                                   SearchRequest* request)
{
    if (__builtin_setjmp(GuardJump)) {
        GuardThread = 0;
        return FALSE;
    }
    GuardStart = view;
    GuardEnd = view + size;
    GuardThread = GetCurrentThreadId();
    ScanBytes(view, size, name, request);
    GuardThread = 0;
    return TRUE;
}

void ScanMappedView(const BYTE* view, ULONGLONG size, ReportName* name, SearchRequest* request)
{
    static PVOID handler;
    if (!handler)
        handler = AddVectoredExceptionHandler(1, CatchViewFault);
    int length = request->needleLength;
    if (length < 0 || length >= NEEDLE_BYTES)
        return;
    CopyMemory(SavedNeedle, request->needle, length + 1);
    // A fault leaves the needle with its "&" wherever the pass had moved it.
    if (!GuardedScan(view, size, name, request))
        CopyMemory(request->needle, SavedNeedle, length + 1);
}
