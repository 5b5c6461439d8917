// Reading the pattern list and matching names against its exclusions.
#include "engine/PatternList.h"
#include "engine/SearchRequest.h"

static BOOL IsSeparator(WCHAR c)
{
    return c == L'\\' || c == L'/';
}

BOOL NextPattern(const WCHAR** at, ListedPattern* pattern)
{
    const WCHAR* start = *at;
    if (!start)
        return FALSE;
    const WCHAR* end = start;
    while (*end && *end != L';' && *end != L' ')
        end = CharNextW(end);
    *at = *end ? CharNextW(end) : NULL;
    pattern->text = start;
    pattern->length = (int)(end - start);
    pattern->kind = PATTERN_FINDS;
    if (pattern->length == 0 || start[0] != L'!')
        return TRUE;
    // "!!x" finds the names that start with "!": the platform's patterns
    // have no way to quote a character.
    pattern->text++;
    pattern->length--;
    if (pattern->length > 0 && pattern->text[0] == L'!')
        return TRUE;
    pattern->kind = PATTERN_EXCLUDES_FILES;
    if (pattern->length > 0 && IsSeparator(pattern->text[pattern->length - 1])) {
        pattern->kind = PATTERN_EXCLUDES_FOLDERS;
        pattern->length--;
    }
    return TRUE;
}

int PatternListHolds(const WCHAR* list)
{
    int holds = 0;
    ListedPattern pattern;
    for (const WCHAR* at = list; NextPattern(&at, &pattern);)
        holds |= pattern.kind == PATTERN_EXCLUDES_FILES     ? LIST_EXCLUDES_FILES
                 : pattern.kind == PATTERN_EXCLUDES_FOLDERS ? LIST_EXCLUDES_FOLDERS
                 : pattern.length > 0                       ? LIST_FINDS
                                                            : 0;
    return holds;
}

static BOOL SameCharacter(WCHAR a, WCHAR b)
{
    if (a == b)
        return TRUE;
    if (a < 0x80 && b < 0x80)
        return (a | 0x20) == (b | 0x20) && (a | 0x20) >= L'a' && (a | 0x20) <= L'z';
    return CompareStringOrdinal(&a, 1, &b, 1, TRUE) == CSTR_EQUAL;
}

// "*" and "?" over the name; a star that fails moves on one character at a
// time from where it last stood, so the work is bounded by the product of
// the lengths.
static BOOL NameMatches(const WCHAR* pattern, int length, const WCHAR* name)
{
    if (length == 3 && pattern[0] == L'*' && pattern[1] == L'.' && pattern[2] == L'*')
        return TRUE;
    int p = 0, n = 0, star = -1, resume = 0;
    while (name[n]) {
        if (p < length && pattern[p] == L'*') {
            star = p++;
            resume = n;
        } else if (p < length && (pattern[p] == L'?' || SameCharacter(pattern[p], name[n]))) {
            p++;
            n++;
        } else if (star >= 0) {
            p = star + 1;
            n = ++resume;
        } else {
            return FALSE;
        }
    }
    while (p < length && pattern[p] == L'*')
        p++;
    return p == length;
}

BOOL ExcludedByList(const WCHAR* list, const WCHAR* name, int kind)
{
    ListedPattern pattern;
    for (const WCHAR* at = list; NextPattern(&at, &pattern);) {
        if (pattern.kind == kind && pattern.length > 0 && NameMatches(pattern.text, pattern.length, name))
            return TRUE;
    }
    return FALSE;
}

BOOL CheckPatternList(const WCHAR* list, WCHAR* typed)
{
    ListedPattern pattern;
    for (const WCHAR* at = list; NextPattern(&at, &pattern);) {
        if (pattern.kind == PATTERN_FINDS)
            continue;
        for (int n = 0; n < pattern.length; n++) {
            if (IsSeparator(pattern.text[n])) {
                // As typed: the "!", the name and a folder's mark.
                lstrcpynW(typed, pattern.text - 1, pattern.length + 2 + (pattern.kind == PATTERN_EXCLUDES_FOLDERS));
                return FALSE;
            }
        }
    }
    return TRUE;
}
