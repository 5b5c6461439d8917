// The literal that every match of a pattern holds, the longest (of two as
// long, the rarer in source text): the scanner's vector search finds the
// lines that may hold a hit by it.
#include "engine/regex/RequiredLiteral.h"
#include "engine/text/Utf16.h"
#include "engine/regex/CharSets.h"
#include "engine/text/ByteFrequency.h"

// What a node tells about literals: whether it matches exactly one text
// (exact, as far as it fits) and the longest text every match holds (best).
struct LiteralFacts {
    BOOL exact;
    RegexLiteral exactText;
    RegexLiteral best;
};

// How often unit k of the literal stands in C source, both forms where it
// folds; a unit beyond a byte counts as rare.
static unsigned UnitFrequency(const RegexLiteral* text, int k)
{
    WORD unit = text->units[k];
    if (unit >= 0x100)
        return 1;
    return byteFrequency[unit] + (text->fold[k] ? byteFrequency[unit & ~text->fold[k]] : 0);
}

// How often the literal's units stand in C source: the vector search of a
// rarer one stops at fewer places.
static unsigned Commonness(const RegexLiteral* text)
{
    unsigned sum = 0;
    for (int k = 0; k < text->length; k++)
        sum += UnitFrequency(text, k);
    return sum;
}

// How often the vector search would stop for the literal: it looks for its
// two rarest units (one unit, twice), taken as independent.
static double AnchorStops(const RegexLiteral* text)
{
    double rarest = 1e9, next = 1e9;
    for (int k = 0; k < text->length; k++) {
        double frequency = UnitFrequency(text, k);
        if (frequency < rarest) {
            next = rarest;
            rarest = frequency;
        } else if (frequency < next) {
            next = frequency;
        }
    }
    return text->length == 1 ? rarest * rarest : rarest * next;
}

// Keeps the longer literal, or of two as long the rarer; but a shorter one
// whose rarest units stop the vector search far less often wins (an X
// after a thousand a's: the X, not sixty-four a's).
#define FAR_RARER 16.0
static void KeepLonger(RegexLiteral* best, const RegexLiteral* text)
{
    if (text->length == 0)
        return;
    if (best->length > 0 && AnchorStops(text) * FAR_RARER < AnchorStops(best)) {
        *best = *text;
        return;
    }
    if (best->length > 0 && AnchorStops(best) * FAR_RARER < AnchorStops(text))
        return;
    if (text->length > best->length || (text->length == best->length && Commonness(text) < Commonness(best)))
        *best = *text;
}

// Appends text to run; FALSE when it does not fit whole.
static BOOL Append(RegexLiteral* run, const RegexLiteral* text)
{
    if (run->length + text->length > REGEX_LITERAL_UNITS)
        return FALSE;
    for (int k = 0; k < text->length; k++) {
        run->units[run->length] = text->units[k];
        run->fold[run->length++] = text->fold[k];
    }
    return TRUE;
}

static void LiteralOf(const Compiler* compiler, const RegexNode* node, LiteralFacts* facts)
{
    RegexLiteral* text = &facts->exactText;
    if (node->value == '\r' || node->value == '\n')
        return;  // never matches: no text is exact
    if (compiler->alphabet == REGEX_UNICODE) {
        DWORD c = node->value;
        if (!compiler->matchCase)
            c = UnicodeUpper(c);
        WCHAR units[2];
        for (int n = 0, count = PutUtf16(c, units); n < count; n++)
            text->units[text->length++] = units[n];
        facts->exact = TRUE;
        return;
    }
    // A lead byte alone stands for every character it begins.
    if (compiler->doubleByte && node->kind == NODE_BYTE && compiler->ansi->lead[node->value])
        return;
    BYTE bytes[4];
    BOOL folded[4];
    int count = LiteralBytes(compiler, node, bytes, folded);
    for (int k = 0; k < count; k++) {
        BYTE b = bytes[k];
        if (folded[k] && compiler->ansi->foldSources[b] == 0)
            return;  // never matches: no text is exact
        BYTE varies = folded[k] ? compiler->ansi->foldVaries[b] : 0;
        text->units[k] = (BYTE)(b | varies);
        text->fold[k] = varies;
    }
    text->length = count;
    facts->exact = count > 0;
}

static void FactsOf(const Compiler* compiler, const RegexNode* node, LiteralFacts* facts);

static void FactsOfConcatenation(const Compiler* compiler, const RegexNode* node, LiteralFacts* facts)
{
    RegexLiteral run = {};
    BOOL allExact = TRUE;
    for (const RegexNode* child = node->child; child; child = child->next) {
        LiteralFacts inner = {};
        FactsOf(compiler, child, &inner);
        KeepLonger(&facts->best, &inner.best);
        if (inner.exact && Append(&run, &inner.exactText))
            continue;
        KeepLonger(&facts->best, &run);
        allExact = FALSE;
        run.length = 0;
        if (inner.exact)
            run = inner.exactText;
    }
    KeepLonger(&facts->best, &run);
    facts->exact = allExact;
    if (allExact)
        facts->exactText = run;
}

static void FactsOfRepeat(const Compiler* compiler, const RegexNode* node, LiteralFacts* facts)
{
    if (node->min == 0)
        return;
    LiteralFacts inner = {};
    FactsOf(compiler, node->child, &inner);
    facts->best = inner.best;
    if (!inner.exact)
        return;
    RegexLiteral run = {};
    DWORD copies = 0;
    while (copies < node->min && Append(&run, &inner.exactText))
        copies++;
    KeepLonger(&facts->best, &run);
    facts->exact = copies == node->min && node->max == node->min;
    if (facts->exact)
        facts->exactText = run;
}

static void FactsOf(const Compiler* compiler, const RegexNode* node, LiteralFacts* facts)
{
    switch (node->kind) {
    case NODE_EMPTY:
    case NODE_ASSERT:
        facts->exact = TRUE;  // zero width: the empty text
        break;
    case NODE_LITERAL:
    case NODE_BYTE: LiteralOf(compiler, node, facts); break;
    case NODE_CONCAT: FactsOfConcatenation(compiler, node, facts); break;
    case NODE_REPEAT: FactsOfRepeat(compiler, node, facts); break;
    }
    if (facts->exact)
        KeepLonger(&facts->best, &facts->exactText);
}

void FindRequiredLiteral(const Compiler* compiler, const RegexNode* root, RegexLiteral* required)
{
    LiteralFacts facts = {};
    FactsOf(compiler, root, &facts);
    *required = facts.best;
}
