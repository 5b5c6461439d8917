// The results window: a resizable dialog with its menus and keys, a list of
// the hits (run/ResultsList.cpp), the search's progress and its outcome. It
// reads the hits the report writer lists (engine/report/HitList.h) on a
// timer, so the search never waits for the window.
#include "run/ResultsWindow.h"
#include "run/EditorDialog.h"
#include "run/EditorLaunch.h"
#include "run/Messages.h"
#include "run/ReportFile.h"
#include "run/ResultsList.h"
#include "run/SearchRun.h"
#include "engine/StopFlag.h"
#include "engine/report/FileCounts.h"
#include "engine/report/HitList.h"
#include "engine/report/Output.h"
#include "resources/resource.h"
#include "settings/SettingsDialog.h"
#include "settings/SettingsStore.h"
#include "settings/UiText.h"
#include "walk/CurrentFile.h"
#include "walk/Walker.h"
#include <shlwapi.h>

// The window's one timer: it shows the current file as the progress dialog
// does, the counts every STATUS_TICKS ticks, the rows found every ROWS_TICKS
// ticks (every tick until they fill the list), and watches a stopped search
// wind down. What the window does costs the search some of a processor's
// time; under Wine a new row count alone takes 20 to 70 ms of it.
#define IDT_RESULTS 1
#define STATUS_TICKS 4
#define ROWS_TICKS 8
// Characters of the search text the caption shows.
#define CAPTION_TEXT_CHARS 80
// Room for a number in the status line.
#define NUMBER_CHARS 24

// The run of the window, on the user-interface thread only.
struct ResultsRun {
    HWND window;
    HWND list;
    HMODULE module;             // the dialogs' and texts' module
    SearchRequest* request;     // the search shown: running or done
    SearchRequest* handedBack;  // a search to run without the window
    HANDLE report;              // the report being written, INVALID_HANDLE_VALUE when none
    WCHAR reportPath[MAX_PATH];
    BOOL searching;
    BOOL searched;  // the search shown ran: its report was made
    BOOL stoppedByUser;
    BOOL over;            // the user closed the window
    int staleDones;       // done commands still to come from searches ended without them
    ULONGLONG startedAt;  // GetTickCount64 at the search's start
    ULONGLONG took;       // its milliseconds, once over
    int ticks;            // timer ticks since the search began
    LONG shownFileNumber;
    WCHAR shownFile[REPORT_PATH_CHARS];
};

static ResultsRun Results;

// Sets a control's text when it differs from the text it shows: a repaint
// costs the search more than the comparison.
static void ShowText(int control, const WCHAR* text)
{
    WCHAR shown[UI_TEXT_CHARS];
    if (GetDlgItemTextW(Results.window, control, shown, UI_TEXT_CHARS) < UI_TEXT_CHARS - 1 &&
        lstrcmpW(shown, text) == 0)
        return;
    SetDlgItemTextW(Results.window, control, text);
}

// Sets a control's text from the string tables, filled in.
static void SetUiText(int control, UINT id, const WCHAR* const* arguments, int count)
{
    WCHAR text[UI_TEXT_CHARS];
    FormatUiText(Results.module, id, text, UI_TEXT_CHARS, arguments, count);
    ShowText(control, text);
}

static void SetCaption()
{
    WCHAR shown[CAPTION_TEXT_CHARS + 2];
    lstrcpynW(shown, Results.request->text, CAPTION_TEXT_CHARS + 1);
    if (lstrlenW(Results.request->text) > CAPTION_TEXT_CHARS)
        lstrcpyW(shown + CAPTION_TEXT_CHARS, L"\x2026");
    const WCHAR* text = shown;
    WCHAR caption[UI_TEXT_CHARS];
    FormatUiText(Results.module, IDS_RESULTS_CAPTION, caption, UI_TEXT_CHARS, &text, 1);
    SetWindowTextW(Results.window, caption);
}

static ULONGLONG Elapsed()
{
    return Results.searching ? GetTickCount64() - Results.startedAt : Results.took;
}

