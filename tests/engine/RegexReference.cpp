// The reference matcher: a recursive-descent parser into a tree, and for
// each node and start position the set of positions where its matches end.
#include "tests/engine/RegexReference.h"
#include "engine/regex/Regex.h"
#include "tests/engine/ReferenceScan.h"
#include <set>
#include <unordered_map>

enum ReferenceKind { R_LITERAL, R_BYTE, R_ANY, R_CLASS, R_ESCAPE, R_ASSERT, R_CONCAT, R_ALTERNATION, R_REPEAT };

struct ReferenceItem {
    enum { CHARS, BYTES, ESCAPE, POSIX } kind;
    DWORD first;  // for a named class: its index in posixNames
    DWORD last;   // for an escape or a named class: 1 when negated
};

const char* const posixNames[] = {"alpha", "digit", "alnum", "space", "upper", "lower", "punct", "xdigit", "word"};

struct ReferenceNode {
    size_t id;
    ReferenceKind kind;
    DWORD value = 0;  // a character, a byte, an escape letter, or '^' '$' 'b' 'B'
    bool negated = false;
    unsigned min = 0, max = 0;  // max ~0u: no bound
    std::vector<ReferenceNode*> children;
    std::vector<ReferenceItem> items;
};

struct ReferencePattern {
    std::vector<std::unique_ptr<ReferenceNode>> nodes;
    ReferenceNode* root = nullptr;
};

namespace {

const unsigned unbounded = ~0u;

struct ReferenceParser {
    std::vector<DWORD> text;
    size_t at = 0;
    bool bad = false;
    ReferencePattern* pattern;

    DWORD Peek(size_t ahead = 0) const { return at + ahead < text.size() ? text[at + ahead] : ~0u; }

    ReferenceNode* Node(ReferenceKind kind)
    {
        pattern->nodes.emplace_back(new ReferenceNode());
        pattern->nodes.back()->kind = kind;
        pattern->nodes.back()->id = pattern->nodes.size() - 1;
        return pattern->nodes.back().get();
    }

    // "*", "+", "?" or "{m}", "{m,}", "{m,n}", and a lazy "?" after it.
    bool Quantifier(unsigned* min, unsigned* max)
    {
        size_t start = at;
        DWORD c = Peek();
        if (c == '*' || c == '+' || c == '?') {
            at++;
            *min = c == '+' ? 1 : 0;
            *max = c == '?' ? 1 : unbounded;
        } else if (c == '{') {
            at++;
            std::string low, high;
            while (Peek() >= '0' && Peek() <= '9')
                low += (char)text[at++];
            bool comma = Peek() == ',';
            if (comma) {
                at++;
                while (Peek() >= '0' && Peek() <= '9')
                    high += (char)text[at++];
            }
            if (low.empty() || Peek() != '}') {
                at = start;
                return false;
            }
            at++;
            *min = (unsigned)atoi(low.c_str());
            *max = !comma ? *min : high.empty() ? unbounded : (unsigned)atoi(high.c_str());
        } else {
            return false;
        }
        if (Peek() == '?')
            at++;
        return true;
    }

    // After a backslash: fills node kind and value, or marks the pattern bad.
    void Escape(ReferenceNode* node)
    {
        DWORD c = Peek();
        at++;
        if (c == 'd' || c == 'w' || c == 's' || c == 'D' || c == 'W' || c == 'S') {
            node->kind = R_ESCAPE;
            node->value = c | 0x20;
            node->negated = c < 'a';
        } else if (c == 'b' || c == 'B') {
            node->kind = R_ASSERT;
            node->value = c;
        } else if (c == 't') {
            node->kind = R_LITERAL;
            node->value = '\t';
        } else if (c == 'x' && Peek() < 0x80 && Peek(1) < 0x80 && isxdigit((int)Peek()) && isxdigit((int)Peek(1))) {
            char hex[3] = {(char)Peek(), (char)Peek(1), 0};
            at += 2;
            node->kind = R_BYTE;
            node->value = (DWORD)strtoul(hex, NULL, 16);
        } else if (c < 0x80 && ispunct((int)c)) {
            node->kind = R_LITERAL;
            node->value = c;
        } else {
            bad = true;
        }
    }

