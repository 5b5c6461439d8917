// The walk harness: a recording window, a worker thread, and the directory
// search functions of this program's import table replaced by recording ones
// while a walk runs.
#include "tests/walk/WalkHarness.h"
#include "engine/ProcessState.h"
#include "tests/support/TestFiles.h"
#include <gtest/gtest.h>
#include <sstream>

// The import table slots through which the walker calls the platform.
extern "C" {
extern HANDLE(WINAPI* __imp_FindFirstFileW)(LPCWSTR, LPWIN32_FIND_DATAW);
extern BOOL(WINAPI* __imp_FindClose)(HANDLE);
}

#define WM_WALK_DONE (WM_APP + 1)

static HANDLE(WINAPI* realFindFirstFile)(LPCWSTR, LPWIN32_FIND_DATAW);
static BOOL(WINAPI* realFindClose)(HANDLE);
static WalkRun* recording;
static size_t stopAfter;

static HANDLE WINAPI RecordFindFirstFile(LPCWSTR path, LPWIN32_FIND_DATAW found)
{
    recording->searches.push_back(path);
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

template <typename Slot>
static void Patch(Slot* slot, Slot value)
{
    DWORD protection;
    VirtualProtect(slot, sizeof *slot, PAGE_READWRITE, &protection);
    *slot = value;
    VirtualProtect(slot, sizeof *slot, protection, &protection);
}

// Runs on the test thread while the worker waits in SendMessageW.
static LRESULT CALLBACK RecorderProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_SETTEXT && recording) {
        recording->searched.push_back((const WCHAR*)lParam);
        if (OutputBuffer.used != 0)
            recording->unflushed++;
        if (recording->searched.size() == stopAfter)
            StopRequested = 1;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

struct WalkJob {
    const WCHAR* folder;
    HWND window;
    SearchRequest* request;
};

static DWORD WINAPI WalkThread(void* parameter)
{
    WalkJob* job = (WalkJob*)parameter;
    SearchFolder(job->folder, job->window, job->request);
    PostMessageW(job->window, WM_WALK_DONE, 0, 0);
    return 0;
}

void PrepareWalk(SearchRequest* request, const wchar_t* fileTypes, bool subfolders)
{
    ZeroMemory(request, sizeof *request);
    ConvertNeedle(request, L"hit");
    CharUpperA(request->needle);
    lstrcpynW(request->fileTypes, fileTypes, PATH_CHARS);
    request->searchSubfolders = subfolders;
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
    static ATOM recorderClass;
    if (!recorderClass) {
        WNDCLASSW windowClass = {};
        windowClass.lpfnWndProc = RecorderProc;
        windowClass.hInstance = GetModuleHandleW(NULL);
        windowClass.lpszClassName = L"SeeklineWalkRecorder";
        recorderClass = RegisterClassW(&windowClass);
    }
    HWND window = CreateWindowExW(0, L"SeeklineWalkRecorder", L"", WS_OVERLAPPEDWINDOW, 0, 0, 300, 60,
                                  NULL, NULL, GetModuleHandleW(NULL), NULL);
    ASSERT_NE(window, nullptr);
    *run = WalkRun();
    recording = run;
    stopAfter = stopAfter_;
    ReportCapture capture;
    CaptureStart(&capture);
    realFindFirstFile = __imp_FindFirstFileW;
    realFindClose = __imp_FindClose;
    Patch(&__imp_FindFirstFileW, RecordFindFirstFile);
    Patch(&__imp_FindClose, RecordFindClose);

    WalkJob job = {folder.c_str(), window, request};
    HANDLE thread = CreateThread(NULL, 0, WalkThread, &job, 0, NULL);
    EXPECT_NE(thread, nullptr);
    MSG message;
    while (thread && GetMessageW(&message, NULL, 0, 0) > 0) {
        if (message.hwnd == window && message.message == WM_WALK_DONE)
            break;
        DispatchMessageW(&message);
    }
    if (thread) {
        WaitForSingleObject(thread, INFINITE);
        CloseHandle(thread);
    }

    Patch(&__imp_FindClose, realFindClose);
    Patch(&__imp_FindFirstFileW, realFindFirstFile);
    EXPECT_EQ(OutputBuffer.used, 0u) << "report left in the buffer";
    run->report = CaptureFinish(&capture);
    recording = NULL;
    DestroyWindow(window);
    EXPECT_EQ(run->unflushed, 0) << "a file's report was not flushed before the next file";
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
