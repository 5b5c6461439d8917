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

// Converts the search text to the ANSI code page into the request's needle
// and sets needleLength. Returns FALSE, leaving the request without a needle,
// only if the text cannot be converted whole.
BOOL ConvertNeedle(SearchRequest* request, const WCHAR* text);
