// The process entry: one search run, from the settings dialog or from the
// command line, to ExitProcess. There is no C runtime start-up before it; it
// never returns.
#include "run/SearchRun.h"
#include "run/CommandLine.h"
#include "run/Messages.h"
#include "run/ReportFile.h"
#include "run/ResultsWindow.h"
#include "engine/report/Output.h"
#include "engine/StopFlag.h"
#include "engine/SearchRequest.h"
#include "walk/Walker.h"
#include "resources/resource.h"
#include "settings/SettingsDialog.h"
#include <commctrl.h>
#include <objbase.h>
#include <shlobj.h>
#include <shlwapi.h>

// How long a closing console waits for the report before the system ends the
// process, which it does when the control handler returns (or after 5 s).
#define CLOSE_WAIT_MS 4000

// Seekline.com, built from this file as a console program, is typed at a
// prompt and never dropped on: a lone argument that names a file or folder
// is its search text.
#ifdef SEEKLINE_CONSOLE
#define OPENS_DROPPED_PATHS FALSE
#else
#define OPENS_DROPPED_PATHS TRUE
#endif

// Runs the request's search into the destination, with the progress dialog
// when asked for and possible, else with no window. Returns FALSE when a stop
// left the search stuck in a report write: the process must then end without
// freeing anything the search may still touch.
static BOOL RunSearch(SearchRequest* request, HANDLE destination, BOOL showProgress)
{
    OutputStart(destination);
    BOOL stuck = FALSE;
    INT_PTR shown = -1;
    if (showProgress) {
        InitCommonControls();
        shown = DialogBoxParamW(GetModuleHandleW(NULL), MAKEINTRESOURCEW(IDD_PROGRESS), NULL, ProgressDlgProc,
                                (LPARAM)request);
        stuck = shown == PROGRESS_STUCK;
    }
    // No dialog could be shown (no display): the search runs all the same.
    if (shown == -1 && StartSearch(request, NULL)) {
        while (!stuck && !WaitForSearch(STOP_WATCH_MS))
            stuck = SearchStuck();
    }
    if (stuck)
        return FALSE;
    // Otherwise the worker has posted its done command, its last act, or
    // never started: it is ending.
    WaitForSearch(INFINITE);
    return TRUE;
}

// One search run, from either front end: the report goes to standardOutput,
// or without one (NULL) to the desktop report file; the search runs, the
// request is freed, and a report that could not be written whole is told of
// (where says how). Returns the command line's exit code; a run that started
// with the settings dialog ends with 0 whatever it is.
static UINT SearchAndReport(SearchRequest* request, HANDLE standardOutput, BOOL showProgress, int where)
{
    // The caller's handle is its own, so it is never closed here.
    HANDLE reportFile = INVALID_HANDLE_VALUE;
    HANDLE destination = standardOutput;
    WCHAR path[MAX_PATH];
    if (!destination) {
        destination = reportFile = CreateReportFile(path, FALSE, where, NULL);
        if (reportFile == INVALID_HANDLE_VALUE) {
            FreeSearchRequest(request);
            return EXIT_ERROR;
        }
    }
    if (!RunSearch(request, destination, showProgress))
        ExitProcess(where == TELL_BOX ? 0 : EXIT_CANCELLED);
    WCHAR folder[FOLDER_CHARS + 1];
    lstrcpyW(folder, request->folder);
    FreeSearchRequest(request);
    // Closed first: the user may want to open what there is while the message shows.
    if (reportFile != INVALID_HANDLE_VALUE)
        CloseHandle(reportFile);
    if (TellIncompleteReport(standardOutput ? NULL : path, where, NULL))
        return EXIT_ERROR;
    if (SearchOutcome()->startError) {
        if (where == TELL_BOX)
            TellBoxFailure(NULL, IDS_FOLDER_UNLISTED, folder, SearchOutcome()->startError);
        else
            TellSystemFailure(L"cannot read folder %.300s: %.500s Nothing was searched.", folder,
                              SearchOutcome()->startError, where);
        return EXIT_ERROR;
    }
    // A stop that is not a closed pipe's came from the user.
    if (Stopped() && !OutputReaderGone())
        return EXIT_CANCELLED;
    return OutputFoundAny() ? EXIT_FOUND : EXIT_NOT_FOUND;
}