    // "[:name:]" or "[:^name:]" at the cursor: a named class, a name that is
    // none (bad), or a plain "[" (false).
    bool Named(ReferenceItem* item)
    {
        if (Peek() != '[' || Peek(1) != ':')
            return false;
        size_t from = at + 2 + (Peek(2) == '^');
        std::string name;
        for (size_t k = from; k < text.size() && text[k] < 0x80 && isalpha((int)text[k]); k++)
            name += (char)text[k];
        size_t close = from + name.size();
        if (name.empty() || close + 1 >= text.size() || text[close] != ':' || text[close + 1] != ']')
            return false;
        for (DWORD k = 0; k < sizeof posixNames / sizeof posixNames[0]; k++) {
            if (name == posixNames[k]) {
                *item = {ReferenceItem::POSIX, k, Peek(2) == '^' ? 1u : 0u};
                at = close + 2;
                return true;
            }
        }
        bad = true;
        return true;
    }

    ReferenceItem ClassAtom()
    {
        ReferenceItem item = {ReferenceItem::CHARS, Peek(), Peek()};
        if (Named(&item))
            return item;
        if (Peek() != '\\') {
            at++;
            return item;
        }
        at++;
        ReferenceNode scratch;
        scratch.kind = R_LITERAL;
        Escape(&scratch);
        if (scratch.kind == R_ESCAPE)
            return {ReferenceItem::ESCAPE, scratch.value, scratch.negated ? 1u : 0u};
        if (scratch.kind == R_ASSERT)
            bad = true;
        item.kind = scratch.kind == R_BYTE ? ReferenceItem::BYTES : ReferenceItem::CHARS;
        item.first = item.last = scratch.value;
        return item;
    }

    ReferenceNode* Class()
    {
        ReferenceNode* node = Node(R_CLASS);
        at++;
        if (Peek() == '^') {
            node->negated = true;
            at++;
        }
        bool first = true;
        while (!bad && (Peek() != ']' || first)) {
            if (Peek() == ~0u) {
                bad = true;
                break;
            }
            first = false;
            ReferenceItem item = ClassAtom();
            if (Peek() == '-' && Peek(1) != ']' && Peek(1) != ~0u) {
                at++;
                ReferenceItem last = ClassAtom();
                if (item.kind == ReferenceItem::ESCAPE || last.kind == ReferenceItem::ESCAPE ||
                    item.kind == ReferenceItem::POSIX || last.kind == ReferenceItem::POSIX || last.first < item.first)
                    bad = true;
                if (!(item.kind == ReferenceItem::BYTES && last.kind == ReferenceItem::BYTES))
                    item.kind = ReferenceItem::CHARS;
                item.last = last.first;
            }
            node->items.push_back(item);
        }
        at++;
        return node;
    }

    ReferenceNode* Atom()
    {
        DWORD c = Peek();
        if (c == '(') {
            at++;
            if (Peek() == '?') {
                if (Peek(1) != ':')
                    bad = true;
                at += 2;
            }
            ReferenceNode* inner = Alternation();
            if (Peek() != ')')
                bad = true;
            at++;
            return inner;
        }
        if (c == '[')
            return Class();
        ReferenceNode* node = Node(R_LITERAL);
        at++;
        if (c == '\\')
            Escape(node);
        else if (c == '.')
            node->kind = R_ANY;
        else if (c == '^' || c == '$')
            node->kind = R_ASSERT;
        if (c != '\\')
            node->value = c;
        if (c == '*' || c == '+' || c == '?')
            bad = true;
        return node;
    }

    ReferenceNode* Repeat()
    {
        unsigned min, max;
        if (Quantifier(&min, &max)) {
            bad = true;
            return nullptr;
        }
        bool group = Peek() == '(';
        ReferenceNode* atom = Atom();
        if (bad || !Quantifier(&min, &max))
            return atom;
        if ((atom->kind == R_ASSERT && !group) || min > max)
            bad = true;
        ReferenceNode* node = Node(R_REPEAT);
        node->min = min;
        node->max = max;
        node->children.push_back(atom);
        return node;
    }

    ReferenceNode* Concatenation()
    {
        ReferenceNode* node = Node(R_CONCAT);
        while (!bad && Peek() != ~0u && Peek() != '|' && Peek() != ')')
            node->children.push_back(Repeat());
        return node;
    }

