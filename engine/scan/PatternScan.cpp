// A regular expression's passes over a file's text. A pattern with a
// required literal finds the lines that may hold a hit by the vector search
// of the literal. One without
// runs the engine's DFA over the text, piece by piece, to the first line
// where a match ends. Either way the engine's matcher settles that line by
// the scanner's rules (engine/regex/Regex.h), and the search goes on at the next
// line. A line, however long, is read backwards first by the reversed
// program's DFA, a piece at a time, which rules it out or tells where its
// leftmost match may start, so that the matcher need not step through the
// text before it and only confirms that one start (unless "//" or strings,
// which the matcher follows from the line's start, are to be told). Unicode
// text reaches the engine as UTF-16 units, decoded a piece at a time into
// the workspace; positions here stay byte offsets of the text.
#include "engine/scan/PatternScan.h"
#include "engine/scan/ByteScan.h"
#include "engine/scan/PassLoop.h"
#include "engine/scan/UnicodeScan.h"
#include "engine/text/Utf16.h"

// Whether the matcher may begin where the reversed DFA says: the rules of
// "//" and strings need the line from its start.
static BOOL StartsAnywhere(const ScanPass* pass)
{
    return pass->reversed && !(pass->regexOptions & (REGEX_SKIP_COMMENTS | REGEX_STRINGS_ONLY));
}

// Whether the start that the reversed DFA gives is the hit itself: it reads
// every character as the matcher does but \b and \B, which it takes as true,
// and the bytes of double-byte or UTF-8 characters, which it takes loosely.
static BOOL ReversedIsExact(const ScanPass* pass)
{
    return !pass->shape.wordEdges && !(pass->regexOptions & REGEX_WHOLE_WORD) && !pass->doubleByte &&
           (pass->form == TEXT_ANSI ? GetACP() != CP_UTF8 : pass->form != TEXT_UTF8);
}

// Decodes whole characters of Unicode text from byte from while they start
// before to, and with toLineEnd not past a line end, into the pass's units
// (a character above the basic plane as its surrogate pair; UTF-16 units as
// they stand), each with its byte offset from from. Returns the count of
// units; *end is the byte after the last character taken.
static DWORD DecodeUnits(const ScanPass* pass, ULONGLONG from, ULONGLONG to, BOOL toLineEnd, ULONGLONG* end)
{
    const BYTE* view = pass->view;
    WCHAR* units = pass->units;
    DWORD* offsets = pass->unitOffsets;
    DWORD count = 0;
    ULONGLONG pos = from, length = pass->unitBytes;
    for (; pos < to; pos += length) {
        UINT32 c;
        if (pass->form != TEXT_UTF8)
            c = UnitAt(view, pos, pass->form);
        else if (view[pos] < 0x80)
            c = view[pos], length = 1;
        else
            c = DecodeCharacter(view, pos, pass->size, TEXT_UTF8, &length);
        if (toLineEnd && (c == '\r' || c == '\n'))
            break;
        offsets[count] = offsets[count + 1] = (DWORD)(pos - from);
        count += PutUtf16(c, units + count);
    }
    offsets[count] = (DWORD)(pos - from);
    *end = pos;
    return count;
}

// The byte offset of the character that lies units UTF-16 units after
// lineStart, a character's start.
static ULONGLONG ByteOfUnit(const ScanPass* pass, ULONGLONG lineStart, ULONGLONG units)
{
    if (pass->form != TEXT_UTF8)
        return lineStart + units * pass->unitBytes;
    ULONGLONG pos = lineStart, length = 1;
    for (ULONGLONG unit = 0; unit < units; pos += length) {
        UINT32 c = pass->view[pos];
        length = 1;
        if (c >= 0x80)
            c = DecodeCharacter(pass->view, pos, pass->size, TEXT_UTF8, &length);
        unit += c >= 0x10000 ? 2 : 1;
    }
    return pos;
}

