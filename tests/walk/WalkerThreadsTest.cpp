// The walk on several scanning threads against the walk on one, on seeded
// random trees and requests: the report at 2, 3, 4 and 8 threads, and the
// lines naming the files that could not be read, must equal those at one
// thread byte for byte, and a stop at a random file must leave the first
// whole lines of the report. The requests take the Unicode files option
// half of the time. Every tree lies below the same few
// files that come first in the walk: a large one, slow to search, one that
// cannot be opened and one that cannot be read. WALK_DIFF_CASES sets the
// number of trees, WALK_DIFF_SEED the seed.
#include "tests/walk/WalkHarness.h"
#include "engine/StopFlag.h"
#include "tests/support/Requests.h"
#include "tests/support/TestFiles.h"
#include "walk/ScanRing.h"
#include <gtest/gtest.h>
#include <random>
#include <stdlib.h>

namespace {

const unsigned long defaultCases = 24;
const LONG threadCounts[] = {2, 3, 4, 8};

unsigned long Setting(const char* name, unsigned long fallback)
{
    const char* text = getenv(name);
    return text ? strtoul(text, NULL, 10) : fallback;
}

// Some words in UTF-8, and one ANSI word that is not, for the Unicode files
// option to tell the files apart.
const char* const words[] = {"hit",
                             "HIT",
                             "\"hit\"",
                             "'h&it'",
                             "// hit",
                             "x",
                             "int",
                             "h",
                             "\"a // hit\"",
                             "miss",
                             "&",
                             "\"",
                             "hi&t",
                             "h\xc3\xaft",
                             "\"H\xc3\x8fT\"",
                             "\xe9\x96\x8b\xe5\x95\x9f",
                             "\xcf\x83\xce\xa3",
                             "\xe9t\xe9"};
const char* const ends[] = {"\r\n", "\n", "\r"};
const wchar_t* const extensions[] = {L".c", L".h", L".txt", L".C"};
const wchar_t* const needles[] = {L"hit", L"HIT", L"h", L"it\"", L"hi&t", L"//", L"x", L"int", L"h\u00eft", L"\u00e9"};
// Regular expressions: with a required literal, and without one (the DFA).
const wchar_t* const expressions[] = {L"h[i-k]t", L"\\bint\\b", L"i.*t", L"^\\w+ ", L"[^ ]\\s\\S", L"(hit|x)+$"};
const wchar_t* const patterns[] = {L"*.c", L"*.c;*.h", L"*.c *.c", L"*.*", L"*.h;?-*", L"f0*.c;*.txt", L"*.C"};

std::string RandomLines(std::mt19937* rng, int lines)
{
    std::string text;
    for (int n = 0; n < lines; n++) {
        for (int w = (int)((*rng)() % 6); w > 0; w--)
            text += std::string(words[(*rng)() % (sizeof words / sizeof *words)]) + " ";
        text += ends[(*rng)() % 3];
    }
    return text;
}

// The text as UTF-16 with its mark, little- or big-endian.
std::string Utf16(const std::string& text, bool bigEndian)
{
    std::wstring units(text.size() + 1, L'\0');
    units.resize(MultiByteToWideChar(CP_UTF8, 0, text.data(), (int)text.size(), &units[0], (int)units.size()));
    std::string bytes = bigEndian ? "\xfe\xff" : "\xff\xfe";
    for (wchar_t unit : units) {
        char low = (char)(unit & 0xff), high = (char)(unit >> 8);
        bytes += bigEndian ? std::string {high, low} : std::string {low, high};
    }
    return bytes;
}

// A tree of folders, deep (mostly a chain) or flat, with files that are
// small, empty, or full of hits: more report than a ring slot keeps; some in
// UTF-8 with a mark or in UTF-16.
void MakeRandomTree(const std::wstring& root, std::mt19937* rng)
{
    MakeFolder(root);
    bool deep = (*rng)() % 2 == 0;
    std::vector<std::wstring> folders = {root};
    int folderCount = deep ? 10 + (int)((*rng)() % 10) : 1 + (int)((*rng)() % 4);
    for (int n = 0; n < folderCount; n++) {
        const std::wstring& parent = deep && (*rng)() % 4 ? folders.back() : folders[(*rng)() % folders.size()];
        folders.push_back(parent + L"\\d" + std::to_wstring(n));
        MakeFolder(folders.back());
    }
    int fileCount = 10 + (int)((*rng)() % 140);
    for (int n = 0; n < fileCount; n++) {
        std::wstring path = folders[(*rng)() % folders.size()] + L"\\f" + std::to_wstring(n % 7) + std::to_wstring(n) +
                            extensions[(*rng)() % 4];
        unsigned kind = (*rng)() % 10;
        std::string text = kind == 0   ? ""
                           : kind == 1 ? RandomLines(rng, 300 + (int)((*rng)() % 600))
                                       : RandomLines(rng, (int)((*rng)() % 12));
        unsigned form = (*rng)() % 8;
        if (form < 2)
            text = Utf16(text, form == 1);
        else if (form == 2)
            text = "\xef\xbb\xbf" + text;
        WriteTestFile(path, text);
    }
}

class WalkerThreads : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        root = MakeTestFolder();
        // First in the walk: a file of 6 MiB with a few hits, which takes a
        // thread as long as dozens of small files take the others.
        std::string big;
        while (big.size() < (6u << 20))
            big += big.size() % 100000 < 40 ? "int hit = \"hit\"; // h\r\n" : std::string(70, '.') + "\r\n";
        WriteTestFile(root + L"\\a-big.c", big);
        // A file no thread can open, and one opened but locked against reading.
        WriteTestFile(root + L"\\b-locked.c", "hit\r\n");
        WriteTestFile(root + L"\\c-unreadable.c", "hit\r\n");
        locked = CreateFileW((root + L"\\b-locked.c").c_str(), GENERIC_READ, 0, NULL, OPEN_EXISTING, 0, NULL);
        unreadable = CreateFileW((root + L"\\c-unreadable.c").c_str(), GENERIC_READ | GENERIC_WRITE,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING, 0, NULL);
        LockFile(unreadable, 0, 0, 5, 0);
    }
    static void TearDownTestSuite()
    {
        CloseHandle(locked);
        CloseHandle(unreadable);
        RemoveTree(root);
    }
    void TearDown() override { ClearStop(); }

    // A random request on a fresh random tree below the shared files.
    void NextCase(std::mt19937* rng, SearchRequest* request)
    {
        RemoveTree(root + L"\\tree");
        MakeRandomTree(root + L"\\tree", rng);
        unsigned bits = (*rng)() % 32 | ((*rng)() % 4 ? SUBFOLDERS : 0) | ((*rng)() % 2 ? UNICODE_FILES : 0) |
                        ((*rng)() % 4 ? 0 : WHOLE_WORD);
        const wchar_t* text = needles[(*rng)() % (sizeof needles / sizeof *needles)];
        if ((*rng)() % 4 == 0) {
            bits |= REGULAR_EXPRESSION;
            text = expressions[(*rng)() % (sizeof expressions / sizeof *expressions)];
        }
        ASSERT_TRUE(FillRequest(request, text, bits, patterns[(*rng)() % (sizeof patterns / sizeof *patterns)]));
    }

    static std::wstring root;
    static HANDLE locked, unreadable;
};

