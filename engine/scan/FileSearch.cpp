// Searching one file: reads it whole into the thread's buffer, or maps it
// when it is large, and hands its bytes to the line scanner.
#include "engine/scan/FileSearch.h"
#include "engine/scan/LineScanner.h"
#include "engine/StopFlag.h"
#include "engine/scan/ScanWorkspace.h"
#include "engine/text/TextForm.h"
#include "engine/text/VectorSearch.h"

// The buffer grows in whole units of the platform's allocation granularity.
#define READ_BUFFER_STEP 0x10000u

// Reads up to size bytes of the file into the buffer; sets *got to how many
// came and returns 0, or the system's error code. A file that grew since its
// size was taken is read as far as that size, one that shrank as far as it
// goes.
static DWORD ReadWhole(HANDLE file, DWORD size, ScanWorkspace* workspace, DWORD* got)
{
    *got = 0;
    if (size > workspace->readBufferBytes) {
        ReleaseReadBuffer(workspace);
        DWORD bytes = (size + READ_BUFFER_STEP - 1) & ~(READ_BUFFER_STEP - 1);
        workspace->readBuffer = (BYTE*)VirtualAlloc(NULL, bytes, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
        if (!workspace->readBuffer)
            return ERROR_NOT_ENOUGH_MEMORY;
        workspace->readBufferBytes = bytes;
    }
    if (ReadFile(file, workspace->readBuffer, size, got, NULL))
        return 0;
    DWORD error = GetLastError();
    *got = 0;
    return error;
}

// Maps the file and scans the view; the view may fault if the file is cut
// short meanwhile. Returns 0 or the system's error code.
static DWORD SearchMapped(HANDLE file, ULONGLONG size, FileReport* report, const SearchRequest* request,
                          ScanWorkspace* workspace)
{
    HANDLE mapping = CreateFileMappingW(file, NULL, PAGE_READONLY, 0, 0, NULL);
    if (!mapping)
        return GetLastError();
    DWORD error = 0;
    const BYTE* view = (const BYTE*)MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0);
    if (view) {
        ScanMappedView(view, size, report, request, workspace);
        UnmapViewOfFile(view);
    } else {
        error = GetLastError();
    }
    CloseHandle(mapping);
    return error;
}

// The NUL byte that tells a binary file.
static const Anchors NulByte = {0, 0, {0, 0}, {0, 0}};

// TRUE when the skip-binary option passes over a file that starts with
// these size bytes (all of them, or BINARY_JUDGED_BYTES at least).
static BOOL IsBinary(const BYTE* bytes, ULONGLONG size, const SearchRequest* request)
{
    ULONGLONG markBytes;
    TextForm marked = MarkedForm(bytes, size, &markBytes);
    if (request->options.unicodeFiles && (marked == TEXT_UTF16LE || marked == TEXT_UTF16BE))
        return FALSE;
    ULONGLONG judged = size < BINARY_JUDGED_BYTES ? size : BINARY_JUDGED_BYTES;
    return FindCandidate(bytes, 0, judged, &NulByte) < judged;
}

// With the skip-binary option, reads the start of a file too large to be read
// whole, and tells whether it is binary; the mapping that follows does not
// depend on the file's position. FALSE, with *error, when it cannot be read.
static BOOL StartsBinary(HANDLE file, const SearchRequest* request, ScanWorkspace* workspace, DWORD* error)
{
    DWORD got = 0;
    *error = ReadWhole(file, BINARY_JUDGED_BYTES, workspace, &got);
    return *error == 0 && IsBinary(workspace->readBuffer, got, request);
}

DWORD SearchFileAs(const WCHAR* openPath, const WCHAR* shownPath, const SearchRequest* request,
                   ScanWorkspace* workspace, FileOutput* output)
{
    // A regular expression's workspace is made on the first file; a file
    // that cannot be searched without it is one that could not be read.
    if (!ReadyRegexWorkspaces(workspace, request))
        return ERROR_NOT_ENOUGH_MEMORY;
    // Sequential: the hint lets the system read ahead and need not keep
    // what was read.
    HANDLE file =
        CreateFileW(openPath, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return GetLastError();
    FileReport report = {shownPath, openPath, &workspace->names, output, FALSE};
    DWORD error = 0;
    LARGE_INTEGER size;
    // An empty file has nothing to search, not even an empty line.
    if (!GetFileSizeEx(file, &size)) {
        error = GetLastError();
    } else if ((ULONGLONG)size.QuadPart <= READ_WHOLE_BYTES) {
        DWORD got = 0;
        if (size.QuadPart > 0)
            error = ReadWhole(file, (DWORD)size.QuadPart, workspace, &got);
        if (got > 0 && request->options.skipBinary && IsBinary(workspace->readBuffer, got, request))
            error = FILE_SKIPPED_BINARY;
        else if (got > 0)
            ScanBytes(workspace->readBuffer, got, &report, request, workspace);
    } else if (request->options.skipBinary && StartsBinary(file, request, workspace, &error)) {
        error = FILE_SKIPPED_BINARY;
    } else if (error == 0) {
        error = SearchMapped(file, (ULONGLONG)size.QuadPart, &report, request, workspace);
    }
    CloseHandle(file);
    return error;
}

DWORD SearchFoundFile(WCHAR* openPath, int nameAt, int capacity, const WCHAR* shortName, const WCHAR* shownPath,
                      const SearchRequest* request, ScanWorkspace* workspace, FileOutput* output)
{
    DWORD error = SearchFileAs(openPath, shownPath, request, workspace, output);
    // A failed attempt reported nothing, so the second cannot repeat a hit.
    if (error == 0 || error == FILE_SKIPPED_BINARY || Stopped() || shortName[0] == 0 ||
        nameAt + lstrlenW(shortName) >= capacity)
        return error;
    lstrcpyW(openPath + nameAt, shortName);
    return SearchFileAs(openPath, shownPath, request, workspace, output) == 0 ? 0 : error;
}
