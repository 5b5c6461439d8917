// The straightforward scanner that the fast one must equal.
#pragma once
#include "engine/report/Report.h"
#include "engine/SearchRequest.h"
#include "tests/engine/RegexReference.h"
#include <vector>

// Same contract as ScanBytes on ANSI text.
BOOL ReferenceScanBytes(const BYTE* bytes, ULONGLONG size, FileReport* report, const SearchRequest* request);

// Same contract as ScanBytes, the Unicode files option included
// (ReferenceUnicodeScan.cpp), for files of at most UTF8_JUDGED_BYTES, which
// it judges whole.
BOOL ReferenceScanFile(const BYTE* bytes, ULONGLONG size, FileReport* report, const SearchRequest* request);

// What the reference matcher applies of the request's options.
ReferenceRules RulesOf(const SearchRequest* request, bool unicode);
// Whether a character (a byte of ANSI text or a key of a double-byte
// character, a code point of Unicode text) is a word character, by the rule
// written out.
bool ReferenceIsWord(DWORD c, bool unicode);

// Where the characters of a line of ANSI text start, as the platform decodes
// them, and its end.
std::vector<ULONGLONG> AnsiCharacterStarts(const std::string& bytes);
// A character of ANSI text as one number: its byte, or 0x10000 with its two
// bytes; folded, a byte's platform upper case where the code page spells it
// in one byte.
UINT32 AnsiCharacterKey(const std::string& bytes, ULONGLONG start, ULONGLONG end);
UINT32 FoldedAnsiKey(UINT32 key);

// The first hit in a line of n characters (compared: folded unless case
// matters; shown: as they stand) of the pattern's characters, by the
// options' rules, or -1: "//" ends the line, a quote opens a string that the
// same quote closes, only a match that starts inside a string counts with
// strings only, and with whole words only one with no word character beside
// it. An empty pattern may stand at the line's end.
long long ReferenceLineHit(const UINT32* compared, const UINT32* shown, size_t n, const std::vector<UINT32>& pattern,
                           const SearchOptions* options, bool unicode);
