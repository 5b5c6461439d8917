// The progress dialog from the real template, with its worker walking a real
// folder tree on one scanning thread and on three. The file opens are
// watched: at a chosen file the thread that opens it asks the dialog's
// thread to play what the user does and waits for it, so the walk cannot end
// under the action. A spy on the current-file control sees every text the
// dialog shows.
#include "run/SearchRun.h"
#include "engine/StopFlag.h"
#include "engine/SearchRequest.h"
#include "resources/resource.h"
#include "tests/support/ImportPatch.h"
#include "tests/support/Requests.h"
#include "tests/support/TestFiles.h"
#include <gtest/gtest.h>
#include <algorithm>
#include <mutex>
#include <string>
#include <vector>

extern "C" HANDLE(WINAPI* __imp_CreateFileW)(LPCWSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE);

namespace {

enum UserAction { NO_ACTION, PRESS_ESC, CLOSE_BOX, SEND_IDCANCEL, CLICK_CANCEL, WAIT_UNTIL_SHOWN };

// Sent by the worker to the dialog to play the action on its thread.
#define WM_PLAY_ACTION (WM_APP + 7)

struct Spy {
    UserAction action;
    int atFile;  // 1-based number of the opened file the action comes at
    HWND dialog;
    WNDPROC original;
    std::vector<std::wstring> opened;  // files the search opened, in order, under openedLock
    LONG openedAfterStop;              // of them, opened after the stop was requested
    std::vector<std::wstring> shown;   // the control's text after each WM_SETTEXT
    HANDLE shownEvent;                 // set when the control shows the file waited for
    std::wstring awaited;
    BOOL visibleAfterAction;
    BOOL shownWhileSearched;
    HICON bigIcon;
    int nonZeroResults;  // the dialog procedure must answer 0 throughout
};
Spy spy;
std::mutex openedLock;
HANDLE(WINAPI* realCreateFile)(LPCWSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE);

void Act()
{
    HWND stop = GetDlgItem(spy.dialog, IDC_STOP);
    switch (spy.action) {
    case PRESS_ESC: {
        // What the modal loop does with the key: the dialog manager turns it
        // into IDCANCEL.
        MSG key = {stop, WM_KEYDOWN, VK_ESCAPE, 0x00010001, 0, {0, 0}};
        IsDialogMessageW(spy.dialog, &key);
        break;
    }
    case CLOSE_BOX: SendMessageW(spy.dialog, WM_SYSCOMMAND, SC_CLOSE, 0); break;
    case SEND_IDCANCEL: SendMessageW(spy.dialog, WM_COMMAND, IDCANCEL, 0); break;
    case CLICK_CANCEL: SendMessageW(stop, BM_CLICK, 0, 0); break;
    case NO_ACTION:
    case WAIT_UNTIL_SHOWN: break;
    }
    // EndDialog hides the dialog at once; one that ignored the action stays.
    spy.visibleAfterAction = IsWindowVisible(spy.dialog);
}

LRESULT CALLBACK CurrentFileSpy(HWND control, UINT message, WPARAM wParam, LPARAM lParam)
{
    LRESULT result = CallWindowProcW(spy.original, control, message, wParam, lParam);
    if (message == WM_SETTEXT) {
        WCHAR text[600];
        GetWindowTextW(control, text, 600);
        spy.shown.push_back(text);
        if (!spy.awaited.empty() && spy.awaited == text)
            SetEvent(spy.shownEvent);
    }
    return result;
}

// On a scanning thread: a file about to be searched. At the chosen file the
// thread either has the dialog play the user's action, or takes long until
// the dialog names the file (for at most five seconds).
HANDLE WINAPI WatchCreateFile(LPCWSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                              DWORD disposition, DWORD flags, HANDLE model)
{
    if (GetCurrentThreadId() != GetWindowThreadProcessId(spy.dialog, NULL)) {
        std::unique_lock<std::mutex> hold(openedLock);
        spy.opened.push_back(WithoutLongPrefix(path));
        spy.openedAfterStop += Stopped();
        bool chosen = (int)spy.opened.size() == spy.atFile;
        if (chosen && spy.action == WAIT_UNTIL_SHOWN) {
            spy.awaited = spy.opened.back();
            hold.unlock();
            // The dialog may have named it already, before it was awaited.
            WCHAR text[600];
            GetDlgItemTextW(spy.dialog, IDC_CURRENT_FILE, text, 600);
            spy.shownWhileSearched = spy.awaited == text || WaitForSingleObject(spy.shownEvent, 5000) == WAIT_OBJECT_0;
        } else if (chosen) {
            hold.unlock();
            SendMessageW(spy.dialog, WM_PLAY_ACTION, 0, 0);
        }
    }
    return realCreateFile(path, access, share, security, disposition, flags, model);
}

INT_PTR CALLBACK SpyingProgressProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_PLAY_ACTION) {
        Act();
        return TRUE;
    }
    if (message == WM_INITDIALOG) {
        spy.dialog = dialog;
        HWND control = GetDlgItem(dialog, IDC_CURRENT_FILE);
        spy.original = (WNDPROC)SetWindowLongPtrW(control, GWLP_WNDPROC, (LONG_PTR)CurrentFileSpy);
    }
    INT_PTR result = ProgressDlgProc(dialog, message, wParam, lParam);
    if (result != 0)
        spy.nonZeroResults++;
    if (message == WM_INITDIALOG)
        spy.bigIcon = (HICON)SendMessageW(dialog, WM_GETICON, ICON_BIG, 0);
    return result;
}

