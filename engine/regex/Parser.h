// Inside the regular-expression engine: the parsed pattern, a tree of nodes
// in the compiler's scratch memory, independent of the alphabet.
#pragma once
#include "engine/regex/Arena.h"
#include "engine/regex/Program.h"

// Deepest nesting of groups; it bounds the compiler's recursion.
#define REGEX_MAX_NESTING 100
// Highest repetition count.
#define REGEX_MAX_COUNT 1000
#define REGEX_UNBOUNDED 0xFFFFFFFFu

enum RegexNodeKind {
    NODE_EMPTY,
    NODE_LITERAL,  // the character value
    NODE_BYTE,     // \xHH: the byte value in ANSI files, U+00HH in Unicode ones
    NODE_ANY,
    NODE_CLASS,
    NODE_ESCAPE,  // \d \w \s, negated for \D \W \S
    NODE_ASSERT,  // a RegexAssertion
    NODE_CONCAT,
    NODE_ALT,
    NODE_REPEAT,  // its one child min to max times
};

enum RegexEscape { ESCAPE_DIGIT, ESCAPE_WORD, ESCAPE_SPACE };

enum RegexItemKind {
    ITEM_CHARS,   // characters first to last
    ITEM_BYTES,   // \xHH-\xHH: bytes in ANSI files, characters in Unicode ones
    ITEM_ESCAPE,  // escape first, negated when last is 1
    ITEM_POSIX,   // [:name:]: RegexPosixClass first, negated ([:^name:]) when last is 1
};

// The classes a bracket may name as [:name:], in the order of their names
// (Parser.cpp).
enum RegexPosixClass {
    POSIX_ALPHA,
    POSIX_DIGIT,
    POSIX_ALNUM,
    POSIX_SPACE,
    POSIX_UPPER,
    POSIX_LOWER,
    POSIX_PUNCT,
    POSIX_XDIGIT,
    POSIX_WORD,
    POSIX_CLASSES
};

struct RegexClassItem {
    DWORD kind;
    DWORD first;
    DWORD last;
    int firstAt;  // 1-based characters of the pattern that gave first and last
    int lastAt;
};

struct RegexNode {
    DWORD kind;
    int position;  // 1-based character that begins it; for a repeat, its quantifier
    BOOL grouped;  // the whole of a group: no literal character stands next to it
    DWORD value;
    BOOL negated;
    DWORD min;
    DWORD max;
    RegexNode* child;  // the first child
    RegexNode* lastChild;
    RegexNode* next;      // the next sibling
    RegexNode* previous;  // and the one before
    RegexClassItem* items;
    DWORD itemCount;
    BOOL compiled;                        // a set compiled once however often it is repeated:
    DWORD compiledSet;                    // its index
    DWORD compiledTree;                   // and the root of a class's ANSI byte tree,
    DWORD compiledLengths;                // and the lengths of its members read backwards
    DWORD compiledLeads, compiledTrails;  // double-byte ANSI text (CharSets.h, CharacterParts)
    BOOL compiledExcludes;
};

// Fills error with "what at position N".
void RegexFail(RegexError* error, const WCHAR* what, int position);

// The tree of length units of pattern, or NULL with error filled.
RegexNode* RegexParse(const WCHAR* pattern, int length, RegexArena* arena, RegexError* error);