// The counts: "N hits in M files, K files searched, T s", how the search
// went, and the files passed over; the button to the unreadable files.
static void ShowStatus()
{
    // Once the search is over, a list that ran full still counts every hit.
    ULONGLONG hits = !Results.searching && HitListFull() ? OutputLinesOut() : ListedHits();
    WCHAR numbers[4][NUMBER_CHARS];
    wsprintfW(numbers[0], L"%I64u", hits);
    wsprintfW(numbers[1], L"%lu", ListedFiles());
    wsprintfW(numbers[2], L"%I64u", FilesCounted(FILES_SEARCHED));
    ULONGLONG milliseconds = Elapsed();
    wsprintfW(numbers[3], L"%I64u.%I64u", milliseconds / 1000, milliseconds / 100 % 10);
    const WCHAR* arguments[] = {numbers[0], numbers[1], numbers[2], numbers[3]};
    UINT id = Results.searching       ? IDS_RESULTS_SEARCHING
              : Results.stoppedByUser ? IDS_RESULTS_STOPPED
              : hits == 0             ? IDS_RESULTS_NONE
                                      : IDS_RESULTS_DONE;
    WCHAR text[UI_TEXT_CHARS], passed[UI_TEXT_CHARS];
    FormatUiText(Results.module, id, text, UI_TEXT_CHARS, arguments, 4);
    ULONGLONG binary = FilesCounted(FILES_BINARY);
    if (binary) {
        wsprintfW(numbers[0], L"%I64u", binary);
        FormatUiText(Results.module, IDS_RESULTS_BINARY, passed, UI_TEXT_CHARS, arguments, 1);
        lstrcpynW(text + lstrlenW(text), passed, UI_TEXT_CHARS - lstrlenW(text));
    }
    ShowText(IDC_RESULTS_STATUS, text);
    ULONGLONG unreadable = FilesCounted(FILES_UNREADABLE);
    HWND button = GetDlgItem(Results.window, IDC_RESULTS_UNREADABLE);
    if (unreadable) {
        wsprintfW(numbers[0], L"%I64u", unreadable);
        SetUiText(IDC_RESULTS_UNREADABLE, IDS_RESULTS_UNREADABLE, arguments, 1);
    }
    if (!IsWindowVisible(button) != !unreadable)
        ShowWindow(button, unreadable ? SW_SHOWNA : SW_HIDE);
}

// The line above the counts: the file being searched, or where the report was saved.
static void ShowCurrentFile()
{
    if (FetchCurrentFile(Results.shownFile, REPORT_PATH_CHARS, &Results.shownFileNumber))
        SetDlgItemTextW(Results.window, IDC_RESULTS_FILE, Results.shownFile);
}

static void ShowWhereSaved()
{
    WCHAR saved[UI_TEXT_CHARS] = L"", full[UI_TEXT_CHARS];
    const WCHAR* path = Results.reportPath;
    if (Results.searched)
        FormatUiText(Results.module, IDS_RESULTS_SAVED, saved, UI_TEXT_CHARS, &path, 1);
    else
        LoadUiText(Results.module, IDS_RESULTS_NOTHING, saved, UI_TEXT_CHARS);
    if (HitListFull()) {
        WCHAR shown[NUMBER_CHARS];
        wsprintfW(shown, L"%I64u", ListedHits());
        const WCHAR* count = shown;
        FormatUiText(Results.module, IDS_RESULTS_FULL, full, UI_TEXT_CHARS, &count, 1);
        lstrcatW(saved, L" ");
        lstrcpynW(saved + lstrlenW(saved), full, UI_TEXT_CHARS - lstrlenW(saved));
    }
    SetDlgItemTextW(Results.window, IDC_RESULTS_FILE, saved);
}

// Enables Stop while a search runs; the focus leaves it when it goes grey.
static void EnableStop(BOOL enable)
{
    HWND stop = GetDlgItem(Results.window, IDC_RESULTS_STOP);
    if (!enable && GetFocus() == stop)
        SetFocus(Results.list);
    EnableWindow(stop, enable);
}

// The search's end: the worker has posted its done command, its last act.
static void EndOfSearch()
{
    WaitForSearch(INFINITE);
    KillTimer(Results.window, IDT_RESULTS);
    Results.searching = FALSE;
    Results.took = GetTickCount64() - Results.startedAt;
    CloseHandle(Results.report);
    Results.report = INVALID_HANDLE_VALUE;
    ShowListedHits(Results.list);
    ShowStatus();
    ShowWhereSaved();
    EnableStop(FALSE);
    if (!TellIncompleteReport(Results.reportPath, TELL_BOX, Results.window) && SearchOutcome()->startError)
        TellBoxFailure(Results.window, IDS_FOLDER_UNLISTED, Results.request->folder, SearchOutcome()->startError);
}

