// The scanner's speed on one large C-like file: every mode, four needles
// (a rare identifier, a common word, one letter, a long phrase), medians of
// a few runs; regular expressions with and without a required literal, and a whole
// word, in both cases; patterns that take a backtracking matcher
// exponential time, on a 10 MiB line, beside a literal search of it; then
// the Unicode files option on the same content with rare Chinese and
// accented lines, in UTF-8, in UTF-16LE with a mark and in the ANSI file.
// Prints tab-separated rows that scripts/bench.sh puts beside the figures of
// other search tools on the same files.
#include "bench/Bench.h"
#include "engine/report/Output.h"
#include "engine/regex/Regex.h"
#include "engine/scan/FileSearch.h"
#include "engine/text/TextForm.h"
#include "tests/support/TestFiles.h"
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

// Only in the Unicode files, as rare as the rare identifier's lines.
static const wchar_t* const unicodeLines[] = {
    L"\t/* \u958B\u555F\u6A94\u6848: open the file before the devices resume */\n",
    L"\tpr_info(\"R\u00E9sum\u00E9 of the caf\u00E9: %d\\n\", ret);\n",
};

static const char* const needles[] = {"PM_RESUME", "if", "e", "struct device_attribute *attr"};

// The Unicode files: their name beside source.c, their form, and the needles
// searched in each, with the option on (UTF-8 in the rows).
static const struct {
    const char* label;
    const wchar_t* name;
    TextForm form;
} unicodeFiles[] = {
    {"UTF-8", L"source-utf8.c", TEXT_UTF8},
    {"UTF-16LE", L"source-utf16.c", TEXT_UTF16LE},
    {"ANSI", L"source.c", TEXT_ANSI},
};
static const struct {
    const wchar_t* text;
    const char* shown;
    unsigned options;
} unicodeNeedles[] = {
    {L"PM_RESUME", "PM_RESUME", 0},
    {L"\u958B\u555F\u6A94\u6848", "\xE9\x96\x8B\xE5\x95\x9F\xE6\xAA\x94\xE6\xA1\x88", 0},
    {L"r\u00E9sum\u00E9", "r\xC3\xA9sum\xC3\xA9", 0},
    {L"R\u00E9sum\u00E9", "R\xC3\xA9sum\xC3\xA9", MATCH_CASE},
};

// Regular expressions, and a whole word as literal text, with the time
// each should take at most beside ripgrep's: 1.5 times for one that holds a
// telling literal, 3 for one without (the "=" of the fifth is no more than a
// hint).
static const struct {
    const wchar_t* text;
    const char* shown;
    unsigned options;
    const char* target;
} patterns[] = {
    {L"PM_[A-Z]+", "PM_[A-Z]+", REGULAR_EXPRESSION, "1.5"},
    {L"\\bif\\s*\\(", "\\bif\\s*\\(", REGULAR_EXPRESSION, "1.5"},
    {L"[a-z]+_attribute\\b", "[a-z]+_attribute\\b", REGULAR_EXPRESSION, "1.5"},
    {L"(foo|bar|baz)_init", "(foo|bar|baz)_init", REGULAR_EXPRESSION, "1.5"},
    {L"\\w+\\s*=\\s*\\d+", "\\w+\\s*=\\s*\\d+", REGULAR_EXPRESSION, "3"},
    {L"if", "if", WHOLE_WORD, "1.5"},
};

// Files that are hostile to a matcher, each searched for a literal and then
// for its patterns, with the most each may take beside the literal search:
// patterns exponential for a backtracking matcher on a long line of "a";
// counted repeats on long lines, which a matcher that steps every thread
// over the whole line takes pattern size times the text over; and a
// pattern that makes the DFA build a state for nearly every character of
// random a/b lines, where it gives up.
#define HOSTILE_LINE_BYTES (10u << 20)
enum HostileText { LINE_OF_A, LINE_OF_A_THEN_X, SHORT_LINE_OF_A_THEN_X, RANDOM_AB_LINES };
static const struct {
    const wchar_t* name;
    HostileText text;
    const char* shown;
    const char* literal;
    const char* patterns[5];
    unsigned options;
    const char* target;
} hostileFiles[] = {
    {L"hostile.c",
     LINE_OF_A,
     "a 10 MiB line of a",
     "b",
     {"(a|aa)*b", "(a*)*c", "(a+)+$x", "(.*)*b", "a*a*a*a*a*b"},
     0,
     "2"},
    {L"counted.c", LINE_OF_A_THEN_X, "a 10 MiB line of a, then X", "X", {"a{1000}X"}, 0, "3"},
    {L"counted-short.c", SHORT_LINE_OF_A_THEN_X, "a 100 KB line of a, then X", "X", {"((.?){1000}){14}X"}, 0, "3"},
    {L"thrash.c",
     RANDOM_AB_LINES,
     "100 MiB of random a/b lines of 20",
     "c",
     {"[ab]*a[ab]{20}", "[ab]*[a][ab]{20}"},
     SKIP_COMMENTS,
     "3"},
};

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

