// The division of all characters into the classes the program steps by:
// characters that no set of the pattern tells apart share a class, so a set
// is a row of bits over the classes and a DFA state has one transition per
// class.
#include "engine/regex/CharClasses.h"
#include "engine/regex/CharSets.h"

// Whether set holds character c.
static BOOL StoredHas(const StoredSet* set, DWORD c, DWORD setWords)
{
    if (c < setWords * 32)
        return (set->words[c / 32] >> (c % 32)) & 1;
    for (DWORD i = 0; i < set->rangeCount; i++) {
        if (c >= set->ranges[2 * i] && c <= set->ranges[2 * i + 1])
            return TRUE;
    }
    return FALSE;
}

// Sorts and removes repeats from a short list of characters.
static DWORD SortUnique(DWORD* list, DWORD count)
{
    for (DWORD i = 1; i < count; i++) {
        DWORD c = list[i], j = i;
        for (; j > 0 && list[j - 1] > c; j--)
            list[j] = list[j - 1];
        list[j] = c;
    }
    DWORD kept = 0;
    for (DWORD i = 0; i < count; i++) {
        if (kept == 0 || list[i] != list[kept - 1])
            list[kept++] = list[i];
    }
    return kept;
}

// The first characters of the cells: every character where some set's
// membership changes, in order, and the end of the alphabet.
static DWORD* CellStarts(Compiler* compiler, DWORD* count)
{
    if (compiler->alphabet == REGEX_ANSI) {
        DWORD* starts = (DWORD*)ArenaTake(compiler->arena, sizeof(DWORD) * 257);
        for (DWORD c = 0; starts && c <= 256; c++)
            starts[c] = c;
        *count = 256;
        return starts;
    }
    // The basic plane by a bit per character where a set changes, the
    // characters above it by a list.
    DWORD* marks = (DWORD*)ArenaTake(compiler->arena, sizeof(DWORD) * BMP_WORDS);
    DWORD aboveCount = 2;
    for (DWORD s = 0; s < compiler->setCount; s++)
        aboveCount += 2 * compiler->sets[s]->rangeCount;
    DWORD* above = (DWORD*)ArenaTake(compiler->arena, sizeof(DWORD) * aboveCount);
    if (!marks || !above)
        return NULL;
    marks[0] |= 1;
    above[0] = BMP_END;
    above[1] = PLANES_END;
    aboveCount = 2;
    for (DWORD s = 0; s < compiler->setCount; s++) {
        const StoredSet* set = compiler->sets[s];
        DWORD carry = 0;
        for (DWORD i = 0; i < BMP_WORDS; i++) {
            DWORD w = set->words[i];
            marks[i] |= w ^ (w << 1 | carry);
            carry = w >> 31;
        }
        for (DWORD i = 0; i < set->rangeCount; i++) {
            above[aboveCount++] = set->ranges[2 * i];
            above[aboveCount++] = set->ranges[2 * i + 1] + 1;
        }
    }
    aboveCount = SortUnique(above, aboveCount);
    DWORD total = aboveCount;
    for (DWORD i = 0; i < BMP_WORDS; i++)
        total += (DWORD)__builtin_popcount(marks[i]);
    DWORD* starts = (DWORD*)ArenaTake(compiler->arena, sizeof(DWORD) * total);
    if (!starts)
        return NULL;
    DWORD n = 0;
    for (DWORD i = 0; i < BMP_WORDS; i++) {
        for (DWORD w = marks[i]; w; w &= w - 1)
            starts[n++] = i * 32 + (DWORD)__builtin_ctz(w);
    }
    for (DWORD i = 0; i < aboveCount; i++)
        starts[n++] = above[i];
    *count = n - 1;  // the last start is the end
    return starts;
}

static BOOL SameBlock(const WORD* block, const WORD* other)
{
    for (int i = 0; i < 256; i++) {
        if (block[i] != other[i])
            return FALSE;
    }
    return TRUE;
}

