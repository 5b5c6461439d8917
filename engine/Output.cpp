// Buffered report output. Write errors are never examined: a failed write
// loses its bytes and the search goes on.
#include "engine/Output.h"
#include "engine/ProcessState.h"

static void WriteThrough(const void* bytes, DWORD length)
{
    DWORD written;
    WriteFile(OutputBuffer.handle, bytes, length, &written, NULL);
}

void OutputStart(HANDLE handle)
{
    OutputBuffer.base = (BYTE*)GlobalAlloc(GMEM_FIXED | GMEM_ZEROINIT, OUTPUT_BUFFER_BYTES);
    OutputBuffer.used = 0;
    OutputBuffer.cursor = OutputBuffer.base;
    OutputBuffer.handle = handle;
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
