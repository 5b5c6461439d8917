// The progress dialog and the worker thread that does the whole search.
#include "run/SearchRun.h"
#include "engine/ProcessState.h"
#include "engine/SearchRequest.h"
#include "resources/resource.h"
#include "walk/Walker.h"

// Hands the dialog to the request, shows the icon and starts the worker. The
// worker is never waited for: its done command is what ends the dialog.
static void OnInitDialog(HWND dialog, SearchRequest* request)
{
    request->progressWindow = dialog;
    HICON icon = LoadIconW(GetModuleHandleW(NULL), MAKEINTRESOURCEW(IDI_APP));
    SendMessageW(dialog, WM_SETICON, ICON_BIG, (LPARAM)icon);
    HANDLE worker = CreateThread(NULL, 0, SearchThreadProc, request, 0, NULL);
    if (worker) {
        CloseHandle(worker);
        return;
    }
    // Without a worker no done command will ever come; end now rather than
    // leave a dialog that nothing can close.
    EndDialog(dialog, 0);
}

INT_PTR CALLBACK ProgressDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        OnInitDialog(dialog, (SearchRequest*)lParam);
        return 0;
    case WM_COMMAND:
        // The whole parameter is compared, so only clicks count. IDCANCEL
        // (Esc, the close box) is ignored: the dialog waits for the worker.
        if (wParam == IDC_STOP)
            StopRequested.store(1);
        else if (wParam == CMD_SEARCH_DONE)
            EndDialog(dialog, 0);
        return 0;
    }
    return 0;
}

DWORD WINAPI SearchThreadProc(LPVOID parameter)
{
    SearchRequest* request = (SearchRequest*)parameter;
    // Kept aside: once the walk is over the request may be freed any moment
    // after the done command, so it is not read again.
    HWND progressWindow = request->progressWindow;
    HWND currentFile = GetDlgItem(progressWindow, IDC_CURRENT_FILE);
    SearchFolder(request->folder, currentFile, request);
    // Without a progress dialog (a search with no window) nobody waits for it.
    if (progressWindow)
        PostMessageW(progressWindow, WM_COMMAND, CMD_SEARCH_DONE, 0);
    return 0;
}
