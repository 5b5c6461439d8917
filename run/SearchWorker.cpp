// The worker thread that runs the whole search, and the way to stop it.
#include "run/SearchRun.h"
#include "engine/ProcessState.h"
#include "engine/SearchRequest.h"
#include "walk/Walker.h"

// The running worker, kept so that a stop can break off a report write it is
// blocked in. Set by StartSearch on the user-interface thread.
static HANDLE SearchWorker;

BOOL StartSearch(SearchRequest* request)
{
    SearchWorker = CreateThread(NULL, 0, SearchThreadProc, request, 0, NULL);
    return SearchWorker != NULL;
}

void CancelSearch()
{
    StopRequested.store(1);
    // A destination that stopped reading would hold the worker in WriteFile
    // for as long as it likes.
    if (SearchWorker)
        CancelSynchronousIo(SearchWorker);
}

void WaitForSearch()
{
    if (SearchWorker)
        WaitForSingleObject(SearchWorker, INFINITE);
}

DWORD WINAPI SearchThreadProc(LPVOID parameter)
{
    SearchRequest* request = (SearchRequest*)parameter;
    // Kept aside: once the walk is over the request may be freed any moment
    // after the done command, so it is not read again.
    HWND progressWindow = request->progressWindow;
    SearchFolder(request->folder, request);
    // Without a progress dialog (a search with no window) nobody waits for it.
    if (progressWindow)
        PostMessageW(progressWindow, WM_COMMAND, CMD_SEARCH_DONE, 0);
    return 0;
}
