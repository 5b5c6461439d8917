// The character sets of a pattern: literals, classes and escapes spelled in
// the file's alphabet, case-folded as the literal search folds, and stored
// once each.
#include "engine/regex/CharSets.h"
#include "engine/regex/PosixClasses.h"
#include "engine/text/CaseFold.h"
#include "engine/text/WordCharacters.h"

// Process-wide tables, built once on first use and only read after: the
// ANSI code page's spelling of each character of the basic plane as typed
// and upper-cased (up to three bytes, their count in the top byte). Unicode
// text folds by the platform's upper-casing that the literal search folds
// with (engine/text/CaseFold.h).
static DWORD ansiSpelled[BMP_END];
static DWORD ansiUpper[BMP_END];
static INIT_ONCE ansiTablesOnce = INIT_ONCE_STATIC_INIT;

static DWORD Packed(const BYTE* bytes, int count)
{
    DWORD packed = (DWORD)count << 24;
    for (int i = 0; i < count; i++)
        packed |= (DWORD)bytes[i] << (8 * i);
    return packed;
}

static BOOL CALLBACK BuildAnsiTables(PINIT_ONCE, PVOID, PVOID*)
{
    BOOL utf8 = GetACP() == CP_UTF8;
    for (DWORD c = 0; c < BMP_END; c++) {
        WCHAR unit = (WCHAR)c;
        char bytes[8];
        BOOL usedDefault = FALSE;
        int count = utf8 ? WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, &unit, 1, bytes, 8, NULL, NULL)
                         : WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, &unit, 1, bytes, 8, NULL, &usedDefault);
        if (count <= 0 || count > 3 || usedDefault)
            continue;
        ansiSpelled[c] = Packed((const BYTE*)bytes, count);
        ansiUpper[c] = Packed((const BYTE*)bytes, UpperCaseAnsiCharacter(bytes, count));
    }
    return TRUE;
}

DWORD UnicodeUpper(DWORD c)
{
    return FoldCharacter(LoadCaseFold(), c);
}

int AnsiSpelling(const Compiler* compiler, DWORD c, BYTE* bytes)
{
    if (c >= BMP_END) {
        // Only UTF-8 spells characters above the basic plane, in four bytes.
        if (!compiler->utf8 || c >= PLANES_END)
            return 0;
        bytes[0] = (BYTE)(0xF0 | (c >> 18));
        bytes[1] = (BYTE)(0x80 | ((c >> 12) & 0x3F));
        bytes[2] = (BYTE)(0x80 | ((c >> 6) & 0x3F));
        bytes[3] = (BYTE)(0x80 | (c & 0x3F));
        return compiler->matchCase ? 4 : UpperCaseAnsiCharacter((char*)bytes, 4);
    }
    DWORD packed = compiler->matchCase ? ansiSpelled[c] : ansiUpper[c];
    int count = (int)(packed >> 24);
    for (int i = 0; i < count; i++)
        bytes[i] = (BYTE)(packed >> (8 * i));
    return count;
}

BYTE AnsiByte(const Compiler* compiler, BYTE b)
{
    return compiler->matchCase ? b : compiler->ansi->fold[b];
}

int LiteralBytes(const Compiler* compiler, const RegexNode* node, BYTE* bytes, BOOL* folded)
{
    int count;
    if (node->kind == NODE_BYTE) {
        bytes[0] = AnsiByte(compiler, (BYTE)node->value);
        count = 1;
    } else {
        count = AnsiSpelling(compiler, node->value, bytes);
    }
    for (int k = 0; k < count; k++)
        folded[k] = !compiler->matchCase && count == 1;
    return count;
}

void SetClear(const Compiler* compiler, CharSet* set)
{
    ZeroMemory(set->words, compiler->setWords * sizeof(DWORD));
    set->rangeCount = 0;
}

static void SetRemove(CharSet* set, DWORD c)
{
    set->words[c / 32] &= ~(1u << (c % 32));
}

static BOOL RangesAdd(Compiler* compiler, CharSet* set, DWORD first, DWORD last)
{
    if (set->rangeCount == SET_RANGES) {
        CompileFail(compiler, L"class too large", compiler->blame);
        return FALSE;
    }
    set->ranges[set->rangeCount][0] = first;
    set->ranges[set->rangeCount][1] = last;
    set->rangeCount++;
    return TRUE;
}