struct ProgressRun {
    INT_PTR result;
    std::string report;
};

// Shows the progress dialog for a search of folder for "needle" in *.c files,
// subfolders included, on the given number of scanning threads, as the
// program entry does.
ProgressRun RunProgress(const std::wstring& folder, UserAction action, int atFile, LONG threads = 1)
{
    spy = Spy();
    spy.action = action;
    spy.atFile = atFile;
    spy.shownEvent = CreateEventW(NULL, TRUE, FALSE, NULL);
    ClearStop();
    SearchRequest* request = (SearchRequest*)GlobalAlloc(GMEM_FIXED, sizeof(SearchRequest));
    FillRequest(request, L"needle", MATCH_CASE | SUBFOLDERS, L"*.c", folder);
    request->scanThreads = threads;

    ReportCapture capture;
    CaptureStart(&capture);
    ProgressRun run;
    realCreateFile = PatchImport(&__imp_CreateFileW, WatchCreateFile);
    run.result = DialogBoxParamW(GetModuleHandleW(NULL), MAKEINTRESOURCEW(IDD_PROGRESS), NULL, SpyingProgressProc,
                                 (LPARAM)request);
    // The dialog may give up on a worker slow to wind down after a stop;
    // nothing it uses may go before it has ended.
    WaitForSearch(INFINITE);
    PatchImport(&__imp_CreateFileW, realCreateFile);
    CloseHandle(spy.shownEvent);
    run.report = CaptureFinish(&capture);
    FreeSearchRequest(request);
    return run;
}

// The one hit of a tree file, as its report line without CR LF.
std::string HitLine(const std::wstring& path)
{
    return Ansi(path) + "(2,7) : found needle";
}

// Three folders of four files each; every file has one hit, on its second line.
std::vector<std::wstring> MakeTree(const std::wstring& root)
{
    std::vector<std::wstring> files;
    const wchar_t* folders[] = {L"", L"\\one", L"\\one\\two"};
    for (const wchar_t* folder : folders) {
        std::wstring dir = root + folder;
        if (*folder)
            MakeFolder(dir);
        for (int n = 1; n <= 4; n++) {
            std::wstring path = dir + L"\\file" + std::to_wstring(n) + L".c";
            WriteTestFile(path, "// first line\r\nfound needle\r\nlast line\r\n");
            files.push_back(path);
        }
        WriteTestFile(dir + L"\\other.txt", "needle\r\n");
    }
    return files;
}

std::vector<std::string> ReportLines(const std::string& report)
{
    std::vector<std::string> lines;
    size_t start = 0, end;
    while ((end = report.find("\r\n", start)) != std::string::npos) {
        lines.push_back(report.substr(start, end - start));
        start = end + 2;
    }
    EXPECT_EQ(start, report.size()) << "unterminated report line";
    return lines;
}

std::vector<std::wstring> Sorted(std::vector<std::wstring> items)
{
    std::sort(items.begin(), items.end());
    return items;
}

// Every text the dialog showed names a file of the search, as it was opened.
void ExpectShownFilesOfTheSearch(const std::vector<std::wstring>& files)
{
    for (const std::wstring& text : spy.shown)
        EXPECT_NE(std::find(files.begin(), files.end(), text), files.end()) << "shown: " << Ansi(text);
}

// The report's lines, one per file, in the order of files.
void ExpectHitsOf(const std::vector<std::string>& lines, const std::vector<std::wstring>& files)
{
    ASSERT_LE(lines.size(), files.size());
    for (size_t i = 0; i < lines.size(); i++)
        EXPECT_EQ(lines[i], HitLine(files[i]));
}

