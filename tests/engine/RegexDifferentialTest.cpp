// The regular-expression engine against the reference matcher on seeded
// random patterns and texts, in both alphabets and every combination of
// match case, skip comments, strings only and whole word: each line's first
// hit (whole and fed in random pieces) and the DFA's candidate positions must
// agree, and every line with a match must hold the required literal; without
// skip comments and strings only, so must the first hit that the matcher
// finds from where the reversed program puts the leftmost start. An escaped
// literal must also find what the literal scanner finds.
// REGEX_DIFF_CASES sets the number of cases, REGEX_DIFF_SEED the seed and
// REGEX_DIFF_FIRST the first case.
#include "engine/regex/Regex.h"
#include "tests/engine/RandomPattern.h"
#include "tests/engine/ReferenceScan.h"
#include "tests/engine/RegexReference.h"
#include "tests/engine/ScanCompare.h"
#include "tests/engine/ScanHelpers.h"
#include <gtest/gtest.h>

namespace {

// Cases per code page when not set: with the 8,000 of each of the five code
// pages that tests/engine/CMakeLists.txt sets, 112,000.
const unsigned long defaultCases = 24000;
const unsigned long defaultLiteralCases = 4000;

// The text in the other case, sometimes.
std::wstring Flipped(Random* random, const std::wstring& c)
{
    if (Below(random, 3) != 0)
        return c;
    std::wstring out(c.size(), L'\0');
    int count = LCMapStringEx(LOCALE_NAME_INVARIANT, Below(random, 2) ? LCMAP_UPPERCASE : LCMAP_LOWERCASE, c.c_str(),
                              (int)c.size(), &out[0], (int)out.size(), NULL, NULL, 0);
    return count == (int)c.size() ? out : c;
}

// A piece of a line: UTF-16 units, or raw bytes for ANSI texts that no
// character gives.
std::wstring TextToken(Random* random, const std::wstring& sample, std::string* raw)
{
    static const wchar_t* const tokens[] = {L"\"", L"'", L"//", L"/", L"\\", L" ", L"\t", L"_", L"=", L"0", L"9"};
    raw->clear();
    unsigned pick = Below(random, 100);
    if (pick < 30 && !sample.empty()) {
        if (Below(random, 3))
            return Flipped(random, sample);
        size_t start = Below(random, (unsigned)sample.size());
        return Flipped(random, sample.substr(start, Between(random, 1, (unsigned)(sample.size() - start))));
    }
    if (pick < 65)
        return tokens[Below(random, sizeof tokens / sizeof tokens[0])];
    if (pick < 78) {
        std::wstring word;
        for (unsigned n = Between(random, 1, 6); n > 0; n--)
            word += (wchar_t)(Between(random, 'a', 'z') ^ (Below(random, 4) ? 0 : 0x20));
        return word;
    }
    if (pick < 88)
        return Flipped(random, PaletteCharacter(random));
    if (pick < 92)
        return std::wstring(1, (wchar_t)Between(random, 0xD800, 0xDFFF));  // a lone surrogate
    // Raw bytes for ANSI texts: a high byte, a double-byte pair, a NUL.
    *raw = Below(random, 3) == 0 ? std::string(1, (char)Between(random, 0x80, 0xFF))
           : Below(random, 2)    ? DoubleByte(random)
                                 : std::string(1, '\0');
    return std::wstring(1, L'\0');
}

const wchar_t* const terminators[] = {L"\r\n", L"\n", L"\r", L"\n\r"};

// One to three lines with line ends between them and sometimes at the edges.
void MakeText(Random* random, const std::wstring& sample, bool unicode, std::string* bytes, std::wstring* units)
{
    bytes->clear();
    units->clear();
    unsigned lines = Between(random, 1, 3);
    if (Below(random, 8) == 0) {
        const wchar_t* end = terminators[Below(random, 4)];
        *units += end;
        *bytes += Ansi(end);
    }
    for (unsigned line = 0; line < lines; line++) {
        if (line > 0) {
            const wchar_t* end = terminators[Below(random, 4)];
            *units += end;
            *bytes += Ansi(end);
        }
        unsigned length = Below(random, 10) == 0 ? Between(random, 40, 200) : Between(random, 0, 30);
        std::wstring lineUnits;
        std::string lineBytes;
        while (unicode ? lineUnits.size() < length : lineBytes.size() < length) {
            std::string raw;
            std::wstring token = TextToken(random, sample, &raw);
            lineUnits += token;
            lineBytes += raw.empty() ? Ansi(token) : raw;
        }
        *units += lineUnits;
        *bytes += lineBytes;
    }
    if (Below(random, 6) == 0) {
        const wchar_t* end = terminators[Below(random, 4)];
        *units += end;
        *bytes += Ansi(end);
    }
}

struct LineSpan {
    size_t start;
    size_t length;
    size_t next;  // where the next line starts; the text's size for the last
};

// The lines as the scanner takes them: CR LF is one line end, LF CR two, and
// after a final line end the empty rest is one more line.
template <typename Text> std::vector<LineSpan> LinesOf(const Text& text)
{
    std::vector<LineSpan> lines;
    size_t start = 0;
    for (;;) {
        size_t end = start;
        while (end < text.size() && text[end] != '\r' && text[end] != '\n')
            end++;
        size_t next = end;
        if (end < text.size())
            next += text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n' ? 2 : 1;
        lines.push_back({start, end - start, next});
        if (end == text.size())
            return lines;
        start = next;
    }
}

struct RegexCase {
    std::wstring pattern;
    bool unicode;
    unsigned options;  // MATCH_CASE, SKIP_COMMENTS, STRINGS_ONLY, WHOLE_WORD
    std::string bytes;
    std::wstring units;
    ULONGLONG pieceSeed;
};

DWORD EngineOptions(unsigned options)
{
    return ((options & SKIP_COMMENTS) ? REGEX_SKIP_COMMENTS : 0) | ((options & STRINGS_ONLY) ? REGEX_STRINGS_ONLY : 0) |
           ((options & WHOLE_WORD) ? REGEX_WHOLE_WORD : 0);
}

std::string Number(ULONGLONG value)
{
    return value == REGEX_NONE ? std::string("none") : std::to_string(value);
}

// The engine's first hit of a line, fed whole or in random pieces.
template <typename Unit>
ULONGLONG EngineFirstHit(RegexWorkspace* workspace, const Unit* line, size_t length, DWORD options, Random* pieces)
{
    if (Below(pieces, 2)) {
        if (sizeof(Unit) == 1)
            return RegexFirstHitBytes(workspace, (const BYTE*)line, length, options);
        return RegexFirstHitUnits(workspace, (const WCHAR*)line, length, options);
    }
    RegexLineBegin(workspace, options);
    for (size_t at = 0; at < length;) {
        size_t piece = Between(pieces, 0, 5);
        if (piece > length - at)
            piece = length - at;
        BOOL more = sizeof(Unit) == 1 ? RegexLineBytes(workspace, (const BYTE*)line + at, piece)
                                      : RegexLineUnits(workspace, (const WCHAR*)line + at, piece);
        at += piece;
        if (!more)
            break;
    }
    return RegexLineEnd(workspace);
}

// The first hit of a line by the matcher begun where the reversed program's
// DFA, over the line read backwards, says the leftmost match may start.
ULONGLONG HintedFirstHit(RegexWorkspace* workspace, RegexWorkspace* reversed, const std::string& line, DWORD options)
{
    std::string backwards(line.rbegin(), line.rend());
    ULONGLONG last = RegexLastEndBytes(reversed, (const BYTE*)backwards.data(), backwards.size());
    if (last == REGEX_NONE)
        return REGEX_NONE;
    // At the character that holds that start, as the platform reads the
    // line, after the first byte of the character before it.
    std::vector<ULONGLONG> starts = AnsiCharacterStarts(line);
    size_t k = 0;
    while (k + 1 < starts.size() && starts[k + 1] <= line.size() - last)
        k++;
    ULONGLONG start = starts[k];
    RegexLineBeginAt(workspace, options, start, k ? (BYTE)line[starts[k - 1]] : REGEX_NO_CHAR, 1);
    RegexLineBytes(workspace, (const BYTE*)line.data() + start, line.size() - start);
    return RegexLineEnd(workspace);
}

ULONGLONG HintedFirstHit(RegexWorkspace* workspace, RegexWorkspace* reversed, const std::wstring& line, DWORD options)
{
    std::wstring backwards;
    for (size_t at = line.size(); at > 0; at--) {
        if (at > 1 && IS_LOW_SURROGATE(line[at - 1]) && IS_HIGH_SURROGATE(line[at - 2])) {
            backwards += line.substr(at - 2, 2);
            at--;
        } else {
            backwards += line[at - 1];
        }
    }
    ULONGLONG last = RegexLastEndUnits(reversed, backwards.data(), backwards.size());
    if (last == REGEX_NONE)
        return REGEX_NONE;
    ULONGLONG start = line.size() - last;
    DWORD previous = start ? line[start - 1] : REGEX_NO_CHAR, units = 1;
    if (start > 1 && IS_LOW_SURROGATE(line[start - 1]) && IS_HIGH_SURROGATE(line[start - 2])) {
        previous = 0x10000 + ((line[start - 2] - 0xD800) << 10) + (line[start - 1] - 0xDC00);
        units = 2;
    }
    RegexLineBeginAt(workspace, options, start, previous, units);
    RegexLineUnits(workspace, line.data() + start, line.size() - start);
    return RegexLineEnd(workspace);
}

template <typename Unit> ULONGLONG EngineFind(RegexWorkspace* workspace, const Unit* text, size_t from, size_t to)
{
    if (sizeof(Unit) == 1)
        return RegexFindBytes(workspace, (const BYTE*)text, from, to);
    return RegexFindUnits(workspace, (const WCHAR*)text, from, to);
}

ReferenceLine ReferenceLineOf(const std::string& text, const LineSpan& span)
{
    return LineOfAnsi(text.substr(span.start, span.length));
}

ReferenceLine ReferenceLineOf(const std::wstring& text, const LineSpan& span)
{
    return LineOfUnits(text.substr(span.start, span.length));
}

// Whether a line holds the literal that every match holds, compared as the
// literal says: ANSI bytes by their tests, Unicode units in the line
// upper-cased unless the program matches case.
bool HoldsLiteral(const std::string& line, const RegexLiteral& literal, bool)
{
    for (size_t at = 0; at + literal.length <= line.size(); at++) {
        int k = 0;
        while (k < literal.length && ((BYTE)line[at + k] | literal.fold[k]) == literal.units[k])
            k++;
        if (k == literal.length)
            return true;
    }
    return false;
}

bool HoldsLiteral(const std::wstring& line, const RegexLiteral& literal, bool matchCase)
{
    std::wstring text = line, units(literal.units, literal.units + literal.length);
    if (!matchCase && !line.empty())
        LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, line.data(), (int)line.size(), &text[0], (int)text.size(),
                      NULL, NULL, 0);
    return text.find(units) != std::wstring::npos;
}

