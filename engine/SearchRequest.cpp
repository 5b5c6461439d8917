// Making a search request from the user's entries.
#include "engine/SearchRequest.h"

BOOL AnsiSpellsExactly(const WCHAR* text, int length)
{
    if (length <= 0)
        return TRUE;
    if (GetACP() == CP_UTF8)
        return WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, text, length, NULL, 0, NULL, NULL) > 0;
    BOOL usedDefault = FALSE;
    int bytes = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text, length, NULL, 0, NULL, &usedDefault);
    return bytes > 0 && !usedDefault;
}

void DescribeTooLong(WCHAR* problem, const WCHAR* what, int limit)
{
    wsprintfW(problem, L"%.100s too long: at most %d characters", what, limit);
}

BOOL ConvertNeedle(SearchRequest* request, const WCHAR* text)
{
    request->needle[0] = 0;
    request->needleLength = 0;
    if (text[0] == 0)
        return TRUE;
    // The field holds any text the search box admits; a longer one is refused
    // whole rather than cut, and a failed conversion must not leave an empty
    // needle, which would report every line.
    int bytes = WideCharToMultiByte(CP_ACP, 0, text, -1, request->needle, NEEDLE_BYTES, NULL, NULL);
    if (bytes <= 1) {
        request->needle[0] = 0;
        return FALSE;
    }
    request->needleLength = bytes - 1;
    return TRUE;
}

// FALSE, with the problem, when an entry is longer than the request keeps:
// cut, it would search for something else than what was asked.
static BOOL EntriesFit(const SearchEntries* entries, WCHAR* problem)
{
    if (lstrlenW(entries->text) > SEARCH_TEXT_CHARS)
        DescribeTooLong(problem, L"search text", SEARCH_TEXT_CHARS);
    else if (lstrlenW(entries->fileTypes) > FILE_TYPES_CHARS)
        DescribeTooLong(problem, L"pattern list", FILE_TYPES_CHARS);
    else if (lstrlenW(entries->folder) > FOLDER_CHARS)
        DescribeTooLong(problem, L"folder", FOLDER_CHARS);
    else
        return TRUE;
    return FALSE;
}

SearchRequest* NewSearchRequest(const SearchEntries* entries, WCHAR* problem)
{
    problem[0] = 0;
    if (!EntriesFit(entries, problem))
        return NULL;
    SearchRequest* request = (SearchRequest*)GlobalAlloc(GPTR, sizeof(SearchRequest));
    if (!request) {
        lstrcpyW(problem, L"not enough memory to start the search");
        return NULL;
    }
    if (!ConvertNeedle(request, entries->text)) {
        wsprintfW(problem, L"the search text cannot be converted to code page %u", GetACP());
        GlobalFree(request);
        return NULL;
    }
    lstrcpynW(request->text, entries->text, SEARCH_TEXT_CHARS + 1);
    lstrcpynW(request->fileTypes, entries->fileTypes, FILE_TYPES_CHARS + 1);
    lstrcpynW(request->folder, entries->folder, FOLDER_CHARS + 1);
    request->options = entries->options;
    if (!request->options.matchCase)
        CharUpperA(request->needle);
    return request;
}
