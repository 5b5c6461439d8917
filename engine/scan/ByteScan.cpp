// The byte scanner: the steps of literal text in ANSI files, byte by byte as
// the code page's bytes stand. A character of one byte folds as the search
// text was upper-cased (engine/text/AnsiCharacters.h); in a double-byte code
// page a lead byte and its trail byte are one character, compared exactly.
#include "engine/scan/ByteScan.h"
#include "engine/text/ByteFrequency.h"
#include "engine/text/WordCharacters.h"

// The test that a text byte must pass to match pattern byte k, and how common
// such text bytes are: every byte that folds to a folded pattern byte passes.
// A regular expression's literal comes with its tests.
static ByteTest TestFor(const ScanPass* pass, ULONGLONG k, unsigned* frequency)
{
    BYTE b = pass->pattern[k];
    if (pass->literalFolds && pass->literalFolds[k]) {
        *frequency = byteFrequency[b & ~pass->literalFolds[k]] + byteFrequency[b | pass->literalFolds[k]];
        return ByteTest {pass->literalFolds[k], b};
    }
    if (!pass->literalFolds && pass->patternFolds[k]) {
        BYTE varies = pass->ansi->foldVaries[b];
        *frequency = pass->ansi->foldFrequency[b];
        return ByteTest {varies, (BYTE)(b | varies)};
    }
    *frequency = byteFrequency[b];
    return ByteTest {0, b};
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
void ChooseByteAnchors(ScanPass* pass)
{
    pass->anchors = Anchors {};
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

void PrepareBytePattern(ScanPass* pass)
{
    const AnsiCodePage* page = pass->ansi;
    const BYTE* pattern = pass->pattern;
    ULONGLONG length = pass->patternLength;
    pass->patternEndsInLead = FALSE;
    for (ULONGLONG k = 0; k < length; k++) {
        BYTE b = pattern[k];
        if (pass->doubleByte && page->lead[b]) {
            pass->patternFolds[k] = 0;
            if (k + 1 == length)
                pass->patternEndsInLead = TRUE;
            else
                pass->patternFolds[++k] = 0;
            continue;
        }
        pass->patternFolds[k] = !pass->matchCase;
        // No text byte folds to a byte that folds to another.
        if (!pass->matchCase && page->foldSources[b] == 0)
            pass->matchless = TRUE;
    }
    ChooseByteAnchors(pass);
}

// Whether the whole pattern stands at pos, a character's start: its
// characters of one byte folded, its double-byte ones as they stand. The
// pattern holds no terminator, so a match never runs over one; a lead byte
// at its end is a character only where the line ends after it.
static BOOL FoldedMatchAt(const ScanPass* pass, ULONGLONG pos)
{
    const BYTE* text = pass->view + pos;
    const BYTE* fold = pass->ansi->fold;
    const BYTE* folds = pass->patternFolds;
    ULONGLONG length = pass->patternLength;
    for (ULONGLONG k = 0; k < length; k++) {
        BYTE c = text[k];
        if (folds[k])
            c = fold[c];
        if (c != pass->pattern[k])
            return FALSE;
    }
    return !pass->patternEndsInLead || pos + length >= pass->size || IsAnsiLineEnd(text[length]);
}

// Whether a regular expression's literal stands at pos, each byte by its
// test.
static BOOL LiteralHoldsAt(const ScanPass* pass, ULONGLONG pos)
{
    const BYTE* text = pass->view + pos;
    for (ULONGLONG k = 0; k < pass->patternLength; k++) {
        if ((text[k] | pass->literalFolds[k]) != pass->pattern[k])
            return FALSE;
    }
    return TRUE;
}

BOOL ByteMatchesAt(const ScanPass* pass, ULONGLONG pos)
{
    return pass->literalFolds ? LiteralHoldsAt(pass, pos) : FoldedMatchAt(pass, pos);
}

ULONGLONG FindByteMatch(const ScanPass* pass, ULONGLONG from, ULONGLONG end)
{
    if (pass->patternLength == 0)
        return from;
    if (pass->literalFolds) {
        for (; (from = FindCandidate(pass->view, from, end, &pass->anchors)) < end; from++) {
            if (LiteralHoldsAt(pass, from))
                return from;
        }
        return NO_HIT;
    }
    for (; (from = FindCandidate(pass->view, from, end, &pass->anchors)) < end; from++) {
        if (FoldedMatchAt(pass, from))
            return from;
    }
    return NO_HIT;
}

BOOL ByteWholeWordAt(const ScanPass* pass, ULONGLONG pos, ULONGLONG previous)
{
    ULONGLONG end = pos + pass->patternLength;
    return (pos == 0 || !IsWordByte(pass->view[previous])) && (end >= pass->size || !IsWordByte(pass->view[end]));
}

ULONGLONG ByteCharacterStart(const ScanPass* pass, ULONGLONG lineStart, ULONGLONG pos, ULONGLONG* previous)
{
    ULONGLONG at = lineStart;
    *previous = NO_HIT;
    for (ULONGLONG length;
         at < pos && at + (length = AnsiCharacterBytes(pass->ansi, pass->view, at, pass->size)) <= pos; at += length)
        *previous = at;
    return at;
}

void ReportByteLine(const ScanPass* pass, FileReport* report, ULONGLONG lineNumber, ULONGLONG hit, ULONGLONG lineStart,
                    ULONGLONG lineEnd)
{
    ReportHit(report, lineNumber, hit - lineStart + 1, pass->view + lineStart, lineEnd - lineStart);
}
