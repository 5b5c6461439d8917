// Regular expressions for the line scanner: a compiled program, the exact
// first hit of one line (a Pike VM), and a fast search for lines that may
// hold one (a lazy DFA). Both run in time linear in the text for every
// pattern and allocate nothing per file or per line.
//
// How a search uses it:
//   1. Once per search, per alphabet the files need: RegexCompile. A pattern
//      that does not parse or would compile too large gives NULL and a
//      message naming the problem and its position, for the user.
//   2. Once per scanning thread and program: RegexWorkspaceAlloc.
//   3. Per file, find candidate lines either through the required literal
//      (RegexRequired: every match holds it, so a line without it has no hit)
//      or, when the pattern has none, through RegexFind*, which tells where
//      the first match of any line ends. Then settle each candidate line with
//      RegexFirstHit* (or RegexLineBegin/RegexLine*/RegexLineEnd for a line
//      that comes in pieces), which applies the scanner's rules.
//   4. RegexWorkspaceFree for each workspace, then RegexFree.
//
// Syntax: . [...] [^...] with ranges, \d \w \s \D \W \S (also in classes),
// \b \B, ^ $ (line start and end), * + ? {m} {m,} {m,n} and their lazy forms
// (the same hits: only where a match starts counts), |, ( ) and (?: ),
// escapes \\ \. \t \xHH and \ before any ASCII punctuation. A { that does
// not begin a count is an ordinary character; so is a ] first in a class.
// Counts go up to 1000; a quantifier right after another (a{2}{3}) is
// refused: repeat a group. A pattern that would compile to more than 30,000
// instructions, or whose compile would take more than 10,000 steps per
// character of the pattern (a step each time a repetition copies a part of
// it, even a part that compiles to nothing: ((){1000}){1000}), is refused,
// naming the outermost repetition that makes it so large.
//
// Characters:
// - ANSI files are matched as the literal search reads them. The pattern's
//   characters are converted to the ANSI code page; one the code page cannot
//   spell exactly never matches. \xHH is the character of the byte HH. In a
//   single-byte code page every byte is a character. In a double-byte one
//   (engine/text/AnsiCharacters.h) a lead byte and the byte after it are one
//   character, a lead byte before a line end one alone: ".", a class and an
//   escape take one whole character, \xHH of a lead byte any character it
//   begins, and a match starts only where a character does (the program's
//   characterStarts; a reversed program reads bytes). Characters outside the
//   basic plane can be spelled only when the code page is UTF-8, where the
//   scanner searches ANSI files with the Unicode program instead.
// - Unicode files (UTF-16 text) are matched character by character, a
//   surrogate pair being one character and a lone surrogate one too; \xHH is
//   U+00HH.
// - Word characters (\w, \b, whole word): in ANSI files ASCII letters and
//   digits, "_" and every character outside ASCII; in Unicode files what
//   IsCharAlphaNumericW calls alphanumeric, and "_" (characters outside the
//   basic plane are not). \d is the ASCII digits; \s is space, tab, vertical
//   tab and form feed.
// - Match case off: the pattern's characters and class members are
//   upper-cased as the literal search upper-cases its text, and a set
//   (literal, class, escape) takes a text character c when c folded is in it.
//   ANSI: a character of one byte, of the pattern and of the text alike, as
//   the code page folds it (every letter it upper-cases to one byte); a
//   double-byte character is compared as it stands. Unicode: both by the
//   invariant upper-casing (LCMapStringEx, LOCALE_NAME_INVARIANT,
//   LCMAP_UPPERCASE), which changes characters above the basic plane too. So
//   an escaped literal finds what the literal search finds.
#pragma once
#include <windows.h>

enum RegexAlphabet { REGEX_ANSI, REGEX_UNICODE };

// The scanner's rules for a line's first hit (RegexFirstHit*, RegexLineBegin).
#define REGEX_SKIP_COMMENTS 1  // no hit starts at or after the line's first "//"
#define REGEX_STRINGS_ONLY 2   // a hit starts inside "..." or '...', never on a quote
#define REGEX_WHOLE_WORD 4     // no word character right before the start or after some end
#define REGEX_ONE_START 8      // only a match that starts where the line's search begins (RegexLineBeginAt)

