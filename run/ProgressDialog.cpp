// The progress dialog: shows the file being searched and offers Cancel.
#include "run/SearchRun.h"
#include "engine/SearchRequest.h"
#include "resources/resource.h"
#include "walk/CurrentFile.h"

#define REFRESH_TIMER 1

// The path the dialog shows and its number in the current-file slot; user-
// interface thread only.
static WCHAR ShownFile[REPORT_PATH_CHARS];
static LONG ShownFileNumber;

// Shows the file the worker published last, if it is not shown yet.
static void ShowCurrentFile(HWND dialog)
{
    if (FetchCurrentFile(ShownFile, REPORT_PATH_CHARS, &ShownFileNumber))
        SetDlgItemTextW(dialog, IDC_CURRENT_FILE, ShownFile);
}

// Hands the dialog to the request, shows the icon and starts the worker. The
// worker is never waited for: its done command is what ends the dialog.
static void OnInitDialog(HWND dialog, SearchRequest* request)
{
    request->progressWindow = dialog;
    HICON icon = LoadIconW(GetModuleHandleW(NULL), MAKEINTRESOURCEW(IDI_APP));
    SendMessageW(dialog, WM_SETICON, ICON_BIG, (LPARAM)icon);
    // Whatever the slot holds now belongs to no file of this search.
    FetchCurrentFile(ShownFile, REPORT_PATH_CHARS, &ShownFileNumber);
    // The worker does not wait for the dialog: the dialog fetches the current
    // file at a readable rate, and at once when the worker starts a file
    // after a quiet spell.
    SetTimer(dialog, REFRESH_TIMER, CURRENT_FILE_REFRESH_MS, NULL);
    if (StartSearch(request))
        return;
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
        if (wParam == IDC_STOP) {
            CancelSearch();
        } else if (wParam == CMD_SHOW_CURRENT_FILE) {
            ShowCurrentFile(dialog);
        } else if (wParam == CMD_SEARCH_DONE) {
            KillTimer(dialog, REFRESH_TIMER);
            EndDialog(dialog, 0);
        }
        return 0;
    case WM_TIMER:
        ShowCurrentFile(dialog);
        return 0;
    }
    return 0;
}