// Runs the engine on the case's text; empty when it agrees with the
// reference, else what differs.
template <typename Text>
std::string Compare(const RegexCase& test, const ReferencePattern* reference, RegexWorkspace* workspace,
                    RegexWorkspace* reversed, const RegexLiteral& literal, const Text& text)
{
    ReferenceRules rules = {test.unicode, (test.options & MATCH_CASE) != 0, EngineOptions(test.options)};
    Random pieces = {test.pieceSeed};
    std::vector<LineSpan> lines = LinesOf(text);
    for (size_t i = 0; i < lines.size(); i++) {
        ULONGLONG expected = ReferenceFirstHit(reference, rules, ReferenceLineOf(text, lines[i]));
        ULONGLONG found =
            EngineFirstHit(workspace, text.data() + lines[i].start, lines[i].length, rules.options, &pieces);
        if (found != expected)
            return "line " + std::to_string(i + 1) + ": first hit " + Number(found) + ", reference " + Number(expected);
        // Without the rules that follow the line from its start, the matcher
        // may begin where the reversed program says.
        if (rules.options & (REGEX_SKIP_COMMENTS | REGEX_STRINGS_ONLY))
            continue;
        found = HintedFirstHit(workspace, reversed, text.substr(lines[i].start, lines[i].length), rules.options);
        if (found != expected)
            return "line " + std::to_string(i + 1) + ": first hit from the reversed start " + Number(found) +
                   ", reference " + Number(expected);
    }
    // The DFA: each report is the least match end of the first line from
    // the current one that has a match; the search then goes on from the next
    // line, as the scanner does after settling a line.
    size_t line = 0, from = 0;
    RegexFindBegin(workspace);
    while (line < lines.size()) {
        ULONGLONG found = REGEX_NONE;
        for (size_t at = from; found == REGEX_NONE && at < text.size();) {
            size_t to = at + Between(&pieces, 1, 8);
            found = EngineFind(workspace, text.data(), at, to < text.size() ? to : text.size());
            at = to;
        }
        // At the end of the text: the line start behind a final line end,
        // then the end itself.
        if (found == REGEX_NONE)
            found = EngineFind(workspace, text.data(), text.size(), text.size());
        if (found == REGEX_NONE && RegexFindAtEnd(workspace))
            found = text.size();
        ULONGLONG expected = REGEX_NONE;
        for (; line < lines.size(); line++) {
            ULONGLONG end = ReferenceFirstEnd(reference, rules, ReferenceLineOf(text, lines[line]));
            if (end != REGEX_NONE && literal.length > 0 &&
                !HoldsLiteral(text.substr(lines[line].start, lines[line].length), literal, rules.matchCase))
                return "line " + std::to_string(line + 1) + " matches without the required literal";
            if (end != REGEX_NONE) {
                expected = lines[line].start + end;
                break;
            }
        }
        if (found != expected)
            return "DFA: match end " + Number(found) + ", reference " + Number(expected);
        if (found == REGEX_NONE || lines[line].next == lines[line].start + lines[line].length)
            break;
        from = lines[line++].next;
        RegexFindBegin(workspace);
    }
    return std::string();
}