    ReferenceNode* Alternation()
    {
        ReferenceNode* node = Node(R_ALTERNATION);
        node->children.push_back(Concatenation());
        while (!bad && Peek() == '|') {
            at++;
            node->children.push_back(Concatenation());
        }
        return node;
    }
};

bool IsSurrogate(DWORD c)
{
    return c >= 0xD800 && c <= 0xDFFF;
}

std::vector<DWORD> Characters(const std::wstring& units)
{
    std::vector<DWORD> chars;
    for (size_t i = 0; i < units.size(); i++) {
        DWORD c = units[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < units.size() && units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF)
            c = 0x10000 + ((c - 0xD800) << 10) + (units[++i] - 0xDC00);
        chars.push_back(c);
    }
    return chars;
}

// A character's UTF-16 units.
std::wstring Units(DWORD c)
{
    if (c < 0x10000)
        return std::wstring(1, (wchar_t)c);
    return {(wchar_t)(0xD800 + ((c - 0x10000) >> 10)), (wchar_t)(0xDC00 + ((c - 0x10000) & 0x3FF))};
}

// The ANSI code page's exact spelling of a character, upper-cased by the
// platform when asked; empty when it cannot spell it.
std::string Spelling(DWORD c, bool upper)
{
    std::wstring units = Units(c);
    char bytes[16];
    BOOL usedDefault = FALSE;
    int count = GetACP() == CP_UTF8 ? WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, units.data(),
                                                          (int)units.size(), bytes, 16, NULL, NULL)
                                    : WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, units.data(), (int)units.size(),
                                                          bytes, 16, NULL, &usedDefault);
    if (count <= 0 || usedDefault)
        return std::string();
    // The platform upper-cases in place: a form of more bytes is not
    // written, one of fewer counts alone.
    std::string spelled(bytes, count);
    if (upper) {
        int written = (int)CharUpperBuffA(bytes, (DWORD)count);
        if (written > 0 && written <= count)
            spelled.assign(bytes, written);
    }
    return spelled;
}

// Whether a byte leads a double-byte character: the platform decodes it
// and a letter after it as one character.
bool IsLeadByte(BYTE b)
{
    char pair[2] = {(char)b, 'a'};
    WCHAR units[2];
    return MultiByteToWideChar(CP_ACP, 0, pair, 2, units, 2) == 1;
}

// The key of a character the code page spells in these bytes (one
// character: one byte, or two), or ~0u when it spells none.
DWORD KeyOf(const std::string& bytes)
{
    if (bytes.empty() || bytes.size() > 2)
        return ~0u;
    return AnsiCharacterKey(bytes, 0, bytes.size());
}

DWORD InvariantUpper(DWORD c)
{
    if (IsSurrogate(c))
        return c;
    std::wstring units = Units(c);
    wchar_t upper[2];
    int count =
        LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, units.data(), (int)units.size(), upper, 2, NULL, NULL, 0);
    std::vector<DWORD> chars = Characters(std::wstring(upper, count > 0 ? count : 0));
    return chars.size() == 1 ? chars[0] : c;
}

// The characters of the basic plane by their invariant upper case, made once.
const std::unordered_map<DWORD, std::vector<DWORD>>& ByUpperCase()
{
    static std::unordered_map<DWORD, std::vector<DWORD>> map;
    if (map.empty()) {
        for (DWORD c = 0; c < 0x10000; c++) {
            if (!IsSurrogate(c))
                map[InvariantUpper(c)].push_back(c);
        }
    }
    return map;
}

// Whether a named class holds character c as the engine's documentation
// says: ASCII in ANSI files (and \w's bytes for word), the platform's types
// of one character at a time in Unicode files, none beyond the basic plane.
bool InNamedClass(DWORD named, bool unicode, DWORD c, bool (*isWord)(bool, DWORD))
{
    if (named == 8)
        return isWord(unicode, c);
    if (!unicode) {
        if (c >= 0x80)
            return false;
        int b = (int)c;
        const int tests[] = {isalpha(b), isdigit(b), isalnum(b), isspace(b),
                             isupper(b), islower(b), ispunct(b), isxdigit(b)};
        return tests[named] != 0;
    }
    if (c >= 0x10000 || IsSurrogate(c))
        return false;
    WCHAR unit = (WCHAR)c;
    WORD type = 0;
    GetStringTypeW(CT_CTYPE1, &unit, 1, &type);
    switch (named) {
    case 0: return IsCharAlphaW(unit);
    case 1: return type & C1_DIGIT;
    case 2: return IsCharAlphaNumericW(unit);
    case 3: return type & C1_SPACE;
    case 4: return IsCharUpperW(unit);
    case 5: return IsCharLowerW(unit);
    case 6: return type & C1_PUNCT;
    default: return type & C1_XDIGIT;
    }
}

