// The line scanner's core, and the byte scanner for ANSI text. Every line
// starts afresh (outside any string, no hit yet), so a pass need not step
// through the text byte by byte: it finds whole matches of its pattern with
// vector searches, counts the line ends it passes over, and settles only a
// line that holds a match, by the byte-by-byte rules from the line's first
// byte. Unicode text takes the same way with its own steps (ScanPass.h).
// Positions, lines and columns are 64-bit, so that files of 4 GiB and more
// are searched and reported whole.
#include "engine/scan/LineScanner.h"
#include "engine/StopFlag.h"
#include "engine/scan/ScanPass.h"
#include "engine/text/WordCharacters.h"

static BOOL IsTerminator(BYTE c)
{
    return c == '\r' || c == '\n';
}

// Whether the unit at pos ends a line.
static BOOL EndsLineAt(const ScanPass* pass, ULONGLONG pos)
{
    UINT32 unit = UnitAt(pass->view, pos, pass->form);
    return unit == '\r' || unit == '\n';
}

// Case folding applies to the text byte compared with pattern byte k: to the
// first, and to any after a pattern byte below 0x80. A pattern byte with its
// top bit set leads a double-byte character, whose trail byte is compared as
// it stands.
static BOOL FoldsAt(const ScanPass* pass, ULONGLONG k)
{
    return !pass->matchCase && (k == 0 || pass->pattern[k - 1] < 0x80);
}

// The test that a text byte must pass to match pattern byte k, and how common
// such text bytes are. A regular expression's literal comes with its tests.
static ByteTest TestFor(const ScanPass* pass, ULONGLONG k, unsigned* frequency)
{
    BYTE b = pass->pattern[k];
    if (pass->literalFolds && pass->literalFolds[k]) {
        *frequency = byteFrequency[b & ~pass->literalFolds[k]] + byteFrequency[b | pass->literalFolds[k]];
        return ByteTest{pass->literalFolds[k], b};
    }
    if (FoldsAt(pass, k) && b >= 'A' && b <= 'Z') {
        *frequency = byteFrequency[b] + byteFrequency[b + 0x20];
        return ByteTest{0x20, (BYTE)(b + 0x20)};
    }
    *frequency = byteFrequency[b];
    return ByteTest{0, b};
}

static void SetAnchors(ScanPass* pass, ULONGLONG first, ULONGLONG second)
{
    unsigned frequency;
    pass->anchors.offset1 = first;
    pass->anchors.offset2 = second;
    pass->anchors.test1 = TestFor(pass, first, &frequency);
    pass->anchors.test2 = TestFor(pass, second, &frequency);
}

// A regular expression's literal: the pair of its bytes that least often
// stand together, by their frequencies taken as independent, but with
// neighbours counted four times and bytes two apart twice: a letter goes
// with the next far more often than with one further on ("in", "_i").
static void ChooseLiteralAnchors(ScanPass* pass)
{
    ULONGLONG first = 0, second = 0;
    double least = 1e300;
    unsigned frequency;
    for (ULONGLONG a = 0; a < pass->patternLength; a++) {
        for (ULONGLONG b = a + 1; b < pass->patternLength; b++) {
            TestFor(pass, a, &frequency);
            double together = frequency;
            TestFor(pass, b, &frequency);
            together *= frequency * (b - a == 1 ? 4.0 : b - a == 2 ? 2.0 : 1.0);
            if (pass->pattern[a] == pass->pattern[b])
                together *= 0x10000;
            if (together < least) {
                least = together;
                first = a;
                second = b;
            }
        }
    }
    SetAnchors(pass, first, second);
}

// Picks the two rarest bytes of the pattern (two different ones when it has
// them; a one-byte pattern tests its byte twice) so that few positions pass
// the vector search; a regular expression's literal weighs neighbours too.
void ChooseAnchors(ScanPass* pass)
{
    pass->anchors = Anchors{};
    if (pass->patternLength == 0)
        return;
    if (pass->literalFolds) {
        ChooseLiteralAnchors(pass);
        return;
    }
    ULONGLONG first = 0, second = 0;
    unsigned firstFrequency = ~0u, secondFrequency = ~0u, frequency;
    for (ULONGLONG k = 0; k < pass->patternLength; k++) {
        TestFor(pass, k, &frequency);
        if (frequency < firstFrequency) {
            first = k;
            firstFrequency = frequency;
        }
    }
    for (ULONGLONG k = 0; k < pass->patternLength; k++) {
        TestFor(pass, k, &frequency);
        if (pass->pattern[k] == pass->pattern[first])
            frequency += 0x10000;
        if (k != first && frequency < secondFrequency) {
            second = k;
            secondFrequency = frequency;
        }
    }
    SetAnchors(pass, first, second);
}

