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
// OutputBuffer.failure and StopRequested is set.
void OutputWrite(const void* bytes, DWORD length);
// Writes out whatever waits in the buffer.
void OutputFlush();
