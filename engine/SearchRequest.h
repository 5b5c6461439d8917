// The one record that carries a search from the settings dialog or the
// command line to the worker, and the record of its options.
#pragma once
#include <windows.h>

// Room for a path as typed or found, terminator included.
#define PATH_CHARS 260

// The longest entries a request keeps, in UTF-16 units: the settings dialog's
// boxes admit no more, and the command line refuses more.
#define SEARCH_TEXT_CHARS 1021
#define FILE_TYPES_CHARS (PATH_CHARS - 1)
#define FOLDER_CHARS (PATH_CHARS - 1)

// The most threads a search scans files on (the command line's /J refuses
// more): the walker waits for them all at once, which the platform allows
// for up to 64 handles.
#define SCAN_THREADS_LIMIT 64

// Three bytes per UTF-16 unit is the most any ANSI code page needs (UTF-8 for
// a character of the basic plane); one more for the terminator.
#define NEEDLE_BYTES (SEARCH_TEXT_CHARS * 3 + 1)

// The options of a search, each as a check state: non-zero for checked. The
// settings dialog, the command line, the settings key and the request all
// carry this one record; settings/OptionTable.h says how the user meets each.
struct SearchOptions {
    LONG matchCase;
    LONG skipComments;  // stop looking at a line at "//"
    LONG stringsOnly;   // only hits that start inside a quoted string
    LONG ampVariants;   // also the text with a "&" between two characters; only with stringsOnly
    LONG searchSubfolders;
    LONG unicodeFiles;       // search UTF-8 and UTF-16 files as text (engine/text/TextForm.h tells them)
    LONG wholeWord;          // only hits with no word character right before or after them
    LONG regularExpression;  // the text is a regular expression (engine/regex/Regex.h); the "&" variants do not apply
    LONG skipBinary;         // pass over files with a NUL byte near their start (engine/scan/FileSearch.h)
    LONG skipIgnored;        // pass over what git ignores (walk/IgnoreRules.h)
    LONG listResults;        // a dialog run shows the hits in the results window; the search itself is the same
};

// The needle length of a text that the ANSI code page cannot spell, which
// only Unicode files can hold: an ANSI file has no hit for it.
#define NO_ANSI_NEEDLE (-1)

struct RegexProgram;

// Written by the settings dialog or the command line before the worker
// starts, and only read during the search. What it owns besides itself (the
// compiled regular expression) goes with it in FreeSearchRequest.
struct SearchRequest {
    WCHAR text[SEARCH_TEXT_CHARS + 1];      // the search text as typed
    WCHAR fileTypes[FILE_TYPES_CHARS + 1];  // ";" or " " between patterns
    WCHAR folder[FOLDER_CHARS + 1];
    char needle[NEEDLE_BYTES];  // literal text in ANSI, upper-cased unless matchCase; empty for
                                // a regular expression
    int needleLength;           // bytes of needle before its terminator, or NO_ANSI_NEEDLE
    SearchOptions options;
    LONG scanThreads;  // threads that scan files, from the command line's /J; 0 for
                       // the default, one per logical processor (walk/ScanRing.h)
    // A regular expression compiled from text once for the search, read-only
    // while threads scan with it: for ANSI files, and for Unicode files when
    // they are searched (and for ANSI files under code page 65001, which are
    // UTF-8), each also reversed (to find where a line's hit may
    // start); NULL for literal text.
    RegexProgram* ansiProgram;
    RegexProgram* unicodeProgram;
    RegexProgram* ansiReversed;
    RegexProgram* unicodeReversed;
};

// What a search is made of, as the settings dialog's boxes and check boxes or
// the command line give it.
struct SearchEntries {
    const WCHAR* text;       // the search text, at most SEARCH_TEXT_CHARS units
    const WCHAR* fileTypes;  // the pattern list, at most FILE_TYPES_CHARS units
    const WCHAR* folder;     // the start folder as typed, at most FOLDER_CHARS units
    SearchOptions options;
};

