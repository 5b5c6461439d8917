// Scanning a mapped view that may fault.
#pragma once
#include <windows.h>

struct ScanWorkspace;
struct FileReport;
struct SearchRequest;

// One scanning thread's guard: where to resume after a fault in its view.
struct FaultGuard {
    void* jump[5];  // __builtin_setjmp's buffer: frame, resume address, stack
    const BYTE* start;
    const BYTE* end;
};

// Scans the mapped view like ScanBytes, with the workspace's guard. Reading a
// view faults when another program cuts the file short, or on an in-page
// error of network or removable media; the scan then ends where the readable
// bytes ended, with the hits found so far reported.
void ScanMappedView(const BYTE* view, ULONGLONG size, FileReport* report, const SearchRequest* request,
                    ScanWorkspace* workspace);
