// The regular-expression engine's tables: the message and position of each
// kind of bad pattern, patterns that look odd but parse, the first hit under
// each rule, the literal every match holds, patterns that would take
// exponential time on a 10 MB line, and a DFA whose cache overflows.
#include "engine/regex/Regex.h"
#include "engine/regex/Parser.h"
#include "engine/regex/Workspace.h"
#include "tests/engine/RandomPattern.h"
#include <gtest/gtest.h>
#include <string>

namespace {

std::wstring MessageOf(const wchar_t* pattern, RegexAlphabet alphabet = REGEX_ANSI)
{
    RegexError error;
    RegexProgram* program = RegexCompile(pattern, lstrlenW(pattern), alphabet, FALSE, &error);
    if (!program)
        return error.message;
    RegexFree(program);
    return L"";
}

struct BadPattern {
    const wchar_t* pattern;
    const wchar_t* message;
};

const BadPattern badPatterns[] = {
    {L"(abc", L"unmatched ( at position 1"},
    {L"ab(c(d)", L"unmatched ( at position 3"},
    {L"abc)", L"unmatched ) at position 4"},
    {L"a|b)c", L"unmatched ) at position 4"},
    {L"*a", L"nothing to repeat at position 1"},
    {L"a**", L"nothing to repeat at position 3"},
    {L"a{2}{3}", L"nothing to repeat at position 5"},
    {L"a+??", L"nothing to repeat at position 4"},
    {L"(|+)", L"nothing to repeat at position 3"},
    {L"^*", L"nothing to repeat at position 2"},
    {L"x\\b+", L"nothing to repeat at position 4"},
    {L"{2}", L"nothing to repeat at position 1"},
    {L"[abc", L"missing ] for [ at position 1"},
    {L"x[]", L"missing ] for [ at position 2"},
    {L"[a\\", L"missing ] for [ at position 1"},
    {L"[z-a]", L"range out of order at position 2"},
    {L"[\\w-z]", L"a class escape ends a range at position 2"},
    {L"[a-\\d]", L"a class escape ends a range at position 2"},
    {L"[\\b]", L"\\b in a class at position 2"},
    {L"a{3,2}", L"repetition counts out of order at position 2"},
    {L"a{1001}", L"repetition count over 1000 at position 2"},
    {L"a{2,99999999999}", L"repetition count over 1000 at position 2"},
    {L"ab\\", L"trailing \\ at position 3"},
    {L"\\q", L"unknown escape \\q at position 1"},
    {L"\\n", L"unknown escape \\n at position 1"},
    {L"a\\ ", L"unknown escape \\  at position 2"},
    {L"\\\u00E9", L"unknown escape \\\u00E9 at position 1"},
    {L"\\1", L"back-references are not supported at position 1"},
    {L"\\x4", L"\\x without two hex digits at position 1"},
    {L"[\\xg0]", L"\\x without two hex digits at position 2"},
    {L"(?=a)", L"look-around is not supported at position 1"},
    {L"x(?<!a)", L"look-around is not supported at position 2"},
    {L"(?i)a", L"unsupported group (? at position 1"},
    {L"(?P<n>a)", L"unsupported group (? at position 1"},
    // A surrogate pair is one character of the pattern.
    {L"\U0001F600(", L"unmatched ( at position 2"},
    // Counted repetition that would explode is refused where it explodes.
    {L"(a{1000}){1000}", L"pattern too large at position 10"},
    {L"x(?:(?:ab){100}){400}", L"pattern too large at position 17"},
    {L"\\w{1000}\\d{1000}[a-z]{1000}(\\s{1000}){30}", L"pattern too large at position 38"},
    // So is one whose expansion is too much work, though it compiles to
    // nothing.
    {L"((((){1000}){1000}){1000}){1000}", L"pattern too large at position 27"},
    {L"(((x{0}){1000}){1000}){1000}", L"pattern too large at position 23"},
    {L"a(((\\b){1000}){1000})", L"pattern too large at position 15"},
    // Named classes.
    {L"[[:foo:]]", L"unknown class [:foo:] at position 2"},
    {L"x[a[:^Alpha:]]", L"unknown class [:^Alpha:] at position 4"},
    {L"[:digit:]", L"[:digit:] outside brackets: write [[:digit:]] at position 1"},
    {L"[[:alpha:]-z]", L"a named class ends a range at position 2"},
    {L"[a-[:digit:]]", L"a named class ends a range at position 2"},
    {L"[[:digit:]", L"missing ] for [ at position 1"},
};

TEST(Regex, BadPatternsSayWhatAndWhere)
{
    for (const BadPattern& bad : badPatterns) {
        EXPECT_EQ(MessageOf(bad.pattern), bad.message)
            << "pattern " << testing::PrintToString(std::wstring(bad.pattern));
        EXPECT_EQ(MessageOf(bad.pattern, REGEX_UNICODE), bad.message);
    }
    // Deep nesting is refused before it costs a deep recursion.
    std::wstring deep(REGEX_MAX_NESTING + 1, L'('), fine(REGEX_MAX_NESTING, L'(');
    deep += L"a" + std::wstring(REGEX_MAX_NESTING + 1, L')');
    fine += L"a" + std::wstring(REGEX_MAX_NESTING, L')');
    EXPECT_EQ(MessageOf(deep.c_str()), L"groups nested too deeply at position 101");
    EXPECT_EQ(MessageOf(fine.c_str()), L"");
    RegexError error;
    EXPECT_TRUE(RegexCompile(L"a(", 2, REGEX_ANSI, TRUE, &error) == NULL);
    EXPECT_EQ(error.position, 2);
}

TEST(Regex, OddPatternsParse)
{
    const wchar_t* const patterns[] = {L"", L"a{", L"a{,2}", L"{}", L"x{2,}", L"[]a]", L"[^]a]", L"[a-]", L"[-a]",
                                       L"\\{", L"\\/", L"a|", L"()", L"(?:)", L"}", L"]", L"\\t", L"\\x41",
                                       L"[\\x41-\\x5A]", L"[\\d-]", L"(\\b)*", L"(^|x)+", L"x{0}", L"a*?b+?", L"[[]",
                                       L"[^\\]]",
                                       // "[" that begins no named class is a member.
                                       L"[[:]", L"[[:alpha]", L"[:]", L"[[::]]", L"[[:1:]]", L"[:x:]",
                                       L"[[:alpha:][:^digit:]_]", L"[^[:space:]x]", L"[\\[:alpha:]]"};
    for (const wchar_t* pattern : patterns)
        EXPECT_EQ(MessageOf(pattern), L"") << testing::PrintToString(std::wstring(pattern));
}

enum { ANSI = 1, UNICODE_TEXT = 2, BOTH = 3 };

struct HitCase {
    const wchar_t* pattern;
    int alphabets;
    BOOL matchCase;
    DWORD options;
    const wchar_t* line;  // converted to the code page for ANSI
    long long hit;        // -1 for none
    UINT codePage;        // 0 for any
};

const HitCase hitCases[] = {
    {L"is", BOTH, TRUE, REGEX_WHOLE_WORD, L"this is", 5, 0},
    {L"\\bis\\b", BOTH, TRUE, 0, L"this is", 5, 0},
    {L"ab|abc", BOTH, TRUE, REGEX_WHOLE_WORD, L"abc", 0, 0},
    {L"a+", BOTH, TRUE, REGEX_WHOLE_WORD, L"baaa aa", 5, 0},
    {L"[a-z]+_attribute\\b", BOTH, FALSE, 0, L"x = __My_ATTRIBUTE;", 6, 0},
    {L"a*", BOTH, TRUE, REGEX_STRINGS_ONLY, L"x \"", 3, 0},
    {L"a*", BOTH, TRUE, REGEX_STRINGS_ONLY, L"\"\"", -1, 0},
    {L"b\"c", BOTH, TRUE, REGEX_STRINGS_ONLY, L"\"ab\"c", 2, 0},
    {L"x*", BOTH, TRUE, REGEX_SKIP_COMMENTS, L"//x", -1, 0},
    {L"a.*", BOTH, TRUE, REGEX_SKIP_COMMENTS, L"a//b", 0, 0},
    {L"b", BOTH, TRUE, REGEX_SKIP_COMMENTS | REGEX_STRINGS_ONLY, L"\"ftp://b\" \"b\"", -1, 0},
    {L"a$", BOTH, TRUE, 0, L"aba", 2, 0},
    {L"a^", BOTH, TRUE, 0, L"aa", -1, 0},
    {L"", BOTH, TRUE, 0, L"", 0, 0},
    {L"\\d+", BOTH, TRUE, 0, L"x12", 1, 0},
    {L"PM_[A-Z]+", BOTH, FALSE, 0, L"x pm_q", 2, 0},
    // In ANSI files every letter of one byte folds as the code page
    // upper-cases it, \xHH as the character of that byte; a double-byte
    // character is one character, compared as it stands, and no part of the
    // pattern matches its trail byte.
    {L"\u00E9", ANSI, FALSE, 0, L"\u00C9\u00E9", 0, 1252},
    {L"caf[\u00E9]", ANSI, FALSE, 0, L"Caf\u00C9", 0, 1252},
    {L"caf\\xe9", ANSI, FALSE, 0, L"x caf\u00E9", 2, 1252},
    {L"\u00E9", UNICODE_TEXT, FALSE, 0, L"x\u00E9", 1, 0},
    {L"\u4E2Da", ANSI, FALSE, 0, L"\u4E2D \u4E2DA", 3, 950},
    {L"\u4E2D(?:a)", ANSI, FALSE, 0, L"\u4E2Da", 0, 950},
    {L"[\u4E00-\u4E2D]+", ANSI, TRUE, 0, L"ab\u4E2D", 2, 950},
    {L"[^\u4E2D]", ANSI, TRUE, 0, L"\u4E2D", -1, 950},
    {L"[^a]b", ANSI, TRUE, 0, L"\u4E2Db", 0, 950},
    {L"\u4E2D", ANSI, TRUE, 0, L"\u4E2D", -1, 1252},
    {L".", ANSI, TRUE, 0, L"\u4E2D", 0, 950},
    {L"^.$", ANSI, TRUE, 0, L"\u4E2D", 0, 950},
    {L"^..$", ANSI, TRUE, 0, L"\u4E2D", -1, 950},
    {L"A", ANSI, FALSE, 0, L"\u4E59", -1, 950},
    {L"\\w\\b", ANSI, TRUE, 0, L"\u4E59 x", 0, 950},
    {L"\\xA4", ANSI, TRUE, 0, L"x\u4E2D", 1, 950},
    {L"\\xA4\\xA4", ANSI, TRUE, 0, L"x\u4E2D", -1, 950},
    // Unicode: a surrogate pair is one character; both sides fold.
    {L"^.$", UNICODE_TEXT, TRUE, 0, L"\U0001F600", 0, 0},
    {L"^..$", UNICODE_TEXT, TRUE, 0, L"\U0001F600", -1, 0},
    {L"\u03C3", UNICODE_TEXT, FALSE, 0, L"x\u03A3", 1, 0},
    {L"\U00010428", UNICODE_TEXT, FALSE, 0, L"x\U00010400", 1, 0},
    {L"\\w+", UNICODE_TEXT, TRUE, REGEX_WHOLE_WORD, L"\u00E9t\u00E9 \u4E2D\u6587", 0, 0},
    // Named classes: ASCII in ANSI files ([:word:] as \w), the platform's
    // character types in Unicode ones; with match case off, upper and lower
    // take either case, as every member folds.
    {L"[[:digit:]]+", BOTH, TRUE, 0, L"a019b", 1, 0},
    {L"[[:digit:]]+", BOTH, TRUE, 0, L"d]]", -1, 0},
    {L"[^[:digit:]]", BOTH, TRUE, 0, L"01x", 2, 0},
    {L"[[:^alpha:]]", BOTH, TRUE, 0, L"ab1", 2, 0},
    {L"[[:alnum:]_]+$", BOTH, TRUE, 0, L"-a_1", 1, 0},
    {L"[[:upper:]]", BOTH, TRUE, 0, L"abC", 2, 0},
    {L"[[:upper:]]", BOTH, FALSE, 0, L"-bC", 1, 0},
    {L"[[:lower:]]", BOTH, FALSE, 0, L"-Bc", 1, 0},
    {L"[[:^lower:]]", BOTH, FALSE, 0, L"abc", 0, 0},
    {L"[^[:lower:]]", BOTH, FALSE, 0, L"aB1", 2, 0},
    {L"[[:punct:]]", BOTH, TRUE, 0, L"ab_", 2, 0},
    {L"[[:xdigit:]]+", BOTH, TRUE, 0, L"xyzF0", 3, 0},
    {L"[[:space:]]", BOTH, TRUE, 0, L"a\tb", 1, 0},
    {L"[[:word:]]+", ANSI, TRUE, 0, L"-\u00E9", 1, 1252},
    {L"[[:alpha:]]", ANSI, TRUE, 0, L"\u00E9a", 1, 1252},
    {L"[[:alpha:]]", UNICODE_TEXT, TRUE, 0, L"1\u00E9", 1, 0},
    {L"[[:upper:]]", UNICODE_TEXT, TRUE, 0, L"\u03C3\u03A3", 1, 0},
    {L"[[:lower:]]", UNICODE_TEXT, FALSE, 0, L"1\u03A3", 1, 0},
    {L"[[:digit:]]", UNICODE_TEXT, TRUE, 0, L"x\u0663", 1, 0},
    {L"\\d", UNICODE_TEXT, TRUE, 0, L"\u0663", -1, 0},
};

TEST(Regex, FirstHitFollowsTheScannerRules)
{
    for (const HitCase& test : hitCases) {
        if (test.codePage && test.codePage != GetACP())
            continue;
        for (int alphabet = ANSI; alphabet <= UNICODE_TEXT; alphabet++) {
            if (!(test.alphabets & alphabet))
                continue;
            RegexError error;
            RegexProgram* program = RegexCompile(test.pattern, lstrlenW(test.pattern),
                                                 alphabet == ANSI ? REGEX_ANSI : REGEX_UNICODE, test.matchCase, &error);
            ASSERT_TRUE(program != NULL) << testing::PrintToString(std::wstring(test.pattern));
            RegexWorkspace* workspace = RegexWorkspaceAlloc(program, REGEX_DFA_CACHE_BYTES);
            ULONGLONG hit;
            if (alphabet == ANSI) {
                char bytes[64];
                int length = WideCharToMultiByte(CP_ACP, 0, test.line, -1, bytes, sizeof bytes, NULL, NULL) - 1;
                hit = RegexFirstHitBytes(workspace, (const BYTE*)bytes, length, test.options);
            } else {
                hit = RegexFirstHitUnits(workspace, test.line, lstrlenW(test.line), test.options);
            }
            EXPECT_EQ((long long)hit, test.hit)
                << testing::PrintToString(std::wstring(test.pattern)) << " in "
                << testing::PrintToString(std::wstring(test.line)) << (alphabet == ANSI ? " (ANSI)" : " (Unicode)");
            RegexWorkspaceFree(workspace);
            RegexFree(program);
        }
    }
}

struct RequiredCase {
    const wchar_t* pattern;
    BOOL matchCase;
    const char* bytes;     // the ANSI literal: lower-case letters with fold 0x20, the rest as they stand
    const wchar_t* units;  // the Unicode literal
};

const RequiredCase requiredCases[] = {
    {L"PM_[A-Z]+", TRUE, "PM_", L"PM_"},
    {L"PM_[A-Z]+", FALSE, "pm_", L"PM_"},
    {L"(foo|bar)_init", TRUE, "_init", L"_init"},
    {L"(foo|bar|baz)_init", FALSE, "_init", L"_INIT"},
    {L"\\bif\\s*\\(", TRUE, "if", L"if"},
    {L"[a-z]+_attribute\\b", TRUE, "_attribute", L"_attribute"},
    {L"\\w+\\s*=\\s*\\d+", TRUE, "=", L"="},
    {L"x(ab){3}y", TRUE, "xabababy", L"xabababy"},
    {L"a\\.b\\x41", FALSE, "a.ba", L"A.BA"},
    {L"(ab)+c", TRUE, "ab", L"ab"},
    {L"a*", TRUE, "", L""},
    {L"a|b", TRUE, "", L""},
    {L"ab\\x0Acd", TRUE, "ab", L"ab"},
    // Of two as long, the rarer in source text.
    {L"(a+)+$x", TRUE, "x", L"x"},
    {L"", TRUE, "", L""},
};

TEST(Regex, RequiredLiteralIsInEveryMatch)
{
    for (const RequiredCase& test : requiredCases) {
        for (RegexAlphabet alphabet : {REGEX_ANSI, REGEX_UNICODE}) {
            RegexError error;
            RegexProgram* program =
                RegexCompile(test.pattern, lstrlenW(test.pattern), alphabet, test.matchCase, &error);
            ASSERT_TRUE(program != NULL);
            RegexLiteral literal;
            RegexRequired(program, &literal);
            std::wstring units;
            std::string bytes;
            for (int k = 0; k < literal.length; k++) {
                units += (wchar_t)literal.units[k];
                bytes += (char)literal.units[k];
                // A folded byte is a lower-case letter.
                EXPECT_EQ(literal.fold[k] != 0, literal.units[k] >= 'a' && literal.units[k] <= 'z' && !test.matchCase &&
                                                    alphabet == REGEX_ANSI);
            }
            std::string expected = test.bytes;
            if (alphabet == REGEX_ANSI)
                EXPECT_EQ(bytes, expected) << testing::PrintToString(std::wstring(test.pattern));
            else
                EXPECT_EQ(units, test.units) << testing::PrintToString(std::wstring(test.pattern));
            RegexFree(program);
        }
    }
}

// A character typed in an ANSI pattern (a literal, a class member, either
// end of a range) that the code page cannot spell is noted with its
// position; escapes are bytes or ASCII and always spelled.
TEST(Regex, NotesACharacterTheCodePageCannotSpell)
{
    const struct {
        const wchar_t* pattern;
        UINT codePage;  // 0 for any
        DWORD unspelled;
        int position;
    } cases[] = {
        {L"a\\xE9\\.[\\t\\x80-\\xFF]", 0, 0, 0},
        {L"\u4E2D", 1252, 0x4E2D, 1},
        {L"ab[x\u4E2D]", 1252, 0x4E2D, 5},
        {L"[\u0101-\u017E]", 1252, 0x0101, 2},
        {L"[\u00E9-\u4E2D]", 1252, 0x4E2D, 4},
        {L"x\u4E2D{0}", 1252, 0x4E2D, 2},
        {L"\u00E9", 950, 0x00E9, 1},
        {L"\u4E2D\u6587", 950, 0, 0},
        {L"(x|\xD800)", 65001, 0xD800, 4},
        {L"\U0001F600", 65001, 0, 0},
    };
    for (const auto& test : cases) {
        if (test.codePage && test.codePage != GetACP())
            continue;
        for (BOOL matchCase : {TRUE, FALSE}) {
            RegexError error;
            RegexProgram* program = RegexCompile(test.pattern, lstrlenW(test.pattern), REGEX_ANSI, matchCase, &error);
            ASSERT_TRUE(program != NULL);
            EXPECT_EQ(error.unspelled, test.unspelled) << testing::PrintToString(std::wstring(test.pattern));
            EXPECT_EQ(error.unspelledPosition, test.position);
            RegexFree(program);
            program = RegexCompile(test.pattern, lstrlenW(test.pattern), REGEX_UNICODE, matchCase, &error);
            EXPECT_EQ(error.unspelled, 0u);
            RegexFree(program);
        }
    }
}

// Random patterns, near-valid ones (random patterns with a few characters
// changed) and nested empty groups and counted repeats: every compile, in
// both alphabets and both directions, ends within a fixed budget of steps
// per character of the pattern, and one refused for its work says so.
TEST(Regex, EveryCompileEndsWithinItsBudget)
{
    static const wchar_t alphabet[] = L"()[]{}*+?|^$\\.:-,^0123456789axX_ ";
    static const wchar_t* const cores[] = {L"", L"x{0}", L"()", L"a", L"(|)", L"\\b", L"[[:alpha:]]", L"x?", L"(?:)"};
    Random random = {4242};
    unsigned refused = 0;
    for (int n = 0; n < 600; n++) {
        std::wstring pattern;
        int kind = n % 3;
        if (kind == 0) {
            for (unsigned k = Between(&random, 1, 40); k > 0; k--)
                pattern += alphabet[Below(&random, sizeof alphabet / sizeof alphabet[0] - 1)];
        } else if (kind == 1) {
            pattern = Alternation(&random, 0).pattern;
            for (unsigned k = Below(&random, 4); k > 0 && !pattern.empty(); k--)
                pattern[Below(&random, (unsigned)pattern.size())] = alphabet[Below(&random, 20)];
        } else {
            pattern = cores[Below(&random, sizeof cores / sizeof cores[0])];
            for (unsigned depth = Between(&random, 1, 6); depth > 0; depth--) {
                unsigned low = Below(&random, 3) ? 1000 : Below(&random, 1001);
                std::wstring count = Below(&random, 3)
                                         ? L"{" + std::to_wstring(low) + L"}"
                                         : L"{" + std::to_wstring(low / 2) + L"," + std::to_wstring(low) + L"}";
                pattern = L"(" + pattern + L")" + count;
            }
        }
        DWORD budget = REGEX_STEPS_PER_CHAR * (DWORD)(pattern.empty() ? 1 : pattern.size());
        for (int way = 0; way < 4; way++) {
            RegexError error;
            RegexAlphabet which = way % 2 ? REGEX_UNICODE : REGEX_ANSI;
            RegexProgram* program =
                way < 2 ? RegexCompile(pattern.data(), (int)pattern.size(), which, FALSE, &error)
                        : RegexCompileReversed(pattern.data(), (int)pattern.size(), which, FALSE, &error);
            ASSERT_LE(error.steps, budget + 1) << testing::PrintToString(pattern);
            if (error.steps > budget) {
                EXPECT_TRUE(wcsstr(error.message, L"pattern too large") != NULL);
            }
            refused += error.steps > budget;
            RegexFree(program);
        }
    }
    EXPECT_GT(refused, 30u);
}

// Patterns that take exponential or quadratic time in a backtracking
// matcher finish on a 10 MB line of "a", in the VM (fed in pieces, which
// skips the DFA's look at the whole line) and in the DFA; the test would time
// out if they did not run in linear time.
TEST(Regex, HostilePatternsRunInLinearTime)
{
    const ULONGLONG length = 10 << 20;
    BYTE* line = (BYTE*)VirtualAlloc(NULL, length + 1, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
    ASSERT_TRUE(line != NULL);
    FillMemory(line, length, 'a');
    const wchar_t* const patterns[] = {L"(a|aa)*b", L"(a*)*c", L"(a+)+$x", L"(.*)*b", L"(a|a)*\\d", L"a*a*a*a*a*b"};
    for (int i = 0; i < 6; i++) {
        RegexError error;
        RegexProgram* program = RegexCompile(patterns[i], lstrlenW(patterns[i]), REGEX_ANSI, TRUE, &error);
        ASSERT_TRUE(program != NULL);
        RegexWorkspace* workspace = RegexWorkspaceAlloc(program, REGEX_DFA_CACHE_BYTES);
        // The VM is slow: the two worst patterns on the whole line, the others on a part.
        RegexLineBegin(workspace, REGEX_SKIP_COMMENTS);
        RegexLineBytes(workspace, line, i < 2 ? length : length / 16);
        EXPECT_EQ(RegexLineEnd(workspace), REGEX_NONE);
        EXPECT_EQ(RegexFirstHitBytes(workspace, line, length, 0), REGEX_NONE);
        RegexFindBegin(workspace);
        EXPECT_EQ(RegexFindBytes(workspace, line, 0, length), REGEX_NONE);
        EXPECT_FALSE(RegexFindAtEnd(workspace));
        RegexWorkspaceFree(workspace);
        RegexFree(program);
    }
    // A match that starts at the line start and ends at its end.
    line[length] = 'b';
    RegexError error;
    RegexProgram* program = RegexCompile(L"(a|aa)*b", 8, REGEX_ANSI, TRUE, &error);
    RegexWorkspace* workspace = RegexWorkspaceAlloc(program, REGEX_DFA_CACHE_BYTES);
    EXPECT_EQ(RegexFirstHitBytes(workspace, line, length + 1, 0), 0u);
    RegexFindBegin(workspace);
    EXPECT_EQ(RegexFindBytes(workspace, line, 0, length + 1), length + 1);
    RegexWorkspaceFree(workspace);
    RegexFree(program);
    VirtualFree(line, 0, MEM_RELEASE);
}

// A pattern with far more DFA states than the cache holds, on random text
// where a state is made for nearly every character: after a few flushes the
// DFA gives up, says that a match may end where it stopped (before the true
// end, never after), and the matcher finds the hit; on the next text it
// tries again.
TEST(Regex, DfaThatThrashesGivesUpToTheMatcher)
{
    const ULONGLONG length = 1 << 20;
    std::string text;
    ULONGLONG state = 12345;
    for (ULONGLONG i = 0; i < length; i++) {
        state = state * 6364136223846793005ull + 1442695040888963407ull;
        text += (char)('a' + (state >> 63));
    }
    // The only c ends the only match.
    text[length - 17] = 'a';
    text += 'c';
    RegexError error;
    RegexProgram* program = RegexCompile(L"a[ab]{16}c", 10, REGEX_ANSI, TRUE, &error);
    ASSERT_TRUE(program != NULL);
    RegexWorkspace* workspace = RegexWorkspaceAlloc(program, REGEX_DFA_CACHE_MIN_BYTES);
    RegexFindBegin(workspace);
    ULONGLONG found = REGEX_NONE;
    for (ULONGLONG from = 0; found == REGEX_NONE && from < text.size(); from += 4096)
        found = RegexFindBytes(workspace, (const BYTE*)text.data(), from,
                               from + 4096 < text.size() ? from + 4096 : text.size());
    EXPECT_TRUE(RegexDfaGaveUp(workspace));
    EXPECT_EQ(workspace->flushes, (ULONGLONG)REGEX_DFA_SLOW_FLUSHES);
    EXPECT_LT(found, text.size());
    EXPECT_EQ(RegexFindBytes(workspace, (const BYTE*)text.data(), 5, 9), 5u);
    EXPECT_EQ(RegexFirstHitBytes(workspace, (const BYTE*)text.data(), text.size(), 0), length - 17);
    RegexNewText(workspace);
    EXPECT_FALSE(RegexDfaGaveUp(workspace));
    RegexFindBegin(workspace);
    EXPECT_EQ(RegexFindBytes(workspace, (const BYTE*)text.data() + length - 17, 0, 18), 18u);
    RegexWorkspaceFree(workspace);
    RegexFree(program);
}

}  // namespace
