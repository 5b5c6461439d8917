// Candidate lines: a lazy DFA over the text, whose states are sets of the
// program's instructions, made when the text first needs them and kept in
// a cache of bounded size that is emptied when full. A state is the set of
// instructions waiting for a character (or for the line end) after every
// start so far in the line; it matches when the end of the program is among
// them. \b and \B always hold here, so the DFA finds every line that has a
// hit and maybe a few more.
#include "engine/regex/LazyDfa.h"
#include "engine/text/Utf16.h"

// A state in the cache, at an offset of 4 or more: its header, then a
// transition per class (TO_UNKNOWN until made, TO_LINE_END for CR and LF,
// else the offset of the next state, with TO_MATCH added when that state
// matches, so that the search loop stops for all three on one test), then its
// instructions.
#define STATE_NEXT 0  // the next state in its bucket, 0 for none
#define STATE_HASH 1
#define STATE_COUNT 2  // instructions
#define STATE_FLAGS 3
#define STATE_HEADER 4
#define TO_UNKNOWN 0
#define TO_LINE_END 1
#define TO_MATCH 0x80000000u

#define STATE_MATCH 1
#define STATE_END_KNOWN 2
#define STATE_END_MATCH 4
// Double-byte text: the state has just taken a lead byte, so the next byte
// is its trail, where no match starts (RegexProgram's characterStarts).
#define STATE_IN_CHARACTER 8

// Adds to leaves the instructions reached from pc without a character that
// wait for one, for the line end, or are the end of the program. ^ holds at
// the line start only; \b and \B always. The caller takes a fresh stamp.
static void Closure(RegexWorkspace* workspace, DWORD pc, BOOL atStart, DWORD* leaves, DWORD* count)
{
    const RegexInst* insts = workspace->program->insts;
    DWORD stamp = workspace->stamp, depth = 0;
    workspace->stack[depth++] = pc;
    while (depth > 0) {
        pc = workspace->stack[--depth];
        if (workspace->marks[pc] == stamp)
            continue;
        workspace->marks[pc] = stamp;
        const RegexInst* inst = &insts[pc];
        if (inst->op == OP_JUMP) {
            workspace->stack[depth++] = inst->arg;
        } else if (inst->op == OP_SPLIT) {
            workspace->stack[depth++] = inst->alt;
            workspace->stack[depth++] = inst->arg;
        } else if (inst->op == OP_ASSERT && inst->arg != ASSERT_LINE_END) {
            if (inst->arg != ASSERT_LINE_START || atStart)
                workspace->stack[depth++] = pc + 1;
        } else {
            leaves[(*count)++] = pc;
        }
    }
}

// Whether a match ends at the line end for a state with these instructions:
// past every $ that waits, does the program end?
static BOOL EndMatches(RegexWorkspace* workspace, const DWORD* leaves, DWORD count, BOOL atStart)
{
    const RegexInst* insts = workspace->program->insts;
    NextStamp(workspace);
    for (DWORD i = 0; i < count; i++) {
        const RegexInst* inst = &insts[leaves[i]];
        if (inst->op == OP_MATCH)
            return TRUE;
        if (inst->op != OP_ASSERT)
            continue;
        DWORD* reachedLeaves = workspace->spareLeaves;
        DWORD reached = 0;
        Closure(workspace, leaves[i] + 1, atStart, reachedLeaves, &reached);
        for (DWORD k = 0; k < reached; k++) {
            const RegexInst* next = &insts[reachedLeaves[k]];
            if (next->op == OP_MATCH)
                return TRUE;
            // A further $ holds here too.
            if (next->op == OP_ASSERT)
                Closure(workspace, reachedLeaves[k] + 1, atStart, reachedLeaves, &reached);
        }
    }
    return FALSE;
}

static DWORD HashLeaves(const DWORD* leaves, DWORD count)
{
    DWORD hash = 2166136261u;
    for (DWORD i = 0; i < count; i++)
        hash = (hash ^ leaves[i]) * 16777619u;
    return hash;
}

static void EmptyCache(RegexWorkspace* workspace)
{
    ZeroMemory(workspace->buckets, sizeof(DWORD) * REGEX_DFA_BUCKETS);
    workspace->cacheUsed = STATE_HEADER;
}

