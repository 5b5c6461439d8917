// The walk harness: the file and directory-search functions of this
// program's import table replaced by recording ones while a walk runs.
#include "tests/walk/WalkHarness.h"
#include "engine/Output.h"
#include "engine/ProcessState.h"
#include "tests/support/ImportPatch.h"
#include "tests/support/Requests.h"
#include "tests/support/TestFiles.h"
#include "walk/CurrentFile.h"
#include <gtest/gtest.h>
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
static WalkRun* recording;
static size_t stopAfter;

static HANDLE WINAPI RecordFindFirstFile(LPCWSTR path, LPWIN32_FIND_DATAW found)
{
    recording->searches.push_back(WithoutLongPrefix(path));
    HANDLE search = realFindFirstFile(path, found);
    if (search != INVALID_HANDLE_VALUE)
        recording->openSearches++;
    return search;
}

static BOOL WINAPI RecordFindClose(HANDLE search)
{
    recording->openSearches--;
    return realFindClose(search);
}

// A file opened to be searched (folders are opened only for their identity).
// The Cancel button is played at the chosen file, before its first byte is read.
static HANDLE WINAPI RecordCreateFile(LPCWSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                                      DWORD disposition, DWORD flags, HANDLE model)
{
    if (!(flags & FILE_FLAG_BACKUP_SEMANTICS)) {
        recording->searched.push_back(WithoutLongPrefix(path));
        if (OutputBuffer.used != 0)
            recording->unflushed++;
        // The shown path may spell the folder of a pattern as typed ("sub/",
        // "..\\"): it must name the same file.
        static WCHAR shown[REPORT_PATH_CHARS], full[REPORT_PATH_CHARS];
        LONG number = 0;
        if (!FetchCurrentFile(shown, REPORT_PATH_CHARS, &number) ||
            (WithoutLongPrefix(path) != shown &&
             (!GetFullPathNameW(shown, REPORT_PATH_CHARS, full, NULL) || WithoutLongPrefix(path) != full)))
            recording->unpublished++;
        if (recording->searched.size() == stopAfter)
            StopRequested = 1;
    }
    return realCreateFile(path, access, share, security, disposition, flags, model);
}

void PrepareWalk(SearchRequest* request, const wchar_t* fileTypes, bool subfolders)
{
    FillRequest(request, L"hit", subfolders ? SUBFOLDERS : 0, fileTypes);
}

void ExpectWalkOfCFiles(const std::wstring& root, const std::string& expected, WalkRun* run)
{
    SearchRequest request;
    PrepareWalk(&request, L"*.c", true);
    RunWalk(root, &request, 0, run);
    EXPECT_EQ(Relative(run->searched, root), expected);
    EXPECT_EQ(run->report, Reported(root, expected));
}

void RunWalk(const std::wstring& folder, SearchRequest* request, size_t stopAfter_, WalkRun* run)
{
    *run = WalkRun();
    recording = run;
    stopAfter = stopAfter_;
    ReportCapture capture;
    CaptureStart(&capture);
    realFindFirstFile = PatchImport(&__imp_FindFirstFileW, RecordFindFirstFile);
    realFindClose = PatchImport(&__imp_FindClose, RecordFindClose);
    realCreateFile = PatchImport(&__imp_CreateFileW, RecordCreateFile);

    SearchFolder(folder.c_str(), request);

    PatchImport(&__imp_CreateFileW, realCreateFile);
    PatchImport(&__imp_FindClose, realFindClose);
    PatchImport(&__imp_FindFirstFileW, realFindFirstFile);
    EXPECT_EQ(OutputBuffer.used, 0u) << "report left in the buffer";
    run->report = CaptureFinish(&capture);
    recording = NULL;
    EXPECT_EQ(run->unflushed, 0) << "a file's report was not flushed before the next file";
    EXPECT_EQ(run->unpublished, 0) << "a file was searched without being published as the current file";
    EXPECT_EQ(run->openSearches, 0) << "a directory search was not closed";
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