// No hit in the line; no match end in the text searched.
#define REGEX_NONE (~0ull)
// No character: the end of the line, or none before its start.
#define REGEX_NO_CHAR 0xFFFFFFFFu

#define REGEX_MESSAGE_CHARS 96
// Longest required literal kept; a piece of a required literal is required too.
#define REGEX_LITERAL_UNITS 64

// Why a pattern was refused, for the dialog and the command line.
struct RegexError {
    int position;                        // 1-based character of the pattern as typed
    WCHAR message[REGEX_MESSAGE_CHARS];  // for instance "unmatched ( at position 4"
    WCHAR fault[REGEX_MESSAGE_CHARS];    // the message's words before " at position": "unmatched ("
    DWORD steps;                         // the compile's work, refused or not (for tests)
    // ANSI, also when the pattern compiles: the first character typed in it
    // (a literal, a class member, either end of a range; escapes are bytes
    // or ASCII) that the code page cannot spell as the program takes it, and
    // its position; 0 for none. Such a part never matches in ANSI files.
    DWORD unspelled;
    int unspelledPosition;
};

// A text that every match holds. ANSI: bytes, each with the vector search's
// test (byte | fold[k]) == units[k] (fold 0x20 accepts a letter in either
// case, units[k] then lower-case; fold 0 compares as it stands). Unicode:
// UTF-16 units, upper-cased by the invariant mapping unless the program
// matches case, to be compared with the text upper-cased the same way; fold
// is 0.
struct RegexLiteral {
    int length;  // 0 when the pattern has none
    WORD units[REGEX_LITERAL_UNITS];
    BYTE fold[REGEX_LITERAL_UNITS];
};

// How long a match can be and what it reads beside characters: the scanner
// looks at only a part of a long line by them.
#define REGEX_UNBOUNDED_LENGTH (~0ull)
struct RegexShape {
    ULONGLONG longest;  // the units (bytes of ANSI text, UTF-16 units) of the longest match, or
                        // REGEX_UNBOUNDED_LENGTH
    BOOL lineEdges;     // the pattern reads ^ or $
    BOOL wordEdges;     // the pattern reads \b or \B
};

struct RegexProgram;
struct RegexWorkspace;

// Compiles length UTF-16 units of pattern (the text as typed) for one
// alphabet. NULL with error filled when the pattern does not parse, or would
// take more than the program's bounded size, or memory runs out. The first
// compile for each alphabet builds process-wide tables of the platform's
// case mapping, word characters and code page (some 10 ms).
RegexProgram* RegexCompile(const WCHAR* pattern, int length, RegexAlphabet alphabet, BOOL matchCase, RegexError* error);
// The pattern compiled to read the text backwards, to find where matches
// start (RegexLastEnd*). It takes at least the reversed matches and maybe
// more: \b and \B hold anywhere in its DFA, and in ANSI files a class
// member of several bytes is taken as that many bytes of any kind. It has no
// required literal.
RegexProgram* RegexCompileReversed(const WCHAR* pattern, int length, RegexAlphabet alphabet, BOOL matchCase,
                                   RegexError* error);
void RegexFree(RegexProgram* program);
RegexAlphabet RegexAlphabetOf(const RegexProgram* program);
void RegexRequired(const RegexProgram* program, RegexLiteral* literal);
void RegexShapeOf(const RegexProgram* program, RegexShape* shape);

// The DFA's cache of a workspace, emptied and refilled when full: the
// caches of a search's workspaces share REGEX_DFA_CACHES_BYTES (64 MiB)
// whatever the number of its threads, each taking at least 256 KiB and at
// most 2 MiB.
#define REGEX_DFA_CACHE_BYTES (2u << 20)
#define REGEX_DFA_CACHE_MIN_BYTES (256u << 10)
#define REGEX_DFA_CACHES_BYTES (64u << 20)

// A scanning thread's state for one program: thread lists and the DFA's
// cache, allocated once at a size the program bounds (cacheBytes of cache,
// held between the bounds above, and some 60 bytes per instruction). NULL
// without memory.
RegexWorkspace* RegexWorkspaceAlloc(const RegexProgram* program, DWORD cacheBytes);
void RegexWorkspaceFree(RegexWorkspace* workspace);
// Whether the workspace (NULL: none) was made for this program, or for one
// freed before it that lay at the same address with the same content: a
// scanning thread keeps its workspace from file to file and makes a new one
// only for another program.
BOOL RegexWorkspaceServes(const RegexWorkspace* workspace, const RegexProgram* program);

