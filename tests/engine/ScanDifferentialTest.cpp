// The fast scanner against the straightforward references on seeded random
// files and needles, in every combination of the five options that the scan
// reads: the reports must be equal to the byte. Half the cases search ANSI
// bytes against the byte-by-byte reference; the other half have the Unicode
// files option, search texts of any characters, and files in every form
// (ANSI, UTF-8 with and without a mark, UTF-16LE and BE), against the
// reference that decodes and folds with the platform. The files are biased
// toward what trips a scanner, a decoder or case folding up, and every file
// lies flush against a no-access page. SCAN_DIFF_CASES sets the number of
// cases, SCAN_DIFF_SEED the seed and SCAN_DIFF_FIRST the first case.
#include "tests/engine/ScanCompare.h"
#include "tests/engine/RandomPattern.h"
#include "tests/engine/ScanHelpers.h"
#include "engine/text/VectorSearch.h"
#include <gtest/gtest.h>

namespace {

// Cases per code page when not set, half of them with the Unicode files
// option: eight code pages make 400,000 of each kind.
const unsigned long defaultCases = 100000;
// The most bytes of a file searched for a regular expression.
const size_t patternFileBytes = 8200;

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

// Empty, one, a few, a word, and longer than the lines.
static size_t NeedleLength(Random* random)
{
    unsigned pick = Below(random, 100);
    return pick < 6    ? 0
           : pick < 26 ? 1
           : pick < 56 ? Between(random, 2, 4)
           : pick < 88 ? Between(random, 5, 12)
           : pick < 97 ? Between(random, 13, 40)
                       : Between(random, 41, 300);
}

// A needle of NeedleLength bytes.
std::string MakeNeedle(Random* random)
{
    size_t length = NeedleLength(random);
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
    // Letters in the other case as the code page has them: in a single-byte
    // code page every letter, in a double-byte one ASCII letters.
    CPINFO info;
    bool singleByte = GetCPInfo(CP_ACP, &info) && info.MaxCharSize == 1;
    for (char& c : piece) {
        if ((singleByte || (BYTE)c < 0x80) && Below(random, 3) == 0) {
            if (Below(random, 2))
                CharUpperBuffA(&c, 1);
            else
                CharLowerBuffA(&c, 1);
        }
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
    if (pick < 73)
        return DoubleByte(random).substr(0, 1) + "\r\n"[Below(random, 2)];  // a lead byte at a line end
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

// A run of line ends longer than two pieces of the search: the line-end
// counters sum their lanes before any can overflow.
std::string LineEndRun(Random* random)
{
    static const char* const ends[] = {"\n", "\r", "\r\n"};
    std::string run;
    const char* end = ends[Below(random, 3)];
    for (unsigned n = Between(random, 8200, 12000); n > 0; n--)
        run += end;
    return run;
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
    if (Below(random, 100) == 0)
        file = LineEndRun(random) + file;
    return file;
}

// --- Unicode files ---------------------------------------------------------

// Characters that trip up decoding and folding: letters the platform
// upper-cases (accented, Greek, Cyrillic, fullwidth, a pair of different
// lengths in UTF-8, Deseret beyond the basic plane), letters it leaves alone
// (dotless i, long s, sharp s, micro sign, Kelvin sign), CJK, a surrogate
// pair without case, U+FFFD, lone surrogates.
const wchar_t* const otherCharacters[] = {
    L"\u00E9",     L"\u00C9", L"\u00DF", L"\u00FF", L"\u0178", L"\u00B5", L"\u0131", L"\u0130",     L"\u017F",
    L"\u0250",     L"\u2C6F", L"\u03B1", L"\u0391", L"\u03C3", L"\u03A3", L"\u03C2", L"\u0434",     L"\u0414",
    L"\uFF41",     L"\uFF21", L"\u212A", L"\u4E2D", L"\u6587", L"\u958B", L"\u555F", L"\U0001F600", L"\U00010428",
    L"\U00010400", L"\uFFFD", L"\xD800", L"\xDC00", L"\u00A0", L"\u0100"};

std::wstring OtherCharacter(Random* random)
{
    return otherCharacters[Below(random, sizeof otherCharacters / sizeof otherCharacters[0])];
}

std::wstring TextCharacter(Random* random)
{
    unsigned pick = Below(random, 100);
    if (pick < 30)
        return std::wstring(1, (wchar_t)Between(random, 'A', 'Z'));
    if (pick < 40)
        return std::wstring(1, (wchar_t)Between(random, 'a', 'z'));
    if (pick < 70)
        return OtherCharacter(random);
    if (pick < 76)
        return L"&";
    if (pick < 82)
        return std::wstring(1, L"\"'"[Below(random, 2)]);
    if (pick < 86)
        return L"/";
    if (pick < 88)
        return std::wstring(1, L"\r\n"[Below(random, 2)]);
    // What ill-formed UTF-8 decodes to.
    if (pick < 91)
        return L"\uFFFD";
    return std::wstring(1, L"_ 09()*;,.-="[Below(random, 12)]);
}

// A search text as a user would type it, lengths as MakeNeedle's.
std::wstring MakeText(Random* random)
{
    size_t length = NeedleLength(random);
    std::wstring text;
    for (size_t n = 0; n < length; n++)
        text += TextCharacter(random);
    return text;
}

// The text with each character in upper or lower case at random, as the
// platform maps them.
std::wstring AnyCase(Random* random, const std::wstring& text)
{
    std::wstring changed;
    for (size_t at = 0; at < text.size();) {
        size_t units = text[at] >= 0xD800 && text[at] <= 0xDBFF && at + 1 < text.size() ? 2 : 1;
        std::wstring character = text.substr(at, units), mapped = character;
        DWORD flags = Below(random, 2) ? LCMAP_UPPERCASE : LCMAP_LOWERCASE;
        if (Below(random, 2))
            LCMapStringEx(LOCALE_NAME_INVARIANT, flags, character.data(), (int)units, &mapped[0], (int)units, NULL,
                          NULL, 0);
        changed += mapped;
        at += units;
    }
    return changed;
}

enum FileForm { ANSI_FILE, UTF8_BARE, UTF8_MARKED, UTF16LE_MARKED, UTF16BE_MARKED, UTF16LE_BARE, MARK_ALONE };

std::string Encode(const std::wstring& text, FileForm form)
{
    std::string bytes;
    if (form == ANSI_FILE || form == UTF8_BARE || form == UTF8_MARKED) {
        UINT codePage = form == ANSI_FILE ? CP_ACP : CP_UTF8;
        int length = WideCharToMultiByte(codePage, 0, text.data(), (int)text.size(), NULL, 0, NULL, NULL);
        bytes.resize(length > 0 ? length : 0);
        if (length > 0)
            WideCharToMultiByte(codePage, 0, text.data(), (int)text.size(), &bytes[0], length, NULL, NULL);
        return bytes;
    }
    for (wchar_t unit : text) {
        char low = (char)(unit & 0xFF), high = (char)(unit >> 8);
        bytes += form == UTF16BE_MARKED ? std::string {high, low} : std::string {low, high};
    }
    return bytes;
}

// Ill-formed UTF-8: a lone lead, a stray continuation, an overlong form, a
// surrogate, a sequence cut short, bytes no sequence has.
std::string IllFormed(Random* random)
{
    static const char* const sequences[] = {"\xE9",         "\xC3",         "\x80",     "\xBF\xBF",         "\xC0\xAF",
                                            "\xE0\x80\x80", "\xED\xA0\x80", "\xF0\x9F", "\xF4\x90\x80\x80", "\xFF",
                                            "\xFE"};
    return sequences[Below(random, sizeof sequences / sizeof sequences[0])];
}

std::string UnicodeToken(Random* random, const std::wstring& text, FileForm form)
{
    static const wchar_t* const tokens[] = {L"\"", L"'",    L"//",   L"/", L"\\", L"\r",
                                            L"\n", L"\r\n", L"\n\r", L"&", L" ",  L"\t"};
    unsigned pick = Below(random, 100);
    if (pick < 22) {
        std::wstring piece =
            AnyCase(random, text.empty() ? L"x" : text.substr(0, 1 + Below(random, (unsigned)text.size())));
        if (Below(random, 5) == 0)
            piece.insert(Below(random, (unsigned)piece.size() + 1), 1, L'&');
        return Encode(piece, form);
    }
    if (pick < 55)
        return Encode(tokens[Below(random, sizeof tokens / sizeof tokens[0])], form);
    if (pick < 70)
        return Encode(OtherCharacter(random), form);
    if (pick < 78)
        return form == UTF8_BARE || form == UTF8_MARKED ? IllFormed(random) : Below(random, 8) ? "" : "\x01";
    std::wstring word;
    for (unsigned n = Between(random, 1, 8); n > 0; n--)
        word += (wchar_t)(Between(random, 'a', 'z') ^ (Below(random, 4) ? 0 : 0x20));
    return Encode(word, form);
}

std::string Mark(FileForm form)
{
    if (form == UTF8_MARKED)
        return "\xEF\xBB\xBF";
    if (form == UTF16LE_MARKED)
        return "\xFF\xFE";
    if (form == UTF16BE_MARKED)
        return "\xFE\xFF";
    return "";
}

// A file in one of the forms, around the same sizes as MakeFile's, with the
// text in any case at its first or last character sometimes, or a mark and
// hardly anything else.
std::string MakeUnicodeFile(Random* random, const std::wstring& text)
{
    FileForm form = (FileForm)Below(random, MARK_ALONE + 1);
    if (form == MARK_ALONE)
        return Mark((FileForm)(UTF8_MARKED + Below(random, 3))) + std::string(Below(random, 2), '\n');
    std::string mark = Mark(form);
    size_t size = mark.size() + FileSize(random);
    std::string file = mark;
    while (file.size() < size)
        file += UnicodeToken(random, text, form);
    file.resize(size);
    std::string needle = Encode(AnyCase(random, text), form);
    unsigned pick = Below(random, 10);
    if (pick == 0 && mark.size() + needle.size() <= size)
        file.replace(mark.size(), needle.size(), needle);
    else if (pick == 1 && mark.size() + needle.size() <= size)
        file.replace(size - needle.size(), needle.size(), needle);
    else if (pick == 2 && !needle.empty() && mark.size() + needle.size() - 1 <= size)
        file.replace(size - (needle.size() - 1), needle.size() - 1, needle, 0, needle.size() - 1);
    if (Below(random, 100) == 0) {
        std::string run = LineEndRun(random);
        std::wstring wide(run.begin(), run.end());
        file.insert(mark.size(), Encode(wide, form));
    }
    return file;
}

struct Case {
    std::string file;
    std::string needle;  // literal text without the Unicode files option: the request's needle as it stands
    std::wstring text;   // with it, or a regular expression: the search text as typed
    unsigned options;
    bool atEnd;
    bool sse2;  // 16-byte vectors even where the processor has AVX2
};

// Fills the request as the program does for the case; false when the
// entries are refused (a pattern cut by the shrinking that no longer parses).
bool FillCaseRequest(SearchRequest* request, const Case& scan)
{
    if (scan.options & (UNICODE_FILES | REGULAR_EXPRESSION) || GetACP() == CP_UTF8)
        return FillRequest(request, scan.text, scan.options);
    FillByteRequest(request, scan.needle, scan.options);
    return true;
}

// A refused request counts as agreement (refused set), so that shrinking
// keeps what it cut.
bool BothAgree(const GuardedBytes* guarded, const Case& scan, ScanResult* fast, ScanResult* reference,
               bool* refused = NULL)
{
    SearchRequest request;
    bool filled = FillCaseRequest(&request, scan);
    if (refused)
        *refused = !filled;
    if (!filled)
        return true;
    const BYTE* bytes = GuardedPlace(guarded, scan.file, scan.atEnd);
    LimitVectorsToSse2(scan.sse2);
    *reference = ScanWith(true, bytes, scan.file.size(), &request);
    *fast = ScanWith(false, bytes, scan.file.size(), &request);
    FreeSearchPatterns(&request);
    return *fast == *reference;
}

// Drops pieces of the text, halving the piece, while the scanners still
// disagree.
template <class Text> void ShrinkText(const GuardedBytes* guarded, Case* scan, Text* text)
{
    ScanResult fast, reference;
    for (size_t piece = (text->size() + 1) / 2; piece >= 1; piece /= 2) {
        for (size_t at = 0; at + piece <= text->size();) {
            Text kept = *text;
            text->erase(at, piece);
            if (BothAgree(guarded, *scan, &fast, &reference)) {
                *text = kept;
                at += piece;
            }
        }
    }
}

// Drops pieces of the file, then of the needle or search text, then of the
// file again.
void Shrink(const GuardedBytes* guarded, Case* scan)
{
    ShrinkText(guarded, scan, &scan->file);
    if (scan->options & (UNICODE_FILES | REGULAR_EXPRESSION) || GetACP() == CP_UTF8)
        ShrinkText(guarded, scan, &scan->text);
    else
        ShrinkText(guarded, scan, &scan->needle);
    ShrinkText(guarded, scan, &scan->file);
}

// A case of literal text: the needle, or the search text with the Unicode
// files option, and a file made of pieces of it.
void MakeLiteralCase(Random* random, Case* scan)
{
    if (scan->options & UNICODE_FILES) {
        scan->text = MakeText(random);
        scan->file = MakeUnicodeFile(random, scan->text);
        return;
    }
    // Under code page 65001 ANSI files are UTF-8 text, searched for the text
    // as typed.
    if (GetACP() == CP_UTF8) {
        // Without a lone surrogate, which UTF-8 cannot spell.
        std::wstring text = MakeText(random);
        for (size_t at = 0; at < text.size(); at++) {
            bool high = text[at] >= 0xD800 && text[at] <= 0xDBFF;
            if (high && at + 1 < text.size() && text[at + 1] >= 0xDC00 && text[at + 1] <= 0xDFFF)
                scan->text += text.substr(at++, 2);
            else if (text[at] < 0xD800 || text[at] > 0xDFFF)
                scan->text += text[at];
        }
        scan->file = MakeFile(random, Ansi(scan->text));
        return;
    }
    scan->needle = MakeNeedle(random);
    // The settings dialog upper-cases the needle for a folded search; the
    // scanner must cope with any needle all the same.
    if (!(scan->options & MATCH_CASE) && Below(random, 5)) {
        scan->needle += '\0';
        CharUpperA(&scan->needle[0]);
        scan->needle.pop_back();
    }
    scan->file = MakeFile(random, scan->needle);
}

// A case of a regular expression, and a file made of pieces of a text that
// it may match, of two pieces of the search at most: the reference matcher
// takes its time over every line.
void MakePatternCase(Random* random, Case* scan)
{
    // Without Unicode files a pattern the code page cannot spell is refused.
    Piece piece = Alternation(random, 0);
    while (!(scan->options & UNICODE_FILES) && !AnsiSpellsExactly(piece.pattern.c_str(), (int)piece.pattern.size()))
        piece = Alternation(random, 0);
    scan->text = piece.pattern;
    if (scan->options & UNICODE_FILES)
        scan->file = MakeUnicodeFile(random, piece.sample);
    else
        scan->file = MakeFile(random, Ansi(piece.sample));
    if (scan->file.size() > patternFileBytes)
        scan->file.resize(patternFileBytes - Below(random, 64));
}

// The literal case's search text as typed, when the program would make its
// needle of it: its bytes decoded from the code page and spelt back the same.
bool TypedText(const Case& scan, std::wstring* text)
{
    if (scan.options & UNICODE_FILES || GetACP() == CP_UTF8) {
        *text = scan.text;
        return true;
    }
    if (scan.needle.find('\0') != std::string::npos)
        return false;
    text->assign(scan.needle.size(), L'\0');
    int units =
        MultiByteToWideChar(CP_ACP, 0, scan.needle.data(), (int)scan.needle.size(), &(*text)[0], (int)text->size());
    text->resize(units > 0 ? units : 0);
    SearchRequest request;
    return FillRequest(&request, *text, scan.options) &&
           std::string(request.needle, request.needleLength) == scan.needle;
}

// A literal case's text escaped as a regular expression finds, through the
// whole scan, what the literal search found (found, where the bytes still
// lie): the same report, byte for byte. The "&" variants are literal text's
// alone. Empty when they agree.
std::string EscapedLiteralDiffers(const GuardedBytes* guarded, const Case& scan, const ScanResult& found)
{
    std::wstring text;
    if ((scan.options & STRINGS_ONLY && scan.options & AMP_VARIANTS) || !TypedText(scan, &text))
        return std::string();
    SearchRequest pattern;
    if (!FillRequest(&pattern, EscapedLiteral(text), scan.options | REGULAR_EXPRESSION))
        return "the escaped text was refused";
    const BYTE* bytes = guarded->data + (scan.atEnd ? guarded->dataBytes - scan.file.size() : 0);
    ScanResult escaped = ScanWith(false, bytes, scan.file.size(), &pattern);
    FreeSearchPatterns(&pattern);
    if (escaped == found)
        return std::string();
    return "pattern " + EscapedText(EscapedLiteral(text)) + "\nregex   " + Escaped(escaped.report) + "\nliteral " +
           Escaped(found.report);
}

// Each case's kind and options come from its number, so that a range of 256
// cases holds every combination: the four options of a pass, Unicode files,
// the bytes flush against the end or the start, 16-byte vectors, whole word;
// of every eight such ranges one searches regular expressions, and one also
// checks escaped text against literal text.
TEST(ScanDifferential, FastScannerReportsWhatTheReferenceReports)
{
    unsigned long cases = Setting("SCAN_DIFF_CASES", defaultCases);
    // Each code page gets cases of its own unless a seed is given.
    unsigned long seed = Setting("SCAN_DIFF_SEED", 20240 + GetACP());
    unsigned long first = Setting("SCAN_DIFF_FIRST", 0);
    GuardedBytes guarded;
    GuardedAlloc(&guarded, 192 << 10);
    ScanCaptureStart();
    unsigned long matched = 0, unicodeCases = 0, patternCases = 0, wholeWordCases = 0, escapedCases = 0;
    for (unsigned long index = first; index < first + cases; index++) {
        Random random = {((ULONGLONG)seed << 32) + index};
        Case scan;
        unsigned kind = (index / 256) % 8;
        scan.options = (index % 16) | ((index / 16) % 2 ? UNICODE_FILES : 0) | ((index / 128) % 2 ? WHOLE_WORD : 0) |
                       (kind == 7 ? REGULAR_EXPRESSION : 0);
        scan.atEnd = (index / 32) % 2 == 0;
        scan.sse2 = (index / 64) % 2 == 1;
        if (scan.options & REGULAR_EXPRESSION)
            MakePatternCase(&random, &scan);
        else
            MakeLiteralCase(&random, &scan);
        unicodeCases += (scan.options & UNICODE_FILES) != 0;
        patternCases += (scan.options & REGULAR_EXPRESSION) != 0;
        wholeWordCases += (scan.options & WHOLE_WORD) != 0;
        std::string difference;
        ScanResult fast, reference;
        bool refused;
        bool agree = BothAgree(&guarded, scan, &fast, &reference, &refused);
        if (refused) {
            difference = "the pattern was refused";
        } else if (agree) {
            matched += !reference.report.empty();
            if (kind == 6) {
                escapedCases++;
                difference = EscapedLiteralDiffers(&guarded, scan, fast);
            }
            if (difference.empty())
                continue;
        } else {
            Shrink(&guarded, &scan);
            BothAgree(&guarded, scan, &fast, &reference);
            difference = "fast      " + Escaped(fast.report) + " finished " + std::to_string(fast.finished) +
                         "\nreference " + Escaped(reference.report) + " finished " + std::to_string(reference.finished);
        }
        ADD_FAILURE() << "SCAN_DIFF_SEED=" << seed << " SCAN_DIFF_FIRST=" << index << " SCAN_DIFF_CASES=1, code page "
                      << GetACP() << ", options " << scan.options << ", bytes "
                      << (scan.atEnd ? "flush against the end" : "from the start")
                      << (scan.sse2 ? ", 16-byte vectors" : "") << "\nneedle " << Escaped(scan.needle) << "\ntext   "
                      << EscapedText(scan.text) << "\nfile   " << Escaped(scan.file) << "\n"
                      << difference;
        break;
    }
    LimitVectorsToSse2(FALSE);
    ScanCaptureFinish();
    GuardedFree(&guarded);
    // The cases must find something to compare most of the time.
    if (!HasFailure()) {
        EXPECT_GT(matched, cases / 4);
    }
    printf(
        "%lu cases (%lu with Unicode files, %lu whole word, %lu regular expressions, %lu escaped text), "
        "%lu with hits, first seed %lu\n",
        cases, unicodeCases, wholeWordCases, patternCases, escapedCases, matched, seed);
}

}  // namespace
