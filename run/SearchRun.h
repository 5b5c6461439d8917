// The search run: the progress dialog, the worker thread and the choice of
// the module that supplies the settings dialog.
#pragma once
#include <windows.h>

// Posted by the worker to the progress dialog as WM_COMMAND when the walk is over.
#define CMD_SEARCH_DONE 100

// Dialog procedure of IDD_PROGRESS; its creation parameter is the SearchRequest.
INT_PTR CALLBACK ProgressDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// The worker thread: walks the request's folder, then posts CMD_SEARCH_DONE
// to the request's progressWindow, if it has one.
DWORD WINAPI SearchThreadProc(LPVOID request);

// Starts the worker on the request; FALSE if it cannot be created.
BOOL StartSearch(struct SearchRequest* request);
// Asks the running search to stop, as the Cancel button does, breaking off a
// report write that the worker is blocked in. Safe from any thread.
void CancelSearch();
// Returns when the worker has ended (a search run without progress dialog).
void WaitForSearch();

// The satellite module beside the program (its path plus ".mui") when it
// exists and loads, else the program's own module.
HMODULE GetResourceModule();