// Whether the whole pattern stands at pos. Only "a" to "z" are folded in the
// text. The pattern holds no terminator, so a match never runs over one.
static BOOL Matches(const ScanPass* pass, ULONGLONG pos)
{
    const BYTE* text = pass->view + pos;
    for (ULONGLONG k = 0; k < pass->patternLength; k++) {
        BYTE c = text[k];
        if (FoldsAt(pass, k) && c >= 'a' && c <= 'z')
            c -= 0x20;
        if (c != pass->pattern[k])
            return FALSE;
    }
    return TRUE;
}

// Whether a regular expression's literal stands at pos, each byte by its
// test.
static BOOL LiteralHolds(const ScanPass* pass, ULONGLONG pos)
{
    const BYTE* text = pass->view + pos;
    for (ULONGLONG k = 0; k < pass->patternLength; k++) {
        if ((text[k] | pass->literalFolds[k]) != pass->pattern[k])
            return FALSE;
    }
    return TRUE;
}

// The first position in [from, end) where the pattern stands, or NO_HIT;
// end - 1 + patternLength must lie inside the file.
static ULONGLONG FindMatch(const ScanPass* pass, ULONGLONG from, ULONGLONG end)
{
    if (pass->form != TEXT_ANSI)
        return FindTextMatch(pass, from, end);
    if (pass->patternLength == 0)
        return from;
    if (pass->literalFolds) {
        for (; (from = FindCandidate(pass->view, from, end, &pass->anchors)) < end; from++) {
            if (LiteralHolds(pass, from))
                return from;
        }
        return NO_HIT;
    }
    for (; (from = FindCandidate(pass->view, from, end, &pass->anchors)) < end; from++) {
        if (Matches(pass, from))
            return from;
    }
    return NO_HIT;
}

// Whether the match at pos stands as a whole word: no word character right
// before it or right after it. A line end is none.
static BOOL WholeWordAt(const ScanPass* pass, ULONGLONG pos)
{
    if (pass->form != TEXT_ANSI)
        return TextWholeWordAt(pass, pos);
    ULONGLONG end = pos + pass->patternLength;
    return (pos == 0 || !IsWordByte(pass->view[pos - 1])) && (end >= pass->size || !IsWordByte(pass->view[end]));
}

// The first match from match on, in match's line, that stands as a whole
// word: a match that does not leaves the rest of the line to search. NO_HIT
// when there is none, STOPPED when a stop was requested on a long line.
static ULONGLONG NextWholeWord(const ScanPass* pass, ULONGLONG match)
{
    if (WholeWordAt(pass, match))
        return match;
    ULONGLONG length = pass->patternLength, lineEnd = match + length;
    do {
        if (Stopped())
            return STOPPED;
        lineEnd = FindPassLineEnd(pass, lineEnd, PieceEnd(pass, lineEnd));
    } while (lineEnd < pass->size && !EndsLineAt(pass, lineEnd));
    // A match that starts after lastStart would run over the line end.
    ULONGLONG lastStart = lineEnd - length;
    do {
        match += pass->unitBytes;
        ULONGLONG found = NO_HIT;
        while (found == NO_HIT && match <= lastStart) {
            ULONGLONG end = lastStart - match >= PIECE_BYTES ? match + PIECE_BYTES : lastStart + 1;
            found = FindMatch(pass, match, end);
            match = end;
            if (Stopped())
                return STOPPED;
        }
        if (found == NO_HIT)
            return NO_HIT;
        match = found;
    } while (!WholeWordAt(pass, match));
    return match;
}

