// Runs the walker as the program does: on a worker thread, announcing each
// file to a real window that the test thread pumps, with the report captured
// and every directory search recorded.
#pragma once
#include "walk/Walker.h"
#include <string>
#include <vector>

struct WalkRun {
    std::vector<std::wstring> searched;  // paths the window was sent, in order
    std::vector<std::wstring> searches;  // paths handed to FindFirstFileW, in order
    std::string report;
    int unflushed;     // announcements that found report bytes still waiting
    int openSearches;  // directory searches started but not closed
};

// Fills a request for the needle "hit" the way the settings dialog does.
void PrepareWalk(SearchRequest* request, const wchar_t* fileTypes, bool subfolders);

// Walks folder; after stopAfter announced files (0: never) the window sets
// StopRequested, as the Cancel button would.
void RunWalk(const std::wstring& folder, SearchRequest* request, size_t stopAfter, WalkRun* run);

// Walks root for "*.c" with subfolders and expects the space-separated files
// to be searched and reported, in that order.
void ExpectWalkOfCFiles(const std::wstring& root, const std::string& expected, WalkRun* run);

// Makes the entries of a space-separated list under root: "name\" is a folder,
// any other name a file holding "hit\nhit\n", or no hit when it starts with "miss".
void MakeTree(const std::wstring& root, const char* entries);

// The names pattern finds in folder, in the platform's order; folders end in "\".
std::vector<std::wstring> Listing(const std::wstring& folder, const wchar_t* pattern);

// Paths relative to root, separated by spaces.
std::string Relative(const std::vector<std::wstring>& paths, const std::wstring& root);

// The report of a walk over the space-separated files, each with the first
// lines of its hits.
std::string Reported(const std::wstring& root, const std::string& files, int lines = 2);
