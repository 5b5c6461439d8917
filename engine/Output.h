// Buffered report output: every hit leaves the program through OutputWrite.
#pragma once
#include <windows.h>

#define OUTPUT_BUFFER_BYTES 8192

// Allocates the buffer and aims it at handle. Without a buffer the writes go
// straight to the handle.
void OutputStart(HANDLE handle);
// Frees the buffer; call OutputFlush first to keep what waits in it.
void OutputRelease();

// Appends bytes, first writing out what waits when they would fill the buffer.
// After a failed write nothing more is written: the failure is kept in
// OutputBuffer.failure, StopRequested is set, and a report file is cut back
// to its last whole line.
void OutputWrite(const void* bytes, DWORD length);
// Writes out whatever waits in the buffer.
void OutputFlush();
// Marks the end of a report line: counts it, and lets the buffer write out
// everything up to here when it runs full. Without line ends marked the
// buffer writes out whatever waits.
void OutputEndLine();
// TRUE when a failed write left the start of a line at the end of a report
// file that the platform would not cut back.
BOOL OutputLastLineCut();
// TRUE when the report went to a pipe whose reader has closed it, as a
// pager or "head" does when it has read enough: normal use, not a failure.
BOOL OutputReaderGone();