// Stops the running search, as Stop does, and waits for it to wind down; a
// search stuck in a report write ends the process, as the progress dialog's
// run does, without freeing anything it may still touch.
static void EndRunningSearch()
{
    if (!Results.searching)
        return;
    CancelSearch();
    Results.stoppedByUser = TRUE;
    while (!WaitForSearch(STOP_WATCH_MS)) {
        if (SearchStuck())
            ExitProcess(0);
    }
    // Its done command is on its way.
    Results.staleDones++;
    EndOfSearch();
}

// Starts the search of the request into the report opened for it.
static void StartRun()
{
    ClearStop();
    OutputStart(Results.report);
    StartResultsList(Results.list, Results.reportPath, Results.request->folder);
    Results.searched = TRUE;
    Results.stoppedByUser = FALSE;
    Results.startedAt = GetTickCount64();
    Results.ticks = 0;
    // Whatever the slot holds now belongs to no file of this search.
    FetchCurrentFile(Results.shownFile, REPORT_PATH_CHARS, &Results.shownFileNumber);
    SetDlgItemTextW(Results.window, IDC_RESULTS_FILE, L"");
    Results.searching = StartSearch(Results.request, Results.window);
    EnableStop(Results.searching);
    if (Results.searching) {
        SetTimer(Results.window, IDT_RESULTS, CURRENT_FILE_REFRESH_MS, NULL);
        ShowStatus();
    } else {
        // Without a worker nothing was searched, and no done command comes.
        Results.searching = TRUE;
        EndOfSearch();
    }
}

// Empties the list, makes the report afresh and starts the request's search.
static void BeginSearch()
{
    EndResultsList(Results.list);
    ClearHitList();
    SetCaption();
    Results.report = CreateReportFile(Results.reportPath, TRUE, TELL_BOX, Results.window);
    if (Results.report != INVALID_HANDLE_VALUE) {
        StartRun();
        return;
    }
    Results.searched = FALSE;
    Results.took = 0;
    ShowStatus();
    ShowWhereSaved();
    EnableStop(FALSE);
}

static void SearchAgain()
{
    EndRunningSearch();
    BeginSearch();
}

// The settings dialog again, on the entries last searched; its search takes
// the place of the one shown, or, with the window's box unticked, goes back
// to the caller and the window closes.
static void NewSearch()
{
    INT_PTR result =
        DialogBoxParamW(Results.module, MAKEINTRESOURCEW(IDD_SETTINGS), Results.window, SettingsDlgProc, 0);
    if (result == 0 || result == -1)
        return;
    EndRunningSearch();
    SearchRequest* request = (SearchRequest*)result;
    if (!request->options.listResults) {
        Results.handedBack = request;
        Results.over = TRUE;
        return;
    }
    FreeSearchRequest(Results.request);
    Results.request = request;
    BeginSearch();
}

static void Close()
{
    EndRunningSearch();
    Results.over = TRUE;
}

static void OpenRow(int row)
{
    if (row < 0)
        return;
    static WCHAR path[LONG_PATH_CHARS], tried[COMMAND_LINE_CHARS];
    ULONGLONG line, column;
    HitPlace(RowHit(row), path, LONG_PATH_CHARS, &line, &column);
    DWORD error;
    if (!OpenInEditor(path, line, column, tried, &error))
        TellBoxFailure(Results.window, IDS_EDITOR_FAILED, tried, error);
}

static void OpenRowFolder(int row)
{
    if (row < 0)
        return;
    static WCHAR path[LONG_PATH_CHARS];
    ULONGLONG line, column;
    HitPlace(RowHit(row), path, LONG_PATH_CHARS, &line, &column);
    DWORD error;
    if (!OpenContainingFolder(path, &error))
        TellBoxFailure(Results.window, IDS_FOLDER_FAILED, path, error);
}

// The unreadable files dialog: one line for each file, its path and the
// system's reason.
static INT_PTR CALLBACK UnreadableDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    if (message == WM_INITDIALOG) {
        WCHAR separator[16], reason[512];
        LoadUiText(DialogModule(dialog), IDS_UNREADABLE_SEPARATOR, separator, 16);
        DWORD count = ListedUnreadableFiles();
        SIZE_T room = 1;
        for (DWORD n = 0; n < count; n++)
            room += (SIZE_T)lstrlenW(ListedUnreadableFile(n)->shownPath) + 16 + 512 + 2;
        WCHAR* text = (WCHAR*)VirtualAlloc(NULL, room * sizeof(WCHAR), MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
        if (text) {
            WCHAR* end = text;
            for (DWORD n = 0; n < count; n++) {
                const UnreadableFile* file = ListedUnreadableFile(n);
                SystemReason(file->error, reason, 512);
                const WCHAR* pieces[] = {file->shownPath, separator, reason, L"\r\n"};
                for (const WCHAR* piece : pieces) {
                    lstrcpyW(end, piece);
                    end += lstrlenW(piece);
                }
            }
            *end = 0;
            SetDlgItemTextW(dialog, IDC_UNREADABLE_LIST, text);
            VirtualFree(text, 0, MEM_RELEASE);
        }
        return TRUE;
    }
    if (message == WM_COMMAND && (wParam == IDCANCEL || wParam == IDOK)) {
        EndDialog(dialog, 0);
        return TRUE;
    }
    return FALSE;
}

