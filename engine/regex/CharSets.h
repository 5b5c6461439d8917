// Inside the regular-expression engine: the character sets of a pattern,
// spelled in the program's alphabet and folded unless it matches case.
#pragma once
#include "engine/regex/Compiler.h"

// Words of a set of the basic plane's characters; an ANSI set uses the first
// 8 (256 bytes).
#define BMP_WORDS 2048
// Ranges above the basic plane that one set may hold: every one comes from
// characters of the pattern.
#define SET_RANGES 2048
// Byte-sequence tree nodes that the classes of one ANSI pattern may need
// for their members of several bytes.
#define MAX_TREE_NODES 4096

// A set being built: bits for the basic plane (or the 256 bytes) and sorted,
// disjoint ranges above it.
struct CharSet {
    DWORD words[BMP_WORDS];
    DWORD rangeCount;
    DWORD ranges[SET_RANGES][2];
};

// A set kept for the program, stored once however often it is used.
struct StoredSet {
    DWORD hash;
    DWORD rangeCount;
    DWORD* words;
    DWORD* ranges;  // first, last pairs
    StoredSet* next;
    DWORD index;
};

// The multi-byte members of an ANSI class, as a tree of bytes: the members
// that end with one more byte, and the nodes that continue them.
struct ByteTree {
    DWORD ends[8];
    WORD children[256];  // node index, 0 for none
};

// Set 0 is the word characters, set 1 the line-end characters, which no
// instruction takes, set 2 (LEAD_SET, Program.h) the lead bytes.
#define WORD_SET 0
#define LINE_END_SET 1
// No set: a part of a character set that takes nothing.
#define NO_SET 0xFFFFFFFFu

// One character of double-byte ANSI text as a set takes it, in parts: the
// characters of one byte (singles), lead bytes standing alone before a line
// end (loneLeads), lead bytes with any byte after them (allTrails), and the
// double-byte characters of a byte tree: those it holds, or (excludes) those
// of its leads that it does not hold. Single-byte text has only singles and
// the tree of a class's members of several bytes.
struct CharacterParts {
    DWORD singles;
    DWORD loneLeads;
    DWORD allTrails;
    DWORD tree;
    BOOL excludes;
};

inline BOOL SetHas(const CharSet* set, DWORD c)
{
    return (set->words[c / 32] >> (c % 32)) & 1;
}

inline void SetAdd(CharSet* set, DWORD c)
{
    set->words[c / 32] |= 1u << (c % 32);
}

// Prepares the sets: the tables, the word and line-end sets.
BOOL SetsBegin(Compiler* compiler);
// Empties a scratch set.
void SetClear(const Compiler* compiler, CharSet* set);
// Stores a finished set (without CR and LF) and gives its index.
DWORD SetStore(Compiler* compiler, CharSet* set);

// The invariant upper case of a character.
DWORD UnicodeUpper(DWORD c);

// The bytes that spell character c in the ANSI code page, upper-cased unless
// the compiler matches case; 0 when the code page cannot spell it exactly.
int AnsiSpelling(const Compiler* compiler, DWORD c, BYTE* bytes);
// Byte b of a \xHH, folded unless the compiler matches case.
BYTE AnsiByte(const Compiler* compiler, BYTE b);

// The set of one byte of an ANSI literal: b, and every byte that folds to it
// where folded.
DWORD SetOfByte(Compiler* compiler, BYTE b, BOOL folded);
// The set of any byte but a line end and those of but (256 bits; NULL for
// none): a trail byte of double-byte text.
DWORD SetOfAnyByte(Compiler* compiler, const DWORD* but);
// The set of a Unicode literal character.
DWORD SetOfCharacter(Compiler* compiler, DWORD c);
// ".", an escape (\d \w \s and their negations) and a class, in parts (a
// lone lead byte \xHH of double-byte text is a set of its own). FALSE after
// an error. For Unicode and single-byte text only singles (and for a class
// a tree of members of several bytes) are set.
BOOL SetOfAny(Compiler* compiler, CharacterParts* parts);
BOOL SetOfEscape(Compiler* compiler, DWORD escape, BOOL negated, CharacterParts* parts);
BOOL SetOfLeadByte(Compiler* compiler, BYTE lead, CharacterParts* parts);
BOOL SetOfClass(Compiler* compiler, const RegexNode* node, CharacterParts* parts);

// An ANSI literal's bytes and whether each is compared folded: a character
// of one byte folds, the bytes of a longer one are compared as they stand.
// 0 bytes: the code page cannot spell it.
int LiteralBytes(const Compiler* compiler, const RegexNode* node, BYTE* bytes, BOOL* folded);
