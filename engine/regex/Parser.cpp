// Parses a pattern as typed into a tree of nodes, or says what is wrong with
// it and where, counting characters from 1 (a surrogate pair is one).
#include "engine/regex/Parser.h"
#include "engine/regex/PosixClasses.h"
#include "engine/text/Utf16.h"

struct Parser {
    DWORD* chars;  // the pattern's characters
    int count;
    RegexClassItem* items;  // the members of all classes, each class's in a row
    int itemCount;
    int at;     // the next character
    int depth;  // groups open
    RegexArena* arena;
    RegexError* error;
    BOOL failed;
};

void RegexFail(RegexError* error, const WCHAR* what, int position)
{
    error->position = position;
    lstrcpynW(error->fault, what, REGEX_MESSAGE_CHARS);
    wsprintfW(error->message, L"%s at position %d", what, position);
}

static void Fail(Parser* parser, const WCHAR* what, int at)
{
    if (!parser->failed)
        RegexFail(parser->error, what, at + 1);
    parser->failed = TRUE;
}

static RegexNode* NewNode(Parser* parser, DWORD kind, int at)
{
    RegexNode* node = (RegexNode*)ArenaTake(parser->arena, sizeof(RegexNode));
    if (!node) {
        Fail(parser, L"out of memory", at);
        return NULL;
    }
    node->kind = kind;
    node->position = at + 1;
    return node;
}

static BOOL More(const Parser* parser)
{
    return parser->at < parser->count;
}

static DWORD Peek(const Parser* parser, int ahead)
{
    int at = parser->at + ahead;
    return at < parser->count ? parser->chars[at] : REGEX_NO_CHAR;
}

static int HexDigit(DWORD c)
{
    if (c >= '0' && c <= '9')
        return (int)(c - '0');
    if (c >= 'a' && c <= 'f')
        return (int)(c - 'a' + 10);
    if (c >= 'A' && c <= 'F')
        return (int)(c - 'A' + 10);
    return -1;
}

// A count of decimal digits at the cursor, capped above REGEX_MAX_COUNT; -1
// when there is no digit.
static int Count(Parser* parser, int* at)
{
    int value = -1;
    while (*at < parser->count && parser->chars[*at] >= '0' && parser->chars[*at] <= '9') {
        int digit = (int)(parser->chars[*at] - '0');
        value = value < 0 ? digit : value * 10 + digit;
        if (value > REGEX_MAX_COUNT)
            value = REGEX_MAX_COUNT + 1;
        (*at)++;
    }
    return value;
}

// Whether a quantifier starts at the cursor, with its counts and the
// character after it (lazy "?" included). A "{" that begins no count is not
// one.
static BOOL QuantifierAt(Parser* parser, DWORD* min, DWORD* max, int* end)
{
    DWORD c = Peek(parser, 0);
    int at = parser->at + 1;
    if (c == '*' || c == '+' || c == '?') {
        *min = c == '+' ? 1 : 0;
        *max = c == '?' ? 1 : REGEX_UNBOUNDED;
    } else if (c == '{') {
        int low = Count(parser, &at);
        if (low < 0)
            return FALSE;
        int high = low;
        if (at < parser->count && parser->chars[at] == ',') {
            at++;
            high = Count(parser, &at);
        }
        if (at >= parser->count || parser->chars[at] != '}')
            return FALSE;
        at++;
        *min = (DWORD)low;
        *max = high < 0 ? REGEX_UNBOUNDED : (DWORD)high;
    } else {
        return FALSE;
    }
    if (at < parser->count && parser->chars[at] == '?')
        at++;
    *end = at;
    return TRUE;
}

static RegexNode* ParseAlternation(Parser* parser);

