// The line scanner's core as it was before it searched with vector code, kept
// as the reference that the differential test holds the fast one to: byte by
// byte through the text, one pass per pattern, and a hit with whole words
// only where the bytes beside it are no word characters. A regular
// expression goes line by line through the reference matcher. Positions,
// lines and columns are 64-bit.
#include "tests/engine/ReferenceScan.h"
#include "engine/StopFlag.h"
#include "engine/regex/Regex.h"
#include <string>

// The reference's own types, apart from the engine's names.
namespace reference {

enum ScanOutcome { Advance, SkipLine, Match };

// One pass over the file for one pattern.
struct ScanPass {
    const BYTE* view;
    ULONGLONG size;
    const BYTE* pattern;
    ULONGLONG patternLength;
    ULONGLONG pos;
    ULONGLONG lineStart;
    ULONGLONG lineNumber;
    BOOL inString;
    BYTE quoteByte;
};

static BOOL IsTerminator(BYTE c)
{
    return c == '\r' || c == '\n';
}

// Compares the pattern with the text at pos. Only "a" to "z" are folded in the
// text, and not the byte after a pattern byte with its top bit set, which is
// the trail byte of a double-byte character.
static ScanOutcome Compare(const ScanPass* pass, BOOL matchCase)
{
    const BYTE* text = pass->view + pass->pos;
    BOOL fold = !matchCase;
    for (ULONGLONG k = 0; k < pass->patternLength; k++) {
        BYTE c = text[k];
        if (IsTerminator(c))
            return SkipLine;
        if (fold && c >= 'a' && c <= 'z')
            c -= 0x20;
        if (c != pass->pattern[k])
            return Advance;
        fold = !matchCase && pass->pattern[k] < 0x80;
    }
    return Match;
}

// One step at pos. The end of the file (reachable only with an empty
// pattern) is neither a quote nor a terminator.
static ScanOutcome Step(ScanPass* pass, const SearchOptions* options)
{
    const BYTE* view = pass->view;
    ULONGLONG pos = pass->pos;
    if (options->skipComments && pos + 1 < pass->size && view[pos] == '/' && view[pos + 1] == '/')
        return SkipLine;
    if (options->stringsOnly && pos < pass->size) {
        BYTE c = view[pos];
        // A quote never starts a hit; a backslash does not escape it.
        if (!pass->inString && (c == '"' || c == '\'')) {
            pass->inString = TRUE;
            pass->quoteByte = c;
            return Advance;
        }
        if (pass->inString && c == pass->quoteByte) {
            pass->inString = FALSE;
            return Advance;
        }
    }
    ScanOutcome outcome = Compare(pass, options->matchCase);
    if (outcome == Match && options->stringsOnly && !pass->inString)
        return Advance;
    if (outcome == Match && options->wholeWord) {
        ULONGLONG end = pos + pass->patternLength;
        if ((pos > 0 && ReferenceIsWord(view[pos - 1], false)) || (end < pass->size && ReferenceIsWord(view[end], false)))
            return Advance;
    }
    return outcome;
}

static void ReportPassHit(FileReport* report, const ScanPass* pass, ULONGLONG hit)
{
    ULONGLONG column = hit - pass->lineStart + 1;
    ReportHit(report, pass->lineNumber, column, pass->view + pass->lineStart, pass->pos - pass->lineStart);
}

// Runs one pass from the first byte. Returns FALSE when a stop was requested.
static BOOL RunPass(ScanPass* pass, const SearchOptions* options, FileReport* report)
{
    const BYTE* view = pass->view;
    ULONGLONG size = pass->size;
    pass->pos = 0;
    pass->lineStart = 0;
    pass->lineNumber = 1;
    pass->inString = FALSE;
    while (pass->pos + pass->patternLength <= size) {
        ScanOutcome outcome = Step(pass, options);
        if (outcome == Advance) {
            // Passing over a terminator (an empty pattern outside a string)
            // ends the line where it stands, so the next line is kept.
            if (pass->pos < size && IsTerminator(view[pass->pos]))
                outcome = SkipLine;
            else
                pass->pos++;
        }
        if (outcome != Advance) {
            ULONGLONG hit = pass->pos;
            while (pass->pos < size && !IsTerminator(view[pass->pos]))
                pass->pos++;
            if (outcome == Match)
                ReportPassHit(report, pass, hit);
            if (pass->pos >= size)
                break;
            if (view[pass->pos] == '\r' && pass->pos + 1 < size && view[pass->pos + 1] == '\n')
                pass->pos += 2;
            else
                pass->pos++;
            pass->lineNumber++;
            pass->lineStart = pass->pos;
            pass->inString = FALSE;
        }
        if (Stopped())
            return FALSE;
    }
    return !Stopped();
}

}  // namespace reference

using namespace reference;

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
    return ReferenceRules{unicode, options->matchCase != 0, rules};
}

// A regular expression: each line (CR, LF or CR LF ends one; what follows
// the last line end is one more) through the reference matcher.
static BOOL ReferenceScanPattern(const BYTE* view, ULONGLONG size, FileReport* report, const SearchRequest* request)
{
    std::shared_ptr<ReferencePattern> pattern = ReferenceParse(request->text);
    ReferenceRules rules = RulesOf(request, false);
    for (ULONGLONG start = 0, lineNumber = 1;; lineNumber++) {
        ULONGLONG end = start;
        while (end < size && !IsTerminator(view[end]))
            end++;
        ULONGLONG hit = ReferenceFirstHit(pattern.get(), rules, LineOfBytes(std::string((const char*)view + start, end - start)));
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

// Runs the passes: the needle, then (strings only with ampersand variants)
// the needle with a "&" after its first L - k bytes, for k = 1 .. L - 1.
BOOL ReferenceScanBytes(const BYTE* view, ULONGLONG size, FileReport* report, const SearchRequest* request)
{
    if (request->options.regularExpression)
        return ReferenceScanPattern(view, size, report, request);
    // A text the code page cannot spell: no ANSI file holds it.
    if (request->needleLength == NO_ANSI_NEEDLE)
        return TRUE;
    std::string needle(request->needle, request->needleLength);
    const SearchOptions* options = &request->options;
    size_t passes = (options->stringsOnly && options->ampVariants) ? needle.size() : 1;
    ScanPass pass;
    pass.view = view;
    pass.size = size;
    pass.quoteByte = 0;
    BOOL finished = TRUE;
    for (size_t k = 0; k < passes && finished; k++) {
        std::string pattern = needle;
        if (k > 0)
            pattern.insert(needle.size() - k, "&");
        pass.pattern = (const BYTE*)pattern.data();
        pass.patternLength = pattern.size();
        finished = RunPass(&pass, options, report);
    }
    return finished;
}
