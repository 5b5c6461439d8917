// The scanner's speed on one large C-like file: every mode, four needles
// (a rare identifier, a common word, one letter, a long phrase), medians of
// a few runs, and the byte-by-byte scanner it replaced on the rare needle.
// Prints tab-separated rows that scripts/bench.sh puts beside the figures of
// other search tools on the same file.
#include "bench/Bench.h"
#include "engine/Output.h"
#include "engine/ProcessState.h"
#include "engine/Scanner.h"
#include "tests/engine/ReferenceScan.h"
#include <psapi.h>
#include <stdio.h>
#include <stdlib.h>
#include <algorithm>

#define SOURCE_BYTES (256ull << 20)

// Lines of kernel-like C. The rare identifier stands in code, in strings,
// in comments and once with a menu "&", so that every mode has hits.
static const char* const commonLines[] = {
    "\tif (!dev)\n",
    "\t\treturn -ENODEV;\n",
    "\tret = regmap_read(priv->map, REG_STATUS, &val);\n",
    "\tif (ret < 0) {\n",
    "\t\tdev_err(&pdev->dev, \"failed to read status: %d\\n\", ret);\n",
    "\t\tgoto out_unlock;\n",
    "\t}\n",
    "\n",
    "/* Wait for the hardware to settle before the next command. */\n",
    "\tspin_lock_irqsave(&priv->lock, flags);\n",
    "\tlist_for_each_entry(entry, &priv->queue, node) {\n",
    "\t\tcount++; // one more waiting request\n",
    "static ssize_t show_mode(struct device *dev, struct device_attribute *attr, char *buf)\n",
    "\treturn sprintf(buf, \"%s\\n\", modes[priv->mode]);\n",
    "#define MODE_IDLE\t0x01\n",
    "\tmsleep(20);\n",
    "\tfor (i = 0; i < ARRAY_SIZE(table); i++)\n",
    "\t\ttable[i].flags &= ~FLAG_ACTIVE;\n",
    "static const struct of_device_id sample_of_match[] = {\n",
    "\t{ .compatible = \"vendor,sample-ctrl\" },\n",
    "}\n",
    " * Return: zero on success, a negative error number otherwise.\n",
};
static const char* const rareLines[] = {
    "\tcase PM_RESUME:\n",
    "\tpr_debug(\"%s: PM_RESUME\\n\", __func__);\n",
    "\t/* PM_RESUME comes after the devices are powered */\n",
    "\tAppendMenu(menu, MF_STRING, ID_RESUME, \"PM_&RESUME\");\n",
};

static const char* const needles[] = {"PM_RESUME", "if", "e", "struct device_attribute *attr"};

static const struct {
    const char* title;
    unsigned options;
} modes[] = {
    {"folded", 0},
    {"match case", MATCH_CASE},
    {"skip comments", SKIP_COMMENTS},
    {"strings only", STRINGS_ONLY},
    {"comments+strings", SKIP_COMMENTS | STRINGS_ONLY},
    {"& variants", STRINGS_ONLY | AMP_VARIANTS},
};

// Writes the file in 1 MiB blocks, so that the benchmark's own memory stays
// small.
static BOOL WriteSource(const std::wstring& path)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return FALSE;
    unsigned seed = 1;
    ULONGLONG total = 0;
    std::string block;
    while (total < SOURCE_BYTES) {
        block.clear();
        while (block.size() < (1u << 20)) {
            seed = seed * 1103515245u + 12345u;
            unsigned pick = seed >> 8;
            if (pick % 4096 == 0)
                block += rareLines[(pick >> 12) % 4];
            else
                block += commonLines[(seed >> 16) % (sizeof commonLines / sizeof commonLines[0])];
        }
        if (total + block.size() > SOURCE_BYTES)
            block.resize((size_t)(SOURCE_BYTES - total));
        DWORD written = 0;
        WriteFile(file, block.data(), (DWORD)block.size(), &written, NULL);
        total += written;
        if (written != block.size())
            break;
    }
    CloseHandle(file);
    return total == SOURCE_BYTES;
}

static ULONGLONG FileBytes(const std::wstring& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data))
        return 0;
    return ((ULONGLONG)data.nFileSizeHigh << 32) | data.nFileSizeLow;
}

static int Runs()
{
    const char* text = getenv("BENCH_RUNS");
    int runs = text ? atoi(text) : 3;
    return runs < 1 ? 1 : runs;
}

// One search of the whole file: as the walker searches it, or with the scanner as it
// was before it used vector searches (the tests' reference), on the file
// mapped the same way.
static void SearchOnce(const std::wstring& path, const SearchRequest* request, bool before)
{
    if (!before) {
        SearchTestFile(path, request);
        return;
    }
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    HANDLE mapping = CreateFileMappingW(file, NULL, PAGE_READONLY, 0, 0, NULL);
    const BYTE* view = (const BYTE*)MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0);
    FileReport name = {L"source.c", L"source.c", &TestWorkspace()->names, FALSE};
    if (view)
        ReferenceScanBytes(view, SOURCE_BYTES, &name, request);
    UnmapViewOfFile(view);
    CloseHandle(mapping);
    CloseHandle(file);
}

// Median seconds of one search of the whole file; also the report lines.
static double TimeSearch(const std::wstring& path, const SearchRequest* request, ULONGLONG* lines,
                         bool before = false)
{
    double times[32];
    int runs = std::min(Runs(), 32);
    for (int run = 0; run < runs; run++) {
        ULONGLONG linesBefore = OutputBuffer.lines;
        double start = Seconds();
        SearchOnce(path, request, before);
        OutputFlush();
        times[run] = Seconds() - start;
        *lines = OutputBuffer.lines - linesBefore;
    }
    std::sort(times, times + runs);
    return times[runs / 2];
}

static void PrintMemory(const char* when)
{
    PROCESS_MEMORY_COUNTERS counters;
    GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
    printf("memory\t%s\t%lu\n", when, (unsigned long)(counters.PagefileUsage >> 10));
}

void BenchScanner(const std::wstring& path)
{
    if (FileBytes(path) != SOURCE_BYTES && !WriteSource(path)) {
        printf("cannot write the source file\n");
        return;
    }
    PrintMemory("before");
    SearchRequest request;
    FillRequest(&request, L"PM_RESUME", 0);
    ULONGLONG lines;
    TimeSearch(path, &request, &lines);  // bring the file into the cache
    printf("size\t%llu\n", SOURCE_BYTES);
    for (const char* needle : needles) {
        std::wstring wide(needle, needle + strlen(needle));
        for (const auto& mode : modes) {
            FillRequest(&request, wide, mode.options);
            int passes = (mode.options & AMP_VARIANTS) ? request.needleLength : 1;
            double seconds = TimeSearch(path, &request, &lines);
            printf("scan\t%s\t%s\t%d\t%.4f\t%llu\n", needle, mode.title, passes, seconds, lines);
            fflush(stdout);
        }
    }
    FillRequest(&request, L"", 0);
    double seconds = TimeSearch(path, &request, &lines);
    printf("scan\t\tevery line\t1\t%.4f\t%llu\n", seconds, lines);
    // The scanner as it was, on the rare needle, for the speed-up.
    for (int mode = 0; mode < 2; mode++) {
        FillRequest(&request, L"PM_RESUME", modes[mode].options);
        seconds = TimeSearch(path, &request, &lines, true);
        printf("before\tPM_RESUME\t%s\t1\t%.4f\t%llu\n", modes[mode].title, seconds, lines);
    }
    PrintMemory("after");
}
