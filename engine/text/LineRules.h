// The rules of a line that decide where a hit may start, the same for every
// search (literal text, whole words, patterns) and every form of text: "//"
// ends the searched part of a line (ignore comments), and with strings only
// a hit starts inside "..." or '...', never on a quote, a string being
// closed by the quote that opened it or by the line's end. A backslash does
// not escape a quote. Slashes and quotes are characters of one unit in every
// form, and never the trail byte of a double-byte character.
#pragma once
#include <windows.h>

struct LineRules {
    BOOL skipComments;
    BOOL stringsOnly;
    BOOL inString;  // afresh at every line's start
    UINT32 quote;   // the quote that opened the string
};

// What a position is to the rules.
#define RULE_MAY_START 0  // a hit may start here
#define RULE_OUTSIDE 1    // outside a string, with strings only: no hit starts here
#define RULE_QUOTE 2      // a quote, which opened or closed a string: no hit starts here
#define RULE_COMMENT 3    // "//" starts here: nothing from here on is searched

inline LineRules LineRulesFor(BOOL skipComments, BOOL stringsOnly)
{
    LineRules rules = {skipComments, stringsOnly, FALSE, 0};
    return rules;
}

// Steps the rules over the character c at a position, next being the one
// after it (anything that is no "/" at the line's end).
inline int StepLineRules(LineRules* rules, UINT32 c, UINT32 next)
{
    if (rules->skipComments && c == '/' && next == '/')
        return RULE_COMMENT;
    if (!rules->stringsOnly)
        return RULE_MAY_START;
    if (!rules->inString && (c == '"' || c == '\'')) {
        rules->inString = TRUE;
        rules->quote = c;
        return RULE_QUOTE;
    }
    if (rules->inString && c == rules->quote) {
        rules->inString = FALSE;
        return RULE_QUOTE;
    }
    return rules->inString ? RULE_MAY_START : RULE_OUTSIDE;
}
