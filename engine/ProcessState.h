// The process-wide state that the user-interface thread and the worker share.
#pragma once
#include <windows.h>
#include <atomic>

// The report writer: the program entry sets it up before the search and
// releases it after; only the worker writes through it in between.
struct ReportBuffer {
    BYTE* base;     // 8192 bytes from the global heap, zero-filled
    DWORD used;     // bytes waiting in the buffer
    BYTE* cursor;   // where the next byte goes, always base + used
    HANDLE handle;  // inherited standard output or the desktop report file
    DWORD whole;    // bytes in the buffer up to the end of its last whole report line
    ULONGLONG lines;  // report lines written so far, counted by the worker
    DWORD failure;    // the system's error code of the first write that failed, or 0;
                      // set by the worker, read by the entry after the search
};

extern ReportBuffer OutputBuffer;

// Set to 1 by the progress dialog's Cancel button, or by a report write that
// failed, and never reset; the worker reads it afresh at every poll.
extern std::atomic<LONG> StopRequested;
