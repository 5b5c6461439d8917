// Searching one file for the request's needle.
#pragma once
#include "engine/scan/ScanWorkspace.h"

// Files up to this size are read whole with one ReadFile into one reused
// buffer; larger ones are mapped. Measured under Wine ("seekline_tree_bench
// read-map", file in the cache, every byte touched): opening, reading and
// closing a small file takes about 150 us, mapping it instead about 340 us;
// at 4 MiB 380 against 580 us; the two break even between 8 and 32 MiB, and
// at 64 MiB the mapping takes 0.7 of the time, the copy no longer fitting in
// the cache. So 16 MiB, which also bounds the buffer.
#define READ_WHOLE_BYTES (16u << 20)

// With the skip-binary option, a file is binary, and passed over, when its
// first 64 KiB hold a NUL byte, unless the Unicode files option reads it as
// UTF-16 by its mark. Text files have none, and nearly every binary format
// has one in its headers; 64 KiB is one read of most source files whole, so
// the test costs no read of its own below READ_WHOLE_BYTES.
#define BINARY_JUDGED_BYTES (64u << 10)

// SearchFileAs's result for a file passed over as binary: an application's
// own code (bit 29 set), which no system error has.
#define FILE_SKIPPED_BINARY 0x20000001u

// Searches the file opened at openPath (the platform's long form) and writes
// one report line per hit, naming the file shownPath (the path as the user
// gave its folder), into output. Returns 0, FILE_SKIPPED_BINARY, or the
// system's error code when the file could not be opened or read; nothing was
// reported unless it returns 0.
DWORD SearchFileAs(const WCHAR* openPath, const WCHAR* shownPath, const SearchRequest* request,
                   ScanWorkspace* workspace, FileOutput* output);

// Searches a file that a directory search found, its name written at nameAt
// in openPath (the long form, capacity units): by that name, and where that
// fails and the file has a short name (shortName not empty), by the short
// name, which then stays in openPath. A name the platform lists but cannot
// open (under Wine, one with a character such as "?" or "|") is reached by
// its short name. Returns 0, FILE_SKIPPED_BINARY, or the error of the
// attempt by the name.
DWORD SearchFoundFile(WCHAR* openPath, int nameAt, int capacity, const WCHAR* shortName, const WCHAR* shownPath,
                      const SearchRequest* request, ScanWorkspace* workspace, FileOutput* output);
