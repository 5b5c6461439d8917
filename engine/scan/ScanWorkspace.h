// What one scanning thread owns while it searches files, one after the other:
// nothing in it is shared with another thread, and nothing in it is allocated
// per file or per line.
#pragma once
#include "engine/scan/FaultGuard.h"
#include "engine/regex/Regex.h"
#include "engine/report/Report.h"

// Text searched in one piece: the counting of its line ends that follows the
// search finds it still in the first-level cache. The stop flag is read
// after every piece.
#define PIECE_BYTES 4096
// UTF-16 units of a piece of Unicode text decoded whole: a character that
// starts in the piece may end up to three bytes after it, and no character
// takes more units than bytes.
#define PIECE_UNITS (PIECE_BYTES + 4)

struct ScanWorkspace {
    int scanThreads;   // of the search: they share the regular expressions' caches
    BYTE* readBuffer;  // files read whole go here; grown when a file needs more
    DWORD readBufferBytes;
    ReportNameRoom names;                  // the report's name of the file being searched
    FaultGuard guard;                      // resumes the thread after a fault in a mapped view
    BYTE pattern[NEEDLE_BYTES + 1];        // the pattern of the pass under way: the needle or one of its "&" variants
    BYTE patternFolds[NEEDLE_BYTES + 1];   // which of its bytes fold (ByteScan.cpp)
    DWORD needleStarts[NEEDLE_BYTES + 1];  // where the needle's characters start, and its end
    // Unicode text (UnicodeScan.cpp, LiteralScan.cpp):
    UINT32 needleCharacters[SEARCH_TEXT_CHARS];       // the search text's characters, folded unless matchCase
    UINT32 patternCharacters[SEARCH_TEXT_CHARS + 1];  // the pass's pattern: those, or one of their "&" variants
    WCHAR lineText[LINE_TEXT_UNITS];                  // a reported line's text, decoded
    // A regular expression (PatternScan.cpp):
    RegexWorkspace* regex[2];                // per RegexAlphabet: the state of the matcher and the DFA,
                                             // made on the first file for the search's program
    RegexWorkspace* reversed[2];             // the same for the reversed program
    BYTE literalFolds[REGEX_LITERAL_UNITS];  // ANSI: the fold test of each byte of the required literal
    WCHAR units[PIECE_UNITS];                // Unicode: a piece of text as UTF-16 units
    DWORD unitOffsets[PIECE_UNITS + 1];      // the byte offset of each in the piece, and the piece's end
    WCHAR backwards[PIECE_UNITS];            // a line read backwards: its bytes, or its characters' units
};

// A workspace from the system's pages for one of the scanThreads of a
// search, or NULL without memory.
ScanWorkspace* NewScanWorkspace(int scanThreads);
// Frees the workspace and its read buffer.
void FreeScanWorkspace(ScanWorkspace* workspace);
// Gives the read buffer back to the system; the next file read whole makes
// a new one.
void ReleaseReadBuffer(ScanWorkspace* workspace);
// Makes the thread's regular-expression workspaces for the request's
// programs where they are missing or were made for another program, each
// with its share of the search's DFA caches (REGEX_DFA_CACHES_BYTES). FALSE
// without memory.
BOOL ReadyRegexWorkspaces(ScanWorkspace* workspace, const SearchRequest* request);