bool IsWordOf(bool unicode, DWORD c)
{
    if (c == '_')
        return true;
    if (unicode)
        return c < 0x10000 && !IsSurrogate(c) && IsCharAlphaNumericW((WCHAR)c);
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c >= 0x80;
}

class ReferenceMatcher {
public:
    ReferenceMatcher(const ReferenceRules& theRules, const ReferenceLine& theLine, bool assertionsRelaxed)
        : rules(theRules)
        , line(theLine)
        , relaxed(assertionsRelaxed)
        , n(theLine.chars.size())
    {
    }

    bool IsWord(DWORD c) const { return IsWordOf(rules.unicode, c); }

    // Text character c against a named class: some member whose upper case
    // (unless match case) is c's, or c itself when case matters.
    bool InPosix(const ReferenceItem& item, DWORD c) const
    {
        bool negated = item.last != 0;
        if (rules.matchCase || !rules.unicode) {
            if (rules.unicode)
                return InNamedClass(item.first, true, c, IsWordOf) != negated;
            // ANSI members fold as \xHH members do; a double-byte character
            // is a member where its lead byte is.
            if (c >= 0x10000)
                return InNamedClass(item.first, false, (c >> 8) & 0xFF, IsWordOf) != negated;
            for (DWORD b = 0; b < 256; b++) {
                if (InNamedClass(item.first, false, b, IsWordOf) != negated && Folded(b) == Folded(c))
                    return true;
            }
            return false;
        }
        if (c >= 0x10000)
            return negated;
        DWORD upper = Folded(c);
        std::vector<DWORD> members = {c};
        auto same = ByUpperCase().find(upper);
        if (same != ByUpperCase().end())
            members.insert(members.end(), same->second.begin(), same->second.end());
        for (DWORD m : members) {
            if (InNamedClass(item.first, true, m, IsWordOf) != negated)
                return true;
        }
        return false;
    }

    // The word character test at position i: the character there, none at
    // the line end.
    bool WordAt(size_t i) const { return i < n && IsWord(line.chars[i]); }

    // The text character as a set tests it: folded when match case is off.
    // ANSI: a character of one byte folds, a double-byte one stays.
    DWORD Folded(DWORD c) const
    {
        if (rules.matchCase)
            return c;
        if (rules.unicode)
            return InvariantUpper(c);
        return FoldedAnsiKey(c);
    }

    bool InEscape(DWORD letter, bool negated, DWORD c) const
    {
        bool in = letter == 'd'   ? (c >= '0' && c <= '9')
                  : letter == 's' ? (c == ' ' || c == '\t' || c == '\v' || c == '\f')
                                  : IsWord(c);
        return in != negated;
    }

    const std::set<size_t>& Ends(const ReferenceNode* node, size_t i)
    {
        size_t key = node->id * (n + 1) + i;
        auto known = memo.find(key);
        if (known != memo.end())
            return known->second;
        std::set<size_t> ends = Compute(node, i);
        return memo[key] = ends;
    }

    const ReferenceRules& rules;
    const ReferenceLine& line;
    bool relaxed;
    size_t n;
    std::unordered_map<size_t, std::set<size_t>> memo;

    // A class's members as the rules spell them, made once: characters
    // folded, and ANSI lead bytes that stand for every character they begin.
    struct Members {
        std::set<DWORD> singles;
        std::set<DWORD> leads;
    };
    std::unordered_map<const ReferenceNode*, Members> classes;

private:
    // Whether an ANSI text character begins with the lead byte b.
    static bool BeginsWith(DWORD c, DWORD b) { return c == b || (c >= 0x10000 && ((c >> 8) & 0xFF) == b); }

