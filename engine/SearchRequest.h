// The one record that carries a search from the settings dialog to the worker.
#pragma once
#include <windows.h>

// Longest search text the search box admits, in UTF-16 units.
#define SEARCH_TEXT_CHARS 1021

// Three bytes per UTF-16 unit is the most any ANSI code page needs (UTF-8 for
// a character of the basic plane); one more for the terminator, which the
// scanner borrows for the "&" of the ampersand variants.
#define NEEDLE_BYTES (SEARCH_TEXT_CHARS * 3 + 1)

// Room for a path as typed or found, terminator included.
#define PATH_CHARS 260

struct SearchRequest {
    WCHAR fileTypes[PATH_CHARS];  // set by the settings dialog; ";" or " " between patterns
    WCHAR folder[PATH_CHARS];     // set by the settings dialog
    char needle[NEEDLE_BYTES];    // ANSI, upper-cased unless matchCase; the scanner
                                  // uses the byte behind it while a file is searched
    int needleLength;             // bytes of needle before its terminator
    LONG skipComments;            // check states, set by the settings dialog
    LONG matchCase;
    LONG stringsOnly;
    LONG ampVariants;             // only together with stringsOnly
    LONG searchSubfolders;
    HWND progressWindow;          // set once by the progress dialog before the worker starts
};

// What a search is made of, as the settings dialog's boxes and check boxes or
// the command line give it.
struct SearchEntries {
    const WCHAR* text;       // the search text, at most SEARCH_TEXT_CHARS units
    const WCHAR* fileTypes;  // the pattern list; cut to PATH_CHARS - 1 units
    const WCHAR* folder;     // the start folder as typed; cut to PATH_CHARS - 1 units
    LONG matchCase;          // check states: non-zero for checked
    LONG skipComments;
    LONG stringsOnly;
    LONG ampVariants;
    LONG searchSubfolders;
};

// TRUE when the ANSI code page spells the length units of text exactly:
// neither its default character nor a look-alike ("e" for an e acute)
// stands in for any of them.
BOOL AnsiSpellsExactly(const WCHAR* text, int length);

// Converts the search text to the ANSI code page into the request's needle
// and sets needleLength. Returns FALSE, leaving the request without a needle,
// only if the text cannot be converted whole.
BOOL ConvertNeedle(SearchRequest* request, const WCHAR* text);

// A zero-filled request from the global heap, filled from the entries: the
// text converted by ConvertNeedle and upper-cased by the platform unless
// matchCase. NULL without memory or when the text cannot be converted whole.
// The settings dialog and the command line both make their request here, so
// the same entries make the same search.
SearchRequest* NewSearchRequest(const SearchEntries* entries);