static void SelectAll()
{
    LVITEMW item = {};
    item.stateMask = LVIS_SELECTED;
    item.state = LVIS_SELECTED;
    SendMessageW(Results.list, LVM_SETITEMSTATE, (WPARAM)-1, (LPARAM)&item);
}

// Only clicks, menu items and keys count (notification codes 0 and 1).
static void OnCommand(WPARAM wParam)
{
    if (HIWORD(wParam) > 1)
        return;
    switch (LOWORD(wParam)) {
    case IDOK:
        if (GetFocus() == Results.list)
            OpenRow(ChosenRow(Results.list));
        break;
    case IDM_OPEN: OpenRow(ChosenRow(Results.list)); break;
    case IDM_OPEN_FOLDER: OpenRowFolder(ChosenRow(Results.list)); break;
    case IDM_COPY: CopyRows(Results.list); break;
    case IDM_COPY_PATH: CopyRowPath(Results.list); break;
    case IDM_SELECT_ALL: SelectAll(); break;
    case IDM_SEARCH_AGAIN: SearchAgain(); break;
    case IDM_NEW_SEARCH: NewSearch(); break;
    case IDM_EDITOR: ShowEditorDialog(Results.window, Results.module); break;
    case IDM_UNREADABLE:
    case IDC_RESULTS_UNREADABLE:
        if (ListedUnreadableFiles())
            DialogBoxParamW(Results.module, MAKEINTRESOURCEW(IDD_UNREADABLE), Results.window, UnreadableDlgProc, 0);
        break;
    case IDC_RESULTS_STOP:
        if (Results.searching) {
            Results.stoppedByUser = TRUE;
            CancelSearch();
        }
        break;
    case IDCANCEL: Close(); break;
    case CMD_SHOW_CURRENT_FILE:
        if (Results.searching)
            ShowCurrentFile();
        break;
    case CMD_SEARCH_DONE:
        if (Results.staleDones > 0)
            Results.staleDones--;
        else if (Results.searching)
            EndOfSearch();
        break;
    }
}

static void OnNotify(NMHDR* header)
{
    if (header->hwndFrom != Results.list)
        return;
    switch (header->code) {
    case LVN_GETDISPINFOW: FillResultsRow((NMLVDISPINFOW*)header); break;
    case NM_DBLCLK: OpenRow(((NMITEMACTIVATE*)header)->iItem); break;
    case LVN_COLUMNCLICK:
        if (!Results.searching)
            SortResultsBy(Results.list, ((NMLISTVIEW*)header)->iSubItem);
        break;
    }
}

// Greys what has nothing to act on, in the menu bar's menus and the list's.
static void OnInitMenuPopup(HMENU menu)
{
    BOOL chosen = ChosenRow(Results.list) >= 0;
    BOOL rows = SendMessageW(Results.list, LVM_GETITEMCOUNT, 0, 0) > 0;
    const UINT onRow[] = {IDM_OPEN, IDM_OPEN_FOLDER, IDM_COPY, IDM_COPY_PATH};
    for (UINT item : onRow)
        EnableMenuItem(menu, item, MF_BYCOMMAND | (chosen ? MF_ENABLED : MF_GRAYED));
    EnableMenuItem(menu, IDM_SELECT_ALL, MF_BYCOMMAND | (rows ? MF_ENABLED : MF_GRAYED));
    EnableMenuItem(menu, IDM_UNREADABLE, MF_BYCOMMAND | (ListedUnreadableFiles() ? MF_ENABLED : MF_GRAYED));
}

