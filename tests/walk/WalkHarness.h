// Runs the walker with the report captured and every file it opens and every
// directory search it starts recorded.
#pragma once
#include "walk/Walker.h"
#include <string>
#include <vector>

struct WalkRun {
    std::vector<std::wstring> searched;  // files opened to be searched, in order, without "\\?\"
    std::vector<std::wstring> searches;  // paths handed to FindFirstFileW, in order
    std::string report;
    int unflushed;     // files opened while report bytes still waited
    int unpublished;   // files opened without being the published current file
    int openSearches;  // directory searches started but not closed
};

// Fills a request for the needle "hit" the way the settings dialog does.
void PrepareWalk(SearchRequest* request, const wchar_t* fileTypes, bool subfolders);

// Walks folder; as the stopAfter-th file is opened (0: never), StopRequested
// is set, as the Cancel button would.
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
