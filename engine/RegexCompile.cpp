// Compiles a parsed pattern into the instructions of a Thompson automaton
// for one alphabet, finds the literal that every match holds, and lays the
// program out in one allocation.
#include "engine/RegexCompiler.h"
#include "engine/ScanPass.h"

#define NO_INSTRUCTION 0xFFFFFFFFu
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
        SIZE_T grow = (arena->used + bytes - arena->committed + ARENA_STEP_BYTES - 1) / ARENA_STEP_BYTES * ARENA_STEP_BYTES;
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

static DWORD Emit(Compiler* compiler, DWORD op, DWORD arg, DWORD alt)
{
    if (compiler->failed)
        return NO_INSTRUCTION;
    if (compiler->instCount == REGEX_MAX_INSTRUCTIONS) {
        CompileFail(compiler, L"pattern too large", compiler->blame);
        return NO_INSTRUCTION;
    }
    RegexInst* inst = &compiler->insts[compiler->instCount];
    inst->op = op;
    inst->arg = arg;
    inst->alt = alt;
    return compiler->instCount++;
}

// Alternatives one after the other: each but the last behind a split whose
// other branch is the next alternative; each but the last ends with a jump
// to the end, the pending jumps chained through their targets.
static DWORD BeginAlternative(Compiler* compiler, BOOL last)
{
    return last ? NO_INSTRUCTION : Emit(compiler, OP_SPLIT, compiler->instCount + 1, 0);
}

static void EndAlternative(Compiler* compiler, DWORD split, DWORD* pending)
{
    if (split == NO_INSTRUCTION || compiler->failed)
        return;
    *pending = Emit(compiler, OP_JUMP, *pending, 0);
    compiler->insts[split].alt = compiler->instCount;
}

static void PatchJumps(Compiler* compiler, DWORD pending)
{
    while (pending != NO_INSTRUCTION && !compiler->failed) {
        DWORD next = compiler->insts[pending].arg;
        compiler->insts[pending].arg = compiler->instCount;
        pending = next;
    }
}

// An ANSI literal's bytes and whether each is compared folded: the first
// unless it directly follows a literal whose last byte is 0x80 or more, and
// every later one after a byte below 0x80, as the literal scanner takes a
// lead byte's trail. 0 bytes: the code page cannot spell it.
static int LiteralBytes(const Compiler* compiler, const RegexNode* node, BOOL afterHigh, BYTE* bytes, BOOL* folded)
{
    int count;
    if (node->kind == NODE_BYTE) {
        bytes[0] = AnsiByte(compiler, (BYTE)node->value);
        count = 1;
    } else {
        count = AnsiSpelling(compiler, node->value, bytes);
    }
    for (int k = 0; k < count; k++)
        folded[k] = !compiler->matchCase && (k == 0 ? !afterHigh : bytes[k - 1] < 0x80);
    return count;
}

// A literal character standing in the pattern by itself, not as a group.
static BOOL IsLiteral(const RegexNode* node)
{
    return node && !node->grouped && (node->kind == NODE_LITERAL || node->kind == NODE_BYTE);
}

// Whether node is a literal written directly after an ANSI literal whose
// last byte is 0x80 or more.
static BOOL AfterHighLiteral(const Compiler* compiler, const RegexNode* previous, const RegexNode* node)
{
    if (compiler->alphabet != REGEX_ANSI || !IsLiteral(previous) || !IsLiteral(node))
        return FALSE;
    BYTE bytes[4];
    BOOL folded[4];
    int count = LiteralBytes(compiler, previous, FALSE, bytes, folded);
    return count > 0 && bytes[count - 1] >= 0x80;
}

// The set of a node that takes one character, made once however often a
// repetition copies the node.
static DWORD SetOfNode(Compiler* compiler, RegexNode* node)
{
    if (!node->compiled) {
        node->compiledSet = node->kind == NODE_ANY      ? SetOfAny(compiler)
                          : node->kind == NODE_ESCAPE   ? SetOfEscape(compiler, node->value, node->negated)
                                                        : SetOfCharacter(compiler, node->value);
        node->compiled = TRUE;
    }
    return node->compiledSet;
}

static void EmitLiteral(Compiler* compiler, RegexNode* node, BOOL afterHigh)
{
    if (compiler->alphabet == REGEX_UNICODE) {
        Emit(compiler, OP_SET, SetOfNode(compiler, node), 0);
        return;
    }
    BYTE bytes[4];
    BOOL folded[4];
    int count = LiteralBytes(compiler, node, afterHigh, bytes, folded);
    if (count == 0) {
        // A character the code page cannot spell never matches: an empty set.
        CharSet* none = compiler->scratch[0];
        SetClear(compiler, none);
        Emit(compiler, OP_SET, SetStore(compiler, none), 0);
    }
    for (int n = 0; n < count; n++) {
        int k = compiler->reversed ? count - 1 - n : n;
        Emit(compiler, OP_SET, SetOfByte(compiler, bytes[k], folded[k]), 0);
    }
}

