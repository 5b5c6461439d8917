// The current-file slot between the worker and the progress dialog.
#include "walk/CurrentFile.h"

// The latest path and its number; the lock keeps the dialog from reading a
// path half written.
static SRWLOCK CurrentFileLock = SRWLOCK_INIT;
static WCHAR CurrentFilePath[REPORT_PATH_CHARS];
static LONG CurrentFileNumber;
// When the worker last published, for the quiet-spell test; worker only.
static DWORD LastPublished;

void PublishCurrentFile(const WCHAR* path, HWND window)
{
    AcquireSRWLockExclusive(&CurrentFileLock);
    lstrcpynW(CurrentFilePath, path, REPORT_PATH_CHARS);
    BOOL first = CurrentFileNumber++ == 0;
    ReleaseSRWLockExclusive(&CurrentFileLock);
    DWORD now = GetTickCount();
    if (window && (first || now - LastPublished >= CURRENT_FILE_REFRESH_MS))
        PostMessageW(window, WM_COMMAND, CMD_SHOW_CURRENT_FILE, 0);
    LastPublished = now;
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
