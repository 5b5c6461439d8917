// The exact first hit of a line: a Pike VM that runs every thread of the
// program in step over the line's characters, threads kept in the order of
// their starts, so the first to reach the end of the program has the
// leftmost start. A start is admitted by the line scanner's rules, tracked
// position by position as the literal scanner tracks them.
#include "engine/RegexProgram.h"

#define DFA_CACHE_WORDS (REGEX_DFA_CACHE_BYTES / sizeof(DWORD))

// What a match can begin with: every set the program can take first, and
// whether it can end before taking any, with all assertions taken as true.
// A position where no thread runs and whose character begins no match is
// passed over quickly.
static void FindFirstClasses(RegexWorkspace* workspace)
{
    const RegexProgram* program = workspace->program;
    DWORD stamp = NextStamp(workspace), depth = 0;
    workspace->stack[depth++] = 0;
    while (depth > 0) {
        DWORD pc = workspace->stack[--depth];
        if (workspace->marks[pc] == stamp)
            continue;
        workspace->marks[pc] = stamp;
        const RegexInst* inst = &program->insts[pc];
        if (inst->op == OP_JUMP) {
            workspace->stack[depth++] = inst->arg;
        } else if (inst->op == OP_SPLIT) {
            workspace->stack[depth++] = inst->alt;
            workspace->stack[depth++] = inst->arg;
        } else if (inst->op == OP_ASSERT) {
            workspace->stack[depth++] = pc + 1;
        } else if (inst->op == OP_MATCH) {
            workspace->startMatchesEmpty = TRUE;
        } else {
            for (DWORD i = 0; i < program->setWords; i++)
                workspace->firstClasses[i] |= program->setBits[inst->arg * program->setWords + i];
        }
    }
}