// A node of an ANSI class's byte tree: the bytes that end a member here, and
// each byte that continues one, followed by its node. Members' bytes after
// the first are compared as they stand.
static void EmitTree(Compiler* compiler, DWORD index)
{
    const ByteTree* node = &compiler->tree[index];
    DWORD alternatives = 0, done = 0, pending = NO_INSTRUCTION;
    BOOL ends = FALSE;
    for (int i = 0; i < 8; i++)
        ends |= node->ends[i] != 0;
    for (int b = 0; b < 256; b++)
        alternatives += node->children[b] != 0;
    if (ends) {
        DWORD split = BeginAlternative(compiler, alternatives == 0);
        CharSet* set = compiler->scratch[0];
        SetClear(compiler, set);
        CopyMemory(set->words, node->ends, sizeof node->ends);
        Emit(compiler, OP_SET, SetStore(compiler, set), 0);
        EndAlternative(compiler, split, &pending);
    }
    for (int b = 0; b < 256 && !compiler->failed; b++) {
        if (!node->children[b])
            continue;
        DWORD split = BeginAlternative(compiler, ++done == alternatives);
        Emit(compiler, OP_SET, SetOfByte(compiler, (BYTE)b, FALSE), 0);
        EmitTree(compiler, node->children[b]);
        EndAlternative(compiler, split, &pending);
    }
    PatchJumps(compiler, pending);
}

// The lengths of the members that a byte tree's node at depth holds and
// continues, as bits: bit L for members of L bytes.
static DWORD TreeLengths(const Compiler* compiler, DWORD index, DWORD depth)
{
    const ByteTree* node = &compiler->tree[index];
    DWORD lengths = 0;
    for (int i = 0; i < 8; i++)
        lengths |= node->ends[i] ? 1u << (depth + 1) : 0;
    for (int b = 0; b < 256; b++)
        lengths |= node->children[b] ? TreeLengths(compiler, node->children[b], depth + 1) : 0;
    return lengths;
}

// Read backwards, an ANSI class's members of several bytes are taken as that
// many bytes of any kind: more than the class holds, as a reversed program
// may take.
static void EmitReversedTree(Compiler* compiler, DWORD tree)
{
    DWORD lengths = TreeLengths(compiler, tree, 0) | 2, pending = NO_INSTRUCTION;
    for (DWORD length = 1; length <= 4; length++) {
        if (!(lengths & (1u << length)))
            continue;
        DWORD split = BeginAlternative(compiler, (lengths >> (length + 1)) == 0);
        for (DWORD k = 0; k < length; k++)
            Emit(compiler, OP_SET, SetOfAny(compiler), 0);
        EndAlternative(compiler, split, &pending);
    }
    PatchJumps(compiler, pending);
}

static void EmitClass(Compiler* compiler, RegexNode* node)
{
    if (!node->compiled && !SetOfClass(compiler, node, &node->compiledSet, &node->compiledTree))
        return;
    node->compiled = TRUE;
    if (!node->compiledTree) {
        Emit(compiler, OP_SET, node->compiledSet, 0);
        return;
    }
    DWORD pending = NO_INSTRUCTION;
    DWORD split = BeginAlternative(compiler, FALSE);
    Emit(compiler, OP_SET, node->compiledSet, 0);
    EndAlternative(compiler, split, &pending);
    if (compiler->reversed)
        EmitReversedTree(compiler, node->compiledTree);
    else
        EmitTree(compiler, node->compiledTree);
    PatchJumps(compiler, pending);
}

static void EmitNode(Compiler* compiler, RegexNode* node, BOOL afterHigh);

// The children of a concatenation last first, each as the pattern has it
// after the one before it.
static void EmitReversedConcat(Compiler* compiler, RegexNode* node)
{
    DWORD count = 0;
    for (RegexNode* child = node->child; child; child = child->next)
        count++;
    RegexNode** children = (RegexNode**)ArenaTake(compiler->arena, sizeof(RegexNode*) * count);
    if (!children) {
        CompileFail(compiler, L"out of memory", 1);
        return;
    }
    count = 0;
    for (RegexNode* child = node->child; child; child = child->next)
        children[count++] = child;
    while (count-- > 0)
        EmitNode(compiler, children[count], AfterHighLiteral(compiler, count ? children[count - 1] : NULL, children[count]));
}

