// The Unicode scanner's steps over UTF-8 and UTF-16 text: finding, comparing
// and reporting literal text (the search text or a pattern's required
// literal) as characters, folded by the platform's upper-casing unless case
// matters.
#pragma once
#include "engine/scan/ScanPass.h"

// The search text's characters into characters, folded unless case
// matters; returns how many.
ULONGLONG ReadTextNeedle(const ScanPass* pass, const WCHAR* text, UINT32* characters);
// Sets what a pass needs beside its characters: the fewest bytes a match
// takes (patternLength), whether one can stand in the text at all
// (matchless), and the anchors of the vector search.
void PrepareTextPass(ScanPass* pass);
// The first character's start in [from, end) where the pattern stands whole,
// or NO_HIT.
ULONGLONG FindTextMatch(const ScanPass* pass, ULONGLONG from, ULONGLONG end);
// Whether the whole pattern stands at pos, a character's start.
BOOL TextMatchesAt(const ScanPass* pass, ULONGLONG pos);
// Whether the match at pos stands as a whole word.
BOOL TextWholeWordAt(const ScanPass* pass, ULONGLONG pos);
// The bytes of the character whose first unit, at pos, is unit.
ULONGLONG TextCharacterBytes(const ScanPass* pass, ULONGLONG pos, UINT32 unit);
// The report line of a hit: the line decoded, at most LINE_TEXT_BYTES
// characters, then converted to the ANSI code page; ANSI text read as UTF-8
// is reported as it stands.
void ReportTextLine(const ScanPass* pass, FileReport* report, ULONGLONG lineNumber, ULONGLONG hit, ULONGLONG lineStart,
                    ULONGLONG lineEnd);