RegexWorkspace* RegexWorkspaceAlloc(const RegexProgram* program)
{
    SIZE_T m = program->instCount;
    SIZE_T bytes = sizeof(RegexWorkspace) + 2 * m * sizeof(RegexThread) +
                   (m + 2 * m + 2 + 3 * m + REGEX_DFA_BUCKETS + DFA_CACHE_WORDS + program->setWords) * sizeof(DWORD) + 64;
    BYTE* block = (BYTE*)VirtualAlloc(NULL, bytes, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
    if (!block)
        return NULL;
    RegexWorkspace* workspace = (RegexWorkspace*)block;
    workspace->program = program;
    workspace->fingerprint = program->fingerprint;
    BYTE* at = block + sizeof(RegexWorkspace);
    at += (16 - (ULONG_PTR)at % 16) % 16;
    workspace->stepped = (RegexThread*)at;
    at += m * sizeof(RegexThread);
    workspace->closed = (RegexThread*)at;
    at += m * sizeof(RegexThread);
    DWORD* words = (DWORD*)at;
    workspace->marks = words;
    workspace->stack = words += m;
    workspace->leaves = words += 2 * m + 2;
    workspace->spareLeaves = words += m;
    workspace->startLeaves = words += m;
    workspace->buckets = words += m;
    workspace->cache = words += REGEX_DFA_BUCKETS;
    workspace->firstClasses = words += DFA_CACHE_WORDS;
    FindFirstClasses(workspace);
    DfaBegin(workspace);
    return workspace;
}

BOOL RegexWorkspaceServes(const RegexWorkspace* workspace, const RegexProgram* program)
{
    return workspace && workspace->program == program && workspace->fingerprint == program->fingerprint;
}

void RegexWorkspaceFree(RegexWorkspace* workspace)
{
    if (workspace)
        VirtualFree(workspace, 0, MEM_RELEASE);
}

static BOOL IsWord(const RegexWorkspace* workspace, const RegexChar* c)
{
    return c->c != REGEX_NO_CHAR && workspace->program->classIsWord[c->classIndex];
}

// Makes the current position's list: each thread that stepped over the
// last character, then a new one at the start (when starts), with every
// thread each reaches without taking a character, unless an earlier start
// holds it already. Assertions look at the characters around the position;
// a match with whole words needs no word character after it.
static void CloseThreads(RegexWorkspace* workspace, BOOL starts)
{
    const RegexInst* insts = workspace->program->insts;
    DWORD* marks = workspace->marks;
    DWORD* stack = workspace->stack;
    RegexThread* closed = workspace->closed;
    DWORD count = 0, stamp = NextStamp(workspace);
    BOOL previousWord = IsWord(workspace, &workspace->previous);
    BOOL currentWord = IsWord(workspace, &workspace->current);
    BOOL atStart = workspace->offset == 0, atEnd = workspace->current.c == REGEX_NO_CHAR;
    BOOL endTaken = !(workspace->options & REGEX_WHOLE_WORD) || !currentWord;
    DWORD seeds = workspace->steppedCount + (starts ? 1 : 0);
    for (DWORD seed = 0; seed < seeds; seed++) {
        BOOL fresh = seed == workspace->steppedCount;
        ULONGLONG start = fresh ? workspace->offset : workspace->stepped[seed].start;
        DWORD depth = 0;
        stack[depth++] = fresh ? 0 : workspace->stepped[seed].pc;
        while (depth > 0) {
            DWORD pc = stack[--depth];
            if (marks[pc] == stamp)
                continue;
            marks[pc] = stamp;
            const RegexInst* inst = &insts[pc];
            BOOL holds;
            switch (inst->op) {
            case OP_JUMP:
                stack[depth++] = inst->arg;
                break;
            case OP_SPLIT:
                stack[depth++] = inst->alt;
                stack[depth++] = inst->arg;
                break;
            case OP_ASSERT:
                switch (inst->arg) {
                case ASSERT_LINE_START: holds = atStart; break;
                case ASSERT_LINE_END: holds = atEnd; break;
                case ASSERT_WORD_BOUNDARY: holds = previousWord != currentWord; break;
                default: holds = previousWord == currentWord; break;
                }
                if (holds)
                    stack[depth++] = pc + 1;
                break;
            case OP_MATCH:
                if (!endTaken)
                    break;
                // fall through
            default:
                closed[count].pc = pc;
                closed[count++].start = start;
                break;
            }
        }
    }
    workspace->closedCount = count;
}

// Whether a match may start at the current position, moving the comment
// and string tracking past it: the "//" test comes first and ends all
// starts; a quote opens or closes a string and starts nothing.
static BOOL Admitted(RegexWorkspace* workspace, DWORD next)
{
    DWORD c = workspace->current.c, options = workspace->options;
    if (workspace->commentReached)
        return FALSE;
    if ((options & REGEX_SKIP_COMMENTS) && c == '/' && next == '/') {
        workspace->commentReached = TRUE;
        return FALSE;
    }
    if (options & REGEX_STRINGS_ONLY) {
        if (!workspace->inString && (c == '"' || c == '\'')) {
            workspace->inString = TRUE;
            workspace->quote = c;
            return FALSE;
        }
        if (workspace->inString && c == workspace->quote) {
            workspace->inString = FALSE;
            return FALSE;
        }
        if (!workspace->inString)
            return FALSE;
    }
    return !(options & REGEX_WHOLE_WORD) || !IsWord(workspace, &workspace->previous);
}

// Moves the threads over the current character: the threads of the
// position (with a new one when starts), the first to have matched ending
// the list, and those that take the character stepping on.
static void StepThreads(RegexWorkspace* workspace, BOOL starts)
{
    const RegexProgram* program = workspace->program;
    CloseThreads(workspace, starts);
    DWORD kept = 0;
    for (DWORD i = 0; i < workspace->closedCount; i++) {
        const RegexThread* thread = &workspace->closed[i];
        const RegexInst* inst = &program->insts[thread->pc];
        if (inst->op == OP_MATCH) {
            // Every later thread started there or after.
            workspace->best = thread->start;
            break;
        }
        if (thread->start < workspace->best && workspace->current.c != REGEX_NO_CHAR &&
            SetHolds(program, inst->arg, workspace->current.classIndex)) {
            workspace->stepped[kept].pc = thread->pc + 1;
            workspace->stepped[kept++].start = thread->start;
        }
    }
    workspace->steppedCount = kept;
}

// One position of the line: the current character (REGEX_NO_CHAR at the
// line end) and the one after it (for the "//" test). Where no thread runs
// and no match can begin, only the rules' tracking moves on.
static void Position(RegexWorkspace* workspace, DWORD next)
{
    BOOL admitted = Admitted(workspace, next);
    DWORD k = workspace->current.classIndex;
    BOOL starts = admitted && workspace->best == REGEX_NONE &&
                  (workspace->startMatchesEmpty ||
                   (workspace->current.c != REGEX_NO_CHAR && ((workspace->firstClasses[k / 32] >> (k % 32)) & 1)));
    if (workspace->steppedCount > 0 || starts)
        StepThreads(workspace, starts);
    workspace->offset += workspace->current.units;
    workspace->previous = workspace->current;
    // Nothing more to find: no thread left, and a hit found or no start to
    // come.
    if (workspace->steppedCount == 0 && (workspace->best != REGEX_NONE || workspace->commentReached))
        workspace->settled = TRUE;
}

// Takes the next character of the line; the position before it is then
// complete.
static void Take(RegexWorkspace* workspace, DWORD c, DWORD units)
{
    if (workspace->haveCurrent)
        Position(workspace, c);
    workspace->current.c = c;
    workspace->current.classIndex = ClassOf(workspace->program, c);
    workspace->current.units = units;
    workspace->haveCurrent = TRUE;
}

void RegexLineBegin(RegexWorkspace* workspace, DWORD options)
{
    workspace->options = options;
    workspace->offset = 0;
    workspace->best = REGEX_NONE;
    workspace->commentReached = workspace->inString = workspace->settled = FALSE;
    workspace->quote = 0;
    workspace->steppedCount = 0;
    workspace->previous.c = REGEX_NO_CHAR;
    workspace->haveCurrent = FALSE;
    workspace->lineHigh = 0;
}

void RegexLineBeginAt(RegexWorkspace* workspace, DWORD options, ULONGLONG offset, DWORD previous, DWORD previousUnits)
{
    RegexLineBegin(workspace, options);
    workspace->offset = offset;
    if (previous != REGEX_NO_CHAR) {
        workspace->previous.c = previous;
        workspace->previous.classIndex = ClassOf(workspace->program, previous);
        workspace->previous.units = previousUnits;
    }
}

BOOL RegexLineBytes(RegexWorkspace* workspace, const BYTE* piece, ULONGLONG length)
{
    for (ULONGLONG i = 0; i < length && !workspace->settled; i++)
        Take(workspace, piece[i], 1);
    return !workspace->settled;
}

BOOL RegexLineUnits(RegexWorkspace* workspace, const WCHAR* piece, ULONGLONG length)
{
    for (ULONGLONG i = 0; i < length && !workspace->settled; i++) {
        DWORD unit = piece[i];
        if (workspace->lineHigh) {
            DWORD high = workspace->lineHigh;
            workspace->lineHigh = 0;
            if (IsLowSurrogate(unit)) {
                Take(workspace, PairedCharacter(high, unit), 2);
                continue;
            }
            Take(workspace, high, 1);
        }
        if (IsHighSurrogate(unit))
            workspace->lineHigh = unit;
        else
            Take(workspace, unit, 1);
    }
    return !workspace->settled;
}

ULONGLONG RegexLineEnd(RegexWorkspace* workspace)
{
    if (workspace->lineHigh && !workspace->settled)
        Take(workspace, workspace->lineHigh, 1);
    workspace->lineHigh = 0;
    if (!workspace->settled) {
        if (workspace->haveCurrent)
            Position(workspace, REGEX_NO_CHAR);
        workspace->current.c = REGEX_NO_CHAR;
        workspace->current.units = 0;
        Position(workspace, REGEX_NO_CHAR);
    }
    return workspace->best;
}

// Whether the DFA finds a match anywhere in a whole line: when it does not,
// the line has no hit and the VM need not run.
static BOOL LineMayMatch(RegexWorkspace* workspace, const BYTE* bytes, const WCHAR* units, ULONGLONG length)
{
    RegexFindBegin(workspace);
    ULONGLONG end = bytes ? RegexFindBytes(workspace, bytes, 0, length) : RegexFindUnits(workspace, units, 0, length);
    return end != REGEX_NONE || RegexFindAtEnd(workspace);
}

// A whole line's first hit, in bytes or in units (the other NULL).
static ULONGLONG FirstHit(RegexWorkspace* workspace, const BYTE* bytes, const WCHAR* units, ULONGLONG length,
                          DWORD options)
{
    if (!LineMayMatch(workspace, bytes, units, length))
        return REGEX_NONE;
    RegexLineBegin(workspace, options);
    if (bytes)
        RegexLineBytes(workspace, bytes, length);
    else
        RegexLineUnits(workspace, units, length);
    return RegexLineEnd(workspace);
}

ULONGLONG RegexFirstHitBytes(RegexWorkspace* workspace, const BYTE* line, ULONGLONG length, DWORD options)
{
    return FirstHit(workspace, line, NULL, length, options);
}

ULONGLONG RegexFirstHitUnits(RegexWorkspace* workspace, const WCHAR* line, ULONGLONG length, DWORD options)
{
    return FirstHit(workspace, NULL, line, length, options);
}
