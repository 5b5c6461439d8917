// Buffered report output. The destination gets whole report lines: a line
// that would not fit waits in the buffer for the next write. A write that
// fails stops the search, as Cancel would: a report with a hole in it would
// look complete.
#include "engine/Output.h"
#include "engine/ProcessState.h"

// A console shows characters, not bytes: the report's ANSI bytes are shown as
// the characters they stand for, whatever the console's own code page is.
static BOOL ToConsole;
static WCHAR ConsoleText[OUTPUT_BUFFER_BYTES];
// A file on disk, which a failed write can leave with part of a line.
static BOOL ToFile;
// The report file keeps part of a line that it could not be cut back from.
static BOOL LastLineCut;

static BOOL WriteToConsole(const void* bytes, DWORD length, DWORD* written)
{
    *written = 0;
    while (length > 0) {
        // A piece longer than the buffer (a single huge write) goes in parts.
        DWORD part = length < OUTPUT_BUFFER_BYTES ? length : OUTPUT_BUFFER_BYTES;
        int units = MultiByteToWideChar(CP_ACP, 0, (const char*)bytes, (int)part, ConsoleText,
                                        OUTPUT_BUFFER_BYTES);
        DWORD shown;
        if (units <= 0 || !WriteConsoleW(OutputBuffer.handle, ConsoleText, (DWORD)units, &shown, NULL))
            return FALSE;
        *written += part;
        bytes = (const BYTE*)bytes + part;
        length -= part;
    }
    return TRUE;
}

// Cuts a report file back to the last line end among the bytes of a failed
// write that got in (the bytes start a line, and only a line end is an LF).
// The file's position tells how many got in: a failed write may say none.
// Where the platform refuses to cut (under Wine, a handle the shell opened),
// the part of a line stays and LastLineCut says so.
static void CutBackToWholeLine(const void* bytes, DWORD length, LARGE_INTEGER before)
{
    LARGE_INTEGER zero, after;
    zero.QuadPart = 0;
    if (!SetFilePointerEx(OutputBuffer.handle, zero, &after, FILE_CURRENT))
        return;
    LONGLONG got = after.QuadPart - before.QuadPart;
    if (got <= 0 || got > (LONGLONG)length)
        return;
    DWORD whole = (DWORD)got;
    while (whole > 0 && ((const BYTE*)bytes)[whole - 1] != '\n')
        whole--;
    if (whole == got)
        return;
    LARGE_INTEGER end;
    end.QuadPart = before.QuadPart + whole;
    if (!SetFilePointerEx(OutputBuffer.handle, end, NULL, FILE_BEGIN) || !SetEndOfFile(OutputBuffer.handle))
        LastLineCut = TRUE;
}

static void WriteThrough(const void* bytes, DWORD length)
{
    if (OutputBuffer.failure)
        return;
    LARGE_INTEGER before, zero;
    zero.QuadPart = 0;
    if (ToFile && !SetFilePointerEx(OutputBuffer.handle, zero, &before, FILE_CURRENT))
        before.QuadPart = -1;
    DWORD written = 0;
    BOOL done = ToConsole ? WriteToConsole(bytes, length, &written)
                          : WriteFile(OutputBuffer.handle, bytes, length, &written, NULL);
    if (!done) {
        DWORD error = GetLastError();
        OutputBuffer.failure = error ? error : ERROR_WRITE_FAULT;
    } else if (written != length)
        OutputBuffer.failure = ERROR_DISK_FULL;  // a short write to a file: no room left
    if (!OutputBuffer.failure)
        return;
    if (ToFile && before.QuadPart >= 0)
        CutBackToWholeLine(bytes, length, before);
    StopRequested.store(1);
}

void OutputStart(HANDLE handle)
{
    OutputBuffer.base = (BYTE*)GlobalAlloc(GMEM_FIXED | GMEM_ZEROINIT, OUTPUT_BUFFER_BYTES);
    OutputBuffer.used = 0;
    OutputBuffer.cursor = OutputBuffer.base;
    OutputBuffer.handle = handle;
    OutputBuffer.whole = 0;
    OutputBuffer.lines = 0;
    OutputBuffer.failure = 0;
    LastLineCut = FALSE;
    DWORD mode;
    ToConsole = GetConsoleMode(handle, &mode);
    ToFile = GetFileType(handle) == FILE_TYPE_DISK;
}

void OutputRelease()
{
    if (OutputBuffer.base)
        GlobalFree(OutputBuffer.base);
    OutputBuffer.base = NULL;
    OutputBuffer.cursor = NULL;
    OutputBuffer.used = 0;
    OutputBuffer.whole = 0;
}

void OutputFlush()
{
    if (OutputBuffer.used == 0)
        return;
    WriteThrough(OutputBuffer.base, OutputBuffer.used);
    OutputBuffer.used = 0;
    OutputBuffer.cursor = OutputBuffer.base;
    OutputBuffer.whole = 0;
}

// Writes out the whole lines that wait and moves the start of the line being
// written, if any, to the front of the buffer.
static void FlushWholeLines()
{
    DWORD whole = OutputBuffer.whole;
    if (whole == 0)
        return;
    WriteThrough(OutputBuffer.base, whole);
    DWORD rest = OutputBuffer.used - whole;
    // Moved in steps no longer than the distance, so that no step overlaps
    // itself: memcpy is all the program takes from the C library.
    for (DWORD done = 0; done < rest; done += whole) {
        DWORD step = rest - done < whole ? rest - done : whole;
        CopyMemory(OutputBuffer.base + done, OutputBuffer.base + whole + done, step);
    }
    OutputBuffer.used = rest;
    OutputBuffer.cursor = OutputBuffer.base + rest;
    OutputBuffer.whole = 0;
}

void OutputWrite(const void* bytes, DWORD length)
{
    if (OutputBuffer.used + (ULONGLONG)length >= OUTPUT_BUFFER_BYTES)
        FlushWholeLines();
    // Still no room (no line ended yet): everything waiting goes out.
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

void OutputEndLine()
{
    OutputBuffer.lines++;
    OutputBuffer.whole = OutputBuffer.used;
}

BOOL OutputReaderGone()
{
    // Windows says ERROR_NO_DATA or ERROR_BROKEN_PIPE; Wine says
    // ERROR_PIPE_NOT_CONNECTED for a Unix pipe whose reader has closed.
    DWORD failure = OutputBuffer.failure;
    return failure == ERROR_NO_DATA || failure == ERROR_BROKEN_PIPE || failure == ERROR_PIPE_NOT_CONNECTED;
}

BOOL OutputLastLineCut()
{
    return LastLineCut;
}
