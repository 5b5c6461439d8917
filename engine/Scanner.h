// Searching one file for the request's needle.
#pragma once
#include "engine/SearchRequest.h"

// The platform's longest path in UTF-16 units, with the terminator.
#define LONG_PATH_CHARS 32768
// Longest path a report line names: a folder as typed, then the rest of a
// path of the platform's longest.
#define REPORT_PATH_CHARS (PATH_CHARS + LONG_PATH_CHARS)

// Files up to this size are read whole with one ReadFile into one reused
// buffer; larger ones are mapped. Measured under Wine ("seekline_tree_bench
// read-map", file in the cache, every byte touched): opening, reading and
// closing a small file takes about 150 us, mapping it instead about 340 us;
// at 4 MiB 380 against 580 us; the two break even between 8 and 32 MiB, and
// at 64 MiB the mapping takes 0.7 of the time, the copy no longer fitting in
// the cache. So 16 MiB, which also bounds the buffer.
#define READ_WHOLE_BYTES (16u << 20)

// Searches the file at path and writes one report line per hit, naming the
// file by path, through OutputWrite. A file that cannot be opened or read is
// skipped in silence. Borrows the byte behind the needle while it runs and
// puts it back.
void SearchFile(const WCHAR* path, SearchRequest* request);

// The same, for a file opened at openPath (the platform's long form) whose
// report lines name it shownPath (the path as the user gave its folder).
void SearchFileAs(const WCHAR* openPath, const WCHAR* shownPath, SearchRequest* request);

// Frees the buffer that SearchFile reads files into; the walk calls it when
// it is over.
void ReleaseReadBuffer();
