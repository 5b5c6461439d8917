// Inside the regular-expression engine: the compiler's state, shared by the
// instruction emitter (RegexCompile.cpp) and the character sets
// (RegexSets.cpp).
#pragma once
#include "engine/RegexSyntax.h"

// The end of the basic plane and of all characters.
#define BMP_END 0x10000u
#define PLANES_END 0x110000u

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
// instruction takes.
#define WORD_SET 0
#define LINE_END_SET 1

struct Compiler {
    RegexArena* arena;
    RegexError* error;
    BOOL failed;
    int blame;        // the position a "too large" message names
    int repeatDepth;  // repetitions being emitted
    RegexAlphabet alphabet;
    BOOL matchCase;
    BOOL utf8;        // the ANSI code page is UTF-8
    BOOL singleByte;  // the ANSI code page spells each character with one byte
    DWORD setWords;   // 8 (ANSI) or BMP_WORDS
    RegexInst* insts;
    DWORD instCount;
    StoredSet** sets;
    DWORD setCount;
    StoredSet** buckets;
    CharSet* scratch[3];
    ByteTree* tree;
    DWORD treeCount;
    BOOL reversed;    // the program reads the text backwards (RegexCompileReversed)
};

void CompileFail(Compiler* compiler, const WCHAR* what, int position);

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
// Byte b of a \xHH, upper-cased unless the compiler matches case.
BYTE AnsiByte(const Compiler* compiler, BYTE b);

// The set of one byte of an ANSI literal: b, and its lower-case letter too
// where folded.
DWORD SetOfByte(Compiler* compiler, BYTE b, BOOL folded);
// The set of a Unicode literal character.
DWORD SetOfCharacter(Compiler* compiler, DWORD c);
DWORD SetOfAny(Compiler* compiler);
DWORD SetOfEscape(Compiler* compiler, DWORD escape, BOOL negated);
// A class. ANSI: the set of its single bytes; its members of several bytes
// (not for a negated class) go into a byte tree whose root node is *tree, or
// 0 when it has none. FALSE after an error.
BOOL SetOfClass(Compiler* compiler, const RegexNode* node, DWORD* set, DWORD* tree);

// The characters divided into classes that no set tells apart: cells of
// characters in a row that every set holds whole or not at all, and the
// class of each.
struct Division {
    DWORD cells;
    DWORD* starts;       // the first character of each cell, and the end
    DWORD* classOfCell;
    DWORD classCount;
    DWORD rowWords;      // DWORDs per set row
    DWORD* rows;         // for each set, a bit per class it holds
    BYTE* classIsWord;
    DWORD lineEndClass;
    BYTE byteClass[256];  // ANSI
    DWORD blockStart[256];  // Unicode, the basic plane by blocks of 256
    DWORD blockCount;       // distinct blocks
    WORD* blocks;
    DWORD rangeCount;     // Unicode, above the basic plane
    RegexClassRange* ranges;
};

// Divides the characters by the sets stored so far; FALSE after an error.
BOOL SetsDivide(Compiler* compiler, Division* division);
