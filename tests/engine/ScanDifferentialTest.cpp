// The fast scanner against the byte-by-byte reference on seeded random files
// and needles, in every combination of the four options: the reports must be
// equal to the byte. The files are biased toward what trips a scanner up, and
// every file lies flush against a no-access page. SCAN_DIFF_CASES sets the
// number of cases, SCAN_DIFF_SEED the seed and SCAN_DIFF_FIRST the first case.
#include "tests/engine/ScanCompare.h"
#include "tests/engine/RandomText.h"
#include "tests/engine/ScanHelpers.h"
#include "engine/LineScanVector.h"
#include <gtest/gtest.h>

namespace {

// Cases per code page when not set: three code pages make over 200,000.
const unsigned long defaultCases = 70000;

std::string NeedleByte(Random* random)
{
    unsigned pick = Below(random, 100);
    if (pick < 45)
        return std::string(1, (char)Between(random, 'A', 'Z'));
    if (pick < 50)
        return std::string(1, (char)Between(random, 'a', 'z'));
    if (pick < 56)
        return std::string(1, "_ 09"[Below(random, 4)]);
    if (pick < 62)
        return "&";
    if (pick < 68)
        return std::string(1, "\"'"[Below(random, 2)]);
    if (pick < 73)
        return "/";
    if (pick < 83)
        return std::string(1, (char)Between(random, 0x80, 0xFF));
    if (pick < 93)
        return DoubleByte(random);
    if (pick < 95)
        return std::string(1, "\r\n"[Below(random, 2)]);
    if (pick < 96)
        return std::string(1, '\0');
    return std::string(1, "()*;,.-=@"[Below(random, 9)]);
}

// Empty, one byte, a few, a word, and longer than the lines.
std::string MakeNeedle(Random* random)
{
    unsigned pick = Below(random, 100);
    size_t length = pick < 6 ? 0 : pick < 26 ? 1 : pick < 56 ? Between(random, 2, 4)
                  : pick < 88 ? Between(random, 5, 12) : pick < 97 ? Between(random, 13, 40) : Between(random, 41, 300);
    std::string needle;
    while (needle.size() < length)
        needle += NeedleByte(random);
    needle.resize(length);
    return needle;
}

// The needle or a piece of it, its letters in random case, sometimes with a
// "&" inside.
std::string NeedlePiece(Random* random, const std::string& needle)
{
    if (needle.empty())
        return "x";
    size_t start = Below(random, 3) ? 0 : Below(random, (unsigned)needle.size());
    size_t length = Below(random, 3) ? needle.size() - start : 1 + Below(random, (unsigned)(needle.size() - start));
    std::string piece = needle.substr(start, length);
    for (char& c : piece) {
        if (((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')) && Below(random, 3) == 0)
            c ^= 0x20;
    }
    if (Below(random, 5) == 0)
        piece.insert(Below(random, (unsigned)piece.size() + 1), 1, '&');
    return piece;
}

std::string FileToken(Random* random, const std::string& needle)
{
    static const char* const tokens[] = {"\"", "'", "//", "/", "\\", "\r", "\n", "\r\n", "\n\r", "&", " ", "\t"};
    unsigned pick = Below(random, 100);
    if (pick < 22)
        return NeedlePiece(random, needle);
    if (pick < 60)
        return tokens[Below(random, sizeof tokens / sizeof tokens[0])];
    if (pick < 66)
        return std::string(1, (char)Between(random, 0x80, 0xFF));
    if (pick < 72)
        return DoubleByte(random);
    if (pick < 74)
        return std::string(1, '\0');
    std::string word;
    for (unsigned n = Between(random, 1, 8); n > 0; n--)
        word += (char)(Between(random, 'a', 'z') ^ (Below(random, 4) ? 0 : 0x20));
    return word;
}

// Short files, lengths around 16, 32 and 64 bytes (vector widths), around
// pages, and a few around the pieces between looks at the stop flag.
size_t FileSize(Random* random)
{
    static const unsigned edges[] = {16, 32, 64, 4096, 8192};
    static const unsigned pieces[] = {32768, 65536, 131072};
    unsigned pick = Below(random, 1000);
    if (pick < 350)
        return Below(random, 25);
    if (pick < 600)
        return edges[Below(random, 3)] + Between(random, 0, 6) - 3;
    if (pick < 850)
        return Between(random, 25, 400);
    if (pick < 940)
        return edges[3 + Below(random, 2)] + Between(random, 0, 8) - 4;
    if (pick < 997)
        return Between(random, 400, 3000);
    return pieces[Below(random, 3)] + Between(random, 0, 16) - 8;
}

std::string MakeFile(Random* random, const std::string& needle)
{
    size_t size = FileSize(random);
    std::string file;
    while (file.size() < size)
        file += FileToken(random, needle);
    file.resize(size);
    // Matches at the first byte, at the last byte, or a partial match at the end.
    unsigned pick = Below(random, 10);
    if (pick == 0 && needle.size() <= size)
        file.replace(0, needle.size(), needle);
    else if (pick == 1 && needle.size() <= size)
        file.replace(size - needle.size(), needle.size(), needle);
    else if (pick == 2 && !needle.empty() && needle.size() - 1 <= size)
        file.replace(size - (needle.size() - 1), needle.size() - 1, needle, 0, needle.size() - 1);
    return file;
}

struct Case {
    std::string file;
    std::string needle;
    unsigned options;
    bool atEnd;
    bool sse2;  // 16-byte vectors even where the processor has AVX2
};

bool BothAgree(const GuardedBytes* guarded, const Case& scan, ScanResult* fast, ScanResult* reference)
{
    SearchRequest request;
    FillByteRequest(&request, scan.needle, scan.options);
    const BYTE* bytes = GuardedPlace(guarded, scan.file, scan.atEnd);
    LimitVectorsToSse2(scan.sse2);
    *reference = ScanWith(true, bytes, scan.file.size(), &request);
    *fast = ScanWith(false, bytes, scan.file.size(), &request);
    return *fast == *reference;
}

// Drops pieces of the file and then of the needle, halving the piece, while
// the scanners still disagree.
void Shrink(const GuardedBytes* guarded, Case* scan)
{
    ScanResult fast, reference;
    for (std::string* text : {&scan->file, &scan->needle, &scan->file}) {
        for (size_t piece = (text->size() + 1) / 2; piece >= 1; piece /= 2) {
            for (size_t at = 0; at + piece <= text->size();) {
                std::string kept = *text;
                text->erase(at, piece);
                if (BothAgree(guarded, *scan, &fast, &reference)) {
                    *text = kept;
                    at += piece;
                }
            }
        }
    }
}

TEST(ScanDifferential, FastScannerReportsWhatTheReferenceReports)
{
    unsigned long cases = Setting("SCAN_DIFF_CASES", defaultCases);
    // Each code page gets cases of its own unless a seed is given.
    unsigned long seed = Setting("SCAN_DIFF_SEED", 20240 + GetACP());
    unsigned long first = Setting("SCAN_DIFF_FIRST", 0);
    GuardedBytes guarded;
    GuardedAlloc(&guarded, 140 << 10);
    ScanCaptureStart();
    unsigned long matched = 0;
    for (unsigned long index = first; index < first + cases; index++) {
        Random random = {((ULONGLONG)seed << 32) + index};
        Case scan;
        scan.needle = MakeNeedle(&random);
        scan.options = index % 16;
        scan.atEnd = (index / 16) % 2 == 0;
        scan.sse2 = (index / 32) % 2 == 1;
        // The settings dialog upper-cases the needle for a folded search;
        // the scanner must cope with any needle all the same.
        if (!(scan.options & MATCH_CASE) && Below(&random, 5)) {
            scan.needle += '\0';
            CharUpperA(&scan.needle[0]);
            scan.needle.pop_back();
        }
        scan.file = MakeFile(&random, scan.needle);
        ScanResult fast, reference;
        if (BothAgree(&guarded, scan, &fast, &reference)) {
            matched += !reference.report.empty();
            continue;
        }
        Shrink(&guarded, &scan);
        BothAgree(&guarded, scan, &fast, &reference);
        ADD_FAILURE() << "SCAN_DIFF_SEED=" << seed << " SCAN_DIFF_FIRST=" << index
                      << " SCAN_DIFF_CASES=1, code page " << GetACP() << ", options " << scan.options << ", bytes "
                      << (scan.atEnd ? "flush against the end" : "from the start")
                      << (scan.sse2 ? ", 16-byte vectors" : "") << "\nneedle " << Escaped(scan.needle)
                      << "\nfile   " << Escaped(scan.file) << "\nfast      " << Escaped(fast.report)
                      << " finished " << fast.finished
                      << "\nreference " << Escaped(reference.report) << " finished " << reference.finished;
        break;
    }
    LimitVectorsToSse2(FALSE);
    ScanCaptureFinish();
    GuardedFree(&guarded);
    // The cases must find something to compare most of the time.
    if (!HasFailure()) {
        EXPECT_GT(matched, cases / 4);
    }
    printf("%lu cases, %lu with hits, first seed %lu\n", cases, matched, seed);
}

}  // namespace
