// The walk harness: the file and directory-search functions of this
// program's import table replaced by recording ones while a walk runs. The
// recording ones run on the walker and on the scanning threads alike.
#include "tests/walk/WalkHarness.h"
#include "engine/report/Notices.h"
#include "engine/StopFlag.h"
#include "tests/support/ImportPatch.h"
#include "tests/support/Requests.h"
#include "tests/support/TestFiles.h"
#include "walk/CurrentFile.h"
#include <gtest/gtest.h>
#include <mutex>
#include <sstream>

// The import table slots through which the walker and the scanner call the platform.
extern "C" {
extern HANDLE(WINAPI* __imp_FindFirstFileW)(LPCWSTR, LPWIN32_FIND_DATAW);
extern BOOL(WINAPI* __imp_FindClose)(HANDLE);
extern HANDLE(WINAPI* __imp_CreateFileW)(LPCWSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE);
}

static HANDLE(WINAPI* realFindFirstFile)(LPCWSTR, LPWIN32_FIND_DATAW);
static BOOL(WINAPI* realFindClose)(HANDLE);
static HANDLE(WINAPI* realCreateFile)(LPCWSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE);
static std::mutex recordLock;
static WalkRun* recording;
static size_t stopAfter;
static bool oneThread;
// The report file, and its size as each file was opened; the files' paths as opened.
static HANDLE reportFile;
static std::vector<LONGLONG> writtenAtOpen;
static std::vector<std::wstring> opened;

static HANDLE WINAPI RecordFindFirstFile(LPCWSTR path, LPWIN32_FIND_DATAW found)
{
    HANDLE search = realFindFirstFile(path, found);
    std::lock_guard<std::mutex> hold(recordLock);
    recording->searches.push_back(WithoutLongPrefix(path));
    if (search != INVALID_HANDLE_VALUE)
        recording->openSearches++;
    return search;
}

static BOOL WINAPI RecordFindClose(HANDLE search)
{
    std::lock_guard<std::mutex> hold(recordLock);
    recording->openSearches--;
    return realFindClose(search);
}

// The shown path may spell the folder of a pattern as typed ("sub/",
// "..\\"): it must name the same file as the path opened, where a file that
// would not open by its name is opened again by its short name.
static bool NamesTheSameFile(const std::wstring& path, const WCHAR* shown)
{
    static WCHAR full[REPORT_PATH_CHARS];
    if (!GetFullPathNameW(shown, REPORT_PATH_CHARS, full, NULL))
        return path == shown;
    std::wstring named = full;
    if (path == shown || path == named)
        return true;
    WIN32_FIND_DATAW found;
    HANDLE search = realFindFirstFile(full, &found);
    if (search == INVALID_HANDLE_VALUE)
        return false;
    realFindClose(search);
    size_t folder = named.rfind(L'\\') + 1;
    return path == named.substr(0, folder) + found.cAlternateFileName;
}

// A file opened to be searched, which the scanner opens with the hint that it
// reads the file in one go (folders are opened only for their identity, rules
// files without the hint). The Cancel button is played at the chosen file,
// before its first byte is read.
static HANDLE WINAPI RecordCreateFile(LPCWSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                                      DWORD disposition, DWORD flags, HANDLE model)
{
    if (flags & FILE_FLAG_SEQUENTIAL_SCAN) {
        std::lock_guard<std::mutex> hold(recordLock);
        if (Stopped())
            recording->afterStop++;
        recording->searched.push_back(WithoutLongPrefix(path));
        opened.push_back(path);
        LARGE_INTEGER size;
        GetFileSizeEx(reportFile, &size);
        writtenAtOpen.push_back(size.QuadPart);
        // On one thread the file searched is the one published; on more,
        // another thread may have published since.
        static WCHAR shown[REPORT_PATH_CHARS];
        LONG number = 0;
        if (oneThread &&
            (!FetchCurrentFile(shown, REPORT_PATH_CHARS, &number) || !NamesTheSameFile(WithoutLongPrefix(path), shown)))
            recording->unpublished++;
        if (recording->searched.size() == stopAfter)
            RequestStop();
    }
    return realCreateFile(path, access, share, security, disposition, flags, model);
}