// Whether a match ends in the line from lineStart, by the DFA, a piece at a
// time: NO_HIT when none does (the line has no hit), STOPPED when a stop was
// requested, else 0. For a line longer than a piece, which the matcher
// would take far longer over.
static ULONGLONG LongLineMayMatch(const ScanPass* pass, ULONGLONG lineStart)
{
    RegexWorkspace* regex = pass->regex;
    RegexFindBegin(regex);
    for (ULONGLONG pos = lineStart;;) {
        ULONGLONG to = PieceEnd(pass, pos), end, found;
        if (pass->form == TEXT_ANSI) {
            end = FindLineEnd(pass->view, pos, to);
            found = RegexFindBytes(regex, pass->view, pos, end);
        } else {
            DWORD count = DecodeUnits(pass, pos, to, TRUE, &end);
            found = RegexFindUnits(regex, pass->units, 0, count);
        }
        if (found != REGEX_NONE)
            return 0;
        if (end < to || end >= pass->size)
            return RegexFindAtEnd(regex) ? 0 : NO_HIT;
        if (Stopped())
            return STOPPED;
        pos = end;
    }
}

// The matcher over the line from byte from, at units units into the line
// that starts at lineStart, to the line's end or until the hit is settled:
// the hit's byte, NO_HIT or STOPPED.
static ULONGLONG MatchFrom(const ScanPass* pass, ULONGLONG lineStart, ULONGLONG from, ULONGLONG units, DWORD options)
{
    RegexWorkspace* regex = pass->regex;
    const BYTE* view = pass->view;
    DWORD previous = REGEX_NO_CHAR, previousUnits = 1;
    if (from > lineStart && pass->form == TEXT_ANSI) {
        // The character before: in double-byte text its first byte.
        ULONGLONG before = from - 1;
        if (pass->doubleByte)
            ByteCharacterStart(pass, lineStart, from, &before);
        previous = view[before];
    } else if (from > lineStart) {
        ULONGLONG at = from - pass->unitBytes, length;
        while (at > lineStart && !StartsCharacter(view, at, pass->size, pass->form))
            at -= pass->unitBytes;
        previous = DecodeCharacter(view, at, pass->size, pass->form, &length);
        previousUnits = previous >= 0x10000 ? 2 : 1;
    }
    RegexLineBeginAt(regex, options, units, previous, previousUnits);
    for (ULONGLONG pos = from;;) {
        ULONGLONG to = PieceEnd(pass, pos), end;
        BOOL more;
        if (pass->form == TEXT_ANSI) {
            end = FindLineEnd(view, pos, to);
            more = RegexLineBytes(regex, view + pos, end - pos);
        } else {
            DWORD count = DecodeUnits(pass, pos, to, TRUE, &end);
            more = RegexLineUnits(regex, pass->units, count);
        }
        if (!more || end < to || end >= pass->size)
            break;
        if (Stopped())
            return STOPPED;
        pos = end;
    }
    ULONGLONG hit = RegexLineEnd(regex);
    if (hit == REGEX_NONE)
        return NO_HIT;
    return pass->form == TEXT_ANSI ? lineStart + hit : ByteOfUnit(pass, from, hit - units);
}

// The DFA gave up on telling where the leftmost match may start.
#define START_UNKNOWN (~0ull - 2)

// Reverses a piece of the line, [from, to), into the pass's backwards room:
// its bytes, or its characters' UTF-16 units (a surrogate pair kept in its
// order), those forwards with their offsets in the pass's units. Returns the
// units. A lone low surrogate before a lone high one reads backwards as a
// pair: *falsePair is set then; *loneHigh tells, from piece to piece, that
// the last unit read backwards is a lone high surrogate.
static DWORD PieceBackwards(const ScanPass* pass, ULONGLONG from, ULONGLONG to, BOOL* loneHigh, BOOL* falsePair)
{
    if (pass->form == TEXT_ANSI) {
        BYTE* backwards = (BYTE*)pass->backwards;
        for (ULONGLONG k = 0; k < to - from; k++)
            backwards[k] = pass->view[to - 1 - k];
        return (DWORD)(to - from);
    }
    ULONGLONG end;
    DWORD count = DecodeUnits(pass, from, to, FALSE, &end);
    const WCHAR* units = pass->units;
    WCHAR* backwards = pass->backwards;
    for (DWORD k = 0; k < count;) {
        DWORD at = count - 1 - k;
        if (at > 0 && IsLowSurrogate(units[at]) && IsHighSurrogate(units[at - 1])) {
            backwards[k++] = units[at - 1];
            backwards[k++] = units[at];
            *loneHigh = FALSE;
        } else {
            *falsePair |= *loneHigh && IsLowSurrogate(units[at]);
            *loneHigh = IsHighSurrogate(units[at]);
            backwards[k++] = units[at];
        }
    }
    return count;
}