// The state of these instructions (inside a character or not), made if the
// cache lacks it; 0 when the cache has no room for it.
static DWORD StateOf(RegexWorkspace* workspace, const DWORD* leaves, DWORD count, DWORD inCharacter)
{
    DWORD* cache = workspace->cache;
    DWORD hash = HashLeaves(leaves, count) ^ inCharacter;
    DWORD* bucket = &workspace->buckets[hash % REGEX_DFA_BUCKETS];
    DWORD classes = workspace->program->classCount;
    for (DWORD s = *bucket; s; s = cache[s + STATE_NEXT]) {
        if (cache[s + STATE_HASH] != hash || cache[s + STATE_COUNT] != count ||
            (cache[s + STATE_FLAGS] & STATE_IN_CHARACTER) != inCharacter)
            continue;
        const DWORD* held = cache + s + STATE_HEADER + classes;
        DWORD i = 0;
        while (i < count && held[i] == leaves[i])
            i++;
        if (i == count)
            return s;
    }
    DWORD words = STATE_HEADER + classes + count;
    if (words > workspace->cacheWords - workspace->cacheUsed)
        return 0;
    DWORD s = workspace->cacheUsed;
    workspace->cacheUsed += words;
    workspace->statesMade++;
    DWORD* state = cache + s;
    state[STATE_NEXT] = *bucket;
    state[STATE_HASH] = hash;
    state[STATE_COUNT] = count;
    state[STATE_FLAGS] = inCharacter;
    for (DWORD k = 0; k < classes; k++)
        state[STATE_HEADER + k] = TO_UNKNOWN;
    state[STATE_HEADER + workspace->program->lineEndClass] = TO_LINE_END;
    for (DWORD i = 0; i < count; i++) {
        state[STATE_HEADER + classes + i] = leaves[i];
        if (workspace->program->insts[leaves[i]].op == OP_MATCH)
            state[STATE_FLAGS] |= STATE_MATCH;
    }
    *bucket = s;
    return s;
}

// The line-start state, made anew after the cache was emptied. A state too
// large for the whole cache makes the DFA give up.
static void MakeInitial(RegexWorkspace* workspace)
{
    DWORD count = 0;
    NextStamp(workspace);
    Closure(workspace, 0, TRUE, workspace->leaves, &count);
    workspace->initial = StateOf(workspace, workspace->leaves, count, 0);
    if (!workspace->initial)
        workspace->gaveUp = TRUE;
}

void DfaBegin(RegexWorkspace* workspace)
{
    EmptyCache(workspace);
    workspace->startCount = 0;
    NextStamp(workspace);
    Closure(workspace, 0, FALSE, workspace->startLeaves, &workspace->startCount);
    DWORD count = 0;
    NextStamp(workspace);
    Closure(workspace, 0, TRUE, workspace->leaves, &count);
    workspace->initialEndMatches = EndMatches(workspace, workspace->leaves, count, TRUE);
    MakeInitial(workspace);
    workspace->initialMatches = (workspace->cache[workspace->initial + STATE_FLAGS] & STATE_MATCH) != 0;
    RegexFindBegin(workspace);
}

// The state after state s takes a character of class k: the instructions
// that take it, followed, and a start at the next position, unless that is
// the trail of a lead byte. Empties the cache when it is full; the caller
// must forget every other state then.
static DWORD Transition(RegexWorkspace* workspace, DWORD s, DWORD k)
{
    const RegexProgram* program = workspace->program;
    DWORD* cache = workspace->cache;
    DWORD count = 0, stamp = NextStamp(workspace);
    DWORD inCharacter =
        program->characterStarts && !(cache[s + STATE_FLAGS] & STATE_IN_CHARACTER) && SetHolds(program, LEAD_SET, k)
            ? STATE_IN_CHARACTER
            : 0;
    const DWORD* held = cache + s + STATE_HEADER + program->classCount;
    for (DWORD i = 0; i < cache[s + STATE_COUNT]; i++) {
        const RegexInst* inst = &program->insts[held[i]];
        if (inst->op == OP_SET && SetHolds(program, inst->arg, k))
            Closure(workspace, held[i] + 1, FALSE, workspace->leaves, &count);
    }
    for (DWORD i = 0; !inCharacter && i < workspace->startCount; i++) {
        DWORD pc = workspace->startLeaves[i];
        if (workspace->marks[pc] != stamp) {
            workspace->marks[pc] = stamp;
            workspace->leaves[count++] = pc;
        }
    }
    DWORD next = StateOf(workspace, workspace->leaves, count, inCharacter);
    if (next) {
        cache[s + STATE_HEADER + k] = next | ((cache[next + STATE_FLAGS] & STATE_MATCH) ? TO_MATCH : 0);
        return next;
    }
    workspace->flushes++;
    BOOL slow =
        workspace->taken - workspace->takenAtFlush < (ULONGLONG)REGEX_DFA_CHARS_PER_STATE * workspace->statesMade;
    workspace->slowFlushes = slow ? workspace->slowFlushes + 1 : 0;
    workspace->takenAtFlush = workspace->taken;
    workspace->statesMade = 0;
    // The reversed program's DFA keeps on: without it the matcher would
    // have to run from the line's start, which costs as much per character
    // as a state made for each, and runs over the whole line too.
    if (workspace->slowFlushes >= REGEX_DFA_SLOW_FLUSHES && !workspace->program->reversed)
        workspace->gaveUp = TRUE;
    EmptyCache(workspace);
    // The initial state goes first: then it fits whatever follows.
    CopyMemory(workspace->spareLeaves, workspace->leaves, sizeof(DWORD) * count);
    MakeInitial(workspace);
    next = workspace->gaveUp ? 0 : StateOf(workspace, workspace->spareLeaves, count, inCharacter);
    if (!next)
        workspace->gaveUp = TRUE;
    return next;
}

