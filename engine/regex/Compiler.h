// Inside the regular-expression engine: the compiler's state, shared by the
// instruction emitter (Compiler.cpp), the character sets (CharSets.cpp), the
// division into classes (CharClasses.cpp) and the required literal
// (RequiredLiteral.cpp).
#pragma once
#include "engine/regex/Arena.h"
#include "engine/regex/Parser.h"
#include "engine/text/AnsiCharacters.h"

// The end of the basic plane and of all characters.
#define BMP_END 0x10000u
#define PLANES_END 0x110000u

struct StoredSet;
struct CharSet;
struct ByteTree;

struct Compiler {
    RegexArena* arena;
    RegexError* error;
    BOOL failed;
    int blame;        // the position a "too large" message names
    int repeatDepth;  // repetitions being emitted
    DWORD steps;      // the work so far (REGEX_STEPS_PER_CHAR)
    DWORD stepBudget;
    RegexAlphabet alphabet;
    BOOL matchCase;
    BOOL utf8;        // the ANSI code page is UTF-8
    BOOL doubleByte;  // ANSI, a double-byte code page: a set takes whole characters
    const AnsiCodePage* ansi;
    DWORD setWords;  // 8 (ANSI) or BMP_WORDS
    RegexInst* insts;
    DWORD instCount;
    StoredSet** sets;
    DWORD setCount;
    StoredSet** buckets;
    CharSet* scratch[3];
    ByteTree* tree;
    DWORD treeCount;
    BOOL reversed;  // the program reads the text backwards (RegexCompileReversed)
};

// Fails the compile with "what at position N", the first failure only.
inline void CompileFail(Compiler* compiler, const WCHAR* what, int position)
{
    if (!compiler->failed)
        RegexFail(compiler->error, what, position);
    compiler->failed = TRUE;
}

// Counts a step of the compile's work; FALSE, the compile failed as too
// large, once the pattern's budget is spent.
inline BOOL Spend(Compiler* compiler)
{
    if (compiler->failed)
        return FALSE;
    if (++compiler->steps <= compiler->stepBudget)
        return TRUE;
    CompileFail(compiler, L"pattern too large", compiler->blame);
    return FALSE;
}