// Where the leftmost match of the line [lineStart, lineEnd) may start, by
// the reversed program's DFA over the line read backwards a piece at a time
// from its end: no match starts before it. Its byte, with *units its offset
// in the line's units; NO_HIT when no match ends, STOPPED, or START_UNKNOWN
// when the DFA gave up.
static ULONGLONG LeftmostStart(const ScanPass* pass, ULONGLONG lineStart, ULONGLONG lineEnd, ULONGLONG* units)
{
    RegexWorkspace* reversed = pass->reversed;
    ULONGLONG done = 0, lastBack = REGEX_NONE, start = lineStart;
    BOOL loneHigh = FALSE, falsePair = FALSE;
    RegexFindBegin(reversed);
    for (ULONGLONG to = lineEnd;;) {
        ULONGLONG from = to - lineStart > PIECE_BYTES ? to - PIECE_BYTES : lineStart;
        while (from > lineStart && !StartsCharacter(pass->view, from, pass->size, pass->form))
            from -= pass->unitBytes;
        DWORD count = PieceBackwards(pass, from, to, &loneHigh, &falsePair);
        for (ULONGLONG end = 0; !RegexDfaGaveUp(reversed);) {
            end = pass->form == TEXT_ANSI ? RegexFindBytes(reversed, (const BYTE*)pass->backwards, end, count)
                                          : RegexFindUnits(reversed, pass->backwards, end, count);
            if (end == REGEX_NONE)
                break;
            lastBack = done + end;
            start = from + (pass->form == TEXT_ANSI ? count - end : pass->unitOffsets[count - end]);
        }
        done += count;
        if (RegexDfaGaveUp(reversed))
            return START_UNKNOWN;
        if (from == lineStart)
            break;
        if (Stopped())
            return STOPPED;
        to = from;
    }
    if (RegexFindAtEnd(reversed)) {
        lastBack = done;
        start = lineStart;
    }
    if (RegexDfaGaveUp(reversed) || falsePair)
        return START_UNKNOWN;
    *units = done - lastBack;
    if (lastBack == REGEX_NONE)
        return NO_HIT;
    // Reading backwards cannot tell the characters of double-byte text: the
    // matcher begins at the character that holds the start.
    if (pass->doubleByte) {
        ULONGLONG before;
        start = ByteCharacterStart(pass, lineStart, start, &before);
        *units = start - lineStart;
    }
    return start;
}

// The first line end at or after pos, or the text's end; STOPPED when a stop
// was requested on a long line.
static ULONGLONG LineEndFrom(const ScanPass* pass, ULONGLONG pos)
{
    for (;;) {
        ULONGLONG to = PieceEnd(pass, pos), end = FindPassLineEnd(pass, pos, to);
        if (end < to || to == pass->size)
            return end;
        if (Stopped())
            return STOPPED;
        pos = to;
    }
}