static BOOL RangesHold(const CharSet* set, DWORD c)
{
    for (DWORD i = 0; i < set->rangeCount; i++) {
        if (c >= set->ranges[i][0] && c <= set->ranges[i][1])
            return TRUE;
    }
    return FALSE;
}

// Takes character c out of the ranges above the basic plane.
static void RangesRemove(Compiler* compiler, CharSet* set, DWORD c)
{
    for (DWORD i = 0; i < set->rangeCount; i++) {
        DWORD first = set->ranges[i][0], last = set->ranges[i][1];
        if (c < first || c > last)
            continue;
        if (c == first && c == last) {
            set->ranges[i][0] = set->ranges[--set->rangeCount][0];
            set->ranges[i][1] = set->ranges[set->rangeCount][1];
            i--;
            continue;
        }
        if (c == first) {
            set->ranges[i][0] = c + 1;
        } else {
            set->ranges[i][1] = c - 1;
            if (c < last)
                RangesAdd(compiler, set, c + 1, last);
        }
    }
}

// Adds the characters first to last (bytes for an ANSI set).
static void SetAddRange(Compiler* compiler, CharSet* set, DWORD first, DWORD last)
{
    DWORD end = compiler->setWords * 32;
    for (DWORD c = first; c <= last && c < end; c++) {
        if (c % 32 == 0 && c + 31 <= last && c + 32 <= end) {
            set->words[c / 32] = ~0u;
            c += 31;
        } else {
            SetAdd(set, c);
        }
    }
    if (last >= end)
        RangesAdd(compiler, set, first > end ? first : end, last);
}

// Sorts and merges the ranges above the basic plane.
static void NormalizeRanges(CharSet* set)
{
    for (DWORD i = 1; i < set->rangeCount; i++) {
        DWORD first = set->ranges[i][0], last = set->ranges[i][1], j = i;
        for (; j > 0 && set->ranges[j - 1][0] > first; j--) {
            set->ranges[j][0] = set->ranges[j - 1][0];
            set->ranges[j][1] = set->ranges[j - 1][1];
        }
        set->ranges[j][0] = first;
        set->ranges[j][1] = last;
    }
    DWORD kept = 0;
    for (DWORD i = 0; i < set->rangeCount; i++) {
        if (kept > 0 && set->ranges[i][0] <= set->ranges[kept - 1][1] + 1) {
            if (set->ranges[i][1] > set->ranges[kept - 1][1])
                set->ranges[kept - 1][1] = set->ranges[i][1];
            continue;
        }
        set->ranges[kept][0] = set->ranges[i][0];
        set->ranges[kept][1] = set->ranges[i][1];
        kept++;
    }
    set->rangeCount = kept;
}

static void SetComplement(Compiler* compiler, CharSet* set)
{
    for (DWORD i = 0; i < compiler->setWords; i++)
        set->words[i] = ~set->words[i];
    if (compiler->alphabet == REGEX_ANSI)
        return;
    // The gaps between the sorted ranges, written over them: the gap before
    // a range goes where the range was read.
    NormalizeRanges(set);
    DWORD from = BMP_END, kept = 0, count = set->rangeCount;
    for (DWORD i = 0; i < count; i++) {
        DWORD first = set->ranges[i][0], last = set->ranges[i][1];
        if (first > from) {
            set->ranges[kept][0] = from;
            set->ranges[kept++][1] = first - 1;
        }
        from = last + 1;
    }
    if (from < PLANES_END && kept == SET_RANGES) {
        CompileFail(compiler, L"class too large", compiler->blame);
    } else if (from < PLANES_END) {
        set->ranges[kept][0] = from;
        set->ranges[kept++][1] = PLANES_END - 1;
    }
    set->rangeCount = kept;
}

static void SetUnion(const Compiler* compiler, CharSet* set, const CharSet* other)
{
    for (DWORD i = 0; i < compiler->setWords; i++)
        set->words[i] |= other->words[i];
    for (DWORD i = 0; i < other->rangeCount && set->rangeCount < SET_RANGES; i++) {
        set->ranges[set->rangeCount][0] = other->ranges[i][0];
        set->ranges[set->rangeCount][1] = other->ranges[i][1];
        set->rangeCount++;
    }
}

