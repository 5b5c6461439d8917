// The byte scanner's steps over ANSI text: finding, comparing and reporting
// literal text (the search text or a pattern's required literal).
#pragma once
#include "engine/scan/ScanPass.h"

// Picks the two bytes of the pass's pattern that the vector search looks for
// first: the rarest, or for a pattern's literal the rarest pair.
void ChooseByteAnchors(ScanPass* pass);
// Readies the literal pattern of a pass: which of its bytes fold, whether it
// can match at all (matchless is set when not), and its anchors.
void PrepareBytePattern(ScanPass* pass);
// The first position in [from, end) where the pattern stands whole, or
// NO_HIT; end - 1 + patternLength must lie inside the text.
ULONGLONG FindByteMatch(const ScanPass* pass, ULONGLONG from, ULONGLONG end);
// Whether the whole pattern stands at pos, a character's start.
BOOL ByteMatchesAt(const ScanPass* pass, ULONGLONG pos);
// Whether the match at pos stands as a whole word: no word character right
// before it (the character that starts at previous) or right after it. A
// line end is none; a double-byte character is one.
BOOL ByteWholeWordAt(const ScanPass* pass, ULONGLONG pos, ULONGLONG previous);
// The start of the character of double-byte text that holds pos, reading
// the line from lineStart; *previous gets where the character before it
// starts, NO_HIT at the line's start.
ULONGLONG ByteCharacterStart(const ScanPass* pass, ULONGLONG lineStart, ULONGLONG pos, ULONGLONG* previous);
// The report line of a hit: the line's bytes as they stand.
void ReportByteLine(const ScanPass* pass, FileReport* report, ULONGLONG lineNumber, ULONGLONG hit, ULONGLONG lineStart,
                    ULONGLONG lineEnd);