// A line whose hit may start anywhere: the matcher confirms the one start
// where the reversed DFA says the leftmost match may begin, and only when no
// hit starts there goes on from it. So a long line costs the DFA's passes
// and a short run of the matcher, however large the pattern.
static ULONGLONG SettleAnywhere(const ScanPass* pass, ULONGLONG lineStart)
{
    ULONGLONG lineEnd = LineEndFrom(pass, lineStart), units = 0;
    if (lineEnd == STOPPED)
        return STOPPED;
    ULONGLONG start = LeftmostStart(pass, lineStart, lineEnd, &units);
    if (start == NO_HIT || start == STOPPED)
        return start;
    if (start == START_UNKNOWN)
        return MatchFrom(pass, lineStart, lineStart, 0, pass->regexOptions);
    if (ReversedIsExact(pass))
        return start;
    ULONGLONG hit = MatchFrom(pass, lineStart, start, units, pass->regexOptions | REGEX_ONE_START);
    return hit == NO_HIT ? MatchFrom(pass, lineStart, start, units, pass->regexOptions) : hit;
}

// The hit of the line from lineStart. When prefilter, the DFA first rules
// out a line that has no hit: a line that fits in a piece at once with the
// matcher after it, a longer one a piece at a time.
static ULONGLONG SettleRegexLine(const ScanPass* pass, ULONGLONG lineStart, BOOL prefilter)
{
    if (StartsAnywhere(pass))
        return SettleAnywhere(pass, lineStart);
    // Where the forward DFA gave up, the reversed one still rules out a line
    // that holds no match, whatever the rules; the matcher follows the rest.
    if (pass->reversed && RegexDfaGaveUp(pass->regex)) {
        ULONGLONG lineEnd = LineEndFrom(pass, lineStart), units;
        ULONGLONG start = lineEnd == STOPPED ? STOPPED : LeftmostStart(pass, lineStart, lineEnd, &units);
        if (start == NO_HIT || start == STOPPED)
            return start;
        return MatchFrom(pass, lineStart, lineStart, 0, pass->regexOptions);
    }
    ULONGLONG to = PieceEnd(pass, lineStart), end, offset;
    if (prefilter && pass->form == TEXT_ANSI) {
        end = FindLineEnd(pass->view, lineStart, to);
        if (end < to || to == pass->size) {
            offset = RegexFirstHitBytes(pass->regex, pass->view + lineStart, end - lineStart, pass->regexOptions);
            return offset == REGEX_NONE ? NO_HIT : lineStart + offset;
        }
    } else if (prefilter) {
        DWORD count = DecodeUnits(pass, lineStart, to, TRUE, &end);
        if (end < to || end >= pass->size) {
            offset = RegexFirstHitUnits(pass->regex, pass->units, count, pass->regexOptions);
            return offset == REGEX_NONE ? NO_HIT : ByteOfUnit(pass, lineStart, offset);
        }
    }
    ULONGLONG may = prefilter ? LongLineMayMatch(pass, lineStart) : 0;
    if (may != 0)
        return may;
    return MatchFrom(pass, lineStart, lineStart, 0, pass->regexOptions);
}

// Where the first match ends in the piece of text from from, or NO_HIT;
// *pieceEnd is where the piece ended.
static ULONGLONG FindMatchEnd(const ScanPass* pass, ULONGLONG from, ULONGLONG* pieceEnd)
{
    ULONGLONG to = PieceEnd(pass, from), end;
    if (pass->form == TEXT_ANSI) {
        *pieceEnd = to;
        end = RegexFindBytes(pass->regex, pass->view, from, to);
        return end == REGEX_NONE ? NO_HIT : end;
    }
    DWORD count = DecodeUnits(pass, from, to, FALSE, pieceEnd);
    end = RegexFindUnits(pass->regex, pass->units, 0, count);
    return end == REGEX_NONE ? NO_HIT : from + pass->unitOffsets[end];
}

// Whether a match ends at the end of the text: at the start of a line behind
// a final line end, or at the end of the last line.
static BOOL MatchEndsAtTextEnd(const ScanPass* pass)
{
    ULONGLONG end = pass->form == TEXT_ANSI ? RegexFindBytes(pass->regex, pass->view, pass->size, pass->size)
                                            : RegexFindUnits(pass->regex, pass->units, 0, 0);
    return end != REGEX_NONE || RegexFindAtEnd(pass->regex);
}