// Copies the set's characters (not what lies behind its ranges in use).
static void SetCopy(const Compiler* compiler, CharSet* copy, const CharSet* set)
{
    CopyMemory(copy->words, set->words, sizeof(DWORD) * compiler->setWords);
    CopyMemory(copy->ranges, set->ranges, sizeof(set->ranges[0]) * set->rangeCount);
    copy->rangeCount = set->rangeCount;
}

// Unicode, match case off: the members' upper case.
static void UpperImage(Compiler* compiler, CharSet* set)
{
    CharSet* members = compiler->scratch[2];
    SetCopy(compiler, members, set);
    int count;
    const FoldPair* changes = FoldChanges(LoadCaseFold(), &count);
    for (int i = 0; i < count; i++) {
        if (changes[i].from < BMP_END)
            SetRemove(set, changes[i].from);
        else if (RangesHold(members, changes[i].from))
            RangesRemove(compiler, set, changes[i].from);
    }
    for (int i = 0; i < count; i++) {
        if (changes[i].from < BMP_END ? !SetHas(members, changes[i].from) : !RangesHold(members, changes[i].from))
            continue;
        if (changes[i].to < BMP_END)
            SetAdd(set, changes[i].to);
        else
            RangesAdd(compiler, set, changes[i].to, changes[i].to);
    }
}

// Match case off: the text characters whose folded form the set holds; in
// ANSI files the bytes, as the code page folds them.
static void FoldedPreimage(Compiler* compiler, CharSet* set)
{
    if (compiler->matchCase)
        return;
    if (compiler->alphabet == REGEX_ANSI) {
        CharSet* image = compiler->scratch[2];
        SetCopy(compiler, image, set);
        for (DWORD b = 0; b < 256; b++) {
            if (SetHas(image, compiler->ansi->fold[b]))
                SetAdd(set, b);
            else
                SetRemove(set, b);
        }
        return;
    }
    CharSet* image = compiler->scratch[2];
    SetCopy(compiler, image, set);
    int count;
    const FoldPair* changes = FoldChanges(LoadCaseFold(), &count);
    for (int i = 0; i < count; i++) {
        DWORD c = changes[i].from, upper = changes[i].to;
        BOOL held = upper < BMP_END ? SetHas(image, upper) : RangesHold(image, upper);
        if (c < BMP_END) {
            if (held)
                SetAdd(set, c);
            else
                SetRemove(set, c);
        } else if (!held) {
            RangesRemove(compiler, set, c);
        } else if (!RangesHold(set, c)) {
            RangesAdd(compiler, set, c, c);
        }
    }
}

static DWORD HashSet(const Compiler* compiler, const CharSet* set)
{
    DWORD hash = 2166136261u;
    for (DWORD i = 0; i < compiler->setWords; i++)
        hash = (hash ^ set->words[i]) * 16777619u;
    for (DWORD i = 0; i < set->rangeCount; i++)
        hash = ((hash ^ set->ranges[i][0]) * 16777619u ^ set->ranges[i][1]) * 16777619u;
    return hash;
}

static BOOL SameSet(const Compiler* compiler, const StoredSet* stored, const CharSet* set)
{
    if (stored->rangeCount != set->rangeCount)
        return FALSE;
    for (DWORD i = 0; i < compiler->setWords; i++) {
        if (stored->words[i] != set->words[i])
            return FALSE;
    }
    for (DWORD i = 0; i < set->rangeCount; i++) {
        if (stored->ranges[2 * i] != set->ranges[i][0] || stored->ranges[2 * i + 1] != set->ranges[i][1])
            return FALSE;
    }
    return TRUE;
}

#define SET_BUCKETS 4096

