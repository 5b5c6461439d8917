// Literal text's search: the passes of the search text (and of its "&"
// variants) over ANSI bytes or Unicode text.
#pragma once
#include "engine/scan/ScanPass.h"

// Runs the literal passes of the request over the text that pass describes
// (view, size, form, unitBytes and the case and line options set): the
// search text, then (strings only with "&" variants) the text with a "&"
// after its first L - k characters, for k = 1 .. L - 1. Returns FALSE when
// a stop was requested.
BOOL ScanLiteral(ScanPass* pass, FileReport* report, const SearchRequest* request, ScanWorkspace* workspace);
