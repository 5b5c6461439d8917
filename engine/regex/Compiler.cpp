// Compiles a parsed pattern into the instructions of a Thompson automaton
// for one alphabet and lays the program out in one allocation, with the
// literal that every match holds.
#include "engine/regex/CharClasses.h"
#include "engine/regex/CharSets.h"
#include "engine/regex/RequiredLiteral.h"

#define NO_INSTRUCTION 0xFFFFFFFFu

static DWORD Emit(Compiler* compiler, DWORD op, DWORD arg, DWORD alt)
{
    if (!Spend(compiler))
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

// The parts of a node that takes one character, made once however often a
// repetition copies the node. FALSE after an error.
static BOOL PartsOfNode(Compiler* compiler, RegexNode* node, CharacterParts* parts)
{
    if (!node->compiled) {
        BOOL made;
        if (node->kind == NODE_ANY)
            made = SetOfAny(compiler, parts);
        else if (node->kind == NODE_ESCAPE)
            made = SetOfEscape(compiler, node->value, node->negated, parts);
        else if (node->kind == NODE_CLASS)
            made = SetOfClass(compiler, node, parts);
        else if (node->kind == NODE_BYTE && compiler->doubleByte)
            made = SetOfLeadByte(compiler, (BYTE)node->value, parts);
        else
            made = (parts->singles = SetOfCharacter(compiler, node->value), parts->tree = 0,
                    parts->loneLeads = parts->allTrails = NO_SET, parts->excludes = FALSE, !compiler->failed);
        if (!made)
            return FALSE;
        node->compiledSet = parts->singles;
        node->compiledTree = parts->tree;
        node->compiledLeads = parts->loneLeads;
        node->compiledTrails = parts->allTrails;
        node->compiledExcludes = parts->excludes;
        node->compiled = TRUE;
    }
    *parts = CharacterParts {node->compiledSet, node->compiledLeads, node->compiledTrails, node->compiledTree,
                             node->compiledExcludes};
    return TRUE;
}

static void EmitTree(Compiler* compiler, DWORD index);
static void EmitReversedTree(Compiler* compiler, RegexNode* node);

static BOOL StoredHas(const Compiler* compiler, DWORD set, DWORD b)
{
    return (compiler->sets[set]->words[b / 32] >> (b % 32)) & 1;
}

// One character of double-byte text by its parts (CharSets.h), each an
// alternative: a character of one byte; a lone lead byte at the line's end;
// a lead byte with any trail byte; the members of the tree, or the trails
// of each of its leads that it does not name. Read backwards, a
// double-byte character is taken as any byte before a lead byte: more than
// the set holds, as a reversed program may take.
static void EmitDoubleByteCharacter(Compiler* compiler, const CharacterParts* parts)
{
    BOOL reversed = compiler->reversed, lone = parts->loneLeads != NO_SET;
    BOOL trails = parts->allTrails != NO_SET, tree = parts->tree != 0;
    DWORD alternatives = 1 + lone + (reversed ? (trails || tree) : trails + (tree && !parts->excludes));
    DWORD excluded = 0;
    for (DWORD b = 0; !reversed && tree && parts->excludes && lone && b < 256; b++)
        excluded += compiler->tree[parts->tree].children[b] && StoredHas(compiler, parts->loneLeads, b);
    alternatives += excluded;
    DWORD done = 0, pending = NO_INSTRUCTION;
    DWORD split = BeginAlternative(compiler, ++done == alternatives);
    Emit(compiler, OP_SET, parts->singles, 0);
    EndAlternative(compiler, split, &pending);
    if (lone) {
        split = BeginAlternative(compiler, ++done == alternatives);
        if (reversed)
            Emit(compiler, OP_ASSERT, ASSERT_LINE_START, 0);
        Emit(compiler, OP_SET, parts->loneLeads, 0);
        if (!reversed)
            Emit(compiler, OP_ASSERT, ASSERT_LINE_END, 0);
        EndAlternative(compiler, split, &pending);
    }
    if (reversed && (trails || tree)) {
        split = BeginAlternative(compiler, ++done == alternatives);
        Emit(compiler, OP_SET, SetOfAnyByte(compiler, NULL), 0);
        Emit(compiler, OP_SET, LEAD_SET, 0);
        EndAlternative(compiler, split, &pending);
    }
    if (!reversed && trails) {
        split = BeginAlternative(compiler, ++done == alternatives);
        Emit(compiler, OP_SET, parts->allTrails, 0);
        Emit(compiler, OP_SET, SetOfAnyByte(compiler, NULL), 0);
        EndAlternative(compiler, split, &pending);
    }
    if (!reversed && tree && !parts->excludes) {
        split = BeginAlternative(compiler, ++done == alternatives);
        EmitTree(compiler, parts->tree);
        EndAlternative(compiler, split, &pending);
    }
    for (DWORD b = 0; excluded && b < 256 && !compiler->failed; b++) {
        DWORD child = compiler->tree[parts->tree].children[b];
        if (!child || !StoredHas(compiler, parts->loneLeads, b))
            continue;
        split = BeginAlternative(compiler, ++done == alternatives);
        Emit(compiler, OP_SET, SetOfByte(compiler, (BYTE)b, FALSE), 0);
        Emit(compiler, OP_SET, SetOfAnyByte(compiler, compiler->tree[child].ends), 0);
        EndAlternative(compiler, split, &pending);
    }
    PatchJumps(compiler, pending);
}

// A node that takes one character of any kind but a literal.
static void EmitCharacter(Compiler* compiler, RegexNode* node)
{
    CharacterParts parts;
    if (!PartsOfNode(compiler, node, &parts))
        return;
    if (compiler->doubleByte) {
        EmitDoubleByteCharacter(compiler, &parts);
        return;
    }
    if (!parts.tree) {
        Emit(compiler, OP_SET, parts.singles, 0);
        return;
    }
    DWORD pending = NO_INSTRUCTION;
    DWORD split = BeginAlternative(compiler, FALSE);
    Emit(compiler, OP_SET, parts.singles, 0);
    EndAlternative(compiler, split, &pending);
    if (compiler->reversed)
        EmitReversedTree(compiler, node);
    else
        EmitTree(compiler, parts.tree);
    PatchJumps(compiler, pending);
}

static void EmitLiteral(Compiler* compiler, RegexNode* node)
{
    // A lead byte alone stands for the characters it begins.
    BOOL lead = compiler->doubleByte && node->kind == NODE_BYTE && compiler->ansi->lead[node->value];
    if (compiler->alphabet == REGEX_UNICODE || lead) {
        EmitCharacter(compiler, node);
        return;
    }
    BYTE bytes[4];
    BOOL folded[4];
    int count = LiteralBytes(compiler, node, bytes, folded);
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
    if (!Spend(compiler))
        return;
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
// may take. The lengths are found once however often the class is copied.
static void EmitReversedTree(Compiler* compiler, RegexNode* node)
{
    if (!node->compiledLengths)
        node->compiledLengths = TreeLengths(compiler, node->compiledTree, 0) | 2;
    DWORD lengths = node->compiledLengths, pending = NO_INSTRUCTION;
    for (DWORD length = 1; length <= 4; length++) {
        if (!(lengths & (1u << length)))
            continue;
        DWORD split = BeginAlternative(compiler, (lengths >> (length + 1)) == 0);
        for (DWORD k = 0; k < length; k++)
            Emit(compiler, OP_SET, SetOfAnyByte(compiler, NULL), 0);
        EndAlternative(compiler, split, &pending);
    }
    PatchJumps(compiler, pending);
}

static void EmitNode(Compiler* compiler, RegexNode* node);

// The children of a concatenation last first.
static void EmitReversedConcat(Compiler* compiler, RegexNode* node)
{
    for (RegexNode* child = node->lastChild; child; child = child->previous)
        EmitNode(compiler, child);
}

static void EmitRepeat(Compiler* compiler, RegexNode* node)
{
    RegexNode* child = node->child;
    DWORD copies = node->min;
    if (node->max == REGEX_UNBOUNDED && copies > 0)
        copies--;  // the last goes into the loop
    for (DWORD i = 0; i < copies && !compiler->failed; i++)
        EmitNode(compiler, child);
    if (node->max == REGEX_UNBOUNDED && node->min > 0) {
        DWORD loop = compiler->instCount;
        EmitNode(compiler, child);
        Emit(compiler, OP_SPLIT, loop, compiler->instCount + 1);
    } else if (node->max == REGEX_UNBOUNDED) {
        DWORD split = Emit(compiler, OP_SPLIT, compiler->instCount + 1, 0);
        EmitNode(compiler, child);
        Emit(compiler, OP_JUMP, split, 0);
        if (!compiler->failed)
            compiler->insts[split].alt = compiler->instCount;
    } else {
        // Optional copies nested, each split leaving for the end.
        DWORD pending = NO_INSTRUCTION;
        for (DWORD i = node->min; i < node->max && !compiler->failed; i++) {
            pending = Emit(compiler, OP_SPLIT, compiler->instCount + 1, pending);
            EmitNode(compiler, child);
        }
        while (pending != NO_INSTRUCTION && !compiler->failed) {
            DWORD next = compiler->insts[pending].alt;
            compiler->insts[pending].alt = compiler->instCount;
            pending = next;
        }
    }
}

static void EmitNode(Compiler* compiler, RegexNode* node)
{
    // Every copy of a part counts, also one that compiles to nothing.
    if (!Spend(compiler))
        return;
    // A program too large is blamed on the outermost repetition that makes it.
    if (compiler->repeatDepth == 0)
        compiler->blame = node->position;
    switch (node->kind) {
    case NODE_LITERAL:
    case NODE_BYTE: EmitLiteral(compiler, node); break;
    case NODE_ANY:
    case NODE_ESCAPE:
    case NODE_CLASS: EmitCharacter(compiler, node); break;
    case NODE_ASSERT:
        // Read backwards, the line's start comes last and its end first.
        if (compiler->reversed && (node->value == ASSERT_LINE_START || node->value == ASSERT_LINE_END))
            Emit(compiler, OP_ASSERT, node->value == ASSERT_LINE_START ? ASSERT_LINE_END : ASSERT_LINE_START, 0);
        else
            Emit(compiler, OP_ASSERT, node->value, 0);
        break;
    case NODE_CONCAT:
        if (compiler->reversed)
            EmitReversedConcat(compiler, node);
        else
            for (RegexNode* child = node->child; child; child = child->next)
                EmitNode(compiler, child);
        break;
    case NODE_ALT: {
        DWORD pending = NO_INSTRUCTION;
        for (RegexNode* child = node->child; child; child = child->next) {
            DWORD split = BeginAlternative(compiler, child->next == NULL);
            EmitNode(compiler, child);
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

// Lays the program out in one allocation: the record, the instructions, the
// set rows, the word flags and the class tables.
// The shape of the parsed pattern: what it reads, and the units its longest
// match takes, each character at most unitsPerCharacter.
static ULONGLONG ShapeOf(const RegexNode* node, ULONGLONG unitsPerCharacter, RegexShape* shape)
{
    ULONGLONG longest = 0;
    switch (node->kind) {
    case NODE_ASSERT:
        if (node->value == ASSERT_LINE_START || node->value == ASSERT_LINE_END)
            shape->lineEdges = TRUE;
        else
            shape->wordEdges = TRUE;
        return 0;
    case NODE_EMPTY: return 0;
    case NODE_CONCAT:
    case NODE_ALT:
        for (const RegexNode* child = node->child; child; child = child->next) {
            ULONGLONG units = ShapeOf(child, unitsPerCharacter, shape);
            if (units == REGEX_UNBOUNDED_LENGTH || longest == REGEX_UNBOUNDED_LENGTH)
                longest = REGEX_UNBOUNDED_LENGTH;
            else
                longest = node->kind == NODE_ALT ? (units > longest ? units : longest) : longest + units;
        }
        return longest;
    case NODE_REPEAT:
        longest = ShapeOf(node->child, unitsPerCharacter, shape);
        if (node->max == REGEX_UNBOUNDED && longest > 0)
            return REGEX_UNBOUNDED_LENGTH;
        return longest == REGEX_UNBOUNDED_LENGTH ? longest : longest * (node->max == REGEX_UNBOUNDED ? 0 : node->max);
    default: return unitsPerCharacter;  // one character
    }
}

static RegexProgram* Assemble(const Compiler* compiler, const Division* division, const RegexLiteral* required,
                              const RegexShape* shape)
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
    program->characterStarts = compiler->doubleByte && !compiler->reversed;
    program->reversed = compiler->reversed;
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
    program->shape = *shape;
    // The program's content at its address: a workspace made for it serves
    // any program with the same fingerprint, which is the same program.
    ULONGLONG hash = 14695981039346656037ull;
    for (SIZE_T i = 0; i < bytes; i++)
        hash = (hash ^ block[i]) * 1099511628211ull;
    program->fingerprint = hash;
    return program;
}

// Notes in error the first character typed in the ANSI pattern under node
// that the code page cannot spell, each node looked at once.
static void FindUnspelled(Compiler* compiler, const RegexNode* node)
{
    for (; node && !compiler->error->unspelled; node = node->next) {
        BYTE bytes[4];
        if (node->kind == NODE_LITERAL && !AnsiSpelling(compiler, node->value, bytes)) {
            compiler->error->unspelled = node->value;
            compiler->error->unspelledPosition = node->position;
        }
        for (DWORD i = 0; node->kind == NODE_CLASS && i < node->itemCount; i++) {
            const RegexClassItem* item = &node->items[i];
            if (item->kind != ITEM_CHARS)
                continue;
            int end = !AnsiSpelling(compiler, item->first, bytes)  ? 1
                      : !AnsiSpelling(compiler, item->last, bytes) ? 2
                                                                   : 0;
            if (end) {
                compiler->error->unspelled = end == 1 ? item->first : item->last;
                compiler->error->unspelledPosition = end == 1 ? item->firstAt : item->lastAt;
                break;
            }
        }
        FindUnspelled(compiler, node->child);
    }
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
    compiler.ansi = AnsiCharacters();
    compiler.doubleByte = alphabet == REGEX_ANSI && compiler.ansi->kind == ANSI_DOUBLE_BYTE;
    compiler.blame = 1;
    compiler.stepBudget = REGEX_STEPS_PER_CHAR * (DWORD)(length > 0 ? length : 1);
    compiler.reversed = reversed;
    RegexProgram* program = NULL;
    RegexNode* root = RegexParse(pattern, length, &arena, error);
    compiler.insts = (RegexInst*)ArenaTake(&arena, sizeof(RegexInst) * REGEX_MAX_INSTRUCTIONS);
    if (root && !compiler.insts)
        RegexFail(error, L"out of memory", 1);
    Division division = {};
    RegexLiteral required = {};
    RegexShape shape = {};
    if (root && compiler.insts && SetsBegin(&compiler)) {
        if (alphabet == REGEX_ANSI)
            FindUnspelled(&compiler, root);
        EmitNode(&compiler, root);
        Emit(&compiler, OP_MATCH, 0, 0);
        if (!compiler.failed && SetsDivide(&compiler, &division)) {
            // A reversed program's literal would read backwards: it has none.
            if (!reversed)
                FindRequiredLiteral(&compiler, root, &required);
            ULONGLONG perCharacter = alphabet == REGEX_UNICODE ? 2 : compiler.utf8 ? 4 : compiler.doubleByte ? 2 : 1;
            shape.longest = ShapeOf(root, perCharacter, &shape);
            program = Assemble(&compiler, &division, &required, &shape);
            if (!program)
                RegexFail(error, L"out of memory", 1);
        }
    }
    ArenaClose(&arena);
    error->steps = compiler.steps;
    return program;
}

RegexProgram* RegexCompile(const WCHAR* pattern, int length, RegexAlphabet alphabet, BOOL matchCase, RegexError* error)
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

void RegexShapeOf(const RegexProgram* program, RegexShape* shape)
{
    *shape = program->shape;
}