static void EmitRepeat(Compiler* compiler, RegexNode* node)
{
    RegexNode* child = node->child;
    DWORD copies = node->min;
    if (node->max == REGEX_UNBOUNDED && copies > 0)
        copies--;  // the last goes into the loop
    for (DWORD i = 0; i < copies && !compiler->failed; i++)
        EmitNode(compiler, child, FALSE);
    if (node->max == REGEX_UNBOUNDED && node->min > 0) {
        DWORD loop = compiler->instCount;
        EmitNode(compiler, child, FALSE);
        Emit(compiler, OP_SPLIT, loop, compiler->instCount + 1);
    } else if (node->max == REGEX_UNBOUNDED) {
        DWORD split = Emit(compiler, OP_SPLIT, compiler->instCount + 1, 0);
        EmitNode(compiler, child, FALSE);
        Emit(compiler, OP_JUMP, split, 0);
        if (!compiler->failed)
            compiler->insts[split].alt = compiler->instCount;
    } else {
        // Optional copies nested, each split leaving for the end.
        DWORD pending = NO_INSTRUCTION;
        for (DWORD i = node->min; i < node->max && !compiler->failed; i++) {
            pending = Emit(compiler, OP_SPLIT, compiler->instCount + 1, pending);
            EmitNode(compiler, child, FALSE);
        }
        while (pending != NO_INSTRUCTION && !compiler->failed) {
            DWORD next = compiler->insts[pending].alt;
            compiler->insts[pending].alt = compiler->instCount;
            pending = next;
        }
    }
}

static void EmitNode(Compiler* compiler, RegexNode* node, BOOL afterHigh)
{
    if (compiler->failed)
        return;
    // A program too large is blamed on the outermost repetition that makes it.
    if (compiler->repeatDepth == 0)
        compiler->blame = node->position;
    switch (node->kind) {
    case NODE_LITERAL:
    case NODE_BYTE:
        EmitLiteral(compiler, node, afterHigh);
        break;
    case NODE_ANY:
    case NODE_ESCAPE:
        Emit(compiler, OP_SET, SetOfNode(compiler, node), 0);
        break;
    case NODE_ASSERT:
        // Read backwards, the line's start comes last and its end first.
        if (compiler->reversed && (node->value == ASSERT_LINE_START || node->value == ASSERT_LINE_END))
            Emit(compiler, OP_ASSERT, node->value == ASSERT_LINE_START ? ASSERT_LINE_END : ASSERT_LINE_START, 0);
        else
            Emit(compiler, OP_ASSERT, node->value, 0);
        break;
    case NODE_CLASS:
        EmitClass(compiler, node);
        break;
    case NODE_CONCAT:
        if (compiler->reversed)
            EmitReversedConcat(compiler, node);
        else
            for (RegexNode* child = node->child, *previous = NULL; child; previous = child, child = child->next)
                EmitNode(compiler, child, AfterHighLiteral(compiler, previous, child));
        break;
    case NODE_ALT: {
        DWORD pending = NO_INSTRUCTION;
        for (RegexNode* child = node->child; child; child = child->next) {
            DWORD split = BeginAlternative(compiler, child->next == NULL);
            EmitNode(compiler, child, FALSE);
            EndAlternative(compiler, split, &pending);
        }
        PatchJumps(compiler, pending);
        break;
    }
    case NODE_REPEAT:
        compiler->repeatDepth++;
        EmitRepeat(compiler, node);
        compiler->repeatDepth--;
        break;
    }
}

// What a node tells about literals: whether it matches exactly one text
// (exact, as far as it fits) and the longest text every match holds (best).
struct LiteralFacts {
    BOOL exact;
    RegexLiteral exactText;
    RegexLiteral best;
};

// How often the literal's units stand in C source: the vector search of a
// rarer one stops at fewer places. A unit beyond a byte counts as rare.
static unsigned Commonness(const RegexLiteral* text)
{
    unsigned sum = 0;
    for (int k = 0; k < text->length; k++) {
        WORD unit = text->units[k];
        if (unit < 0x100)
            sum += byteFrequency[unit] + (text->fold[k] ? byteFrequency[unit & ~text->fold[k]] : 0);
        else
            sum += 1;
    }
    return sum;
}

// Keeps the longer literal, or of two as long the rarer.
static void KeepLonger(RegexLiteral* best, const RegexLiteral* text)
{
    if (text->length > best->length || (text->length == best->length && Commonness(text) < Commonness(best)))
        *best = *text;
}