// The bytes of text that the longest match takes, or REGEX_UNBOUNDED_LENGTH
// where that is not told cheaply (UTF-8 characters take 1 to 4 bytes).
static ULONGLONG LongestMatchBytes(const ScanPass* pass)
{
    ULONGLONG units = pass->shape.longest;
    if (units == REGEX_UNBOUNDED_LENGTH || pass->form == TEXT_UTF8 || pass->doubleByte || units > (1ull << 40))
        return REGEX_UNBOUNDED_LENGTH;
    return units * pass->unitBytes;
}

// The next place after q in [q, lineEnd) where the required literal stands,
// or NO_HIT; STOPPED when a stop was requested.
static ULONGLONG NextLiteral(const ScanPass* pass, ULONGLONG q, ULONGLONG lineEnd)
{
    for (ULONGLONG from = q + pass->unitBytes; from + pass->patternLength <= lineEnd;) {
        ULONGLONG last = lineEnd - pass->patternLength;
        ULONGLONG end = last - from >= PIECE_BYTES ? from + PIECE_BYTES : last + 1;
        ULONGLONG found = FindLiteral(pass, from, end);
        if (found != NO_HIT)
            return found;
        if (Stopped())
            return STOPPED;
        from = end;
    }
    return NO_HIT;
}

// A line where every match is at most span bytes long and the pattern reads
// no line start or end, and where the required literal first stands at
// candidate: a match that holds the literal standing at q starts no earlier
// than q - span, so the leftmost one lies within span of the first q that
// has one. The reversed DFA reads only those windows, however long the line.
static ULONGLONG SettleAroundLiteral(const ScanPass* pass, ULONGLONG lineStart, ULONGLONG lineEnd, ULONGLONG candidate,
                                     ULONGLONG span)
{
    for (ULONGLONG q = candidate; q != NO_HIT; q = NextLiteral(pass, q, lineEnd)) {
        if (q == STOPPED)
            return STOPPED;
        ULONGLONG from = q - lineStart > span ? q - span : lineStart;
        ULONGLONG to = lineEnd - q > span ? q + span : lineEnd;
        ULONGLONG units;
        ULONGLONG start = LeftmostStart(pass, from, to, &units);
        if (start == STOPPED)
            return STOPPED;
        if (start == START_UNKNOWN)
            return MatchFrom(pass, lineStart, lineStart, 0, pass->regexOptions);
        // Every match that starts at q or before lies in the window.
        if (start == NO_HIT || start > q)
            continue;
        if (ReversedIsExact(pass))
            return start;
        units = (start - lineStart) / pass->unitBytes;
        ULONGLONG hit = MatchFrom(pass, lineStart, start, units, pass->regexOptions | REGEX_ONE_START);
        return hit == NO_HIT ? MatchFrom(pass, lineStart, start, units, pass->regexOptions) : hit;
    }
    return NO_HIT;
}

// The settle step of a pass that found the line by the pattern's required
// literal: the DFA first rules out a line that has no hit. A line longer
// than a few of the longest matches is read only around the literal.
static ULONGLONG SettleLiteralCandidate(const ScanPass* pass, ULONGLONG lineStart, ULONGLONG candidate)
{
    ULONGLONG span = LongestMatchBytes(pass);
    if (StartsAnywhere(pass) && !pass->shape.lineEdges && span != REGEX_UNBOUNDED_LENGTH &&
        candidate - lineStart > span) {
        ULONGLONG lineEnd = LineEndFrom(pass, candidate);
        if (lineEnd == STOPPED)
            return STOPPED;
        return SettleAroundLiteral(pass, lineStart, lineEnd, candidate, span);
    }
    return SettleRegexLine(pass, lineStart, TRUE);
}

// The settle step of a pass whose DFA found where a match ends in the line.
static ULONGLONG SettleMatchEnd(const ScanPass* pass, ULONGLONG lineStart, ULONGLONG)
{
    return SettleRegexLine(pass, lineStart, FALSE);
}

