// Filling the needle of a search request.
#include "engine/SearchRequest.h"

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
