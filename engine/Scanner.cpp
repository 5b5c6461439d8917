// Searching one file: reads it whole into the worker's buffer, or maps it
// when it is large, and hands its bytes to the line scanner.
#include "engine/Scanner.h"
#include "engine/FaultGuard.h"
#include "engine/LineScan.h"

// The buffer grows in whole units of the platform's allocation granularity.
#define READ_BUFFER_STEP 0x10000u

// The worker's read buffer: grown when a file needs more, freed when the walk
// is over.
static BYTE* ReadBuffer;
static DWORD ReadBufferBytes;

void ReleaseReadBuffer()
{
    if (ReadBuffer)
        VirtualFree(ReadBuffer, 0, MEM_RELEASE);
    ReadBuffer = NULL;
    ReadBufferBytes = 0;
}

// Reads up to size bytes of the file into the buffer; returns how many came,
// 0 on failure. A file that grew since its size was taken is read as far as
// that size, one that shrank as far as it goes.
static DWORD ReadWhole(HANDLE file, DWORD size)
{
    if (size > ReadBufferBytes) {
        ReleaseReadBuffer();
        DWORD bytes = (size + READ_BUFFER_STEP - 1) & ~(READ_BUFFER_STEP - 1);
        ReadBuffer = (BYTE*)VirtualAlloc(NULL, bytes, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
        if (!ReadBuffer)
            return 0;
        ReadBufferBytes = bytes;
    }
    DWORD got = 0;
    if (!ReadFile(file, ReadBuffer, size, &got, NULL))
        return 0;
    return got;
}

// Maps the file and scans the view; the view may fault if the file is cut
// short meanwhile.
static void SearchMapped(HANDLE file, ULONGLONG size, ReportName* name, SearchRequest* request)
{
    HANDLE mapping = CreateFileMappingW(file, NULL, PAGE_READONLY, 0, 0, NULL);
    if (!mapping)
        return;
    const BYTE* view = (const BYTE*)MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0);
    if (view) {
        ScanMappedView(view, size, name, request);
        UnmapViewOfFile(view);
    }
    CloseHandle(mapping);
}

void SearchFileAs(const WCHAR* openPath, const WCHAR* shownPath, SearchRequest* request)
{
    // Sequential: the hint lets the system read ahead and need not keep
    // what was read.
    HANDLE file = CreateFileW(openPath, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING,
                              FILE_FLAG_SEQUENTIAL_SCAN, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return;
    ReportName name = {shownPath, openPath, FALSE};
    LARGE_INTEGER size;
    // An empty file has nothing to search, not even an empty line.
    if (GetFileSizeEx(file, &size) && size.QuadPart > 0) {
        if ((ULONGLONG)size.QuadPart <= READ_WHOLE_BYTES) {
            DWORD got = ReadWhole(file, (DWORD)size.QuadPart);
            if (got > 0)
                ScanBytes(ReadBuffer, got, &name, request);
        } else {
            SearchMapped(file, (ULONGLONG)size.QuadPart, &name, request);
        }
    }
    CloseHandle(file);
}

void SearchFile(const WCHAR* path, SearchRequest* request)
{
    SearchFileAs(path, path, request);
}
