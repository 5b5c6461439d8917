// Literal text's passes, for ANSI bytes and Unicode text alike: a candidate
// is a whole match of the pattern, and the line that holds one is settled
// by the line's rules a character at a time from its start.
#include "engine/scan/LiteralScan.h"
#include "engine/scan/ByteScan.h"
#include "engine/scan/PassLoop.h"
#include "engine/scan/UnicodeScan.h"
#include "engine/text/LineRules.h"
#include "engine/text/WordCharacters.h"

static BOOL IsTerminator(UINT32 c)
{
    return c == '\r' || c == '\n';
}

static BOOL MatchesAt(const ScanPass* pass, ULONGLONG pos)
{
    return pass->form == TEXT_ANSI ? ByteMatchesAt(pass, pos) : TextMatchesAt(pass, pos);
}

// Whether the match at pos stands as a whole word; previous is where the
// character before it starts.
static BOOL WholeWordAt(const ScanPass* pass, ULONGLONG pos, ULONGLONG previous)
{
    return pass->form == TEXT_ANSI ? ByteWholeWordAt(pass, pos, previous) : TextWholeWordAt(pass, pos);
}

// The bytes of the character at pos, below the text's size, whose first
// unit is unit.
static ULONGLONG CharacterBytes(const ScanPass* pass, ULONGLONG pos, UINT32 unit)
{
    if (pass->form != TEXT_ANSI)
        return TextCharacterBytes(pass, pos, unit);
    return pass->doubleByte ? AnsiCharacterBytes(pass->ansi, pass->view, pos, pass->size) : 1;
}

// The first match from match on, in match's line, that stands as a whole
// word: a match that does not leaves the rest of the line to search. NO_HIT
// when there is none, STOPPED when a stop was requested on a long line. ANSI
// text here is of one-byte characters.
static ULONGLONG NextWholeWord(const ScanPass* pass, ULONGLONG match)
{
    if (WholeWordAt(pass, match, match - pass->unitBytes))
        return match;
    ULONGLONG length = pass->patternLength, lineEnd = match + length;
    do {
        if (Stopped())
            return STOPPED;
        lineEnd = FindPassLineEnd(pass, lineEnd, PieceEnd(pass, lineEnd));
    } while (lineEnd < pass->size && !IsTerminator(UnitAt(pass->view, lineEnd, pass->form)));
    // A match that starts after lastStart would run over the line end.
    ULONGLONG lastStart = lineEnd - length;
    do {
        match += pass->unitBytes;
        ULONGLONG found = NO_HIT;
        while (found == NO_HIT && match <= lastStart) {
            ULONGLONG end = lastStart - match >= PIECE_BYTES ? match + PIECE_BYTES : lastStart + 1;
            found = FindLiteral(pass, match, end);
            match = end;
            if (Stopped())
                return STOPPED;
        }
        if (found == NO_HIT)
            return NO_HIT;
        match = found;
    } while (!WholeWordAt(pass, match, match - pass->unitBytes));
    return match;
}

// The hit of the line that starts at lineStart, where the first match of
// the line is at match, by the line's rules, character by character, and
// with whole words only a match with no word character beside it. With
// oneByte (ANSI text of a code page of one-byte characters, by far the most
// common) a character is a byte, read as it stands: the compiler makes that
// case a loop of its own.
static inline __attribute__((always_inline)) ULONGLONG SettleByRules(const ScanPass* pass, ULONGLONG lineStart,
                                                                     ULONGLONG match, BOOL oneByte)
{
    const BYTE* view = pass->view;
    ULONGLONG size = pass->size, unit = oneByte ? 1 : pass->unitBytes, length = unit;
    LineRules rules = LineRulesFor(pass->skipComments, pass->stringsOnly);
    // The start of the character before pos; at the text's start there is none.
    ULONGLONG previous = lineStart - unit;
    for (ULONGLONG pos = lineStart, steps = 1; pos + pass->patternLength <= size;
         previous = pos, pos += length, steps++) {
        if ((steps & (PIECE_BYTES - 1)) == 0 && Stopped())
            return STOPPED;
        // The end of the text (reachable only with an empty pattern) is
        // neither a quote nor a terminator.
        UINT32 c = pos < size ? (oneByte ? view[pos] : UnitAt(view, pos, pass->form)) : 0;
        UINT32 next = pos + unit < size ? (oneByte ? view[pos + 1] : UnitAt(view, pos + unit, pass->form)) : 0;
        length = unit;
        int rule = StepLineRules(&rules, c, next);
        if (rule == RULE_COMMENT)
            return NO_HIT;
        if (rule == RULE_QUOTE)
            continue;
        if (pass->patternLength > 0 && IsTerminator(c))
            return NO_HIT;
        if (rule == RULE_MAY_START && pos >= match && (oneByte ? ByteMatchesAt(pass, pos) : MatchesAt(pass, pos)) &&
            (!pass->wholeWord || WholeWordAt(pass, pos, previous)))
            return pos;
        // Passing over a terminator (an empty pattern outside a string)
        // ends the line.
        if (pos >= size || IsTerminator(c))
            return NO_HIT;
        if (!oneByte)
            length = CharacterBytes(pass, pos, c);
    }
    return NO_HIT;
}