// The first hit of one line (its text without the terminator): the offset in
// the line, in units (bytes or UTF-16 units), of the leftmost match start
// that the options admit, or REGEX_NONE. ANSI programs take bytes, Unicode
// programs UTF-16 units. A whole line is first run through the DFA, which
// rules most lines out at its speed; so RegexFind* must start afresh with
// RegexFindBegin after it.
ULONGLONG RegexFirstHitBytes(RegexWorkspace* workspace, const BYTE* line, ULONGLONG length, DWORD options);
ULONGLONG RegexFirstHitUnits(RegexWorkspace* workspace, const WCHAR* line, ULONGLONG length, DWORD options);

// The same for a line that comes in pieces: RegexLineBegin, the pieces in
// order (FALSE once the answer is settled: further pieces are not needed),
// then RegexLineEnd for the answer. A surrogate pair may be split between
// pieces.
void RegexLineBegin(RegexWorkspace* workspace, DWORD options);
// The same from offset units into the line, where previous (REGEX_NO_CHAR at
// the line's start) is the character before, of previousUnits units: for
// options without REGEX_SKIP_COMMENTS and REGEX_STRINGS_ONLY, which follow
// the line from its start. The hit's offset counts from the line's start.
void RegexLineBeginAt(RegexWorkspace* workspace, DWORD options, ULONGLONG offset, DWORD previous, DWORD previousUnits);
BOOL RegexLineBytes(RegexWorkspace* workspace, const BYTE* piece, ULONGLONG length);
BOOL RegexLineUnits(RegexWorkspace* workspace, const WCHAR* piece, ULONGLONG length);
ULONGLONG RegexLineEnd(RegexWorkspace* workspace);

// Candidate lines: runs forward over text and returns the first position
// where some match ends (an offset from text), or REGEX_NONE when none ends
// in [from, to). Line ends (CR, LF, CR LF) end every match and reset the
// search; a match that ends at a line end is reported at its terminator. It
// ignores the options and takes \b and \B as always true, so it may report a
// line that has no hit, never miss one. The state carries over from one call
// to the next, so the text may come in pieces (a CR LF or a surrogate pair
// split between them too); RegexFindBegin starts afresh at a line start, as
// at the start of a text and after a settled line. When a text ends with a
// line end, the empty line behind it counts too, as for the literal search's
// empty needle: a call with from and to at the end reports it when a match
// ends at its start, and RegexFindAtEnd tells whether a match ends at the end
// of the text.
void RegexFindBegin(RegexWorkspace* workspace);
// The DFA gives up on a text when its cache is emptied again and again for
// little of it (fewer than 10 characters for each state it made, three
// times in a row), where the matcher is faster than a state for nearly every
// character: its searches then answer at once that a match may end at the
// first place asked about (RegexFind*, RegexFindAtEnd) or that the leftmost
// may start at the line's start (RegexLastEnd*), and the matcher settles
// every line. RegexNewText lets it try again, on the next file. The DFA of a
// reversed program gives up only on a state too large for its whole cache:
// the matcher would have to run from the line's start instead, at the cost
// of a state per character, over the whole line as well.
BOOL RegexDfaGaveUp(const RegexWorkspace* workspace);
void RegexNewText(RegexWorkspace* workspace);
ULONGLONG RegexFindBytes(RegexWorkspace* workspace, const BYTE* text, ULONGLONG from, ULONGLONG to);
ULONGLONG RegexFindUnits(RegexWorkspace* workspace, const WCHAR* text, ULONGLONG from, ULONGLONG to);
BOOL RegexFindAtEnd(RegexWorkspace* workspace);

// The last offset in text, one line read whole (no line end in it), where a
// match ends, by the DFA; REGEX_NONE when none does. With a reversed
// program over a line's characters in reverse order (a surrogate pair kept
// as it is), length minus that offset is where the leftmost match of the
// line may start: no match of the pattern starts before it, and a line
// where none ends has no match. Clears the candidate search's state.
ULONGLONG RegexLastEndBytes(RegexWorkspace* workspace, const BYTE* text, ULONGLONG length);
ULONGLONG RegexLastEndUnits(RegexWorkspace* workspace, const WCHAR* text, ULONGLONG length);
