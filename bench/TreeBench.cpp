// Times one search of a whole folder tree as the program runs it (the
// progress dialog, its worker and its scanning threads) against floors that
// only walk the same tree and read every file whole, with no scanning: on one
// thread, or with one thread walking and others opening, reading and closing.
// scripts/bench.sh runs it beside native tools and prints the ratios.
//   seekline_tree_bench search|floor|floors FOLDER PATTERNS NEEDLE REPORT [THREADS [SWITCHES]]
// prints "seconds files privateKiBBefore privateKiBAfter threads
// privateKiBAtPeak" (files: the floors' count). THREADS: the search's scanning threads, or the floor's
// reading threads ("floors"); 0 or none for the program's default. SWITCHES: the search's filters as
// the command line's letters, B (skip binary files) and G (skip what git ignores).
//   seekline_tree_bench read-map FOLDER
// prints, for files of 4 KiB to 64 MiB, the time per file of opening, reading
// whole into one reused buffer and closing, against opening, mapping and
// unmapping, each touching every byte: what the scanner's choice between
// reading and mapping rests on.
//   seekline_tree_bench results FOLDER PATTERNS NEEDLE REPORT
// searches the tree with the progress dialog into REPORT, then the same with
// the results window into the desktop report, and prints "seconds
// windowSeconds firstRowSeconds hits privateBytesPerHit processorSeconds
// windowProcessorSeconds": the window's search until it is over, its first
// row shown, what its list takes per hit, and the processor time each search
// took (the busier the machine, the more the better measure).
#include "bench/Bench.h"
#include "engine/report/Output.h"
#include "engine/SearchRequest.h"
#include "resources/resource.h"
#include "run/ResultsWindow.h"
#include "run/SearchRun.h"
#include "walk/ScanRing.h"
#include <commctrl.h>
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

// The highest private bytes seen while a search runs, sampled every 10 ms:
// Wine keeps no peak of its own (its peak is the current figure).
static volatile SIZE_T PeakKiB;
static volatile bool Sampling;

static DWORD WINAPI SamplePrivateBytes(LPVOID)
{
    while (Sampling) {
        SIZE_T now = PrivateKiB();
        if (now > PeakKiB)
            PeakKiB = now;
        Sleep(10);
    }
    return 0;
}

// The floors: the walk with FindFirstFileW per pattern and "*.*" for the
// subfolders; each file opened, read whole with one ReadFile into one reused
// buffer, and closed, by the walking thread itself or by reading threads that
// take the paths from a queue.
#define FLOOR_QUEUE 256

struct Floor;

// A reading thread's own buffer.
struct Reader {
    Floor* floor;
    std::vector<char> buffer;
    long files;
};

struct Floor {
    std::vector<std::wstring> patterns;
    Reader walker;  // the walking thread, when it reads itself
    int readers;    // reading threads; 0: the walker reads
    SRWLOCK lock;
    CONDITION_VARIABLE queued, taken;
    std::vector<std::wstring> queue;  // FLOOR_QUEUE paths, a ring
    size_t put, got;
    bool over;
};

static void ReadWhole(Reader* reader, const std::wstring& path)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return;
    DWORD size = GetFileSize(file, NULL), got;
    if (size > reader->buffer.size())
        reader->buffer.resize(size);
    ReadFile(file, reader->buffer.data(), size, &got, NULL);
    CloseHandle(file);
    reader->files++;
}

static void FloorFile(Floor* floor, const std::wstring& path)
{
    if (floor->readers == 0) {
        ReadWhole(&floor->walker, path);
        return;
    }
    AcquireSRWLockExclusive(&floor->lock);
    while (floor->put - floor->got == FLOOR_QUEUE)
        SleepConditionVariableSRW(&floor->taken, &floor->lock, INFINITE, 0);
    floor->queue[floor->put++ % FLOOR_QUEUE] = path;
    ReleaseSRWLockExclusive(&floor->lock);
    WakeConditionVariable(&floor->queued);
}

static DWORD WINAPI FloorReader(LPVOID parameter)
{
    Reader* reader = (Reader*)parameter;
    Floor* floor = reader->floor;
    for (;;) {
        AcquireSRWLockExclusive(&floor->lock);
        while (floor->put == floor->got && !floor->over)
            SleepConditionVariableSRW(&floor->queued, &floor->lock, INFINITE, 0);
        if (floor->put == floor->got) {
            ReleaseSRWLockExclusive(&floor->lock);
            return 0;
        }
        std::wstring path = std::move(floor->queue[floor->got++ % FLOOR_QUEUE]);
        ReleaseSRWLockExclusive(&floor->lock);
        WakeConditionVariable(&floor->taken);
        ReadWhole(reader, path);
    }
}

