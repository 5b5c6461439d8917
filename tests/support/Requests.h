// Search requests and a scanning workspace for the tests and the benchmark,
// made the way the program makes them.
#pragma once
#include "engine/Scanner.h"
#include <string>

// The options as bits, for tables of cases and loops over combinations.
enum OptionBit {
    MATCH_CASE = 1,
    SKIP_COMMENTS = 2,
    STRINGS_ONLY = 4,
    AMP_VARIANTS = 8,
    SUBFOLDERS = 16,
    UNICODE_FILES = 32,
    WHOLE_WORD = 64,
    REGULAR_EXPRESSION = 128,
};
SearchOptions OptionsFromBits(unsigned bits);

// Fills request with what the settings dialog and the command line make of
// these entries (NewSearchRequest); false, with the request zeroed, when they
// are refused. A regular expression's compiled program then belongs to the
// request: FreeSearchPatterns frees it.
bool FillRequest(SearchRequest* request, const std::wstring& text, unsigned bits,
                 const std::wstring& fileTypes = L"", const std::wstring& folder = L"");

// The test thread's scanning workspace, made on first use.
ScanWorkspace* TestWorkspace();
// Searches the file at path as the walker does, naming it by path.
DWORD SearchTestFile(const std::wstring& path, const SearchRequest* request);