// Stores the set as it is and gives its index (0 after an error).
static DWORD Store(Compiler* compiler, CharSet* set)
{
    NormalizeRanges(set);
    DWORD hash = HashSet(compiler, set);
    StoredSet** bucket = &compiler->buckets[hash % SET_BUCKETS];
    for (StoredSet* stored = *bucket; stored; stored = stored->next) {
        if (stored->hash == hash && SameSet(compiler, stored, set))
            return stored->index;
    }
    StoredSet* stored = (StoredSet*)ArenaTake(compiler->arena, sizeof(StoredSet));
    DWORD* words = (DWORD*)ArenaTake(compiler->arena, sizeof(DWORD) * (compiler->setWords + 2 * set->rangeCount));
    if (!stored || !words || compiler->setCount == REGEX_MAX_INSTRUCTIONS + 3) {
        CompileFail(compiler, L"pattern too large", compiler->blame);
        return 0;
    }
    CopyMemory(words, set->words, sizeof(DWORD) * compiler->setWords);
    stored->words = words;
    stored->ranges = words + compiler->setWords;
    for (DWORD i = 0; i < set->rangeCount; i++) {
        stored->ranges[2 * i] = set->ranges[i][0];
        stored->ranges[2 * i + 1] = set->ranges[i][1];
    }
    stored->rangeCount = set->rangeCount;
    stored->hash = hash;
    stored->index = compiler->setCount;
    stored->next = *bucket;
    *bucket = stored;
    compiler->sets[compiler->setCount++] = stored;
    return stored->index;
}

DWORD SetStore(Compiler* compiler, CharSet* set)
{
    // No match runs over a line end.
    SetRemove(set, '\r');
    SetRemove(set, '\n');
    return Store(compiler, set);
}

static void AddEscape(Compiler* compiler, CharSet* set, DWORD escape, BOOL negated)
{
    CharSet* base = compiler->scratch[1];
    SetClear(compiler, base);
    if (escape == ESCAPE_DIGIT) {
        SetAddRange(compiler, base, '0', '9');
    } else if (escape == ESCAPE_SPACE) {
        SetAdd(base, ' ');
        SetAdd(base, '\t');
        SetAdd(base, '\v');
        SetAdd(base, '\f');
    } else if (compiler->alphabet == REGEX_UNICODE) {
        CopyMemory(base->words, UnicodeWordBits(), BMP_WORDS * sizeof(DWORD));
    } else {
        for (DWORD b = 0; b < 256; b++)
            if (IsWordByte((BYTE)b))
                SetAdd(base, b);
    }
    if (negated)
        SetComplement(compiler, base);
    SetUnion(compiler, set, base);
}

BOOL SetsBegin(Compiler* compiler)
{
    compiler->setWords = compiler->alphabet == REGEX_ANSI ? 8 : BMP_WORDS;
    if (compiler->alphabet == REGEX_ANSI)
        InitOnceExecuteOnce(&ansiTablesOnce, BuildAnsiTables, NULL, NULL);
    else if (!LoadCaseFold()) {
        CompileFail(compiler, L"out of memory", 1);
        return FALSE;
    }
    compiler->sets = (StoredSet**)ArenaTake(compiler->arena, sizeof(StoredSet*) * (REGEX_MAX_INSTRUCTIONS + 3));
    compiler->buckets = (StoredSet**)ArenaTake(compiler->arena, sizeof(StoredSet*) * SET_BUCKETS);
    for (int i = 0; i < 3; i++)
        compiler->scratch[i] = (CharSet*)ArenaTake(compiler->arena, sizeof(CharSet));
    if (!compiler->sets || !compiler->buckets || !compiler->scratch[2]) {
        CompileFail(compiler, L"out of memory", 1);
        return FALSE;
    }
    CharSet* set = compiler->scratch[0];
    SetClear(compiler, set);
    AddEscape(compiler, set, ESCAPE_WORD, FALSE);
    Store(compiler, set);
    SetClear(compiler, set);
    SetAdd(set, '\r');
    SetAdd(set, '\n');
    Store(compiler, set);
    SetClear(compiler, set);
    for (DWORD b = 0; compiler->doubleByte && b < 256; b++)
        if (compiler->ansi->lead[b])
            SetAdd(set, b);
    Store(compiler, set);
    return !compiler->failed;
}

DWORD SetOfByte(Compiler* compiler, BYTE b, BOOL folded)
{
    CharSet* set = compiler->scratch[0];
    SetClear(compiler, set);
    for (DWORD x = 0; x < 256; x++)
        if (folded ? compiler->ansi->fold[x] == b : x == b)
            SetAdd(set, x);
    return SetStore(compiler, set);
}

