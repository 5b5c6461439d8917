// Times one search of a whole folder tree as the program runs it (the
// progress dialog and its worker) against a floor that only walks the same
// tree and reads every file whole, with no scanning. scripts/bench.sh runs it
// beside native tools and prints the ratios.
//   seekline_tree_bench search|floor FOLDER PATTERNS NEEDLE REPORT
// prints "seconds files privateKiBBefore privateKiBAfter" (files: the floor's
// count).
//   seekline_tree_bench read-map FOLDER
// prints, for files of 4 KiB to 64 MiB, the time per file of opening, reading
// whole into one reused buffer and closing, against opening, mapping and
// unmapping, each touching every byte: what the scanner's choice between
// reading and mapping rests on.
#include "bench/Bench.h"
#include "engine/Output.h"
#include "engine/SearchRequest.h"
#include "resources/resource.h"
#include "run/SearchRun.h"
#include <psapi.h>
#include <shellapi.h>
#include <stdio.h>
#include <string>
#include <vector>

static SIZE_T PrivateKiB()
{
    PROCESS_MEMORY_COUNTERS counters;
    GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
    return counters.PagefileUsage >> 10;
}

// The floor: the walk with FindFirstFileW per pattern, then each file opened,
// read whole with one ReadFile into one reused buffer, and closed.
struct Floor {
    std::vector<std::wstring> patterns;
    std::vector<char> buffer;
    long files;
};

