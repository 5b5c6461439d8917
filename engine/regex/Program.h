// Inside the regular-expression engine: the compiled program that the
// compiler writes and the Pike VM and the lazy DFA read.
#pragma once
#include "engine/regex/Regex.h"
#include "engine/text/Utf16.h"

// Most instructions a program may have: a Pike VM step costs up to this many
// thread moves per character, and a DFA state holds up to this many entries.
#define REGEX_MAX_INSTRUCTIONS 30000
// Work a compile may take per character of the pattern: a step for each
// part of the pattern each time a repetition copies it (a part that
// compiles to nothing too), and one for each instruction. A pattern that
// needs more is refused as too large, so that a compile ends in a time the
// pattern's length bounds, whatever it holds.
#define REGEX_STEPS_PER_CHAR 10000

enum RegexOp {
    OP_SET,     // takes one character whose class is in set arg
    OP_SPLIT,   // goes on at arg and at alt
    OP_JUMP,    // goes on at arg
    OP_ASSERT,  // goes on with the next instruction where assertion arg holds
    OP_MATCH,
};

enum RegexAssertion { ASSERT_LINE_START, ASSERT_LINE_END, ASSERT_WORD_BOUNDARY, ASSERT_NOT_WORD_BOUNDARY };

// The set of the lead bytes of a double-byte code page (empty in others),
// so that no class holds both a lead byte and another byte.
#define LEAD_SET 2

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
    BOOL reversed;  // reads the text backwards (RegexCompileReversed)
    DWORD instCount;
    const RegexInst* insts;  // starts at 0
    DWORD classCount;
    DWORD setWords;  // DWORDs per set row
    const DWORD* setBits;
    const BYTE* classIsWord;
    DWORD lineEndClass;     // CR and LF, in no set
    BYTE byteClass[256];    // ANSI
    DWORD blockStart[256];  // Unicode: where each block of 256 characters of the
    const WORD* blocks;     // basic plane has its classes; blocks alike are stored once
    DWORD rangeCount;       // Unicode, above the basic plane
    const RegexClassRange* ranges;
    RegexLiteral required;
    RegexShape shape;
    BOOL characterStarts;   // ANSI text of a double-byte code page, read forwards: a match starts
                            // only where a character does, never on the trail byte after a lead
    ULONGLONG fingerprint;  // of the whole allocation: tells a workspace whether it serves this program
};

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
