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
// instruction takes.
#define WORD_SET 0
#define LINE_END_SET 1

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

// An ANSI literal's bytes and whether each is compared folded: the first
// unless it directly follows a literal whose last byte is 0x80 or more, and
// every later one after a byte below 0x80, as the literal scanner takes a
// lead byte's trail. 0 bytes: the code page cannot spell it.
int LiteralBytes(const Compiler* compiler, const RegexNode* node, BOOL afterHigh, BYTE* bytes, BOOL* folded);
// Whether node is a literal written directly after an ANSI literal whose
// last byte is 0x80 or more.
BOOL AfterHighLiteral(const Compiler* compiler, const RegexNode* previous, const RegexNode* node);
