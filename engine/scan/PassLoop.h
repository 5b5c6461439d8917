// The one pass loop that every kind of pass runs through its steps
// (ScanPass.h), and the steps of a pass that every kind shares.
#pragma once
#include "engine/scan/ScanPass.h"

// Runs one pass from the first byte of the text, writing one report line per
// hit to report. Returns FALSE when a stop was requested.
BOOL RunPass(const ScanPass* pass, FileReport* report);

// The end of the piece of text that starts at from.
ULONGLONG PieceEnd(const ScanPass* pass, ULONGLONG from);
// The first line end in [from, to), or to.
ULONGLONG FindPassLineEnd(const ScanPass* pass, ULONGLONG from, ULONGLONG to);
// The line ends in [from, to); the start of the last line that begins there
// goes to *lineStart (which stays when none does).
ULONGLONG CountLines(const ScanPass* pass, ULONGLONG from, ULONGLONG to, ULONGLONG* lineStart);

// The first position in [from, end) where the pass's literal (the search
// text, or a pattern's required literal) stands whole, or NO_HIT; end - 1 +
// patternLength must lie inside the text.
ULONGLONG FindLiteral(const ScanPass* pass, ULONGLONG from, ULONGLONG end);
// The find step of a pass that looks for a literal: its first whole match in
// the piece of starts from from.
ULONGLONG FindLiteralCandidate(const ScanPass* pass, ULONGLONG from, BOOL lineStarts, ULONGLONG* next);