// The run that starts with the settings dialog, optionally on a folder given
// to the program. The report goes to the standard output a caller handed
// over with STARTF_USESTDHANDLES, else to the desktop report file; there,
// with its box ticked, the results window shows the hits and serves the
// searches after (a request it hands back runs without it).
static void RunDialog(const WCHAR* folder)
{
    STARTUPINFOW startup;
    startup.cb = sizeof startup;
    GetStartupInfoW(&startup);
    // -1 (the dialog could not be shown) counts as a cancel, like 0.
    INT_PTR result =
        DialogBoxParamW(GetResourceModule(), MAKEINTRESOURCEW(IDD_SETTINGS), NULL, SettingsDlgProc, (LPARAM)folder);
    if (result == 0 || result == -1)
        return;
    SearchRequest* request = (SearchRequest*)result;
    HANDLE standardOutput = (startup.dwFlags & STARTF_USESTDHANDLES) ? startup.hStdOutput : NULL;
    if (!standardOutput && request->options.listResults)
        request = RunResultsWindow(request);
    if (request)
        SearchAndReport(request, standardOutput, TRUE, TELL_BOX);
}

// Ctrl+C, Ctrl+Break and closing the console stop the search as Cancel does:
// the hits found so far are still written. Runs on a thread of its own.
static BOOL WINAPI ConsoleControl(DWORD event)
{
    CancelSearch();
    // For these the process ends when the handler returns: the run ends it
    // first, once the report is written.
    if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT)
        Sleep(CLOSE_WAIT_MS);
    return TRUE;
}

static void ShowUsage(int where)
{
    HANDLE output = StandardHandle(STD_OUTPUT_HANDLE);
    if (output)
        WriteText(output, UsageText);
    else if (where != TELL_QUIET)
        MessageBoxW(NULL, UsageText, L"Seekline", MB_OK | MB_ICONINFORMATION | MB_SETFOREGROUND);
}

// The run that the command line describes; returns the exit code. Neither
// the settings dialog nor the registry take part.
static UINT RunCommandLine(const CommandLine* line)
{
    // A stop counts from the moment the command line is read: one that
    // comes while the request is built ends the run as a cancel.
    SetConsoleCtrlHandler(ConsoleControl, TRUE);
    int where = line->noWindow ? TELL_QUIET : TELL_CONSOLE;
    if (line->run == RUN_BAD_USAGE) {
        TellUser(line->problem, where);
        return EXIT_ERROR;
    }
    if (line->run == RUN_USAGE) {
        ShowUsage(where);
        return EXIT_FOUND;
    }
    SearchEntries entries;
    entries.text = line->text;
    entries.fileTypes = line->fileTypes;
    entries.folder = line->folder;
    entries.options = line->options;
    SearchProblem problem;
    SearchRequest* request = NewSearchRequest(&entries, &problem);
    if (Stopped()) {
        FreeSearchRequest(request);
        return EXIT_CANCELLED;
    }
    if (!request) {
        TellUser(problem.text, where);
        return EXIT_ERROR;
    }
    request->scanThreads = line->scanThreads;
    // Like every command-line search tool, it names the files it could not
    // read on standard error, /Q or not; a dialog run stays silent.
    UnreadableFilesTo(StandardHandle(STD_ERROR_HANDLE));
    return SearchAndReport(request, StandardHandle(STD_OUTPUT_HANDLE), !line->noWindow, where);
}

extern "C" __attribute__((noreturn)) void ProgramEntry()
{
    // Static: the search text alone takes 2 KB, and the entry runs once.
    static CommandLine line;
    ReadCommandLine(&line, OPENS_DROPPED_PATHS);
    // A command-line run that shows no window has no use for the window
    // system, which Wine would start for it (its desktop process outlives
    // the run by a second, holding the caller's standard handles).
    if (line.run != RUN_DIALOG && line.run != RUN_DIALOG_ON_FOLDER)
        ExitProcess(RunCommandLine(&line));
    if (FAILED(CoInitialize(NULL)))
        ExitProcess(0);
    InitCommonControls();
    RunDialog(line.run == RUN_DIALOG_ON_FOLDER ? line.folder : NULL);
    CoUninitialize();
    ExitProcess(0);
}
