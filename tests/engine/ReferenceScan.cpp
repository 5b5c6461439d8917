// The line scanner's core done the straightforward way, kept as the
// reference that the differential test holds the fast one to: ANSI text
// line by line, each line read into characters as the platform reads them
// (a byte, or two bytes that it decodes as one character), each character of
// one byte upper-cased by the platform where the code page spells the upper
// case in one byte, a double-byte character compared as it stands; then the
// pattern compared character by character at each character of the line,
// and the hit taken back to its byte. A regular expression goes line by
// line through the reference matcher. Under code page 65001 ANSI text is
// UTF-8, which the Unicode reference reads (ReferenceUnicodeScan.cpp).
// Positions, lines and columns are 64-bit.
#include "tests/engine/ReferenceScan.h"
#include "engine/StopFlag.h"
#include "engine/regex/Regex.h"
#include <string>

namespace {

bool IsTerminator(BYTE c)
{
    return c == '\r' || c == '\n';
}

// The upper case of each byte that is a character of its own: the
// platform's (LCMapStringEx) where the code page spells it in one byte.
const UINT32* FoldedBytes()
{
    static UINT32 folded[256];
    static bool made = false;
    if (made)
        return folded;
    for (UINT32 b = 0; b < 256; b++) {
        folded[b] = b;
        char byte = (char)b, out[4];
        WCHAR c, upper;
        BOOL usedDefault = FALSE;
        if (MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, &byte, 1, &c, 1) != 1 ||
            LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, &c, 1, &upper, 1, NULL, NULL, 0) != 1)
            continue;
        if (WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, &upper, 1, out, 4, NULL, &usedDefault) == 1 &&
            !usedDefault)
            folded[b] = (BYTE)out[0];
    }
    made = true;
    return folded;
}

}  // namespace

// Whether the platform decodes two bytes as one character. It leaves a lead
// byte alone before a NUL, which the scanner takes as a trail byte like any
// other (NUL bytes make no text of any kind): a lead byte is the byte that
// the platform decodes with a letter after it as one character.
static bool OneCharacter(const char* pair)
{
    WCHAR units[2];
    char lead[2] = {pair[0], pair[1] ? pair[1] : 'a'};
    return MultiByteToWideChar(CP_ACP, 0, lead, 2, units, 2) == 1;
}

std::vector<ULONGLONG> AnsiCharacterStarts(const std::string& bytes)
{
    std::vector<ULONGLONG> starts;
    for (size_t at = 0; at < bytes.size();) {
        starts.push_back(at);
        at += at + 1 < bytes.size() && OneCharacter(bytes.data() + at) ? 2 : 1;
    }
    starts.push_back(bytes.size());
    return starts;
}

UINT32 AnsiCharacterKey(const std::string& bytes, ULONGLONG start, ULONGLONG end)
{
    if (end - start == 1)
        return (BYTE)bytes[start];
    return 0x10000 | (BYTE)bytes[start] << 8 | (BYTE)bytes[start + 1];
}

UINT32 FoldedAnsiKey(UINT32 key)
{
    return key < 256 ? FoldedBytes()[key] : key;
}

bool ReferenceIsWord(DWORD c, bool unicode)
{
    if (c == '_' || (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'))
        return true;
    if (!unicode)
        return c >= 0x80;
    return c < 0x10000 && (c < 0xD800 || c > 0xDFFF) && IsCharAlphaNumericW((WCHAR)c);
}

ReferenceRules RulesOf(const SearchRequest* request, bool unicode)
{
    const SearchOptions* options = &request->options;
    DWORD rules = (options->skipComments ? REGEX_SKIP_COMMENTS : 0) | (options->stringsOnly ? REGEX_STRINGS_ONLY : 0) |
                  (options->wholeWord ? REGEX_WHOLE_WORD : 0);
    return ReferenceRules {unicode, options->matchCase != 0, rules};
}

// The first hit of each line of the text, reported; lines end at CR, LF or
// CR LF, and what follows the last line end is one more line.
static BOOL ReportAnsiLines(const BYTE* view, ULONGLONG size, FileReport* report,
                            ULONGLONG (*lineHit)(const std::string& line, const void* context), const void* context)
{
    for (ULONGLONG start = 0, lineNumber = 1;; lineNumber++) {
        ULONGLONG end = start;
        while (end < size && !IsTerminator(view[end]))
            end++;
        ULONGLONG hit = lineHit(std::string((const char*)view + start, end - start), context);
        if (hit != REGEX_NONE)
            ReportHit(report, lineNumber, hit + 1, view + start, end - start);
        if (Stopped())
            return FALSE;
        if (end == size)
            break;
        start = end + (view[end] == '\r' && end + 1 < size && view[end + 1] == '\n' ? 2 : 1);
    }
    return !Stopped();
}

struct PatternContext {
    const ReferencePattern* pattern;
    ReferenceRules rules;
};

static ULONGLONG PatternLineHit(const std::string& line, const void* context)
{
    const PatternContext* pattern = (const PatternContext*)context;
    return ReferenceFirstHit(pattern->pattern, pattern->rules, LineOfAnsi(line));
}

struct LiteralContext {
    std::vector<UINT32> pattern;
    const SearchOptions* options;
};

static ULONGLONG LiteralLineHit(const std::string& line, const void* context)
{
    const LiteralContext* literal = (const LiteralContext*)context;
    std::vector<ULONGLONG> starts = AnsiCharacterStarts(line);
    std::vector<UINT32> shown, compared;
    for (size_t k = 0; k + 1 < starts.size(); k++) {
        shown.push_back(AnsiCharacterKey(line, starts[k], starts[k + 1]));
        compared.push_back(literal->options->matchCase ? shown.back() : FoldedAnsiKey(shown.back()));
    }
    long long hit =
        ReferenceLineHit(compared.data(), shown.data(), shown.size(), literal->pattern, literal->options, false);
    return hit < 0 ? REGEX_NONE : starts[hit];
}

// Runs the passes: the needle, then (strings only with ampersand variants)
// the needle with a "&" after its first L - k characters, for k = 1 .. L - 1.
BOOL ReferenceScanBytes(const BYTE* view, ULONGLONG size, FileReport* report, const SearchRequest* request)
{
    if (request->options.regularExpression) {
        std::shared_ptr<ReferencePattern> pattern = ReferenceParse(request->text);
        PatternContext context = {pattern.get(), RulesOf(request, false)};
        return ReportAnsiLines(view, size, report, PatternLineHit, &context);
    }
    // A text the code page cannot spell: no ANSI file holds it.
    if (request->needleLength == NO_ANSI_NEEDLE)
        return TRUE;
    std::string needleBytes(request->needle, request->needleLength);
    std::vector<ULONGLONG> starts = AnsiCharacterStarts(needleBytes);
    std::vector<UINT32> needle;
    for (size_t k = 0; k + 1 < starts.size(); k++)
        needle.push_back(AnsiCharacterKey(needleBytes, starts[k], starts[k + 1]));
    const SearchOptions* options = &request->options;
    size_t passes = (options->stringsOnly && options->ampVariants) ? needle.size() : 1;
    BOOL finished = TRUE;
    for (size_t k = 0; k < passes && finished; k++) {
        LiteralContext context = {needle, options};
        if (k > 0)
            context.pattern.insert(context.pattern.begin() + (needle.size() - k), '&');
        finished = ReportAnsiLines(view, size, report, LiteralLineHit, &context);
    }
    return finished;
}
