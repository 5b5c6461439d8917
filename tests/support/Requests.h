// Search requests and a scanning workspace for the tests and the benchmark,
// made the way the program makes them.
#pragma once
#include "engine/scan/FileSearch.h"
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
    SKIP_BINARY = 256,
    SKIP_IGNORED = 512,
};
SearchOptions OptionsFromBits(unsigned bits);

// Fills request with what the settings dialog and the command line make of
// these entries (NewSearchRequest); false, with the request zeroed, when they
// are refused. A regular expression's compiled program then belongs to the
// request: FreeSearchPatterns frees it.
bool FillRequest(SearchRequest* request, const std::wstring& text, unsigned bits, const std::wstring& fileTypes = L"",
                 const std::wstring& folder = L"");

// The test thread's scanning workspace, made on first use.
ScanWorkspace* TestWorkspace();
// Begins the report of the next file on the test thread's report buffer
// (TEST_OUTPUT_BYTES), for a scan the test runs itself; EndTestOutput lets
// it out.
#define TEST_OUTPUT_BYTES 65536
FileOutput* BeginTestOutput();
void EndTestOutput();
// Searches the file opened at openPath as a scanning thread does, naming it
// shownPath, and lets its report out; SearchTestFile names it by its path.
DWORD SearchTestFileAs(const std::wstring& openPath, const std::wstring& shownPath, const SearchRequest* request);
DWORD SearchTestFile(const std::wstring& path, const SearchRequest* request);
