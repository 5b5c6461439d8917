// The pass loop. Every line starts afresh (outside any string, no hit yet),
// so a pass need not step through the text byte by byte: it finds
// candidates with vector searches or a DFA, counts the line ends it passes
// over, and has only a line that holds a candidate settled by the rules from
// the line's first byte. Positions, lines and columns are 64-bit, so that
// files of 4 GiB and more are searched and reported whole.
#include "engine/scan/PassLoop.h"
#include "engine/scan/ByteScan.h"
#include "engine/scan/UnicodeScan.h"

static BOOL IsTerminator(UINT32 c)
{
    return c == '\r' || c == '\n';
}

// Whether the unit at pos ends a line.
static BOOL EndsLineAt(const ScanPass* pass, ULONGLONG pos)
{
    return IsTerminator(UnitAt(pass->view, pos, pass->form));
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
    ULONGLONG count =
        unit == 2 ? CountUnitLineEnds(view, from, to, pass->form == TEXT_UTF16BE) : CountLineEnds(view, from, to);
    if (count > 0) {
        ULONGLONG last = to - unit;
        // Bytes are read as they stand: this runs for every line with a hit.
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

ULONGLONG FindLiteral(const ScanPass* pass, ULONGLONG from, ULONGLONG end)
{
    return pass->form == TEXT_ANSI ? FindByteMatch(pass, from, end) : FindTextMatch(pass, from, end);
}

ULONGLONG FindLiteralCandidate(const ScanPass* pass, ULONGLONG from, BOOL, ULONGLONG* next)
{
    ULONGLONG length = pass->patternLength;
    if (pass->size < length || from > pass->size - length) {
        *next = NO_HIT;
        return NO_HIT;
    }
    ULONGLONG lastStart = pass->size - length;
    ULONGLONG end = lastStart - from >= PIECE_BYTES ? from + PIECE_BYTES : lastStart + 1;
    ULONGLONG match = FindLiteral(pass, from, end);
    // Lines are counted in whole units: a UTF-16 range of starts ends one
    // byte into its last unit.
    *next = end + ((end - from) & (pass->unitBytes - 1));
    return match;
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

BOOL RunPass(const ScanPass* pass, FileReport* report)
{
    if (pass->matchless)
        return !Stopped();
    const PassSteps* steps = pass->steps;
    ULONGLONG pos = 0, lineStart = 0, counted = 0, lineNumber = 1;
    BOOL lineStarts = TRUE;
    for (;;) {
        ULONGLONG next;
        ULONGLONG candidate = steps->find(pass, pos, lineStarts, &next);
        lineStarts = FALSE;
        if (candidate == NO_HIT) {
            if (next == NO_HIT)
                return !Stopped();
            lineNumber += CountLines(pass, counted, next, &lineStart);
            counted = pos = next;
            if (Stopped())
                return FALSE;
            continue;
        }
        lineNumber += CountLines(pass, counted, candidate, &lineStart);
        ULONGLONG hit = steps->settle(pass, lineStart, candidate);
        if (hit == STOPPED)
            return FALSE;
        // The first piece from the candidate holds the line's end or more
        // than the 259 characters of text that a report line prints.
        ULONGLONG lineEnd = FindPassLineEnd(pass, candidate, PieceEnd(pass, candidate));
        if (hit != NO_HIT)
            steps->report(pass, report, lineNumber, hit, lineStart, lineEnd);
        next = NextLineStart(pass, lineEnd);
        if (next == STOPPED)
            return FALSE;
        if (next == NO_HIT)
            return !Stopped();
        lineNumber++;
        lineStart = counted = pos = next;
        lineStarts = TRUE;
        if (Stopped())
            return FALSE;
    }
}
