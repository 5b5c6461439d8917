// The scanner at the edges of its bytes: files that end or start right at a
// page the process may not touch, in ANSI and in Unicode text, a CR LF split
// between two pieces of the search, and the stop flag seen within one piece
// of a large file.
#include "tests/engine/ScanCompare.h"
#include "tests/engine/ScanHelpers.h"
#include "engine/text/VectorSearch.h"
#include <gtest/gtest.h>
#include <algorithm>
#include <vector>

namespace {

class ScanBounds : public testing::Test {
protected:
    void SetUp() override { ScanCaptureStart(); }
    void TearDown() override
    {
        ClearStop();
        LimitVectorsToSse2(FALSE);
        ScanCaptureFinish();
    }
};

// Sizes around the vector widths and around a page, every option with both
// vector widths, needles up to two vectors long, and endings that leave a
// match, a partial match, a quote, a slash or a terminator as the last bytes.
TEST_F(ScanBounds, NeverReadsOutsideTheBytes)
{
    GuardedBytes guarded;
    GuardedAlloc(&guarded, 3 * 4096);
    std::vector<size_t> sizes;
    for (size_t size = 0; size <= 70; size++)
        sizes.push_back(size);
    for (size_t size = 4090; size <= 4100; size++)
        sizes.push_back(size);
    sizes.push_back(8192);
    const std::string needles[] = {"", "X", "XY", "\"X", std::string(15, 'X') + "Y", std::string(32, 'X') + "Y"};
    int scans = 0;
    for (size_t size : sizes) {
        for (const std::string& needle : needles) {
            const std::string endings[] = {needle, needle.substr(0, needle.size() / 2), "\"", "/", "\r", "\"" + needle};
            for (const std::string& ending : endings) {
                std::string file(size, size % 2 ? 'x' : '.');
                file.replace(size - std::min(size, ending.size()), std::string::npos,
                             ending.substr(ending.size() - std::min(size, ending.size())));
                for (unsigned options = 0; options < 32; options++) {
                    SearchRequest request;
                    FillByteRequest(&request, needle, options % 16);
                    LimitVectorsToSse2(options >= 16);
                    for (bool atEnd : {true, false}) {
                        const BYTE* bytes = GuardedPlace(&guarded, file, atEnd);
                        ScanResult fast = ScanWith(false, bytes, size, &request);
                        ASSERT_TRUE(fast == ScanWith(true, bytes, size, &request))
                            << "needle " << Escaped(needle) << " options " << options % 16
                            << (options >= 16 ? ", 16-byte vectors" : "") << " file " << Escaped(file);
                        scans++;
                    }
                }
            }
        }
    }
    GuardedFree(&guarded);
    EXPECT_GT(scans, 150000);
}

// The same for Unicode text in each form: sizes around the vector widths and
// a page, needles of one, two and four bytes a character, and endings that
// leave a match, part of a character, a quote, a slash or a terminator.
TEST_F(ScanBounds, NeverReadsOutsideUnicodeText)
{
    GuardedBytes guarded;
    GuardedAlloc(&guarded, 3 * 4096);
    const std::string marks[] = {"", "\xEF\xBB\xBF", "\xFF\xFE", "\xFE\xFF"};
    const std::wstring needles[] = {L"", L"X", L"\u00C9\u4E2D", L"\U0001F600\""};
    const unsigned options[] = {0, MATCH_CASE, SKIP_COMMENTS | STRINGS_ONLY, STRINGS_ONLY | AMP_VARIANTS};
    int scans = 0;
    for (const std::string& mark : marks) {
        bool utf16 = mark.size() == 2;
        auto encode = [&](const std::wstring& text) {
            return utf16 ? Utf16(text, mark[0] == '\xFE').substr(2) : Utf8(text);
        };
        for (const std::wstring& needle : needles) {
            std::string encoded = encode(needle);
            // A file without a mark is UTF-8 only with a byte of 0x80 or more.
            const std::string endings[] = {encoded, encoded.substr(0, encoded.size() / 2), encode(L"\u00E9\""), "/",
                                           utf16 ? encode(L"\xD800") : "\xE4\xB8"};
            for (size_t size : {0, 1, 2, 3, 5, 8, 15, 16, 17, 31, 32, 33, 63, 64, 65, 4094, 4095, 4096, 4097}) {
                for (const std::string& ending : endings) {
                    std::string file = mark + std::string(size, size % 2 ? 'x' : '\0') + ending;
                    for (unsigned bits : options) {
                        SearchRequest request;
                        FillRequest(&request, needle, bits | UNICODE_FILES);
                        for (int way = 0; way < 4; way++) {
                            LimitVectorsToSse2(way >= 2);
                            const BYTE* bytes = GuardedPlace(&guarded, file, way % 2 == 0);
                            ScanResult fast = ScanWith(false, bytes, file.size(), &request);
                            ASSERT_TRUE(fast == ScanWith(true, bytes, file.size(), &request))
                                << "text " << EscapedText(needle) << " options " << bits << " file " << Escaped(file);
                            scans++;
                        }
                    }
                }
            }
        }
    }
    GuardedFree(&guarded);
    EXPECT_GT(scans, 20000);
}

// The search goes through a large file in pieces; a CR LF split between two
// of them is still one line end.
TEST_F(ScanBounds, CountsACrLfSplitBetweenPiecesOnce)
{
    GuardedBytes guarded;
    GuardedAlloc(&guarded, 3 << 16);
    for (size_t boundary : {(size_t)1 << 15, (size_t)1 << 16, (size_t)1 << 17}) {
        for (size_t cr = boundary - 3; cr <= boundary + 2; cr++) {
            std::string file(cr, 'a');
            for (size_t at = 100; at < cr; at += 4000)
                file[at] = at % 3 ? '\n' : '\r';
            file += "\r\nfoo \"x\" // foo\rfoo\n";
            for (unsigned options = 0; options < 32; options++) {
                SearchRequest request;
                FillByteRequest(&request, "FOO", options % 16);
                LimitVectorsToSse2(options >= 16);
                const BYTE* bytes = GuardedPlace(&guarded, file, true);
                ScanResult fast = ScanWith(false, bytes, file.size(), &request);
                ASSERT_TRUE(fast == ScanWith(true, bytes, file.size(), &request)) << "CR at " << cr;
            }
        }
    }
    GuardedFree(&guarded);
}

// A file of 16 MiB whose bytes after the first 192 KiB may not be touched:
// with a stop requested, no scan may get that far.
TEST_F(ScanBounds, SeesAStopWithinEachPieceOfText)
{
    const SIZE_T size = 16 << 20, readable = 192 << 10;
    BYTE* bytes = (BYTE*)VirtualAlloc(NULL, size, MEM_RESERVE, PAGE_NOACCESS);
    ASSERT_TRUE(bytes != NULL);
    ASSERT_TRUE(VirtualAlloc(bytes, readable, MEM_COMMIT, PAGE_READWRITE) != NULL);
    FillMemory(bytes, readable, 'x');
    RequestStop();

    // No hit, and no line end.
    SearchRequest request;
    FillByteRequest(&request, "FOO", 0);
    ScanResult result = ScanWith(false, bytes, size, &request);
    EXPECT_FALSE(result.finished);
    EXPECT_EQ(result.report, "");

    // A hit at the start of a line longer than any piece: it is reported,
    // cut as always, before the search for the line's end sees the stop.
    CopyMemory(bytes, "foo", 3);
    result = ScanWith(false, bytes, size, &request);
    EXPECT_FALSE(result.finished);
    EXPECT_EQ(result.report, "t(1,1) : foo" + std::string(256, 'x') + "\r\n");

    // A match outside strings: the line is settled byte by byte, which
    // also looks at the stop flag.
    FillByteRequest(&request, "FOO", STRINGS_ONLY | AMP_VARIANTS);
    result = ScanWith(false, bytes, size, &request);
    EXPECT_FALSE(result.finished);
    EXPECT_EQ(result.report, "");

    // The same in UTF-16 text, character by character.
    std::string text = Utf16(L"foo" + std::wstring(readable / 2, L'x'), false);
    CopyMemory(bytes, text.data(), readable);
    for (unsigned bits : {0, STRINGS_ONLY | AMP_VARIANTS}) {
        FillRequest(&request, L"FOO", bits | UNICODE_FILES);
        result = ScanWith(false, bytes, size, &request);
        EXPECT_FALSE(result.finished);
        EXPECT_EQ(result.report, bits ? "" : "t(1,1) : foo" + std::string(256, 'x') + "\r\n");
    }

    VirtualFree(bytes, 0, MEM_RELEASE);
}

}  // namespace
