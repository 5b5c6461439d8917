// The current-file slot between the scanning threads and the progress dialog.
#include "walk/CurrentFile.h"

// The latest path and its number, and when it was published; the lock keeps
// the dialog from reading a path half written and the scanning threads from
// writing one at once.
static SRWLOCK CurrentFileLock = SRWLOCK_INIT;
static WCHAR CurrentFilePath[REPORT_PATH_CHARS];
static LONG CurrentFileNumber;
static DWORD LastPublished;
// Set as a search starts, cleared by its first publish.
static BOOL FirstOfSearch;
// The window that shows the current file, or NULL.
static HWND ShowingWindow;

void ShowCurrentFilesIn(HWND window)
{
    AcquireSRWLockExclusive(&CurrentFileLock);
    ShowingWindow = window;
    ReleaseSRWLockExclusive(&CurrentFileLock);
}

void BeginCurrentFiles()
{
    AcquireSRWLockExclusive(&CurrentFileLock);
    FirstOfSearch = TRUE;
    ReleaseSRWLockExclusive(&CurrentFileLock);
}

LONG PublishCurrentFile(const WCHAR* path)
{
    DWORD now = GetTickCount();
    AcquireSRWLockExclusive(&CurrentFileLock);
    lstrcpynW(CurrentFilePath, path, REPORT_PATH_CHARS);
    LONG number = ++CurrentFileNumber;
    BOOL wake = FirstOfSearch || now - LastPublished >= CURRENT_FILE_REFRESH_MS;
    FirstOfSearch = FALSE;
    LastPublished = now;
    HWND window = ShowingWindow;
    ReleaseSRWLockExclusive(&CurrentFileLock);
    if (window && wake)
        PostMessageW(window, WM_COMMAND, CMD_SHOW_CURRENT_FILE, 0);
    return number;
}

BOOL CurrentFileIsLatest(LONG number)
{
    AcquireSRWLockShared(&CurrentFileLock);
    BOOL latest = CurrentFileNumber == number;
    ReleaseSRWLockShared(&CurrentFileLock);
    return latest;
}

BOOL FetchCurrentFile(WCHAR* text, int capacity, LONG* shown)
{
    AcquireSRWLockShared(&CurrentFileLock);
    BOOL fresh = CurrentFileNumber != *shown;
    if (fresh) {
        lstrcpynW(text, CurrentFilePath, capacity);
        *shown = CurrentFileNumber;
    }
    ReleaseSRWLockShared(&CurrentFileLock);
    return fresh;
}
