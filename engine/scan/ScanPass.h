// One pass of the line scanner over a file's text for one pattern, and the
// record of the steps that each kind of pass takes (PassLoop.cpp runs them):
// find a candidate quickly (vector searches for two rare bytes of a literal,
// or a pattern's DFA), count the line ends passed over, settle the line that
// holds it by the rules from the line's start (engine/text/LineRules.h; the
// first hit of a line counts), and report it. Positions are byte offsets
// from the text's first byte; UTF-16 text is stepped a unit or a character
// at a time, never a byte.
#pragma once
#include "engine/StopFlag.h"
#include "engine/scan/ScanWorkspace.h"
#include "engine/text/AnsiCharacters.h"
#include "engine/text/CaseFold.h"
#include "engine/text/TextForm.h"
#include "engine/text/VectorSearch.h"

// No hit, no candidate; a stop was requested.
#define NO_HIT (~0ull)
#define STOPPED (~0ull - 1)

struct ScanPass;

// The steps of one kind of pass: literal text in ANSI bytes or in Unicode
// text (LiteralScan.cpp), a pattern in either (PatternScan.cpp).
struct PassSteps {
    // A candidate in the piece of text that starts at from, a line's start
    // when lineStarts: a position in the line that may hold a hit, or NO_HIT
    // with *next where the search goes on (NO_HIT when the text is done).
    ULONGLONG (*find)(const ScanPass* pass, ULONGLONG from, BOOL lineStarts, ULONGLONG* next);
    // The hit of the line that starts at lineStart and holds candidate:
    // NO_HIT when it has none, STOPPED when a stop was requested on a long
    // line.
    ULONGLONG (*settle)(const ScanPass* pass, ULONGLONG lineStart, ULONGLONG candidate);
    // Writes the report line of the hit in the line [lineStart, lineEnd),
    // lineEnd at or past the text a report line prints.
    void (*report)(const ScanPass* pass, FileReport* report, ULONGLONG lineNumber, ULONGLONG hit, ULONGLONG lineStart,
                   ULONGLONG lineEnd);
};

struct ScanPass {
    const PassSteps* steps;
    const BYTE* view;  // the text: the file's bytes after any byte-order mark
    ULONGLONG size;    // bytes of text, in whole units
    TextForm form;
    ULONGLONG unitBytes;      // 1, or 2 in UTF-16
    const BYTE* pattern;      // ANSI text: the pattern's bytes
    ULONGLONG patternLength;  // bytes: of the ANSI pattern, or the fewest a Unicode match takes
    BOOL matchCase;
    BOOL skipComments;
    BOOL stringsOnly;
    BOOL wholeWord;  // literal text: no word character right before or after a hit
    BOOL matchless;  // the pattern cannot stand in a line of this text
    Anchors anchors;
    // ANSI text only:
    const AnsiCodePage* ansi;  // the code page's characters
    BOOL doubleByte;           // lead bytes take a trail byte: hits start on characters
    BYTE* patternFolds;        // literal text: 1 where pattern byte k is a character of one byte that folds
    BOOL patternEndsInLead;    // the pattern ends with a lead byte, a character of one byte at a line's end
    // Unicode text only:
    const UINT32* characters;  // the pattern's characters, folded unless matchCase
    ULONGLONG characterCount;
    const CaseFoldTable* fold;
    const DWORD* wordBits;  // UnicodeWordBits, for whole words
    WCHAR* lineText;        // LINE_TEXT_UNITS of room to decode a report line's text
    BOOL ansiBytes;         // ANSI text read as UTF-8 (code page 65001): report lines are its bytes
    // A regular expression (PatternScan.cpp); the pattern or the characters
    // above are then its required literal, which finds the lines that may
    // hold a hit, when it has one:
    RegexWorkspace* regex;     // NULL for literal text
    RegexWorkspace* reversed;  // the reversed program's, which tells where a hit may start
    WCHAR* backwards;          // PIECE_UNITS of room for a line read backwards
    DWORD regexOptions;        // REGEX_SKIP_COMMENTS, REGEX_STRINGS_ONLY, REGEX_WHOLE_WORD
    RegexShape shape;          // how long its matches are and what it reads beside characters
    const BYTE* literalFolds;  // ANSI: (byte | literalFolds[k]) == pattern[k] tests the literal's byte k
    WCHAR* units;              // Unicode: PIECE_UNITS of room for text as UTF-16 units,
    DWORD* unitOffsets;        // and the byte offset of each from the piece's start
};