    std::set<size_t> Literal(const ReferenceNode* node, size_t i)
    {
        if (i >= n)
            return {};
        DWORD c = line.chars[i];
        if (rules.unicode)
            return Folded(c) == Folded(node->value) ? std::set<size_t> {i + 1} : std::set<size_t> {};
        // ANSI: \xHH is the character of that byte, or of a lead byte every
        // character it begins; a literal the character the code page spells.
        if (node->kind == R_BYTE && IsLeadByte((BYTE)node->value))
            return BeginsWith(c, node->value) ? std::set<size_t> {i + 1} : std::set<size_t> {};
        DWORD key = node->kind == R_BYTE ? node->value : KeyOf(Spelling(node->value, false));
        return key != ~0u && Folded(c) == Folded(key) ? std::set<size_t> {i + 1} : std::set<size_t> {};
    }

    const Members& MembersOf(const ReferenceNode* node)
    {
        auto known = classes.find(node);
        if (known != classes.end())
            return known->second;
        Members& members = classes[node];
        for (const ReferenceItem& item : node->items) {
            if (item.kind == ReferenceItem::ESCAPE || item.kind == ReferenceItem::POSIX)
                continue;
            for (DWORD m = item.first; m <= item.last; m++) {
                if (rules.unicode) {
                    members.singles.insert(Folded(m));
                } else if (item.kind == ReferenceItem::BYTES && IsLeadByte((BYTE)m)) {
                    members.leads.insert(m);
                } else {
                    DWORD key = item.kind == ReferenceItem::BYTES ? m : KeyOf(Spelling(m, false));
                    if (key != ~0u)
                        members.singles.insert(Folded(key));
                }
            }
        }
        return members;
    }

    std::set<size_t> Class(const ReferenceNode* node, size_t i)
    {
        if (i >= n)
            return {};
        DWORD c = line.chars[i], folded = Folded(c);
        const Members& members = MembersOf(node);
        bool in = members.singles.count(folded) > 0;
        for (DWORD lead : members.leads)
            in |= BeginsWith(c, lead);
        for (const ReferenceItem& item : node->items) {
            if (item.kind == ReferenceItem::ESCAPE)
                in |= InEscape(item.first, item.last != 0, folded);
            if (item.kind == ReferenceItem::POSIX)
                in |= InPosix(item, c);
        }
        return in != node->negated ? std::set<size_t> {i + 1} : std::set<size_t> {};
    }

    bool Holds(DWORD assertion, size_t i) const
    {
        if (assertion == '^')
            return i == 0;
        if (assertion == '$')
            return i == n;
        if (relaxed)
            return true;
        bool boundary = (i > 0 && IsWord(line.chars[i - 1])) != WordAt(i);
        return assertion == 'b' ? boundary : !boundary;
    }

    std::set<size_t> Step(const ReferenceNode* child, const std::set<size_t>& from)
    {
        std::set<size_t> to;
        for (size_t i : from) {
            const std::set<size_t>& ends = Ends(child, i);
            to.insert(ends.begin(), ends.end());
        }
        return to;
    }

    std::set<size_t> Repeat(const ReferenceNode* node, size_t i)
    {
        const ReferenceNode* child = node->children[0];
        std::set<size_t> current = {i};
        for (unsigned k = 0; k < node->min; k++)
            current = Step(child, current);
        std::set<size_t> ends = current;
        if (node->max == unbounded) {
            std::set<size_t> frontier = current;
            while (!frontier.empty()) {
                std::set<size_t> fresh;
                for (size_t j : Step(child, frontier)) {
                    if (ends.insert(j).second)
                        fresh.insert(j);
                }
                frontier = fresh;
            }
        } else {
            for (unsigned k = node->min; k < node->max && !current.empty(); k++) {
                current = Step(child, current);
                ends.insert(current.begin(), current.end());
            }
        }
        return ends;
    }

