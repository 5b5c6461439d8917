// A scanning thread's workspace for one program: one allocation, sized by
// the program, that holds the Pike VM's thread lists and the lazy DFA's
// cache.
#include "engine/regex/LazyDfa.h"

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

RegexWorkspace* RegexWorkspaceAlloc(const RegexProgram* program, DWORD cacheBytes)
{
    SIZE_T m = program->instCount;
    if (cacheBytes < REGEX_DFA_CACHE_MIN_BYTES)
        cacheBytes = REGEX_DFA_CACHE_MIN_BYTES;
    if (cacheBytes > REGEX_DFA_CACHE_BYTES)
        cacheBytes = REGEX_DFA_CACHE_BYTES;
    DWORD cacheWords = cacheBytes / sizeof(DWORD);
    SIZE_T bytes = sizeof(RegexWorkspace) + 2 * m * sizeof(RegexThread) +
                   (m + 2 * m + 2 + 3 * m + REGEX_DFA_BUCKETS + cacheWords + program->setWords) * sizeof(DWORD) + 64;
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
    workspace->cacheWords = cacheWords;
    workspace->firstClasses = words += cacheWords;
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
