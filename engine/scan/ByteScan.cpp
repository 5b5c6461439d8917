// The byte scanner: the steps of literal text in ANSI files, byte by byte as
// the code page's bytes stand. The text folds only "a" to "z", where the
// search text was upper-cased by the platform.
#include "engine/scan/ByteScan.h"
#include "engine/text/ByteFrequency.h"
#include "engine/text/WordCharacters.h"

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
void ChooseByteAnchors(ScanPass* pass)
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
static BOOL FoldedMatchAt(const ScanPass* pass, ULONGLONG pos)
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

BOOL ByteWholeWordAt(const ScanPass* pass, ULONGLONG pos)
{
    ULONGLONG end = pos + pass->patternLength;
    return (pos == 0 || !IsWordByte(pass->view[pos - 1])) && (end >= pass->size || !IsWordByte(pass->view[end]));
}

void ReportByteLine(const ScanPass* pass, FileReport* report, ULONGLONG lineNumber, ULONGLONG hit,
                    ULONGLONG lineStart, ULONGLONG lineEnd)
{
    ReportHit(report, lineNumber, hit - lineStart + 1, pass->view + lineStart, lineEnd - lineStart);
}
