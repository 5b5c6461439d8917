// Searching one file: opens and maps it, names it for the report, and hands
// its bytes to the line scanner.
#include "engine/Scanner.h"
#include "engine/LineScan.h"

// The ANSI form of the longest path: three bytes per unit in UTF-8.
#define ANSI_PATH_BYTES (REPORT_PATH_CHARS * 3)

void SearchFile(const WCHAR* path, SearchRequest* request)
{
    char ansiName[ANSI_PATH_BYTES];
    HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return;
    HANDLE mapping = CreateFileMappingW(file, NULL, PAGE_READONLY, 0, 0, NULL);
    if (mapping) {
        LARGE_INTEGER size;
        const BYTE* view = NULL;
        if (GetFileSizeEx(file, &size))
            view = (const BYTE*)MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0);
        if (view) {
            // A name too long for the buffer cannot be printed whole: skip the file.
            ReportName name = {ansiName};
            if (WideCharToMultiByte(CP_ACP, 0, path, -1, ansiName, ANSI_PATH_BYTES, NULL, NULL) > 0)
                ScanBytes(view, (ULONGLONG)size.QuadPart, &name, request);
            UnmapViewOfFile(view);
        }
        CloseHandle(mapping);
    }
    CloseHandle(file);
}