DWORD SetOfAnyByte(Compiler* compiler, const DWORD* but)
{
    CharSet* set = compiler->scratch[0];
    SetClear(compiler, set);
    SetAddRange(compiler, set, 0, 255);
    for (DWORD i = 0; but && i < 8; i++)
        set->words[i] &= ~but[i];
    return SetStore(compiler, set);
}

// Stores the parts of a set of bytes (or of Unicode characters) that a
// pattern's character takes. In double-byte text a lead byte in it takes
// its character, lone or with any trail byte, but for the tree's members of
// that lead when the tree excludes them.
static BOOL StoreParts(Compiler* compiler, CharSet* set, DWORD tree, BOOL excludes, CharacterParts* parts)
{
    parts->tree = tree;
    parts->excludes = excludes;
    parts->loneLeads = parts->allTrails = NO_SET;
    if (compiler->doubleByte) {
        CharSet* leads = compiler->scratch[1];
        CharSet* trails = compiler->scratch[2];
        SetClear(compiler, leads);
        SetClear(compiler, trails);
        BOOL anyLead = FALSE, anyTrails = FALSE;
        for (DWORD b = 0; b < 256; b++) {
            if (!compiler->ansi->lead[b] || !SetHas(set, b))
                continue;
            SetRemove(set, b);
            SetAdd(leads, b);
            anyLead = TRUE;
            if (!excludes || !tree || !compiler->tree[tree].children[b]) {
                SetAdd(trails, b);
                anyTrails = TRUE;
            }
        }
        if (anyLead)
            parts->loneLeads = SetStore(compiler, leads);
        if (anyTrails)
            parts->allTrails = SetStore(compiler, trails);
    }
    parts->singles = SetStore(compiler, set);
    return !compiler->failed;
}

DWORD SetOfCharacter(Compiler* compiler, DWORD c)
{
    CharSet* set = compiler->scratch[0];
    SetClear(compiler, set);
    SetAddRange(compiler, set, c, c);
    if (!compiler->matchCase) {
        UpperImage(compiler, set);
        FoldedPreimage(compiler, set);
    }
    return SetStore(compiler, set);
}

BOOL SetOfAny(Compiler* compiler, CharacterParts* parts)
{
    CharSet* set = compiler->scratch[0];
    SetClear(compiler, set);
    SetComplement(compiler, set);
    SetRemove(set, '\r');
    SetRemove(set, '\n');
    return StoreParts(compiler, set, 0, FALSE, parts);
}

BOOL SetOfEscape(Compiler* compiler, DWORD escape, BOOL negated, CharacterParts* parts)
{
    CharSet* set = compiler->scratch[0];
    SetClear(compiler, set);
    AddEscape(compiler, set, escape, negated);
    FoldedPreimage(compiler, set);
    SetRemove(set, '\r');
    SetRemove(set, '\n');
    return StoreParts(compiler, set, 0, FALSE, parts);
}

BOOL SetOfLeadByte(Compiler* compiler, BYTE lead, CharacterParts* parts)
{
    CharSet* set = compiler->scratch[0];
    SetClear(compiler, set);
    SetAdd(set, lead);
    return StoreParts(compiler, set, 0, FALSE, parts);
}

static BOOL NewTreeNode(Compiler* compiler, DWORD* node)
{
    if (!compiler->tree) {
        compiler->tree = (ByteTree*)ArenaTake(compiler->arena, sizeof(ByteTree) * MAX_TREE_NODES);
        compiler->treeCount = 1;  // node 0 stands for none
    }
    if (!compiler->tree || compiler->treeCount == MAX_TREE_NODES) {
        CompileFail(compiler, L"class too large", compiler->blame);
        return FALSE;
    }
    *node = compiler->treeCount++;
    return TRUE;
}

// Puts the bytes of an ANSI member of several bytes into the class's tree:
// the root's children are the first bytes, and the last byte ends a node.
static BOOL TreeAdd(Compiler* compiler, DWORD* root, const BYTE* bytes, int count)
{
    if (*root == 0 && !NewTreeNode(compiler, root))
        return FALSE;
    DWORD node = *root;
    for (int i = 0; i < count - 1; i++) {
        if (compiler->tree[node].children[bytes[i]] == 0) {
            DWORD fresh;
            if (!NewTreeNode(compiler, &fresh))
                return FALSE;
            compiler->tree[node].children[bytes[i]] = (WORD)fresh;
        }
        node = compiler->tree[node].children[bytes[i]];
    }
    compiler->tree[node].ends[bytes[count - 1] / 32] |= 1u << (bytes[count - 1] % 32);
    return TRUE;
}

