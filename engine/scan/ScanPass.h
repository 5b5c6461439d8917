// One pass of the line scanner over a file's text for one pattern, shared by
// the byte scanner (LineScan.cpp: ANSI text), the Unicode scanner
// (UnicodeScan.cpp: UTF-8 and UTF-16 text) and the regular-expression scan
// (RegexScan.cpp). All go the same way, in RunPass:
// find a whole match of the pattern quickly (vector searches for two rare
// bytes, then a full comparison), count the line ends passed over, and
// settle a line that holds a match by the rules from the line's start ("//"
// ends the searched part of a line, strings open and close at the same quote
// on one line, the first hit of a line counts). Positions are byte offsets
// from the text's first byte; UTF-16 text is stepped a unit or a character
// at a time, never a byte.
#pragma once
#include "engine/text/ByteFrequency.h"
#include "engine/text/CaseFold.h"
#include "engine/text/VectorSearch.h"
#include "engine/StopFlag.h"
#include "engine/scan/ScanWorkspace.h"
#include "engine/text/TextForm.h"

#define NO_HIT (~0ull)
#define STOPPED (~0ull - 1)

struct ScanPass {
    const BYTE* view;          // the text: the file's bytes after any byte-order mark
    ULONGLONG size;            // bytes of text, in whole units
    TextForm form;
    ULONGLONG unitBytes;       // 1, or 2 in UTF-16
    const BYTE* pattern;       // ANSI text: the pattern's bytes
    ULONGLONG patternLength;   // bytes: of the ANSI pattern, or the fewest a Unicode match takes
    BOOL matchCase;
    BOOL skipComments;
    BOOL stringsOnly;
    BOOL wholeWord;            // literal text: no word character right before or after a hit
    BOOL matchless;            // the pattern cannot stand in a line of this text
    Anchors anchors;
    // Unicode text only:
    const UINT32* characters;  // the pattern's characters, folded unless matchCase
    ULONGLONG characterCount;
    const CaseFoldTable* fold;
    const DWORD* wordBits;     // UnicodeWordBits, for whole words
    WCHAR* lineText;           // LINE_TEXT_UNITS of room to decode a report line's text
    // A regular expression (RegexScan.cpp); the pattern or the characters
    // above are then its required literal, which finds the lines that may
    // hold a hit, when it has one:
    RegexWorkspace* regex;     // NULL for literal text
    RegexWorkspace* reversed;  // the reversed program's, which tells where a hit may start
    WCHAR* backwards;          // PIECE_UNITS of room for a line read backwards
    DWORD regexOptions;        // REGEX_SKIP_COMMENTS, REGEX_STRINGS_ONLY, REGEX_WHOLE_WORD
    const BYTE* literalFolds;  // ANSI: (byte | literalFolds[k]) == pattern[k] tests the literal's byte k
    WCHAR* units;              // Unicode: PIECE_UNITS of room for text as UTF-16 units,
    DWORD* unitOffsets;        // and the byte offset of each from the piece's start
};

// Runs one pass from the first byte of the text. Returns FALSE when a stop
// was requested.
BOOL RunPass(const ScanPass* pass, FileReport* report);

// The steps of a pass that the regular-expression scan shares (LineScan.cpp):
// the end of the piece that starts at from; the first line end in [from,
// to), or to; the line ends in [from, to) and the start of the last line
// that begins there (lineStart stays when none does).
ULONGLONG PieceEnd(const ScanPass* pass, ULONGLONG from);
ULONGLONG FindPassLineEnd(const ScanPass* pass, ULONGLONG from, ULONGLONG to);
ULONGLONG CountLines(const ScanPass* pass, ULONGLONG from, ULONGLONG to, ULONGLONG* lineStart);
// The end of a settled line: reports its hit (NO_HIT: none), the line from
// lineStart with its text up to lineEnd or past the part a report line
// prints, and returns where the next line starts: NO_HIT when the text ends
// first, STOPPED when a stop was requested on a long line.
ULONGLONG EndLine(const ScanPass* pass, FileReport* report, ULONGLONG lineNumber, ULONGLONG hit, ULONGLONG lineStart,
                  ULONGLONG lineEnd);
// Chooses the anchors of an ANSI pattern (LineScan.cpp), or of a Unicode
// pattern with what else it needs (UnicodeScan.cpp).
void ChooseAnchors(ScanPass* pass);
void PrepareTextPass(ScanPass* pass);

// The Unicode scanner's steps of a pass (UnicodeScan.cpp): the same contracts
// as the byte scanner's FindMatch, SettleLine and report, on characters, and
// whether the match at pos stands as a whole word.
ULONGLONG FindTextMatch(const ScanPass* pass, ULONGLONG from, ULONGLONG end);
ULONGLONG SettleTextLine(const ScanPass* pass, ULONGLONG lineStart, ULONGLONG match);
BOOL TextWholeWordAt(const ScanPass* pass, ULONGLONG pos);
void ReportTextLine(const ScanPass* pass, FileReport* report, ULONGLONG lineNumber, ULONGLONG hit,
                    ULONGLONG lineStart, ULONGLONG lineEnd);

// Runs every pass of the request over Unicode text (UnicodeScan.cpp).
BOOL ScanUnicodeText(const BYTE* text, ULONGLONG size, TextForm form, FileReport* report,
                     const SearchRequest* request, ScanWorkspace* workspace);

// A regular expression's search (RegexScan.cpp) over the text that pass
// (its view, size, form and options set) describes: through the vector
// search of its required literal, or else its DFA, each line that may hold a
// hit settled by its matcher. Returns FALSE when a stop was requested.
BOOL ScanRegex(ScanPass* pass, FileReport* report, const SearchRequest* request, ScanWorkspace* workspace);
// The hit of the line that starts at lineStart by the regular expression and
// the rules, NO_HIT or STOPPED; with prefilter, the DFA first rules out a
// line that has none.
ULONGLONG SettleRegexLine(const ScanPass* pass, ULONGLONG lineStart, BOOL prefilter);
// The scanning thread's regular-expression workspaces for the request's
// programs, made when missing or made for another program. FALSE without
// memory.
BOOL ReadyRegexWorkspaces(ScanWorkspace* workspace, const SearchRequest* request);