    std::set<size_t> Compute(const ReferenceNode* node, size_t i)
    {
        switch (node->kind) {
        case R_LITERAL:
        case R_BYTE: return Literal(node, i);
        case R_ANY: return i < n ? std::set<size_t> {i + 1} : std::set<size_t> {};
        case R_ESCAPE:
            return i < n && InEscape(node->value, node->negated, Folded(line.chars[i])) ? std::set<size_t> {i + 1}
                                                                                        : std::set<size_t> {};
        case R_CLASS: return Class(node, i);
        case R_ASSERT: return Holds(node->value, i) ? std::set<size_t> {i} : std::set<size_t> {};
        case R_CONCAT: {
            std::set<size_t> ends = {i};
            for (const ReferenceNode* child : node->children) {
                std::set<size_t> next;
                for (size_t j : ends) {
                    const std::set<size_t>& more = Ends(child, j);
                    next.insert(more.begin(), more.end());
                }
                ends = next;
            }
            return ends;
        }
        case R_ALTERNATION: {
            std::set<size_t> ends;
            for (const ReferenceNode* child : node->children) {
                const std::set<size_t>& more = Ends(child, i);
                ends.insert(more.begin(), more.end());
            }
            return ends;
        }
        case R_REPEAT: return Repeat(node, i);
        }
        return {};
    }
};

}  // namespace

std::shared_ptr<ReferencePattern> ReferenceParse(const std::wstring& pattern)
{
    std::shared_ptr<ReferencePattern> parsed(new ReferencePattern());
    ReferenceParser parser;
    parser.text = Characters(pattern);
    parser.pattern = parsed.get();
    parsed->root = parser.Alternation();
    if (parser.bad || parser.at != parser.text.size())
        return nullptr;
    return parsed;
}

ReferenceLine LineOfBytes(const std::string& bytes)
{
    ReferenceLine line;
    for (size_t i = 0; i < bytes.size(); i++) {
        line.chars.push_back((BYTE)bytes[i]);
        line.offsets.push_back(i);
    }
    line.offsets.push_back(bytes.size());
    return line;
}

ReferenceLine LineOfAnsi(const std::string& bytes)
{
    ReferenceLine line;
    std::vector<ULONGLONG> starts = AnsiCharacterStarts(bytes);
    for (size_t k = 0; k + 1 < starts.size(); k++) {
        line.chars.push_back(AnsiCharacterKey(bytes, starts[k], starts[k + 1]));
        line.offsets.push_back(starts[k]);
    }
    line.offsets.push_back(bytes.size());
    return line;
}

ReferenceLine LineOfUnits(const std::wstring& units)
{
    ReferenceLine line;
    line.chars = Characters(units);
    ULONGLONG offset = 0;
    for (DWORD c : line.chars) {
        line.offsets.push_back(offset);
        offset += c >= 0x10000 ? 2 : 1;
    }
    line.offsets.push_back(offset);
    return line;
}

ULONGLONG ReferenceFirstHit(const ReferencePattern* pattern, const ReferenceRules& rules, const ReferenceLine& line)
{
    ReferenceMatcher matcher(rules, line, false);
    const std::vector<DWORD>& c = line.chars;
    size_t n = c.size();
    bool inString = false;
    DWORD quote = 0;
    for (size_t p = 0; p <= n; p++) {
        if ((rules.options & REGEX_SKIP_COMMENTS) && p + 1 < n && c[p] == '/' && c[p + 1] == '/')
            return REGEX_NONE;
        if ((rules.options & REGEX_STRINGS_ONLY) && p < n) {
            if (!inString && (c[p] == '"' || c[p] == '\'')) {
                inString = true;
                quote = c[p];
                continue;
            }
            if (inString && c[p] == quote) {
                inString = false;
                continue;
            }
        }
        if ((rules.options & REGEX_STRINGS_ONLY) && !inString)
            continue;
        bool wholeWord = (rules.options & REGEX_WHOLE_WORD) != 0;
        if (wholeWord && p > 0 && matcher.IsWord(c[p - 1]))
            continue;
        for (size_t e : matcher.Ends(pattern->root, p)) {
            if (!wholeWord || !matcher.WordAt(e))
                return line.offsets[p];
        }
    }
    return REGEX_NONE;
}

ULONGLONG ReferenceFirstEnd(const ReferencePattern* pattern, const ReferenceRules& rules, const ReferenceLine& line)
{
    ReferenceMatcher matcher(rules, line, true);
    size_t least = ~(size_t)0;
    for (size_t p = 0; p <= line.chars.size(); p++) {
        std::set<size_t> ends = matcher.Ends(pattern->root, p);
        if (!ends.empty() && *ends.begin() < least)
            least = *ends.begin();
    }
    return least == ~(size_t)0 ? REGEX_NONE : line.offsets[least];
}
