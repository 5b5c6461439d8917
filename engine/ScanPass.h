// One pass of the line scanner over a file's text for one pattern, shared by
// the byte scanner (LineScan.cpp: ANSI text) and the Unicode scanner
// (UnicodeScan.cpp: UTF-8 and UTF-16 text). Both go the same way, in RunPass:
// find a whole match of the pattern quickly (vector searches for two rare
// bytes, then a full comparison), count the line ends passed over, and
// settle a line that holds a match by the rules from the line's start ("//"
// ends the searched part of a line, strings open and close at the same quote
// on one line, the first hit of a line counts). Positions are byte offsets
// from the text's first byte; UTF-16 text is stepped a unit or a character
// at a time, never a byte.
#pragma once
#include "engine/CaseFold.h"
#include "engine/LineScanVector.h"
#include "engine/ProcessState.h"
#include "engine/ScanWorkspace.h"
#include "engine/TextForm.h"

// Text searched in one piece: the counting of its line ends that follows the
// search finds it still in the first-level cache. The stop flag is read
// after every piece.
#define PIECE_BYTES 4096
#define NO_HIT (~0ull)
#define STOPPED (~0ull - 1)

// How often each byte stands in C source, in 65536ths (at least 1); the
// rarest bytes of a pattern are its anchors.
extern const unsigned short byteFrequency[256];

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
    BOOL matchless;            // the pattern cannot stand in a line of this text
    Anchors anchors;
    // Unicode text only:
    const UINT32* characters;  // the pattern's characters, folded unless matchCase
    ULONGLONG characterCount;
    const CaseFoldTable* fold;
    WCHAR* lineText;           // LINE_TEXT_UNITS of room to decode a report line's text
};

// Runs one pass from the first byte of the text. Returns FALSE when a stop
// was requested.
BOOL RunPass(const ScanPass* pass, FileReport* report);

// The Unicode scanner's steps of a pass (UnicodeScan.cpp): the same contracts
// as the byte scanner's FindMatch, SettleLine and report, on characters.
ULONGLONG FindTextMatch(const ScanPass* pass, ULONGLONG from, ULONGLONG end);
ULONGLONG SettleTextLine(const ScanPass* pass, ULONGLONG lineStart, ULONGLONG match);
void ReportTextLine(const ScanPass* pass, FileReport* report, ULONGLONG lineNumber, ULONGLONG hit,
                    ULONGLONG lineStart, ULONGLONG lineEnd);

// Runs every pass of the request over Unicode text (UnicodeScan.cpp).
BOOL ScanUnicodeText(const BYTE* text, ULONGLONG size, TextForm form, FileReport* report,
                     const SearchRequest* request, ScanWorkspace* workspace);