// Appends text to run; FALSE when it does not fit whole.
static BOOL Append(RegexLiteral* run, const RegexLiteral* text)
{
    if (run->length + text->length > REGEX_LITERAL_UNITS)
        return FALSE;
    for (int k = 0; k < text->length; k++) {
        run->units[run->length] = text->units[k];
        run->fold[run->length++] = text->fold[k];
    }
    return TRUE;
}

static void LiteralOf(const Compiler* compiler, const RegexNode* node, BOOL afterHigh, LiteralFacts* facts)
{
    RegexLiteral* text = &facts->exactText;
    if (node->value == '\r' || node->value == '\n')
        return;  // never matches: no text is exact
    if (compiler->alphabet == REGEX_UNICODE) {
        DWORD c = node->value;
        if (!compiler->matchCase)
            c = UnicodeUpper(c);
        if (c >= 0x10000) {
            text->units[text->length++] = (WORD)(0xD7C0 + (c >> 10));
            c = 0xDC00 + (c & 0x3FF);
        }
        text->units[text->length++] = (WORD)c;
        facts->exact = TRUE;
        return;
    }
    BYTE bytes[4];
    BOOL folded[4];
    int count = LiteralBytes(compiler, node, afterHigh, bytes, folded);
    for (int k = 0; k < count; k++) {
        BYTE b = bytes[k];
        if (folded[k] && b >= 'a' && b <= 'z')
            return;  // never matches: no text is exact
        BOOL letter = folded[k] && b >= 'A' && b <= 'Z';
        text->units[k] = letter ? (BYTE)(b | 0x20) : b;
        text->fold[k] = letter ? 0x20 : 0;
    }
    text->length = count;
    facts->exact = count > 0;
}

static void FactsOf(const Compiler* compiler, const RegexNode* node, BOOL afterHigh, LiteralFacts* facts);

static void FactsOfConcatenation(const Compiler* compiler, const RegexNode* node, LiteralFacts* facts)
{
    RegexLiteral run = {};
    BOOL allExact = TRUE;
    const RegexNode* previous = NULL;
    for (const RegexNode* child = node->child; child; child = child->next) {
        LiteralFacts inner = {};
        FactsOf(compiler, child, AfterHighLiteral(compiler, previous, child), &inner);
        previous = child;
        KeepLonger(&facts->best, &inner.best);
        if (inner.exact && Append(&run, &inner.exactText))
            continue;
        KeepLonger(&facts->best, &run);
        allExact = FALSE;
        run.length = 0;
        if (inner.exact)
            run = inner.exactText;
    }
    KeepLonger(&facts->best, &run);
    facts->exact = allExact;
    if (allExact)
        facts->exactText = run;
}

static void FactsOfRepeat(const Compiler* compiler, const RegexNode* node, LiteralFacts* facts)
{
    if (node->min == 0)
        return;
    LiteralFacts inner = {};
    FactsOf(compiler, node->child, FALSE, &inner);
    facts->best = inner.best;
    if (!inner.exact)
        return;
    RegexLiteral run = {};
    DWORD copies = 0;
    while (copies < node->min && Append(&run, &inner.exactText))
        copies++;
    KeepLonger(&facts->best, &run);
    facts->exact = copies == node->min && node->max == node->min;
    if (facts->exact)
        facts->exactText = run;
}

static void FactsOf(const Compiler* compiler, const RegexNode* node, BOOL afterHigh, LiteralFacts* facts)
{
    switch (node->kind) {
    case NODE_EMPTY:
    case NODE_ASSERT:
        facts->exact = TRUE;  // zero width: the empty text
        break;
    case NODE_LITERAL:
    case NODE_BYTE:
        LiteralOf(compiler, node, afterHigh, facts);
        break;
    case NODE_CONCAT:
        FactsOfConcatenation(compiler, node, facts);
        break;
    case NODE_REPEAT:
        FactsOfRepeat(compiler, node, facts);
        break;
    }
    if (facts->exact)
        KeepLonger(&facts->best, &facts->exactText);
}