// The hit of the line that starts at lineStart, by the byte-by-byte rules,
// where the first match of the line is at match: "//" ends the line, a quote
// opens a string that the same quote or the line end closes, only a match
// that starts inside a string counts, and with whole words only one with no
// word character beside it. NO_HIT when the line has none, STOPPED when a
// stop was requested on a long line. A regular expression settles the line
// by itself.
static ULONGLONG SettleLine(const ScanPass* pass, ULONGLONG lineStart, ULONGLONG match)
{
    if (pass->regex)
        return SettleRegexLine(pass, lineStart, TRUE);
    if (!pass->skipComments && !pass->stringsOnly) {
        if (!pass->wholeWord)
            return match;
        if (pass->patternLength > 0)
            return NextWholeWord(pass, match);
    }
    if (pass->form != TEXT_ANSI)
        return SettleTextLine(pass, lineStart, match);
    const BYTE* view = pass->view;
    ULONGLONG size = pass->size;
    BOOL inString = FALSE;
    BYTE quoteByte = 0;
    // The end of the file (reachable only with an empty pattern) is neither a
    // quote nor a terminator.
    for (ULONGLONG pos = lineStart; pos + pass->patternLength <= size; pos++) {
        if (((pos - lineStart) & (PIECE_BYTES - 1)) == PIECE_BYTES - 1 && Stopped())
            return STOPPED;
        if (pass->skipComments && pos + 1 < size && view[pos] == '/' && view[pos + 1] == '/')
            return NO_HIT;
        BYTE c = pos < size ? view[pos] : 0;
        if (pass->stringsOnly && pos < size) {
            // A quote never starts a hit; a backslash does not escape it.
            if (!inString && (c == '"' || c == '\'')) {
                inString = TRUE;
                quoteByte = c;
                continue;
            }
            if (inString && c == quoteByte) {
                inString = FALSE;
                continue;
            }
        }
        if (pass->patternLength > 0 && IsTerminator(c))
            return NO_HIT;
        if (pos >= match && (!pass->stringsOnly || inString) && Matches(pass, pos) &&
            (!pass->wholeWord || WholeWordAt(pass, pos)))
            return pos;
        // Passing over a terminator (an empty pattern outside a string) ends
        // the line.
        if (pos < size && IsTerminator(c))
            return NO_HIT;
    }
    return NO_HIT;
}

ULONGLONG FindPassLineEnd(const ScanPass* pass, ULONGLONG from, ULONGLONG to)
{
    if (pass->unitBytes == 2)
        return FindUnitLineEnd(pass->view, from, to, pass->form == TEXT_UTF16BE);
    return FindLineEnd(pass->view, from, to);
}

ULONGLONG CountLines(const ScanPass* pass, ULONGLONG from, ULONGLONG to, ULONGLONG* lineStart)
{
    const BYTE* view = pass->view;
    ULONGLONG unit = pass->unitBytes;
    ULONGLONG count = unit == 2 ? CountUnitLineEnds(view, from, to, pass->form == TEXT_UTF16BE)
                                : CountLineEnds(view, from, to);
    if (count > 0) {
        ULONGLONG last = to - unit;
        if (unit == 1) {
            while (!IsTerminator(view[last]))
                last--;
        } else {
            while (!EndsLineAt(pass, last))
                last -= unit;
        }
        *lineStart = last + unit;
    } else if (from < to && UnitAt(view, from, pass->form) == '\n') {
        *lineStart = from + unit;  // the LF of a CR LF whose CR was counted before
    }
    return count;
}

ULONGLONG PieceEnd(const ScanPass* pass, ULONGLONG from)
{
    return pass->size - from > PIECE_BYTES ? from + PIECE_BYTES : pass->size;
}

// Where the line after the one that lineEnd lies in starts: NO_HIT when the
// text ends first, STOPPED when a stop was requested on a long line.
static ULONGLONG NextLineStart(const ScanPass* pass, ULONGLONG lineEnd)
{
    ULONGLONG size = pass->size, unit = pass->unitBytes;
    while (lineEnd < size && !EndsLineAt(pass, lineEnd)) {
        if (Stopped())
            return STOPPED;
        lineEnd = FindPassLineEnd(pass, lineEnd, PieceEnd(pass, lineEnd));
    }
    if (lineEnd >= size)
        return NO_HIT;
    if (UnitAt(pass->view, lineEnd, pass->form) == '\r' && lineEnd + unit < size &&
        UnitAt(pass->view, lineEnd + unit, pass->form) == '\n')
        lineEnd += unit;
    return lineEnd + unit;
}

ULONGLONG EndLine(const ScanPass* pass, FileReport* report, ULONGLONG lineNumber, ULONGLONG hit, ULONGLONG lineStart,
                  ULONGLONG lineEnd)
{
    if (hit != NO_HIT && pass->form == TEXT_ANSI)
        ReportHit(report, lineNumber, hit - lineStart + 1, pass->view + lineStart, lineEnd - lineStart);
    else if (hit != NO_HIT)
        ReportTextLine(pass, report, lineNumber, hit, lineStart, lineEnd);
    return NextLineStart(pass, lineEnd);
}

