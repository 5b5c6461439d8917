// The exact first hit of a line: a Pike VM that runs every thread of the
// program in step over the line's characters, threads kept in the order of
// their starts, so the first to reach the end of the program has the
// leftmost start. A start is admitted by the line scanner's rules, tracked
// position by position as the literal scanner tracks them.
#include "engine/regex/Workspace.h"
#include "engine/text/LineRules.h"

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
            case OP_JUMP: stack[depth++] = inst->arg; break;
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

// Whether a match may start at the current position, moving the line's
// rules past it: "//" ends all starts; a quote opens or closes a string and
// starts nothing.
static BOOL Admitted(RegexWorkspace* workspace, DWORD next)
{
    if (workspace->commentReached)
        return FALSE;
    int rule = StepLineRules(&workspace->rules, workspace->current.c, next);
    if (rule == RULE_COMMENT)
        workspace->commentReached = TRUE;
    if (rule != RULE_MAY_START)
        return FALSE;
    return !(workspace->options & REGEX_WHOLE_WORD) || !IsWord(workspace, &workspace->previous);
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
// and no match can begin, only the rules' tracking moves on. In double-byte
// text the trail byte of a lead byte begins nothing and moves no rule: the
// character before the next position is the lead's.
static void Position(RegexWorkspace* workspace, DWORD next)
{
    const RegexProgram* program = workspace->program;
    BOOL trail = workspace->inTrail;
    BOOL admitted = !trail && Admitted(workspace, next);
    DWORD k = workspace->current.classIndex;
    BOOL starts = admitted && workspace->best == REGEX_NONE && !workspace->startsOver &&
                  (workspace->startMatchesEmpty ||
                   (workspace->current.c != REGEX_NO_CHAR && ((workspace->firstClasses[k / 32] >> (k % 32)) & 1)));
    if (workspace->steppedCount > 0 || starts)
        StepThreads(workspace, starts);
    workspace->startsOver |= (workspace->options & REGEX_ONE_START) != 0;
    workspace->offset += workspace->current.units;
    if (!trail)
        workspace->previous = workspace->current;
    workspace->inTrail = !trail && program->characterStarts && next != REGEX_NO_CHAR &&
                         workspace->current.c != REGEX_NO_CHAR &&
                         SetHolds(program, LEAD_SET, workspace->current.classIndex);
    // Nothing more to find: no thread left, and a hit found or no start to
    // come.
    if (workspace->steppedCount == 0 &&
        (workspace->best != REGEX_NONE || workspace->commentReached || workspace->startsOver))
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
    workspace->commentReached = workspace->settled = workspace->startsOver = FALSE;
    workspace->rules = LineRulesFor((options & REGEX_SKIP_COMMENTS) != 0, (options & REGEX_STRINGS_ONLY) != 0);
    workspace->steppedCount = 0;
    workspace->previous.c = REGEX_NO_CHAR;
    workspace->haveCurrent = FALSE;
    workspace->inTrail = FALSE;
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
