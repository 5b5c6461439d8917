// Runs the walker with the report captured and every file it opens and every
// directory search it starts recorded, from whichever thread.
#pragma once
#include "walk/Walker.h"
#include <string>
#include <vector>

struct WalkRun {
    std::vector<std::wstring> searched;  // files opened to be searched, in the order opened, without "\\?\"
    std::vector<std::wstring> searches;  // paths handed to FindFirstFileW, in order
    std::string report;
    std::string unreadable;  // the lines that name the files that could not be read
    int unflushed;           // one thread: files opened before the reports of all files before them were out
    int unpublished;         // one thread: files opened without being the published current file
    int openSearches;        // directory searches started but not closed
    size_t afterStop;        // files opened after the stop was played
    WalkOutcome outcome;     // what the walk told
};

// Fills a request for the needle "hit" the way the settings dialog does, to
// be searched on one thread, as the walk cases expect.
void PrepareWalk(SearchRequest* request, const wchar_t* fileTypes, bool subfolders);

// Walks folder on the request's threads; as the stopAfter-th file is opened
// (0: never), the stop is requested, as the Cancel button would. Expects
// every directory search closed, and no more files opened after the stop
// than the other threads may each have been about to open; on one thread,
// also each file published, and the report of every file before it out in
// whole lines, when it is opened.
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

// The host's own path of a Windows path, or "" outside Wine.
std::string HostPath(const std::wstring& path);
// A host symbolic link at link to target; Wine shows it as a link or
// junction to a folder, or as a file that cannot be opened when target does
// not exist. Needs Wine.
void MakeLink(const std::string& target, const std::wstring& link);
// The platform cannot remove a host link to a folder; the host can.
void RemoveLink(const std::wstring& link);
