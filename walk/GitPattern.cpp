// Matching git's patterns. A star that cannot match in any place tells the
// stars before it not to try further either (MATCH_ABORT), and one that may
// not cross a slash tells the same to all but a "**" (MATCH_ABORT_TO_FOLDERS),
// which keeps the work polynomial in the lengths.
#include "walk/GitPattern.h"

#define MATCH_YES 0
#define MATCH_NO 1
#define MATCH_ABORT 2
#define MATCH_ABORT_TO_FOLDERS 3

// The end of a text or pattern, where a NUL would be in git's own strings.
#define END_BYTE 0

BOOL GitPatternIsLiteral(const BYTE* pattern, int length)
{
    for (int n = 0; n < length; n++) {
        BYTE c = pattern[n];
        if (c == '*' || c == '?' || c == '[' || c == '\\')
            return FALSE;
    }
    return TRUE;
}

// TRUE when c belongs to the class of the C locale named by the length bytes
// at name; *known FALSE when no class has that name.
static BOOL InNamedClass(const BYTE* name, int length, BYTE c, BOOL* known)
{
    static const char* const names[] = {"alnum", "alpha", "blank", "cntrl", "digit", "graph",
                                        "lower", "print", "punct", "space", "upper", "xdigit"};
    int which = -1;
    for (int n = 0; n < 12 && which < 0; n++) {
        if (lstrlenA(names[n]) == length) {
            int k = 0;
            while (k < length && names[n][k] == (char)name[k])
                k++;
            if (k == length)
                which = n;
        }
    }
    *known = which >= 0;
    BOOL lower = c >= 'a' && c <= 'z', upper = c >= 'A' && c <= 'Z', digit = c >= '0' && c <= '9';
    BOOL graph = c > 0x20 && c < 0x7F;
    switch (which) {
    case 0: return lower || upper || digit;
    case 1: return lower || upper;
    case 2: return c == ' ' || c == '\t';
    case 3: return c < 0x20 || c == 0x7F;
    case 4: return digit;
    case 5: return graph;
    case 6: return lower;
    case 7: return graph || c == ' ';
    case 8: return graph && !lower && !upper && !digit;
    case 9: return c == ' ' || (c >= '\t' && c <= '\r');
    case 10: return upper;
    case 11: return digit || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
    }
    return FALSE;
}

// The byte of the pattern at p, or END_BYTE at its end.
static BYTE At(const BYTE* p, const BYTE* end)
{
    return p < end ? *p : END_BYTE;
}

// Matches the class that starts behind the "[" at *p against c (folded),
// and moves *p onto its closing "]". MATCH_YES or MATCH_NO, or MATCH_ABORT
// for a class that does not end or names no class of the locale.
static int MatchClass(const BYTE** at, const BYTE* end, BYTE c)
{
    const BYTE* p = *at;
    BOOL negated = At(p, end) == '!' || At(p, end) == '^';
    if (negated)
        p++;
    // The same test of either case of a letter: "[A-Z]" takes "a".
    BYTE cases[2] = {c, c >= 'a' && c <= 'z' ? (BYTE)(c - 32) : c};
    BOOL matched = FALSE;
    BYTE previous = END_BYTE;
    // The first byte is a member even when it is "]".
    for (BOOL first = TRUE;; first = FALSE, p++) {
        BYTE member = At(p, end);
        if (member == END_BYTE)
            return MATCH_ABORT;
        if (member == ']' && !first)
            break;
        if (member == '\\') {
            member = At(++p, end);
            if (member == END_BYTE)
                return MATCH_ABORT;
            matched |= GitFold(member) == c;
        } else if (member == '-' && previous != END_BYTE && At(p + 1, end) != END_BYTE && At(p + 1, end) != ']') {
            BYTE last = At(++p, end);
            if (last == '\\') {
                last = At(++p, end);
                if (last == END_BYTE)
                    return MATCH_ABORT;
            }
            for (BYTE k : cases)
                matched |= k >= previous && k <= last;
            member = END_BYTE;
        } else if (member == '[' && At(p + 1, end) == ':') {
            const BYTE* name = p + 2;
            const BYTE* close = name;
            while (close < end && *close != ']')
                close++;
            if (close == end)
                return MATCH_ABORT;
            if (close - name < 1 || close[-1] != ':') {
                // No ":]": the "[" is a member like any other.
                matched |= c == '[';
            } else {
                BOOL known;
                for (BYTE k : cases)
                    matched |= InNamedClass(name, (int)(close - name - 1), k, &known);
                if (!known)
                    return MATCH_ABORT;
                p = close;
                member = END_BYTE;
            }
        } else {
            matched |= GitFold(member) == c;
        }
        previous = member;
    }
    *at = p;
    // A class never takes the slash between two names.
    return matched != negated && c != '/' ? MATCH_YES : MATCH_NO;
}

static int Match(const BYTE* p, const BYTE* end, const BYTE* t, const BYTE* textEnd, const BYTE* start)
{
    for (; p < end; p++, t++) {
        BYTE c = t < textEnd ? GitFold(*t) : END_BYTE;
        if (t == textEnd && *p != '*')
            return MATCH_ABORT;
        switch (*p) {
        case '\\':
            // A backslash at the end matches nothing.
            if (++p == end || GitFold(*p) != c)
                return MATCH_NO;
            break;
        case '?':
            if (c == '/')
                return MATCH_NO;
            break;
        case '[': {
            p++;
            int result = MatchClass(&p, end, c);
            if (result != MATCH_YES)
                return result;
            break;
        }
        case '*': {
            const BYTE* first = p;
            while (p + 1 < end && p[1] == '*')
                p++;
            BOOL crossesFolders = FALSE;
            if (p > first) {
                const BYTE* after = p + 1;
                if ((first == start || first[-1] == '/') &&
                    (after == end || *after == '/' || (*after == '\\' && after + 1 < end && after[1] == '/'))) {
                    // "**/" may stand for no folder at all.
                    if (after < end && *after == '/' && Match(after + 1, end, t, textEnd, start) == MATCH_YES)
                        return MATCH_YES;
                    crossesFolders = TRUE;
                }
            }
            p++;
            if (p == end) {
                for (const BYTE* rest = t; rest < textEnd && !crossesFolders; rest++) {
                    if (*rest == '/')
                        return MATCH_ABORT_TO_FOLDERS;
                }
                return MATCH_YES;
            }
            for (;; t++) {
                if (t == textEnd)
                    return MATCH_ABORT;
                int result = Match(p, end, t, textEnd, start);
                if (result != MATCH_NO) {
                    if (!crossesFolders || result != MATCH_ABORT_TO_FOLDERS)
                        return result;
                } else if (!crossesFolders && *t == '/') {
                    return MATCH_ABORT_TO_FOLDERS;
                }
            }
        }
        default:
            if (GitFold(*p) != c)
                return MATCH_NO;
            break;
        }
    }
    return t == textEnd ? MATCH_YES : MATCH_NO;
}

BOOL GitPatternMatches(const BYTE* pattern, int patternLength, const BYTE* text, int textLength)
{
    return Match(pattern, pattern + patternLength, text, text + textLength, pattern) == MATCH_YES;
}