// The find step of a pattern without a required literal: the DFA runs over
// the text to the first match end, and starts afresh at each line that
// follows a settled one.
static ULONGLONG FindPatternEnd(const ScanPass* pass, ULONGLONG from, BOOL lineStarts, ULONGLONG* next)
{
    if (lineStarts)
        RegexFindBegin(pass->regex);
    if (from < pass->size)
        return FindMatchEnd(pass, from, next);
    *next = NO_HIT;
    return MatchEndsAtTextEnd(pass) ? pass->size : NO_HIT;
}

static const PassSteps BytePatternSteps = {FindLiteralCandidate, SettleLiteralCandidate, ReportByteLine};
static const PassSteps TextPatternSteps = {FindLiteralCandidate, SettleLiteralCandidate, ReportTextLine};
static const PassSteps ByteDfaSteps = {FindPatternEnd, SettleMatchEnd, ReportByteLine};
static const PassSteps TextDfaSteps = {FindPatternEnd, SettleMatchEnd, ReportTextLine};

BOOL ScanPattern(ScanPass* pass, FileReport* report, const SearchRequest* request, ScanWorkspace* workspace)
{
    RegexAlphabet alphabet = pass->form == TEXT_ANSI ? REGEX_ANSI : REGEX_UNICODE;
    const RegexProgram* program = alphabet == REGEX_ANSI ? request->ansiProgram : request->unicodeProgram;
    // Without memory for the workspace nothing is searched; SearchFileAs
    // has told of it before.
    if (!program || !ReadyRegexWorkspaces(workspace, request))
        return !Stopped();
    pass->regex = workspace->regex[alphabet];
    pass->reversed = workspace->reversed[alphabet];
    pass->backwards = workspace->backwards;
    pass->regexOptions = (pass->skipComments ? REGEX_SKIP_COMMENTS : 0) | (pass->stringsOnly ? REGEX_STRINGS_ONLY : 0) |
                         (request->options.wholeWord ? REGEX_WHOLE_WORD : 0);
    pass->units = workspace->units;
    pass->unitOffsets = workspace->unitOffsets;
    RegexShapeOf(program, &pass->shape);
    // The DFA tries afresh on every file, whatever it gave up on before.
    RegexNewText(pass->regex);
    if (pass->reversed)
        RegexNewText(pass->reversed);
    RegexLiteral literal;
    RegexRequired(program, &literal);
    int first = 0, last = literal.length;
    // A literal cut short may hold half a surrogate pair at either end; any
    // piece of it is required too.
    if (alphabet == REGEX_UNICODE && last > 0 && IsLowSurrogate(literal.units[0]))
        first++;
    if (alphabet == REGEX_UNICODE && last > first && IsHighSurrogate(literal.units[last - 1]))
        last--;
    if (first == last) {
        pass->steps = alphabet == REGEX_ANSI ? &ByteDfaSteps : &TextDfaSteps;
        return RunPass(pass, report);
    }
    if (alphabet == REGEX_ANSI) {
        pass->steps = &BytePatternSteps;
        for (int k = 0; k < literal.length; k++) {
            workspace->pattern[k] = (BYTE)literal.units[k];
            workspace->literalFolds[k] = literal.fold[k];
        }
        pass->pattern = workspace->pattern;
        pass->literalFolds = workspace->literalFolds;
        pass->patternLength = (ULONGLONG)literal.length;
        ChooseByteAnchors(pass);
    } else {
        pass->steps = &TextPatternSteps;
        // Upper-cased as the Unicode scan folds the text, unless case matters.
        UINT32* characters = workspace->patternCharacters;
        ULONGLONG count = 0;
        for (int k = first; k < last; k++) {
            UINT32 c = literal.units[k];
            if (IsHighSurrogate(c) && k + 1 < last && IsLowSurrogate(literal.units[k + 1]))
                c = PairedCharacter(c, literal.units[++k]);
            characters[count++] = c;
        }
        pass->characters = characters;
        pass->characterCount = count;
        PrepareTextPass(pass);
    }
    return RunPass(pass, report);
}
