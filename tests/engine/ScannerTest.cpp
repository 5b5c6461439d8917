// The line scanner's matching modes on real files, in ANSI text and, with
// the Unicode files option, in UTF-8 and UTF-16 text.
#include "tests/engine/ScanCompare.h"
#include "tests/engine/ScanHelpers.h"
#include "engine/text/VectorSearch.h"
#include <gtest/gtest.h>

namespace {

// A letter outside ASCII that the code page spells: an e acute, or where it
// cannot, a Chinese character.
std::wstring OutsideAscii()
{
    return AnsiSpellsExactly(L"\u00E9", 1) ? L"\u00E9" : L"\u4E2D";
}

struct ScanCase {
    const char* title;
    const wchar_t* needle;  // as typed in the search box
    unsigned options;
    std::string content;
    std::string hits;
};

std::string Repeated(const std::string& text, int times)
{
    std::string repeated;
    for (int n = 0; n < times; n++)
        repeated += text;
    return repeated;
}

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
    // A vector lane counts at most 255 line ends before it is summed.
    {"line ends counted past 255 in a lane", L"FOO", 0, std::string(9000, '\n') + "foo", "(9001,1)"},
    {"sixteen-byte lines counted past 255 in a lane", L"FOO", 0, Repeated("xxxxxxxxxxxxxxx\n", 600) + "foo", "(601,1)"},
    {"UTF-16 line ends counted past 255 in a lane", L"FOO", UNICODE_FILES,
     Utf16(std::wstring(9000, L'\n') + L"foo", false), "(9001,1)"},
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
    {"a line matching two variants is reported twice", L"AB", STRINGS_ONLY | AMP_VARIANTS, "\"ab a&b\"", "(1,2)(1,5)"},
    {"no variant with the ampersand outside", L"AB", STRINGS_ONLY | AMP_VARIANTS, "\"ab&\"", "(1,2)"},
    {"variants need strings only", L"FILE", AMP_VARIANTS, "F&ile", ""},
    {"variants with comment skipping", L"AB", STRINGS_ONLY | AMP_VARIANTS | SKIP_COMMENTS, "// \"a&b\"\n\"a&b\"",
     "(2,2)"},
    {"empty needle reports every line", L"", 0, "a\n\nb\n", "(1,1)(2,1)(3,1)(4,1)"},
    {"empty needle, CR LF", L"", 0, "a\r\nb", "(1,1)(2,1)"},
    {"empty needle with variants reports nothing", L"", STRINGS_ONLY | AMP_VARIANTS, "\"a\"\n", ""},
    {"empty needle in strings, end of file", L"", STRINGS_ONLY, "x \"", "(1,4)"},
    {"empty needle in strings keeps the next line", L"", STRINGS_ONLY, "ab\n\"x\"\n", "(2,2)"},
    {"empty needle, comment at the end", L"", SKIP_COMMENTS, "a//", "(1,1)"},
    // Unicode files: the mark is not text; columns count UTF-16 units, UTF-8 bytes.
    {"UTF-16LE", L"FILE", UNICODE_FILES, Utf16(L"x File\r\nfile", false), "(1,3)(2,1)"},
    {"UTF-16BE", L"file", UNICODE_FILES, Utf16(L"a\nb FILE", true), "(2,3)"},
    {"UTF-8 without a mark", L"CAF\u00C9", UNICODE_FILES, Utf8(L"\u00E9 x caf\u00E9\nCaf\u00C9"), "(1,6)(2,1)"},
    {"UTF-8 with a mark", L"x", UNICODE_FILES,
     "\xEF\xBB\xBF"
     "ab x",
     "(1,4)"},
    {"Greek and Cyrillic fold", L"\u03B1\u03B2\u03B3 \u0434", UNICODE_FILES, Utf8(L"\u0391\u0392\u0393 \u0414"),
     "(1,1)"},
    {"dotless i and long s fold to no ASCII letter", L"is", UNICODE_FILES, Utf8(L"\u0131\u017F\nIS"), "(2,1)"},
    {"match case compares as typed", L"\u00C9", UNICODE_FILES | MATCH_CASE, Utf8(L"\u00E9 \u00C9"), "(1,4)"},
    {"letters of two UTF-8 lengths fold together", L"\u0250", UNICODE_FILES, Utf8(L"x\u2C6F\n\u0250"), "(1,2)(2,1)"},
    {"letters beyond the basic plane fold", L"\U00010428", UNICODE_FILES, Utf16(L"a\U00010400", false), "(1,2)"},
    {"a surrogate pair is one character to the variants", L"\U0001F600A", STRINGS_ONLY | AMP_VARIANTS | UNICODE_FILES,
     Utf16(L"\"\xD83D&\xDE00"
           L"A\"\n\"\U0001F600&A\"",
           false),
     "(2,2)"},
    {"strings and comments in UTF-16", L"AB", STRINGS_ONLY | SKIP_COMMENTS | UNICODE_FILES,
     Utf16(L"x // \"ab\"\n\"ab\" // x", false), "(2,2)"},
    {"LF CR is two line ends in UTF-16", L"B", UNICODE_FILES, Utf16(L"a\n\rb", true), "(3,1)"},
    {"UTF-16 without a mark is not guessed", L"FOO", UNICODE_FILES, std::string("f\0o\0o\0", 6), ""},
    {"ill-formed UTF-8 is ANSI", L"X", UNICODE_FILES, "caf\xE9 x", "(1,6)"},
    {"ill-formed UTF-8 after a mark", L"FOO", UNICODE_FILES, "\xEF\xBB\xBF\xE9x foo", "(1,4)"},
    {"a mark alone is an empty file", L"", UNICODE_FILES, "\xEF\xBB\xBF", ""},
    {"an odd last byte of UTF-16 is no unit", L"", UNICODE_FILES,
     std::string("\xFF\xFE"
                 "a\0"
                 "b",
                 5),
     "(1,1)"},
    {"an ASCII file is ANSI", L"FOO", UNICODE_FILES, "a foo", "(1,3)"},
    // Whole words: a match with a word character beside it leaves the rest
    // of the line to search.
    {"whole word", L"if", WHOLE_WORD, "elif (x) if\nifdef\n_if if_\nif", "(1,10)(4,1)"},
    {"whole word: digits and _ are word characters", L"x", WHOLE_WORD, "x1 _x x\n", "(1,7)"},
    {"whole word: a letter outside ASCII is a word character", L"ab", WHOLE_WORD,
     Ansi(OutsideAscii() + L"ab ab" + OutsideAscii() + L" ab"),
     "(1," + std::to_string(2 * Ansi(OutsideAscii()).size() + 7) + ")"},
    {"whole word per variant", L"AB", STRINGS_ONLY | AMP_VARIANTS | WHOLE_WORD, "\"a&bc a&b\"", "(1,7)"},
    {"whole word in strings", L"ab", WHOLE_WORD | STRINGS_ONLY, "ab \"xab ab\"", "(1,9)"},
    {"whole word: an empty text stands between two non-word characters", L"", WHOLE_WORD, "ab\n\n a", "(2,1)(3,1)"},
    {"whole word in UTF-8: letters outside ASCII are word characters", L"caf", WHOLE_WORD | UNICODE_FILES,
     Utf8(L"caf\u00E9 caf\n\u4E2Dcaf caf\u2014"), "(1,7)(2,8)"},
    {"whole word in UTF-16: a surrogate pair is no word character", L"x", WHOLE_WORD | UNICODE_FILES,
     Utf16(L"\u00E9x \U0001F600x\U0001F600 x", false), "(1,6)"},
    // Regular expressions: the first admitted start of a line, through the
    // vector search of a required literal or through the DFA.
    {"regular expression", L"PM_[A-Z]+", REGULAR_EXPRESSION | MATCH_CASE, "x PM_ \ncase PM_RESUME:\n", "(2,6)"},
    {"regular expression folds as the literal search", L"pm_[a-z]+", REGULAR_EXPRESSION, "case PM_RESUME:\n", "(1,6)"},
    {"regular expression without a literal", L"\\w+\\s*=\\s*\\d+", REGULAR_EXPRESSION, "a = b\nx = 1;\n  count=42",
     "(2,1)(3,3)"},
    {"regular expression: ^ and $ are the line's", L"^$", REGULAR_EXPRESSION, "a\n\nb\r\n", "(2,1)(4,1)"},
    {"regular expression in strings", L"a+b", REGULAR_EXPRESSION | STRINGS_ONLY, "aab \"xaab\"", "(1,7)"},
    {"regular expression before a comment", L"b.*", REGULAR_EXPRESSION | SKIP_COMMENTS, "a // b\nb // c", "(2,1)"},
    {"regular expression, whole word", L"a+", REGULAR_EXPRESSION | WHOLE_WORD, "baaa aa", "(1,6)"},
    {"regular expression: no & variants", L"F&?ILE", REGULAR_EXPRESSION | STRINGS_ONLY | AMP_VARIANTS,
     "\"Fi&le\" \"F&ile\"", "(1,10)"},
    {"regular expression in UTF-8: columns in bytes", L"[\u00E0-\u00FF]+t",
     REGULAR_EXPRESSION | UNICODE_FILES | MATCH_CASE, Utf8(L"\u4E2D \u00E9\u00E8t"), "(1,5)"},
    {"regular expression in UTF-16BE: columns in units", L"b\\d", REGULAR_EXPRESSION | UNICODE_FILES,
     Utf16(L"\U0001F600 B7", true), "(1,4)"},
    {"regular expression: a surrogate pair is one character", L"^.x", REGULAR_EXPRESSION | UNICODE_FILES,
     Utf16(L"\U0001F600x", false), "(1,1)"},
    {"regular expression: ill-formed UTF-8 is U+FFFD", L"a.b", REGULAR_EXPRESSION | UNICODE_FILES,
     "\xEF\xBB\xBF"
     "a\xE9"
     "b",
     "(1,1)"},
};