// The text of a line in the file's form.
static void AppendLine(std::string* block, const wchar_t* line, TextForm form)
{
    for (; *line; line++) {
        if (form == TEXT_UTF16LE) {
            *block += (char)(*line & 0xFF);
            *block += (char)(*line >> 8);
        } else if (*line < 0x80) {
            *block += (char)*line;
        } else {
            char bytes[4];
            int length = WideCharToMultiByte(CP_UTF8, 0, line, 1, bytes, 4, NULL, NULL);
            block->append(bytes, length);
        }
    }
}

// Writes the file in 1 MiB blocks, so that the benchmark's own memory stays
// small: SOURCE_BYTES of C-like lines as the ANSI file has them, and in a
// Unicode file the same lines with rare Chinese and accented ones among them
// (UTF-16 takes twice the bytes). Written under another name and renamed
// when whole.
static BOOL WriteSource(const std::wstring& path, TextForm form)
{
    std::wstring part = path + L".part";
    HANDLE file = CreateFileW(part.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return FALSE;
    ULONGLONG total = 0, limit = form == TEXT_UTF16LE ? 2 * SOURCE_BYTES : SOURCE_BYTES;
    std::string block = form == TEXT_UTF16LE ? "\xFF\xFE" : "";
    unsigned seed = 1;
    BOOL whole = TRUE;
    while (total < limit && whole) {
        while (block.size() < (1u << 20)) {
            seed = seed * 1103515245u + 12345u;
            unsigned pick = seed >> 8;
            const char* line = pick % 4096 == 0
                                   ? rareLines[(pick >> 12) % 4]
                                   : commonLines[(seed >> 16) % (sizeof commonLines / sizeof commonLines[0])];
            if (form != TEXT_ANSI && pick % 4096 == 1)
                AppendLine(&block, unicodeLines[(pick >> 12) % 2], form);
            else if (form == TEXT_UTF16LE)
                AppendLine(&block, std::wstring(line, line + strlen(line)).c_str(), form);
            else
                block += line;
        }
        if (total + block.size() > limit)
            block.resize((size_t)(limit - total));
        DWORD written = 0;
        WriteFile(file, block.data(), (DWORD)block.size(), &written, NULL);
        total += written;
        whole = written == block.size();
        block.clear();
    }
    CloseHandle(file);
    return whole && MoveFileExW(part.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING);
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

// One search of the whole file, as a scanning thread searches it. Returns
// the report lines.
static ULONGLONG SearchOnce(const std::wstring& path, const SearchRequest* request)
{
    FileOutput* output = BeginTestOutput();
    SearchFileAs(path.c_str(), path.c_str(), request, TestWorkspace(), output);
    ULONGLONG lines = output->lines;
    EndTestOutput();
    return lines;
}

// Median seconds of one search of the whole file; also the report lines.
static double TimeSearch(const std::wstring& path, const SearchRequest* request, ULONGLONG* lines)
{
    double times[32];
    int runs = std::min(Runs(), 32);
    for (int run = 0; run < runs; run++) {
        double start = Seconds();
        *lines = SearchOnce(path, request);
        times[run] = Seconds() - start;
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

// The Unicode files option on each file, beside the option off on the same
// bytes for the rare identifier.
static void BenchUnicodeFiles(const std::wstring& path)
{
    std::wstring folder = path.substr(0, path.rfind(L'\\') + 1);
    SearchRequest request;
    ULONGLONG lines;
    for (const auto& file : unicodeFiles) {
        std::wstring filePath = folder + file.name;
        if (FileBytes(filePath) < SOURCE_BYTES && !WriteSource(filePath, file.form)) {
            printf("cannot write %ls\n", file.name);
            return;
        }
        FillRequest(&request, L"PM_RESUME", 0);
        TimeSearch(filePath, &request, &lines);  // bring the file into the cache
        printf("unicode-off\t%s\tPM_RESUME\tfolded\t%.4f\t%llu\n", file.label, TimeSearch(filePath, &request, &lines),
               lines);
        for (const auto& needle : unicodeNeedles) {
            FillRequest(&request, needle.text, needle.options | UNICODE_FILES);
            double seconds = TimeSearch(filePath, &request, &lines);
            printf("unicode\t%s\t%s\t%s\t%.4f\t%llu\n", file.label, needle.shown,
                   needle.options & MATCH_CASE ? "match case" : "folded", seconds, lines);
            fflush(stdout);
        }
    }
}

// The patterns on the source file, in both cases.
static void BenchPatterns(const std::wstring& path)
{
    SearchRequest request;
    ULONGLONG lines;
    for (const auto& pattern : patterns) {
        for (unsigned mode : {(unsigned)MATCH_CASE, 0u}) {
            FillRequest(&request, pattern.text, pattern.options | mode);
            // The literal whose vector search finds the lines to settle.
            std::string literal = request.needle;
            if (request.ansiProgram) {
                RegexLiteral required;
                RegexRequired(request.ansiProgram, &required);
                literal.assign(required.units, required.units + required.length);
            }
            double seconds = TimeSearch(path, &request, &lines);
            FreeSearchPatterns(&request);
            printf("pattern\t%s\t%s\t%s\t%s\t%s\t%.4f\t%llu\n", pattern.shown,
                   pattern.options & WHOLE_WORD ? "whole word" : "regex", mode ? "match case" : "folded",
                   literal.c_str(), pattern.target, seconds, lines);
            fflush(stdout);
        }
    }
}

// The text of a hostile file.
static std::string HostileContent(HostileText text)
{
    if (text == LINE_OF_A)
        return std::string(HOSTILE_LINE_BYTES, 'a') + "\n";
    if (text != RANDOM_AB_LINES)
        return std::string(text == LINE_OF_A_THEN_X ? HOSTILE_LINE_BYTES : 100000, 'a') + "X\n";
    std::string lines;
    unsigned seed = 7;
    while (lines.size() < (100u << 20)) {
        for (int k = 0; k < 20; k++) {
            seed = seed * 1103515245u + 12345u;
            lines += (seed >> 16) & 1 ? 'a' : 'b';
        }
        lines += '\n';
    }
    return lines;
}

// Each hostile file searched for its literal, then for its patterns.
void BenchHostile(const std::wstring& path)
{
    for (const auto& file : hostileFiles) {
        std::wstring hostile = path.substr(0, path.rfind(L'\\') + 1) + file.name;
        std::string content = HostileContent(file.text);
        if (FileBytes(hostile) != content.size())
            WriteTestFile(hostile, content);
        content.clear();
        content.shrink_to_fit();
        SearchRequest request;
        ULONGLONG lines;
        std::wstring literal(file.literal, file.literal + strlen(file.literal));
        FillRequest(&request, literal, MATCH_CASE | file.options);
        TimeSearch(hostile, &request, &lines);  // bring the file into the cache
        printf("hostile\t%s\t%s\tliteral\t\t%.4f\t%llu\n", file.shown, file.literal,
               TimeSearch(hostile, &request, &lines), lines);
        for (const char* pattern : file.patterns) {
            if (!pattern)
                break;
            FillRequest(&request, std::wstring(pattern, pattern + strlen(pattern)),
                        MATCH_CASE | REGULAR_EXPRESSION | file.options);
            double seconds = TimeSearch(hostile, &request, &lines);
            FreeSearchPatterns(&request);
            printf("hostile\t%s\t%s\tregex\t%s\t%.4f\t%llu\n", file.shown, pattern, file.target, seconds, lines);
            fflush(stdout);
        }
    }
}

bool ReadyBenchSource(const std::wstring& path)
{
    return FileBytes(path) == SOURCE_BYTES || WriteSource(path, TEXT_ANSI);
}

void BenchScanner(const std::wstring& path)
{
    if (!ReadyBenchSource(path)) {
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
    PrintMemory("after");
    BenchPatterns(path);
    BenchHostile(path);
    PrintMemory("after the patterns");
    BenchUnicodeFiles(path);
    PrintMemory("after the Unicode files");
}
