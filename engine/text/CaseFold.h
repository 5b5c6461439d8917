// Case folding of Unicode characters: the platform's own upper-casing
// (LCMapStringEx with the invariant locale and LCMAP_UPPERCASE), one
// character at a time, as a table made once per process and only read after;
// and the platform's ANSI upper-casing of one character.
// When case does not matter, the Unicode scan folds both the text and the
// search text with it, so "é" finds "É" and Greek and Cyrillic letters fold
// too; ANSI text folds its one-byte characters by the code page
// (engine/text/AnsiCharacters.h). Any search that compares Unicode
// characters without regard to case folds them here.
#pragma once
#include <windows.h>

struct CaseFoldTable;

// A character that the upper-casing changes, and its upper-case form.
struct FoldPair {
    UINT32 from;
    UINT32 to;
};

// The table, made on first use by any thread; NULL without memory, in which
// case FoldCharacter folds only "a" to "z".
const CaseFoldTable* LoadCaseFold();

// The upper-case form of character c (a code point; a lone surrogate stays
// as it is).
UINT32 FoldCharacter(const CaseFoldTable* table, UINT32 c);

// The characters whose upper-case form is folded (folded itself among them
// when it is its own upper-case form), at most capacity of them into
// sources; returns how many it wrote. There are at most a few for any
// character.
int FoldSources(const CaseFoldTable* table, UINT32 folded, UINT32* sources, int capacity);

// Every character that the upper-casing changes, in the basic plane and
// above it, with its upper-case form; *count of them (none without a table).
const FoldPair* FoldChanges(const CaseFoldTable* table, int* count);

// The platform's ANSI upper-casing of one character's count bytes (at most
// 4), in place; returns the bytes of the result. A character of one byte
// folds as ANSI text folds it (engine/text/AnsiCharacters.h); a double-byte
// character stays as it is, compared exactly. In UTF-8 CharUpperBuffA
// writes in place: where the upper-case form takes more bytes (U+0250 to
// U+2C6F) it cannot, and the character stays as it is; where it takes fewer
// (U+2C65 to U+023A) only those bytes count. Upper-cased a character at a
// time, a text keeps every character.
int UpperCaseAnsiCharacter(char* bytes, int count);
