// The line scanner: searches one file for the request's needle.
#pragma once
#include "engine/SearchRequest.h"

// Longest path a report line names, in UTF-16 units with the terminator (the
// walker's path buffer).
#define REPORT_PATH_CHARS 264

// Searches the file at path and writes one report line per hit through
// OutputWrite. A file that cannot be opened or mapped is skipped in silence.
// Borrows the byte behind the needle while it runs and puts it back.
void SearchFile(const WCHAR* path, SearchRequest* request);