// The list's menu, at the pointer, or below the focused row when it is
// asked for with the keyboard.
static void OnContextMenu(HWND clicked, LPARAM where)
{
    if (clicked != Results.list)
        return;
    POINT at = {(short)LOWORD(where), (short)HIWORD(where)};
    if (where == (LPARAM)-1) {
        RECT row = {LVIR_BOUNDS, 0, 0, 0};
        int chosen = ChosenRow(Results.list);
        if (chosen < 0 || !SendMessageW(Results.list, LVM_GETITEMRECT, chosen, (LPARAM)&row))
            SetRect(&row, 0, 0, 0, 0);
        at.x = row.left;
        at.y = row.bottom;
        ClientToScreen(Results.list, &at);
    }
    HMENU menus = LoadMenuW(Results.module, MAKEINTRESOURCEW(IDR_RESULTS_CONTEXT));
    if (!menus)
        return;
    TrackPopupMenu(GetSubMenu(menus, 0), TPM_RIGHTBUTTON, at.x, at.y, 0, Results.window, NULL);
    DestroyMenu(menus);
}

// Lays the controls out at the window's size, with the template's margins:
// two lines of text on top, the list below them, the buttons at the foot.
static void Layout()
{
    RECT client;
    GetClientRect(Results.window, &client);
    RECT units = {7, 5, 9, 14};      // margin, top, a line of text, a button's height
    RECT buttons = {50, 100, 4, 5};  // Stop's width, the other's, the gap between, the foot
    MapDialogRect(Results.window, &units);
    MapDialogRect(Results.window, &buttons);
    int margin = units.left, width = client.right - 2 * margin;
    int buttonTop = client.bottom - buttons.bottom - units.bottom;
    int listTop = units.top + 2 * units.right + units.top / 2;
    HDWP places = BeginDeferWindowPos(5);
    struct Place {
        int control, x, y, cx, cy;
    };
    const Place shown[] = {
        {IDC_RESULTS_FILE, margin, units.top, width, units.right},
        {IDC_RESULTS_STATUS, margin, units.top + units.right + units.top / 3, width, units.right},
        {IDC_RESULTS_LIST, margin, listTop, width, buttonTop - buttons.bottom - listTop},
        {IDC_RESULTS_STOP, client.right - margin - buttons.left, buttonTop, buttons.left, units.bottom},
        {IDC_RESULTS_UNREADABLE, client.right - margin - buttons.left - buttons.right - buttons.top, buttonTop,
         buttons.top, units.bottom},
    };
    for (const Place& place : shown) {
        if (places)
            places = DeferWindowPos(places, GetDlgItem(Results.window, place.control), NULL, place.x, place.y,
                                    place.cx > 0 ? place.cx : 0, place.cy > 0 ? place.cy : 0, SWP_NOZORDER);
    }
    if (places)
        EndDeferWindowPos(places);
    FitTextColumn(Results.list);
}

// Reads a signed number from text at *at, skipping spaces; FALSE when there is none.
static BOOL ReadNumber(const WCHAR* text, int* at, LONG* number)
{
    while (text[*at] == L' ')
        ++*at;
    BOOL negative = text[*at] == L'-';
    *at += negative;
    if (text[*at] < L'0' || text[*at] > L'9')
        return FALSE;
    LONG value = 0;
    while (text[*at] >= L'0' && text[*at] <= L'9' && value < 1000000)
        value = value * 10 + (text[(*at)++] - L'0');
    *number = negative ? -value : value;
    return TRUE;
}