// Room for a one-line problem with the entries, and for the words of a
// regular expression's fault in it.
#define PROBLEM_CHARS 512
#define PROBLEM_DETAIL_CHARS 96

// The problems NewSearchRequest finds. The settings dialog words each with
// the text IDS_PROBLEMS + id of its string table (resources/resource.h).
#define PROBLEM_UNNAMED 0          // one the string tables lack yet: the English text is shown
#define PROBLEM_TEXT_TOO_LONG 1    // arguments: the limit
#define PROBLEM_TYPES_TOO_LONG 2   // the limit
#define PROBLEM_FOLDER_TOO_LONG 3  // the limit
#define PROBLEM_NO_MEMORY 4
#define PROBLEM_BAD_PATTERN 5               // the position; the fault as detail
#define PROBLEM_TEXT_NOT_IN_CODE_PAGE 6     // the code page
#define PROBLEM_TEXT_NOT_CONVERTED 7        // the code page
#define PROBLEM_PATTERN_NOT_IN_CODE_PAGE 8  // the code page, the position; the character as detail
#define PROBLEM_EXCLUSION_NAMES_PATH 9      // the exclusion as typed as detail

// A problem with the entries, in the form each front end words it from: the
// command line prints text, in English, where scripts rely on it; the
// settings dialog looks the id up in its string table and fills in the
// arguments (FormatMessage's %1 and %2, the detail %3), or shows text when
// the table has no such entry.
struct SearchProblem {
    int id;                              // PROBLEM_..., PROBLEM_UNNAMED for a problem only text tells
    DWORD_PTR arguments[2];              // numbers, in the order the id's comment gives
    WCHAR detail[PROBLEM_DETAIL_CHARS];  // a regular expression's fault in English (RegexError), a
                                         // character, or empty
    WCHAR text[PROBLEM_CHARS];           // the whole problem in English, one line
};

// TRUE when the ANSI code page spells the length units of text exactly:
// neither its default character nor a look-alike ("e" for an e acute)
// stands in for any of them.
BOOL AnsiSpellsExactly(const WCHAR* text, int length);

// Writes the problem of an entry longer than limit units ("pattern list too
// long: at most 259 characters"); what names the entry.
void DescribeTooLong(WCHAR* problem, const WCHAR* what, int limit);

// Names a problem: its id, no arguments yet, and no text.
void NameProblem(SearchProblem* problem, int id);

// Converts the search text to the ANSI code page into the request's needle
// and sets needleLength. Returns FALSE, leaving the request without a needle,
// only if the text cannot be converted whole.
BOOL ConvertNeedle(SearchRequest* request, const WCHAR* text);

// A zero-filled request from the global heap, filled from the entries: the
// text converted by ConvertNeedle and upper-cased by the platform a
// character at a time (UpperCaseAnsiCharacter) unless matchCase, or with regularExpression compiled instead (and ampVariants
// cleared: a pattern is searched once, as written). NULL without memory, or
// with the problem (PROBLEM_CHARS) when an entry is longer than the request
// keeps, or an exclusion of the pattern list names a path
// (engine/PatternList.h), or the text cannot be converted whole, or the code page cannot
// spell it exactly and Unicode files are not searched (with them, such a
// text gets NO_ANSI_NEEDLE), or the regular expression does not parse
// ("bad regular expression: unmatched ( at position 4"). The settings dialog
// and the command line both make their request here, so the same entries
// make the same search and are refused alike.
SearchRequest* NewSearchRequest(const SearchEntries* entries, SearchProblem* problem);

// Frees what the request owns and leaves it without: the compiled regular
// expression. A copy of the request shares it, so only one of them may free it.
void FreeSearchPatterns(SearchRequest* request);
// FreeSearchPatterns, then the request itself.
void FreeSearchRequest(SearchRequest* request);
