// The search run: the progress dialog, the worker thread and the choice of
// the module that supplies the dialogs and texts.
#pragma once
#include <windows.h>

// Posted by the worker to the progress dialog as WM_COMMAND when the walk is over.
#define CMD_SEARCH_DONE 100
// How often a run without the progress dialog looks whether a stopped search
// has wound down.
#define STOP_WATCH_MS 100
// The progress dialog's result when it gave up on a worker stuck after a stop.
#define PROGRESS_STUCK 1

// Dialog procedure of IDD_PROGRESS; its creation parameter is the SearchRequest.
INT_PTR CALLBACK ProgressDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// The worker thread: walks the request's folder, then posts CMD_SEARCH_DONE
// to the progress window the search was started with, if any.
DWORD WINAPI SearchThreadProc(LPVOID request);
// What the walk of the last search told besides its report (walk/Walker.h):
// whether the start folder could be listed, and what was passed over. Read
// once the worker has ended.
const struct WalkOutcome* SearchOutcome();

// Starts the worker on the request, the current file shown in and the done
// command posted to progressWindow (NULL: a search without a window); FALSE
// if it cannot be created. A search before it must have ended.
BOOL StartSearch(struct SearchRequest* request, HWND progressWindow);
// Asks the running search to stop, as the Cancel button does, breaking off a
// report write that the worker is blocked in. Safe from any thread.
void CancelSearch();
// Waits up to milliseconds for the worker; TRUE once it has ended (or never
// started).
BOOL WaitForSearch(DWORD milliseconds);
// Polled by the user-interface thread while it waits: after a stop, breaks
// off again any report write the worker is blocked in, and returns TRUE once
// the worker has had the grace time to wind down and still runs. The run then
// ends the process without freeing anything the worker may still touch.
BOOL SearchStuck();

// The module that supplies the dialogs and texts of a run that starts with
// the settings dialog, the progress dialog aside: the satellite beside the
// program (its path plus ".mui") when it exists and loads, else the
// program's own module.
HMODULE GetResourceModule();
