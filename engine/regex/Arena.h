// Inside the regular-expression engine: the compiler's scratch memory, which
// the parser's tree and the compiler's tables take their room from.
#pragma once
#include <windows.h>

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
