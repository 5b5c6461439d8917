// Inside the regular-expression engine: a scanning thread's state for one
// program, which the Pike VM and the lazy DFA share.
#pragma once
#include "engine/regex/Program.h"
#include "engine/text/LineRules.h"

// The DFA's cache holds states and their transitions. When it is full it is
// emptied and refilled as the search goes on, so a search costs at most one
// state's construction per character; when that is what it costs, the DFA
// gives up (Regex.h).
#define REGEX_DFA_BUCKETS 4096
// A flush is slow when the cache served fewer characters than this for each
// state made in it; the DFA gives up after this many slow ones in a row.
#define REGEX_DFA_CHARS_PER_STATE 10
#define REGEX_DFA_SLOW_FLUSHES 3

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
    DWORD* marks;           // the stamp at which each instruction was last reached
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
    BOOL startsOver;  // REGEX_ONE_START: the one start was made
    LineRules rules;
    BOOL settled;
    RegexChar previous;  // the character before the current position
    RegexChar current;   // the character at it, waiting for the next one
    BOOL haveCurrent;
    BOOL inTrail;    // the current byte is the trail of a lead byte (characterStarts)
    DWORD lineHigh;  // a high surrogate waiting for the next piece, or 0
    // The DFA: states in the cache (see LazyDfa.cpp), the state of the
    // search, and what the line start tells.
    DWORD* cache;
    DWORD cacheWords;
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
    ULONGLONG taken;         // characters the DFA took
    ULONGLONG takenAtFlush;  // and took before the cache was last emptied
    DWORD statesMade;        // since then
    DWORD slowFlushes;       // in a row
    BOOL gaveUp;
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
