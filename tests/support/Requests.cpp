// Requests and a workspace for the tests.
#include "tests/support/Requests.h"

SearchOptions OptionsFromBits(unsigned bits)
{
    SearchOptions options = {};
    options.matchCase = (bits & MATCH_CASE) != 0;
    options.skipComments = (bits & SKIP_COMMENTS) != 0;
    options.stringsOnly = (bits & STRINGS_ONLY) != 0;
    options.ampVariants = (bits & AMP_VARIANTS) != 0;
    options.searchSubfolders = (bits & SUBFOLDERS) != 0;
    options.unicodeFiles = (bits & UNICODE_FILES) != 0;
    options.wholeWord = (bits & WHOLE_WORD) != 0;
    options.regularExpression = (bits & REGULAR_EXPRESSION) != 0;
    options.skipBinary = (bits & SKIP_BINARY) != 0;
    options.skipIgnored = (bits & SKIP_IGNORED) != 0;
    return options;
}

bool FillRequest(SearchRequest* request, const std::wstring& text, unsigned bits, const std::wstring& fileTypes,
                 const std::wstring& folder)
{
    ZeroMemory(request, sizeof *request);
    SearchEntries entries = {text.c_str(), fileTypes.c_str(), folder.c_str(), OptionsFromBits(bits)};
    SearchProblem problem;
    SearchRequest* made = NewSearchRequest(&entries, &problem);
    if (!made)
        return false;
    *request = *made;
    GlobalFree(made);
    return true;
}

ScanWorkspace* TestWorkspace()
{
    static ScanWorkspace* workspace = NewScanWorkspace(1);
    return workspace;
}

static FileOutput testOutput;
static BYTE testOutputBuffer[TEST_OUTPUT_BYTES];

FileOutput* BeginTestOutput()
{
    OutputBeginFile(&testOutput, testOutputBuffer, TEST_OUTPUT_BYTES);
    OutputGiveTurn(&testOutput);
    return &testOutput;
}

void EndTestOutput()
{
    OutputEndFile(&testOutput);
}

DWORD SearchTestFileAs(const std::wstring& openPath, const std::wstring& shownPath, const SearchRequest* request)
{
    DWORD error = SearchFileAs(openPath.c_str(), shownPath.c_str(), request, TestWorkspace(), BeginTestOutput());
    EndTestOutput();
    return error;
}

DWORD SearchTestFile(const std::wstring& path, const SearchRequest* request)
{
    return SearchTestFileAs(path, path, request);
}
