// The platform's upper-casing as a table: every character of the basic
// plane, and those of plane 1 (where Deseret, Osage, Adlam and the other
// supplementary letters with case lie) that change. The platform is asked
// once, for all of them in two calls; its answer, not a copy of Unicode's
// case tables, is what the search folds with.
#include "engine/text/CaseFold.h"
#include "engine/text/AnsiCharacters.h"
#include "engine/text/Utf16.h"

#define BMP_CHARACTERS 0x10000
#define PLANE1_FIRST 0x10000
#define PLANE1_CHARACTERS 0x10000
// Plane 1 characters the platform upper-cases: some 130 under Wine.
#define SUPPLEMENTARY_FOLDS 1024

struct CaseFoldTable {
    WCHAR upper[BMP_CHARACTERS];
    int supplementaryCount;
    FoldPair supplementary[SUPPLEMENTARY_FOLDS];  // by from
    int sourceCount;
    FoldPair sources[1];  // every character that changes, by to then from; sourceCount of them
};

static INIT_ONCE TableMade = INIT_ONCE_STATIC_INIT;

// The platform's upper-case forms of count units; FALSE unless it maps them
// one for one.
static BOOL UpperCase(const WCHAR* from, WCHAR* to, int count)
{
    return LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, from, count, to, count, NULL, NULL, 0) == count;
}

// Fills scratch (2 * PLANE1_CHARACTERS units) with plane 1 as surrogate
// pairs; *pairs gets those the platform changes, at most SUPPLEMENTARY_FOLDS.
static int FoldPlane1(WCHAR* from, WCHAR* to, FoldPair* pairs)
{
    for (UINT32 n = 0; n < PLANE1_CHARACTERS; n++) {
        PutUtf16(PLANE1_FIRST + n, from + 2 * n);
    }
    if (!UpperCase(from, to, 2 * PLANE1_CHARACTERS))
        return 0;
    int count = 0;
    for (UINT32 n = 0; n < PLANE1_CHARACTERS && count < SUPPLEMENTARY_FOLDS; n++) {
        WCHAR high = to[2 * n], low = to[2 * n + 1];
        if (!IsHighSurrogate(high) || !IsLowSurrogate(low))
            continue;
        UINT32 folded = PairedCharacter(high, low);
        if (folded != PLANE1_FIRST + n)
            pairs[count++] = FoldPair {PLANE1_FIRST + n, folded};
    }
    return count;
}

static void SortByTarget(FoldPair* pairs, int count)
{
    for (int n = 1; n < count; n++) {
        FoldPair pair = pairs[n];
        int at = n;
        for (;
             at > 0 && (pairs[at - 1].to > pair.to || (pairs[at - 1].to == pair.to && pairs[at - 1].from > pair.from));
             at--)
            pairs[at] = pairs[at - 1];
        pairs[at] = pair;
    }
}

static BOOL CALLBACK MakeTable(INIT_ONCE*, void*, void** made)
{
    *made = NULL;
    SIZE_T scratchUnits = 2 * PLANE1_CHARACTERS;
    WCHAR* from =
        (WCHAR*)VirtualAlloc(NULL, 2 * scratchUnits * sizeof(WCHAR), MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    if (!from)
        return TRUE;
    WCHAR* to = from + scratchUnits;
    FoldPair supplementary[SUPPLEMENTARY_FOLDS];
    int supplementaryCount = FoldPlane1(from, to, supplementary);
    // The basic plane, surrogates left out: they stand for no character.
    int count = 0;
    for (UINT32 c = 0; c < BMP_CHARACTERS; c++)
        if (!IsSurrogate(c))
            from[count++] = (WCHAR)c;
    int changed = supplementaryCount;
    if (UpperCase(from, to, count)) {
        for (int n = 0; n < count; n++)
            changed += to[n] != from[n];
    } else {
        CopyMemory(to, from, count * sizeof(WCHAR));
    }
    SIZE_T bytes = sizeof(CaseFoldTable) + changed * sizeof(FoldPair);
    CaseFoldTable* table = (CaseFoldTable*)VirtualAlloc(NULL, bytes, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    if (table) {
        for (UINT32 c = 0; c < BMP_CHARACTERS; c++)
            table->upper[c] = (WCHAR)c;
        for (int n = 0; n < count; n++) {
            table->upper[from[n]] = to[n];
            if (to[n] != from[n])
                table->sources[table->sourceCount++] = FoldPair {from[n], to[n]};
        }
        table->supplementaryCount = supplementaryCount;
        for (int n = 0; n < supplementaryCount; n++) {
            table->supplementary[n] = supplementary[n];
            table->sources[table->sourceCount++] = supplementary[n];
        }
        SortByTarget(table->sources, table->sourceCount);
    }
    VirtualFree(from, 0, MEM_RELEASE);
    *made = table;
    return TRUE;
}

const CaseFoldTable* LoadCaseFold()
{
    void* table = NULL;
    if (!InitOnceExecuteOnce(&TableMade, MakeTable, NULL, &table))
        return NULL;
    return (const CaseFoldTable*)table;
}

UINT32 FoldCharacter(const CaseFoldTable* table, UINT32 c)
{
    if (!table)
        return c >= 'a' && c <= 'z' ? c - 0x20 : c;
    if (c < BMP_CHARACTERS)
        return table->upper[c];
    int low = 0, high = table->supplementaryCount;
    while (low < high) {
        int middle = (low + high) / 2;
        if (table->supplementary[middle].from < c)
            low = middle + 1;
        else
            high = middle;
    }
    return low < table->supplementaryCount && table->supplementary[low].from == c ? table->supplementary[low].to : c;
}

int FoldSources(const CaseFoldTable* table, UINT32 folded, UINT32* sources, int capacity)
{
    int count = 0;
    if (FoldCharacter(table, folded) == folded && count < capacity)
        sources[count++] = folded;
    if (!table) {
        if (folded >= 'A' && folded <= 'Z' && count < capacity)
            sources[count++] = folded + 0x20;
        return count;
    }
    int low = 0, high = table->sourceCount;
    while (low < high) {
        int middle = (low + high) / 2;
        if (table->sources[middle].to < folded)
            low = middle + 1;
        else
            high = middle;
    }
    for (; low < table->sourceCount && table->sources[low].to == folded; low++)
        if (count < capacity)
            sources[count++] = table->sources[low].from;
    return count;
}

const FoldPair* FoldChanges(const CaseFoldTable* table, int* count)
{
    *count = table ? table->sourceCount : 0;
    return table ? table->sources : NULL;
}

int UpperCaseAnsiCharacter(char* bytes, int count)
{
    const AnsiCodePage* page = AnsiCharacters();
    if (count == 1) {
        bytes[0] = (char)page->fold[(BYTE)bytes[0]];
        return 1;
    }
    // A double-byte character is compared exactly, as the text holds it.
    if (count <= 0 || count > 4 || page->kind != ANSI_UTF8)
        return count;
    char kept[4];
    CopyMemory(kept, bytes, count);
    int written = (int)CharUpperBuffA(bytes, (DWORD)count);
    if (written > 0 && written <= count)
        return written;
    CopyMemory(bytes, kept, count);
    return count;
}
