// Prints the walker's speed and the process's memory on a generated source
// tree, or with "scanner FILE" the scanner's speed on one large file (with
// "source FILE" it only writes that file). Run it with scripts/bench.sh.
#include "bench/Bench.h"
#include "engine/report/Output.h"
#include "walk/Walker.h"
#include "tests/support/TestFiles.h"
#include <psapi.h>
#include <stdio.h>
#include <string.h>

// C-like text: code, comments and string literals, with a rare hit.
std::string SourceText(size_t bytes, unsigned seed)
{
    static const char* lines[] = {
        "    int count = CountItems(list, \"items\"); // how many are there\r\n",
        "    if (count > limit) return Fail(L\"too many\", count);\r\n",
        "    menu.Add(\"&File\", \"&Open...\", ID_OPEN);\r\n",
        "\r\n",
        "/* a block comment that runs along for a while, with words in it */\r\n",
        "static const char* names[] = { \"alpha\", \"beta\", \"gamma\" };\r\n",
    };
    std::string text;
    text.reserve(bytes + 128);
    while (text.size() < bytes) {
        seed = seed * 1103515245u + 12345u;
        text += lines[(seed >> 16) % 6];
        if ((seed >> 8) % 5000 == 0)
            text += "    Report(\"Needle found\");\r\n";
    }
    return text;
}

static void BenchWalker(const std::wstring& folder)
{
    const int folders = 40, filesPerFolder = 50;
    std::string text = SourceText(8 << 10, 7);
    for (int f = 0; f < folders; f++) {
        std::wstring sub = folder + L"\\tree\\" + std::to_wstring(f);
        CreateDirectoryW((folder + L"\\tree").c_str(), NULL);
        CreateDirectoryW(sub.c_str(), NULL);
        for (int i = 0; i < filesPerFolder; i++)
            WriteTestFile(sub + L"\\file" + std::to_wstring(i) + (i % 2 ? L".c" : L".h"), text);
    }
    SearchRequest request;
    FillRequest(&request, L"needle", SUBFOLDERS, L"*.c;*.h");
    std::wstring tree = folder + L"\\tree";
    SearchFolder(tree.c_str(), &request);
    double start = Seconds();
    SearchFolder(tree.c_str(), &request);
    double elapsed = Seconds() - start;
    int files = folders * filesPerFolder;
    printf("walker, %d files of 8 KiB in %d folders:\n  %8.0f files/s\n", files, folders, files / elapsed);
}

int main(int argc, char** argv)
{
    HANDLE nul = CreateFileW(L"NUL", GENERIC_WRITE, 0, NULL, OPEN_EXISTING, 0, NULL);
    OutputStart(nul);
    if (argc == 3 && (strcmp(argv[1], "scanner") == 0 || strcmp(argv[1], "hostile") == 0)) {
        if (argv[1][0] == 's')
            BenchScanner(WindowsPath(argv[2]));
        else
            BenchHostile(WindowsPath(argv[2]));
        CloseHandle(nul);
        return 0;
    }
    if (argc == 3 && strcmp(argv[1], "source") == 0)
        return ReadyBenchSource(WindowsPath(argv[2])) ? 0 : 1;

    std::wstring folder = MakeTestFolder();

    PROCESS_MEMORY_COUNTERS before;
    GetProcessMemoryInfo(GetCurrentProcess(), &before, sizeof before);
    BenchWalker(folder);
    PROCESS_MEMORY_COUNTERS after;
    GetProcessMemoryInfo(GetCurrentProcess(), &after, sizeof after);
    printf("memory:\n  private bytes before %lu KiB, after %lu KiB\n", (unsigned long)(before.PagefileUsage >> 10),
           (unsigned long)(after.PagefileUsage >> 10));

    CloseHandle(nul);
    RemoveTree(folder);
    return 0;
}