// An escape after "\" at the cursor, in a class or outside: fills kind and
// value (NODE_LITERAL, NODE_BYTE, NODE_ESCAPE with negated, NODE_ASSERT);
// FALSE after an error.
static BOOL ParseEscape(Parser* parser, BOOL inClass, DWORD* kind, DWORD* value, BOOL* negated)
{
    int start = parser->at;
    parser->at++;
    DWORD c = Peek(parser, 0);
    if (c == REGEX_NO_CHAR) {
        Fail(parser, L"trailing \\", start);
        return FALSE;
    }
    parser->at++;
    *negated = FALSE;
    switch (c) {
    case 'D':
    case 'W':
    case 'S':
        *negated = TRUE;
        c += 'a' - 'A';
        // fall through
    case 'd':
    case 'w':
    case 's':
        *kind = NODE_ESCAPE;
        *value = c == 'd' ? ESCAPE_DIGIT : c == 'w' ? ESCAPE_WORD : ESCAPE_SPACE;
        return TRUE;
    case 'b':
    case 'B':
        if (inClass) {
            Fail(parser, c == 'b' ? L"\\b in a class" : L"\\B in a class", start);
            return FALSE;
        }
        *kind = NODE_ASSERT;
        *value = c == 'b' ? ASSERT_WORD_BOUNDARY : ASSERT_NOT_WORD_BOUNDARY;
        return TRUE;
    case 't':
        *kind = NODE_LITERAL;
        *value = '\t';
        return TRUE;
    case 'x': {
        int high = HexDigit(Peek(parser, 0)), low = HexDigit(Peek(parser, 1));
        if (high < 0 || low < 0) {
            Fail(parser, L"\\x without two hex digits", start);
            return FALSE;
        }
        parser->at += 2;
        *kind = NODE_BYTE;
        *value = (DWORD)(high * 16 + low);
        return TRUE;
    }
    }
    if (c >= '0' && c <= '9') {
        Fail(parser, L"back-references are not supported", start);
        return FALSE;
    }
    if (!IsAsciiPunctuation(c)) {
        WCHAR what[32];
        WCHAR spelled[3] = {};
        PutUtf16(c, spelled);
        wsprintfW(what, L"unknown escape \\%s", spelled);
        Fail(parser, what, start);
        return FALSE;
    }
    *kind = NODE_LITERAL;
    *value = c;
    return TRUE;
}

static const WCHAR* const posixNames[POSIX_CLASSES] = {L"alpha", L"digit", L"alnum",  L"space", L"upper",
                                                       L"lower", L"punct", L"xdigit", L"word"};

// A name of ASCII letters at the cursor, closed by ":]", as in "[:alpha:]"
// after its "[:" (and "^"): its length, or 0 when there is none.
static int PosixNameLength(const Parser* parser, int at)
{
    int length = 0;
    while (at + length < parser->count &&
           ((parser->chars[at + length] | 0x20) >= 'a' && (parser->chars[at + length] | 0x20) <= 'z'))
        length++;
    BOOL closed =
        at + length + 1 < parser->count && parser->chars[at + length] == ':' && parser->chars[at + length + 1] == ']';
    return closed ? length : 0;
}

// The class that length characters of the pattern at name name, or
// POSIX_CLASSES for none.
static DWORD PosixClassNamed(const Parser* parser, int at, int length)
{
    for (DWORD k = 0; k < POSIX_CLASSES; k++) {
        int i = 0;
        while (i < length && posixNames[k][i] == (WCHAR)parser->chars[at + i])
            i++;
        if (i == length && posixNames[k][i] == 0)
            return k;
    }
    return POSIX_CLASSES;
}

// A class named in a bracket, "[:name:]" or "[:^name:]", at the cursor:
// TRUE with the item when there is one, FALSE (failed for a name that
// names no class) when the "[" is an ordinary member.
static BOOL ParsePosixClass(Parser* parser, RegexClassItem* item)
{
    int start = parser->at, at = start + 2;
    BOOL negated = at < parser->count && parser->chars[at] == '^';
    int length = PosixNameLength(parser, at + negated);
    if (Peek(parser, 0) != '[' || Peek(parser, 1) != ':' || length == 0)
        return FALSE;
    DWORD named = PosixClassNamed(parser, at + negated, length);
    if (named == POSIX_CLASSES) {
        WCHAR what[48];
        WCHAR name[17];
        int shown = length < 16 ? length : 16;
        for (int i = 0; i <= shown; i++)
            name[i] = i < shown ? (WCHAR)parser->chars[at + negated + i] : 0;
        wsprintfW(what, L"unknown class [:%s%s:]", negated ? L"^" : L"", name);
        Fail(parser, what, start);
        return FALSE;
    }
    parser->at = at + negated + length + 2;
    item->kind = ITEM_POSIX;
    item->first = named;
    item->last = (DWORD)negated;
    return TRUE;
}

// One member of a class: a character, a \xHH byte, an escape set or a
// named class.
static BOOL ParseClassAtom(Parser* parser, RegexClassItem* item, int open)
{
    DWORD c = Peek(parser, 0);
    item->firstAt = item->lastAt = parser->at + 1;
    if (c == '\\' && Peek(parser, 1) == REGEX_NO_CHAR) {
        Fail(parser, L"missing ] for [", open);
        return FALSE;
    }
    if (c == '[' && ParsePosixClass(parser, item))
        return TRUE;
    if (parser->failed)
        return FALSE;
    if (c != '\\') {
        parser->at++;
        item->kind = ITEM_CHARS;
        item->first = item->last = c;
        return TRUE;
    }
    DWORD kind, value;
    BOOL negated;
    if (!ParseEscape(parser, TRUE, &kind, &value, &negated))
        return FALSE;
    item->kind = kind == NODE_ESCAPE ? ITEM_ESCAPE : kind == NODE_BYTE ? ITEM_BYTES : ITEM_CHARS;
    item->first = value;
    item->last = kind == NODE_ESCAPE ? (DWORD)negated : value;
    return TRUE;
}

