// The progress dialog: shows the file being searched and offers Cancel.
#include "run/SearchRun.h"
#include "engine/SearchRequest.h"
#include "resources/resource.h"

// Hands the dialog to the request, shows the icon and starts the worker. The
// worker's done command is what ends the dialog, unless a stop leaves the
// worker stuck in a report write (the timer sees to that).
static void OnInitDialog(HWND dialog, SearchRequest* request)
{
    request->progressWindow = dialog;
    HICON icon = LoadIconW(GetModuleHandleW(NULL), MAKEINTRESOURCEW(IDI_APP));
    SendMessageW(dialog, WM_SETICON, ICON_BIG, (LPARAM)icon);
    if (StartSearch(request)) {
        SetTimer(dialog, IDT_STOP_WATCH, STOP_WATCH_MS, NULL);
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
            CancelSearch();
        else if (wParam == CMD_SEARCH_DONE)
            EndDialog(dialog, 0);
        return 0;
    case WM_TIMER:
        // A stop (Cancel, Ctrl+C in the console) must end the search within
        // a second whatever the destination does.
        if (wParam == IDT_STOP_WATCH && SearchStuck())
            EndDialog(dialog, PROGRESS_STUCK);
        return 0;
    }
    return 0;
}
