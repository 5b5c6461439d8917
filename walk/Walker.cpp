// The folder walker: expands the request's pattern list in one folder, hands
// every file found to the scanner, and descends into the subfolders depth
// first. Nothing is listed in memory; each level enumerates and consumes its
// entries on the fly, with its own path buffer on its own stack frame.
#include "walk/Walker.h"
#include "engine/Output.h"
#include "engine/ProcessState.h"
#include "engine/Scanner.h"

// The path buffer of one level: the folder, one backslash, then the pattern or
// the name found. Anything that would not fit is passed over in silence (the
// platform's 260-unit path limit would refuse such a path anyway), which also
// ends a descent through a cycle of junctions or links at this limit.
#define WALK_PATH_CHARS REPORT_PATH_CHARS

static BOOL Stopped()
{
    return StopRequested.load() != 0;
}

// Writes length units of name, and a terminator, into the name part of path.
// Returns FALSE, leaving the buffer as it was, when they would not fit.
static BOOL PutName(WCHAR* path, int namePart, const WCHAR* name, int length)
{
    if (length < 0 || namePart + length >= WALK_PATH_CHARS)
        return FALSE;
    lstrcpynW(path + namePart, name, length + 1);
    return TRUE;
}

// Searches the files that the pattern now in the name part finds, in the
// platform's order. Folders it happens to name wait for the subfolder pass.
static void SearchPattern(WCHAR* path, int namePart, HWND currentFileWindow, SearchRequest* request)
{
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(path, &found);
    if (search == INVALID_HANDLE_VALUE)
        return;
    do {
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            continue;
        if (Stopped() || !PutName(path, namePart, found.cFileName, lstrlenW(found.cFileName)))
            continue;
        // Sent, not posted: the path must be shown before the next one overwrites it.
        SendMessageW(currentFileWindow, WM_SETTEXT, 0, (LPARAM)path);
        SearchFile(path, request);
        OutputFlush();
    } while (!Stopped() && FindNextFileW(search, &found));
    FindClose(search);
}

// Enters every subfolder of the folder, in the platform's order, each searched
// completely before the next.
static void SearchSubfolders(WCHAR* path, int namePart, HWND currentFileWindow, SearchRequest* request)
{
    if (!PutName(path, namePart, L"*.*", 3))
        return;
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(path, &found);
    if (search == INVALID_HANDLE_VALUE)
        return;
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            continue;
        if (lstrcmpW(found.cFileName, L".") == 0 || lstrcmpW(found.cFileName, L"..") == 0)
            continue;
        if (Stopped() || !PutName(path, namePart, found.cFileName, lstrlenW(found.cFileName)))
            continue;
        SearchFolder(path, currentFileWindow, request);
    } while (!Stopped() && FindNextFileW(search, &found));
    FindClose(search);
}

void SearchFolder(const WCHAR* folder, HWND currentFileWindow, SearchRequest* request)
{
    WCHAR path[WALK_PATH_CHARS];
    int namePart = lstrlenW(folder);
    if (namePart >= WALK_PATH_CHARS)
        return;
    lstrcpynW(path, folder, WALK_PATH_CHARS);
    // An empty folder becomes a lone backslash, the root of the current drive.
    if (*CharPrevW(path, path + namePart) != L'\\') {
        if (namePart + 1 >= WALK_PATH_CHARS)
            return;
        path[namePart++] = L'\\';
        path[namePart] = 0;
    }

    // Each ";" or " " ends one pattern, so two in a row or one at the end make
    // an empty pattern, which finds nothing.
    const WCHAR* pattern = request->fileTypes;
    for (;;) {
        const WCHAR* end = pattern;
        while (*end && *end != L';' && *end != L' ')
            end = CharNextW(end);
        if (end > pattern && PutName(path, namePart, pattern, (int)(end - pattern)))
            SearchPattern(path, namePart, currentFileWindow, request);
        if (!*end)
            break;
        if (Stopped())
            return;
        pattern = CharNextW(end);
    }

    if (Stopped() || !request->searchSubfolders)
        return;
    SearchSubfolders(path, namePart, currentFileWindow, request);
}