// Lays the program out in one allocation: the record, the instructions, the
// set rows, the word flags and the class tables.
static RegexProgram* Assemble(const Compiler* compiler, const Division* division, const RegexLiteral* required)
{
    SIZE_T instBytes = sizeof(RegexInst) * compiler->instCount;
    SIZE_T rowBytes = sizeof(DWORD) * division->rowWords * compiler->setCount;
    SIZE_T blockBytes = sizeof(WORD) * 256 * division->blockCount;
    SIZE_T rangeBytes = sizeof(RegexClassRange) * division->rangeCount;
    SIZE_T bytes = sizeof(RegexProgram) + instBytes + rowBytes + blockBytes + rangeBytes + division->classCount;
    BYTE* block = (BYTE*)VirtualAlloc(NULL, bytes, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
    if (!block)
        return NULL;
    RegexProgram* program = (RegexProgram*)block;
    BYTE* at = block + sizeof(RegexProgram);
    program->alphabet = compiler->alphabet;
    program->instCount = compiler->instCount;
    program->insts = (RegexInst*)at;
    CopyMemory(at, compiler->insts, instBytes);
    at += instBytes;
    program->classCount = division->classCount;
    program->setWords = division->rowWords;
    program->setBits = (DWORD*)at;
    CopyMemory(at, division->rows, rowBytes);
    at += rowBytes;
    program->blocks = (WORD*)at;
    if (blockBytes)
        CopyMemory(at, division->blocks, blockBytes);
    CopyMemory(program->blockStart, division->blockStart, sizeof program->blockStart);
    at += blockBytes;
    program->rangeCount = division->rangeCount;
    program->ranges = (RegexClassRange*)at;
    CopyMemory(at, division->ranges, rangeBytes);
    at += rangeBytes;
    program->classIsWord = at;
    CopyMemory(at, division->classIsWord, division->classCount);
    program->lineEndClass = division->lineEndClass;
    CopyMemory(program->byteClass, division->byteClass, sizeof program->byteClass);
    program->required = *required;
    // The program's content at its address: a workspace made for it serves
    // any program with the same fingerprint, which is the same program.
    ULONGLONG hash = 14695981039346656037ull;
    for (SIZE_T i = 0; i < bytes; i++)
        hash = (hash ^ block[i]) * 1099511628211ull;
    program->fingerprint = hash;
    return program;
}

static RegexProgram* Compile(const WCHAR* pattern, int length, RegexAlphabet alphabet, BOOL matchCase, BOOL reversed,
                             RegexError* error)
{
    ZeroMemory(error, sizeof *error);
    RegexArena arena;
    if (length < 0 || !ArenaOpen(&arena, REGEX_SCRATCH_FIXED_BYTES + (SIZE_T)length * REGEX_SCRATCH_CHAR_BYTES)) {
        RegexFail(error, L"out of memory", 1);
        return NULL;
    }
    Compiler compiler = {};
    compiler.arena = &arena;
    compiler.error = error;
    compiler.alphabet = alphabet;
    compiler.matchCase = matchCase;
    compiler.utf8 = GetACP() == CP_UTF8;
    CPINFO info;
    compiler.singleByte = GetCPInfo(CP_ACP, &info) && info.MaxCharSize == 1;
    compiler.blame = 1;
    compiler.reversed = reversed;
    RegexProgram* program = NULL;
    RegexNode* root = RegexParse(pattern, length, &arena, error);
    compiler.insts = (RegexInst*)ArenaTake(&arena, sizeof(RegexInst) * REGEX_MAX_INSTRUCTIONS);
    if (root && !compiler.insts)
        RegexFail(error, L"out of memory", 1);
    Division division = {};
    LiteralFacts facts = {};
    if (root && compiler.insts && SetsBegin(&compiler)) {
        EmitNode(&compiler, root, FALSE);
        Emit(&compiler, OP_MATCH, 0, 0);
        if (!compiler.failed && SetsDivide(&compiler, &division)) {
            // A reversed program's literal would read backwards: it has none.
            if (!reversed)
                FactsOf(&compiler, root, FALSE, &facts);
            program = Assemble(&compiler, &division, &facts.best);
            if (!program)
                RegexFail(error, L"out of memory", 1);
        }
    }
    ArenaClose(&arena);
    return program;
}

RegexProgram* RegexCompile(const WCHAR* pattern, int length, RegexAlphabet alphabet, BOOL matchCase,
                           RegexError* error)
{
    return Compile(pattern, length, alphabet, matchCase, FALSE, error);
}

RegexProgram* RegexCompileReversed(const WCHAR* pattern, int length, RegexAlphabet alphabet, BOOL matchCase,
                                   RegexError* error)
{
    return Compile(pattern, length, alphabet, matchCase, TRUE, error);
}

void RegexFree(RegexProgram* program)
{
    if (program)
        VirtualFree(program, 0, MEM_RELEASE);
}

RegexAlphabet RegexAlphabetOf(const RegexProgram* program)
{
    return program->alphabet;
}

void RegexRequired(const RegexProgram* program, RegexLiteral* literal)
{
    *literal = program->required;
}