static void FloorWalk(Floor* floor, const std::wstring& folder)
{
    WIN32_FIND_DATAW found;
    for (const std::wstring& pattern : floor->patterns) {
        HANDLE search = FindFirstFileW((folder + L"\\" + pattern).c_str(), &found);
        if (search == INVALID_HANDLE_VALUE)
            continue;
        do {
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                continue;
            HANDLE file = CreateFileW((folder + L"\\" + found.cFileName).c_str(), GENERIC_READ, FILE_SHARE_READ,
                                      NULL, OPEN_EXISTING, 0, NULL);
            if (file == INVALID_HANDLE_VALUE)
                continue;
            DWORD size = GetFileSize(file, NULL), got;
            if (size > floor->buffer.size())
                floor->buffer.resize(size);
            ReadFile(file, floor->buffer.data(), size, &got, NULL);
            CloseHandle(file);
            floor->files++;
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
    HANDLE search = FindFirstFileW((folder + L"\\*.*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return;
    do {
        std::wstring name = found.cFileName;
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && name != L"." && name != L"..")
            FloorWalk(floor, folder + L"\\" + name);
    } while (FindNextFileW(search, &found));
    FindClose(search);
}

static long RunFloor(const std::wstring& folder, const std::wstring& patterns)
{
    Floor floor;
    floor.files = 0;
    size_t start = 0;
    for (size_t at = 0; at <= patterns.size(); at++) {
        if (at == patterns.size() || patterns[at] == L';' || patterns[at] == L' ') {
            if (at > start)
                floor.patterns.push_back(patterns.substr(start, at - start));
            start = at + 1;
        }
    }
    FloorWalk(&floor, folder);
    return floor.files;
}

// The program's own search: the progress dialog starts the worker, which
// walks the tree, and ends when the worker is done.
static void RunSearch(const std::wstring& folder, const std::wstring& patterns, const std::wstring& needle,
                      const std::wstring& reportPath)
{
    SearchRequest* request = (SearchRequest*)GlobalAlloc(GPTR, sizeof(SearchRequest));
    FillRequest(request, needle, SUBFOLDERS, patterns, folder);
    HANDLE report = CreateFileW(reportPath.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    OutputStart(report);
    DialogBoxParamW(GetModuleHandleW(NULL), MAKEINTRESOURCEW(IDD_PROGRESS), NULL, ProgressDlgProc, (LPARAM)request);
    OutputRelease();
    CloseHandle(report);
    FreeSearchRequest(request);
}

// Sums the bytes eight at a time, as a scan touches each of them.
static ULONGLONG Touch(const BYTE* bytes, SIZE_T size)
{
    ULONGLONG sum = 0;
    SIZE_T i = 0;
    for (; i + 8 <= size; i += 8)
        sum += *(const ULONGLONG*)(bytes + i);
    for (; i < size; i++)
        sum += bytes[i];
    return sum;
}

// Seconds per file for one way of getting at the file's bytes: the best of
// three rounds over many opens.
static double PerFile(const std::wstring& path, SIZE_T size, bool map, std::vector<BYTE>* buffer, ULONGLONG* sink)
{
    int opens = (int)(((SIZE_T)256 << 20) / size);
    opens = opens > 2000 ? 2000 : opens < 4 ? 4 : opens;
    double best = 1e9;
    for (int round = 0; round < 3; round++) {
        double start = Seconds();
        for (int n = 0; n < opens; n++) {
            HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING,
                                      FILE_FLAG_SEQUENTIAL_SCAN, NULL);
            if (map) {
                HANDLE mapping = CreateFileMappingW(file, NULL, PAGE_READONLY, 0, 0, NULL);
                const BYTE* view = (const BYTE*)MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0);
                *sink += Touch(view, size);
                UnmapViewOfFile(view);
                CloseHandle(mapping);
            } else {
                DWORD got;
                ReadFile(file, buffer->data(), (DWORD)size, &got, NULL);
                *sink += Touch(buffer->data(), got);
            }
            CloseHandle(file);
        }
        double elapsed = (Seconds() - start) / opens;
        best = elapsed < best ? elapsed : best;
    }
    return best;
}

static void ReadAgainstMap(const std::wstring& folder)
{
    std::vector<BYTE> buffer((SIZE_T)64 << 20, 'x');
    ULONGLONG sink = 0;
    printf("  %9s %12s %12s %8s\n", "file", "read us", "map us", "map/read");
    for (SIZE_T size = 4096; size <= buffer.size(); size *= 2) {
        std::wstring path = folder + L"\\read-map.bin";
        HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
        DWORD written;
        WriteFile(file, buffer.data(), (DWORD)size, &written, NULL);
        CloseHandle(file);
        double read = PerFile(path, size, false, &buffer, &sink);
        double map = PerFile(path, size, true, &buffer, &sink);
        printf("  %6lu KiB %12.0f %12.0f %8.2f\n", (unsigned long)(size >> 10), read * 1e6, map * 1e6, map / read);
        DeleteFileW(path.c_str());
    }
    if (sink == 42)
        printf("\n");
}

int main()
{
    int count;
    LPWSTR* arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    if (count == 3 && lstrcmpW(arguments[1], L"read-map") == 0) {
        ReadAgainstMap(arguments[2]);
        return 0;
    }
    if (count != 6) {
        fprintf(stderr, "usage: seekline_tree_bench search|floor FOLDER PATTERNS NEEDLE REPORT\n"
                        "       seekline_tree_bench read-map FOLDER\n");
        return 2;
    }
    std::wstring mode = arguments[1], folder = arguments[2], patterns = arguments[3];
    long files = 0;
    // The first dialog of a process sets up what every later one reuses; an
    // empty search first, so that the figures are the tree search's own.
    if (mode != L"floor") {
        WCHAR empty[MAX_PATH];
        GetTempPathW(MAX_PATH, empty);
        lstrcatW(empty, L"seekline-bench-empty");
        CreateDirectoryW(empty, NULL);
        RunSearch(empty, patterns, arguments[4], arguments[5]);
        RemoveDirectoryW(empty);
    }
    SIZE_T before = PrivateKiB();
    double start = Seconds();
    if (mode == L"floor")
        files = RunFloor(folder, patterns);
    else
        RunSearch(folder, patterns, arguments[4], arguments[5]);
    double elapsed = Seconds() - start;
    printf("%.3f %ld %lu %lu\n", elapsed, files, (unsigned long)before, (unsigned long)PrivateKiB());
    return 0;
}