void PrepareWalk(SearchRequest* request, const wchar_t* fileTypes, bool subfolders)
{
    FillRequest(request, L"hit", subfolders ? SUBFOLDERS : 0, fileTypes);
    request->scanThreads = 1;
}

void ExpectWalkOfCFiles(const std::wstring& root, const std::string& expected, WalkRun* run)
{
    SearchRequest request;
    PrepareWalk(&request, L"*.c", true);
    RunWalk(root, &request, 0, run);
    EXPECT_EQ(Relative(run->searched, root), expected);
    EXPECT_EQ(run->report, Reported(root, expected));
}

static size_t CountLines(const std::string& report, size_t length)
{
    size_t lines = 0;
    for (size_t at = 0; at + 1 < length; at++)
        lines += report[at] == '\r' && report[at + 1] == '\n';
    return lines;
}

// The report lines a file has searched alone.
static size_t LinesOf(const std::wstring& path, const SearchRequest* request)
{
    ReportCapture capture;
    CaptureStart(&capture);
    SearchTestFile(path, request);
    std::string report = CaptureFinish(&capture);
    return CountLines(report, report.size());
}

// On one thread, where the thread that opens the files is the one that
// writes: checks that every file's lines had all gone out, in whole lines,
// before the next file was opened. The stop is lifted for the searches of
// the files alone.
static void CheckFlushedFileByFile(WalkRun* run, const SearchRequest* request)
{
    bool stopped = Stopped();
    ClearStop();
    size_t before = 0;
    for (size_t i = 0; i < writtenAtOpen.size(); i++) {
        size_t written = (size_t)writtenAtOpen[i];
        if (written > run->report.size() || (written > 0 && run->report[written - 1] != '\n') ||
            CountLines(run->report, written) != before)
            run->unflushed++;
        before += LinesOf(opened[i], request);
    }
    if (stopped)
        RequestStop();
}

void RunWalk(const std::wstring& folder, SearchRequest* request, size_t stopAfter_, WalkRun* run)
{
    *run = WalkRun();
    recording = run;
    stopAfter = stopAfter_;
    oneThread = request->scanThreads == 1;
    writtenAtOpen.clear();
    opened.clear();
    ReportCapture capture, problems;
    CaptureStart(&problems);
    CaptureStart(&capture);
    reportFile = capture.handle;
    UnreadableFilesTo(problems.handle);
    realFindFirstFile = PatchImport(&__imp_FindFirstFileW, RecordFindFirstFile);
    realFindClose = PatchImport(&__imp_FindClose, RecordFindClose);
    realCreateFile = PatchImport(&__imp_CreateFileW, RecordCreateFile);

    WalkOutcome outcome = SearchFolder(folder.c_str(), request);

    PatchImport(&__imp_CreateFileW, realCreateFile);
    PatchImport(&__imp_FindClose, realFindClose);
    PatchImport(&__imp_FindFirstFileW, realFindFirstFile);
    UnreadableFilesTo(NULL);
    run->report = CaptureFinish(&capture);
    run->unreadable = CaptureFinish(&problems);
    run->outcome = outcome;
    recording = NULL;
    if (oneThread)
        CheckFlushedFileByFile(run, request);
    EXPECT_EQ(run->unflushed, 0) << "a file was opened before the reports of the files before it were out";
    EXPECT_EQ(run->unpublished, 0) << "a file was searched without being the published current file";
    EXPECT_EQ(run->openSearches, 0) << "a directory search was not closed";
    // Each other thread may have passed its look at the stop flag and be
    // about to open its file; none opens another.
    LONG threads = request->scanThreads > 0 ? request->scanThreads : 1;
    EXPECT_LE(run->afterStop, (size_t)(threads - 1)) << "files were opened after the stop";
}

