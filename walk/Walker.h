// The folder walker: searches every file of a folder that matches the
// request's patterns, and its subfolders when asked.
#pragma once
#include "engine/SearchRequest.h"

// Searches folder with the request, publishing each file's path as the
// current file (and waking request->progressWindow, if any, after a quiet
// spell) before searching it, and flushing the report after each file. Obeys
// StopRequested between files, patterns and folders. Reaches paths up to the
// platform's limit of 32,767 units; report lines name them below folder as
// typed.
void SearchFolder(const WCHAR* folder, const SearchRequest* request);
