// The straightforward byte-by-byte scanner that the fast one must equal.
#pragma once
#include "engine/report/Report.h"
#include "engine/SearchRequest.h"
#include "tests/engine/RegexReference.h"

// Same contract as ScanBytes on ANSI text.
BOOL ReferenceScanBytes(const BYTE* bytes, ULONGLONG size, FileReport* report, const SearchRequest* request);

// Same contract as ScanBytes, the Unicode files option included
// (ReferenceUnicodeScan.cpp), for files of at most UTF8_JUDGED_BYTES, which
// it judges whole.
BOOL ReferenceScanFile(const BYTE* bytes, ULONGLONG size, FileReport* report, const SearchRequest* request);

// What the reference matcher applies of the request's options.
ReferenceRules RulesOf(const SearchRequest* request, bool unicode);
// Whether a character (a byte of ANSI text, a code point of Unicode text)
// is a word character, by the rule written out.
bool ReferenceIsWord(DWORD c, bool unicode);
