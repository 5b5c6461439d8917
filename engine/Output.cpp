// Buffered report output. A write that fails stops the search, as Cancel
// would: a report with a hole in it would look complete.
#include "engine/Output.h"
#include "engine/ProcessState.h"

static void WriteThrough(const void* bytes, DWORD length)
{
    if (OutputBuffer.failure)
        return;
    DWORD written = 0;
    if (!WriteFile(OutputBuffer.handle, bytes, length, &written, NULL)) {
        DWORD error = GetLastError();
        OutputBuffer.failure = error ? error : ERROR_WRITE_FAULT;
    } else if (written != length)
        OutputBuffer.failure = ERROR_DISK_FULL;  // a short write to a file: no room left
    if (OutputBuffer.failure)
        StopRequested.store(1);
}

void OutputStart(HANDLE handle)
{
    OutputBuffer.base = (BYTE*)GlobalAlloc(GMEM_FIXED | GMEM_ZEROINIT, OUTPUT_BUFFER_BYTES);
    OutputBuffer.used = 0;
    OutputBuffer.cursor = OutputBuffer.base;
    OutputBuffer.handle = handle;
    OutputBuffer.lines = 0;
    OutputBuffer.failure = 0;
}

void OutputRelease()
{
    if (OutputBuffer.base)
        GlobalFree(OutputBuffer.base);
    OutputBuffer.base = NULL;
    OutputBuffer.cursor = NULL;
    OutputBuffer.used = 0;
}

void OutputFlush()
{
    if (OutputBuffer.used == 0)
        return;
    WriteThrough(OutputBuffer.base, OutputBuffer.used);
    OutputBuffer.used = 0;
    OutputBuffer.cursor = OutputBuffer.base;
}

void OutputWrite(const void* bytes, DWORD length)
{
    if (OutputBuffer.used + (ULONGLONG)length >= OUTPUT_BUFFER_BYTES)
        OutputFlush();
    // A piece that could never fit goes out whole, after what was waiting.
    if (length >= OUTPUT_BUFFER_BYTES || !OutputBuffer.base) {
        WriteThrough(bytes, length);
        return;
    }
    CopyMemory(OutputBuffer.cursor, bytes, length);
    OutputBuffer.cursor += length;
    OutputBuffer.used += length;
}
