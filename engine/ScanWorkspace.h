// What one scanning thread owns while it searches files, one after the other:
// nothing in it is shared with another thread, and nothing in it is allocated
// per file or per line.
#pragma once
#include "engine/FaultGuard.h"
#include "engine/Report.h"

struct ScanWorkspace {
    BYTE* readBuffer;        // files read whole go here; grown when a file needs more
    DWORD readBufferBytes;
    ReportNameRoom names;    // the report's name of the file being searched
    FaultGuard guard;        // resumes the thread after a fault in a mapped view
    BYTE pattern[NEEDLE_BYTES + 1];  // the pattern of the pass under way: the needle or one of its "&" variants
};

// A workspace from the system's pages, or NULL without memory.
ScanWorkspace* NewScanWorkspace();
// Frees the workspace and its read buffer.
void FreeScanWorkspace(ScanWorkspace* workspace);