void RegexFindBegin(RegexWorkspace* workspace)
{
    workspace->state = workspace->initial;
    workspace->lineFresh = TRUE;
    workspace->lineStartPending = TRUE;
    workspace->afterCR = FALSE;
    workspace->findHigh = 0;
}

// A line end: whether a match ends there. The search goes on with the next
// line either way.
static BOOL LineEnds(RegexWorkspace* workspace, BOOL carriageReturn)
{
    BOOL matches;
    if (workspace->lineFresh) {
        matches = workspace->initialEndMatches;
    } else {
        DWORD* state = workspace->cache + workspace->state;
        if (!(state[STATE_FLAGS] & STATE_END_KNOWN)) {
            DWORD classes = workspace->program->classCount;
            state[STATE_FLAGS] |= STATE_END_KNOWN;
            // A lead byte before the line end is a character: a match may
            // start after it.
            if (EndMatches(workspace, state + STATE_HEADER + classes, state[STATE_COUNT], FALSE) ||
                ((state[STATE_FLAGS] & STATE_IN_CHARACTER) &&
                 EndMatches(workspace, workspace->startLeaves, workspace->startCount, FALSE)))
                state[STATE_FLAGS] |= STATE_END_MATCH;
        }
        matches = (state[STATE_FLAGS] & STATE_END_MATCH) != 0;
    }
    RegexFindBegin(workspace);
    workspace->afterCR = carriageReturn;
    return matches;
}

// Takes one character in the slow way; TRUE when a match ends after it, or
// may: the DFA gave up.
static BOOL Take(RegexWorkspace* workspace, DWORD c)
{
    workspace->taken++;
    DWORD k = ClassOf(workspace->program, c);
    DWORD next = workspace->cache[workspace->state + STATE_HEADER + k];
    if (next == TO_UNKNOWN)
        next = Transition(workspace, workspace->state, k);
    if (workspace->gaveUp)
        return TRUE;
    next &= ~TO_MATCH;
    workspace->state = next;
    workspace->lineFresh = FALSE;
    return (workspace->cache[next + STATE_FLAGS] & STATE_MATCH) != 0;
}

// At a line start, where first is the unit there (REGEX_NO_CHAR at the end
// of the piece): moves *p past the LF of a CR LF whose CR ended the last
// line, and tells whether a match ends at the line start. The check waits
// (lineStartPending stays) when the piece ends right after a CR.
static BOOL LineStartMatches(RegexWorkspace* workspace, DWORD first, ULONGLONG* p)
{
    if (workspace->afterCR) {
        if (first == REGEX_NO_CHAR)
            return FALSE;
        if (first == '\n')
            (*p)++;
        workspace->afterCR = FALSE;
    }
    workspace->lineStartPending = FALSE;
    return workspace->initialMatches;
}

// The class of a unit for the search loop; a surrogate (SLOW) goes the slow
// way, as half a character.
#define SLOW 0xFFFFFFFFu

static inline DWORD FastClass(const RegexProgram* program, BYTE unit)
{
    return program->byteClass[unit];
}

static inline DWORD FastClass(const RegexProgram* program, WCHAR unit)
{
    if (IsSurrogate(unit))
        return SLOW;
    return program->blocks[program->blockStart[unit >> 8] + (unit & 0xFF)];
}

