// A regular expression's passes over a file's text. A pattern with a
// required literal finds the lines that may hold a hit by the vector search
// of the literal. One without
// runs the engine's DFA over the text, piece by piece, to the first line
// where a match ends. Either way the engine's matcher settles that line by
// the scanner's rules (engine/regex/Regex.h), and the search goes on at the next
// line. A line that fits in a piece is read backwards first by the reversed
// program's DFA, which rules it out or tells where its leftmost match may
// start, so that the matcher need not step through the text before it
// (unless "//" or strings, which the matcher follows from the line's start,
// are to be told). Unicode text reaches the engine as UTF-16 units, decoded
// a piece at a time into the workspace; positions here stay byte offsets of
// the text.
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

static ULONGLONG HitOf(ULONGLONG lineStart, ULONGLONG offset)
{
    return offset == REGEX_NONE ? NO_HIT : lineStart + offset;
}

// The ANSI line from lineStart: when it ends in the first piece, from where
// the reversed DFA says its hit may start, or else whole and ruled out by the
// DFA first when prefilter; otherwise piece by piece.
static ULONGLONG SettleRegexBytes(const ScanPass* pass, ULONGLONG lineStart, BOOL prefilter)
{
    RegexWorkspace* regex = pass->regex;
    const BYTE* view = pass->view;
    ULONGLONG pos = lineStart, to = PieceEnd(pass, pos), end = FindLineEnd(view, pos, to);
    BOOL whole = end < to || to == pass->size;
    if (whole && StartsAnywhere(pass)) {
        ULONGLONG length = end - pos;
        BYTE* backwards = (BYTE*)pass->backwards;
        for (ULONGLONG k = 0; k < length; k++)
            backwards[k] = view[end - 1 - k];
        ULONGLONG last = RegexLastEndBytes(pass->reversed, backwards, length);
        if (last == REGEX_NONE)
            return NO_HIT;
        ULONGLONG start = length - last, previous = start ? pos + start - 1 : NO_HIT;
        // Reading backwards cannot tell the characters of double-byte text:
        // the matcher begins at the character that holds the start.
        if (pass->doubleByte)
            start = ByteCharacterStart(pass, pos, pos + start, &previous) - pos;
        RegexLineBeginAt(regex, pass->regexOptions, start, previous == NO_HIT ? REGEX_NO_CHAR : view[previous], 1);
        RegexLineBytes(regex, view + pos + start, length - start);
        return HitOf(lineStart, RegexLineEnd(regex));
    }
    if (prefilter && whole)
        return HitOf(lineStart, RegexFirstHitBytes(regex, view + pos, end - pos, pass->regexOptions));
    ULONGLONG may = prefilter ? LongLineMayMatch(pass, lineStart) : 0;
    if (may != 0)
        return may;
    RegexLineBegin(regex, pass->regexOptions);
    while (RegexLineBytes(regex, view + pos, end - pos) && end == to && to < pass->size) {
        if (Stopped())
            return STOPPED;
        pos = to;
        to = PieceEnd(pass, pos);
        end = FindLineEnd(view, pos, to);
    }
    return HitOf(lineStart, RegexLineEnd(regex));
}

// Where the leftmost match of the line in the pass's units (count of them)
// may start, by the reversed DFA over its characters read backwards (a
// surrogate pair kept in its order), or REGEX_NONE; the matcher then begins
// there, after the character before.
static ULONGLONG BeginWhereHitMayStart(const ScanPass* pass, DWORD count)
{
    const WCHAR* units = pass->units;
    WCHAR* backwards = pass->backwards;
    // A lone low surrogate before a lone high one would read backwards as a
    // pair: then the matcher begins at the line's start.
    BOOL falsePair = FALSE, loneHigh = FALSE;
    for (DWORD k = 0; k < count;) {
        DWORD at = count - 1 - k;
        if (at > 0 && IsLowSurrogate(units[at]) && IsHighSurrogate(units[at - 1])) {
            backwards[k++] = units[at - 1];
            backwards[k++] = units[at];
            loneHigh = FALSE;
        } else {
            falsePair |= loneHigh && IsLowSurrogate(units[at]);
            loneHigh = IsHighSurrogate(units[at]);
            backwards[k++] = units[at];
        }
    }
    if (falsePair) {
        RegexLineBeginAt(pass->regex, pass->regexOptions, 0, REGEX_NO_CHAR, 1);
        return 0;
    }
    ULONGLONG last = RegexLastEndUnits(pass->reversed, backwards, count);
    if (last == REGEX_NONE)
        return REGEX_NONE;
    ULONGLONG start = count - last;
    DWORD previous = REGEX_NO_CHAR, previousUnits = 1;
    if (start > 0) {
        previous = units[start - 1];
        if (start > 1 && IsLowSurrogate(previous) && IsHighSurrogate(units[start - 2])) {
            previous = PairedCharacter(units[start - 2], previous);
            previousUnits = 2;
        }
    }
    RegexLineBeginAt(pass->regex, pass->regexOptions, start, previous, previousUnits);
    return start;
}

// The same for a Unicode line, decoded a piece at a time; the hit's offset in
// units goes back to bytes.
static ULONGLONG SettleRegexText(const ScanPass* pass, ULONGLONG lineStart, BOOL prefilter)
{
    RegexWorkspace* regex = pass->regex;
    ULONGLONG pos = lineStart, offset = REGEX_NONE;
    for (BOOL first = TRUE;; first = FALSE) {
        ULONGLONG to = PieceEnd(pass, pos), next;
        DWORD count = DecodeUnits(pass, pos, to, TRUE, &next);
        BOOL lineEnds = next < to || next >= pass->size;
        if (first && lineEnds && StartsAnywhere(pass)) {
            ULONGLONG start = BeginWhereHitMayStart(pass, count);
            if (start == REGEX_NONE)
                return NO_HIT;
            RegexLineUnits(regex, pass->units + start, count - start);
            offset = RegexLineEnd(regex);
            break;
        }
        if (first && prefilter && lineEnds) {
            offset = RegexFirstHitUnits(regex, pass->units, count, pass->regexOptions);
            break;
        }
        if (first) {
            ULONGLONG may = prefilter ? LongLineMayMatch(pass, lineStart) : 0;
            if (may != 0)
                return may;
            // The line's first piece again, which the DFA took.
            count = DecodeUnits(pass, pos, to, TRUE, &next);
            RegexLineBegin(regex, pass->regexOptions);
        }
        if (!RegexLineUnits(regex, pass->units, count) || lineEnds) {
            offset = RegexLineEnd(regex);
            break;
        }
        if (Stopped())
            return STOPPED;
        pos = next;
    }
    return offset == REGEX_NONE ? NO_HIT : ByteOfUnit(pass, lineStart, offset);
}

static ULONGLONG SettleRegexLine(const ScanPass* pass, ULONGLONG lineStart, BOOL prefilter)
{
    if (pass->form == TEXT_ANSI)
        return SettleRegexBytes(pass, lineStart, prefilter);
    return SettleRegexText(pass, lineStart, prefilter);
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

// The settle step of a pass that found the line by the pattern's required
// literal: the DFA first rules out a line that has no hit.
static ULONGLONG SettleLiteralCandidate(const ScanPass* pass, ULONGLONG lineStart, ULONGLONG)
{
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