static void FloorWalk(Floor* floor, const std::wstring& folder)
{
    WIN32_FIND_DATAW found;
    for (const std::wstring& pattern : floor->patterns) {
        HANDLE search = FindFirstFileW((folder + L"\\" + pattern).c_str(), &found);
        if (search == INVALID_HANDLE_VALUE)
            continue;
        do {
            if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
                FloorFile(floor, folder + L"\\" + found.cFileName);
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

// Walks and reads the tree with the walker alone (readers 0) or with reading
// threads; returns the files read.
static long RunFloor(const std::wstring& folder, const std::wstring& patterns, int readers)
{
    Floor floor;
    floor.walker.floor = &floor;
    floor.walker.files = 0;
    floor.readers = readers;
    InitializeSRWLock(&floor.lock);
    InitializeConditionVariable(&floor.queued);
    InitializeConditionVariable(&floor.taken);
    floor.queue.resize(FLOOR_QUEUE);
    floor.put = floor.got = 0;
    floor.over = false;
    size_t start = 0;
    for (size_t at = 0; at <= patterns.size(); at++) {
        if (at == patterns.size() || patterns[at] == L';' || patterns[at] == L' ') {
            if (at > start)
                floor.patterns.push_back(patterns.substr(start, at - start));
            start = at + 1;
        }
    }
    std::vector<Reader> reading(readers);
    std::vector<HANDLE> threads;
    for (Reader& reader : reading) {
        reader.floor = &floor;
        reader.files = 0;
        threads.push_back(CreateThread(NULL, 0, FloorReader, &reader, 0, NULL));
    }
    FloorWalk(&floor, folder);
    AcquireSRWLockExclusive(&floor.lock);
    floor.over = true;
    ReleaseSRWLockExclusive(&floor.lock);
    WakeAllConditionVariable(&floor.queued);
    long files = floor.walker.files;
    for (size_t n = 0; n < threads.size(); n++) {
        WaitForSingleObject(threads[n], INFINITE);
        CloseHandle(threads[n]);
        files += reading[n].files;
    }
    return files;
}

// The program's own search: the progress dialog starts the worker, which
// walks the tree, and ends when the worker is done.
static void RunSearch(const std::wstring& folder, const std::wstring& patterns, const std::wstring& needle,
                      const std::wstring& reportPath, int threads, unsigned filters)
{
    SearchRequest* request = (SearchRequest*)GlobalAlloc(GPTR, sizeof(SearchRequest));
    FillRequest(request, needle, SUBFOLDERS | filters, patterns, folder);
    request->scanThreads = threads;
    HANDLE report = CreateFileW(reportPath.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    OutputStart(report);
    DialogBoxParamW(GetModuleHandleW(NULL), MAKEINTRESOURCEW(IDD_PROGRESS), NULL, ProgressDlgProc, (LPARAM)request);
    CloseHandle(report);
    FreeSearchRequest(request);
}

// The processor time the process has taken, in seconds.
static double ProcessSeconds()
{
    FILETIME created, ended, kernel, user;
    GetProcessTimes(GetCurrentProcess(), &created, &ended, &kernel, &user);
    ULONGLONG units = ((ULONGLONG)kernel.dwHighDateTime << 32 | kernel.dwLowDateTime) +
                      ((ULONGLONG)user.dwHighDateTime << 32 | user.dwLowDateTime);
    return (double)units / 1e7;
}

// What the results window's watcher saw: the thread that shows the window,
// when the search began, when the list first had a row, when it was over,
// its rows and the private bytes then.
struct WindowWatch {
    DWORD thread;
    double started, firstRow, over, processor;
    LRESULT rows;
    SIZE_T privateKiB;
};

// Finds the results window once its last control is made.
static BOOL CALLBACK FindResults(HWND window, LPARAM found)
{
    if (GetDlgItem(window, IDC_RESULTS_STOP))
        *(HWND*)found = window;
    return TRUE;
}

// Watches the results window every 10 ms, as the private bytes are sampled,
// asking it for its rows only until the first shows; closes it once its
// search is over.
static DWORD WINAPI WatchResults(LPVOID parameter)
{
    WindowWatch* watch = (WindowWatch*)parameter;
    HWND window = NULL;
    while (!window) {
        EnumThreadWindows(watch->thread, FindResults, (LPARAM)&window);
        Sleep(10);
    }
    HWND list = GetDlgItem(window, IDC_RESULTS_LIST), stop = GetDlgItem(window, IDC_RESULTS_STOP);
    while (!IsWindowEnabled(stop) && !watch->firstRow)
        Sleep(1);

    // Stop is grey before the search starts and once it is over.
    while (IsWindowEnabled(stop)) {
        if (!watch->firstRow && SendMessageW(list, LVM_GETITEMCOUNT, 0, 0) > 0)
            watch->firstRow = Seconds();
        Sleep(10);
    }
    watch->over = Seconds();
    watch->processor = ProcessSeconds();
    watch->rows = SendMessageW(list, LVM_GETITEMCOUNT, 0, 0);
    if (!watch->firstRow && watch->rows > 0)
        watch->firstRow = watch->over;
    watch->privateKiB = PrivateKiB();
    PostMessageW(window, WM_COMMAND, IDCANCEL, 0);
    return 0;
}

// The same search with the results window: prints the figures.
static void RunResultsBench(const std::wstring& folder, const std::wstring& patterns, const std::wstring& needle,
                            double withoutSeconds, double withoutProcessor)
{
    SearchRequest* request = (SearchRequest*)GlobalAlloc(GPTR, sizeof(SearchRequest));
    FillRequest(request, needle, SUBFOLDERS, patterns, folder);
    request->options.listResults = 1;
    WindowWatch watch = {GetCurrentThreadId(), 0, 0, 0, 0, 0, 0};
    SIZE_T before = PrivateKiB();
    HANDLE watcher = CreateThread(NULL, 0, WatchResults, &watch, 0, NULL);
    double processor = ProcessSeconds();
    watch.started = Seconds();
    FreeSearchRequest(RunResultsWindow(request));
    WaitForSingleObject(watcher, INFINITE);
    CloseHandle(watcher);
    double perHit = watch.rows ? (double)(watch.privateKiB - before) * 1024 / (double)watch.rows : 0;
    printf("%.3f %.3f %.3f %ld %.1f %.3f %.3f\n", withoutSeconds, watch.over - watch.started,
           watch.firstRow - watch.started, (long)watch.rows, perHit, withoutProcessor, watch.processor - processor);
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
    if (count < 6 || count > 8) {
        fprintf(stderr,
                "usage: seekline_tree_bench search|floor|floors FOLDER PATTERNS NEEDLE REPORT [THREADS [BG]]\n"
                "       seekline_tree_bench results FOLDER PATTERNS NEEDLE REPORT\n"
                "       seekline_tree_bench read-map FOLDER\n");
        return 2;
    }
    if (lstrcmpW(arguments[1], L"results") == 0) {
        InitCommonControls();
        // The first dialog of a process sets up what every later one reuses.
        WCHAR empty[MAX_PATH];
        GetTempPathW(MAX_PATH, empty);
        lstrcatW(empty, L"seekline-bench-empty");
        CreateDirectoryW(empty, NULL);
        RunSearch(empty, arguments[3], arguments[4], arguments[5], 0, 0);
        RemoveDirectoryW(empty);
        double start = Seconds(), processor = ProcessSeconds();
        RunSearch(arguments[2], arguments[3], arguments[4], arguments[5], 0, 0);
        RunResultsBench(arguments[2], arguments[3], arguments[4], Seconds() - start, ProcessSeconds() - processor);
        return 0;
    }
    std::wstring mode = arguments[1], folder = arguments[2], patterns = arguments[3];
    int threads = ScanThreadCount(count >= 7 ? _wtoi(arguments[6]) : 0);
    unsigned filters = 0;
    for (const WCHAR* letter = count == 8 ? arguments[7] : L""; *letter; letter++)
        filters |= *letter == L'B' ? SKIP_BINARY : *letter == L'G' ? SKIP_IGNORED : 0;
    if (mode == L"floor")
        threads = 1;
    long files = 0;
    // The first dialog of a process sets up what every later one reuses; an
    // empty search first, so that the figures are the tree search's own.
    if (mode == L"search") {
        WCHAR empty[MAX_PATH];
        GetTempPathW(MAX_PATH, empty);
        lstrcatW(empty, L"seekline-bench-empty");
        CreateDirectoryW(empty, NULL);
        RunSearch(empty, patterns, arguments[4], arguments[5], threads, filters);
        RemoveDirectoryW(empty);
    }
    SIZE_T before = PrivateKiB();
    PeakKiB = before;
    Sampling = true;
    HANDLE sampler = CreateThread(NULL, 0, SamplePrivateBytes, NULL, 0, NULL);
    double start = Seconds();
    if (mode == L"search")
        RunSearch(folder, patterns, arguments[4], arguments[5], threads, filters);
    else
        files = RunFloor(folder, patterns, mode == L"floor" ? 0 : threads);
    double elapsed = Seconds() - start;
    Sampling = false;
    WaitForSingleObject(sampler, INFINITE);
    CloseHandle(sampler);
    printf("%.3f %ld %lu %lu %d %lu\n", elapsed, files, (unsigned long)before, (unsigned long)PrivateKiB(), threads,
           (unsigned long)PeakKiB);
    return 0;
}