// Unicode: the classes of the basic plane by blocks of 256 characters, each
// distinct block stored once. Most blocks lie in one cell: one class each.
static BOOL DivideBasicPlane(Compiler* compiler, Division* division)
{
    division->blocks = (WORD*)ArenaTake(compiler->arena, sizeof(WORD) * 0x10000);
    DWORD* hashes = (DWORD*)ArenaTake(compiler->arena, sizeof(DWORD) * 256);
    DWORD* uniform = (DWORD*)ArenaTake(compiler->arena, sizeof(DWORD) * division->classCount);
    if (!division->blocks || !hashes || !uniform)
        return FALSE;
    DWORD cell = 0;
    for (DWORD block = 0; block < 256; block++) {
        DWORD first = block * 256;
        while (division->starts[cell + 1] <= first)
            cell++;
        DWORD k = division->classOfCell[cell];
        BOOL whole = division->starts[cell + 1] >= first + 256;
        if (whole && uniform[k]) {
            division->blockStart[block] = (uniform[k] - 1) * 256;
            continue;
        }
        WORD* fresh = division->blocks + division->blockCount * 256;
        DWORD hash = 2166136261u;
        for (DWORD i = 0, at = cell; i < 256; i++) {
            while (division->starts[at + 1] <= first + i)
                at++;
            fresh[i] = (WORD)division->classOfCell[at];
            hash = (hash ^ fresh[i]) * 16777619u;
        }
        DWORD same = 0;
        while (same < division->blockCount &&
               (hashes[same] != hash || !SameBlock(division->blocks + same * 256, fresh)))
            same++;
        if (same == division->blockCount)
            hashes[division->blockCount++] = hash;
        if (whole)
            uniform[k] = same + 1;
        division->blockStart[block] = same * 256;
    }
    return TRUE;
}

BOOL SetsDivide(Compiler* compiler, Division* division)
{
    DWORD cells = 0;
    DWORD* starts = CellStarts(compiler, &cells);
    DWORD* classOf = (DWORD*)ArenaTake(compiler->arena, sizeof(DWORD) * (cells + 1));
    DWORD* pairClass = (DWORD*)ArenaTake(compiler->arena, sizeof(DWORD) * 2 * (cells + 1));
    if (!starts || !classOf || !pairClass) {
        CompileFail(compiler, L"out of memory", 1);
        return FALSE;
    }
    // Each set splits every class into its members and the rest; a set is
    // constant on every cell, so its first character speaks for the cell.
    DWORD classes = 1;
    for (DWORD s = 0; s < compiler->setCount; s++) {
        for (DWORD k = 0; k < 2 * classes; k++)
            pairClass[k] = ~0u;
        DWORD fresh = 0;
        for (DWORD cell = 0; cell < cells; cell++) {
            DWORD key = classOf[cell] * 2 + StoredHas(compiler->sets[s], starts[cell], compiler->setWords);
            if (pairClass[key] == ~0u)
                pairClass[key] = fresh++;
            classOf[cell] = pairClass[key];
        }
        classes = fresh;
    }
    if (classes > 0xFFFF) {
        CompileFail(compiler, L"pattern too large", 1);
        return FALSE;
    }
    division->cells = cells;
    division->starts = starts;
    division->classOfCell = classOf;
    division->classCount = classes;
    division->rowWords = (classes + 31) / 32;
    division->rows = (DWORD*)ArenaTake(compiler->arena, sizeof(DWORD) * division->rowWords * compiler->setCount);
    division->classIsWord = (BYTE*)ArenaTake(compiler->arena, classes);
    division->ranges = (RegexClassRange*)ArenaTake(compiler->arena, sizeof(RegexClassRange) * cells);
    if (!division->rows || !division->classIsWord || !division->ranges) {
        CompileFail(compiler, L"out of memory", 1);
        return FALSE;
    }
    for (DWORD cell = 0; cell < cells; cell++) {
        DWORD c = starts[cell], end = starts[cell + 1], k = classOf[cell];
        for (DWORD s = 0; s < compiler->setCount; s++) {
            if (StoredHas(compiler->sets[s], c, compiler->setWords))
                division->rows[s * division->rowWords + k / 32] |= 1u << (k % 32);
        }
        division->classIsWord[k] = (BYTE)StoredHas(compiler->sets[WORD_SET], c, compiler->setWords);
        if (c == '\n')
            division->lineEndClass = k;
        if (compiler->alphabet == REGEX_ANSI) {
            division->byteClass[c] = (BYTE)k;
        } else if (c < BMP_END) {
            continue;  // by blocks, below
        } else if (division->rangeCount > 0 && division->ranges[division->rangeCount - 1].classIndex == k) {
            division->ranges[division->rangeCount - 1].last = end - 1;
        } else {
            division->ranges[division->rangeCount].first = c;
            division->ranges[division->rangeCount].last = end - 1;
            division->ranges[division->rangeCount].classIndex = k;
            division->rangeCount++;
        }
    }
    if (compiler->alphabet == REGEX_UNICODE && !DivideBasicPlane(compiler, division)) {
        CompileFail(compiler, L"out of memory", 1);
        return FALSE;
    }
    return TRUE;
}