// A class from its "[" at the cursor to its "]".
static RegexNode* ParseClass(Parser* parser)
{
    int open = parser->at;
    RegexNode* node = NewNode(parser, NODE_CLASS, open);
    if (!node)
        return NULL;
    // Classes do not nest: each takes the next items of the pattern's list.
    RegexClassItem* items = parser->items + parser->itemCount;
    node->items = items;
    parser->at++;
    if (Peek(parser, 0) == '^') {
        node->negated = TRUE;
        parser->at++;
    }
    BOOL first = TRUE;
    for (;;) {
        DWORD c = Peek(parser, 0);
        if (c == REGEX_NO_CHAR) {
            Fail(parser, L"missing ] for [", open);
            return NULL;
        }
        if (c == ']' && !first)
            break;
        first = FALSE;
        int start = parser->at;
        RegexClassItem* item = &items[node->itemCount++];
        if (!ParseClassAtom(parser, item, open))
            return NULL;
        if (Peek(parser, 0) != '-' || Peek(parser, 1) == ']' || Peek(parser, 1) == REGEX_NO_CHAR)
            continue;
        parser->at++;
        RegexClassItem last;
        if (!ParseClassAtom(parser, &last, open))
            return NULL;
        if (item->kind == ITEM_POSIX || last.kind == ITEM_POSIX) {
            Fail(parser, L"a named class ends a range", start);
            return NULL;
        }
        if (item->kind == ITEM_ESCAPE || last.kind == ITEM_ESCAPE) {
            Fail(parser, L"a class escape ends a range", start);
            return NULL;
        }
        if (last.first < item->first) {
            Fail(parser, L"range out of order", start);
            return NULL;
        }
        item->kind = item->kind == ITEM_BYTES && last.kind == ITEM_BYTES ? ITEM_BYTES : ITEM_CHARS;
        item->last = last.first;
        item->lastAt = last.firstAt;
    }
    parser->at++;
    parser->itemCount += node->itemCount;
    // "[:alpha:]" alone is a class of ":", "a", "l", "p", "h": taken for the
    // named class, it would find something else than was meant.
    int length = parser->at - open - 4;
    if (!node->negated && length > 0 && parser->chars[open + 1] == ':' && parser->chars[parser->at - 2] == ':' &&
        PosixNameLength(parser, open + 2) == length && PosixClassNamed(parser, open + 2, length) != POSIX_CLASSES) {
        WCHAR what[48];
        WCHAR name[8];
        for (int i = 0; i <= length; i++)
            name[i] = i < length ? (WCHAR)parser->chars[open + 2 + i] : 0;
        wsprintfW(what, L"[:%s:] outside brackets: write [[:%s:]]", name, name);
        Fail(parser, what, open);
        return NULL;
    }
    return node;
}

static RegexNode* ParseGroup(Parser* parser)
{
    int open = parser->at;
    parser->at++;
    if (Peek(parser, 0) == '?') {
        DWORD c = Peek(parser, 1);
        if (c == ':') {
            parser->at += 2;
        } else {
            BOOL around = c == '=' || c == '!' || (c == '<' && (Peek(parser, 2) == '=' || Peek(parser, 2) == '!'));
            Fail(parser, around ? L"look-around is not supported" : L"unsupported group (?", open);
            return NULL;
        }
    }
    if (++parser->depth > REGEX_MAX_NESTING) {
        Fail(parser, L"groups nested too deeply", open);
        return NULL;
    }
    RegexNode* node = ParseAlternation(parser);
    parser->depth--;
    if (parser->failed)
        return NULL;
    if (Peek(parser, 0) != ')') {
        Fail(parser, L"unmatched (", open);
        return NULL;
    }
    parser->at++;
    node->grouped = TRUE;
    return node;
}

