// Inside the regular-expression engine: the compiled program that the
// compiler writes and the VM and the DFA read, and the compiler's scratch
// memory.
#pragma once
#include "engine/Regex.h"

// Most instructions a program may have: a Pike VM step costs up to this many
// thread moves per character, and a DFA state holds up to this many entries.
#define REGEX_MAX_INSTRUCTIONS 30000

enum RegexOp {
    OP_SET,     // takes one character whose class is in set arg
    OP_SPLIT,   // goes on at arg and at alt
    OP_JUMP,    // goes on at arg
    OP_ASSERT,  // goes on with the next instruction where assertion arg holds
    OP_MATCH,
};

enum RegexAssertion { ASSERT_LINE_START, ASSERT_LINE_END, ASSERT_WORD_BOUNDARY, ASSERT_NOT_WORD_BOUNDARY };

struct RegexInst {
    DWORD op;
    DWORD arg;
    DWORD alt;
};

// Characters outside the basic plane, by ranges, to their class.
struct RegexClassRange {
    DWORD first;
    DWORD last;
    DWORD classIndex;
};

// One allocation holds the program and every table it points to. Characters
// fall into classes that no set tells apart; each set is a row of bits over
// the classes.
struct RegexProgram {
    RegexAlphabet alphabet;
    DWORD instCount;
    const RegexInst* insts;  // starts at 0
    DWORD classCount;
    DWORD setWords;          // DWORDs per set row
    const DWORD* setBits;
    const BYTE* classIsWord;
    DWORD lineEndClass;      // CR and LF, in no set
    BYTE byteClass[256];     // ANSI
    DWORD blockStart[256];   // Unicode: where each block of 256 characters of the
    const WORD* blocks;      // basic plane has its classes; blocks alike are stored once
    DWORD rangeCount;        // Unicode, above the basic plane
    const RegexClassRange* ranges;
    RegexLiteral required;
    ULONGLONG fingerprint;   // of the whole allocation: tells a workspace whether it serves this program
};

inline BOOL IsHighSurrogate(DWORD unit)
{
    return unit >= 0xD800 && unit <= 0xDBFF;
}

inline BOOL IsLowSurrogate(DWORD unit)
{
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

// The character of a surrogate pair.
inline DWORD PairedCharacter(DWORD high, DWORD low)
{
    return 0x10000 + ((high - 0xD800) << 10) + (low - 0xDC00);
}

inline BOOL SetHolds(const RegexProgram* program, DWORD set, DWORD classIndex)
{
    return (program->setBits[set * program->setWords + classIndex / 32] >> (classIndex % 32)) & 1;
}

inline DWORD ClassOf(const RegexProgram* program, DWORD c)
{
    if (program->alphabet == REGEX_ANSI)
        return program->byteClass[c];
    if (c < 0x10000)
        return program->blocks[program->blockStart[c >> 8] + (c & 0xFF)];
    DWORD low = 0, high = program->rangeCount;
    while (high - low > 1) {
        DWORD middle = (low + high) / 2;
        if (program->ranges[middle].first <= c)
            low = middle;
        else
            high = middle;
    }
    return program->ranges[low].classIndex;
}

// The compiler's scratch memory: one reservation, committed as it fills and
// released whole. Memory it hands out is zero-filled. It takes a fixed part
// (instructions, set index, an ANSI byte tree) and a part per character of
// the pattern (a Unicode set is 8 KiB); reserving far more would cost time.
#define REGEX_SCRATCH_FIXED_BYTES (4u << 20)
#define REGEX_SCRATCH_CHAR_BYTES (16u << 10)

struct RegexArena {
    BYTE* base;
    SIZE_T size;
    SIZE_T used;
    SIZE_T committed;
};

BOOL ArenaOpen(RegexArena* arena, SIZE_T size);
void ArenaClose(RegexArena* arena);
// NULL when the reservation is full or the system refuses memory.
void* ArenaTake(RegexArena* arena, SIZE_T bytes);

// Bytes of a workspace's DFA cache: states and their transitions. When it is
// full it is emptied and refilled as the search goes on, so a search costs at
// most one state's construction per character.
#define REGEX_DFA_CACHE_BYTES (2u << 20)
#define REGEX_DFA_BUCKETS 4096

// A character of a line as the VM steps over it: the character, its class,
// and the units it takes (a surrogate pair takes 2). c is REGEX_NO_CHAR at
// the line end.
struct RegexChar {
    DWORD c;
    DWORD classIndex;
    DWORD units;
};

struct RegexThread {
    DWORD pc;
    ULONGLONG start;
};

struct RegexWorkspace {
    const RegexProgram* program;
    ULONGLONG fingerprint;  // the program's when the workspace was made
    DWORD* marks;  // the stamp at which each instruction was last reached
    DWORD stamp;
    DWORD* stack;  // 2 entries per instruction and 2 more
    // The VM, for one line: threads that stepped over the last character,
    // and the threads of the current position, both in the order of their
    // starts.
    DWORD* firstClasses;     // the classes that some match can begin with
    BOOL startMatchesEmpty;  // a match may be empty (assertions taken as true)
    RegexThread* stepped;
    DWORD steppedCount;
    RegexThread* closed;
    DWORD closedCount;
    DWORD options;
    ULONGLONG offset;  // of the current position in the line
    ULONGLONG best;    // the earliest start that matched, or REGEX_NONE
    BOOL commentReached;
    BOOL inString;
    DWORD quote;
    BOOL settled;
    RegexChar previous;  // the character before the current position
    RegexChar current;   // the character at it, waiting for the next one
    BOOL haveCurrent;
    DWORD lineHigh;      // a high surrogate waiting for the next piece, or 0
    // The DFA: states in the cache (see RegexDfa.cpp), the state of the
    // search, and what the line start tells.
    DWORD* cache;
    DWORD cacheUsed;
    DWORD* buckets;
    DWORD* leaves;       // a state being made
    DWORD* spareLeaves;  // instructions past a $, or a state kept while the cache empties
    DWORD* startLeaves;  // a match starting at a position after the line start
    DWORD startCount;
    DWORD initial;
    DWORD state;
    BOOL initialMatches;     // a match ends at the line start
    BOOL initialEndMatches;  // an empty line matches
    BOOL lineFresh;          // no character of the line taken yet
    BOOL lineStartPending;   // the line start is still to be checked
    BOOL afterCR;            // the last line ended with a CR: an LF may follow
    DWORD findHigh;          // a high surrogate waiting for the next piece, or 0
    ULONGLONG flushes;       // times the cache was emptied, for tests
};

// A fresh stamp for the marks.
inline DWORD NextStamp(RegexWorkspace* workspace)
{
    if (++workspace->stamp == 0) {
        ZeroMemory(workspace->marks, sizeof(DWORD) * workspace->program->instCount);
        workspace->stamp = 1;
    }
    return workspace->stamp;
}

// Sets up the DFA part of a fresh workspace.
void DfaBegin(RegexWorkspace* workspace);