BOOL RunPass(const ScanPass* pass, FileReport* report)
{
    ULONGLONG size = pass->size;
    ULONGLONG length = pass->patternLength;
    ULONGLONG unit = pass->unitBytes;
    if (pass->matchless || size < length)
        return !Stopped();
    ULONGLONG lastStart = size - length;
    ULONGLONG pos = 0, lineStart = 0, counted = 0, lineNumber = 1;
    while (pos <= lastStart) {
        ULONGLONG end = lastStart - pos >= PIECE_BYTES ? pos + PIECE_BYTES : lastStart + 1;
        ULONGLONG match = FindMatch(pass, pos, end);
        if (match == NO_HIT) {
            // Lines are counted in whole units: a UTF-16 range of starts
            // ends one byte into its last unit.
            end += (end - pos) & (unit - 1);
            lineNumber += CountLines(pass, counted, end, &lineStart);
            counted = pos = end;
            if (Stopped())
                return FALSE;
            continue;
        }
        lineNumber += CountLines(pass, counted, match, &lineStart);
        ULONGLONG hit = SettleLine(pass, lineStart, match);
        if (hit == STOPPED)
            return FALSE;
        // The first piece of the rest of the line holds its end or more than
        // the 259 characters of text that a report line prints.
        ULONGLONG lineEnd = FindPassLineEnd(pass, match + length, PieceEnd(pass, match + length));
        ULONGLONG next = EndLine(pass, report, lineNumber, hit, lineStart, lineEnd);
        if (next == STOPPED)
            return FALSE;
        if (next == NO_HIT)
            break;
        lineNumber++;
        lineStart = counted = pos = next;
        if (Stopped())
            return FALSE;
    }
    return !Stopped();
}

// Runs the passes over ANSI text: the needle, then (strings only with
// ampersand variants) the needle with a "&" after its first L - k bytes, for
// k = 1 .. L - 1, each built in the workspace's pattern; or a regular
// expression's search.
static BOOL ScanAnsiText(const BYTE* view, ULONGLONG size, FileReport* report, const SearchRequest* request,
                         ScanWorkspace* workspace)
{
    const SearchOptions* options = &request->options;
    ScanPass pass = {};
    pass.view = view;
    pass.size = size;
    pass.form = TEXT_ANSI;
    pass.unitBytes = 1;
    pass.matchCase = options->matchCase != 0;
    pass.skipComments = options->skipComments != 0;
    pass.stringsOnly = options->stringsOnly != 0;
    if (options->regularExpression)
        return ScanRegex(&pass, report, request, workspace);
    pass.wholeWord = options->wholeWord != 0;
    const BYTE* needle = (const BYTE*)request->needle;
    int length = request->needleLength;
    // NO_ANSI_NEEDLE: no ANSI text holds the search text.
    if (length < 0 || length >= NEEDLE_BYTES)
        return TRUE;
    int passes = (options->stringsOnly && options->ampVariants) ? length : 1;
    BYTE* pattern = workspace->pattern;
    pass.pattern = pattern;
    // A pattern that holds a terminator never matches: a line ends there.
    for (int k = 0; k < length; k++)
        pass.matchless |= IsTerminator(needle[k]);
    BOOL finished = TRUE;
    for (int k = 0; k < passes && finished; k++) {
        int head = length - k;
        CopyMemory(pattern, needle, head);
        pass.patternLength = (ULONGLONG)length;
        if (k > 0) {
            pattern[head] = '&';
            CopyMemory(pattern + head + 1, needle + head, k);
            pass.patternLength++;
        }
        ChooseAnchors(&pass);
        finished = RunPass(&pass, report);
    }
    return finished;
}

BOOL ScanBytes(const BYTE* view, ULONGLONG size, FileReport* report, const SearchRequest* request,
               ScanWorkspace* workspace)
{
    if (request->options.unicodeFiles) {
        ULONGLONG markBytes;
        TextForm form = DetectTextForm(view, size, &markBytes);
        if (form != TEXT_ANSI)
            return ScanUnicodeText(view + markBytes, size - markBytes, form, report, request, workspace);
    }
    return ScanAnsiText(view, size, report, request, workspace);
}