static RegexNode* ParseAtom(Parser* parser)
{
    int at = parser->at;
    DWORD c = Peek(parser, 0), min, max;
    int end;
    if (QuantifierAt(parser, &min, &max, &end)) {
        Fail(parser, L"nothing to repeat", at);
        return NULL;
    }
    switch (c) {
    case '(': return ParseGroup(parser);
    case '[': return ParseClass(parser);
    case '\\': {
        DWORD kind, value;
        BOOL negated;
        if (!ParseEscape(parser, FALSE, &kind, &value, &negated))
            return NULL;
        RegexNode* node = NewNode(parser, kind, at);
        if (node) {
            node->value = value;
            node->negated = negated;
        }
        return node;
    }
    }
    parser->at++;
    DWORD kind = NODE_LITERAL, value = c;
    if (c == '.') {
        kind = NODE_ANY;
    } else if (c == '^' || c == '$') {
        kind = NODE_ASSERT;
        value = c == '^' ? ASSERT_LINE_START : ASSERT_LINE_END;
    }
    RegexNode* node = NewNode(parser, kind, at);
    if (node)
        node->value = value;
    return node;
}

// An atom and its quantifier, if any.
static RegexNode* ParseRepeat(Parser* parser)
{
    BOOL group = Peek(parser, 0) == '(';
    RegexNode* atom = ParseAtom(parser);
    DWORD min, max, otherMin, otherMax;
    int end, otherEnd, at = parser->at;
    if (!atom || !QuantifierAt(parser, &min, &max, &end))
        return atom;
    // A group may be repeated whatever it holds; a bare assertion may not.
    if (atom->kind == NODE_ASSERT && !group) {
        Fail(parser, L"nothing to repeat", at);
        return NULL;
    }
    if (min > REGEX_MAX_COUNT || (max != REGEX_UNBOUNDED && max > REGEX_MAX_COUNT)) {
        Fail(parser, L"repetition count over 1000", at);
        return NULL;
    }
    if (max < min) {
        Fail(parser, L"repetition counts out of order", at);
        return NULL;
    }
    parser->at = end;
    if (QuantifierAt(parser, &otherMin, &otherMax, &otherEnd)) {
        Fail(parser, L"nothing to repeat", parser->at);
        return NULL;
    }
    RegexNode* node = NewNode(parser, NODE_REPEAT, at);
    if (node) {
        node->min = min;
        node->max = max;
        node->child = atom;
    }
    return node;
}

// Puts node at the end of a list of siblings.
static void Append(RegexNode** first, RegexNode** last, RegexNode* node)
{
    if (*last)
        (*last)->next = node;
    else
        *first = node;
    node->previous = *last;
    *last = node;
}

// Links the nodes made by one parse function into a parent of kind, or
// returns the only one (an empty node for none).
static RegexNode* Gather(Parser* parser, DWORD kind, RegexNode* first, RegexNode* last, int count, int at)
{
    if (count == 1)
        return first;
    RegexNode* node = NewNode(parser, count == 0 ? (DWORD)NODE_EMPTY : kind, at);
    if (node) {
        node->child = first;
        node->lastChild = last;
    }
    return node;
}

static RegexNode* ParseConcatenation(Parser* parser)
{
    int at = parser->at, count = 0;
    RegexNode *first = NULL, *last = NULL;
    while (More(parser) && Peek(parser, 0) != '|' && Peek(parser, 0) != ')') {
        RegexNode* node = ParseRepeat(parser);
        if (!node)
            return NULL;
        Append(&first, &last, node);
        count++;
    }
    return Gather(parser, NODE_CONCAT, first, last, count, at);
}

static RegexNode* ParseAlternation(Parser* parser)
{
    int at = parser->at, count = 0;
    RegexNode *first = NULL, *last = NULL;
    for (;;) {
        RegexNode* node = ParseConcatenation(parser);
        if (!node)
            return NULL;
        Append(&first, &last, node);
        count++;
        if (Peek(parser, 0) != '|')
            break;
        parser->at++;
    }
    return Gather(parser, NODE_ALT, first, last, count, at);
}

RegexNode* RegexParse(const WCHAR* pattern, int length, RegexArena* arena, RegexError* error)
{
    Parser parser = {};
    parser.arena = arena;
    parser.error = error;
    parser.chars = (DWORD*)ArenaTake(arena, sizeof(DWORD) * (length + 1));
    // Every member takes at least one character of the pattern.
    parser.items = (RegexClassItem*)ArenaTake(arena, sizeof(RegexClassItem) * (length + 1));
    if (!parser.chars || !parser.items) {
        RegexFail(error, L"out of memory", 1);
        return NULL;
    }
    for (int i = 0; i < length; i++) {
        DWORD c = pattern[i];
        if (IsHighSurrogate(c) && i + 1 < length && IsLowSurrogate(pattern[i + 1]))
            c = PairedCharacter(c, pattern[++i]);
        parser.chars[parser.count++] = c;
    }
    RegexNode* root = ParseAlternation(&parser);
    if (root && More(&parser))
        Fail(&parser, L"unmatched )", parser.at);
    return parser.failed ? NULL : root;
}
