// The folder walker: searches every file of a folder that matches the
// request's patterns, and its subfolders when asked.
#pragma once
#include "engine/SearchRequest.h"

// Searches folder with the request, publishing each file's path as the
// current file (and waking request->progressWindow, if any, after a quiet
// spell) before searching it, and flushing the report after each file; a file
// it finds but cannot read goes to TellUnreadableFile. Obeys StopRequested
// between files, patterns and folders. Reaches paths up to the platform's
// limit of 32,767 units; report lines name them below folder as typed. Stays
// in folder: a link to a folder on the descent or to one that holds folder is
// not entered.
void SearchFolder(const WCHAR* folder, const SearchRequest* request);
