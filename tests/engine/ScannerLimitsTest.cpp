// The scanner at the edges: the longest needle, the end of the file's
// bytes, and files of 2 GiB and more.
#include "tests/engine/ScanHelpers.h"
#include <gtest/gtest.h>

namespace {

class ScannerLimits : public testing::Test {
protected:
    void SetUp() override { folder = MakeTestFolder(); }
    void TearDown() override { RemoveTree(folder); }
    std::wstring folder;
};

TEST_F(ScannerLimits, TheLongestSearchTextConvertsWhole)
{
    // 1021 characters that take two bytes each in a double-byte code page
    // (one byte, the default character, in a single-byte one).
    std::wstring text(SEARCH_TEXT_CHARS, L'\x5C0B');
    SearchRequest request;
    FillRequest(&request, text, 0);
    std::string ansi = Ansi(text);
    ASSERT_EQ(request.needleLength, (int)ansi.size());
    EXPECT_EQ(std::string(request.needle, request.needleLength), ansi);
    if (GetACP() == 950) {
        EXPECT_EQ(request.needleLength, 2 * SEARCH_TEXT_CHARS);
    }

    std::wstring path = folder + L"\\long.txt";
    WriteTestFile(path, "no\n\"" + ansi + "\"\n");
    FillRequest(&request, text, STRINGS_ONLY | AMP_VARIANTS);
    EXPECT_EQ(Hits(SearchPath(path, &request), path), "(2,2)");

    // Text the field cannot hold is refused whole, never left as an empty
    // needle that would report every line.
    std::wstring tooLong(NEEDLE_BYTES, L'x');
    EXPECT_FALSE(ConvertNeedle(&request, tooLong.c_str()));
    EXPECT_EQ(request.needleLength, 0);
}

TEST_F(ScannerLimits, NeverReadsPastTheEndOfTheView)
{
    // Files that end exactly at a page or mapping boundary, where the end of
    // the file is neither a quote nor a terminator.
    for (size_t size : {(size_t)4096, (size_t)65536}) {
        std::wstring path = folder + L"\\edge.txt";
        WriteTestFile(path, std::string(size - 2, 'x') + " \"");
        SearchRequest request;
        FillRequest(&request, L"", STRINGS_ONLY | SKIP_COMMENTS);
        std::string column = std::to_string(size + 1);
        EXPECT_EQ(Hits(SearchPath(path, &request), path), "(1," + column + ")");

        WriteTestFile(path, std::string(size - 1, 'x') + "/");
        EXPECT_EQ(Hits(SearchPath(path, &request), path), "");
        FillRequest(&request, L"", SKIP_COMMENTS);
        EXPECT_EQ(Hits(SearchPath(path, &request), path), "(1,1)");
        FillRequest(&request, L"X/", 0);
        EXPECT_EQ(Hits(SearchPath(path, &request), path), "(1," + std::to_string(size - 1) + ")");
    }
}

TEST_F(ScannerLimits, SearchesFilesOfFourGigabytesWhole)
{
    if (GetACP() != 1252)
        GTEST_SKIP() << "one code page is enough for the big file";
    // A sparse file of 4 GiB and a little: a hit at its start, whose line
    // runs over all the zeros, and one behind them.
    std::wstring path = folder + L"\\huge.bin";
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD written;
    WriteFile(file, "foo", 3, &written, NULL);
    LARGE_INTEGER at;
    at.QuadPart = 0x100000010LL;
    SetFilePointerEx(file, at, NULL, FILE_BEGIN);
    WriteFile(file, "\nxfoo", 5, &written, NULL);
    CloseHandle(file);

    SearchRequest request;
    FillRequest(&request, L"FOO", 0);
    std::string name = Ansi(path);
    EXPECT_EQ(SearchPath(path, &request),
              name + "(1,1) : foo" + std::string(256, '\0') + "\r\n" + name + "(2,2) : xfoo\r\n");
}

}  // namespace