void PrintTo(const ScanCase& scan, std::ostream* out)
{
    *out << scan.title;
}

class ScanCases : public testing::TestWithParam<ScanCase> { };

TEST_P(ScanCases, ReportsTheExpectedHits)
{
    const ScanCase& scan = GetParam();
    std::wstring folder = MakeTestFolder();
    std::wstring path = folder + L"\\sample.c";
    WriteTestFile(path, scan.content);
    SearchRequest request;
    ASSERT_TRUE(FillRequest(&request, scan.needle, scan.options));
    // The processor's widest vectors, then 16 bytes at a time.
    for (BOOL sse2 : {FALSE, TRUE}) {
        LimitVectorsToSse2(sse2);
        EXPECT_EQ(Hits(SearchPath(path, &request), path), scan.hits) << scan.title << (sse2 ? ", SSE2" : "");
    }
    LimitVectorsToSse2(FALSE);
    FreeSearchPatterns(&request);
    RemoveTree(folder);
}

INSTANTIATE_TEST_SUITE_P(Scanner, ScanCases, testing::ValuesIn(scanCases));

class ScannerTest : public testing::Test {
protected:
    void SetUp() override { folder = MakeTestFolder(); }
    void TearDown() override
    {
        ClearStop();
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

// A Unicode line is reported in the ANSI code page: a character the code
// page lacks as its default character (one for a surrogate pair), never a
// look-alike ("A" for A macron), and cut to 259 bytes between characters.
TEST_F(ScannerTest, ConvertsUnicodeLinesToTheCodePageForTheReport)
{
    std::wstring line = L"\"\u4E2D\u6587\" \u0100 \u00E9 \U0001F600 x";
    std::wstring path = Write(L"shown.rc", Utf16(line + L"\r\n" + std::wstring(300, L'\u4E2D') + L"x", false));
    SearchRequest request;
    FillRequest(&request, L"X", UNICODE_FILES);
    std::string shown, cut;
    switch (GetACP()) {
    case 1252:
        shown = "\"??\" ? \xE9 ? x";
        cut = std::string(259, '?');
        break;
    case 950:
        shown = "\"" + Ansi(L"\u4E2D\u6587") + "\" ? ? ? x";
        cut = Ansi(std::wstring(129, L'\u4E2D'));
        break;
    default:
        shown = Utf8(line);
        cut = Utf8(std::wstring(86, L'\u4E2D'));
        break;
    }
    EXPECT_EQ(SearchPath(path, &request),
              Ansi(path) + "(1,13) : " + shown + "\r\n" + Ansi(path) + "(2,301) : " + cut + "\r\n");
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
    RequestStop();
    EXPECT_EQ(Hits(SearchPath(path, &request), path), "(1,1)");

    FillRequest(&request, L"FOO", STRINGS_ONLY | AMP_VARIANTS);
    EXPECT_EQ(SearchPath(path, &request), "");
    EXPECT_STREQ(request.needle, "FOO");
}

// Lines longer than the pieces the scan reads text in: whole words and both
// ways of a regular expression's search take them piece by piece, in ANSI,
// UTF-8 and UTF-16 text alike.
TEST_F(ScannerTest, FindsWholeWordsAndPatternsOnLinesLongerThanAPiece)
{
    std::wstring first = L"e" + std::wstring(9000, L'x') + L" foo_init " + std::wstring(5000, L'y') + L" bar_init 12";
    std::wstring second = std::wstring(6000, L'a') + L"if " + std::wstring(6000, L'b') + L" if(";
    struct LongCase {
        const wchar_t* text;
        unsigned options;
        size_t line;      // 1 or 2; 0 for no hit
        size_t position;  // in characters from the line's start
    };
    const LongCase cases[] = {
        {L"(foo|bar)_init", REGULAR_EXPRESSION, 1, 9002},
        {L"\\d+", REGULAR_EXPRESSION, 1, first.size() - 2},
        {L"\\bif\\(", REGULAR_EXPRESSION, 2, second.size() - 3},
        {L"if", WHOLE_WORD, 2, second.size() - 3},
        {L"if", WHOLE_WORD | SKIP_COMMENTS, 2, second.size() - 3},
        // The literal stands in the line, a match does not.
        {L"y+_init", REGULAR_EXPRESSION, 0, 0},
        {L"x+ foo_init", REGULAR_EXPRESSION | SKIP_COMMENTS, 1, 1},
        // Counted repeats: the leftmost start lies far into the line.
        {L"y{1000} bar", REGULAR_EXPRESSION, 1, 13011},
        {L"((.?){1000}){3}_init 1", REGULAR_EXPRESSION, 1, first.size() - 3008},
        // Where the leftmost start fails \b or a whole word, the matcher
        // goes on from it.
        {L"\\bx{2} foo", REGULAR_EXPRESSION, 0, 0},
        {L"x{2} foo", REGULAR_EXPRESSION | WHOLE_WORD, 0, 0},
        {L"\\by{2} bar|\\bbar", REGULAR_EXPRESSION, 1, 14012},
    };
    // ANSI text; UTF-8, where the first letter takes two bytes; UTF-16LE.
    for (int form = 0; form < 3; form++) {
        std::wstring text = first + L"\n" + second;
        if (form > 0)
            text[0] = L'\u00E9';
        std::wstring path = Write(L"long.c", form == 0 ? Ansi(text) : form == 1 ? Utf8(text) : Utf16(text, false));
        for (const LongCase& test : cases) {
            SearchRequest request;
            bool filled = FillRequest(&request, test.text, test.options | (form > 0 ? UNICODE_FILES : 0));
            // In a double-byte code page "." takes one or two bytes: three
            // thousand copies of it make a program too large.
            CPINFO info;
            if (!filled && GetCPInfo(CP_ACP, &info) && info.MaxCharSize == 2 && wcsstr(test.text, L"{1000}){3}"))
                continue;
            ASSERT_TRUE(filled) << EscapedText(test.text);
            size_t column = test.position + 1 + (form == 1 && test.line == 1 ? 1 : 0);
            std::string expected = "(" + std::to_string(test.line) + "," + std::to_string(column) + ")";
            if (test.line == 0)
                expected.clear();
            EXPECT_EQ(Hits(SearchPath(path, &request), path), expected) << EscapedText(test.text) << " form " << form;
            FreeSearchPatterns(&request);
        }
    }
    // Characters of several bytes and a surrogate pair across the pieces,
    // read backwards: columns in bytes (UTF-8) and in units (UTF-16).
    std::wstring mixed;
    for (int n = 0; n < 2000; n++)
        mixed += L"\u00E9\u4E2D\U0001F600x";
    mixed += L" if(";
    const struct {
        const wchar_t* text;
        size_t utf8;
        size_t utf16;
    } mixedCases[] = {
        {L"\U0001F600x if\\(", 19996, 9998}, {L"(.\u4E2D.x){2} if", 19981, 9991}, {L"\u00E9\u4E2D", 1, 1}};
    for (int form = 1; form < 3; form++) {
        std::wstring path = Write(L"mixed.c", form == 1 ? Utf8(mixed) : Utf16(mixed, false));
        for (const auto& test : mixedCases) {
            SearchRequest request;
            ASSERT_TRUE(FillRequest(&request, test.text, REGULAR_EXPRESSION | UNICODE_FILES | MATCH_CASE));
            std::string expected = "(1," + std::to_string(form == 1 ? test.utf8 : test.utf16) + ")";
            EXPECT_EQ(Hits(SearchPath(path, &request), path), expected) << EscapedText(test.text) << " form " << form;
            FreeSearchPatterns(&request);
        }
    }
}

TEST_F(ScannerTest, ReadsADoubleByteCharacterWhole)
{
    // In a double-byte code page \xA4 leads a character: the byte after it
    // is its trail, compared as it stands, where no hit starts; a lead byte
    // before a line end is a character of its own. In a single-byte code
    // page every byte is a character. (Under code page 65001 the search
    // text as typed is looked for.)
    if (GetACP() == CP_UTF8)
        return;
    std::wstring path = Write(L"dbcs.c",
                              "x\xA4"
                              "A\n\xA4"
                              "a\nabc\xA4\n");
    SearchRequest request;
    FillRequest(&request, L"", 0);
    request.needle[0] = 'A';
    request.needleLength = 1;
    bool doubleByte = GetACP() != CP_UTF8 && IsDBCSLeadByte(0xA4);
    EXPECT_EQ(Hits(SearchPath(path, &request), path), doubleByte ? "(3,1)" : "(1,3)(2,2)(3,1)");
    request.needle[0] = '\xA4';
    request.needle[1] = 'a';
    request.needleLength = 2;
    // A raw lower-case letter that folds finds nothing where it is a
    // character of its own: the text is folded.
    EXPECT_EQ(Hits(SearchPath(path, &request), path), doubleByte ? "(2,1)" : "");
    request.needle[0] = 'C';
    request.needle[1] = '\xA4';
    EXPECT_EQ(Hits(SearchPath(path, &request), path), "(3,3)");
}

TEST_F(ScannerTest, MatchesNonAsciiNeedlesInTheAnsiCodePage)
{
    SearchRequest request;
    if (GetACP() == 1252) {
        // The platform upper-cases the needle's e-acute and the text's
        // letters alike; a sharp s has no upper case of one byte.
        std::wstring path = Write(L"latin.c", "caf\xE9\ncaf\xC9\nCaf\xE9\n\xDF\nSS\n");
        FillRequest(&request, L"caf\x00E9", 0);
        EXPECT_EQ(request.needleLength, 4);
        EXPECT_EQ(Hits(SearchPath(path, &request), path), "(1,1)(2,1)(3,1)");
        FillRequest(&request, L"\x00DF", 0);
        EXPECT_EQ(Hits(SearchPath(path, &request), path), "(4,1)");
    } else if (GetACP() == CP_UTF8) {
        // A character whose upper-case form takes more bytes stays as typed,
        // and one that takes fewer is upper-cased: neither cuts the rest of
        // the needle off nor leaves a stray byte. ANSI text is UTF-8 here,
        // folded as Unicode text is, and reported as it stands.
        std::wstring path = Write(L"utf8.c", Ansi(L"\u0250x\n\u0250X\n\u2C6F\n\u2C65\n\u023A\n") + "\xE9\n");
        FillRequest(&request, L"\u0250x", 0);
        EXPECT_EQ(std::string(request.needle, request.needleLength), Ansi(L"\u0250X"));
        EXPECT_EQ(Hits(SearchPath(path, &request), path), "(1,1)(2,1)");
        FillRequest(&request, L"\u2C65", 0);
        EXPECT_EQ(std::string(request.needle, request.needleLength), Ansi(L"\u023A"));
        EXPECT_EQ(Hits(SearchPath(path, &request), path), "(4,1)(5,1)");
        FillRequest(&request, L"\uFFFD", 0);
        EXPECT_EQ(SearchPath(path, &request), Ansi(path) + "(6,1) : \xE9\r\n");
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