std::string Check(const RegexCase& test)
{
    std::shared_ptr<ReferencePattern> reference = ReferenceParse(test.pattern);
    if (!reference)
        return "the reference cannot parse the pattern";
    RegexError error;
    RegexProgram* program =
        RegexCompile(test.pattern.data(), (int)test.pattern.size(), test.unicode ? REGEX_UNICODE : REGEX_ANSI,
                     (test.options & MATCH_CASE) != 0, &error);
    if (!program) {
        char message[200];
        WideCharToMultiByte(CP_UTF8, 0, error.message, -1, message, sizeof message, NULL, NULL);
        return std::string("the engine refused the pattern: ") + message;
    }
    RegexProgram* reversedProgram =
        RegexCompileReversed(test.pattern.data(), (int)test.pattern.size(), test.unicode ? REGEX_UNICODE : REGEX_ANSI,
                             (test.options & MATCH_CASE) != 0, &error);
    if (!reversedProgram) {
        RegexFree(program);
        return "the engine refused the pattern reversed";
    }
    RegexWorkspace* workspace = RegexWorkspaceAlloc(program, REGEX_DFA_CACHE_BYTES);
    RegexWorkspace* reversed = RegexWorkspaceAlloc(reversedProgram, REGEX_DFA_CACHE_BYTES);
    RegexLiteral literal;
    RegexRequired(program, &literal);
    std::string difference = test.unicode ? Compare(test, reference.get(), workspace, reversed, literal, test.units)
                                          : Compare(test, reference.get(), workspace, reversed, literal, test.bytes);
    RegexWorkspaceFree(reversed);
    RegexWorkspaceFree(workspace);
    RegexFree(reversedProgram);
    RegexFree(program);
    return difference;
}