// The settle step of literal text. A match found in double-byte text may
// start inside a character: the line is read from its start, so that a hit
// starts on one.
static ULONGLONG SettleLiteralLine(const ScanPass* pass, ULONGLONG lineStart, ULONGLONG match)
{
    if (!pass->skipComments && !pass->stringsOnly && !pass->doubleByte) {
        if (!pass->wholeWord)
            return match;
        if (pass->patternLength > 0)
            return NextWholeWord(pass, match);
    }
    if (pass->form == TEXT_ANSI && !pass->doubleByte)
        return SettleByRules(pass, lineStart, match, TRUE);
    return SettleByRules(pass, lineStart, match, FALSE);
}

static const PassSteps ByteLiteralSteps = {FindLiteralCandidate, SettleLiteralLine, ReportByteLine};
static const PassSteps TextLiteralSteps = {FindLiteralCandidate, SettleLiteralLine, ReportTextLine};

// Runs the pass of each variant of the needle's length elements (bytes of
// ANSI text, characters of Unicode text), each built in pattern. The "&"
// goes between characters: starts holds where each of the characters of
// ANSI text starts, NULL when every element is one.
static BOOL RunVariantPasses(ScanPass* pass, const void* needle, ULONGLONG length, const DWORD* starts,
                             ULONGLONG characters, BOOL variants, void* pattern, FileReport* report)
{
    SIZE_T element = pass->form == TEXT_ANSI ? 1 : sizeof(UINT32);
    ULONGLONG passes = variants ? characters : 1;
    BOOL finished = TRUE;
    for (ULONGLONG k = 0; k < passes && finished; k++) {
        ULONGLONG head = starts ? starts[characters - k] : length - k, count = length;
        CopyMemory(pattern, needle, head * element);
        if (k > 0) {
            if (element == 1)
                ((BYTE*)pattern)[head] = '&';
            else
                ((UINT32*)pattern)[head] = '&';
            CopyMemory((BYTE*)pattern + (head + 1) * element, (const BYTE*)needle + head * element,
                       (length - head) * element);
            count++;
        }
        if (pass->form == TEXT_ANSI) {
            pass->patternLength = count;
            PrepareBytePattern(pass);
        } else {
            pass->characterCount = count;
            PrepareTextPass(pass);
        }
        finished = RunPass(pass, report);
    }
    return finished;
}

BOOL ScanLiteral(ScanPass* pass, FileReport* report, const SearchRequest* request, ScanWorkspace* workspace)
{
    const SearchOptions* options = &request->options;
    BOOL variants = options->stringsOnly && options->ampVariants;
    pass->wholeWord = options->wholeWord != 0;
    if (pass->form != TEXT_ANSI) {
        pass->steps = &TextLiteralSteps;
        if (pass->wholeWord)
            pass->wordBits = UnicodeWordBits();
        UINT32* needle = workspace->needleCharacters;
        pass->characters = workspace->patternCharacters;
        ULONGLONG length = ReadTextNeedle(pass, request->text, needle);
        return RunVariantPasses(pass, needle, length, NULL, length, variants, workspace->patternCharacters, report);
    }
    pass->steps = &ByteLiteralSteps;
    const BYTE* needle = (const BYTE*)request->needle;
    int length = request->needleLength;
    // NO_ANSI_NEEDLE: no ANSI text holds the search text.
    if (length < 0 || length >= NEEDLE_BYTES)
        return TRUE;
    pass->pattern = workspace->pattern;
    pass->patternFolds = workspace->patternFolds;
    // A pattern that holds a terminator never matches: a line ends there.
    for (int k = 0; k < length; k++)
        pass->matchless |= IsTerminator(needle[k]);
    DWORD* starts = workspace->needleStarts;
    ULONGLONG characters = 0;
    for (ULONGLONG at = 0; at < (ULONGLONG)length; at += AnsiCharacterBytes(pass->ansi, needle, at, length))
        starts[characters++] = (DWORD)at;
    starts[characters] = (DWORD)length;
    return RunVariantPasses(pass, needle, (ULONGLONG)length, starts, characters, variants, workspace->pattern, report);
}
