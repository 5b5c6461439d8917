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

SearchRequest* NewSearchRequest(const SearchEntries* entries)
{
    SearchRequest* request = (SearchRequest*)GlobalAlloc(GPTR, sizeof(SearchRequest));
    if (!request)
        return NULL;
    if (!ConvertNeedle(request, entries->text)) {
        GlobalFree(request);
        return NULL;
    }
    lstrcpynW(request->fileTypes, entries->fileTypes, PATH_CHARS);
    lstrcpynW(request->folder, entries->folder, PATH_CHARS);
    request->matchCase = entries->matchCase;
    request->skipComments = entries->skipComments;
    request->stringsOnly = entries->stringsOnly;
    request->ampVariants = entries->ampVariants;
    request->searchSubfolders = entries->searchSubfolders;
    if (!request->matchCase)
        CharUpperA(request->needle);
    return request;
}