// Drops pieces of the text and then of the pattern, halving the piece,
// while the engine still disagrees (and the pattern still parses).
template <typename Text> void ShrinkText(RegexCase* test, Text* text)
{
    for (size_t piece = (text->size() + 1) / 2; piece >= 1; piece /= 2) {
        for (size_t at = 0; at + piece <= text->size();) {
            Text kept = *text;
            text->erase(at, piece);
            if (Check(*test).empty() || Check(*test).compare(0, 4, "the ") == 0) {
                *text = kept;
                at += piece;
            }
        }
    }
}

void Shrink(RegexCase* test)
{
    for (int round = 0; round < 2; round++) {
        if (test->unicode)
            ShrinkText(test, &test->units);
        else
            ShrinkText(test, &test->bytes);
        ShrinkText(test, &test->pattern);
    }
}

std::string Shown(const std::wstring& text)
{
    std::string shown = "\"";
    for (wchar_t c : text) {
        char piece[12];
        if (c >= 0x20 && c < 0x7F && c != '"')
            wsprintfA(piece, "%c", c);
        else
            wsprintfA(piece, "\\u%04X", c);
        shown += piece;
    }
    return shown + "\"";
}

TEST(RegexDifferential, EngineFindsWhatTheReferenceFinds)
{
    unsigned long cases = Setting("REGEX_DIFF_CASES", defaultCases);
    unsigned long seed = Setting("REGEX_DIFF_SEED", 1800 + GetACP());
    unsigned long first = Setting("REGEX_DIFF_FIRST", 0);
    unsigned long withHits = 0;
    for (unsigned long index = first; index < first + cases; index++) {
        Random random = {((ULONGLONG)seed << 32) + index};
        RegexCase test;
        test.options = (index % 8) | ((index / 8) % 2 ? WHOLE_WORD : 0);
        // Under code page 65001 ANSI files are read as UTF-8 text.
        test.unicode = (index / 16) % 2 == 1 || GetACP() == CP_UTF8;
        Piece piece = Alternation(&random, 0);
        test.pattern = piece.pattern;
        MakeText(&random, piece.sample, test.unicode, &test.bytes, &test.units);
        test.pieceSeed = Next(&random);
        std::string difference = Check(test);
        if (difference.empty()) {
            std::shared_ptr<ReferencePattern> reference = ReferenceParse(test.pattern);
            ReferenceRules rules = {test.unicode, (test.options & MATCH_CASE) != 0, EngineOptions(test.options)};
            ReferenceLine line = test.unicode ? LineOfUnits(test.units) : LineOfAnsi(test.bytes);
            withHits += ReferenceFirstEnd(reference.get(), rules, line) != REGEX_NONE;
            continue;
        }
        Shrink(&test);
        ADD_FAILURE() << "REGEX_DIFF_SEED=" << seed << " REGEX_DIFF_FIRST=" << index
                      << " REGEX_DIFF_CASES=1, code page " << GetACP() << (test.unicode ? ", Unicode" : ", ANSI")
                      << ", options " << test.options << "\npattern " << Shown(test.pattern) << "\ntext    "
                      << (test.unicode ? Shown(test.units) : Escaped(test.bytes)) << "\n"
                      << Check(test);
        break;
    }
    if (!HasFailure()) {
        EXPECT_GT(withHits, cases / 4);
    }
    printf("%lu regular-expression cases, %lu with a match, first seed %lu\n", cases, withHits, seed);
}

