// The compiler's scratch memory: a reservation committed a step at a time.
#include "engine/regex/Arena.h"

// Committed at a time: most patterns need less than one step.
#define ARENA_STEP_BYTES (1u << 20)

BOOL ArenaOpen(RegexArena* arena, SIZE_T size)
{
    arena->base = (BYTE*)VirtualAlloc(NULL, size, MEM_RESERVE, PAGE_NOACCESS);
    arena->size = size;
    arena->used = arena->committed = 0;
    return arena->base != NULL;
}

void ArenaClose(RegexArena* arena)
{
    if (arena->base)
        VirtualFree(arena->base, 0, MEM_RELEASE);
    arena->base = NULL;
}

void* ArenaTake(RegexArena* arena, SIZE_T bytes)
{
    bytes = (bytes + 15) & ~(SIZE_T)15;
    if (bytes > arena->size - arena->used)
        return NULL;
    if (arena->used + bytes > arena->committed) {
        SIZE_T grow =
            (arena->used + bytes - arena->committed + ARENA_STEP_BYTES - 1) / ARENA_STEP_BYTES * ARENA_STEP_BYTES;
        if (grow > arena->size - arena->committed)
            grow = arena->size - arena->committed;
        if (!VirtualAlloc(arena->base + arena->committed, grow, MEM_COMMIT, PAGE_READWRITE))
            return NULL;
        arena->committed += grow;
    }
    void* taken = arena->base + arena->used;
    arena->used += bytes;
    return taken;
}
