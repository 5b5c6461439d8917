// The Unicode scanner: the steps of literal text in UTF-8 and UTF-16 text,
// on characters. The text is searched where it lies, never converted: the
// vector searches look for two bytes of the pattern's encoding in the file's
// own form, and a candidate is compared character by character (decoded,
// folded). Only a reported line's text
// is decoded, into the workspace, at most LINE_TEXT_BYTES characters of it,
// so any file, however large, takes the same bounded room.
#include "engine/scan/UnicodeScan.h"
#include "engine/scan/ByteScan.h"
#include "engine/text/ByteFrequency.h"
#include "engine/text/Utf16.h"
#include "engine/text/WordCharacters.h"

// Characters that fold to one character: at most a few (CaseFold.h).
#define FOLD_SOURCES 8
// Bytes at the start of a pattern among which its anchors are chosen.
#define ANCHOR_CANDIDATES 64
// A UTF-16 high byte of 0 stands in most units of most text.
#define COMMON_HIGH_BYTE 0x10000

static BOOL IsTerminator(UINT32 c)
{
    return c == '\r' || c == '\n';
}

// The character at pos, folded unless case matters, and its bytes.
static UINT32 FoldedAt(const ScanPass* pass, ULONGLONG pos, ULONGLONG* length)
{
    UINT32 c;
    if (pass->form == TEXT_UTF8 && pass->view[pos] < 0x80) {
        c = pass->view[pos];
        *length = 1;
    } else {
        c = DecodeCharacter(pass->view, pos, pass->size, pass->form, length);
    }
    return pass->matchCase ? c : FoldCharacter(pass->fold, c);
}

// Where the whole pattern ends when it stands at pos, a character's start,
// or NO_HIT. The pattern holds no terminator, so a match never runs over one.
static ULONGLONG TextMatchEnd(const ScanPass* pass, ULONGLONG pos)
{
    ULONGLONG length;
    for (ULONGLONG k = 0; k < pass->characterCount; k++) {
        if (pos >= pass->size || FoldedAt(pass, pos, &length) != pass->characters[k])
            return NO_HIT;
        pos += length;
    }
    return pos;
}

BOOL TextMatchesAt(const ScanPass* pass, ULONGLONG pos)
{
    return TextMatchEnd(pass, pos) != NO_HIT;
}

// The character that ends at pos, a character's start after the first. In
// UTF-16 a surrogate stands for it, which is no word character, as no
// character above the basic plane is. In UTF-8 a character of the basic
// plane begins with a lead byte from C2 to EF, which no sequence before it
// takes in: it is the one when it decodes to end exactly at pos; anything
// else there is part of an ill-formed sequence, U+FFFD, or a character
// above the basic plane.
static UINT32 CharacterBefore(const ScanPass* pass, ULONGLONG pos)
{
    const BYTE* view = pass->view;
    if (pass->form != TEXT_UTF8)
        return UnitAt(view, pos - pass->unitBytes, pass->form);
    if (view[pos - 1] < 0x80)
        return view[pos - 1];
    for (ULONGLONG back = 2; back <= 3 && back <= pos; back++) {
        BYTE b = view[pos - back];
        if (b >= 0xC2 && b <= 0xEF) {
            ULONGLONG length;
            UINT32 c = DecodeCharacter(view, pos - back, pass->size, TEXT_UTF8, &length);
            return length == back ? c : REPLACEMENT_CHARACTER;
        }
        if (b < 0x80 || b > 0xBF)
            break;
    }
    return REPLACEMENT_CHARACTER;
}

BOOL TextWholeWordAt(const ScanPass* pass, ULONGLONG pos)
{
    if (pos > 0 && IsWordCharacter(pass->wordBits, CharacterBefore(pass, pos)))
        return FALSE;
    ULONGLONG end = TextMatchEnd(pass, pos), length;
    if (end >= pass->size)
        return TRUE;
    UINT32 after = pass->form == TEXT_UTF8 ? DecodeCharacter(pass->view, end, pass->size, TEXT_UTF8, &length)
                                           : UnitAt(pass->view, end, pass->form);
    return !IsWordCharacter(pass->wordBits, after);
}

ULONGLONG FindTextMatch(const ScanPass* pass, ULONGLONG from, ULONGLONG end)
{
    if (pass->characterCount == 0)
        return from;
    for (; (from = FindCandidate(pass->view, from, end, &pass->anchors)) < end; from++) {
        if (StartsCharacter(pass->view, from, pass->size, pass->form) && TextMatchesAt(pass, from))
            return from;
    }
    return NO_HIT;
}

ULONGLONG TextCharacterBytes(const ScanPass* pass, ULONGLONG pos, UINT32 unit)
{
    if (pass->form == TEXT_UTF8 ? unit < 0x80 : !IsHighSurrogate(unit))
        return pass->unitBytes;
    ULONGLONG length;
    DecodeCharacter(pass->view, pos, pass->size, pass->form, &length);
    return length;
}

void ReportTextLine(const ScanPass* pass, FileReport* report, ULONGLONG lineNumber, ULONGLONG hit, ULONGLONG lineStart,
                    ULONGLONG lineEnd)
{
    if (pass->ansiBytes) {
        ReportByteLine(pass, report, lineNumber, hit, lineStart, lineEnd);
        return;
    }
    // Decoded first: the text may lie in a mapped view that faults, and then
    // nothing of the line must have been written. Each character takes at
    // least one byte of a report line.
    WCHAR* text = pass->lineText;
    int units = 0;
    ULONGLONG length;
    for (ULONGLONG pos = lineStart, characters = 0; pos < lineEnd && characters < LINE_TEXT_BYTES;
         pos += length, characters++) {
        UINT32 c = DecodeCharacter(pass->view, pos, pass->size, pass->form, &length);
        units += PutUtf16(c, text + units);
    }
    ReportTextHit(report, lineNumber, (hit - lineStart) / pass->unitBytes + 1, pass->view + lineStart, text, units);
}