TEST(ProgressDialog, NamesTheFileBeingSearchedAndEndsAfterTheWalk)
{
    std::wstring root = MakeTestFolder();
    std::vector<std::wstring> files = MakeTree(root);
    // The first file, and one in the middle, each take long until named; on
    // three threads the others run on meanwhile, and end before it.
    std::vector<std::wstring> walkOrder;
    for (LONG threads : {1, 3}) {
        for (int slow : {1, 6}) {
            SCOPED_TRACE(std::to_string(threads) + " threads, slow file " + std::to_string(slow));
            ProgressRun run = RunProgress(root, WAIT_UNTIL_SHOWN, slow, threads);
            EXPECT_TRUE(spy.shownWhileSearched) << "a file searched for five seconds was never named";
            EXPECT_EQ(run.result, 0);
            EXPECT_NE(spy.bigIcon, (HICON)NULL);
            EXPECT_EQ(spy.nonZeroResults, 0);
            EXPECT_FALSE(Stopped());
            EXPECT_EQ(Sorted(spy.opened), Sorted(files));
            ExpectShownFilesOfTheSearch(files);
            // The report is complete when the dialog returns, in walk order:
            // the order one thread opens the files in.
            if (threads == 1)
                walkOrder = spy.opened;
            std::vector<std::string> lines = ReportLines(run.report);
            EXPECT_EQ(lines.size(), files.size());
            ExpectHitsOf(lines, walkOrder);
        }
    }
    RemoveTree(root);
}

struct IgnoredAction {
    const char* name;
    UserAction action;
};

TEST(ProgressDialog, IgnoresEscTheCloseBoxAndIdCancelWhileTheSearchRuns)
{
    const IgnoredAction cases[] = {
        {"Esc", PRESS_ESC},
        {"close box", CLOSE_BOX},
        {"IDCANCEL", SEND_IDCANCEL},
    };
    std::wstring root = MakeTestFolder();
    std::vector<std::wstring> files = MakeTree(root);
    for (const IgnoredAction& c : cases) {
        SCOPED_TRACE(c.name);
        ProgressRun run = RunProgress(root, c.action, 2, 3);
        EXPECT_TRUE(spy.visibleAfterAction);
        EXPECT_EQ(run.result, 0);
        EXPECT_FALSE(Stopped());
        EXPECT_EQ(Sorted(spy.opened), Sorted(files));
        EXPECT_EQ(ReportLines(run.report).size(), files.size());
    }
    RemoveTree(root);
}

TEST(ProgressDialog, CancelStopsTheSearchAndKeepsOnlyTheHitsFoundBefore)
{
    std::wstring root = MakeTestFolder();
    std::vector<std::wstring> files = MakeTree(root);
    RunProgress(root, NO_ACTION, 0);
    std::vector<std::wstring> walkOrder = spy.opened;
    for (LONG threads : {1, 3}) {
        SCOPED_TRACE(threads);
        ProgressRun run = RunProgress(root, CLICK_CANCEL, 3, threads);
        EXPECT_EQ(run.result, 0);
        EXPECT_TRUE(Stopped());
        ExpectShownFilesOfTheSearch(files);
        // Cancel came as the third file was opened. On one thread, which
        // waited for it, no file after it; on three, each other thread may
        // have been about to open one as the stop came. The report is the
        // first lines of the whole report.
        EXPECT_LE(spy.openedAfterStop, threads - 1);
        std::vector<std::string> lines = ReportLines(run.report);
        if (threads == 1) {
            EXPECT_EQ(spy.opened.size(), 3u);
            EXPECT_GE(lines.size(), 2u);
        }
        EXPECT_LE(lines.size(), spy.opened.size());
        ExpectHitsOf(lines, walkOrder);
    }
    RemoveTree(root);
}

TEST(ProgressDialog, ClosesAtOnceWhenThereIsNothingToSearch)
{
    std::wstring root = MakeTestFolder();
    const std::wstring folders[] = {root, root + L"\\missing"};
    for (const std::wstring& folder : folders) {
        ProgressRun run = RunProgress(folder, CLICK_CANCEL, 1);
        EXPECT_EQ(run.result, 0);
        EXPECT_TRUE(spy.opened.empty());
        EXPECT_TRUE(spy.shown.empty());
        EXPECT_EQ(run.report, "");
        EXPECT_FALSE(Stopped());
    }
    RemoveTree(root);
}

}  // namespace