// The search over bytes or UTF-16 units: a tight loop while the
// transitions are made and lead to no match, the rest one character at a
// time.
template <typename Unit>
static ULONGLONG Find(RegexWorkspace* workspace, const Unit* text, ULONGLONG from, ULONGLONG to)
{
    const RegexProgram* program = workspace->program;
    const DWORD* transitions = workspace->cache + STATE_HEADER;
    ULONGLONG p = from;
    if (workspace->gaveUp)
        return from;
    for (;;) {
        if (workspace->lineStartPending && LineStartMatches(workspace, p < to ? text[p] : REGEX_NO_CHAR, &p))
            return p;
        if (workspace->lineStartPending)
            return REGEX_NONE;  // the unit after a CR is in the next piece
        if (workspace->findHigh) {
            // A high surrogate from the last piece: a pair with this unit, or alone.
            if (p == to)
                return REGEX_NONE;
            DWORD c = workspace->findHigh;
            workspace->findHigh = 0;
            if (IsLowSurrogate(text[p]))
                c = PairedCharacter(c, text[p++]);
            if (Take(workspace, c))
                return p;
            continue;
        }
        DWORD s = workspace->state, next = TO_UNKNOWN;
        ULONGLONG begin = p;
        for (; p < to; p++) {
            DWORD k = FastClass(program, text[p]);
            if (k == SLOW) {
                next = TO_UNKNOWN;
                break;
            }
            next = transitions[s + k];
            if ((int)next <= TO_LINE_END)
                break;
            s = next;
        }
        workspace->state = s;
        workspace->taken += p - begin;
        if (p > begin)
            workspace->lineFresh = FALSE;
        if (p == to)
            return REGEX_NONE;
        DWORD c = text[p];
        if (next == TO_LINE_END) {
            if (LineEnds(workspace, c == '\r'))
                return p;
            p++;
            continue;
        }
        p++;
        if (sizeof(Unit) == sizeof(WCHAR) && IsHighSurrogate(c)) {
            if (p == to) {
                workspace->findHigh = c;
                return REGEX_NONE;
            }
            if (IsLowSurrogate(text[p]))
                c = PairedCharacter(c, text[p++]);
        }
        if (Take(workspace, c))
            return p;
    }
}

ULONGLONG RegexFindBytes(RegexWorkspace* workspace, const BYTE* text, ULONGLONG from, ULONGLONG to)
{
    return Find(workspace, text, from, to);
}

ULONGLONG RegexFindUnits(RegexWorkspace* workspace, const WCHAR* text, ULONGLONG from, ULONGLONG to)
{
    return Find(workspace, text, from, to);
}

template <typename Unit> static ULONGLONG LastEnd(RegexWorkspace* workspace, const Unit* text, ULONGLONG length)
{
    ULONGLONG last = REGEX_NONE;
    RegexFindBegin(workspace);
    for (ULONGLONG end = 0; !workspace->gaveUp && (end = Find(workspace, text, end, length)) != REGEX_NONE;)
        last = end;
    return RegexFindAtEnd(workspace) ? length : last;
}

ULONGLONG RegexLastEndBytes(RegexWorkspace* workspace, const BYTE* text, ULONGLONG length)
{
    return LastEnd(workspace, text, length);
}

ULONGLONG RegexLastEndUnits(RegexWorkspace* workspace, const WCHAR* text, ULONGLONG length)
{
    return LastEnd(workspace, text, length);
}

BOOL RegexFindAtEnd(RegexWorkspace* workspace)
{
    if (workspace->gaveUp)
        return TRUE;
    if (workspace->findHigh) {
        DWORD c = workspace->findHigh;
        workspace->findHigh = 0;
        if (Take(workspace, c))
            return TRUE;
    }
    if (workspace->lineStartPending || workspace->lineFresh)
        return workspace->initialEndMatches;
    return LineEnds(workspace, FALSE);
}

BOOL RegexDfaGaveUp(const RegexWorkspace* workspace)
{
    return workspace->gaveUp;
}

void RegexNewText(RegexWorkspace* workspace)
{
    if (!workspace->gaveUp)
        return;
    workspace->gaveUp = FALSE;
    workspace->slowFlushes = 0;
    workspace->statesMade = 0;
    workspace->takenAtFlush = workspace->taken;
    EmptyCache(workspace);
    MakeInitial(workspace);
    RegexFindBegin(workspace);
}