std::wstring WalkerThreads::root;
HANDLE WalkerThreads::locked, WalkerThreads::unreadable;

// The report of the walk, and after it the lines that name the files that
// could not be read.
std::string Walk(const std::wstring& folder, SearchRequest* request, LONG threads, size_t stopAfter = 0)
{
    request->scanThreads = threads;
    WalkRun run;
    RunWalk(folder, request, stopAfter, &run);
    return stopAfter ? run.report : run.report + "--\r\n" + run.unreadable;
}

TEST_F(WalkerThreads, ReportTheSameBytesAsOneThread)
{
    unsigned long cases = Setting("WALK_DIFF_CASES", defaultCases);
    unsigned long seed = Setting("WALK_DIFF_SEED", 1600);
    size_t lines = 0, overflowing = 0, withUnreadable = 0, unicode = 0, regexCases = 0;
    for (unsigned long n = 0; n < cases; n++) {
        std::mt19937 rng(seed + n);
        SearchRequest request;
        NextCase(&rng, &request);
        std::string one = Walk(root, &request, 1);
        lines += std::count(one.begin(), one.end(), '\n');
        overflowing += one.size() > SLOT_REPORT_BYTES;
        withUnreadable += one.find("Seekline: cannot read") != std::string::npos;
        unicode += request.options.unicodeFiles != 0;
        regexCases += request.options.regularExpression != 0;
        for (LONG threads : threadCounts) {
            std::string many = Walk(root, &request, threads);
            if (many != one) {
                FreeSearchPatterns(&request);
                ADD_FAILURE() << "WALK_DIFF_SEED=" << seed + n << " WALK_DIFF_CASES=1: " << threads
                              << " threads reported " << many.size() << " bytes, one thread " << one.size()
                              << "; first difference at byte "
                              << std::mismatch(one.begin(), one.end(), many.begin(), many.end()).first - one.begin();
                return;
            }
        }
        FreeSearchPatterns(&request);
    }
    printf(
        "%lu trees (%zu with Unicode files, %zu regular expressions), %zu report lines each time, %zu reports "
        "beyond a slot, %zu with unreadable files\n",
        cases, unicode, regexCases, lines, overflowing, withUnreadable);
}

TEST_F(WalkerThreads, AStopLeavesTheFirstWholeLinesOfTheReport)
{
    // The stop is played as a random file is opened; the report holds whole
    // lines, all of them at the start of the report of the whole walk.
    unsigned long cases = Setting("WALK_DIFF_CASES", defaultCases);
    unsigned long seed = Setting("WALK_DIFF_SEED", 1600) + 7919;
    for (unsigned long n = 0; n < cases; n++) {
        std::mt19937 rng(seed + n);
        SearchRequest request;
        NextCase(&rng, &request);
        std::string whole = Walk(root, &request, 1);
        for (int stop = 0; stop < 4; stop++) {
            LONG threads = stop == 0 ? 1 : threadCounts[rng() % 4];
            size_t stopAfter = 1 + rng() % 60;
            std::string cut = Walk(root, &request, threads, stopAfter);
            ClearStop();
            EXPECT_TRUE(cut.empty() || cut.back() == '\n') << "seed " << seed + n << ": the report ends inside a line";
            EXPECT_EQ(whole.compare(0, cut.size(), cut), 0)
                << "seed " << seed + n << ", " << threads << " threads, stopped at file " << stopAfter
                << ": the report is not the start of the whole report";
        }
        FreeSearchPatterns(&request);
    }
}

}  // namespace
