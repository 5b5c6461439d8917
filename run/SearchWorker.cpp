// The worker thread that runs the whole search, and the way to stop it.
#include "run/SearchRun.h"
#include "engine/StopFlag.h"
#include "engine/SearchRequest.h"
#include "walk/CurrentFile.h"
#include "walk/ScanRing.h"
#include "walk/Walker.h"
#include <atomic>

// How long the worker may take to wind down after a stop before the run stops
// waiting for it. It winds down within one scanner step, unless it or one of
// its scanning threads sits in a report write to a destination that stopped
// reading, which only ends when the write can be broken off: Wine 8's
// CancelSynchronousIo finds no write to break off in a Unix pipe, and a
// console in selection mode holds its writers.
#define STOP_GRACE_MS 600

// The running worker, kept so that a stop can break off a report write it is
// blocked in. Set by StartSearch on the user-interface thread; read by a stop
// from any thread (a console's control handler has its own).
static std::atomic<HANDLE> SearchWorker;
// The window the running search reports to: it shows the current file and
// gets the done command. Set by StartSearch before the worker starts.
static HWND ProgressWindow;
// When SearchStuck first saw the stop; read and written by the user-interface
// thread only.
static DWORD StopSeenAt;
static BOOL StopSeen;
// Written by the worker before its last act, read by the run after it.
static WalkOutcome Outcome;

BOOL StartSearch(SearchRequest* request, HWND progressWindow)
{
    // The search before, if any, has ended: the run waits for it first.
    HANDLE ended = SearchWorker.exchange(NULL);
    if (ended)
        CloseHandle(ended);
    StopSeen = FALSE;
    ProgressWindow = progressWindow;
    ZeroMemory(&Outcome, sizeof Outcome);
    SearchWorker = CreateThread(NULL, 0, SearchThreadProc, request, 0, NULL);
    // No worker, no search: the run must say why nothing was listed.
    if (!SearchWorker)
        Outcome.startError = GetLastError() ? GetLastError() : ERROR_NOT_ENOUGH_MEMORY;
    return SearchWorker != NULL;
}

// Breaks off a report write that the worker or a scanning thread is blocked
// in: a destination that stopped reading would hold it there for as long as
// it likes.
static void BreakOffWrites()
{
    if (SearchWorker)
        CancelSynchronousIo(SearchWorker);
    BreakOffScanningWrites();
}

void CancelSearch()
{
    RequestStop();
    BreakOffWrites();
}

const WalkOutcome* SearchOutcome()
{
    return &Outcome;
}

BOOL WaitForSearch(DWORD milliseconds)
{
    return !SearchWorker || WaitForSingleObject(SearchWorker, milliseconds) == WAIT_OBJECT_0;
}

BOOL SearchStuck()
{
    if (!Stopped() || WaitForSearch(0))
        return FALSE;
    if (!StopSeen) {
        StopSeen = TRUE;
        StopSeenAt = GetTickCount();
    }
    // A write may have begun after the last attempt.
    BreakOffWrites();
    return GetTickCount() - StopSeenAt >= STOP_GRACE_MS;
}

DWORD WINAPI SearchThreadProc(LPVOID parameter)
{
    SearchRequest* request = (SearchRequest*)parameter;
    HWND progressWindow = ProgressWindow;
    ShowCurrentFilesIn(progressWindow);
    Outcome = SearchFolder(request->folder, request);
    ShowCurrentFilesIn(NULL);
    // Without a progress dialog (a search with no window) nobody waits for it.
    if (progressWindow)
        PostMessageW(progressWindow, WM_COMMAND, CMD_SEARCH_DONE, 0);
    return 0;
}
