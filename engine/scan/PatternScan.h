// A regular expression's search over a file's text.
#pragma once
#include "engine/scan/ScanPass.h"

// Runs the request's pattern over the text that pass describes (view, size,
// form, unitBytes and the case and line options set): through the vector
// search of its required literal, or else its DFA, each line that may hold a
// hit settled by its matcher. Returns FALSE when a stop was requested.
BOOL ScanPattern(ScanPass* pass, FileReport* report, const SearchRequest* request, ScanWorkspace* workspace);