// The members first to last of an ANSI class: single bytes into the set,
// longer spellings into the tree.
static BOOL AddAnsiMembers(Compiler* compiler, CharSet* set, DWORD* tree, DWORD first, DWORD last)
{
    if (last >= PLANES_END)
        last = PLANES_END - 1;
    for (DWORD c = first; c <= last; c++) {
        if (c >= BMP_END && !compiler->utf8)
            break;
        BYTE bytes[4];
        int count = AnsiSpelling(compiler, c, bytes);
        if (count == 1)
            SetAdd(set, bytes[0]);
        else if (count > 1 && !TreeAdd(compiler, tree, bytes, count))
            return FALSE;
    }
    return TRUE;
}

// The members of a named class, negated when asked: bytes in ANSI files,
// upper-cased as \xHH members are unless the compiler matches case.
static void AddPosixClass(Compiler* compiler, CharSet* set, DWORD posixClass, BOOL negated)
{
    CharSet* base = compiler->scratch[1];
    SetClear(compiler, base);
    if (compiler->alphabet == REGEX_UNICODE) {
        const DWORD* bits = UnicodePosixBits(posixClass);
        if (!bits) {
            CompileFail(compiler, L"out of memory", 1);
            return;
        }
        CopyMemory(base->words, bits, BMP_WORDS * sizeof(DWORD));
    } else {
        for (DWORD b = 0; b < 256; b++)
            if (AnsiPosixHas(posixClass, (BYTE)b))
                SetAdd(base, b);
    }
    if (negated)
        SetComplement(compiler, base);
    if (compiler->alphabet == REGEX_UNICODE) {
        SetUnion(compiler, set, base);
        return;
    }
    for (DWORD b = 0; b < 256; b++)
        if (SetHas(base, b))
            SetAdd(set, AnsiByte(compiler, (BYTE)b));
}

BOOL SetOfClass(Compiler* compiler, const RegexNode* node, CharacterParts* parts)
{
    CharSet* members = compiler->scratch[0];
    DWORD tree = 0;
    SetClear(compiler, members);
    for (DWORD i = 0; i < node->itemCount && !compiler->failed; i++) {
        const RegexClassItem* item = &node->items[i];
        if (item->kind == ITEM_ESCAPE)
            continue;
        if (item->kind == ITEM_POSIX) {
            AddPosixClass(compiler, members, item->first, item->last);
        } else if (compiler->alphabet == REGEX_UNICODE) {
            SetAddRange(compiler, members, item->first, item->last);
        } else if (item->kind == ITEM_BYTES) {
            for (DWORD b = item->first; b <= item->last; b++)
                SetAdd(members, AnsiByte(compiler, (BYTE)b));
        } else {
            AddAnsiMembers(compiler, members, &tree, item->first, item->last);
        }
    }
    // ANSI members were upper-cased as they were spelled.
    if (compiler->alphabet == REGEX_UNICODE && !compiler->matchCase)
        UpperImage(compiler, members);
    for (DWORD i = 0; i < node->itemCount; i++) {
        if (node->items[i].kind == ITEM_ESCAPE)
            AddEscape(compiler, members, node->items[i].first, node->items[i].last);
    }
    FoldedPreimage(compiler, members);
    if (compiler->failed)
        return FALSE;
    // A negated class of ANSI text takes no character of several bytes
    // that it names: in double-byte text it takes the others of their lead
    // bytes, in UTF-8 none that begins with one of their first bytes.
    if (node->negated) {
        SetComplement(compiler, members);
        for (DWORD b = 0; tree && !compiler->doubleByte && b < 256; b++)
            if (compiler->tree[tree].children[b])
                SetRemove(members, b);
    }
    SetRemove(members, '\r');
    SetRemove(members, '\n');
    if (node->negated && !compiler->doubleByte)
        tree = 0;
    return StoreParts(compiler, members, tree, node->negated, parts);
}
