// The line scanner's matching modes on real files.
#include "tests/engine/ScanHelpers.h"
#include <gtest/gtest.h>

namespace {

struct ScanCase {
    const char* title;
    const wchar_t* needle;  // as typed in the search box
    unsigned options;
    std::string content;
    const char* hits;
};

const ScanCase scanCases[] = {
    {"folds case, three terminators", L"FOO", 0, "a foo\r\nbar\nFoO x\rzfoo", "(1,3)(3,1)(4,2)"},
    {"typed lower case is upper-cased", L"foo", 0, "FOO\nfoo\nxFoO", "(1,1)(2,1)(3,2)"},
    {"match case", L"Foo", MATCH_CASE, "foo Foo\nFOO", "(1,5)"},
    {"first hit per line only", L"FOO", 0, "foo foo\nfoo", "(1,1)(2,1)"},
    {"no final terminator", L"FOO", 0, "xx foo", "(1,4)"},
    {"LF CR is two line ends", L"B", 0, "a\n\rb", "(3,1)"},
    {"CR CR LF is two line ends", L"FOO", 0, "foo\r\r\nfoo", "(1,1)(3,1)"},
    {"terminator inside a comparison skips the line", L"FOO", 0, "fo\nfoo", "(2,1)"},
    {"shorter than the needle", L"FOO", 0, "fo", ""},
    {"UTF-16 text is not ANSI text", L"FOO", 0, std::string("f\0o\0o\0", 6), ""},
    {"skip comments", L"X", SKIP_COMMENTS, "a // x\nx // y\n// x\n", "(2,1)"},
    {"hit before a comment", L"FOO", SKIP_COMMENTS, "foo // foo", "(1,1)"},
    {"a single slash is no comment", L"FOO", SKIP_COMMENTS, "a / foo", "(1,5)"},
    {"comments not skipped unless asked", L"X", 0, "a // x", "(1,6)"},
    {"strings only", L"AB", STRINGS_ONLY, "ab \"xab\" 'ab'", "(1,6)"},
    {"apostrophe inside double quotes is text", L"AB", STRINGS_ONLY, "\"it's ab\"", "(1,7)"},
    {"backslash does not escape a quote", L"AB", STRINGS_ONLY, "\"x\\\"ab\"", ""},
    {"strings end at the line end", L"AB", STRINGS_ONLY, "\"ab\nab\"", "(1,2)"},
    {"hit may run over the closing quote", L"a\"b", STRINGS_ONLY, "\"xa\"b", "(1,3)"},
    {"only the other quote inside a string starts a hit", L"\"A", STRINGS_ONLY, "x\"a\" '\"a'", "(1,7)"},
    {"strings and comments: URL ends the line", L"AB", STRINGS_ONLY | SKIP_COMMENTS, "\"ftp://ab\" \"ab\"", ""},
    {"strings and comments", L"AB", STRINGS_ONLY | SKIP_COMMENTS, "x // \"ab\"\n\"ab\" // x", "(2,2)"},
    {"ampersand variants in pass order", L"FILE", STRINGS_ONLY | AMP_VARIANTS,
     "\"&File\" \"F&ile\"\n\"Fi&le\"\n\"Fil&e\"\n", "(1,3)(3,2)(2,2)(1,10)"},
    {"a line matching two variants is reported twice", L"AB", STRINGS_ONLY | AMP_VARIANTS,
     "\"ab a&b\"", "(1,2)(1,5)"},
    {"no variant with the ampersand outside", L"AB", STRINGS_ONLY | AMP_VARIANTS, "\"ab&\"", "(1,2)"},
    {"variants need strings only", L"FILE", AMP_VARIANTS, "F&ile", ""},
    {"variants with comment skipping", L"AB", STRINGS_ONLY | AMP_VARIANTS | SKIP_COMMENTS,
     "// \"a&b\"\n\"a&b\"", "(2,2)"},
    {"empty needle reports every line", L"", 0, "a\n\nb\n", "(1,1)(2,1)(3,1)(4,1)"},
    {"empty needle, CR LF", L"", 0, "a\r\nb", "(1,1)(2,1)"},
    {"empty needle with variants reports nothing", L"", STRINGS_ONLY | AMP_VARIANTS, "\"a\"\n", ""},
    {"empty needle in strings, end of file", L"", STRINGS_ONLY, "x \"", "(1,4)"},
    {"empty needle in strings keeps the next line", L"", STRINGS_ONLY, "ab\n\"x\"\n", "(2,2)"},
    {"empty needle, comment at the end", L"", SKIP_COMMENTS, "a//", "(1,1)"},
};

void PrintTo(const ScanCase& scan, std::ostream* out)
{
    *out << scan.title;
}

class ScanCases : public testing::TestWithParam<ScanCase> {};

TEST_P(ScanCases, ReportsTheExpectedHits)
{
    const ScanCase& scan = GetParam();
    std::wstring folder = MakeTestFolder();
    std::wstring path = folder + L"\\sample.c";
    WriteTestFile(path, scan.content);
    SearchRequest request;
    FillRequest(&request, scan.needle, scan.options);
    EXPECT_EQ(Hits(SearchPath(path, &request), path), scan.hits) << scan.title;
    RemoveTree(folder);
}

INSTANTIATE_TEST_SUITE_P(Scanner, ScanCases, testing::ValuesIn(scanCases));

class ScannerTest : public testing::Test {
protected:
    void SetUp() override { folder = MakeTestFolder(); }
    void TearDown() override
    {
        StopRequested = 0;
        RemoveTree(folder);
    }
    std::wstring Write(const wchar_t* name, const std::string& content)
    {
        std::wstring path = folder + L"\\" + name;
        WriteTestFile(path, content);
        return path;
    }
    std::wstring folder;
};

TEST_F(ScannerTest, WritesTheReportLineByteForByte)
{
    std::wstring path = Write(L"main.c", "a\nb\nc\nd\ne\nf\ng\nh\ni\nj\nk\nint Foo;\r\nx");
    SearchRequest request;
    FillRequest(&request, L"foo", 0);
    EXPECT_EQ(SearchPath(path, &request), Ansi(path) + "(12,5) : int Foo;\r\n");
}

TEST_F(ScannerTest, CutsLongLinesButCountsColumnsInTheWholeLine)
{
    std::string line = std::string(300, 'x') + "foo" + std::string(100, 'y');
    std::wstring path = Write(L"long.txt", line + "\nfoo");
    SearchRequest request;
    FillRequest(&request, L"FOO", 0);
    EXPECT_EQ(SearchPath(path, &request),
              Ansi(path) + "(1,301) : " + line.substr(0, 259) + "\r\n" + Ansi(path) + "(2,1) : foo\r\n");
}

TEST_F(ScannerTest, SkipsFilesItCannotOpenOrMap)
{
    SearchRequest request;
    FillRequest(&request, L"", 0);
    std::wstring empty = Write(L"empty.c", "");
    EXPECT_EQ(SearchPath(empty, &request), "");
    EXPECT_EQ(SearchPath(folder + L"\\missing.c", &request), "");
    EXPECT_EQ(SearchPath(folder, &request), "");

    std::wstring locked = Write(L"locked.c", "foo\n");
    HANDLE holder = CreateFileW(locked.c_str(), GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_EXISTING, 0, NULL);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    EXPECT_EQ(SearchPath(locked, &request), "");
    CloseHandle(holder);
    EXPECT_EQ(Hits(SearchPath(locked, &request), locked), "(1,1)(2,1)");
}

TEST_F(ScannerTest, PutsTheNeedleBackAfterTheVariants)
{
    std::wstring path = Write(L"menu.rc", "\"F&ile\"\n");
    SearchRequest request;
    FillRequest(&request, L"file", STRINGS_ONLY | AMP_VARIANTS);
    EXPECT_EQ(Hits(SearchPath(path, &request), path), "(1,2)");
    EXPECT_STREQ(request.needle, "FILE");
    EXPECT_EQ(Hits(SearchPath(path, &request), path), "(1,2)");
    EXPECT_STREQ(request.needle, "FILE");
}

TEST_F(ScannerTest, StopEndsTheFileWithinOneStepAndBeginsNoFurtherPass)
{
    std::wstring path = Write(L"stop.c", "foo\nfoo\n\"f&oo\"\n");
    SearchRequest request;
    FillRequest(&request, L"FOO", 0);
    StopRequested = 1;
    EXPECT_EQ(Hits(SearchPath(path, &request), path), "(1,1)");

    FillRequest(&request, L"FOO", STRINGS_ONLY | AMP_VARIANTS);
    EXPECT_EQ(SearchPath(path, &request), "");
    EXPECT_STREQ(request.needle, "FOO");
}

TEST_F(ScannerTest, FoldsOnlyAsciiLettersInTheText)
{
    // A pattern byte with its top bit set leads a double-byte character:
    // the byte after it is compared as it stands.
    std::wstring path = Write(L"dbcs.c", "x\xA4" "A\n\xA4" "a\nabc\n");
    SearchRequest request;
    FillRequest(&request, L"", 0);
    request.needle[0] = '\xA4';
    request.needle[1] = 'a';
    request.needle[2] = 0;
    request.needleLength = 2;
    EXPECT_EQ(Hits(SearchPath(path, &request), path), "(2,1)");
}

TEST_F(ScannerTest, MatchesNonAsciiNeedlesInTheAnsiCodePage)
{
    SearchRequest request;
    if (GetACP() == 1252) {
        // The platform upper-cases the needle's e-acute; the text is not folded.
        std::wstring path = Write(L"latin.c", "caf\xE9\ncaf\xC9\n");
        FillRequest(&request, L"caf\x00E9", 0);
        EXPECT_EQ(request.needleLength, 4);
        EXPECT_EQ(Hits(SearchPath(path, &request), path), "(2,1)");
    } else {
        // Two Chinese characters: more bytes than characters, double-byte or UTF-8.
        std::wstring word = L"\x641C\x5C0B";
        std::wstring path = Write(L"chinese.c", "x " + Ansi(word) + "\n");
        FillRequest(&request, word, 0);
        EXPECT_EQ(request.needleLength, GetACP() == 950 ? 4 : 6);
        EXPECT_EQ(Hits(SearchPath(path, &request), path), "(1,3)");
    }
}

}  // namespace
