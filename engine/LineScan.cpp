// The line scanner's core. Every line starts afresh (outside any string,
// no hit yet), so a pass need not step through the text byte by byte: it
// finds whole matches of its pattern with vector searches, counts the line
// ends it passes over, and settles only a line that holds a match, by the
// byte-by-byte rules from the line's first byte. Positions, lines and
// columns are 64-bit, so that files of 4 GiB and more are searched and
// reported whole.
#include "engine/LineScan.h"
#include "engine/LineScanVector.h"
#include "engine/ProcessState.h"

// Text searched in one piece: the counting of its line ends that follows the
// search finds it still in the first-level cache. StopRequested is read
// after every piece.
#define PIECE_BYTES 4096
#define NO_HIT (~0ull)
#define STOPPED (~0ull - 1)

// One pass over the file for one pattern.
struct ScanPass {
    const BYTE* view;
    ULONGLONG size;
    const BYTE* pattern;
    ULONGLONG patternLength;
    BOOL matchCase;
    BOOL skipComments;
    BOOL stringsOnly;
    Anchors anchors;
};

// How often each byte stands in C source, in 65536ths (at least 1), from a
// sample of C headers; the rarest bytes of a pattern are its anchors.
static const unsigned short byteFrequency[256] = {
    1, 1, 1, 1, 1, 1, 1, 1, 1, 237, 1477, 1, 1, 1, 1, 1,
    1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,
    9025, 9, 59, 284, 1, 4, 40, 27, 980, 980, 846, 16, 877, 357, 220, 498,
    361, 523, 433, 244, 237, 167, 330, 47, 246, 126, 108, 374, 68, 283, 68, 2,
    24, 523, 186, 555, 283, 812, 241, 218, 105, 581, 20, 122, 561, 273, 586, 573,
    489, 25, 560, 1006, 695, 207, 142, 53, 219, 85, 17, 31, 84, 31, 1, 4777,
    4, 1830, 586, 1327, 1168, 3464, 1006, 533, 647, 2654, 30, 429, 1494, 895, 2467, 1731,
    849, 68, 1773, 2164, 3423, 1114, 1026, 181, 383, 376, 110, 72, 17, 72, 2, 1,
    1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,
    1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,
    1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,
    1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,
    1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,
    1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,
    1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,
    1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,
};

static BOOL IsTerminator(BYTE c)
{
    return c == '\r' || c == '\n';
}

