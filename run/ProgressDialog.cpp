// The progress dialog: shows the file being searched and offers Cancel.
#include "run/SearchRun.h"
#include "engine/SearchRequest.h"
#include "resources/resource.h"
#include "walk/CurrentFile.h"

// The one timer of the dialog: it shows the current file and watches a
// stopped search wind down.
#define IDT_PROGRESS 1

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

// Shows the icon and starts the worker, which shows its files in the dialog. The
// worker's done command is what ends the dialog, unless a stop leaves the
// worker stuck in a report write (the timer sees to that).
static void OnInitDialog(HWND dialog, SearchRequest* request)
{
    HICON icon = LoadIconW(GetModuleHandleW(NULL), MAKEINTRESOURCEW(IDI_APP));
    SendMessageW(dialog, WM_SETICON, ICON_BIG, (LPARAM)icon);
    // Whatever the slot holds now belongs to no file of this search.
    FetchCurrentFile(ShownFile, REPORT_PATH_CHARS, &ShownFileNumber);
    // The worker does not wait for the dialog: the dialog fetches the current
    // file at a readable rate, and at once when the worker starts a file
    // after a quiet spell.
    if (StartSearch(request, dialog)) {
        SetTimer(dialog, IDT_PROGRESS, CURRENT_FILE_REFRESH_MS, NULL);
        return;
    }
    // Without a worker no done command will ever come; end now rather than
    // leave a dialog that nothing can close.
    EndDialog(dialog, 0);
}

INT_PTR CALLBACK ProgressDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG: OnInitDialog(dialog, (SearchRequest*)lParam); return 0;
    case WM_COMMAND:
        // The whole parameter is compared, so only clicks count. IDCANCEL
        // (Esc, the close box) is ignored: the dialog waits for the worker.
        if (wParam == IDC_STOP) {
            CancelSearch();
        } else if (wParam == CMD_SHOW_CURRENT_FILE) {
            ShowCurrentFile(dialog);
        } else if (wParam == CMD_SEARCH_DONE) {
            KillTimer(dialog, IDT_PROGRESS);
            EndDialog(dialog, 0);
        }
        return 0;
    case WM_TIMER:
        ShowCurrentFile(dialog);
        // A stop (Cancel, Ctrl+C in the console) must end the search within
        // a second whatever the destination does.
        if (SearchStuck())
            EndDialog(dialog, PROGRESS_STUCK);
        return 0;
    }
    return 0;
}