// How often text bytes pass the test, in the byte scanner's measure: the
// high byte of a UTF-16 unit is mostly 0 and rarely anything else, a UTF-8
// lead byte comes with every character outside ASCII.
static unsigned TestFrequency(const ScanPass* pass, ULONGLONG byteOfCharacter, ByteTest test)
{
    BOOL highByte = pass->form == TEXT_UTF16LE   ? byteOfCharacter % 2 == 1
                    : pass->form == TEXT_UTF16BE ? byteOfCharacter % 2 == 0
                                                 : FALSE;
    unsigned frequency = 0;
    BYTE base = (BYTE)(test.value & ~test.fold);
    for (unsigned varied = test.fold;; varied = (varied - 1) & test.fold) {
        BYTE b = (BYTE)(base | varied);
        if (highByte)
            frequency += b == 0 ? COMMON_HIGH_BYTE : 1;
        else
            frequency += pass->form == TEXT_UTF8 && b >= 0xC2 ? 2 : byteFrequency[b];
        if (varied == 0)
            return frequency;
    }
}

struct AnchorCandidate {
    ULONGLONG offset;
    ByteTest test;
    unsigned frequency;
};

// The test that accepts every one of the bytes at byte of the encodings:
// the bits in which they differ may be anything.
static ByteTest TestForAll(BYTE encodings[][4], int count, int byte)
{
    BYTE varies = 0;
    for (int e = 1; e < count; e++)
        varies |= encodings[e][byte] ^ encodings[0][byte];
    return ByteTest {varies, (BYTE)(encodings[0][byte] | varies)};
}

// Picks the two rarest candidates, two different tests when there are.
static void PickAnchors(ScanPass* pass, const AnchorCandidate* candidates, int count)
{
    int first = 0, second = 0;
    for (int n = 1; n < count; n++)
        if (candidates[n].frequency < candidates[first].frequency)
            first = n;
    unsigned secondFrequency = ~0u;
    for (int n = 0; n < count; n++) {
        const ByteTest* test = &candidates[n].test;
        unsigned frequency = candidates[n].frequency;
        if (test->fold == candidates[first].test.fold && test->value == candidates[first].test.value)
            frequency += 0x10000;
        if (n != first && frequency < secondFrequency) {
            second = n;
            secondFrequency = frequency;
        }
    }
    pass->anchors =
        Anchors {candidates[first].offset, candidates[second].offset, candidates[first].test, candidates[second].test};
}

// Sets what a pass needs beside its characters: the fewest bytes a match
// takes, whether one can stand in the text at all, and the anchors. A
// character's bytes are those of every character that folds to it; they
// stand at fixed offsets from a match's start only up to the first character
// whose encodings differ in length (some pairs of letters do in UTF-8) or,
// in UTF-8, U+FFFD, which ill-formed bytes of any kind decode to.
void PrepareTextPass(ScanPass* pass)
{
    AnchorCandidate candidates[ANCHOR_CANDIDATES];
    int candidateCount = 0;
    ULONGLONG offset = 0, fewest = 0;
    BOOL fixed = TRUE;
    pass->matchless = FALSE;
    for (ULONGLONG k = 0; k < pass->characterCount; k++) {
        UINT32 c = pass->characters[k], sources[FOLD_SOURCES];
        int count = 1;
        sources[0] = c;
        if (!pass->matchCase)
            count = FoldSources(pass->fold, c, sources, FOLD_SOURCES);
        BYTE encodings[FOLD_SOURCES][4];
        int kinds = 0, shortest = 4, longest = 0;
        for (int n = 0; n < count; n++) {
            int length = EncodeCharacter(sources[n], pass->form, encodings[kinds]);
            if (length == 0)
                continue;
            kinds++;
            shortest = length < shortest ? length : shortest;
            longest = length > longest ? length : longest;
        }
        BOOL anyBytes = pass->form == TEXT_UTF8 && c == REPLACEMENT_CHARACTER;
        if (anyBytes)
            shortest = 1;
        if (IsTerminator(c) || (kinds == 0 && !anyBytes)) {
            pass->matchless = TRUE;
            return;
        }
        fewest += shortest;
        if (!fixed)
            continue;
        if (anyBytes || shortest != longest) {
            fixed = FALSE;
            if (k == 0) {
                ByteTest test = anyBytes ? ByteTest {0xFF, 0xFF} : TestForAll(encodings, kinds, 0);
                candidates[candidateCount++] = AnchorCandidate {0, test, TestFrequency(pass, 0, test)};
            }
            continue;
        }
        for (int b = 0; b < shortest && candidateCount < ANCHOR_CANDIDATES; b++) {
            ByteTest test = TestForAll(encodings, kinds, b);
            candidates[candidateCount++] = AnchorCandidate {offset + b, test, TestFrequency(pass, b, test)};
        }
        offset += shortest;
    }
    pass->patternLength = fewest;
    if (candidateCount > 0)
        PickAnchors(pass, candidates, candidateCount);
}

ULONGLONG ReadTextNeedle(const ScanPass* pass, const WCHAR* text, UINT32* characters)
{
    ULONGLONG count = 0;
    for (int at = 0; text[at]; at++) {
        int taken;
        UINT32 c = Utf16CharacterAt(text, at, at + 2, &taken);
        at += taken - 1;
        characters[count++] = pass->matchCase ? c : FoldCharacter(pass->fold, c);
    }
    return count;
}