// A pattern made of a literal with its punctuation escaped finds, line for
// line, what the literal scanner finds for the literal.
TEST(RegexDifferential, EscapedLiteralFindsWhatTheLiteralScannerFinds)
{
    unsigned long cases = Setting("REGEX_DIFF_CASES", defaultLiteralCases);
    unsigned long seed = Setting("REGEX_DIFF_SEED", 1900 + GetACP());
    unsigned long first = Setting("REGEX_DIFF_FIRST", 0);
    // Under code page 65001 ANSI files are read as UTF-8 text, which the
    // scanner's differential test holds to the literal search.
    if (GetACP() == CP_UTF8)
        GTEST_SKIP();
    ScanCaptureStart();
    for (unsigned long index = first; index < first + cases; index++) {
        Random random = {((ULONGLONG)seed << 32) + index};
        unsigned options = index % 8;  // match case, skip comments, strings only
        std::wstring literal;
        for (unsigned n = Between(&random, 1, 6); n > 0; n--) {
            std::wstring c = PaletteCharacter(&random);
            if (Ansi(c).empty() || !AnsiSpellsExactly(c.c_str(), (int)c.size()))
                continue;
            literal += c;
        }
        std::wstring pattern = EscapedLiteral(literal);
        if (literal.empty())
            continue;
        std::string text;
        std::wstring units;
        MakeText(&random, literal, false, &text, &units);
        SearchRequest request;
        if (!FillRequest(&request, literal, options))
            continue;
        std::string expected = Hits(ScanWith(true, (const BYTE*)text.data(), text.size(), &request).report, L"t");

        RegexError error;
        RegexProgram* program =
            RegexCompile(pattern.data(), (int)pattern.size(), REGEX_ANSI, (options & MATCH_CASE) != 0, &error);
        ASSERT_TRUE(program != NULL);
        RegexWorkspace* workspace = RegexWorkspaceAlloc(program, REGEX_DFA_CACHE_BYTES);
        std::string found;
        std::vector<LineSpan> lines = LinesOf(text);
        for (size_t i = 0; i < lines.size(); i++) {
            ULONGLONG hit = RegexFirstHitBytes(workspace, (const BYTE*)text.data() + lines[i].start, lines[i].length,
                                               EngineOptions(options));
            // The literal scanner never reports the empty line after a final
            // line end for a literal that is not empty.
            if (hit != REGEX_NONE)
                found += "(" + std::to_string(i + 1) + "," + std::to_string(hit + 1) + ")";
        }
        RegexWorkspaceFree(workspace);
        RegexFree(program);
        if (found != expected) {
            ADD_FAILURE() << "REGEX_DIFF_SEED=" << seed << " REGEX_DIFF_FIRST=" << index
                          << " REGEX_DIFF_CASES=1, code page " << GetACP() << ", options " << options << "\npattern "
                          << Shown(pattern) << "\ntext    " << Escaped(text) << "\nregex   " << found << "\nliteral "
                          << expected;
            break;
        }
    }
    ScanCaptureFinish();
}

}  // namespace
