// The folder walker: searches every file of a folder that matches the
// request's patterns, and its subfolders when asked.
#pragma once
#include "engine/SearchRequest.h"

// Searches folder with the request, announcing each file's path to
// currentFileWindow with a synchronous WM_SETTEXT before searching it, and
// flushing the report after each file. Obeys StopRequested between files,
// patterns and folders. A folder, pattern or name that would make a path of
// more than 263 UTF-16 units is passed over.
void SearchFolder(const WCHAR* folder, HWND currentFileWindow, SearchRequest* request);