// Puts the window where the user left it, when that is on a screen; else
// centred at its template's size.
static void PlaceWindow()
{
    WCHAR saved[64];
    LONG numbers[5] = {};
    int at = 0, read = 0;
    if (ReadSettingText(RESULTS_PLACE_VALUE, saved, 64)) {
        while (read < 5 && ReadNumber(saved, &at, &numbers[read]))
            read++;
    }
    RECT place = {numbers[0], numbers[1], numbers[2], numbers[3]};
    if (read == 5 && place.right - place.left > 0 && place.bottom - place.top > 0 &&
        MonitorFromRect(&place, MONITOR_DEFAULTTONULL)) {
        WINDOWPLACEMENT placement = {};
        placement.length = sizeof placement;
        placement.showCmd = numbers[4] ? SW_SHOWMAXIMIZED : SW_SHOWNORMAL;
        placement.rcNormalPosition = place;
        SetWindowPlacement(Results.window, &placement);
    } else {
        RECT window, work;
        GetWindowRect(Results.window, &window);
        SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
        int cx = window.right - window.left, cy = window.bottom - window.top;
        SetWindowPos(Results.window, NULL, work.left + (work.right - work.left - cx) / 2,
                     work.top + (work.bottom - work.top - cy) / 2, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
        ShowWindow(Results.window, SW_SHOWNORMAL);
    }
    SetForegroundWindow(Results.window);
}

static void SavePlace()
{
    WINDOWPLACEMENT placement = {};
    placement.length = sizeof placement;
    if (!GetWindowPlacement(Results.window, &placement))
        return;
    const RECT* place = &placement.rcNormalPosition;
    WCHAR saved[64];
    wsprintfW(saved, L"%ld %ld %ld %ld %d", place->left, place->top, place->right, place->bottom,
              placement.showCmd == SW_SHOWMAXIMIZED);
    WriteSettingText(RESULTS_PLACE_VALUE, saved);
}

static void OnInitDialog(HWND window)
{
    Results.window = window;
    Results.list = GetDlgItem(window, IDC_RESULTS_LIST);
    HINSTANCE own = GetModuleHandleW(NULL);
    SendMessageW(window, WM_SETICON, ICON_BIG, (LPARAM)LoadIconW(own, MAKEINTRESOURCEW(IDI_APP)));
    HICON small = (HICON)LoadImageW(own, MAKEINTRESOURCEW(IDI_APP), IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
                                    GetSystemMetrics(SM_CYSMICON), 0);
    SendMessageW(window, WM_SETICON, ICON_SMALL, (LPARAM)small);
    SetUpResultsList(Results.list, Results.module);
    Layout();
}

static INT_PTR CALLBACK ResultsDlgProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG: OnInitDialog(window); return TRUE;
    case WM_SIZE: Layout(); return TRUE;
    case WM_GETMINMAXINFO: {
        RECT least = {0, 0, 240, 120};
        if (Results.window) {
            MapDialogRect(Results.window, &least);
            ((MINMAXINFO*)lParam)->ptMinTrackSize.x = least.right;
            ((MINMAXINFO*)lParam)->ptMinTrackSize.y = least.bottom;
        }
        return TRUE;
    }
    case WM_COMMAND: OnCommand(wParam); return TRUE;
    case WM_NOTIFY: OnNotify((NMHDR*)lParam); return TRUE;
    case WM_INITMENUPOPUP: OnInitMenuPopup((HMENU)wParam); return TRUE;
    case WM_CONTEXTMENU: OnContextMenu((HWND)wParam, lParam); return TRUE;
    case WM_TIMER:
        if (wParam == IDT_RESULTS && Results.searching) {
            ShowCurrentFile();
            Results.ticks++;
            if (Results.ticks % ROWS_TICKS == 0 || SendMessageW(Results.list, LVM_GETITEMCOUNT, 0, 0) <=
                                                       SendMessageW(Results.list, LVM_GETCOUNTPERPAGE, 0, 0))
                ShowListedHits(Results.list);
            if (Results.ticks % STATUS_TICKS == 0)
                ShowStatus();
            // A stop must end the search within a second whatever the report does.
            if (SearchStuck())
                ExitProcess(0);
        }
        return TRUE;
    case WM_CLOSE: Close(); return TRUE;
    }
    return FALSE;
}

SearchRequest* RunResultsWindow(SearchRequest* request)
{
    ZeroMemory(&Results, sizeof Results);
    Results.module = GetResourceModule();
    Results.request = request;
    Results.report = INVALID_HANDLE_VALUE;
    // Without room for the list the search runs as it does without the window.
    if (!StartHitList())
        return request;
    Results.report = CreateReportFile(Results.reportPath, TRUE, TELL_BOX, NULL);
    if (Results.report == INVALID_HANDLE_VALUE) {
        EndHitList();
        FreeSearchRequest(request);
        return NULL;
    }
    HWND window = CreateDialogParamW(Results.module, MAKEINTRESOURCEW(IDD_RESULTS), NULL, ResultsDlgProc, 0);
    if (!window) {
        CloseHandle(Results.report);
        EndHitList();
        return request;
    }
    HACCEL keys = LoadAcceleratorsW(GetModuleHandleW(NULL), MAKEINTRESOURCEW(IDR_RESULTS_KEYS));
    SetCaption();
    PlaceWindow();
    StartRun();
    MSG message;
    while (!Results.over && GetMessageW(&message, NULL, 0, 0) > 0) {
        if (TranslateAcceleratorW(window, keys, &message) || IsDialogMessageW(window, &message))
            continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    SavePlace();
    EndResultsList(Results.list);
    DestroyWindow(window);
    EndHitList();
    FreeSearchRequest(Results.request);
    return Results.handedBack;
}
