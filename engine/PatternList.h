// The pattern list of the file types box: the patterns that find files, and
// the exclusions, which start with "!": "!*.min.js" passes over the files
// whose names match, "!node_modules\" (or "/") the folders, at every level.
#pragma once
#include <windows.h>

// What a pattern of the list does.
#define PATTERN_FINDS 0             // finds files, as the platform's directory search reads it
#define PATTERN_EXCLUDES_FILES 1    // passes over the files whose names match it
#define PATTERN_EXCLUDES_FOLDERS 2  // passes over the folders whose names match it

// One pattern of the list: its text without the "!" of an exclusion, the
// first "!" of a doubled "!!" (which finds names that start with "!") or the
// folder mark, and what it does. An empty pattern finds nothing.
struct ListedPattern {
    const WCHAR* text;
    int length;
    int kind;
};

// Reads the pattern at *at, and moves *at on behind the separator (";" or
// " ") that ends it. FALSE at the end of the list. Each separator ends
// exactly one pattern, so two in a row, or one at the end, make an empty one.
BOOL NextPattern(const WCHAR** at, ListedPattern* pattern);

// Bits of what a list holds.
#define LIST_FINDS 1  // a pattern that finds files, not empty
#define LIST_EXCLUDES_FILES 2
#define LIST_EXCLUDES_FOLDERS 4
int PatternListHolds(const WCHAR* list);

// TRUE when an exclusion of the list of that kind matches name: "*" any run
// of characters, "?" one, compared as the file system compares names,
// "*.*" every name. Only the name is compared, never its short form.
BOOL ExcludedByList(const WCHAR* list, const WCHAR* name, int kind);

// FALSE, with the exclusion as typed (FILE_TYPES_CHARS + 1), when an
// exclusion of the list names a path ("!sub\*.c"), which no name can match.
BOOL CheckPatternList(const WCHAR* list, WCHAR* typed);