// Starts a program of the host system, which Wine starts from its Z: path.
static bool RunHost(const wchar_t* program, std::wstring commandLine)
{
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process;
    if (!CreateProcessW(program, &commandLine[0], NULL, NULL, FALSE, 0, NULL, NULL, &startup, &process))
        return false;
    WaitForSingleObject(process.hProcess, INFINITE);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return true;
}

// The host's own path of a Windows path, or "" outside Wine.
std::string HostPath(const std::wstring& path)
{
    typedef char*(CDECL * UnixFileName)(LPCWSTR);
    UnixFileName unixFileName =
        (UnixFileName)(void*)GetProcAddress(GetModuleHandleW(L"kernel32"), "wine_get_unix_file_name");
    char* name = unixFileName ? unixFileName(path.c_str()) : NULL;
    if (!name)
        return "";
    std::string host = name;
    HeapFree(GetProcessHeap(), 0, name);
    return host;
}

// The host's path of link, a name in a folder that Wine shows.
static std::wstring HostLinkPath(const std::wstring& link)
{
    std::string host = HostPath(link.substr(0, link.rfind(L'\\'))) + "/" + Ansi(link.substr(link.rfind(L'\\') + 1));
    return std::wstring(host.begin(), host.end());
}

// Runs a host command on link and waits until link exists, or not: Wine does
// not wait for a host program to end.
static void ChangeLink(const wchar_t* program, const std::wstring& command, const std::wstring& link, bool exists)
{
    ASSERT_TRUE(RunHost(program, command));
    for (int tries = 0; tries < 100; tries++) {
        if ((GetFileAttributesW(link.c_str()) != INVALID_FILE_ATTRIBUTES) == exists)
            return;
        Sleep(20);
    }
    FAIL() << "the host command did not take effect: " << Ansi(command);
}

// A host symbolic link at link to target; Wine shows it as a link or
// junction to a folder.
void MakeLink(const std::string& target, const std::wstring& link)
{
    std::wstring command =
        L"ln -s \"" + std::wstring(target.begin(), target.end()) + L"\" \"" + HostLinkPath(link) + L"\"";
    ChangeLink(L"Z:\\bin\\ln", command, link, true);
    ASSERT_NE(GetFileAttributesW(link.c_str()) & FILE_ATTRIBUTE_REPARSE_POINT, 0u);
}

// The platform cannot remove a host link to a folder; the host can.
void RemoveLink(const std::wstring& link)
{
    ChangeLink(L"Z:\\bin\\rm", L"rm \"" + HostLinkPath(link) + L"\"", link, false);
}

static std::wstring Widen(const std::string& text)
{
    return std::wstring(text.begin(), text.end());
}

void MakeTree(const std::wstring& root, const char* entries)
{
    std::istringstream list(entries);
    std::string name;
    while (list >> name) {
        std::wstring path = root + L"\\" + Widen(name);
        if (name.back() == '\\')
            MakeFolder(path.substr(0, path.size() - 1));
        else
            WriteTestFile(path, name.compare(0, 4, "miss") == 0 ? "nothing\n" : "hit\nhit\n");
    }
}

std::vector<std::wstring> Listing(const std::wstring& folder, const wchar_t* pattern)
{
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((folder + L"\\" + pattern).c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return names;
    do {
        std::wstring name = found.cFileName;
        if (name == L"." || name == L"..")
            continue;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            name += L"\\";
        names.push_back(name);
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return names;
}

std::string Relative(const std::vector<std::wstring>& paths, const std::wstring& root)
{
    std::wstring prefix = root + L"\\";
    std::string list;
    for (const std::wstring& path : paths) {
        std::wstring rest = path.compare(0, prefix.size(), prefix) == 0 ? path.substr(prefix.size()) : path;
        list += (list.empty() ? "" : " ") + Ansi(rest);
    }
    return list;
}

std::string Reported(const std::wstring& root, const std::string& files, int lines)
{
    std::istringstream list(files);
    std::string name;
    std::string report;
    while (list >> name) {
        std::string path = Ansi(root + L"\\" + Widen(name));
        for (int line = 1; line <= lines; line++)
            report += path + "(" + std::to_string(line) + ",1) : hit\r\n";
    }
    return report;
}