static BOOL Stopped()
{
    return StopRequested.load(std::memory_order_relaxed) != 0;
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
// such text bytes are.
static ByteTest TestFor(const ScanPass* pass, ULONGLONG k, unsigned* frequency)
{
    BYTE b = pass->pattern[k];
    if (FoldsAt(pass, k) && b >= 'A' && b <= 'Z') {
        *frequency = byteFrequency[b] + byteFrequency[b + 0x20];
        return ByteTest{0x20, (BYTE)(b + 0x20)};
    }
    *frequency = byteFrequency[b];
    return ByteTest{0, b};
}

// Picks the two rarest bytes of the pattern (two different ones when it has
// them; a one-byte pattern tests its byte twice) so that few positions pass
// the vector search.
static void ChooseAnchors(ScanPass* pass)
{
    pass->anchors = Anchors{};
    if (pass->patternLength == 0)
        return;
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
    pass->anchors.offset1 = first;
    pass->anchors.offset2 = second;
    pass->anchors.test1 = TestFor(pass, first, &frequency);
    pass->anchors.test2 = TestFor(pass, second, &frequency);
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

// The first position in [from, end) where the pattern stands, or NO_HIT;
// end - 1 + patternLength must lie inside the file.
static ULONGLONG FindMatch(const ScanPass* pass, ULONGLONG from, ULONGLONG end)
{
    if (pass->patternLength == 0)
        return from;
    for (; (from = FindCandidate(pass->view, from, end, &pass->anchors)) < end; from++) {
        if (Matches(pass, from))
            return from;
    }
    return NO_HIT;
}

// The hit of the line that starts at lineStart, by the byte-by-byte rules,
// where the first match of the line is at match: "//" ends the line, a quote
// opens a string that the same quote or the line end closes, and only a match
// that starts inside a string counts. NO_HIT when the line has none, STOPPED
// when a stop was requested on a long line.
static ULONGLONG SettleLine(const ScanPass* pass, ULONGLONG lineStart, ULONGLONG match)
{
    if (!pass->skipComments && !pass->stringsOnly)
        return match;
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
        if (pos >= match && (!pass->stringsOnly || inString) && Matches(pass, pos))
            return pos;
        // Passing over a terminator (an empty pattern outside a string) ends
        // the line.
        if (pos < size && IsTerminator(c))
            return NO_HIT;
    }
    return NO_HIT;
}

// The line ends in [from, to), and the start of the last line that begins in
// it (lineStart stays when none does).
static ULONGLONG CountLines(const BYTE* view, ULONGLONG from, ULONGLONG to, ULONGLONG* lineStart)
{
    ULONGLONG count = CountLineEnds(view, from, to);
    if (count > 0) {
        ULONGLONG last = to - 1;
        while (!IsTerminator(view[last]))
            last--;
        *lineStart = last + 1;
    } else if (from < to && view[from] == '\n') {
        *lineStart = from + 1;  // the LF of a CR LF whose CR was counted before
    }
    return count;
}

static ULONGLONG PieceEnd(const ScanPass* pass, ULONGLONG from)
{
    return pass->size - from > PIECE_BYTES ? from + PIECE_BYTES : pass->size;
}

// Runs one pass from the first byte. Returns FALSE when a stop was requested.
static BOOL RunPass(const ScanPass* pass, FileReport* report)
{
    const BYTE* view = pass->view;
    ULONGLONG size = pass->size;
    ULONGLONG length = pass->patternLength;
    // A pattern that holds a terminator never matches: a line ends there.
    for (ULONGLONG k = 0; k < length; k++) {
        if (IsTerminator(pass->pattern[k]))
            return !Stopped();
    }
    if (size < length)
        return !Stopped();
    ULONGLONG lastStart = size - length;
    ULONGLONG pos = 0, lineStart = 0, counted = 0, lineNumber = 1;
    while (pos <= lastStart) {
        ULONGLONG end = lastStart - pos >= PIECE_BYTES ? pos + PIECE_BYTES : lastStart + 1;
        ULONGLONG match = FindMatch(pass, pos, end);
        if (match == NO_HIT) {
            lineNumber += CountLines(view, counted, end, &lineStart);
            counted = pos = end;
            if (Stopped())
                return FALSE;
            continue;
        }
        lineNumber += CountLines(view, counted, match, &lineStart);
        ULONGLONG hit = SettleLine(pass, lineStart, match);
        if (hit == STOPPED)
            return FALSE;
        // The first piece of the rest of the line holds its end or more than
        // the 259 bytes of text that a report line prints.
        ULONGLONG lineEnd = FindLineEnd(view, match + length, PieceEnd(pass, match + length));
        if (hit != NO_HIT)
            ReportHit(report, lineNumber, hit - lineStart + 1, view + lineStart, lineEnd - lineStart);
        while (lineEnd < size && !IsTerminator(view[lineEnd])) {
            if (Stopped())
                return FALSE;
            lineEnd = FindLineEnd(view, lineEnd, PieceEnd(pass, lineEnd));
        }
        if (lineEnd >= size)
            break;
        if (view[lineEnd] == '\r' && lineEnd + 1 < size && view[lineEnd + 1] == '\n')
            lineEnd++;
        lineNumber++;
        lineStart = counted = pos = lineEnd + 1;
        if (Stopped())
            return FALSE;
    }
    return !Stopped();
}

// Runs the passes: the needle, then (strings only with ampersand variants)
// the needle with a "&" after its first L - k bytes, for k = 1 .. L - 1, each
// built in the workspace's pattern.
BOOL ScanBytes(const BYTE* view, ULONGLONG size, FileReport* report, const SearchRequest* request,
               ScanWorkspace* workspace)
{
    const SearchOptions* options = &request->options;
    const BYTE* needle = (const BYTE*)request->needle;
    int length = request->needleLength;
    if (length < 0 || length >= NEEDLE_BYTES)
        return TRUE;
    int passes = (options->stringsOnly && options->ampVariants) ? length : 1;
    BYTE* pattern = workspace->pattern;

    ScanPass pass;
    pass.view = view;
    pass.size = size;
    pass.pattern = pattern;
    pass.matchCase = options->matchCase != 0;
    pass.skipComments = options->skipComments != 0;
    pass.stringsOnly = options->stringsOnly != 0;
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
